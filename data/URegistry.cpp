#include "data/URegistry.h"

#include "base/Errors.h"

#include <QSettings>
#include <QStringList>
#include <memory>

// On Windows the values live in the registry under the key path. Elsewhere they live in the
// INI file of organisation "Corvanta", application "Quillmere" (per user, or machine-wide),
// grouped under the key path with '/' as separator.
static std::unique_ptr<QSettings> OpenStore(const QString &KeyPath, bool MachineRoot)
{
    QString path = KeyPath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString group = path.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
#ifdef Q_OS_WIN
    auto settings = std::make_unique<QSettings>(MachineRoot ? QStringLiteral("HKEY_LOCAL_MACHINE")
                                                            : QStringLiteral("HKEY_CURRENT_USER"),
                                                QSettings::NativeFormat);
#else
    auto settings = std::make_unique<QSettings>(
        QSettings::IniFormat, MachineRoot ? QSettings::SystemScope : QSettings::UserScope,
        QStringLiteral("Corvanta"), QStringLiteral("Quillmere"));
#endif
    // A user's read must not pick up machine-wide or organisation-wide values.
    settings->setFallbacksEnabled(false);
    if (!group.isEmpty())
        settings->beginGroup(group);
    return settings;
}

QString ReadSetting(const QString &KeyPath, const QString &ValueName, bool MachineRoot)
{
    const std::unique_ptr<QSettings> settings = OpenStore(KeyPath, MachineRoot);
    // A store that cannot be opened reads like a missing key.
    if (settings->status() == QSettings::AccessError)
        return {};
    if (settings->status() == QSettings::FormatError)
        throw ERegistryError(QStringLiteral("Failed to get data for '%1'").arg(ValueName));

    const QVariant value = settings->value(ValueName);
    if (!value.isValid())
        return {};
    if (value.typeId() != QMetaType::QString)
        throw ERegistryError(QStringLiteral("Invalid data type for '%1'").arg(ValueName));
    QString text = value.toString();
    const qsizetype zero = text.indexOf(QChar(u'\0'));
    if (zero >= 0)
        text.truncate(zero);
    return text;
}

void WriteSetting(const QString &KeyPath, const QString &ValueName, const QString &Value,
                  bool MachineRoot)
{
    const std::unique_ptr<QSettings> settings = OpenStore(KeyPath, MachineRoot);
    // The key cannot be opened: nothing is written and nothing is reported.
    if (settings->status() == QSettings::AccessError)
        return;
    settings->setValue(ValueName, Value);
    settings->sync();
    if (settings->status() != QSettings::NoError)
        throw ERegistryError(QStringLiteral("Failed to set data for '%1'").arg(ValueName));
}

void DeleteSettingsKey(const QString &KeyPath, bool MachineRoot)
{
    const std::unique_ptr<QSettings> settings = OpenStore(KeyPath, MachineRoot);
    if (settings->status() != QSettings::NoError)
        return;
    settings->remove(QString());
    settings->sync();
}
