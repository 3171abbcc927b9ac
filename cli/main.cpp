#include "cli/Verbs.h"
#include "data/Database.h"
#include "data/Errors.h"
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
    for (const QChar c : text) {
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
            if (c.unicode() < 0x20 || (escapeNonAscii && c.unicode() > 0x7E))
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

void OpenLibrary(TConnection &connection, const QString &file)
{
    connection.SetLibraryFile(file);
    try {
        connection.Open();
    } catch (const EError &e) {
        throw TUsageError{e.Message()};
    }
    for (const QString &note : connection.Notes())
        Err(QStringLiteral("quillmere-lib: %1\n").arg(note));
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
    "  prune [--yes]            remove those songs and their playlist entries\n";

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    TCliContext context;
    context.LibraryFile = DefaultLibraryFile();
    if (args.size() >= 2 && args.first() == QLatin1String("--library")) {
        context.LibraryFile = args.at(1);
        args = args.mid(2);
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
    };
    const auto verb = verbs.find(args.first());
    if (verb == verbs.end()) {
        Err(QStringLiteral("quillmere-lib: unknown verb \"%1\"\n").arg(args.first()));
        Err(QString::fromLatin1(Usage));
        return 2;
    }
    context.Args = args.mid(1);
    try {
        return verb->second(context);
    } catch (const TUsageError &e) {
        Err(QStringLiteral("quillmere-lib: %1\n").arg(e.Message));
        return 2;
    } catch (const EError &e) {
        Err(QStringLiteral("quillmere-lib: %1\n").arg(e.Message()));
        return 1;
    }
}
