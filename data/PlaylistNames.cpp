// How playlist files name their songs: relative names, links, URIs.
#include "data/PlaylistNames.h"

#include "base/FileNames.h"
#include "data/PlaylistFormats.h"

#include <QDir>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <utility>

using namespace PlaylistNames;

namespace
{

bool SchemeChar(char c, bool first)
{
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return first ? letter : letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

} // namespace

namespace PlaylistNames
{

QString Shown(const QString &fileName)
{
    return QDir::toNativeSeparators(ReadableFileName(fileName));
}

bool IsAbsolute(const QString &name)
{
#ifdef Q_OS_WIN
    return QDir::isAbsolutePath(name);
#else
    return name.startsWith(QLatin1Char('/'));
#endif
}

QString Cleaned(const QString &name)
{
    return QDir::cleanPath(name);
}

// The length of a URI scheme at the start, its ':' excluded; 0 when there is none. One letter
// is a drive, not a scheme.
qsizetype SchemeLength(const QByteArray &text)
{
    qsizetype i = 0;
    while (i < text.size() && SchemeChar(text[i], i == 0))
        ++i;
    return i >= 2 && i < text.size() && text[i] == ':' ? i : 0;
}

// What a line of an M3U or PLS file takes for a URL rather than a name: "scheme://..." or
// "file:...".
bool LooksLikeUrl(const QByteArray &line)
{
    const qsizetype scheme = SchemeLength(line);
    if (scheme == 0)
        return false;
    return line.mid(scheme, 3) == "://" || line.left(scheme).toLower() == "file";
}

// A relative name written so that no reader takes it for a comment or a URL.
QString SafeRelative(const QString &name)
{
    if (name.startsWith(QLatin1Char('#')) || LooksLikeUrl(FileNameToBytes(name)))
        return QStringLiteral("./") + name;
    return name;
}

#ifndef Q_OS_WIN
// The name with its links resolved, as the system would; itself when it cannot be reached.
QString RealPath(const QString &name)
{
    char resolved[PATH_MAX];
    if (!realpath(FileNameToBytes(name).constData(), resolved))
        return name;
    return FileNameFromBytes(QByteArray(resolved));
}
#endif

// An absolute name cleaned, each ".." taken from where the folder before it really lies, as
// the system takes it when it opens the name.
QString Physical(const QString &absolute)
{
#ifdef Q_OS_WIN
    return Cleaned(absolute);
#else
    if (!absolute.contains(QStringLiteral("..")))
        return Cleaned(absolute);
    QString current; // "" is the root
    bool real = true;
    for (const QString &part : absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (!real)
                current = RealPath(current);
            current.truncate(std::max<qsizetype>(current.lastIndexOf(QLatin1Char('/')), 0));
            real = true;
        } else {
            current += QLatin1Char('/') + part;
            real = false;
        }
    }
    return current.isEmpty() ? QStringLiteral("/") : current;
#endif
}

#ifndef Q_OS_WIN
// Whether two names lead to one place, links followed.
bool SamePlace(const QString &a, const QString &b)
{
    return a == b || RealPath(a) == RealPath(b);
}
#endif

// A name as read from a folder: cleaned as text, as the library knows its files, unless a ".."
// after a link leads elsewhere; then where the system would go.
QString Resolved(const QString &name, const QString &folder)
{
    const QString joined = IsAbsolute(name) ? name : folder + QLatin1Char('/') + name;
    const QString text = Cleaned(joined);
#ifdef Q_OS_WIN
    return text;
#else
    if (!joined.contains(QStringLiteral("..")))
        return text;
    const QString physical = Physical(joined);
    return SamePlace(text, physical) ? text : physical;
#endif
}

// The file as named from the folder, so that the system, reading the name from there, reaches
// it: when a ".." would climb out of a link, the name starts from where the folder really lies.
QString RelativeName(const QString &file, const QString &folder)
{
    const QString name = RelativeFileName(file, folder);
#ifdef Q_OS_WIN
    return name;
#else
    if (!name.startsWith(QStringLiteral("../")) ||
        SamePlace(Cleaned(file), Physical(folder + QLatin1Char('/') + name)))
        return name;
    return RelativeFileName(file, RealPath(folder));
#endif
}

QString WrittenName(const QString &file, const QString &relativeTo)
{
    return relativeTo.isEmpty() ? file : SafeRelative(RelativeName(file, relativeTo));
}

// The folder where a playlist file lies, or will lie: links to the file followed.
QString FolderOfTarget(const QString &fileName)
{
    const QString target = TargetName(fileName);
    return Physical(target.left(target.lastIndexOf(QLatin1Char('/')) + 1));
}

} // namespace PlaylistNames

QString ShortPiece(const QString &text, qsizetype most)
{
    if (text.size() <= most)
        return text;
    const qsizetype tail = most / 4;
    QString head = text.left(most - tail - 3), end = text.right(tail);
    // Never half a character.
    if (!head.isEmpty() && head.back().isHighSurrogate())
        head.chop(1);
    if (!end.isEmpty() && end.front().isLowSurrogate())
        end.remove(0, 1);
    return head + QStringLiteral("...") + end;
}

bool PlaylistFormatOf(const QString &fileName, TPlaylistFormat &format)
{
    const QString lower = fileName.toLower();
    const std::pair<const char *, TPlaylistFormat> known[] = {{".pls", TPlaylistFormat::Pls},
                                                              {".m3u", TPlaylistFormat::M3u},
                                                              {".m3u8", TPlaylistFormat::M3u8},
                                                              {".xspf", TPlaylistFormat::Xspf}};
    for (const auto &[extension, value] : known) {
        if (lower.endsWith(QLatin1String(extension))) {
            format = value;
            return true;
        }
    }
    return false;
}

QString RelativeFileName(const QString &file, const QString &folder)
{
    const QStringList fileParts = Cleaned(file).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QStringList folderParts = Cleaned(folder).split(QLatin1Char('/'), Qt::SkipEmptyParts);
#ifdef Q_OS_WIN
    if (fileParts.isEmpty() || folderParts.isEmpty() ||
        fileParts.first().compare(folderParts.first(), Qt::CaseInsensitive) != 0)
        return file;
    const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    qsizetype common = 0;
    while (common < folderParts.size() && common + 1 < fileParts.size() &&
           fileParts.at(common).compare(folderParts.at(common), cs) == 0)
        ++common;
    QStringList parts;
    for (qsizetype i = common; i < folderParts.size(); ++i)
        parts << QStringLiteral("..");
    parts += fileParts.mid(common);
    return parts.join(QLatin1Char('/'));
}

QByteArray PercentEncodedName(const QString &name)
{
    return FileNameToBytes(name).toPercentEncoding("/");
}

QByteArray FileUri(const QString &absoluteFile)
{
    QByteArray uri = "file://";
    if (!absoluteFile.startsWith(QLatin1Char('/')))
        uri += '/'; // a drive letter
    return uri + PercentEncodedName(QDir::fromNativeSeparators(absoluteFile));
}
