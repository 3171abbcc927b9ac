#include "data/DataSet.h"
#include "data/Database.h"
#include "tests/support/MusicTree.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

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
    // Root writes whatever the permissions say: run as nobody, from a copy of the program that
    // nobody can reach wherever the build lies.
    QTemporaryDir programs;
    const TOtherUser nobody = OtherUser(QStringLiteral(QUILLMERE_LIB_BINARY), programs.path());
    if (!nobody.Missing.isEmpty())
        GTEST_SKIP() << nobody.Missing.toStdString();
    Check(RunTogether(nobody.Program, {import}, {}, nobody.ChildSetUp).first());
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

} // namespace
