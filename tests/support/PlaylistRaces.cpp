#include "tests/support/PlaylistRaces.h"

#include "data/Database.h"
#include "data/PlaylistEntries.h"
#include "data/Playlists.h"
#include "tests/support/TestFiles.h"

#include <QDateTime>
#include <gtest/gtest.h>

namespace
{

constexpr int SongsPerAdd = 50;

qint64 Count(TConnection &check, const QString &sql, qint64 playlist)
{
    TParams params;
    params.SetValue(QStringLiteral("p"), playlist, TFieldType::Integer);
    TStatement count(check, sql, params);
    return count.Step() ? count.Integer(0) : -1;
}

// Entries of a playlist, and whether they are numbered 1 to n.
std::pair<qint64, bool> Entries(TConnection &check, qint64 playlist)
{
    const qint64 entries =
        Count(check, QStringLiteral("SELECT count(*) FROM Playlist_Songs WHERE PlayList_ID = :p"),
              playlist);
    const qint64 numbers = Count(check,
                                 QStringLiteral("SELECT count(DISTINCT Sequence) FROM "
                                                "Playlist_Songs WHERE PlayList_ID = :p AND "
                                                "Sequence BETWEEN 1 AND (SELECT count(*) FROM "
                                                "Playlist_Songs WHERE PlayList_ID = :p)"),
                                 playlist);
    return {entries, numbers == entries};
}

QStringList Add(const QString &library, qint64 playlist, int firstSong)
{
    QStringList args{QStringLiteral("--library"), library, QStringLiteral("playlist"),
                     QStringLiteral("add"), QString::number(playlist)};
    for (int song = firstSong; song < firstSong + SongsPerAdd; ++song)
        args << QString::number(song);
    return args;
}

QStringList Verb(const QString &library, const char *action, qint64 playlist)
{
    return {QStringLiteral("--library"), library, QStringLiteral("playlist"),
            QString::fromLatin1(action), QString::number(playlist)};
}

} // namespace

void ExpectPlaylistWritersAtOnceKeepEveryEntry(const QString &program, const QString &library,
                                               TConnection &check, int rounds)
{
    {
        TTransaction transaction(check);
        for (int i = 1; i <= 4 * SongsPerAdd; ++i)
            check.Execute(QStringLiteral("INSERT INTO Playlist_DB(Path, Filename) VALUES('/m/', "
                                         "'%1.mp3')")
                              .arg(i));
        transaction.Commit();
    }
    QList<qint64> firstSongs;
    {
        TStatement songs(check, QStringLiteral("SELECT Row_ID FROM Playlist_DB ORDER BY Row_ID"));
        for (int i = 0; songs.Step(); ++i) {
            if (i % SongsPerAdd == 0)
                firstSongs << songs.Integer(0);
        }
    }
    ASSERT_EQ(firstSongs.size(), 4);
    const auto create = [&check] {
        return InsertPlaylist(check, QStringLiteral("Shared"), {}, QDateTime::currentDateTime());
    };
    for (int round = 1; round <= rounds; ++round) {
        const qint64 adds = create();
        QList<QStringList> runs;
        for (const qint64 first : std::as_const(firstSongs))
            runs << Add(library, adds, int(first));
        for (const TRun &run : RunTogether(program, runs))
            ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
        ASSERT_EQ(Entries(check, adds), std::make_pair(qint64(4 * SongsPerAdd), true))
            << "four adds at once, round " << round;

        // 100 entries; one add of 50 and one removal of 50 leave 100, in either order.
        const qint64 mixed = create();
        AppendPlaylistEntries(check, int(mixed), QList<qint64>(2 * SongsPerAdd, firstSongs[0]));
        QStringList remove = Verb(library, "remove", mixed);
        for (int sequence = 1; sequence <= SongsPerAdd; ++sequence)
            remove << QString::number(sequence);
        for (const TRun &run :
             RunTogether(program, {Add(library, mixed, int(firstSongs[1])), remove}))
            ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
        ASSERT_EQ(Entries(check, mixed), std::make_pair(qint64(2 * SongsPerAdd), true))
            << "an add beside a removal, round " << round;

        // The add comes first or finds no playlist; either way nothing is left of it.
        const qint64 doomed = create();
        const QList<TRun> ended = RunTogether(
            program, {Add(library, doomed, int(firstSongs[2])), Verb(library, "delete", doomed)});
        ASSERT_EQ(ended[1].ExitCode, 0) << ended[1].Err.toStdString();
        ASSERT_TRUE(ended[0].ExitCode == 0 || ended[0].Err.contains("There is no playlist"))
            << ended[0].Err.toStdString();
        ASSERT_EQ(Entries(check, doomed).first, 0) << "an add beside a deletion, round " << round;
    }
}
