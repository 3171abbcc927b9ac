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
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>

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

QString NotInLibraryLine(int entry)
{
    return QStringLiteral("entry %1: its song is no longer in the library").arg(entry);
}

QString Cleaned(const QString &name)
{
    return QDir::cleanPath(name);
}

[[noreturn]] void Unreadable(const QString &fileName, const QString &reason)
{
    throw EInOutError(
        QStringLiteral("Cannot read the playlist file \"%1\": %2").arg(Shown(fileName), reason));
}

[[noreturn]] void TooManyEntries(const QString &fileName)
{
    Unreadable(fileName,
               QStringLiteral("a playlist holds at most 65,535 entries, and this file lists more"));
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

const QString NulProblem = QStringLiteral("its name holds a NUL character; skipped");

#ifndef Q_OS_WIN
// "C:\..." or "C:/...": a file on a Windows drive, which no name here can reach.
bool OnWindowsDrive(const QString &name)
{
    return name.size() >= 3 && name.at(0).isLetter() && name.at(0).unicode() < 128 &&
           name.at(1) == QLatin1Char(':') &&
           (name.at(2) == QLatin1Char('\\') || name.at(2) == QLatin1Char('/'));
}
const QString DriveProblem =
    QStringLiteral("a Windows name with a drive letter; there is no such file here");
#endif

// A file URI or a relative reference as a file name; Problem set when it names none.
TPlaylistEntryRead EntryFromUri(const QString &written, const QByteArray &uri,
                                const QString &folder)
{
    TPlaylistEntryRead entry;
    entry.Written = ShortPiece(written);
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
    if (name.contains(QChar(0))) {
        entry.Problem = NulProblem;
        return entry;
    }
#ifndef Q_OS_WIN
    if (OnWindowsDrive(name) ||
        (scheme > 0 && name.startsWith(QLatin1Char('/')) && OnWindowsDrive(name.mid(1)))) {
        entry.Problem = DriveProblem;
        entry.Missing = true;
        return entry;
    }
#endif
    entry.File = Resolved(name, folder);
    return entry;
}

// A line of an M3U file or a File value of a PLS file. Other programs pad names with blanks
// and write relative names with Windows separators; that is what they mean, but a file named
// exactly as written is taken first.
TPlaylistEntryRead EntryFromLine(const QByteArray &line, const QString &folder)
{
    const QByteArray trimmed = line.trimmed();
    if (LooksLikeUrl(trimmed))
        return EntryFromUri(FileNameFromBytes(trimmed), trimmed, folder);
    TPlaylistEntryRead entry;
    const QString written = FileNameFromBytes(line);
    entry.Written = ShortPiece(written);
    if (line.contains('\0')) {
        entry.Problem = NulProblem;
        return entry;
    }
    QString meant = FileNameFromBytes(trimmed);
#ifndef Q_OS_WIN
    if (OnWindowsDrive(meant)) {
        entry.Literal = Resolved(written, folder);
        entry.Problem = DriveProblem;
        entry.Missing = true;
        return entry;
    }
    meant.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
    entry.File = Resolved(meant, folder);
    if (meant != written)
        entry.Literal = Resolved(written, folder);
    return entry;
}

// Splits text into lines as it comes in pieces: CR LF, LF or CR, a byte order mark dropped,
// UTF-16 read as such; empty lines are passed over. Nothing but the line at hand is kept, and a
// line past the limit ends the read.
class TLineSplitter
{
public:
    TLineSplitter(const QString &fileName, std::function<void(const QByteArray &)> onLine)
        : m_fileName(fileName), m_onLine(std::move(onLine))
    {
    }

    void Add(const QByteArray &bytes)
    {
        if (!m_started) {
            m_head += bytes;
            if (m_head.size() >= 3)
                Start();
            return;
        }
        if (m_utf16)
            AddText(QString((*m_utf16)(bytes)).toUtf8());
        else
            AddText(bytes);
    }

    void Finish()
    {
        if (!m_started)
            Start();
        if (m_utf16)
            AddText(QString((*m_utf16)(QByteArray())).toUtf8());
        if (!m_line.isEmpty())
            m_onLine(m_line);
    }

private:
    // The first characters of a line, for a message.
    static QString Start(const QByteArray &line)
    {
        return ShortPiece(ReadableFileName(FileNameFromBytes(line.left(60))), 40);
    }

    void Start()
    {
        m_started = true;
        QByteArray head = std::exchange(m_head, QByteArray());
        if (head.startsWith("\xEF\xBB\xBF")) {
            head = head.mid(3);
        } else if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
            m_utf16.emplace(head.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                        : QStringConverter::Utf16BE);
            head = QString((*m_utf16)(head.mid(2))).toUtf8();
        }
        AddText(head);
    }

    void AddText(const QByteArray &text)
    {
        const char *p = text.constData();
        const char *const end = p + text.size();
        while (p < end) {
            if (m_afterCr && *p == '\n') {
                ++p;
                m_afterCr = false;
                continue;
            }
            m_afterCr = false;
            const char *stop = p;
            while (stop < end && *stop != '\r' && *stop != '\n')
                ++stop;
            if (m_line.size() + (stop - p) > PlaylistLineLimit)
                Unreadable(
                    m_fileName,
                    QStringLiteral("line %1 is longer than %2 KB (it starts \"%3\")")
                        .arg(m_lines + 1)
                        .arg(PlaylistLineLimit / 1024)
                        .arg(Start(m_line + QByteArray(p, std::min<qsizetype>(stop - p, 60)))));
            m_line.append(p, stop - p);
            if (stop == end)
                break;
            m_afterCr = *stop == '\r';
            ++m_lines;
            if (!m_line.isEmpty()) // blank lines say nothing in either format
                m_onLine(m_line);
            m_line.resize(0); // keeps its room for the next line
            p = stop + 1;
        }
    }

    const QString m_fileName;
    const std::function<void(const QByteArray &)> m_onLine;
    bool m_started = false;
    QByteArray m_head; // the first bytes, until the byte order mark is known
    std::optional<QStringDecoder> m_utf16;
    QByteArray m_line; // the line so far
    bool m_afterCr = false;
    qint64 m_lines = 0;
};

// Reads lines of an M3U file into entries.
class TM3uReader
{
public:
    TM3uReader(const QString &folder, const QString &fileName)
        : m_folder(folder), m_fileName(fileName)
    {
    }
    void Line(const QByteArray &line)
    {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            return;
        if (Read.Entries.size() == PlaylistEntryLimit)
            TooManyEntries(m_fileName);
        Read.Entries << EntryFromLine(line, m_folder);
    }
    TPlaylistRead Read;

private:
    const QString m_folder, m_fileName;
};

// Reads lines of a PLS file; its entries come in the order of their numbers.
class TPlsReader
{
public:
    TPlsReader(const QString &folder, const QString &fileName)
        : m_folder(folder), m_fileName(fileName)
    {
    }
    void Line(const QByteArray &line)
    {
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            return; // "[playlist]", comments, blank lines
        const QByteArray key = line.left(equals).trimmed().toLower();
        if (!key.startsWith("file"))
            return;
        bool ok = false;
        const qint64 number = key.mid(4).toLongLong(&ok);
        if (!ok)
            return;
        const QByteArray value = line.mid(equals + 1);
        if (value.trimmed().isEmpty())
            return;
        if (m_numbered.size() == PlaylistEntryLimit)
            TooManyEntries(m_fileName);
        m_numbered.append({number, EntryFromLine(value, m_folder)});
    }
    TPlaylistRead Finish()
    {
        std::stable_sort(m_numbered.begin(), m_numbered.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        TPlaylistRead read;
        for (const auto &[number, entry] : std::as_const(m_numbered))
            read.Entries << entry;
        return read;
    }

private:
    const QString m_folder, m_fileName;
    QList<std::pair<qint64, TPlaylistEntryRead>> m_numbered;
};

// Walks the markup once before the XML reader sees it: an element with very many attributes
// or elements nested very deep cost the reader far more than their size.
void CheckXspfShape(const QByteArray &bytes, const QString &fileName)
{
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    qint64 line = 1;
    int depth = 0;
    const auto skipPast = [&](const char *terminator) {
        const qsizetype length = qsizetype(std::strlen(terminator));
        const char *found = std::search(p, end, terminator, terminator + length);
        line += std::count(p, found, '\n');
        p = found == end ? end : found + length;
    };
    const auto startsWith = [&](const char *prefix) {
        const qsizetype length = qsizetype(std::strlen(prefix));
        return end - p >= length && std::memcmp(p, prefix, size_t(length)) == 0;
    };
    while (p < end) {
        const char *open = static_cast<const char *>(std::memchr(p, '<', size_t(end - p)));
        if (!open)
            break;
        line += std::count(p, open, '\n');
        p = open + 1;
        if (startsWith("!--")) {
            skipPast("-->");
            continue;
        }
        if (startsWith("![CDATA[")) {
            skipPast("]]>");
            continue;
        }
        if (startsWith("?")) {
            skipPast("?>");
            continue;
        }
        const bool declaration = startsWith("!"), closing = startsWith("/");
        int attributes = 0, brackets = 0;
        char quote = 0;
        bool empty = false;
        for (; p < end; ++p) {
            const char c = *p;
            if (c == '\n')
                ++line;
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (declaration && (c == '[' || c == ']')) {
                brackets += c == '[' ? 1 : -1;
            } else if (c == '=' && !declaration && ++attributes > XspfAttributeLimit) {
                Unreadable(fileName, QStringLiteral("line %1: an element has more than %2 "
                                                    "attributes")
                                         .arg(line)
                                         .arg(XspfAttributeLimit));
            } else if (c == '>' && brackets <= 0) {
                empty = p[-1] == '/';
                ++p;
                break;
            }
        }
        if (declaration)
            continue;
        if (closing)
            --depth;
        else if (!empty && ++depth > XspfDepthLimit)
            Unreadable(fileName, QStringLiteral("line %1: elements are nested more than %2 deep")
                                     .arg(line)
                                     .arg(XspfDepthLimit));
    }
}

[[noreturn]] void NotXspf(const QString &fileName, const QString &reason)
{
    Unreadable(fileName, reason);
}

TPlaylistRead ParseXspf(const QByteArray &bytes, const QString &folder, const QString &fileName)
{
    CheckXspfShape(bytes, fileName);
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
                                      .arg(ShortPiece(name, 40)));
            open << name;
            const bool inTrack = open.size() == 4 && open.at(1) == QLatin1String("trackList") &&
                                 open.at(2) == QLatin1String("track");
            if (open.size() == 3 && name == QLatin1String("track") &&
                open.at(1) == QLatin1String("trackList")) {
                if (tracks == PlaylistEntryLimit)
                    TooManyEntries(fileName);
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
                              .arg(ShortPiece(xml.errorString(), 120)));
    return read;
}

// Hands the lines of an M3U or PLS text, given whole or read piece by piece, to its reader.
TPlaylistRead ParseLines(TPlaylistFormat format, const QString &folder, const QString &fileName,
                         const std::function<void(TLineSplitter &)> &feed)
{
    if (format == TPlaylistFormat::Pls) {
        TPlsReader reader(folder, fileName);
        TLineSplitter lines(fileName, [&](const QByteArray &line) { reader.Line(line); });
        feed(lines);
        lines.Finish();
        return reader.Finish();
    }
    TM3uReader reader(folder, fileName);
    TLineSplitter lines(fileName, [&](const QByteArray &line) { reader.Line(line); });
    feed(lines);
    lines.Finish();
    return std::move(reader.Read);
}

[[noreturn]] void TooLarge(const QString &fileName, qint64 size)
{
    Unreadable(fileName, QStringLiteral("it is %1 MB; a playlist file holds at most %2 MB")
                             .arg((size + 1024 * 1024 - 1) / (1024 * 1024))
                             .arg(PlaylistFileLimit / (1024 * 1024)));
}

} // namespace

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
        if (item.File.contains(QChar(0))) {
            result.LeftOut << LeftOutLine(item.File);
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
        if (item.File.contains(QChar(0))) {
            result.LeftOut << LeftOutLine(item.File);
            continue;
        }
        const QByteArray location = relativeTo.isEmpty()
                                        ? FileUri(item.File)
                                        : PercentEncodedName(RelativeName(item.File, relativeTo));
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
    const QString folder = relative ? FolderOfTarget(fileName) : QString();
    const TPlaylistText text = PlaylistText(format, items, title, folder);
    WriteFileSafely(fileName, text.Text);
    return text.LeftOut;
}

TPlaylistRead ParsePlaylist(const QByteArray &bytes, TPlaylistFormat format, const QString &folder,
                            const QString &fileName)
{
    if (bytes.size() > PlaylistFileLimit)
        TooLarge(fileName, bytes.size());
    if (format == TPlaylistFormat::Xspf)
        return ParseXspf(bytes, folder, fileName);
    return ParseLines(format, folder, fileName, [&](TLineSplitter &lines) { lines.Add(bytes); });
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
    if (file.size() > PlaylistFileLimit)
        TooLarge(fileName, file.size());
    const QString folder = FolderOfTarget(fileName);
    const auto failed = [&] { Unreadable(fileName, file.errorString()); };
    if (format == TPlaylistFormat::Xspf) {
        // The whole file, but never more than a playlist file may hold.
        const QByteArray bytes = file.read(PlaylistFileLimit + 1);
        if (file.error() != QFileDevice::NoError)
            failed();
        return ParsePlaylist(bytes, format, folder, fileName);
    }
    return ParseLines(format, folder, fileName, [&](TLineSplitter &lines) {
        qint64 total = 0;
        QByteArray chunk(64 * 1024, Qt::Uninitialized);
        for (;;) {
            const qint64 got = file.read(chunk.data(), chunk.size());
            if (got < 0)
                failed();
            if (got == 0)
                break;
            total += got;
            if (total > PlaylistFileLimit)
                TooLarge(fileName, total);
            lines.Add(QByteArray::fromRawData(chunk.constData(), got));
        }
    });
}
