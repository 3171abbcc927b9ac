#include "data/PlaylistFile.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/DataSet.h"
#include "data/PlaylistFormats.h"
#include "data/SongRow.h"
#include "data/SongTitles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>

#ifndef Q_OS_WIN
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{
void AddLine(QByteArray &text, const QByteArray &line)
{
    text += line;
    text += "\r\n";
}

QString Shown(const QString &fileName)
{
    return QDir::toNativeSeparators(ReadableFileName(fileName));
}

[[noreturn]] void Fail(const QString &fileName, const QString &reason, int code = 0)
{
    throw EInOutError(
        QStringLiteral("Cannot write the playlist file \"%1\": %2").arg(Shown(fileName), reason),
        code);
}

bool CarriedOnOneLine(const QString &file)
{
    return !file.contains(QLatin1Char('\r')) && !file.contains(QLatin1Char('\n'));
}

// What other players' playlist files start with, after a byte order mark and blanks.
bool LooksLikePlaylist(QByteArray head, const QString &fileName)
{
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.mid(3);
    if (head.contains('\0'))
        return false;
    const QByteArray start = head.trimmed().left(64).toLower();
    if (start.isEmpty() || start.startsWith("[playlist]") || start.startsWith("#extm3u"))
        return true;
    if (start.startsWith("<?xml") || start.startsWith("<playlist"))
        return head.contains("<playlist");
    // A plain M3U is a list of names.
    const QString lower = fileName.toLower();
    return lower.endsWith(QStringLiteral(".m3u")) || lower.endsWith(QStringLiteral(".m3u8"));
}

bool SameFile(const QString &a, const QString &b)
{
#ifdef Q_OS_WIN
    return QFileInfo(a).canonicalFilePath().compare(QFileInfo(b).canonicalFilePath(),
                                                    Qt::CaseInsensitive) == 0;
#else
    struct stat sa, sb;
    return stat(FileNameToBytes(a).constData(), &sa) == 0 &&
           stat(FileNameToBytes(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
#endif
}

} // namespace

QList<TPlaylistItem> PlaylistItems(TDataSet &entries)
{
    QList<TPlaylistItem> items;
    if (!entries.Active())
        return items;
    entries.First();
    while (!entries.Eof()) {
        items.append({SongFile(entries), entries.AsString(QStringLiteral("Duration")),
                      SongTitle(entries.AsString(QStringLiteral("ID3_Title")),
                                entries.AsString(QStringLiteral("FileName"))),
                      entries.AsString(QStringLiteral("ID3_Artist"))});
        entries.Next();
    }
    return items;
}

QByteArray PlaylistPathBytes(const QString &file)
{
    if (!CarriedOnOneLine(file) || file.contains(QChar(0)))
        return {};
#ifdef Q_OS_WIN
    const QByteArray bytes = file.toLocal8Bit();
    return QString::fromLocal8Bit(bytes) == file ? bytes : QByteArray();
#else
    return FileNameToBytes(file);
#endif
}

QByteArray PlaylistTitleBytes(const QString &title)
{
    QString clean;
    clean.reserve(title.size());
    for (const QChar c : title) {
        if (c.category() != QChar::Other_Control)
            clean += c;
    }
#ifdef Q_OS_WIN
    return clean.toLocal8Bit();
#else
    return clean.toUtf8();
#endif
}

QString LeftOutLine(const QString &file)
{
    const QString reason =
        file.contains(QChar(0)) ? QStringLiteral("its name holds a NUL character")
        : !CarriedOnOneLine(file)
            ? QStringLiteral("its name holds a line break")
            : QStringLiteral("its name has characters that the file cannot hold");
    QString shown = Shown(file);
    shown.replace(QLatin1Char('\r'), QStringLiteral("\\r"))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"))
        .replace(QChar(0), QStringLiteral("\\0"));
    return QStringLiteral("%1: %2").arg(shown, reason);
}

QString LeftOutReport(const QString &fileName, const QStringList &leftOut)
{
    constexpr int Listed = 10;
    QString text = QStringLiteral("%1 songs were left out of \"%2\":\n")
                       .arg(leftOut.size())
                       .arg(Shown(fileName));
    for (int i = 0; i < leftOut.size() && i < Listed; ++i)
        text += QLatin1Char('\n') + leftOut.at(i);
    if (leftOut.size() > Listed)
        text += QStringLiteral("\n... and %1 more").arg(leftOut.size() - Listed);
    return text;
}

TPlaylistText PlsText(const QList<TPlaylistItem> &items)
{
    TPlaylistText result;
    AddLine(result.Text, "[playlist]");
    int n = 0;
    for (const TPlaylistItem &item : items) {
        const QByteArray file = PlaylistPathBytes(item.File);
        if (file.isEmpty() && !item.File.isEmpty()) {
            result.LeftOut << LeftOutLine(item.File);
            continue;
        }
        const QByteArray number = QByteArray::number(++n);
        AddLine(result.Text, "File" + number + '=' + file);
        AddLine(result.Text, "Length" + number + '=' + PlaylistTitleBytes(item.Length));
        AddLine(result.Text, "Title" + number + '=' + PlaylistTitleBytes(item.Title));
    }
    return result;
}

QByteArray PlaylistFileText(TDataSet &entries)
{
    return PlsText(PlaylistItems(entries)).Text;
}

void CheckPlaylistTarget(const QString &fileName, const QString &protectedFile)
{
    const TFileStatus status = FileStatus(fileName);
    if (!status.Exists)
        return;
    if (status.IsFolder)
        Fail(fileName, QStringLiteral("it is a folder"));
    if (!protectedFile.isEmpty() && SameFile(fileName, protectedFile))
        Fail(fileName, QStringLiteral("it is the library; it is not replaced"));
    QFile existing;
    if (!OpenForReading(existing, fileName)) {
        const int code = errno;
        Fail(fileName,
             code == NotRegularFile ? QStringLiteral("it is not a regular file")
                                    : FileErrorText(code),
             code);
    }
    if (!LooksLikePlaylist(existing.read(4096), fileName))
        Fail(fileName, QStringLiteral("it is not a playlist file; it is not replaced"));
}

QString TargetName(const QString &fileName)
{
    try {
        return AtomicTargetName(fileName);
    } catch (const EInOutError &e) {
        Fail(fileName, e.Message(), e.ErrorCode());
    }
}

void WriteFileSafely(const QString &fileName, const QByteArray &bytes)
{
    try {
        WriteFileAtomically(fileName, bytes);
    } catch (const EInOutError &e) {
        Fail(fileName, e.Message(), e.ErrorCode());
    }
}

QStringList SavePlaylistFile(TDataSet &entries, const QString &fileName,
                             const QString &protectedFile)
{
    return SavePlaylistAs(PlaylistItems(entries), fileName, TPlaylistFormat::Pls, QString(), false,
                          protectedFile);
}
