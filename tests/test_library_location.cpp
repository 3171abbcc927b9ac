#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/DataSet.h"
#include "data/LibraryLocation.h"
#include "data/LibrarySchema.h"
#include "data/ProgramDirectory.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

// Where the library lies: beside a portable program, or in the user's own folders.

namespace
{

// Entries of a folder as the system lists them, names that are not UTF-8 included.
int EntryCount(const QString &folder)
{
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent *entry = readdir(dir)) {
        if (qstrcmp(entry->d_name, ".") != 0 && qstrcmp(entry->d_name, "..") != 0)
            ++count;
    }
    closedir(dir);
    return count;
}

// Everything under a folder, relative to it.
QStringList Tree(const QString &folder)
{
    QStringList paths;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << QDir(folder).relativeFilePath(it.next());
    paths.sort();
    return paths;
}

class LibraryLocationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(Path("prefix/bin")));
        folders.Program = Path("prefix/bin/");
        folders.UserData = Path("home/.local/share/Quillmere/");
        folders.UserCache = Path("home/.cache/Quillmere/");
        folders.Shared = Path("prefix/share/quillmere/");
    }

    QString Path(const QString &relative) const { return root.filePath(relative); }

    QTemporaryDir root;
    TLocationFolders folders;
};

TEST_F(LibraryLocationTest, WritableProgramFolderKeepsEverythingBesideTheProgram)
{
    const TLibraryLocation location = ChooseLibraryLocation(folders);
    EXPECT_TRUE(location.Portable);
    EXPECT_EQ(location.LibraryFile, Path("prefix/bin/quillmeredb.mdb"));
    EXPECT_EQ(location.TemporaryPlaylist, Path("prefix/bin/qmtemp.pls"));
    EXPECT_EQ(location.ReleaseNotes, Path("prefix/bin/Release Notes.htm"));
    EXPECT_EQ(location.ConnectionString(), TConnection::BuildConnectionString(folders.Program));
    // A portable library is never created: a missing one is reported when it is opened.
    PrepareLibrary(location);
    EXPECT_EQ(PrepareTemporaryPlaylist(location), location.TemporaryPlaylist);
    EXPECT_EQ(Tree(root.path()), QStringList({"prefix", "prefix/bin"}));
}

TEST_F(LibraryLocationTest, LibraryInAReadOnlyProgramFolderIsStillUsed)
{
    folders.ProgramWritable = false;
    WriteAll(Path("prefix/bin/quillmeredb.mdb"), {});
    const TLibraryLocation location = ChooseLibraryLocation(folders);
    EXPECT_TRUE(location.Portable);
    EXPECT_EQ(location.LibraryFile, Path("prefix/bin/quillmeredb.mdb"));
    EXPECT_EQ(location.TemporaryPlaylist, Path("prefix/bin/qmtemp.pls"));
}

TEST_F(LibraryLocationTest, InstalledLayoutUsesTheUsersLibraryEvenWhenItsOwnerCanWriteIt)
{
    // A prefix the user owns (~/.local), or any prefix when run as root.
    ASSERT_TRUE(QDir().mkpath(Path("prefix/share/quillmere")));
    SetProgramDirectoryOverride(folders.Program);
    const TLocationFolders standard = StandardFolders();
    SetProgramDirectoryOverride(QString());
    EXPECT_TRUE(standard.ProgramWritable);
    EXPECT_TRUE(standard.Installed);
    folders.Installed = standard.Installed;
    const TLibraryLocation location = ChooseLibraryLocation(folders);
    EXPECT_FALSE(location.Portable);
    EXPECT_EQ(location.LibraryFile, Path("home/.local/share/Quillmere/quillmeredb.mdb"));
    EXPECT_EQ(location.ReleaseNotes, Path("prefix/share/quillmere/Release Notes.htm"));

    // A library already beside the program keeps it portable.
    WriteAll(Path("prefix/bin/quillmeredb.mdb"), {});
    EXPECT_TRUE(ChooseLibraryLocation(folders).Portable);

    // Without share/quillmere above it, a writable folder is a portable copy or a build.
    ASSERT_TRUE(QFile::remove(Path("prefix/bin/quillmeredb.mdb")));
    ASSERT_TRUE(QDir(Path("prefix/share")).removeRecursively());
    SetProgramDirectoryOverride(folders.Program);
    EXPECT_FALSE(StandardFolders().Installed);
    SetProgramDirectoryOverride(QString());
}

TEST_F(LibraryLocationTest, InstalledProgramCreatesTheUsersLibraryOnceWithTheSchema)
{
    folders.ProgramWritable = false;
    const TLibraryLocation location = ChooseLibraryLocation(folders);
    EXPECT_FALSE(location.Portable);
    EXPECT_EQ(location.LibraryFile, Path("home/.local/share/Quillmere/quillmeredb.mdb"));
    EXPECT_EQ(location.TemporaryPlaylist, Path("home/.cache/Quillmere/qmtemp.pls"));
    EXPECT_EQ(location.ReleaseNotes, Path("prefix/share/quillmere/Release Notes.htm"));
    EXPECT_EQ(TConnection::DataSourceOf(location.ConnectionString()), location.LibraryFile);

    PrepareLibrary(location);
    {
        TConnection connection;
        connection.ConnectionString = location.ConnectionString();
        connection.Open();
        TDataSet tables(&connection);
        tables.SetCommandText(QStringLiteral("SELECT name FROM sqlite_master WHERE name IN "
                                             "('Playlist_DB', 'Playlists', 'Playlist_Songs', "
                                             "'row_id') ORDER BY name"));
        tables.Open();
        ASSERT_EQ(tables.RecordCount(), 4);
        connection.Execute(QStringLiteral("INSERT INTO Playlists(Name) VALUES('kept')"));
    }
    // The next start opens the same library and never replaces it.
    PrepareLibrary(ChooseLibraryLocation(folders));
    TConnection again;
    again.ConnectionString = location.ConnectionString();
    again.Open();
    TDataSet names(&again);
    names.SetCommandText(QStringLiteral("SELECT Name FROM Playlists"));
    names.Open();
    ASSERT_EQ(names.RecordCount(), 1);
    EXPECT_EQ(names.Value(0, 0).toString(), QStringLiteral("kept"));

    EXPECT_EQ(PrepareTemporaryPlaylist(location), location.TemporaryPlaylist);
    EXPECT_TRUE(QFileInfo(Path("home/.cache/Quillmere")).isDir());
    EXPECT_FALSE(QFile::exists(location.TemporaryPlaylist));
    EXPECT_EQ(Tree(Path("prefix")), QStringList({"bin"}));
}

TEST_F(LibraryLocationTest, FolderThatCannotBeCreatedIsNamedAndNothingIsWritten)
{
    // A file where the home folder should be: no one can create folders below it.
    WriteAll(Path("home"), "not a folder");
    folders.ProgramWritable = false;
    const TLibraryLocation location = ChooseLibraryLocation(folders);
    const QStringList before = Tree(root.path());
    try {
        PrepareLibrary(location);
        FAIL() << "the library was prepared below a file";
    } catch (const EError &e) {
        // The system's reason: a file stands where a folder is needed.
        EXPECT_EQ(e.Message(),
                  QStringLiteral("Cannot create the folder \"%1\" for the library: %2.")
                      .arg(QDir::toNativeSeparators(Path("home/.local/share/Quillmere")),
                           FileErrorText(ENOTDIR)));
    }
    try {
        PrepareTemporaryPlaylist(location);
        FAIL() << "the cache folder was made below a file";
    } catch (const EError &e) {
        EXPECT_TRUE(e.Message().contains(Path("home/.cache/Quillmere"))) << e.what();
    }
    EXPECT_EQ(Tree(root.path()), before);

    folders.UserData.clear();
    folders.UserCache.clear();
    const TLibraryLocation homeless = ChooseLibraryLocation(folders);
    EXPECT_THROW(PrepareLibrary(homeless), EError);
    EXPECT_THROW(PrepareTemporaryPlaylist(homeless), EError);
    EXPECT_EQ(Tree(root.path()), before);
}

TEST(StandardFolders, InstalledDataLiesBesideTheProgramsFolderAndTheUsersUnderTheirOwn)
{
    SetProgramDirectoryOverride(QStringLiteral("/opt/quill/bin"));
    const TLocationFolders folders = StandardFolders();
    SetProgramDirectoryOverride(QString());
    EXPECT_EQ(folders.Program, QDir::toNativeSeparators(QStringLiteral("/opt/quill/bin/")));
    EXPECT_EQ(folders.Shared,
              QDir::toNativeSeparators(QStringLiteral("/opt/quill/share/quillmere/")));
    EXPECT_EQ(folders.UserData, QDir::toNativeSeparators(QStandardPaths::writableLocation(
                                                             QStandardPaths::GenericDataLocation) +
                                                         QStringLiteral("/Quillmere/")));
    EXPECT_EQ(folders.UserCache,
              QDir::toNativeSeparators(
                  QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                  QStringLiteral("/Quillmere/")));
}

// The command line's first start and init, as several processes at once meet them.
class LibraryProcesses : public ::testing::Test
{
protected:
    static constexpr int Rounds = 6;
    static constexpr int Processes = 8;

    QList<TRun> Together(const QString &program, const QStringList &args,
                         const QStringList &environment = {},
                         const std::function<void()> &childSetUp = {})
    {
        return RunTogether(program, QList<QStringList>(Processes, args), environment, childSetUp);
    }
    static qint64 Count(const QString &file, const QString &sql)
    {
        TConnection connection;
        connection.SetLibraryAddress(file);
        connection.Open();
        TStatement count(connection, sql);
        return count.Step() ? count.Integer(0) : -1;
    }
    // A library as the first layout left it.
    static void FirstLayoutLibrary(const QString &file)
    {
        QFile schema(QStringLiteral(QUILLMERE_LIBRARY_V0));
        ASSERT_TRUE(schema.open(QIODevice::ReadOnly));
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
        const QByteArray sql = "PRAGMA journal_mode = WAL;" + schema.readAll() +
                               "INSERT INTO Playlist_DB(Path, Filename) VALUES('/m/', 'a.mp3');";
        EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_close(db);
    }

    QTemporaryDir work;
};

TEST_F(LibraryProcesses, FirstStartsTogetherEndOnOneGoodLibraryAndAllSucceed)
{
    // An installed program: its folder is not the user's to write.
    QTemporaryDir programs;
    const TOtherUser user = OtherUser(QStringLiteral(QUILLMERE_LIB_BINARY), programs.path());
    if (!user.Missing.isEmpty())
        GTEST_SKIP() << user.Missing.toStdString();
    if (!user.Root) {
        ASSERT_EQ(chmod(QFile::encodeName(programs.path()).constData(), 0555), 0);
    }
    OpenToEveryone(work.path(), true);
    for (int round = 1; round <= Rounds; ++round) {
        const QString home = work.filePath(QStringLiteral("home%1").arg(round));
        ASSERT_TRUE(QDir().mkpath(home));
        OpenToEveryone(home, true);
        for (const TRun &run : Together(user.Program, {QStringLiteral("playlists")},
                                        {QStringLiteral("HOME=") + home,
                                         QStringLiteral("XDG_DATA_HOME=") + home + "/data"},
                                        user.ChildSetUp)) {
            ASSERT_EQ(run.ExitCode, 0) << "round " << round << ": " << run.Err.toStdString();
            ASSERT_EQ(run.Out, QByteArray("PlayList_ID\tName\tDescription\tDate_Created\n"));
        }
        const QString folder = home + QStringLiteral("/data/Quillmere");
        // One library and nothing half made; its journal may stay when the last two close at once.
        QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        files.removeIf([](const QString &name) {
            return name == QLatin1String("quillmeredb.mdb-wal") ||
                   name == QLatin1String("quillmeredb.mdb-shm");
        });
        EXPECT_EQ(files, QStringList{QStringLiteral("quillmeredb.mdb")});
        EXPECT_EQ(Count(folder + QStringLiteral("/quillmeredb.mdb"),
                        QStringLiteral("SELECT count(*) FROM pragma_table_info('Playlist_DB') "
                                       "WHERE name = 'File_Size'")),
                  1);
    }
    chmod(QFile::encodeName(programs.path()).constData(), 0755);
}

TEST_F(LibraryProcesses, InitsOfOneFileTogetherMakeItOnceAndUpgradesTogetherOnce)
{
    const QString program = QStringLiteral(QUILLMERE_LIB_BINARY);
    for (int round = 1; round <= Rounds; ++round) {
        const QString file = work.filePath(QStringLiteral("new%1.mdb").arg(round));
        int created = 0;
        for (const TRun &run : Together(program, {QStringLiteral("init"), file})) {
            if (run.ExitCode == 0) {
                ++created;
            } else {
                EXPECT_TRUE(run.Err.contains("already exists; it is not replaced"))
                    << run.Err.toStdString();
            }
        }
        EXPECT_EQ(created, 1) << "round " << round;
        EXPECT_EQ(Count(file, QStringLiteral("SELECT count(*) FROM Playlists")), 0);

        const QString old = work.filePath(QStringLiteral("old%1.mdb").arg(round));
        FirstLayoutLibrary(old);
        for (const TRun &run :
             Together(program, {QStringLiteral("--library"), old, QStringLiteral("songs")}))
            ASSERT_EQ(run.ExitCode, 0) << "round " << round << ": " << run.Err.toStdString();
        EXPECT_EQ(Count(old, QStringLiteral("PRAGMA user_version")), LibrarySchemaVersion);
        EXPECT_EQ(Count(old, QStringLiteral("SELECT count(*) FROM Playlist_DB WHERE File_Size IS "
                                            "NULL")),
                  1);
    }
    EXPECT_TRUE(QDir(work.path())
                    .entryList({QStringLiteral(".quillmere-*")}, QDir::Hidden | QDir::Files)
                    .isEmpty());
}

// The name given is the file that init makes and that every verb opens: stray bytes are kept,
// and a name that starts like a URI is a file name. A relative XDG_DATA_HOME is ignored.
TEST_F(LibraryProcesses, EveryVerbMeetsTheFileThatInitMade)
{
    const QString program = QStringLiteral(QUILLMERE_LIB_BINARY);
    const auto inWork = [&](const QString &script, const QStringList &environment = {}) {
        QProcess process;
        process.setWorkingDirectory(work.path());
        process.setEnvironment(QProcess::systemEnvironment() + environment);
        process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, program});
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0)
            << script.toStdString() << ": " << process.readAllStandardError().toStdString();
    };
    for (const QString &name :
         {QStringLiteral("$(printf 'lat\\351.mdb')"), QStringLiteral("file:uri.mdb"),
          QStringLiteral("file:odd%20name?mode=ro.mdb")}) {
        inWork(QStringLiteral("\"$0\" --library \"%1\" init && \"$0\" --library \"%1\" playlist "
                              "create Mine && \"$0\" --library \"%1\" playlists | grep -q Mine")
                   .arg(name));
    }
    EXPECT_TRUE(FileStatus(work.filePath(FileNameFromBytes("lat\xe9.mdb"))).IsFile);
    EXPECT_TRUE(FileStatus(work.filePath(QStringLiteral("file:uri.mdb"))).IsFile);
    EXPECT_TRUE(FileStatus(work.filePath(QStringLiteral("file:odd%20name?mode=ro.mdb"))).IsFile);
    EXPECT_EQ(EntryCount(work.path()), 3);
    // Qt cannot remove names that are not UTF-8.
    RemoveFile(work.filePath(FileNameFromBytes("lat\xe9.mdb")));

    // An installed program with XDG_DATA_HOME=relative: the library lies in the home folder.
    QTemporaryDir programs;
    const TOtherUser user = OtherUser(program, programs.path());
    if (!user.Missing.isEmpty())
        GTEST_SKIP() << user.Missing.toStdString();
    if (!user.Root) {
        ASSERT_EQ(chmod(QFile::encodeName(programs.path()).constData(), 0555), 0);
    }
    const QString home = work.filePath(QStringLiteral("home")),
                  elsewhere = work.filePath(QStringLiteral("elsewhere"));
    for (const QString &folder : {home, elsewhere}) {
        ASSERT_TRUE(QDir().mkpath(folder));
        OpenToEveryone(folder, true);
    }
    OpenToEveryone(work.path(), true);
    QProcess process;
    process.setWorkingDirectory(elsewhere);
    process.setEnvironment(
        QProcess::systemEnvironment() +
        QStringList{QStringLiteral("HOME=") + home, QStringLiteral("XDG_DATA_HOME=relative/data")});
    if (user.ChildSetUp)
        process.setChildProcessModifier(user.ChildSetUp);
    process.start(user.Program, {QStringLiteral("init")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(
        FileStatus(home + QStringLiteral("/.local/share/Quillmere/quillmeredb.mdb")).IsFile);
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    chmod(QFile::encodeName(programs.path()).constData(), 0755);
}

} // namespace
