#include "app/Forms.h"
#include "app/UMain.h"
#include "base/Errors.h"
#include "data/DataSet.h"
#include "data/PlaylistEntries.h"
#include "data/ProgramDirectory.h"
#include "data/Table.h"
#include "data/URegistry.h"
#include "dialogs/UImportSongs.h"
#include "import/ImportWalker.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/SmallVolume.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// A folder tree of generated MP3 files.
class MusicTree
{
public:
    QString Root() const { return m_dir.path(); }
    QString Path(const QString &relative) const { return Root() + QLatin1Char('/') + relative; }
    QString Add(const QString &relative, const SilentMp3Options &options = {})
    {
        const QString path = Path(relative);
        QDir().mkpath(QFileInfo(path).path());
        WriteSilentMp3(path, options);
        return path;
    }
    void AddFolder(const QString &relative) { QDir().mkpath(Path(relative)); }

private:
    QTemporaryDir m_dir;
};

// Frames of a 44.1 kHz silent file whose exact length lies in [fromMs, toMs].
int FramesFor(qint64 fromMs, qint64 toMs)
{
    SilentMp3Options o;
    for (o.Frames = 1;; ++o.Frames) {
        const qint64 ms = SilentMp3ExpectedLengthMs(o);
        if (ms >= fromMs && ms <= toMs)
            return o.Frames;
        if (ms > toMs)
            return -1;
    }
}

QStringList StoredFiles(TestLibrary &library)
{
    TConnection connection;
    connection.ConnectionString = library.ConnectionString();
    connection.Open();
    TDataSet q(&connection);
    q.SetCommandText(QStringLiteral("SELECT Path, Filename FROM Playlist_DB ORDER BY Row_ID"));
    q.Open();
    QStringList files;
    for (q.First(); !q.Eof(); q.Next())
        files << q.AsString(QStringLiteral("Path")) + q.AsString(QStringLiteral("Filename"));
    return files;
}

// Another program's connection that holds the library's write lock while it lives.
class LockHolder
{
public:
    explicit LockHolder(const QString &file)
    {
        sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        EXPECT_EQ(sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~LockHolder()
    {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }
    LockHolder(const LockHolder &) = delete;
    LockHolder &operator=(const LockHolder &) = delete;

private:
    sqlite3 *m_db = nullptr;
};

// Saves a picture of the window when QUILLMERE_SCREENSHOTS names a folder.
void Screenshot(QWidget &window, const QString &name)
{
    const QString folder = qEnvironmentVariable("QUILLMERE_SCREENSHOTS");
    if (!folder.isEmpty())
        window.grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

// The lines a run wrote to stderr.
QStringList Lines(const QByteArray &err)
{
    return QString::fromUtf8(err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList LeftBeside(const QString &library)
{
    QStringList left;
    for (const char *tail : {"-wal", "-shm", "-journal"})
        if (QFileInfo::exists(library + QLatin1String(tail)))
            left << QString::fromLatin1(tail);
    return left;
}

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

// ---- quillmere-lib import

TEST(ImportVerb, PrintsTheCountsAndAddsOnlyWhatIsMissing)
{
    TestLibrary library;
    MusicTree tree;
    tree.Add(QStringLiteral("a.mp3"));
    tree.Add(QStringLiteral("sub/b.mp3"));
    QFile text(tree.Path(QStringLiteral("c.mp3")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not audio");
    text.close();

    auto run = [&](QString *err) {
        QProcess process;
        process.setWorkingDirectory(tree.Root());
        process.start(QStringLiteral(QUILLMERE_LIB_BINARY),
                      {QStringLiteral("--library"), library.FileName(), QStringLiteral("import"),
                       QStringLiteral(".")});
        EXPECT_TRUE(process.waitForFinished(60000));
        *err = QString::fromUtf8(process.readAllStandardError());
        return QStringLiteral("%1 %2")
            .arg(process.exitCode())
            .arg(QString::fromUtf8(process.readAllStandardOutput()));
    };
    QString err;
    EXPECT_EQ(run(&err), QStringLiteral("1 imported 2, existing 0, failed 1\n"));
    EXPECT_TRUE(
        err.contains(QStringLiteral("cannot insert \"") + tree.Path(QStringLiteral("c.mp3"))))
        << err.toStdString();
    EXPECT_FALSE(err.contains(QLatin1Char('\r'))); // no progress when stderr is not a terminal
    EXPECT_EQ(StoredFiles(library), (QStringList{tree.Path(QStringLiteral("a.mp3")),
                                                 tree.Path(QStringLiteral("sub/b.mp3"))}));
    EXPECT_EQ(run(&err), QStringLiteral("1 imported 0, existing 2, failed 1\n"));
    QFile::remove(tree.Path(QStringLiteral("c.mp3")));
    EXPECT_EQ(run(&err), QStringLiteral("0 imported 0, existing 2, failed 0\n"));
}

TRun RunImport(const QString &library, const QString &folder)
{
    return RunProgram(QStringLiteral(QUILLMERE_LIB_BINARY),
                      {QStringLiteral("--library"), library, QStringLiteral("import"), folder});
}

TEST(ImportVerb, ImportsRunningAtOnceAddEveryFileOnce)
{
    for (const bool uniqueIndex : {true, false}) {
        SCOPED_TRACE(uniqueIndex ? "unique index" : "a library that lists a song twice");
        TestLibrary library;
        if (!uniqueIndex) {
            library.Exec(QStringLiteral("DROP INDEX Playlist_DB_Location"));
            library.AddSong(QStringLiteral("Twice"));
            library.AddSong(QStringLiteral("Twice"));
        }
        MusicTree tree;
        constexpr int Files = 400;
        for (int i = 0; i < Files; ++i)
            tree.Add(QStringLiteral("d%1/f%2.mp3").arg(i % 7).arg(i));
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < 4; ++i) {
            runs.push_back(std::make_unique<QProcess>());
            runs.back()->start(QStringLiteral(QUILLMERE_LIB_BINARY),
                               {QStringLiteral("--library"), library.FileName(),
                                QStringLiteral("import"), tree.Root()});
        }
        int imported = 0;
        for (auto &run : runs) {
            ASSERT_TRUE(run->waitForFinished(120000));
            const QString out = QString::fromUtf8(run->readAllStandardOutput());
            EXPECT_EQ(run->exitCode(), 0) << run->readAllStandardError().toStdString();
            EXPECT_TRUE(out.endsWith(QStringLiteral(", failed 0\n"))) << out.toStdString();
            imported += out.section(QLatin1Char(' '), 1, 1).chopped(1).toInt();
        }
        EXPECT_EQ(imported, Files);
        const QString fromTree =
            QStringLiteral(" FROM Playlist_DB WHERE Path LIKE '%1/%'").arg(tree.Root());
        EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*)") + fromTree), Files);
        EXPECT_EQ(
            library.QueryInt(QStringLiteral("SELECT count(DISTINCT Path || Filename)") + fromTree),
            Files);
    }
}

TEST(ImportVerb, FifosAreNeverOpenedAndTagVerbsRefuseThemAtOnce)
{
    TestLibrary library;
    MusicTree tree;
    tree.Add(QStringLiteral("a.mp3"));
    const QString fifo = tree.Path(QStringLiteral("pipe.mp3"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const TRun run = RunImport(library.FileName(), tree.Root());
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, QByteArray("imported 1, existing 0, failed 0\n"));
    EXPECT_TRUE(run.Err.contains("passed over 1 ")) << run.Err.toStdString();

    for (const QStringList &args :
         {QStringList{QStringLiteral("tag"), QStringLiteral("show"), fifo},
          QStringList{QStringLiteral("tag"), QStringLiteral("set"), fifo, QStringLiteral("--title"),
                      QStringLiteral("x")}}) {
        const TRun tag = RunProgram(QStringLiteral(QUILLMERE_LIB_BINARY), args);
        EXPECT_EQ(tag.ExitCode, 1);
        EXPECT_TRUE(tag.Err.contains("pipe.mp3")) << tag.Err.toStdString();
        EXPECT_TRUE(tag.Err.contains("not a regular file")) << tag.Err.toStdString();
    }
}

TEST(ImportVerb, FilesThatAreNoLibraryExitWithTwo)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.mdb"));
    WriteAll(empty, QByteArray());
    const QString other = dir.filePath(QStringLiteral("other.db"));
    {
        sqlite3 *db = nullptr;
        sqlite3_open(QFile::encodeName(other).constData(), &db);
        EXPECT_EQ(sqlite3_exec(db, "CREATE TABLE Notes(Text)", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    MusicTree tree;
    tree.Add(QStringLiteral("a.mp3"));
    for (const QString &file : {empty, QStringLiteral("/dev/null"), other}) {
        SCOPED_TRACE(file.toStdString());
        for (const QStringList &verb : {QStringList{QStringLiteral("songs")},
                                        QStringList{QStringLiteral("import"), tree.Root()}}) {
            const TRun run = RunProgram(QStringLiteral(QUILLMERE_LIB_BINARY),
                                        QStringList{QStringLiteral("--library"), file} + verb);
            EXPECT_EQ(run.ExitCode, 2);
            EXPECT_TRUE(run.Err.contains("is not a Quillmere library")) << run.Err.toStdString();
            EXPECT_EQ(Lines(run.Err).size(), 1) << run.Err.toStdString();
        }
    }
    EXPECT_EQ(ReadAll(empty), QByteArray());
    struct stat null;
    ASSERT_EQ(stat("/dev/null", &null), 0);
    EXPECT_TRUE(S_ISCHR(null.st_mode));
}

// A library with one song that the user running the import may not write, and no connection
// of the test open on it.
class ReadOnlyLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        file = dir.filePath(QStringLiteral("quillmeredb.mdb"));
        CreateLibrary(file);
        {
            TConnection connection;
            connection.SetLibraryAddress(file);
            connection.Open();
            connection.Execute(
                QStringLiteral("INSERT INTO Playlist_DB(Path, Filename) VALUES('/m/', 'k.mp3')"));
        }
        for (int i = 0; i < 20; ++i)
            tree.Add(QStringLiteral("f%1.mp3").arg(i));
        // Others may reach the files; the library's folder is even theirs to write in.
        for (const QString &folder : {tree.Root(), dir.path()})
            QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
        for (int i = 0; i < 20; ++i)
            QFile::setPermissions(tree.Path(QStringLiteral("f%1.mp3").arg(i)),
                                  QFileDevice::Permissions(0x4444));
        QFile::setPermissions(file, QFileDevice::Permissions(0x4444));
        import =
            QStringList{QStringLiteral("--library"), file, QStringLiteral("import"), tree.Root()};
    }
    void Check(const TRun &run)
    {
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_TRUE(run.Out.isEmpty()) << run.Out.toStdString();
        EXPECT_EQ(Lines(run.Err).size(), 1) << run.Err.toStdString();
        EXPECT_TRUE(run.Err.contains("cannot be written")) << run.Err.toStdString();
        EXPECT_EQ(LeftBeside(file), QStringList());
    }
    qint64 Songs()
    {
        TConnection connection;
        connection.SetLibraryAddress(file);
        connection.Open();
        TStatement count(connection, QStringLiteral("SELECT count(*) FROM Playlist_DB"));
        return count.Step() ? count.Integer(0) : -1;
    }

    QTemporaryDir dir;
    QString file;
    MusicTree tree;
    QStringList import;
};

TEST_F(ReadOnlyLibraryTest, AnImportSaysOnceBeforeTheWalkThatTheLibraryCannotBeWritten)
{
    if (geteuid() != 0) {
        Check(RunProgram(QStringLiteral(QUILLMERE_LIB_BINARY), import));
        EXPECT_EQ(Songs(), 1);
        return;
    }
    // Root writes whatever the permissions say: run as nobody.
    Check(RunProgram(QStringLiteral("setpriv"),
                     QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                 QStringLiteral("--clear-groups"),
                                 QStringLiteral(QUILLMERE_LIB_BINARY)} +
                         import));
    EXPECT_EQ(Songs(), 1);
    // And an immutable file, which root may not write either.
    if (RunProgram(QStringLiteral("chattr"), {QStringLiteral("+i"), file}).ExitCode != 0) {
        std::printf("The file system refuses chattr +i; the immutable case is not run.\n");
        return;
    }
    Check(RunProgram(QStringLiteral(QUILLMERE_LIB_BINARY), import));
    EXPECT_EQ(RunProgram(QStringLiteral("chattr"), {QStringLiteral("-i"), file}).ExitCode, 0);
    EXPECT_EQ(Songs(), 1);
}

TEST(ImportVerb, ALockHeldByAnotherProgramEndsTheImportWithOneMessage)
{
    TestLibrary library;
    MusicTree tree;
    for (int i = 0; i < 5; ++i)
        tree.Add(QStringLiteral("f%1.mp3").arg(i));
    LockHolder other(library.FileName());
    // A run still waiting on the lock when RunProgram gives up has no exit code; how long
    // the import waits is timed in bench_import.
    const TRun run = RunImport(library.FileName(), tree.Root());
    EXPECT_EQ(run.ExitCode, 1);
    ASSERT_EQ(Lines(run.Err).size(), 1) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("locked by another program")) << run.Err.toStdString();
}

TEST(ImportVerb, NamesWithTerminalControlsArePrintedEscaped)
{
    TestLibrary library;
    MusicTree tree;
    WriteAll(tree.Path(QStringLiteral("bad\x1b]0;owned\x07\x1b[2J.mp3")), "not audio");
    const TRun run = RunImport(library.FileName(), tree.Root());
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_FALSE(run.Err.contains('\x1b')) << run.Err.toStdString();
    EXPECT_FALSE(run.Err.contains('\x07'));
    EXPECT_TRUE(run.Err.contains("bad\\x1b]0;owned\\x07\\x1b[2J.mp3")) << run.Err.toStdString();

    const TRun tag = RunProgram(QStringLiteral(QUILLMERE_LIB_BINARY),
                                {QStringLiteral("tag"), QStringLiteral("show"),
                                 tree.Path(QStringLiteral("gone\x1b[31m\u009b2J.mp3"))});
    EXPECT_EQ(tag.ExitCode, 1);
    EXPECT_FALSE(tag.Err.contains('\x1b')) << tag.Err.toStdString();
    EXPECT_FALSE(tag.Err.contains("\xc2\x9b"));
    EXPECT_TRUE(tag.Err.contains("gone\\x1b[31m\\x9b2J.mp3")) << tag.Err.toStdString();
}

// ---- A library on a full disk

// A library file on a volume with room for a few hundred songs, and more files than fit.
class FullDiskTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!volume.Available())
            GTEST_SKIP() << volume.Reason().toStdString();
        CreateLibrary(file);
        for (int i = 0; i < Files; ++i)
            tree.Add(QStringLiteral("a fairly long folder name for every song/song %1.mp3")
                         .arg(i, 4, 10, QLatin1Char('0')));
    }
    qint64 Stored()
    {
        TConnection connection;
        connection.SetLibraryAddress(file);
        connection.Open();
        TDataSet q(&connection);
        q.SetCommandText(QStringLiteral("SELECT count(*) AS n FROM Playlist_DB"));
        q.Open();
        return q.AsInteger(QStringLiteral("n"));
    }

    static constexpr int Files = 2000;
    TestLibrary library; // the program's folder, away from the volume
    SmallVolume volume{400};
    QString file = volume.Folder() + QStringLiteral("quillmeredb.mdb");
    MusicTree tree;
};

TEST_F(FullDiskTest, TheWalkStopsWithOneMessageNamingOnlyTheOpenBatch)
{
    TConnection connection;
    connection.SetLibraryAddress(file);
    connection.Open();
    std::vector<TImportProblem> problems;
    TImportCounts n;
    {
        // Gone before the connection closes: its statements hold the library open.
        TImportWalker walker(connection);
        walker.OnProblem = [&](const TImportProblem &p) { problems.push_back(p); };
        try {
            walker.ImportFolder(tree.Root());
            FAIL() << "the walk went on past a full disk";
        } catch (const ELibraryUnwritable &e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("no room left")))
                << e.Message().toStdString();
        }
        n = walker.Counts();
    }
    EXPECT_LT(n.Done, Files - RowsPerTransaction) << "the walk stopped at the first full write";
    EXPECT_GT(n.Imported, 0);
    EXPECT_LE(problems.size(), size_t(RowsPerTransaction));
    for (const TImportProblem &p : problems)
        EXPECT_EQ(p.Kind, TImportProblemKind::RowLost) << p.Reason.toStdString();
    connection.Close();
    EXPECT_EQ(Stored(), n.Imported);
}

TEST_F(FullDiskTest, TheCommandLineSaysSoOnceAndStops)
{
    const TRun run = RunImport(file, tree.Root());
    EXPECT_EQ(run.ExitCode, 1);
    const QStringList lines = Lines(run.Err);
    // The message, and at most one line for the rows of the batch it undid.
    EXPECT_LE(lines.size(), 2) << run.Err.left(2000).toStdString();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().contains(QStringLiteral("no room left")))
        << run.Err.right(500).toStdString();
    EXPECT_GT(Stored(), 0);
}

// ---- The dialog over the main window

class ImportDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *name : {"ImportDrive", "ImportPath", "Imported"})
            WriteSetting(QuillmereKeyPath, QString::fromLatin1(name), QString(), false);
        window = StartMainWindow();
        dialog = std::make_unique<TfrmImportSongs>(&window->QuillmereDB);
        ShowChangesIn(window.get(), dialog.get());
    }
    void TearDown() override
    {
        dialog.reset();
        window.reset();
        frmMain = nullptr;
    }
    int RunImport(const QString &folder)
    {
        dialog->dlbFolder->SetDirectory(folder);
        dialog->setResult(0);
        dialog->btnOKClick();
        return dialog->result();
    }
    QString Status() const { return dialog->StatusBar1->currentMessage(); }
    static QString Setting(const char *name)
    {
        return ReadSetting(QuillmereKeyPath, QString::fromLatin1(name), false);
    }

    TestLibrary library;
    ScriptedMessages messages;
    MusicTree tree;
    TMainWindowPtr window;
    std::unique_ptr<TfrmImportSongs> dialog;
};

TEST_F(ImportDialogTest, FolderAndFileListsShowWhatTheWalkWillSee)
{
    tree.Add(QStringLiteral("b.mp3"));
    tree.Add(QStringLiteral("A.MP3"));
    tree.Add(QStringLiteral(".h.mp3"));
    tree.Add(QStringLiteral("n.mp3.bak"));
    tree.AddFolder(QStringLiteral("zz"));
    tree.AddFolder(QStringLiteral("Mm"));
    tree.AddFolder(QStringLiteral(".hid"));
    dialog->dlbFolder->SetDirectory(tree.Root());

    QStringList files;
    for (int i = 0; i < dialog->flbFile->count(); ++i)
        files << dialog->flbFile->item(i)->text();
    EXPECT_EQ(files, (QStringList{"A.MP3", "b.mp3"}));

    const int depth = int(tree.Root().count(QLatin1Char('/')));
    ASSERT_EQ(dialog->dlbFolder->count(), depth + 1 + 2);
    EXPECT_EQ(dialog->dlbFolder->item(0)->data(Qt::UserRole).toString(), QStringLiteral("/"));
    EXPECT_EQ(dialog->dlbFolder->currentRow(), depth);
    EXPECT_EQ(dialog->dlbFolder->item(depth + 1)->data(Qt::UserRole).toString(),
              tree.Path(QStringLiteral("Mm")));
    EXPECT_EQ(dialog->dlbFolder->item(depth + 2)->text().trimmed(), QStringLiteral("zz"));

    // Opening a subfolder makes it current; the file list follows.
    dialog->dlbFolder->setCurrentRow(depth + 2);
    dialog->dlbFolder->OpenCurrent();
    EXPECT_EQ(dialog->dlbFolder->Directory(), tree.Path(QStringLiteral("zz")));
    EXPECT_EQ(dialog->flbFile->count(), 0);
    EXPECT_EQ(dialog->dcbDrive->Drive(), QStringLiteral("/"));
}

TEST_F(ImportDialogTest, ListsArePlainUnderBoldCaptionsAndATypedFolderIsOpened)
{
    tree.Add(QStringLiteral("inner/a.mp3"));
    tree.Add(QStringLiteral("inner/b.mp3"));
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    for (QWidget *box :
         {static_cast<QWidget *>(dialog->gbDrive), static_cast<QWidget *>(dialog->gbFolders),
          static_cast<QWidget *>(dialog->gbFiles)})
        EXPECT_TRUE(box->font().bold()) << box->objectName().toStdString();
    for (QWidget *list :
         {static_cast<QWidget *>(dialog->dcbDrive), static_cast<QWidget *>(dialog->dlbFolder),
          static_cast<QWidget *>(dialog->flbFile), static_cast<QWidget *>(dialog->edFolder)})
        EXPECT_FALSE(list->font().bold()) << list->objectName().toStdString();

    // Typed (or pasted) and Enter: the lists go there.
    dialog->edFolder->selectAll();
    QTest::keyClicks(dialog->edFolder, tree.Path(QStringLiteral("inner")));
    QTest::keyClick(dialog->edFolder, Qt::Key_Return);
    EXPECT_EQ(dialog->dlbFolder->Directory(), tree.Path(QStringLiteral("inner")));
    EXPECT_EQ(dialog->flbFile->count(), 2);
    Screenshot(*dialog, QStringLiteral("import-dialog"));
    // A folder that is not there is said so, and the lists stay.
    dialog->edFolder->selectAll();
    QTest::keyClicks(dialog->edFolder, tree.Path(QStringLiteral("nowhere")));
    QTest::keyClick(dialog->edFolder, Qt::Key_Return);
    EXPECT_EQ(messages.Texts(TMessageKind::Warning).size(), 1);
    EXPECT_EQ(dialog->dlbFolder->Directory(), tree.Path(QStringLiteral("inner")));
    // Typed without Enter, OK imports from there.
    dialog->edFolder->selectAll();
    QTest::keyClicks(dialog->edFolder, tree.Root());
    messages.Clear();
    QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 2 files successfully!")});
}

TEST(ImportDialogStart, WithoutARememberedFolderItStartsInTheUserMusicFolder)
{
    ScriptedMessages messages;
    for (const char *name : {"ImportDrive", "ImportPath"})
        WriteSetting(QuillmereKeyPath, QString::fromLatin1(name), QString(), false);
    QTemporaryDir music, home;
    const QByteArray oldMusic = qgetenv("XDG_MUSIC_DIR"), oldHome = qgetenv("HOME"),
                     oldConfig = qgetenv("XDG_CONFIG_HOME");
    const bool hadMusic = qEnvironmentVariableIsSet("XDG_MUSIC_DIR"),
               hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_MUSIC_DIR", QFile::encodeName(music.path()));
    {
        TfrmImportSongs dialog;
        EXPECT_EQ(dialog.dlbFolder->Directory(), music.path());
        EXPECT_EQ(dialog.edFolder->text(), music.path());
    }
    qunsetenv("XDG_MUSIC_DIR");
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    QDir(home.path()).mkdir(QStringLiteral("Music"));
    {
        TfrmImportSongs dialog;
        EXPECT_EQ(dialog.dlbFolder->Directory(), home.path() + QStringLiteral("/Music"));
    }
    qputenv("HOME", oldHome);
    if (hadMusic)
        qputenv("XDG_MUSIC_DIR", oldMusic);
    if (hadConfig)
        qputenv("XDG_CONFIG_HOME", oldConfig);
    EXPECT_TRUE(messages.Shown().isEmpty());
}

TEST_F(ImportDialogTest, AnEmptyFolderReportsZeroWithoutAWarning)
{
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_EQ(Status(), QStringLiteral("Imported 0 files"));
    EXPECT_EQ(
        messages.Texts(),
        (QStringList{QStringLiteral("Are you sure you want to import songs from ") + tree.Root() +
                         QStringLiteral("?\rThis process may take a while but can be "
                                        "cancelled and resumed at any time."),
                     QStringLiteral("Imported 0 files successfully!")}));
    EXPECT_TRUE(dialog->btnOK->isEnabled());
}

TEST_F(ImportDialogTest, AnsweringNoImportsNothing)
{
    tree.Add(QStringLiteral("a.mp3"));
    messages.SetConfirmationAnswer(mrNo);
    EXPECT_EQ(RunImport(tree.Root()), 0);
    EXPECT_EQ(messages.Texts().size(), 1);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 0);
    EXPECT_EQ(Setting("Imported"), QString());
}

TEST_F(ImportDialogTest, ImportingTwiceWarnsWithTheFirstRunsCountAndRefreshesTheMainWindow)
{
    for (const char *name : {"a.mp3", "b.mp3", "sub/c.mp3"})
        tree.Add(QString::fromLatin1(name));
    window->LibraryImported = false;
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 3 files successfully!")});
    EXPECT_TRUE(messages.Texts(TMessageKind::Warning).isEmpty());
    EXPECT_TRUE(window->LibraryImported);
    EXPECT_EQ(window->tblSongs->RecordCount(), 3);
    EXPECT_EQ(Setting("Imported"), QStringLiteral("Y"));
    EXPECT_EQ(Setting("ImportDrive"), QStringLiteral("/"));
    EXPECT_EQ(Setting("ImportPath"), tree.Root());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    messages.Clear();
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_EQ(Status(), QStringLiteral("Imported 0 files"));
    EXPECT_EQ(messages.Texts(TMessageKind::Warning),
              QStringList{QStringLiteral("3 songs already existed in the database!")});
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 0 files successfully!")});
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 3);
}

TEST_F(ImportDialogTest, CancelDuringTheWalkStopsAfterTheFileAtHandAndALaterRunAddsTheRest)
{
    for (const char *name : {"a.mp3", "b.mp3", "c.mp3", "sub/d.mp3"})
        tree.Add(QString::fromLatin1(name));
    // Arrives with the first round of pending events, after the first file.
    QTimer::singleShot(0, dialog.get(), [this] {
        EXPECT_FALSE(dialog->btnOK->isEnabled());
        EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
        dialog->btnCancel->click();
    });
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_TRUE(messages.Texts(TMessageKind::Confirmation)
                    .contains(QStringLiteral("Do you wish to stop the importing process?\rYou can "
                                             "easily import the rest of the songs at a later "
                                             "date.")));
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 1 files successfully!")});
    EXPECT_FALSE(dialog->Cancelled);
    EXPECT_EQ(Setting("Imported"), QStringLiteral("Y"));

    messages.Clear();
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_EQ(messages.Texts(TMessageKind::Warning),
              QStringList{QStringLiteral("1 songs already existed in the database!")});
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 3 files successfully!")});
    EXPECT_EQ(StoredFiles(library).size(), 4);
}

TEST_F(ImportDialogTest, ProgressIsShownButRepaintedAtMostAboutTwentyTimesASecond)
{
    for (int i = 0; i < 400; ++i)
        tree.Add(QStringLiteral("f%1.mp3").arg(i));
    dialog->show();
    // Each file reads a clock 10 ms on from the last: one file in five is shown.
    qint64 now = 0;
    dialog->Clock = [&now] { return now += 10; };
    int changes = 0;
    int shown = 0;
    int lastDone = -1;
    QObject::connect(dialog->StatusBar1, &QStatusBar::messageChanged, dialog.get(),
                     [&](const QString &text) {
                         ++changes;
                         if (text.startsWith(QStringLiteral("Adding Song")))
                             ++shown;
                         lastDone = dialog->pbImport->value();
                     });
    RunImport(tree.Root());
    EXPECT_EQ(shown, 400 / 5 + 1); // and the last file once the walk is done
    EXPECT_GT(changes, shown);     // then the result
    EXPECT_EQ(lastDone, 400);      // the last update before the result shows every file done
    EXPECT_EQ(dialog->pbImport->maximum(), 400);
}

TEST_F(ImportDialogTest, AnsweringNoToStoppingGoesOn)
{
    for (const char *name : {"a.mp3", "b.mp3"})
        tree.Add(QString::fromLatin1(name));
    QTimer::singleShot(0, dialog.get(), [this] {
        messages.SetConfirmationAnswer(mrNo);
        dialog->reject(); // the close box during the walk asks the same question
        messages.SetConfirmationAnswer(mrYes);
    });
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_EQ(messages.Texts(TMessageKind::Confirmation).size(), 2);
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 2 files successfully!")});
}

TEST_F(ImportDialogTest, FailuresAreNamedAndCountedApartFromTheImportedFiles)
{
    tree.Add(QStringLiteral("a.mp3"));
    const QString tooLong = tree.Add(QString(97, QLatin1Char('b')) + QStringLiteral(".mp3"));
    tree.Add(QStringLiteral("c.mp3"));
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_EQ(messages.Texts(TMessageKind::Error),
              QStringList{QStringLiteral("There was an error inserting the song \"") + tooLong +
                          QStringLiteral("\".")});
    EXPECT_EQ(Status(), QStringLiteral("Imported 2 files, 1 failed"));
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 2 files successfully!\r1 files could not be "
                                         "imported.\r\rCannot insert \"") +
                          tooLong +
                          QStringLiteral("\": its name is longer than the library holds (255 "
                                         "characters of folder, 100 of file name)")});
    // The error box came before the closing message.
    EXPECT_EQ(messages.Shown().last().first, TMessageKind::Information);
    EXPECT_EQ(StoredFiles(library).size(), 2);
}

TEST_F(ImportDialogTest, FilesWithoutAudioAreNamedWithTheirReasonsInTheClosingMessageOnly)
{
    tree.Add(QStringLiteral("a.mp3"));
    WriteAll(tree.Path(QStringLiteral("b notes.mp3")), QByteArray(4000, 'x'));
    WriteAll(tree.Path(QStringLiteral("c empty.mp3")), QByteArray());
    tree.Add(QStringLiteral("d.mp3"));
    dialog->show();
    dialog->dlbFolder->SetDirectory(tree.Root());
    QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    // No box per file: one closing message names each with its reason.
    EXPECT_TRUE(messages.Texts(TMessageKind::Error).isEmpty())
        << messages.Texts().join('|').toStdString();
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 2 files successfully!\r2 files could not be "
                                         "imported.\r\rCannot insert \"") +
                          tree.Path(QStringLiteral("b notes.mp3")) +
                          QStringLiteral("\": it is not an MP3 file (no MPEG audio found)\rCannot "
                                         "insert \"") +
                          tree.Path(QStringLiteral("c empty.mp3")) +
                          QStringLiteral("\": the file is empty")});
    EXPECT_EQ(Status(), QStringLiteral("Imported 2 files, 2 failed"));
    EXPECT_EQ(StoredFiles(library).size(), 2);
}

// The real collection: every file it refuses is named in the one closing message.
TEST_F(ImportDialogTest, TheCorpusEndsInOneMessageNamingEveryRefusedFile)
{
    const QString corpus = CorpusFolder();
    if (corpus.isEmpty())
        GTEST_SKIP() << CorpusMissing();
    dialog->show();
    dialog->dlbFolder->SetDirectory(QDir::cleanPath(corpus));
    QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    EXPECT_TRUE(messages.Texts(TMessageKind::Error).isEmpty())
        << messages.Texts(TMessageKind::Error).size() << " error boxes";
    const QStringList closing = messages.Texts(TMessageKind::Information);
    ASSERT_EQ(closing.size(), 1);
    const QStringList lines = closing[0].split(QLatin1Char('\r'));
    const int failed = lines[1].section(QLatin1Char(' '), 0, 0).toInt();
    EXPECT_GT(failed, 0);
    // The counts, a blank line, then one line per refused file with its reason.
    EXPECT_EQ(lines.size(), 3 + failed) << closing[0].toStdString();
    for (const QString &line : lines.mid(3))
        EXPECT_TRUE(line.startsWith(QStringLiteral("Cannot insert \"") + QDir::cleanPath(corpus)))
            << line.toStdString();
}

TEST(LongMessage, AMessageOfManyLinesScrollsInItsBox)
{
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines << QStringLiteral("Cannot insert \"/music/%1.mp3\": the file is empty").arg(i);
    const QString text = QStringLiteral("Imported 0 files successfully!\r\r") + lines.join('\r');
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget *box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        auto *shown = box->findChild<QPlainTextEdit *>(QStringLiteral("MessageText"));
        ASSERT_NE(shown, nullptr);
        seen = true;
        EXPECT_EQ(shown->toPlainText().count(QLatin1Char('\n')), 301);
        EXPECT_TRUE(shown->isReadOnly());
        // Taller than the screen as text, so it scrolls; the box itself stays small.
        EXPECT_GT(shown->verticalScrollBar()->maximum(), 0);
        EXPECT_LT(box->height(), 600);
        Screenshot(*box, QStringLiteral("import-closing-message"));
        QPushButton *ok = box->findChild<QPushButton *>();
        ASSERT_NE(ok, nullptr);
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    EXPECT_EQ(MessageService::Show(TMessageKind::Information, text), int(mrOk));
    EXPECT_TRUE(seen);
}

TEST(ImportDialogFullDisk, OneMessageAndTheImportStops)
{
    SmallVolume volume(400);
    if (!volume.Available())
        GTEST_SKIP() << volume.Reason().toStdString();
    TestLibrary library;
    MusicTree tree;
    for (int i = 0; i < 2000; ++i)
        tree.Add(QStringLiteral("a fairly long folder name for every song/song %1.mp3")
                     .arg(i, 4, 10, QLatin1Char('0')));
    CreateLibrary(volume.Folder() + QStringLiteral("quillmeredb.mdb"));
    SetProgramDirectoryOverride(volume.Folder());
    ScriptedMessages messages;
    TMainWindowPtr window = StartMainWindow();
    TfrmImportSongs dialog(&window->QuillmereDB);
    ShowChangesIn(window.get(), &dialog);
    dialog.show();
    dialog.dlbFolder->SetDirectory(tree.Root());
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    const QStringList errors = messages.Texts(TMessageKind::Error);
    ASSERT_EQ(errors.size(), 1) << errors.join('|').left(2000).toStdString();
    EXPECT_TRUE(errors[0].contains(QStringLiteral("no room left")));
    EXPECT_TRUE(messages.Texts(TMessageKind::Information).isEmpty());
    // What was stored is shown.
    EXPECT_GT(window->tblSongs->RecordCount(), 0);
    EXPECT_EQ(dialog.result(), int(mrOk));
    window.reset();
}

TEST_F(ImportDialogTest, UnreadableFoldersAreSummedUpAtTheEnd)
{
    tree.Add(QStringLiteral("a.mp3"));
    // A link to a folder that is not there is skipped, but the start folder itself can vanish.
    const QString vanished = tree.Path(QStringLiteral("vanished"));
    tree.AddFolder(QStringLiteral("vanished"));
    dialog->dlbFolder->SetDirectory(vanished);
    QDir(vanished).removeRecursively();
    dialog->btnOKClick();
    EXPECT_TRUE(messages.Texts(TMessageKind::Warning).isEmpty());
    const QStringList closing = messages.Texts(TMessageKind::Information);
    ASSERT_EQ(closing.size(), 1);
    EXPECT_TRUE(closing[0].startsWith(QStringLiteral("Imported 0 files successfully!\r\rCannot "
                                                     "read folder \"") +
                                      vanished))
        << closing[0].toStdString();
    EXPECT_TRUE(dialog->btnOK->isEnabled());
    EXPECT_TRUE(dialog->dlbFolder->isEnabled());
}

TEST_F(ImportDialogTest, AnErrorThatEndsTheImportStillLeavesTheDialogIdle)
{
    tree.Add(QStringLiteral("a.mp3"));
    dialog->dlbFolder->SetDirectory(tree.Root());
    window->QuillmereDB.Close();
    EXPECT_THROW(dialog->btnOKClick(), EError);
    EXPECT_TRUE(dialog->btnOK->isEnabled());
    EXPECT_FALSE(dialog->Importing());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ImportDialogTest, CancelWhileIdleSavesTheDriveAndFolder)
{
    dialog->dlbFolder->SetDirectory(tree.Root());
    dialog->setResult(0);
    dialog->btnCancel->click();
    EXPECT_EQ(dialog->result(), int(mrCancel));
    EXPECT_EQ(Setting("ImportDrive"), QStringLiteral("/"));
    EXPECT_EQ(Setting("ImportPath"), tree.Root());
    EXPECT_EQ(Setting("Imported"), QString());
    EXPECT_TRUE(messages.Shown().isEmpty());
}

TEST_F(ImportDialogTest, CreationRestoresTheStoredFolderOrTheNearestOneAboveIt)
{
    tree.AddFolder(QStringLiteral("inner"));
    WriteSetting(QuillmereKeyPath, QStringLiteral("ImportDrive"), QStringLiteral("/"), false);
    WriteSetting(QuillmereKeyPath, QStringLiteral("ImportPath"), tree.Path(QStringLiteral("inner")),
                 false);
    TfrmImportSongs restored;
    EXPECT_EQ(restored.dlbFolder->Directory(), tree.Path(QStringLiteral("inner")));

    WriteSetting(QuillmereKeyPath, QStringLiteral("ImportPath"),
                 tree.Path(QStringLiteral("inner/gone/deeper")), false);
    TfrmImportSongs moved;
    EXPECT_EQ(moved.dlbFolder->Directory(), tree.Path(QStringLiteral("inner")));
    EXPECT_TRUE(moved.StatusBar1->currentMessage().contains(QStringLiteral("inner/gone/deeper")));
}

} // namespace
