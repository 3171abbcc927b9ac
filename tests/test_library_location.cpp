#include "base/Errors.h"
#include "data/DataSet.h"
#include "data/LibraryLocation.h"
#include "data/ProgramDirectory.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Where the library lies: beside a portable program, or in the user's own folders.

namespace
{

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
        EXPECT_EQ(e.Message(),
                  QStringLiteral("Cannot create the folder \"%1\" for the library.")
                      .arg(QDir::toNativeSeparators(Path("home/.local/share/Quillmere"))));
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

} // namespace
