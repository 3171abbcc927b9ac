#include "base/Errors.h"
#include "base/FileNames.h"
#include "cli/Verbs.h"
#include "data/DataSet.h"
#include "data/PlaylistEntries.h"
#include "data/PlaylistFormats.h"
#include "data/Playlists.h"
#include "data/Table.h"
#include "import/PlaylistImport.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <limits>
#include <optional>

void RequireWritable(const TConnection &connection)
{
    if (connection.ReadOnly())
        throw EDatabaseError(QStringLiteral("The library \"%1\" is read-only; nothing was changed.")
                                 .arg(QDir::toNativeSeparators(connection.LibraryAddress())));
}

namespace
{

const char *const PlaylistUsage = "usage: playlist create NAME [--description TEXT]\n"
                                  "       playlist add PLAYLIST_ID SONG_ID...\n"
                                  "       playlist entries PLAYLIST_ID\n"
                                  "       playlist remove PLAYLIST_ID SEQUENCE...\n"
                                  "       playlist rename PLAYLIST_ID NAME [--description TEXT]\n"
                                  "       playlist delete PLAYLIST_ID\n"
                                  "       playlist import FILE [--name NAME]";

[[noreturn]] void Usage()
{
    throw TUsageError{QString::fromLatin1(PlaylistUsage)};
}

qint64 Number(const QString &text, const QString &what, qint64 maximum)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < 0 || value > maximum)
        throw TUsageError{QStringLiteral("\"%1\" is not a %2").arg(text, what)};
    return value;
}

qint64 PlaylistId(const QString &text)
{
    return Number(text, QStringLiteral("playlist id"), 65535);
}

// Positional arguments, and the value of one option that may stand anywhere among them.
struct TArgs {
    QStringList Positional;
    std::optional<QString> Option;
};

TArgs SplitArgs(const QStringList &args, const QString &option)
{
    TArgs split;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == option) {
            if (i + 1 >= args.size() || split.Option)
                Usage();
            split.Option = args.at(++i);
        } else if (args.at(i).startsWith(QLatin1String("--"))) {
            Usage();
        } else {
            split.Positional << args.at(i);
        }
    }
    return split;
}

void CheckTexts(const QString &name, const QString &description)
{
    if (const QString refusal = PlaylistNameRefusal(name); !refusal.isEmpty())
        throw TUsageError{refusal};
    if (name.size() > PlaylistNameLength)
        throw TUsageError{
            QStringLiteral("a playlist name holds at most %1 characters").arg(PlaylistNameLength)};
    if (description.size() > PlaylistDescriptionLength)
        throw TUsageError{QStringLiteral("a playlist description holds at most %1 characters")
                              .arg(PlaylistDescriptionLength)};
}

TPlaylistRow ExistingPlaylist(TConnection &connection, qint64 id)
{
    const std::optional<TPlaylistRow> row = LoadPlaylist(connection, id);
    if (!row)
        throw EDatabaseError(QStringLiteral("There is no playlist %1.").arg(id));
    return *row;
}

QString Shown(const QString &fileName)
{
    return EscapeField(QDir::toNativeSeparators(ReadableFileName(fileName)));
}

// A playlist's entries in stored order, their songs looked up in the open songs table.
void OpenEntries(TDataSet &entries, TTable &songs, qint64 id)
{
    SetUpSongsTable(songs);
    songs.Open();
    SetUpPlaylistEntries(entries, &songs);
    OpenPlaylistEntries(entries, int(id), QStringLiteral("Sequence"), QStringLiteral("Asc"));
}

int Create(TConnection &connection, const QStringList &args)
{
    const TArgs split = SplitArgs(args, QStringLiteral("--description"));
    if (split.Positional.size() != 1)
        Usage();
    const QString name = split.Positional.first();
    const QString description = split.Option.value_or(QString());
    CheckTexts(name, description);
    Out(QString::number(
            InsertPlaylist(connection, name, description, QDateTime::currentDateTime())) +
        QLatin1Char('\n'));
    return 0;
}

int Add(TConnection &connection, const QStringList &args)
{
    if (args.size() < 2)
        Usage();
    const qint64 id = PlaylistId(args.first());
    QList<qint64> songIds;
    for (const QString &text : args.mid(1))
        songIds << Number(text, QStringLiteral("song id"), std::numeric_limits<qint32>::max());
    ExistingPlaylist(connection, id);
    const int added = AppendPlaylistEntries(connection, int(id), songIds);
    Out(QStringLiteral("added %1 entries\n").arg(added));
    return 0;
}

int Entries(TConnection &connection, const QStringList &args)
{
    if (args.size() != 1)
        Usage();
    const qint64 id = PlaylistId(args.first());
    ExistingPlaylist(connection, id);
    TTable songs(&connection);
    TDataSet entries(&connection);
    OpenEntries(entries, songs, id);
    const QStringList columns = {QStringLiteral("Sequence"),  QStringLiteral("Song_ID"),
                                 QStringLiteral("Path"),      QStringLiteral("Filename"),
                                 QStringLiteral("Duration"),  QStringLiteral("ID3_Title"),
                                 QStringLiteral("ID3_Artist")};
    Out(columns.join(QLatin1Char('\t')) + QLatin1Char('\n'));
    for (entries.First(); !entries.Eof(); entries.Next()) {
        QStringList values;
        for (const QString &column : columns)
            values << EscapeField(entries.AsString(column));
        Out(values.join(QLatin1Char('\t')) + QLatin1Char('\n'));
    }
    return 0;
}

int Remove(TConnection &connection, const QStringList &args)
{
    if (args.size() < 2)
        Usage();
    const qint64 id = PlaylistId(args.first());
    QList<int> sequences;
    for (const QString &text : args.mid(1))
        sequences << int(Number(text, QStringLiteral("sequence number"), 65535));
    ExistingPlaylist(connection, id);
    const int removed = RemovePlaylistEntries(connection, int(id), sequences);
    Out(QStringLiteral("removed %1 entries\n").arg(removed));
    return 0;
}

int Rename(TConnection &connection, const QStringList &args)
{
    const TArgs split = SplitArgs(args, QStringLiteral("--description"));
    if (split.Positional.size() != 2)
        Usage();
    const qint64 id = PlaylistId(split.Positional.first());
    const QString name = split.Positional.at(1);
    const TPlaylistRow row = ExistingPlaylist(connection, id);
    const QString description = split.Option.value_or(row.Description);
    CheckTexts(name, description);
    UpdatePlaylist(connection, id, name, description);
    return 0;
}

int Delete(TConnection &connection, const QStringList &args)
{
    if (args.size() != 1)
        Usage();
    const qint64 id = PlaylistId(args.first());
    ExistingPlaylist(connection, id);
    DeletePlaylist(connection, id);
    return 0;
}

TPlaylistFormat FormatOf(const QString &fileName)
{
    TPlaylistFormat format;
    if (!PlaylistFormatOf(fileName, format))
        throw TUsageError{
            QStringLiteral("\"%1\" does not end in .pls, .m3u, .m3u8 or .xspf").arg(fileName)};
    return format;
}

int Import(TConnection &connection, const QStringList &args)
{
    const TArgs split = SplitArgs(args, QStringLiteral("--name"));
    if (split.Positional.size() != 1)
        Usage();
    const QString fileName = split.Positional.first();
    const TPlaylistFormat format = FormatOf(fileName);
    if (split.Option)
        CheckTexts(*split.Option, QString());
    const TPlaylistRead read = ReadPlaylistFile(fileName, format);
    QString name = split.Option.value_or(read.Title);
    if (name.isEmpty())
        name = ReadableFileName(QFileInfo(fileName).completeBaseName());
    name = name.left(PlaylistNameLength);

    const TPlaylistImport result = ImportPlaylist(connection, read, name);
    for (const QString &problem : result.Problems)
        Err(QStringLiteral("quillmere-lib: %1\n").arg(EscapeField(problem)));
    if (result.Imported > 0)
        Err(QStringLiteral("quillmere-lib: %1 files were new to the library and imported\n")
                .arg(result.Imported));
    Out(QStringLiteral("created playlist %1: %2 entries, %3 missing\n")
            .arg(result.PlaylistId)
            .arg(result.Entries)
            .arg(result.Missing));
    return result.Problems.isEmpty() ? 0 : 1;
}

} // namespace

int VerbPlaylist(const TCliContext &context)
{
    if (context.Args.isEmpty())
        Usage();
    const QString action = context.Args.first();
    const QStringList args = context.Args.mid(1);
    const std::pair<const char *, int (*)(TConnection &, const QStringList &)> actions[] = {
        {"create", Create}, {"add", Add},       {"entries", Entries}, {"remove", Remove},
        {"rename", Rename}, {"delete", Delete}, {"import", Import}};
    for (const auto &[word, run] : actions) {
        if (action == QLatin1String(word)) {
            TConnection connection;
            OpenLibrary(connection, context.LibraryFile);
            if (run != Entries)
                RequireWritable(connection);
            return run(connection, args);
        }
    }
    Usage();
}

int VerbExport(const TCliContext &context)
{
    const QString usage = QStringLiteral("usage: export PLAYLIST_ID FILE [--relative]");
    QStringList positional;
    bool relative = false;
    for (const QString &arg : context.Args) {
        if (arg == QLatin1String("--relative") && !relative)
            relative = true;
        else if (arg.startsWith(QLatin1String("--")))
            throw TUsageError{usage};
        else
            positional << arg;
    }
    if (positional.size() != 2)
        throw TUsageError{usage};
    const qint64 id = PlaylistId(positional.first());
    const QString fileName = positional.at(1);
    const TPlaylistFormat format = FormatOf(fileName);

    TConnection connection;
    OpenLibrary(connection, context.LibraryFile);
    const TPlaylistRow playlist = ExistingPlaylist(connection, id);
    TTable songs(&connection);
    TDataSet entries(&connection);
    OpenEntries(entries, songs, id);
    const QList<TPlaylistItem> items = PlaylistItems(entries);
    const QStringList leftOut = SavePlaylistAs(items, fileName, format, playlist.Name, relative,
                                               connection.LibraryAddress());
    Out(QStringLiteral("wrote %1 (%2 entries)\n")
            .arg(Shown(fileName))
            .arg(items.size() - leftOut.size()));
    if (leftOut.isEmpty())
        return 0;
    Err(LeftOutReport(fileName, leftOut) + QLatin1Char('\n'));
    return 1;
}
