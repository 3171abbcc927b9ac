#include "app/WindowMemory.h"

#include "base/Errors.h"
#include "data/URegistry.h"

#include <QStringList>

namespace
{
const QString GeometryValue = QStringLiteral("Geometry");
const QString AvailableValue = QStringLiteral("AvailableSongs");
const QString AvailableWidthValue = QStringLiteral("AvailableWidth");
const QString PlayListColumnsValue = QStringLiteral("PlayListColumns");
const QString AvailableColumnsValue = QStringLiteral("AvailableColumns");
const QString PlaylistValue = QStringLiteral("Playlist");

QString Read(const QString &name)
{
    return ReadSetting(WindowKeyPath, name, false);
}

void Write(const QString &name, const QString &value)
{
    WriteSetting(WindowKeyPath, name, value, false);
}
} // namespace

QString ColumnsText(const QList<TColumnMemory> &columns)
{
    QStringList parts;
    for (const TColumnMemory &column : columns)
        parts << QStringLiteral("%1=%2,%3")
                     .arg(column.Field)
                     .arg(column.Width)
                     .arg(column.Shown ? QLatin1Char('Y') : QLatin1Char('N'));
    return parts.join(QLatin1Char(';'));
}

QList<TColumnMemory> ParseColumns(const QString &text)
{
    QList<TColumnMemory> columns;
    for (const QString &part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        const QStringList values = part.mid(equals + 1).split(QLatin1Char(','));
        bool ok = false;
        const int width = values.value(0).toInt(&ok);
        if (equals <= 0 || !ok || width < 0 || values.size() != 2 ||
            (values[1] != QLatin1String("Y") && values[1] != QLatin1String("N")))
            continue;
        columns.append({part.left(equals), width, values[1] == QLatin1String("Y")});
    }
    return columns;
}

std::optional<TWindowMemory> TWindowMemory::Read()
{
    try {
        TWindowMemory memory;
        memory.Geometry = QByteArray::fromBase64(::Read(GeometryValue).toLatin1());
        if (memory.Geometry.isEmpty())
            return std::nullopt; // never closed before: the first start
        memory.AvailableShown = ::Read(AvailableValue) == QLatin1String("Y");
        memory.AvailableWidth = qMax(0, ::Read(AvailableWidthValue).toInt());
        memory.PlayListColumns = ParseColumns(::Read(PlayListColumnsValue));
        memory.AvailableColumns = ParseColumns(::Read(AvailableColumnsValue));
        bool ok = false;
        const qint64 playlist = ::Read(PlaylistValue).toLongLong(&ok);
        memory.PlaylistId = ok ? playlist : -1;
        return memory;
    } catch (const EError &) {
        return std::nullopt; // values of another type: start as the first time
    }
}

void TWindowMemory::Write() const
{
    ::Write(AvailableValue, AvailableShown ? QStringLiteral("Y") : QStringLiteral("N"));
    ::Write(AvailableWidthValue, QString::number(AvailableWidth));
    ::Write(PlayListColumnsValue, ColumnsText(PlayListColumns));
    ::Write(AvailableColumnsValue, ColumnsText(AvailableColumns));
    ::Write(PlaylistValue, QString::number(PlaylistId));
    // Last: a store that took everything else marks the window as remembered.
    ::Write(GeometryValue, QString::fromLatin1(Geometry.toBase64()));
}
