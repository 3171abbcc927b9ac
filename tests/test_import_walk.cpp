#include "base/Errors.h"
#include "data/DataSet.h"
#include "data/PlaylistEntries.h"
#include "data/Table.h"
#include "data/UMP3s.h"
#include "import/ImportWalker.h"
#include "tests/support/MusicTree.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/TestLibrary.h"

#include <QFile>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

// ---- The walk and the statements, without a window

class ImportWalkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        connection.ConnectionString = library.ConnectionString();
        connection.Open();
    }
    // Runs one import and gathers what it reported.
    TImportCounts Import(const QString &folder, std::function<bool()> keepGoing = {})
    {
        TImportWalker walker(connection);
        walker.OnFile = [this](const QString &name) { seen << name; };
        walker.KeepGoing = std::move(keepGoing);
        walker.OnProblem = [this](const TImportProblem &p) { problems.push_back(p); };
        if (onFile) {
            walker.OnFile = [this](const QString &name) {
                seen << name;
                onFile(name);
            };
        }
        walker.ImportFolder(folder);
        return walker.Counts();
    }
    QString Relative(const QString &file) const { return file.mid(tree.Root().size() + 1); }
    QStringList StoredRelative()
    {
        QStringList out;
        for (const QString &f : StoredFiles(library))
            out << Relative(f);
        return out;
    }

    TestLibrary library;
    TConnection connection;
    MusicTree tree;
    QStringList seen;
    std::vector<TImportProblem> problems;
    std::function<void(const QString &)> onFile;
};

TEST_F(ImportWalkTest, WalksOwnFilesFirstThenSubfoldersAlphabeticallyWithoutCase)
{
    tree.Add(QStringLiteral("b.mp3"));
    tree.Add(QStringLiteral("A.MP3"));
    tree.Add(QStringLiteral("c.Mp3"));
    tree.Add(QStringLiteral("zeta/z.mp3"));
    tree.Add(QStringLiteral("Beta/deep/d.mp3"));
    tree.Add(QStringLiteral("Beta/b2.mp3"));
    tree.Add(QStringLiteral("alpha/a1.mp3"));
    tree.Add(QStringLiteral("Beta/Deeper/e.mp3"));

    const TImportCounts n = Import(tree.Root());
    EXPECT_EQ(StoredRelative(),
              (QStringList{"A.MP3", "b.mp3", "c.Mp3", "alpha/a1.mp3", "Beta/b2.mp3",
                           "Beta/deep/d.mp3", "Beta/Deeper/e.mp3", "zeta/z.mp3"}));
    EXPECT_EQ(n.Imported, 8);
    EXPECT_EQ(n.Found, 8);
    EXPECT_EQ(n.Done, 8);
    EXPECT_TRUE(problems.empty());
}

TEST_F(ImportWalkTest, SkipsHiddenEntriesOtherExtensionsAndLinkLoops)
{
    tree.Add(QStringLiteral("keep.mp3"));
    tree.Add(QStringLiteral(".hidden.mp3"));
    tree.Add(QStringLiteral("x.mp3.bak"));
    tree.Add(QStringLiteral("mp3"));
    tree.Add(QStringLiteral(".secret/inside.mp3"));
    tree.Add(QStringLiteral("sub/s.mp3"));
    tree.AddFolder(QStringLiteral("sub/folder.mp3"));
    ASSERT_EQ(symlink("..", QFile::encodeName(tree.Path(QStringLiteral("sub/up"))).constData()), 0);
    ASSERT_EQ(symlink(".", QFile::encodeName(tree.Path(QStringLiteral("self"))).constData()), 0);
    ASSERT_EQ(
        symlink("nowhere", QFile::encodeName(tree.Path(QStringLiteral("broken.mp3"))).constData()),
        0);

    const TImportCounts n = Import(tree.Root());
    EXPECT_EQ(StoredRelative(), (QStringList{"keep.mp3", "sub/s.mp3"}));
    EXPECT_EQ(n.Imported, 2);
    EXPECT_TRUE(problems.empty());
}

TEST_F(ImportWalkTest, StoresTagFieldsLengthAndFileType)
{
    SilentMp3Options justUnder60;
    justUnder60.Frames = FramesFor(59900, 59999);
    ASSERT_GT(justUnder60.Frames, 0);
    const QString tagless = tree.Add(QStringLiteral("a tagless.mp3"), justUnder60);

    SilentMp3Options tagged;
    tagged.Frames = FramesFor(2900, 2999);
    tagged.Id3v1 = true;
    const QString withTag = tree.Add(QStringLiteral("b tagged.mp3"), tagged);
    TID3Tag tag = NoTagRecord();
    std::memcpy(tag.Header, "TAG", 3);
    CopyToField(tag.Title, QByteArray(30, 'T'));
    CopyToField(tag.Artist, QByteArray("Art \xe9 "));
    CopyToField(tag.Album, QByteArray("Alb"));
    CopyToField(tag.Year, QByteArray("1987"));
    CopyToField(tag.Comment, QByteArray(29, 'C'));
    tag.Track = 7;
    tag.Genre = 17;
    WriteID3Tag(withTag, tag);

    ASSERT_EQ(Import(tree.Root()).Imported, 2);
    TDataSet q(&connection);
    q.SetCommandText(QStringLiteral("SELECT * FROM Playlist_DB ORDER BY Row_ID"));
    q.Open();
    ASSERT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(q.AsString(QStringLiteral("Path")), tree.Root() + QLatin1Char('/'));
    EXPECT_EQ(q.AsString(QStringLiteral("Filename")), QStringLiteral("a tagless.mp3"));
    EXPECT_EQ(q.AsInteger(QStringLiteral("Duration")), 59);
    EXPECT_EQ(q.AsInteger(QStringLiteral("FileType")), 1);
    for (const char *field : {"ID3_Title", "ID3_Artist", "ID3_Album", "ID3_Comment"})
        EXPECT_EQ(q.AsString(QString::fromLatin1(field)), QString()) << field;
    EXPECT_EQ(q.AsInteger(QStringLiteral("ID3_Year")), 0);
    EXPECT_EQ(q.AsInteger(QStringLiteral("ID3_Genre")), 255);
    EXPECT_EQ(q.AsInteger(QStringLiteral("ID3_Track")), 0);

    q.Next();
    EXPECT_EQ(q.AsInteger(QStringLiteral("Duration")), 2);
    EXPECT_EQ(q.AsString(QStringLiteral("ID3_Title")), QString(30, QLatin1Char('T')));
    EXPECT_EQ(q.AsString(QStringLiteral("ID3_Artist")), QStringLiteral("Art \u00e9 "));
    EXPECT_EQ(q.AsString(QStringLiteral("ID3_Album")), QStringLiteral("Alb"));
    EXPECT_EQ(q.AsString(QStringLiteral("ID3_Comment")), QString(29, QLatin1Char('C')));
    EXPECT_EQ(q.AsInteger(QStringLiteral("ID3_Year")), 1987);
    EXPECT_EQ(q.AsInteger(QStringLiteral("ID3_Track")), 7);
    EXPECT_EQ(q.AsInteger(QStringLiteral("ID3_Genre")), 17);
}

TEST(TagYear, ReadsOnlyWholeNumbers)
{
    TID3Tag tag = NoTagRecord();
    auto year = [&](const QByteArray &text) {
        std::memset(tag.Year, 0, 4);
        std::memcpy(tag.Year, text.constData(), size_t(text.size()));
        return TagYear(tag);
    };
    EXPECT_EQ(year("1999"), 1999);
    EXPECT_EQ(year("0000"), 0);
    EXPECT_EQ(year(""), 0);
    EXPECT_EQ(year("85"), 85);
    EXPECT_EQ(year(QByteArray("19\0"
                              "9",
                              4)),
              19);
    EXPECT_EQ(year("19a9"), 0);
    EXPECT_EQ(year(" 199"), 0);
    EXPECT_EQ(year("-"), 0);
    EXPECT_EQ(year("-12"), -12);
}

TEST_F(ImportWalkTest, SecondRunFindsEverythingAndStoppedRunResumesWithTheRest)
{
    for (const char *name : {"1.mp3", "2.mp3", "3.mp3", "sub/4.mp3", "sub/5.mp3"})
        tree.Add(QString::fromLatin1(name));

    int files = 0;
    TImportCounts n = Import(tree.Root(), [&] { return ++files < 2; });
    EXPECT_EQ(n.Imported, 2);
    EXPECT_EQ(StoredRelative(), (QStringList{"1.mp3", "2.mp3"}));

    n = Import(tree.Root());
    EXPECT_EQ(n.Imported, 3);
    EXPECT_EQ(n.Existing, 2);
    EXPECT_EQ(StoredRelative(), (QStringList{"1.mp3", "2.mp3", "3.mp3", "sub/4.mp3", "sub/5.mp3"}));

    n = Import(tree.Root());
    EXPECT_EQ(n.Imported, 0);
    EXPECT_EQ(n.Existing, 5);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 5);

    // Stopping before a subfolder leaves it out entirely.
    seen.clear();
    files = 0;
    TImportWalker walker(connection);
    walker.KeepGoing = [&] { return ++files <= 3; };
    walker.ImportFolder(tree.Root());
    EXPECT_TRUE(walker.Stopped());
    EXPECT_EQ(walker.Counts().Done, 3);
}

TEST_F(ImportWalkTest, RefusedInsertsAreReportedAndUndoNothingElse)
{
    // Over 256 rows, so that the refused rows fall inside a batch with others before them.
    for (int i = 0; i < 300; ++i)
        tree.Add(QStringLiteral("f%1.mp3").arg(i, 3, 10, QLatin1Char('0')));
    const QString longName =
        tree.Add(QStringLiteral("f150") + QString(97, QLatin1Char('x')) + QStringLiteral(".mp3"));
    const QString notMp3 = tree.Path(QStringLiteral("f260 text.mp3"));
    {
        QFile f(notMp3);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4000, 'a'));
    }
    // A row the library itself refuses is named with the library's reason alone.
    library.Exec(QStringLiteral("CREATE TRIGGER Refuse BEFORE INSERT ON Playlist_DB WHEN "
                                "NEW.Filename = 'f200.mp3' BEGIN SELECT RAISE(ABORT, 'refused "
                                "by the library'); END"));

    const TImportCounts n = Import(tree.Root());
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0].Kind, TImportProblemKind::InsertFailed);
    EXPECT_EQ(problems[0].Name, longName);
    const auto named = [&](const QString &name) {
        for (const auto &problem : problems)
            if (problem.Name == name)
                return problem;
        ADD_FAILURE() << "no problem for " << name.toStdString();
        return problems[0];
    };
    EXPECT_EQ(named(tree.Path(QStringLiteral("f200.mp3"))).Kind, TImportProblemKind::InsertFailed);
    EXPECT_EQ(named(tree.Path(QStringLiteral("f200.mp3"))).Reason,
              QStringLiteral("refused by the library"));
    // A file without audio is refused for what it is, with the decoder's reason.
    EXPECT_EQ(named(notMp3).Kind, TImportProblemKind::FileRefused);
    EXPECT_EQ(named(notMp3).Reason, QStringLiteral("it is not an MP3 file (no MPEG audio found)"));
    EXPECT_EQ(n.Imported, 299);
    EXPECT_EQ(n.Failed, 3);
    EXPECT_EQ(n.Done, 302);
    // Committed: another connection sees every row.
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 299);
    // A failed file is tried again by the next import.
    problems.clear();
    EXPECT_EQ(Import(tree.Root()).Failed, 3);
    EXPECT_EQ(problems.size(), 3u);
}

TEST_F(ImportWalkTest, FilesAndFoldersThatVanishOrCannotBeReadAreReportedAndSkipped)
{
    tree.Add(QStringLiteral("a.mp3"));
    const QString gone = tree.Add(QStringLiteral("b.mp3"));
    tree.Add(QStringLiteral("c.mp3"));
    tree.Add(QStringLiteral("lost/x.mp3"));
    tree.Add(QStringLiteral("stays/y.mp3"));
    // Listed, then removed before it is read: the walk meets them as missing.
    onFile = [&](const QString &name) {
        if (name == QLatin1String("b.mp3")) {
            QFile::remove(gone);
            QDir(tree.Path(QStringLiteral("lost"))).removeRecursively();
        }
    };
    const TImportCounts n = Import(tree.Root());
    EXPECT_EQ(StoredRelative(), (QStringList{"a.mp3", "c.mp3", "stays/y.mp3"}));
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].Kind, TImportProblemKind::FileUnreadable);
    EXPECT_EQ(problems[0].Name, gone);
    EXPECT_EQ(problems[1].Kind, TImportProblemKind::FolderUnreadable);
    EXPECT_EQ(problems[1].Name, tree.Path(QStringLiteral("lost")));
    EXPECT_EQ(n.Failed, 1);
    EXPECT_EQ(n.FoldersUnreadable, 1);
}

TEST_F(ImportWalkTest, FilesAndFoldersWithoutPermissionAreReportedAndSkipped)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads everything";
    const QString closedFile = tree.Add(QStringLiteral("a.mp3"));
    tree.Add(QStringLiteral("b.mp3"));
    tree.Add(QStringLiteral("closed/x.mp3"));
    tree.Add(QStringLiteral("open/y.mp3"));
    QFile::setPermissions(closedFile, QFile::Permissions());
    QFile::setPermissions(tree.Path(QStringLiteral("closed")), QFile::Permissions());
    const TImportCounts n = Import(tree.Root());
    QFile::setPermissions(tree.Path(QStringLiteral("closed")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(StoredRelative(), (QStringList{"b.mp3", "open/y.mp3"}));
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].Kind, TImportProblemKind::FileUnreadable);
    EXPECT_EQ(problems[1].Kind, TImportProblemKind::FolderUnreadable);
    EXPECT_EQ(n.Failed, 1);
}

TEST_F(ImportWalkTest, ADurationStoredByPlaybackDuringTheWalkIsNotPartOfTheImportsBatch)
{
    for (const char *name : {"a.mp3", "b.mp3", "c.mp3"})
        tree.Add(QString::fromLatin1(name));
    const qint64 playing = library.AddSong(QStringLiteral("Playing"));
    // The insert of c.mp3 undoes the whole open transaction, as a full disk would.
    library.Exec(QStringLiteral("CREATE TRIGGER Undo BEFORE INSERT ON Playlist_DB "
                                "WHEN NEW.Filename = 'c.mp3' BEGIN "
                                "SELECT RAISE(ROLLBACK, 'undone'); END"));
    TTable songs(&connection);
    SetUpSongsTable(songs);
    songs.Open();
    int files = 0;
    // Events run between files: the song that plays meanwhile stores its duration.
    Import(tree.Root(), [&] {
        if (++files == 1)
            songs.UpdateValue(playing, QStringLiteral("Duration"), 215);
        return true;
    });
    EXPECT_EQ(
        library.QueryInt(
            QStringLiteral("SELECT Duration FROM Playlist_DB WHERE Row_ID = %1").arg(playing)),
        215);
    // The rows before that write were committed first; b.mp3 went down with c.mp3.
    EXPECT_TRUE(StoredRelative().contains(QStringLiteral("a.mp3")));
    EXPECT_FALSE(StoredRelative().contains(QStringLiteral("c.mp3")));
}

TEST_F(ImportWalkTest, ALockTakenByAnotherProgramStopsTheWalkOnceKeepingWhatWasCommitted)
{
    for (const char *name : {"1.mp3", "2.mp3", "3.mp3", "4.mp3", "5.mp3"})
        tree.Add(QString::fromLatin1(name));
    std::unique_ptr<LockHolder> other;
    int files = 0;
    TImportWalker walker(connection);
    walker.OnProblem = [this](const TImportProblem &p) { problems.push_back(p); };
    walker.KeepGoing = [&] {
        if (++files == 2) {
            connection.FinishOpenBatch();
            other = std::make_unique<LockHolder>(library.FileName());
        }
        return true;
    };
    try {
        walker.ImportFolder(tree.Root());
        ADD_FAILURE() << "the walk went on";
    } catch (const ELibraryUnwritable &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("locked by another program")))
            << e.Message().toStdString();
    }
    other.reset();
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(StoredRelative(), (QStringList{"1.mp3", "2.mp3"}));
}

TEST_F(ImportWalkTest, FifosAndDevicesNamedMp3ArePassedOverAndCounted)
{
    tree.Add(QStringLiteral("a.mp3"));
    ASSERT_EQ(mkfifo(QFile::encodeName(tree.Path(QStringLiteral("pipe.mp3"))).constData(), 0644),
              0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), tree.Path(QStringLiteral("zero.mp3"))));
    const TImportCounts n = Import(tree.Root());
    EXPECT_EQ(seen, QStringList{QStringLiteral("a.mp3")});
    EXPECT_EQ(n.Imported, 1);
    EXPECT_EQ(n.NotFiles, 2);
    EXPECT_TRUE(problems.empty());
}

// A folder's stored songs are looked up together: a library on a server is not asked once per
// file that it already has.
TEST_F(ImportWalkTest, StoredFilesCostNoStatementOfTheirOwn)
{
    for (int i = 0; i < 20; ++i)
        tree.Add(QStringLiteral("%1.mp3").arg(i));
    ASSERT_EQ(Import(tree.Root()).Imported, 20);
    int statements = 0;
    connection.OnStatement = [&](const QString &) { ++statements; };
    const TImportCounts again = Import(tree.Root());
    connection.OnStatement = {};
    EXPECT_EQ(again.Existing, 20);
    EXPECT_EQ(again.Imported, 0);
    EXPECT_LE(statements, 3);
}

TEST_F(ImportWalkTest, AFailedExistenceCheckIsReportedAndTheInsertTried)
{
    tree.Add(QStringLiteral("a.mp3"));
    TImportWalker walker(connection);
    walker.OnProblem = [this](const TImportProblem &p) { problems.push_back(p); };
    // The prepared statements outlive the table: both of its statements now fail.
    connection.Execute(QStringLiteral("ALTER TABLE Playlist_DB RENAME TO Gone"));
    walker.ImportFolder(tree.Root());
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].Kind, TImportProblemKind::ExistsCheckFailed);
    EXPECT_EQ(problems[1].Kind, TImportProblemKind::InsertFailed);
    EXPECT_EQ(walker.Counts().Failed, 1);
    EXPECT_EQ(walker.Counts().Imported, 0);
}

} // namespace
