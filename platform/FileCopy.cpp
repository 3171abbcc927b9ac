#include "platform/FileCopy.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace
{
constexpr qint64 ChunkSize = 256 * 1024;

QString Native(const QString &name)
{
    return QDir::toNativeSeparators(name);
}

TCopyOutcome Failure(const QString &error)
{
    return {TCopyResult::Failed, error};
}

// A new, empty file beside the target, under a name nobody else uses.
bool CreateTemporary(QFile &file, const QString &target)
{
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        file.setFileName(
            info.path() + QLatin1Char('/') + QLatin1Char('.') + info.fileName() + QLatin1Char('.') +
            QString::number(QRandomGenerator::global()->generate(), 16) + QStringLiteral(".part"));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (!file.exists())
            return false; // not a name clash: the folder itself refuses
    }
    return false;
}
} // namespace

TCopyOutcome CopyFileNoOverwrite(const QString &source, const QString &target)
{
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        return {TCopyResult::AlreadyExists, {}};

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return Failure(
            QStringLiteral("cannot read \"%1\": %2").arg(Native(source), in.errorString()));

    QFile out;
    if (!CreateTemporary(out, target))
        return Failure(QStringLiteral("cannot create a file in \"%1\": %2")
                           .arg(Native(QFileInfo(target).path()), out.errorString()));
    auto discard = [&out](const QString &error) {
        out.close();
        out.remove();
        return Failure(error);
    };

    QByteArray buffer;
    for (;;) {
        buffer = in.read(ChunkSize);
        if (buffer.isEmpty()) {
            if (in.error() != QFileDevice::NoError || !in.atEnd())
                return discard(
                    QStringLiteral("cannot read \"%1\": %2").arg(Native(source), in.errorString()));
            break;
        }
        if (out.write(buffer) != buffer.size())
            return discard(
                QStringLiteral("cannot write \"%1\": %2").arg(Native(target), out.errorString()));
    }
    if (!out.flush())
        return discard(
            QStringLiteral("cannot write \"%1\": %2").arg(Native(target), out.errorString()));
    // Keep the song's own date, as a copy in the file manager does; not worth failing over.
    out.setFileTime(in.fileTime(QFileDevice::FileModificationTime),
                    QFileDevice::FileModificationTime);
    out.close();
    if (out.error() != QFileDevice::NoError)
        return discard(
            QStringLiteral("cannot write \"%1\": %2").arg(Native(target), out.errorString()));

    // QFile::rename never replaces an existing file.
    if (!out.rename(target)) {
        const QString reason = out.errorString();
        out.remove();
        if (QFileInfo::exists(target))
            return {TCopyResult::AlreadyExists, {}};
        return Failure(QStringLiteral("cannot create \"%1\": %2").arg(Native(target), reason));
    }
    return {TCopyResult::Copied, {}};
}

void TCopyReport::Add(const QString &source, const TCopyOutcome &outcome)
{
    switch (outcome.Result) {
    case TCopyResult::Copied:
        ++m_copied;
        break;
    case TCopyResult::AlreadyExists:
        ++m_existing;
        break;
    case TCopyResult::Failed:
        m_failures << Native(source) + QStringLiteral(": ") + outcome.Error;
        break;
    }
}

QString TCopyReport::Summary(int maxListed) const
{
    const QString counts = QStringLiteral("Copied: %1\n"
                                          "Already there under the same name, not copied: %2")
                               .arg(m_copied)
                               .arg(m_existing);
    if (m_failures.isEmpty())
        return QStringLiteral("The export is finished.\n\n") + counts;
    QString text = QStringLiteral("Not every song was exported.\n\n") + counts +
                   QStringLiteral("\nFailed: %1\n").arg(m_failures.size());
    for (int i = 0; i < m_failures.size() && i < maxListed; ++i)
        text += QStringLiteral("\n") + m_failures.at(i);
    if (m_failures.size() > maxListed)
        text += QStringLiteral("\n... and %1 more").arg(m_failures.size() - maxListed);
    return text;
}
