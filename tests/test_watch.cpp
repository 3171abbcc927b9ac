// The library following the disk: real inotify on temporary trees, and the watch verb.
#include "base/FileNames.h"
#include "data/Database.h"
#include "data/SongRows.h"
#include "import/ImportWalker.h"
#include "import/LibraryWatch.h"
#include "platform/FolderWatcher.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

namespace
{

// A small MP3 file whose ID3v1 title tells it apart from the others.
QByteArray TaggedMp3(const QString &title, int frames = 10)
{
    SilentMp3Options options;
    options.Id3v1 = true;
    options.Frames = frames;
    QByteArray bytes = SilentMp3(options);
    QByteArray field = title.toLatin1().left(30);
    field.resize(30, '\0');
    bytes.replace(bytes.size() - 125, 30, field);
    return bytes;
}

bool Move(const QString &from, const QString &to)
{
    return std::rename(FileNameToBytes(from).constData(), FileNameToBytes(to).constData()) == 0;
}

class WatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        connection.ConnectionString = library.ConnectionString();
        connection.Open();
        watch = std::make_unique<TLibraryWatch>(connection);
        watch->OnAction = [this](const QString &line) { actions << line; };
    }
    void TearDown() override { SetFolderWatchLimit(-1); }

    QString Music(const QString &relative) const
    {
        return music.path() + QLatin1Char('/') + relative;
    }
    QString Song(const QString &file, const QString &title, int frames = 10)
    {
        QDir().mkpath(file.left(file.lastIndexOf(QLatin1Char('/'))));
        WriteAll(file, TaggedMp3(title, frames));
        return file;
    }
    void Import()
    {
        TImportWalker walker(connection);
        walker.ImportFolder(music.path());
        ASSERT_EQ(walker.Counts().Failed, 0);
    }
    void Start(int gatherMs = 100)
    {
        watcher = MakeFolderWatcher();
        watcher->GatherMs = gatherMs;
        watcher->PollMs = 200;
        watcher->AwayMs = 100;
        watcher->OnEvents = [this](const std::vector<TWatchEvent> &events) {
            watch->Apply(events);
        };
        watcher->OnNotice = [this](const QString &notice) { notices << notice; };
        watcher->Watch({music.path()});
    }
    qint64 Rows() { return library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")); }
    qint64 RowOf(const QString &file)
    {
        const qsizetype cut = file.lastIndexOf(QLatin1Char('/')) + 1;
        return SongIdAt(connection, file.left(cut), file.mid(cut)).value_or(0);
    }
    qint64 Titled(const QString &title)
    {
        return library.QueryInt(
            QStringLiteral(
                "SELECT coalesce(min(Row_ID), 0) FROM Playlist_DB WHERE ID3_Title = '%1'")
                .arg(title));
    }
    QString FileOf(qint64 row)
    {
        for (const TStoredSong &song : StoredSongs(connection))
            if (song.RowId == row)
                return song.File;
        return {};
    }
    // Waits until the row of that title lies at the file.
    bool WaitAt(const QString &title, const QString &file)
    {
        return QTest::qWaitFor([&] { return Titled(title) != 0 && FileOf(Titled(title)) == file; },
                               30000);
    }

    TestLibrary library;
    TConnection connection;
    QTemporaryDir music;
    std::unique_ptr<TLibraryWatch> watch;
    std::unique_ptr<TFolderWatcher> watcher;
    QStringList actions, notices;
};

TEST_F(WatchTest, NewFilesFoldersEditsAndMovesFollowTheDiskKeepingRowsAndEntries)
{
    Song(Music("a.mp3"), "Alpha");
    Song(Music("b.mp3"), "Bravo", 11);
    Song(Music("sub/c.mp3"), "Charlie", 12);
    Import();
    const qint64 a = RowOf(Music("a.mp3")), b = RowOf(Music("b.mp3")),
                 c = RowOf(Music("sub/c.mp3"));
    const qint64 playlist = library.AddPlaylist(QStringLiteral("P"));
    library.AddEntry(playlist, c, 1);
    library.AddEntry(playlist, a, 2);
    library.AddEntry(playlist, b, 3);
    Start();

    // A new file, and a new folder with a file made in it at once.
    Song(Music("d.mp3"), "Delta", 13);
    ASSERT_TRUE(QDir().mkpath(Music("new/deeper")));
    Song(Music("new/deeper/e.mp3"), "Echo", 14);
    EXPECT_TRUE(WaitAt("Delta", Music("d.mp3")));
    EXPECT_TRUE(WaitAt("Echo", Music("new/deeper/e.mp3")));

    // Renames and moves of files and of a folder keep the rows.
    ASSERT_TRUE(Move(Music("a.mp3"), Music("renamed.mp3")));
    ASSERT_TRUE(Move(Music("b.mp3"), Music("new/b.mp3")));
    ASSERT_TRUE(Move(Music("sub"), Music("moved sub")));
    EXPECT_TRUE(WaitAt("Alpha", Music("renamed.mp3")));
    EXPECT_TRUE(WaitAt("Bravo", Music("new/b.mp3")));
    EXPECT_TRUE(WaitAt("Charlie", Music("moved sub/c.mp3")));
    EXPECT_EQ(Titled("Alpha"), a);
    EXPECT_EQ(Titled("Bravo"), b);
    EXPECT_EQ(Titled("Charlie"), c);

    // A file that another program rewrites is read again in place.
    WriteAll(Music("renamed.mp3"), TaggedMp3("Alpha edited"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Titled("Alpha edited") == a; }, 30000));

    // A whole tree moved in from elsewhere.
    QTemporaryDir outside;
    for (int i = 0; i < 3; ++i)
        Song(outside.path() + QStringLiteral("/tree/f%1.mp3").arg(i),
             QStringLiteral("Fox %1").arg(i), 20 + i);
    ASSERT_TRUE(Move(outside.path() + QStringLiteral("/tree"), Music("tree")));
    EXPECT_TRUE(WaitAt("Fox 2", Music("tree/f2.mp3")));
    EXPECT_TRUE(WaitAt("Fox 0", Music("tree/f0.mp3")));

    // A file deleted stays in the library; renamed to what the import would not take, too.
    ASSERT_TRUE(QFile::remove(Music("d.mp3")));
    ASSERT_TRUE(Move(Music("new/deeper/e.mp3"), Music("new/deeper/e.mp3.bak")));
    const int batches = watch->Counts().Batches;
    EXPECT_TRUE(QTest::qWaitFor([&] { return watch->Counts().Batches > batches; }, 30000));
    EXPECT_EQ(Rows(), 8);
    EXPECT_EQ(FileOf(Titled("Echo")), Music("new/deeper/e.mp3"));
    EXPECT_EQ(library.StoredEntries(playlist), (QList<QPair<qint64, int>>{{c, 1}, {a, 2}, {b, 3}}));
    EXPECT_EQ(watch->Counts().Failed, 0) << actions.join('\n').toStdString();
}

TEST_F(WatchTest, ATreeAwayChangesNothingAndItsReturnAddsNoDuplicate)
{
    Song(Music("x/a.mp3"), "Alpha");
    Song(Music("x/b.mp3"), "Bravo", 11);
    Import();
    Start();
    const QString away = music.path() + QStringLiteral(".away");
    ASSERT_TRUE(Move(music.path(), away));
    EXPECT_TRUE(QTest::qWaitFor([&] { return actions.join('\n').contains("away:"); }, 30000));
    EXPECT_EQ(Rows(), 2);

    // Back, with one file more that was added while it was away.
    Song(away + QStringLiteral("/x/c.mp3"), "Charlie", 12);
    ASSERT_TRUE(Move(away, music.path()));
    EXPECT_TRUE(WaitAt("Charlie", Music("x/c.mp3")));
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(library.QueryInt(QStringLiteral(
                  "SELECT count(*) FROM (SELECT DISTINCT Path, Filename FROM Playlist_DB)")),
              3);

    // Watched again: a rename after the return is followed.
    ASSERT_TRUE(Move(Music("x/a.mp3"), Music("x/a2.mp3")));
    EXPECT_TRUE(WaitAt("Alpha", Music("x/a2.mp3")));
    EXPECT_EQ(Rows(), 3);
}

TEST_F(WatchTest, AlbumFoldersAreWatchedAsTheirSharedTreeAlsoWhenTheDriveIsAway)
{
    Song(Music("A/x/a.mp3"), "Alpha");
    Song(Music("A/y/b.mp3"), "Bravo", 11);
    Song(Music("B/z/c.mp3"), "Charlie", 12);
    Import();
    EXPECT_EQ(LibraryTrees(connection), QStringList{music.path()});
    // Unmounted: one tree to wait for, not one per album.
    const QString away = music.path() + QStringLiteral(".away");
    ASSERT_TRUE(Move(music.path(), away));
    EXPECT_EQ(LibraryTrees(connection), QStringList{music.path()});
    ASSERT_TRUE(Move(away, music.path()));
}

TEST_F(WatchTest, AnOverflowRescansAndMatchesLostMovesBySizeLengthAndTags)
{
    Song(Music("a.mp3"), "Alpha");
    Song(Music("twin/a.mp3"), "Alike");
    Song(Music("sub/c.mp3"), "Charlie", 12);
    Song(Music("sub/deep/d.mp3"), "Delta", 13);
    Import();
    const qint64 a = RowOf(Music("a.mp3")), c = RowOf(Music("sub/c.mp3"));
    const qint64 playlist = library.AddPlaylist(QStringLiteral("P"));
    library.AddEntry(playlist, a, 1);
    library.AddEntry(playlist, c, 2);
    // Events are held long enough for the overflow to come first.
    Start(600000);

    ASSERT_TRUE(Move(Music("a.mp3"), Music("z.mp3")));
    ASSERT_TRUE(Move(Music("sub"), Music("sub2")));
    Song(Music("sub2/deep/new.mp3"), "November", 14);
    // A song deleted meanwhile stays as it was.
    ASSERT_TRUE(QFile::remove(Music("twin/a.mp3")));
    watcher->ForceOverflow();

    EXPECT_EQ(FileOf(a), Music("z.mp3"));
    EXPECT_EQ(FileOf(c), Music("sub2/c.mp3"));
    EXPECT_EQ(FileOf(Titled("Delta")), Music("sub2/deep/d.mp3"));
    EXPECT_EQ(FileOf(Titled("November")), Music("sub2/deep/new.mp3"));
    EXPECT_EQ(FileOf(Titled("Alike")), Music("twin/a.mp3"));
    EXPECT_EQ(Rows(), 5);
    EXPECT_EQ(library.StoredEntries(playlist), (QList<QPair<qint64, int>>{{a, 1}, {c, 2}}));

    // The tree is watched anew under its new names.
    ASSERT_TRUE(Move(Music("sub2/deep/d.mp3"), Music("sub2/d.mp3")));
    watcher->Flush();
    EXPECT_EQ(FileOf(Titled("Delta")), Music("sub2/d.mp3"));
}

TEST_F(WatchTest, PastTheWatchLimitTheTreeIsPolledAndTheUserToldOnce)
{
    Song(Music("one/a.mp3"), "Alpha");
    Song(Music("two/b.mp3"), "Bravo", 11);
    Import();
    SetFolderWatchLimit(2);
    Start();
    EXPECT_EQ(watcher->PolledTrees(), 1);
    EXPECT_EQ(watcher->WatchedFolders(), 0);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices.first().contains("limit of watched folders"))
        << notices.first().toStdString();

    Song(Music("two/c.mp3"), "Charlie", 12);
    ASSERT_TRUE(Move(Music("one/a.mp3"), Music("two/a.mp3")));
    EXPECT_TRUE(WaitAt("Charlie", Music("two/c.mp3")));
    EXPECT_TRUE(WaitAt("Alpha", Music("two/a.mp3")));
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(notices.size(), 1);
}

TEST_F(WatchTest, ThousandsOfFilesAtOnceAreAllImportedOnce)
{
    Import();
    Start();
    QTemporaryDir outside;
    const int count = 2000;
    for (int i = 0; i < count; ++i)
        Song(outside.path() + QStringLiteral("/batch/%1/s%2.mp3").arg(i / 100).arg(i),
             QStringLiteral("Song %1").arg(i));
    ASSERT_TRUE(Move(outside.path() + QStringLiteral("/batch"), Music("batch")));
    // And as many written straight into a folder made just before.
    ASSERT_TRUE(QDir().mkpath(Music("direct")));
    for (int i = 0; i < count; ++i)
        WriteAll(Music(QStringLiteral("direct/s%1.mp3").arg(i)),
                 TaggedMp3(QStringLiteral("Direct %1").arg(i)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Rows() == 2 * count; }, 120000)) << Rows();
    watcher->Flush();
    EXPECT_EQ(Rows(), 2 * count);
    EXPECT_EQ(watch->Counts().Imported, 2 * count);
}

TEST(WatchCli, RunsUntilSigtermAndEndsWithTheLibraryIntact)
{
    TestLibrary library;
    QTemporaryDir music;
    WriteAll(music.filePath(QStringLiteral("a.mp3")), TaggedMp3(QStringLiteral("Alpha")));
    {
        TConnection connection;
        connection.ConnectionString = library.ConnectionString();
        connection.Open();
        TImportWalker(connection).ImportFolder(music.path());
    }
    const auto rows = [&] {
        return library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB"));
    };

    // Without folders it watches the ones that hold the library's songs.
    QProcess watch;
    watch.start(QStringLiteral(QUILLMERE_LIB_BINARY),
                {QStringLiteral("--library"), library.FileName(), QStringLiteral("watch")});
    QByteArray err, out;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            err += watch.readAllStandardError();
            return err.contains("watching 1 folders in 1 trees");
        },
        30000))
        << err.toStdString();
    EXPECT_TRUE(err.contains(FileNameToBytes(music.path()))) << err.toStdString();

    WriteAll(music.filePath(QStringLiteral("b.mp3")), TaggedMp3(QStringLiteral("Bravo"), 11));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            out += watch.readAllStandardOutput();
            return out.contains("imported \"" + FileNameToBytes(music.filePath("b.mp3")) + "\"");
        },
        30000))
        << out.toStdString();

    // Thousands of files arrive; SIGTERM comes while they are being imported.
    QTemporaryDir outside;
    const int count = 3000;
    for (int i = 0; i < count; ++i) {
        const QString file =
            outside.path() + QStringLiteral("/many/%1/s%2.mp3").arg(i / 100).arg(i);
        QDir().mkpath(file.left(file.lastIndexOf(QLatin1Char('/'))));
        WriteAll(file, TaggedMp3(QStringLiteral("Many %1").arg(i)));
    }
    ASSERT_TRUE(
        Move(outside.path() + QStringLiteral("/many"), music.filePath(QStringLiteral("many"))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows() > 2; }, 60000));
    ::kill(pid_t(watch.processId()), SIGTERM);
    ASSERT_TRUE(watch.waitForFinished(60000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0) << watch.readAllStandardError().toStdString();
    out += watch.readAllStandardOutput();
    EXPECT_TRUE(out.contains("imported ")) << out.toStdString();

    EXPECT_EQ(library.QueryInt(QStringLiteral(
                  "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'")),
              1);
    const qint64 kept = rows();
    EXPECT_EQ(library.QueryInt(QStringLiteral(
                  "SELECT count(*) FROM (SELECT DISTINCT Path, Filename FROM Playlist_DB)")),
              kept);
    // An import afterwards adds the rest, each file once.
    const TRun import = RunProgram(
        QStringLiteral(QUILLMERE_LIB_BINARY),
        {QStringLiteral("--library"), library.FileName(), QStringLiteral("import"), music.path()});
    EXPECT_EQ(import.ExitCode, 0) << import.Err.toStdString();
    EXPECT_EQ(rows(), count + 2);
}

} // namespace
