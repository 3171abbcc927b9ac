#include "platform/FileCopy.h"

#include "base/FileNames.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>

namespace
{
constexpr qint64 ChunkSize = 256 * 1024;

QString Native(const QString &name)
{
    return QDir::toNativeSeparators(name);
}

QString Shown(const QString &name)
{
    return Native(ReadableFileName(name));
}

TCopyOutcome Failure(const QString &error)
{
    return {TCopyResult::Failed, error};
}

QString Reason(int code, const QFile &file)
{
    return code != 0 ? FileErrorText(code) : file.errorString();
}

// A new, empty file beside the target, under a name nobody else uses.
bool CreateTemporary(QFile &file, QString &name, const QString &target)
{
    const qsizetype cut = target.lastIndexOf(QLatin1Char('/')) + 1;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target.left(cut) + QLatin1Char('.') + target.mid(cut) + QLatin1Char('.') +
               QString::number(QRandomGenerator::global()->generate(), 16) +
               QStringLiteral(".part");
        if (CreateNewFile(file, name))
            return true;
        if (errno != EEXIST)
            return false; // not a name clash: the folder itself refuses
    }
    return false;
}
} // namespace

TCopyOutcome CopyFileNoOverwrite(const QString &source, const QString &target)
{
    const TFileStatus existing = FileStatus(target);
    if (existing.Exists || existing.IsLink)
        return {TCopyResult::AlreadyExists, {}};

    QFile in;
    if (!OpenForReading(in, source))
        return Failure(
            QStringLiteral("cannot read \"%1\": %2").arg(Shown(source), FileErrorText(errno)));

    QFile out;
    QString temporary;
    if (!CreateTemporary(out, temporary, target)) {
        const int code = errno;
        return Failure(QStringLiteral("cannot create a file in \"%1\": %2")
                           .arg(Shown(target.left(target.lastIndexOf(QLatin1Char('/')) + 1)),
                                FileErrorText(code)));
    }
    auto discard = [&out, &temporary](const QString &error) {
        out.close();
        RemoveFile(temporary);
        return Failure(error);
    };

    QByteArray buffer;
    for (;;) {
        errno = 0;
        buffer = in.read(ChunkSize);
        if (buffer.isEmpty()) {
            const int code = errno;
            if (in.error() != QFileDevice::NoError || !in.atEnd())
                return discard(
                    QStringLiteral("cannot read \"%1\": %2").arg(Shown(source), Reason(code, in)));
            break;
        }
        errno = 0;
        if (out.write(buffer) != buffer.size()) {
            const int code = errno;
            return discard(
                QStringLiteral("cannot write \"%1\": %2").arg(Shown(target), Reason(code, out)));
        }
    }
    // Keep the song's own date, as a copy in the file manager does; not worth failing over.
    out.setFileTime(in.fileTime(QFileDevice::FileModificationTime),
                    QFileDevice::FileModificationTime);
    errno = 0;
    out.close();
    if (out.error() != QFileDevice::NoError) {
        const int code = errno;
        return discard(
            QStringLiteral("cannot write \"%1\": %2").arg(Shown(target), Reason(code, out)));
    }

    if (!RenameNoReplace(temporary, target)) {
        const int code = errno;
        RemoveFile(temporary);
        if (FileStatus(target).Exists)
            return {TCopyResult::AlreadyExists, {}};
        return Failure(
            QStringLiteral("cannot create \"%1\": %2").arg(Shown(target), FileErrorText(code)));
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
