#include "data/PlaylistFile.h"
#include "data/SongTitles.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/DataSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>

#ifdef Q_OS_WIN
#include <QSaveFile>
#else
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

#ifndef Q_OS_WIN
bool WriteAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// The name a write replaces or creates: links followed to where they point, also when that
// does not exist yet, so the link itself stays.
QByteArray ReplacedName(const QString &fileName)
{
    QByteArray name = FileNameToBytes(fileName);
    if (name.contains('\0'))
        Fail(fileName, FileErrorText(EINVAL), EINVAL);
    for (int hops = 0;; ++hops) {
        char buffer[PATH_MAX];
        const ssize_t length = ::readlink(name.constData(), buffer, sizeof buffer);
        if (length < 0)
            return name;
        if (hops == 40 || length == ssize_t(sizeof buffer))
            Fail(fileName, FileErrorText(hops == 40 ? ELOOP : ENAMETOOLONG),
                 hops == 40 ? ELOOP : ENAMETOOLONG);
        QByteArray target(buffer, length);
        if (!target.startsWith('/'))
            target.prepend(name.left(name.lastIndexOf('/') + 1));
        name = target;
    }
}

// A hidden name beside the file's own that stays within the 255 bytes a name may have.
QByteArray TemporaryName(const QByteArray &baseName)
{
    constexpr qsizetype Kept = 255 - 15; // ".", ".", 8 digits, ".part"
    qsizetype keep = std::min(baseName.size(), Kept);
    while (keep > 0 && keep < baseName.size() && (uchar(baseName[keep]) & 0xC0) == 0x80)
        --keep; // not inside a UTF-8 character
    return '.' + baseName.left(keep) + '.' +
           QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0') +
           ".part";
}
#endif
} // namespace

QList<TPlaylistItem> PlaylistItems(TDataSet &entries)
{
    QList<TPlaylistItem> items;
    if (!entries.Active())
        return items;
    entries.First();
    while (!entries.Eof()) {
        items.append({entries.AsString(QStringLiteral("Path")) +
                          entries.AsString(QStringLiteral("FileName")),
                      entries.AsString(QStringLiteral("Duration")),
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

#ifdef Q_OS_WIN

QString TargetName(const QString &fileName)
{
    return QFileInfo(fileName).absoluteFilePath();
}

void WriteFileSafely(const QString &fileName, const QByteArray &bytes)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        Fail(fileName, file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush())
        Fail(fileName, file.errorString());
    if (!file.commit())
        Fail(fileName, file.errorString());
}

#else

QString TargetName(const QString &fileName)
{
    return QFileInfo(FileNameFromBytes(ReplacedName(fileName))).absoluteFilePath();
}

void WriteFileSafely(const QString &fileName, const QByteArray &bytes)
{
    const QByteArray target = ReplacedName(fileName);
    const qsizetype cut = target.lastIndexOf('/') + 1;
    const QByteArray folder = cut > 0 ? target.left(cut) : QByteArray("./");

    struct stat old;
    const bool replacing = stat(target.constData(), &old) == 0;
    if (replacing && ::access(target.constData(), W_OK) != 0)
        Fail(fileName, FileErrorText(errno), errno);

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = folder + TemporaryName(target.mid(cut));
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        Fail(fileName, FileErrorText(errno), errno);

    int error = 0;
    if (replacing && fchmod(fd, old.st_mode & 07777) != 0)
        error = errno;
    if (error == 0 && !WriteAll(fd, bytes))
        error = errno;
    // The bytes must be on the disk before the old file goes.
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        Fail(fileName, FileErrorText(error), error);
    }
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        ::close(dir);
    }
}

#endif

QStringList SavePlaylistFile(TDataSet &entries, const QString &fileName,
                             const QString &protectedFile)
{
    CheckPlaylistTarget(fileName, protectedFile);
    const TPlaylistText text = PlsText(PlaylistItems(entries));
    WriteFileSafely(fileName, text.Text);
    return text.LeftOut;
}
