#include "data/PlaylistFormats.h"

#include "base/Errors.h"
#include "base/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cerrno>

namespace
{

const QString XspfNamespace = QStringLiteral("http://xspf.org/ns/0/");

void AddLine(QByteArray &text, const QByteArray &line)
{
    text += line;
    text += "\r\n";
}

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

bool CarriedOnOneLine(const QString &name)
{
    return !name.contains(QLatin1Char('\r')) && !name.contains(QLatin1Char('\n'));
}

// A text without control characters and without what XML cannot hold.
QString CleanText(const QString &text)
{
    QString clean;
    clean.reserve(text.size());
    for (const char32_t code : text.toUcs4()) {
        if (QChar::category(code) == QChar::Other_Control || code == 0xFFFE || code == 0xFFFF ||
            (code >= 0xD800 && code <= 0xDFFF))
            continue;
        clean += QString::fromUcs4(&code, 1);
    }
    return clean;
}

bool SchemeChar(char c, bool first)
{
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return first ? letter : letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
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

QString WrittenName(const QString &file, const QString &relativeTo)
{
    return relativeTo.isEmpty() ? file : SafeRelative(RelativeFileName(file, relativeTo));
}

QString NotInLibraryLine(int entry)
{
    return QStringLiteral("entry %1: its song is no longer in the library").arg(entry);
}

QString Cleaned(const QString &name)
{
    return QDir::cleanPath(name);
}

QString Resolved(const QString &name, const QString &folder)
{
    return Cleaned(IsAbsolute(name) ? name : folder + QLatin1Char('/') + name);
}

// A file URI or a relative reference as a file name; Problem set when it names none.
TPlaylistEntryRead EntryFromUri(const QString &written, const QByteArray &uri,
                                const QString &folder)
{
    TPlaylistEntryRead entry;
    entry.Written = written;
    QByteArray path = uri;
    const qsizetype scheme = SchemeLength(uri);
    if (scheme > 0) {
        if (uri.left(scheme).toLower() != "file") {
            entry.Problem = QStringLiteral("not a file but a URL; skipped");
            return entry;
        }
        path = uri.mid(scheme + 1);
        if (path.startsWith("//")) {
            const qsizetype slash = path.indexOf('/', 2);
            const QByteArray host = path.mid(2, slash < 0 ? -1 : slash - 2);
            if (!host.isEmpty() && host.toLower() != "localhost") {
                entry.Problem = QStringLiteral("a file on another computer; skipped");
                return entry;
            }
            path = slash < 0 ? QByteArray("/") : path.mid(slash);
        }
#ifdef Q_OS_WIN
        if (path.size() >= 3 && path[0] == '/' && path[2] == ':')
            path = path.mid(1); // "/C:/..."
#endif
    }
    const QString name = FileNameFromBytes(QByteArray::fromPercentEncoding(path));
    if (name.isEmpty()) {
        entry.Problem = QStringLiteral("names no file");
        return entry;
    }
    entry.File = Resolved(name, folder);
    return entry;
}

TPlaylistEntryRead EntryFromLine(const QByteArray &line, const QString &folder)
{
    if (LooksLikeUrl(line))
        return EntryFromUri(FileNameFromBytes(line), line, folder);
    TPlaylistEntryRead entry;
    entry.Written = FileNameFromBytes(line);
    entry.File = Resolved(entry.Written, folder);
    return entry;
}

// The lines of a text file: byte order marks dropped, UTF-16 read as such, CR LF, LF or CR.
QList<QByteArray> TextLines(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes = bytes.mid(3);
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decode(bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                           : QStringConverter::Utf16BE);
        bytes = QString(decode(bytes.mid(2))).toUtf8();
    }
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        lines << bytes.mid(start, i - start);
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines << bytes.mid(start);
    return lines;
}

TPlaylistRead ParseM3u(const QByteArray &bytes, const QString &folder)
{
    TPlaylistRead read;
    for (const QByteArray &line : TextLines(bytes)) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        read.Entries << EntryFromLine(line, folder);
    }
    return read;
}

TPlaylistRead ParsePls(const QByteArray &bytes, const QString &folder)
{
    QList<std::pair<qint64, TPlaylistEntryRead>> numbered;
    for (const QByteArray &line : TextLines(bytes)) {
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue; // "[playlist]", comments, blank lines
        const QByteArray key = line.left(equals).trimmed().toLower();
        if (!key.startsWith("file"))
            continue;
        bool ok = false;
        const qint64 number = key.mid(4).toLongLong(&ok);
        if (!ok)
            continue;
        const QByteArray value = line.mid(equals + 1);
        if (value.trimmed().isEmpty())
            continue;
        numbered.append({number, EntryFromLine(value, folder)});
    }
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    TPlaylistRead read;
    for (const auto &[number, entry] : std::as_const(numbered))
        read.Entries << entry;
    return read;
}

[[noreturn]] void NotXspf(const QString &fileName, const QString &reason)
{
    throw EInOutError(
        QStringLiteral("Cannot read the playlist file \"%1\": %2").arg(Shown(fileName), reason));
}

TPlaylistRead ParseXspf(const QByteArray &bytes, const QString &folder, const QString &fileName)
{
    TPlaylistRead read;
    QXmlStreamReader xml(bytes);
    QStringList open; // the elements around the reader, outermost first
    int tracks = 0;
    QString location;
    bool haveLocation = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString name = xml.name().toString();
            if (open.isEmpty() && name != QLatin1String("playlist"))
                NotXspf(fileName, QStringLiteral("it is not an XSPF playlist (line %1 starts "
                                                 "\"%2\" where \"playlist\" belongs)")
                                      .arg(xml.lineNumber())
                                      .arg(name));
            open << name;
            const bool inTrack = open.size() == 4 && open.at(1) == QLatin1String("trackList") &&
                                 open.at(2) == QLatin1String("track");
            if (open.size() == 3 && name == QLatin1String("track") &&
                open.at(1) == QLatin1String("trackList")) {
                ++tracks;
                location.clear();
                haveLocation = false;
            } else if (inTrack && name == QLatin1String("location") && !haveLocation) {
                location = xml.readElementText().trimmed();
                haveLocation = true;
                open.removeLast();
            } else if (open.size() == 2 && name == QLatin1String("title")) {
                read.Title = xml.readElementText().trimmed();
                open.removeLast();
            }
        } else if (xml.isEndElement() && !open.isEmpty()) {
            if (open.size() == 3 && open.last() == QLatin1String("track")) {
                const QString written =
                    haveLocation ? location : QStringLiteral("track %1").arg(tracks);
                TPlaylistEntryRead entry;
                if (location.isEmpty()) {
                    entry.Written = written;
                    entry.Problem = QStringLiteral("a track without a location; skipped");
                } else {
                    entry = EntryFromUri(written, location.toUtf8(), folder);
                }
                read.Entries << entry;
            }
            open.removeLast();
        }
    }
    if (xml.hasError())
        NotXspf(fileName, QStringLiteral("it is not well-formed XML: line %1, column %2: %3")
                              .arg(xml.lineNumber())
                              .arg(xml.columnNumber())
                              .arg(xml.errorString()));
    return read;
}

} // namespace

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

TPlaylistText M3uText(const QList<TPlaylistItem> &items, bool utf8, const QString &relativeTo)
{
    TPlaylistText result;
    AddLine(result.Text, "#EXTM3U");
    int entry = 0;
    for (const TPlaylistItem &item : items) {
        ++entry;
        if (item.File.isEmpty()) {
            result.LeftOut << NotInLibraryLine(entry);
            continue;
        }
        const QString name = WrittenName(item.File, relativeTo);
        QByteArray line;
        if (!utf8) {
            line = PlaylistPathBytes(name);
            if (line.isEmpty()) {
                result.LeftOut << LeftOutLine(item.File);
                continue;
            }
        } else if (HasStrayBytes(name) || !CarriedOnOneLine(name)) {
            // Not UTF-8 text or not one line: a URI carries every byte.
            line = FileUri(item.File);
        } else {
            line = name.toUtf8();
        }
        const QString title =
            item.Artist.isEmpty() ? item.Title : item.Artist + QStringLiteral(" - ") + item.Title;
        const QByteArray length = item.Length.isEmpty() ? QByteArray("-1") : item.Length.toUtf8();
        AddLine(result.Text, "#EXTINF:" + length + ',' +
                                 (utf8 ? CleanText(title).toUtf8() : PlaylistTitleBytes(title)));
        AddLine(result.Text, line);
    }
    return result;
}

TPlaylistText XspfText(const QList<TPlaylistItem> &items, const QString &title,
                       const QString &relativeTo)
{
    TPlaylistText result;
    QXmlStreamWriter xml(&result.Text);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(XspfNamespace);
    xml.writeStartElement(XspfNamespace, QStringLiteral("playlist"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1"));
    if (!CleanText(title).isEmpty())
        xml.writeTextElement(XspfNamespace, QStringLiteral("title"), CleanText(title));
    xml.writeStartElement(XspfNamespace, QStringLiteral("trackList"));
    int entry = 0;
    for (const TPlaylistItem &item : items) {
        ++entry;
        if (item.File.isEmpty()) {
            result.LeftOut << NotInLibraryLine(entry);
            continue;
        }
        const QByteArray location =
            relativeTo.isEmpty() ? FileUri(item.File)
                                 : PercentEncodedName(RelativeFileName(item.File, relativeTo));
        xml.writeStartElement(XspfNamespace, QStringLiteral("track"));
        xml.writeTextElement(XspfNamespace, QStringLiteral("location"),
                             QString::fromLatin1(location));
        if (!CleanText(item.Title).isEmpty())
            xml.writeTextElement(XspfNamespace, QStringLiteral("title"), CleanText(item.Title));
        if (!CleanText(item.Artist).isEmpty())
            xml.writeTextElement(XspfNamespace, QStringLiteral("creator"), CleanText(item.Artist));
        bool ok = false;
        const qint64 seconds = item.Length.toLongLong(&ok);
        if (ok && seconds >= 0)
            xml.writeTextElement(XspfNamespace, QStringLiteral("duration"),
                                 QString::number(seconds * 1000));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return result;
}

TPlaylistText PlaylistText(TPlaylistFormat format, const QList<TPlaylistItem> &items,
                           const QString &title, const QString &relativeTo)
{
    switch (format) {
    case TPlaylistFormat::M3u:
        return M3uText(items, false, relativeTo);
    case TPlaylistFormat::M3u8:
        return M3uText(items, true, relativeTo);
    case TPlaylistFormat::Xspf:
        return XspfText(items, title, relativeTo);
    case TPlaylistFormat::Pls:
        break;
    }
    if (relativeTo.isEmpty())
        return PlsText(items);
    QList<TPlaylistItem> relative = items;
    for (TPlaylistItem &item : relative) {
        if (!item.File.isEmpty())
            item.File = WrittenName(item.File, relativeTo);
    }
    return PlsText(relative);
}

QStringList SavePlaylistAs(const QList<TPlaylistItem> &items, const QString &fileName,
                           TPlaylistFormat format, const QString &title, bool relative,
                           const QString &protectedFile)
{
    CheckPlaylistTarget(fileName, protectedFile);
    const QString folder = relative ? Cleaned(QFileInfo(fileName).absolutePath()) : QString();
    const TPlaylistText text = PlaylistText(format, items, title, folder);
    WriteFileSafely(fileName, text.Text);
    return text.LeftOut;
}

TPlaylistRead ParsePlaylist(const QByteArray &bytes, TPlaylistFormat format, const QString &folder,
                            const QString &fileName)
{
    switch (format) {
    case TPlaylistFormat::Pls:
        return ParsePls(bytes, folder);
    case TPlaylistFormat::Xspf:
        return ParseXspf(bytes, folder, fileName);
    case TPlaylistFormat::M3u:
    case TPlaylistFormat::M3u8:
        break;
    }
    return ParseM3u(bytes, folder);
}

TPlaylistRead ReadPlaylistFile(const QString &fileName, TPlaylistFormat format)
{
    QFile file;
    if (!OpenForReading(file, fileName)) {
        const int error = errno;
        throw EInOutError(QStringLiteral("Cannot read the playlist file \"%1\": %2")
                              .arg(Shown(fileName), FileErrorText(error)),
                          error);
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EInOutError(QStringLiteral("Cannot read the playlist file \"%1\": %2")
                              .arg(Shown(fileName), file.errorString()));
    return ParsePlaylist(bytes, format, Cleaned(QFileInfo(fileName).absolutePath()), fileName);
}
