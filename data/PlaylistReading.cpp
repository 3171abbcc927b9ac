// Reading playlist files: M3U, PLS and XSPF.
#include "data/PlaylistFormats.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/PlaylistNames.h"

#include <QFile>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>

using namespace PlaylistNames;

namespace
{

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
