#include "base/Errors.h"
#include "base/FileNames.h"
#include "cli/Verbs.h"
#include "data/Database.h"
#include "data/LibraryLocation.h"
#include "data/ProgramDirectory.h"

#include <QCoreApplication>
#include <cstdio>
#include <functional>
#include <map>

void Out(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void Err(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

QString EscapeField(const QString &text, bool escapeNonAscii)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        // A stray byte of a file name is shown as the byte it is.
        if (c.isHighSurrogate() && HasStrayBytes(text.mid(i, 2))) {
            out += QStringLiteral("\\x%1").arg(FileNameToBytes(text.mid(i, 2)).toHex());
            ++i;
            continue;
        }
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        default:
            if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F) ||
                (escapeNonAscii && c.unicode() > 0x7E))
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

namespace
{
// The library's place when --library is not given. An installed program's per-user library is
// created when a verb first needs it.
TLibraryLocation &DefaultLocation()
{
    static TLibraryLocation location;
    return location;
}
} // namespace

void MakeDefaultLibraryFolder()
{
    MakeLibraryFolder(DefaultLocation());
}

QString TerminalSafe(const QString &message)
{
    const QString text = ReadableFileName(message);
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\n' && u != '\t') || (u >= 0x7F && u <= 0x9F))
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

void OpenLibrary(TConnection &connection, const QString &file)
{
    connection.SetLibraryAddress(file);
    try {
        if (!DefaultLocation().Portable && file == DefaultLocation().LibraryFile)
            PrepareLibrary(DefaultLocation());
        connection.Open();
    } catch (const EError &e) {
        throw TUsageError{e.Message()};
    }
    for (const QString &note : connection.Notes())
        Err(QStringLiteral("quillmere-lib: %1\n").arg(TerminalSafe(note)));
}

static const char *const Usage =
    "usage: quillmere-lib [--library FILE] VERB [ARGS]\n"
    "verbs:\n"
    "  init [FILE]              create an empty library\n"
    "  songs [FILTERS] [--sql]  list the songs\n"
    "  playlists                list the playlists\n"
    "  tag show FILE            print a file's ID3v1 tag\n"
    "  tag set FILE [FIELDS]    change a file's ID3v1 tag\n"
    "  pls PLAYLIST_ID FILE     write a playlist file\n"
    "  import FOLDER            add a folder tree's MP3 files to the library\n"
    "  playlist create|add|entries|remove|rename|delete|import ...\n"
    "                           make and change playlists (playlist without more: usage)\n"
    "  export PLAYLIST_ID FILE [--relative]\n"
    "                           write a playlist as .pls, .m3u, .m3u8 or .xspf\n"
    "  rescan [FOLDER]          re-read the tags and lengths of changed files\n"
    "  missing                  list the songs whose file is gone\n"
    "  prune [--yes] [--absent FOLDER]...\n"
    "                           remove those songs and their playlist entries\n"
    "  watch [FOLDER...]        keep the library current with its folders until Ctrl+C\n";

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
#ifdef Q_OS_WIN
    QStringList args = app.arguments().mid(1);
#else
    // File names on the command line keep their bytes.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << FileNameFromBytes(QByteArray(argv[i]));
#endif
    TCliContext context;
    if (args.size() >= 2 && args.first() == QLatin1String("--library")) {
        context.LibraryFile = args.at(1);
        args = args.mid(2);
    } else {
        DefaultLocation() = FindLibraryLocation();
        context.LibraryFile = DefaultLocation().LibraryFile;
    }
    if (args.isEmpty()) {
        Err(QString::fromLatin1(Usage));
        return 2;
    }
    const std::map<QString, std::function<int(const TCliContext &)>> verbs = {
        {QStringLiteral("init"), VerbInit},
        {QStringLiteral("songs"), VerbSongs},
        {QStringLiteral("playlists"), VerbPlaylists},
        {QStringLiteral("tag"), VerbTag},
        {QStringLiteral("pls"), VerbPls},
        {QStringLiteral("import"), VerbImport},
        {QStringLiteral("playlist"), VerbPlaylist},
        {QStringLiteral("export"), VerbExport},
        {QStringLiteral("rescan"), VerbRescan},
        {QStringLiteral("missing"), VerbMissing},
        {QStringLiteral("prune"), VerbPrune},
        {QStringLiteral("watch"), VerbWatch},
    };
    const auto verb = verbs.find(args.first());
    if (verb == verbs.end()) {
        Err(QStringLiteral("quillmere-lib: unknown verb \"%1\"\n").arg(EscapeField(args.first())));
        Err(QString::fromLatin1(Usage));
        return 2;
    }
    context.Args = args.mid(1);
    try {
        return verb->second(context);
    } catch (const TUsageError &e) {
        Err(QStringLiteral("quillmere-lib: %1\n").arg(TerminalSafe(e.Message)));
        return 2;
    } catch (const EError &e) {
        Err(QStringLiteral("quillmere-lib: %1\n").arg(TerminalSafe(e.Message())));
        return 1;
    }
}
