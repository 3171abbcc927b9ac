#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/DataSet.h"
#include "data/LibrarySchema.h"
#include "data/PlaylistEntries.h"
#include "data/Playlists.h"
#include "data/ProgramDirectory.h"
#include "data/SelectionSql.h"
#include "data/SongListings.h"
#include "data/SongRow.h"
#include "data/SongRows.h"
#include "data/Table.h"
#include "data/UMP3s.h"
#include "tests/support/TestLibrary.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>

namespace
{

// The entry view as the main window sets it up: entries of one playlist with the song
// fields looked up in the songs table.
struct EntryView {
    TConnection Connection;
    TTable Songs{&Connection};
    TDataSet Entries{&Connection};

    explicit EntryView(const QString &connectionString)
    {
        Connection.ConnectionString = connectionString;
        Connection.Open();
        SetUpSongsTable(Songs);
        Songs.Open();
        SetUpPlaylistEntries(Entries, &Songs);
    }
    void Open(qint64 playlist)
    {
        OpenPlaylistEntries(Entries, int(playlist), QStringLiteral("Sequence"),
                            QStringLiteral("Asc"));
    }
    void Add(qint64 playlist, qint64 song, int sequence)
    {
        Entries.Append();
        Entries.SetFieldValue(QStringLiteral("PlayList_ID"), playlist);
        Entries.SetFieldValue(QStringLiteral("Sequence"), sequence);
        Entries.SetFieldValue(QStringLiteral("Song_ID"), song);
        Entries.Post();
    }
};

// Cases that hold for a library file and for a library on a PostgreSQL server (the address in
// QUILLMERE_TEST_PG: tests/with_postgresql.sh).
class OnEachEngine : public ::testing::TestWithParam<QString>
{
};

INSTANTIATE_TEST_SUITE_P(File, OnEachEngine, ::testing::Values(QString()));
INSTANTIATE_TEST_SUITE_P(Server, OnEachEngine,
                         ::testing::ValuesIn(qEnvironmentVariableIsEmpty("QUILLMERE_TEST_PG")
                                                 ? QStringList()
                                                 : QStringList{
                                                       qEnvironmentVariable("QUILLMERE_TEST_PG")}));

TEST(Connection, MissingOrForeignFileFailsWithoutCreatingAnything)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("quillmeredb.mdb"));
    TConnection connection;
    connection.ConnectionString = QStringLiteral("Data Source=") + missing;
    EXPECT_THROW(connection.Open(), EDatabaseError);
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_FALSE(connection.Connected());

    QFile garbage(missing);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'x'));
    garbage.close();
    try {
        connection.Open();
        FAIL() << "a file that is not a library opened";
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("not a database"))) << e.what();
    }
    EXPECT_EQ(QFile(missing).size(), 4096);
}

TEST(Connection, ConnectionStringNamesTheFileBesideTheProgram)
{
    const QString cs = TConnection::BuildConnectionString(QStringLiteral("/opt/tools/"));
    EXPECT_EQ(TConnection::DataSourceOf(cs), QStringLiteral("/opt/tools/quillmeredb.mdb"));
    SetProgramDirectoryOverride(QStringLiteral("/"));
    EXPECT_EQ(DefaultLibraryFile(), QDir::toNativeSeparators(QStringLiteral("/quillmeredb.mdb")));
    SetProgramDirectoryOverride(QString());
    EXPECT_TRUE(GetProgramDirectory().endsWith(QDir::separator()));
}

// A library as the first layout left it, filled by the given statements.
QString FirstLayoutLibrary(const QTemporaryDir &dir, const QStringList &rows)
{
    QFile schema(QStringLiteral(QUILLMERE_LIBRARY_V0));
    EXPECT_TRUE(schema.open(QIODevice::ReadOnly));
    const QString file = dir.filePath(QStringLiteral("old.mdb"));
    sqlite3 *db = nullptr;
    EXPECT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
    QByteArray sql = "PRAGMA journal_mode = WAL;" + schema.readAll();
    for (const QString &row : rows)
        sql += row.toUtf8() + ';';
    EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    return file;
}

// The Row_IDs a listing shows, top to bottom.
QList<qint64> Listed(TConnection &c, const TSongListing &listing);

qint64 Count(TConnection &c, const QString &sql)
{
    TStatement s(c, sql);
    return s.Step() ? s.Integer(0) : -1;
}

TEST(Upgrade, FirstLayoutIsBroughtUpToDateOnceInOneStep)
{
    QTemporaryDir dir;
    // Tag bytes 0x92 and 0x85 as the first layout stored them: one character per byte.
    const QString file = FirstLayoutLibrary(
        dir, {QStringLiteral("INSERT INTO Playlist_DB(Path, Filename, ID3_Title, ID3_Artist, "
                             "ID3_Album, ID3_Comment) VALUES('/m/', 'a.mp3', 'Don' || char(146) "
                             "|| 't', 'Caf\u00e9', 'Wait' || char(133), char(129, 141))"),
              QStringLiteral("INSERT INTO Playlists(Name) VALUES('Kept')")});
    TConnection c;
    c.SetLibraryAddress(file);
    c.Open();
    EXPECT_TRUE(c.Notes().isEmpty());
    auto row = std::make_unique<TStatement>(
        c, QStringLiteral("SELECT ID3_Title, ID3_Artist, ID3_Album, ID3_Comment, File_Size FROM "
                          "Playlist_DB"));
    ASSERT_TRUE(row->Step());
    auto text = [&](int i) { return row->Text(i); };
    EXPECT_EQ(text(0), QStringLiteral(u"Don\u2019t"));
    EXPECT_EQ(text(1), QStringLiteral(u"Caf\u00e9"));
    EXPECT_EQ(text(2), QStringLiteral(u"Wait\u2026"));
    EXPECT_EQ(text(3), QStringLiteral(u"\u0081\u008D")) << "unassigned bytes keep their characters";
    EXPECT_TRUE(row->IsNull(4));
    row.reset(); // a statement left open would keep the connection from closing
    EXPECT_EQ(Count(c, QStringLiteral("PRAGMA user_version")), LibrarySchemaVersion);
    EXPECT_EQ(Count(c, QStringLiteral("SELECT count(*) FROM Playlists")), 1);
    // One row per file from now on.
    EXPECT_THROW(c.Execute(QStringLiteral("INSERT INTO Playlist_DB(Path, Filename) "
                                          "VALUES('/m/', 'a.mp3')")),
                 EDatabaseError);
    c.Close();
    c.Open();
    TStatement again(c, QStringLiteral("SELECT ID3_Title FROM Playlist_DB"));
    ASSERT_TRUE(again.Step());
    EXPECT_EQ(again.Text(0), QStringLiteral(u"Don\u2019t")) << "the mapping runs once";
}

TEST(Upgrade, SongsListedTwiceAreReportedAndKept)
{
    QTemporaryDir dir;
    const QString twice =
        QStringLiteral("INSERT INTO Playlist_DB(Path, Filename) VALUES('/m/', 'a.mp3')");
    const QString file = FirstLayoutLibrary(dir, {twice, twice, twice});
    for (int open = 0; open < 2; ++open) {
        TConnection c;
        c.SetLibraryAddress(file);
        c.Open();
        ASSERT_EQ(c.Notes().size(), 1);
        EXPECT_TRUE(c.Notes().first().contains(QStringLiteral("2 song files more than once")));
        EXPECT_EQ(Count(c, QStringLiteral("SELECT count(*) FROM Playlist_DB")), 3);
    }
}

TEST(Upgrade, AFailedUpgradeLeavesTheFileAsItWas)
{
    QTemporaryDir dir;
    // A column that is already there makes the step fail half way.
    const QString file = FirstLayoutLibrary(
        dir, {QStringLiteral("INSERT INTO Playlist_DB(Path, Filename, ID3_Title) VALUES('/m/', "
                             "'a.mp3', char(146))"),
              QStringLiteral("ALTER TABLE Playlist_DB ADD COLUMN File_Modified INTEGER")});
    TConnection c;
    c.SetLibraryAddress(file);
    EXPECT_THROW(c.Open(), EDatabaseError);
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT unicode(ID3_Title), (SELECT user_version FROM pragma_user_version) "
                       "FROM Playlist_DB",
                       -1, &s, nullptr);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(s, 0), 146);
    EXPECT_EQ(sqlite3_column_int(s, 1), 0);
    sqlite3_finalize(s);
    sqlite3_close(db);
}

TEST(Upgrade, ALibraryOfTheLayoutBeforeGetsTheSearchIndexOnce)
{
    QTemporaryDir dir;
    QFile schema(QStringLiteral(QUILLMERE_LIBRARY_V1));
    ASSERT_TRUE(schema.open(QIODevice::ReadOnly));
    const QString file = dir.filePath(QStringLiteral("v1.mdb"));
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
    const QByteArray sql = "PRAGMA journal_mode = WAL;" + schema.readAll() +
                           "INSERT INTO Playlist_DB(Path, Filename, ID3_Title) VALUES('/m/', "
                           "'a.mp3', 'Yesterday'), ('/m/', 'b.mp3', 'Tomorrow');";
    ASSERT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    TConnection c;
    c.SetLibraryAddress(file);
    c.Open();
    EXPECT_EQ(Count(c, QStringLiteral("PRAGMA user_version")), LibrarySchemaVersion);
    EXPECT_EQ(Count(c, QStringLiteral("SELECT count(*) FROM Playlist_Search WHERE "
                                      "Playlist_Search MATCH '\"ESTERD\"'")),
              1);
    EXPECT_EQ(Count(c, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = "
                                      "'Playlist_DB_Title'")),
              1);
    // The triggers keep the index as the songs change.
    c.Execute(QStringLiteral("UPDATE Playlist_DB SET ID3_Title = 'Someday' WHERE Filename = "
                             "'a.mp3'"));
    c.Execute(QStringLiteral("DELETE FROM Playlist_DB WHERE Filename = 'b.mp3'"));
    c.Execute(QStringLiteral("INSERT INTO Playlist_DB(Path, Filename, ID3_Title) VALUES('/m/', "
                             "'c.mp3', 'Tomorrow')"));
    auto found = [&](const char *word) {
        TSongListing listing;
        listing.Search = QLatin1String(word);
        return Listed(c, listing).size();
    };
    EXPECT_EQ(found("yesterday"), 0);
    EXPECT_EQ(found("someday"), 1);
    EXPECT_EQ(found("tomorrow"), 1);
    EXPECT_EQ(Count(c, QStringLiteral("SELECT count(*) FROM Playlist_Search WHERE "
                                      "Playlist_Search MATCH '\"tomorrow\"'")),
              1);
    c.Execute(
        QStringLiteral("INSERT INTO Playlist_Search(Playlist_Search) VALUES('integrity-check')"));
    c.Close();
    c.Open(); // once only
    EXPECT_EQ(Count(c, QStringLiteral("SELECT count(*) FROM Playlist_DB")), 2);
}

TEST(Connection, OtherFilesAreNotQuillmereLibraries)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.mdb"));
    QFile(empty).open(QIODevice::WriteOnly);
    const QString other = dir.filePath(QStringLiteral("other.mdb"));
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(other).constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    for (const QString &file : {empty, other}) {
        TConnection c;
        c.SetLibraryAddress(file);
        try {
            c.Open();
            FAIL() << "opened " << file.toStdString();
        } catch (const EDatabaseError &e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("is not a Quillmere library")))
                << e.what();
        }
        EXPECT_FALSE(c.Connected());
    }
}

TEST(Connection, ALibraryPathMayHoldSemicolons)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("a;b=c; Data Source=x"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/quillmeredb.mdb");
    CreateLibrary(file);
    TConnection c;
    c.SetLibraryAddress(file);
    c.Open();
    EXPECT_EQ(c.LibraryAddress(), file);
    c.Close();
    c.ConnectionString = TConnection::BuildConnectionString(folder + QLatin1Char('/'));
    c.Open();
    EXPECT_EQ(c.LibraryAddress(), file);
}

TEST(Library, InitRefusesToReplaceAFile)
{
    TestLibrary library;
    EXPECT_THROW(CreateLibrary(library.FileName()), EDatabaseError);
    EXPECT_EQ(library.QueryInt(QStringLiteral(
                  "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name = 'row_id'")),
              1);
}

// The program's own listings and playlist operations give what the window shows: criteria once
// each in the library's order (letters' case ignored), genres in numeric order, playlists by
// name and by id, and a deleted playlist's entries gone with it.
TEST_P(OnEachEngine, ListingsAndPlaylistOperationsGiveWhatTheWindowShows)
{
    TestLibrary library(GetParam());
    const qint64 song =
        library.AddSong(QStringLiteral("One"), QStringLiteral("/m/"), QStringLiteral("1.mp3"), 10,
                        17, QStringLiteral("Gamma"), QStringLiteral("Zed"), 1999);
    library.AddSong(QStringLiteral("Two"), QStringLiteral("/m/"), QStringLiteral("2.mp3"), 10, 2,
                    QStringLiteral("beta"), QStringLiteral("zed"), 1990);
    library.AddSong(QStringLiteral("Three"), QStringLiteral("/m/"), QStringLiteral("3.mp3"), 10, 17,
                    QStringLiteral("alpha"), QStringLiteral("Ant"), 2001);
    library.AddSong(QStringLiteral("Four"), QStringLiteral("/m/"), QStringLiteral("4.mp3"), 10, 255,
                    QStringLiteral("ALPHA"), QStringLiteral("ant"), 1980);
    TConnection c;
    c.ConnectionString = library.ConnectionString();
    c.Open();
    const auto folded = [](const QVariantList &values) {
        QStringList texts;
        for (const QVariant &value : values)
            texts << value.toString().toLower();
        return texts;
    };
    EXPECT_EQ(folded(CriteriaValues(c, TCriteriaList::Artists)),
              (QStringList{"alpha", "beta", "gamma"}));
    EXPECT_EQ(folded(CriteriaValues(c, TCriteriaList::Albums)), (QStringList{"ant", "zed"}));
    QList<int> genres;
    for (const QVariant &genre : CriteriaValues(c, TCriteriaList::Genres))
        genres << genre.toInt();
    EXPECT_EQ(genres, (QList<int>{2, 17, 255}));

    const auto titles = [](TDataSet &songs) {
        QStringList shown;
        for (songs.First(); !songs.Eof(); songs.Next())
            shown << songs.AsString(QStringLiteral("ID3_Title"));
        return shown;
    };
    TDataSet all(&c);
    OpenAllSongs(all);
    EXPECT_EQ(titles(all), (QStringList{"Four", "One", "Three", "Two"}));
    TSelectionCriteria criteria;
    criteria.Artists = {QStringLiteral("Alpha")};
    criteria.Sort = QStringLiteral("Year");
    TDataSet selection(&c);
    OpenSelection(selection, criteria);
    EXPECT_EQ(titles(selection), (QStringList{"Four", "Three"}));

    const QDateTime created(QDate(2024, 5, 6), QTime(7, 8, 9));
    const qint64 first = InsertPlaylist(c, QStringLiteral("B list"), QStringLiteral("b"), created);
    const qint64 second = InsertPlaylist(c, QStringLiteral("a list"), QString(), created);
    EXPECT_GT(second, first);
    EXPECT_EQ(LastPlaylistID(c), second);
    UpdatePlaylist(c, first, QStringLiteral("C list"), QStringLiteral("changed"));
    const std::optional<TPlaylistRow> row = LoadPlaylist(c, first);
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->Name, QStringLiteral("C list"));
    EXPECT_EQ(row->Description, QStringLiteral("changed"));
    EXPECT_EQ(row->DateCreated.toDateTime().date(), created.date());
    const auto names = [](TDataSet &playlists) {
        QStringList shown;
        for (playlists.First(); !playlists.Eof(); playlists.Next())
            shown << playlists.AsString(QStringLiteral("Name"));
        return shown;
    };
    TDataSet byName(&c), byId(&c);
    OpenPlaylistsByName(byName);
    EXPECT_EQ(names(byName), (QStringList{"a list", "C list"}));
    OpenPlaylistsById(byId);
    EXPECT_EQ(names(byId), (QStringList{"C list", "a list"}));

    library.AddEntry(first, song, 1);
    library.AddEntry(second, song, 1);
    DeletePlaylist(c, first);
    EXPECT_FALSE(PlaylistExists(c, first));
    EXPECT_FALSE(LoadPlaylist(c, first).has_value());
    EXPECT_TRUE(library.StoredEntries(first).isEmpty());
    EXPECT_EQ(library.StoredEntries(second).size(), 1);
    EXPECT_EQ(LastPlaylistID(c), second);
}

TEST_P(OnEachEngine, NamesAreMatchedWithoutRegardToCase)
{
    TestLibrary library(GetParam());
    library.AddSong(QStringLiteral("Song"), QStringLiteral("/m/"), QStringLiteral("a.mp3"));
    TConnection c;
    c.ConnectionString = library.ConnectionString();
    c.Open();
    TDataSet q(&c);
    q.SetCommandText(QStringLiteral("select * from playlist_db"));
    q.Open();
    EXPECT_EQ(q.AsString(QStringLiteral("Filename")), QStringLiteral("a.mp3"));
    EXPECT_EQ(q.AsString(QStringLiteral("FileName")), QStringLiteral("a.mp3"));
    EXPECT_EQ(q.AsString(QStringLiteral("filename")), QStringLiteral("a.mp3"));
    EXPECT_THROW(q.FieldValue(QStringLiteral("NoSuchField")), EDatabaseError);
}

TEST_P(OnEachEngine, EveryByteOfATagTextSurvivesTheLibrary)
{
    TestLibrary library(GetParam());
    QByteArray bytes;
    for (int b = 1; b < 256; ++b)
        bytes.append(char(b));
    TParams p;
    p.SetValue(QStringLiteral("t"), QString::fromLatin1(bytes.left(30)), TFieldType::Text);
    library.AddSong(QString::fromLatin1(bytes.mid(200, 30)));
    TConnection c;
    c.ConnectionString = library.ConnectionString();
    c.Open();
    TDataSet q(&c);
    q.SetCommandText(QStringLiteral("SELECT ID3_Title FROM Playlist_DB"));
    q.Open();
    EXPECT_EQ(q.AsString(QStringLiteral("ID3_Title")).toLatin1(), bytes.mid(200, 30));
}

TEST_P(OnEachEngine, SchemaGuardsTheData)
{
    TestLibrary library(GetParam());
    // Widths: a path or file name too long for its column is refused.
    EXPECT_THROW(library.AddSong(QStringLiteral("t"), QString(256, QLatin1Char('p'))),
                 EDatabaseError);
    EXPECT_THROW(library.AddSong(QStringLiteral("t"), QStringLiteral("/m/"), QString(101, 'f')),
                 EDatabaseError);
    // A deleted playlist's number is not given out again, and its entries go with it.
    const qint64 first = library.AddPlaylist(QStringLiteral("A"));
    const qint64 song = library.AddSong(QStringLiteral("s"));
    library.AddEntry(first, song, 1);
    TParams id;
    id.SetValue(QStringLiteral("playlistid"), first, TFieldType::Integer);
    library.Exec(QStringLiteral("DELETE FROM Playlists WHERE PlayList_ID = :playlistid"), id);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_Songs")), 0);
    EXPECT_GT(library.AddPlaylist(QStringLiteral("B")), first);
    // File names compare exactly, tag texts without regard to case.
    library.AddSong(QStringLiteral("Hello"), QStringLiteral("/m/"), QStringLiteral("A.mp3"));
    EXPECT_EQ(library.QueryInt(
                  QStringLiteral("SELECT count(*) FROM Playlist_DB WHERE Filename = 'a.mp3'")),
              0);
    EXPECT_EQ(library.QueryInt(
                  QStringLiteral("SELECT count(*) FROM Playlist_DB WHERE ID3_Title = 'HELLO'")),
              1);
}

TEST_P(OnEachEngine, DataSetWalksLocatesAndBookmarks)
{
    TestLibrary library(GetParam());
    for (const char *t : {"b", "a", "c"})
        library.AddSong(QString::fromLatin1(t));
    TConnection c;
    c.ConnectionString = library.ConnectionString();
    c.Open();
    TDataSet q(&c);
    int scrolls = 0;
    QObject::connect(&q, &TDataSet::AfterScroll, [&] { ++scrolls; });
    q.SetSQL({QStringLiteral("SELECT * FROM Playlist_DB"), QStringLiteral("ORDER BY ID3_Title")});
    EXPECT_EQ(q.CommandText(),
              QStringLiteral("SELECT * FROM Playlist_DB\r\nORDER BY ID3_Title\r\n"));
    q.Open();
    QStringList seen;
    for (q.First(); !q.Eof(); q.Next())
        seen << q.AsString(QStringLiteral("ID3_Title"));
    EXPECT_EQ(seen, QStringList({"a", "b", "c"}));
    EXPECT_EQ(q.RecNo(), 2);
    EXPECT_GT(scrolls, 3);
    q.Prior();
    EXPECT_EQ(q.AsString(QStringLiteral("ID3_Title")), QStringLiteral("b"));
    const auto mark = q.GetBookmark();
    EXPECT_EQ(q.MoveBy(-5), -1);
    EXPECT_TRUE(q.Bof());
    q.GotoBookmark(mark);
    EXPECT_EQ(q.AsString(QStringLiteral("ID3_Title")), QStringLiteral("b"));
    EXPECT_TRUE(q.Locate(QStringLiteral("id3_title"), QStringLiteral("c")));
    EXPECT_EQ(q.RecNo(), 2);
    EXPECT_FALSE(q.Locate(QStringLiteral("ID3_Title"), QStringLiteral("C")));
    EXPECT_THROW(q.Append(), EDatabaseError); // no update target: read-only
}

TEST_P(OnEachEngine, EntryViewLooksUpSongFieldsAndShowsNothingForAMissingSong)
{
    TestLibrary library(GetParam());
    const qint64 song = library.AddSong(QStringLiteral("Title"), QStringLiteral("/m/"),
                                        QStringLiteral("t.mp3"), 185);
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    library.AddEntry(list, song, 1);
    library.AddEntry(list, 9999, 2);
    EntryView view(library.ConnectionString());
    view.Open(list);
    ASSERT_EQ(view.Entries.RecordCount(), 2);
    EXPECT_EQ(view.Entries.AsString(QStringLiteral("filename")), QStringLiteral("t.mp3"));
    EXPECT_EQ(view.Entries.AsInteger(QStringLiteral("Duration")), 185);
    view.Entries.Next();
    EXPECT_TRUE(view.Entries.IsNull(QStringLiteral("Duration")));
    EXPECT_EQ(view.Entries.AsString(QStringLiteral("Path")), QString());
    // Assigning a looked-up field never reaches the file.
    view.Entries.Edit();
    view.Entries.SetFieldValue(QStringLiteral("ID3_Title"), QStringLiteral("changed"));
    view.Entries.Post();
    view.Entries.UpdateBatch();
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB WHERE "
                                              "ID3_Title = 'changed'")),
              0);
}

TEST_P(OnEachEngine, EntryViewPendingChangesAreCommittedTogetherOrDroppedOnClose)
{
    TestLibrary library(GetParam());
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    for (int i = 1; i <= 3; ++i)
        library.AddEntry(list, 100 + i, i);
    EntryView view(library.ConnectionString());
    view.Open(list);

    // Delete the first, renumber the rest, add one: nothing reaches the file until the commit.
    view.Entries.First();
    view.Entries.Delete();
    for (int row = 0; row < view.Entries.RecordCount(); ++row) {
        view.Entries.SetRecNo(row);
        view.Entries.Edit();
        view.Entries.SetFieldValue(QStringLiteral("Sequence"), row + 1);
        view.Entries.Post();
    }
    view.Add(list, 200, 3);
    using Entries = QList<QPair<qint64, int>>;
    EXPECT_EQ(library.StoredEntries(list), (Entries{{101, 1}, {102, 2}, {103, 3}}));
    view.Entries.UpdateBatch();
    EXPECT_EQ(library.StoredEntries(list), (Entries{{102, 1}, {103, 2}, {200, 3}}));
    EXPECT_FALSE(view.Entries.HasPendingChanges());
    EXPECT_GT(view.Entries.AsInteger(QStringLiteral("Row_ID")), 0);

    // Changes not committed are dropped by closing.
    view.Entries.First();
    view.Entries.Delete();
    view.Entries.Close();
    view.Open(list);
    EXPECT_EQ(view.Entries.RecordCount(), 3);
    EXPECT_EQ(library.StoredEntries(list).size(), 3);
}

// Moving entries and inserting songs at a place: the stored numbers run 1 to n in the new order,
// and a failure leaves them as they were.
TEST_P(OnEachEngine, MovedAndInsertedEntriesAreNumberedAtTheirPlace)
{
    TestLibrary library(GetParam());
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    QList<qint64> songs, entries;
    for (int i = 1; i <= 5; ++i) {
        songs << library.AddSong(QStringLiteral("S%1").arg(i));
        entries << library.AddEntry(list, songs.last(), i * 10); // gaps are numbered away too
    }
    TConnection db;
    db.ConnectionString = library.ConnectionString();
    db.Open();
    using Entries = QList<QPair<qint64, int>>;
    const auto order = [&](std::initializer_list<int> songNumbers) {
        Entries expected;
        int sequence = 0;
        for (const int n : songNumbers)
            expected.append({songs[n - 1], ++sequence});
        return expected;
    };
    // Entries 2 and 4 dropped before entry 1; then entry 1 to the end; then an unknown key passed
    // over.
    EXPECT_EQ(MovePlaylistEntryRows(db, int(list), {entries[3], entries[1]}, 0), 0);
    EXPECT_EQ(library.StoredEntries(list), order({2, 4, 1, 3, 5}));
    EXPECT_EQ(MovePlaylistEntryRows(db, int(list), {entries[0]}, 5), 4);
    EXPECT_EQ(library.StoredEntries(list), order({2, 4, 3, 5, 1}));
    EXPECT_EQ(MovePlaylistEntryRows(db, int(list), {entries[1], 999999}, 99), 4);
    EXPECT_EQ(library.StoredEntries(list), order({4, 3, 5, 1, 2}));

    // Songs inserted before the third entry, in the order given.
    EXPECT_EQ(InsertPlaylistEntries(db, int(list), {songs[0], songs[0]}, 2), 2);
    EXPECT_EQ(library.StoredEntries(list), order({4, 3, 1, 1, 5, 1, 2}));
    // A song the library lacks: nothing is inserted and nothing renumbered.
    EXPECT_THROW(InsertPlaylistEntries(db, int(list), {songs[1], 999999}, 0), EDatabaseError);
    EXPECT_EQ(library.StoredEntries(list), order({4, 3, 1, 1, 5, 1, 2}));
}

TEST_P(OnEachEngine, EntryViewRefusesNumbersOutsideTheirRange)
{
    TestLibrary library(GetParam());
    EntryView view(library.ConnectionString());
    view.Open(1);
    EXPECT_THROW(view.Add(-1, 5, 1), EDatabaseError);
    EXPECT_THROW(view.Add(65536, 5, 1), EDatabaseError);
    EXPECT_EQ(view.Entries.State(), TDataSet::TState::Browse);
    EXPECT_EQ(view.Entries.RecordCount(), 0);
    EXPECT_FALSE(view.Entries.HasPendingChanges());
    view.Add(65535, 5, 65535);
    view.Entries.UpdateBatch();
    EXPECT_EQ(library.StoredEntries(65535).size(), 1);
}

TEST(EntryView, AFailedCommitKeepsTheChangesAndStoresNothing)
{
    TestLibrary library;
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    EntryView view(library.ConnectionString());
    view.Open(list);
    view.Add(list, 1, 1);
    library.Exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Playlist_Songs "
                                "WHEN NEW.Song_ID = 2 BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    view.Add(list, 2, 2);
    EXPECT_THROW(view.Entries.UpdateBatch(), EDatabaseError);
    EXPECT_TRUE(library.StoredEntries(list).isEmpty());
    EXPECT_TRUE(view.Entries.HasPendingChanges());
}

// New rows written before a later change of the batch is refused: they get no key that the
// library never kept, and the next commit stores each of them once.
TEST_P(OnEachEngine, NewRowsOfARefusedBatchKeepNoKeyAndAreStoredOnceLater)
{
    TestLibrary library(GetParam());
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    library.AddEntry(list, 5, 1);
    EntryView view(library.ConnectionString());
    view.Open(list);
    if (GetParam().isEmpty())
        library.Exec(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON Playlist_Songs WHEN "
                                    "NEW.Song_ID = 2 BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    else
        library.Exec(QStringLiteral(
            "ALTER TABLE Playlist_Songs ADD CONSTRAINT refuse CHECK (Song_ID <> 2)"));
    view.Add(list, 1, 2);
    view.Add(list, 3, 3);
    view.Entries.First();
    view.Entries.Edit();
    view.Entries.SetFieldValue(QStringLiteral("Song_ID"), 2);
    view.Entries.Post();
    using Entries = QList<QPair<qint64, int>>;
    EXPECT_THROW(view.Entries.UpdateBatch(), EDatabaseError);
    EXPECT_EQ(library.StoredEntries(list), (Entries{{5, 1}}));
    ASSERT_EQ(view.Entries.RecordCount(), 3);
    for (int row = 1; row < 3; ++row) {
        view.Entries.SetRecNo(row);
        EXPECT_TRUE(view.Entries.IsNull(QStringLiteral("Row_ID"))) << "row " << row;
    }

    library.Exec(GetParam().isEmpty()
                     ? QStringLiteral("DROP TRIGGER refuse")
                     : QStringLiteral("ALTER TABLE Playlist_Songs DROP CONSTRAINT refuse"));
    view.Entries.UpdateBatch();
    EXPECT_EQ(library.StoredEntries(list), (Entries{{2, 1}, {1, 2}, {3, 3}}));
    QSet<qint64> keys;
    for (int row = 0; row < 3; ++row) {
        view.Entries.SetRecNo(row);
        keys << view.Entries.AsInteger(QStringLiteral("Row_ID"));
    }
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_Songs WHERE Row_ID "
                                              "IN (%1, %2, %3)")
                                   .arg(keys.values().value(0))
                                   .arg(keys.values().value(1))
                                   .arg(keys.values().value(2))),
              3);
}

TEST_P(OnEachEngine, EntriesShowTheirSongsAtOnceAndAStoredFieldFollows)
{
    TestLibrary library(GetParam());
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    EntryView view(library.ConnectionString());
    // A song imported after the songs table was opened: its entry joins it all the same.
    const qint64 song = library.AddSong(QStringLiteral("late"));
    library.AddEntry(list, song, 1);
    view.Open(list);
    EXPECT_EQ(view.Entries.AsString(QStringLiteral("ID3_Title")), QStringLiteral("late"));
    int changes = 0;
    QObject::connect(&view.Entries, &TDataSet::RowChanged, [&] { ++changes; });
    view.Songs.UpdateValue(song, QStringLiteral("Duration"), 215);
    EXPECT_EQ(view.Entries.AsInteger(QStringLiteral("Duration")), 215);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT Duration FROM Playlist_DB")), 215);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(view.Entries.HasPendingChanges());
    // A new entry shows its song's fields before it is stored.
    const qint64 other = library.AddSong(QStringLiteral("other"), QStringLiteral("/o/"));
    AppendEntry(view.Entries, int(list), 2, other);
    EXPECT_EQ(view.Entries.AsString(QStringLiteral("Path")), QStringLiteral("/o/"));
    view.Entries.UpdateBatch();
    EXPECT_EQ(library.StoredEntries(list).size(), 2);
}

// Songs whose texts cover several scripts, Windows-1252 punctuation, pattern characters and
// file names with stray bytes.
QList<qint64> AddVariedSongs(TestLibrary &library)
{
    const QString stray = FileNameFromBytes(QByteArray("caf\xe9 \xff-mix.mp3"));
    const QStringList titles = {
        QStringLiteral("Hello World"),
        QStringLiteral("HELLO again"),
        QStringLiteral(u"\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440"),
        QStringLiteral(u"\u043f\u0440\u0438\u0432\u0435\u0442"),
        QStringLiteral(u"\u6771\u4eac\u30bf\u30ef\u30fc"),
        QStringLiteral(u"Don\u2019t Stop \u2013 Live\u2026"),
        QStringLiteral(u"\u201cQuoted\u201d \u20ac5"),
        QStringLiteral(u"\u0393\u03b5\u03b9\u03ac \u03c3\u03bf\u03c5"),
        QStringLiteral("100% pure_love"),
        QStringLiteral("1000 pure love"),
        QStringLiteral(u"Caf\u00e9 CAF\u00c9"),
        QStringLiteral("a\\b \"quoted\""),
    };
    QList<qint64> ids;
    int n = 0;
    for (const QString &title : titles) {
        ++n;
        ids << library.AddSong(title, QStringLiteral("/m/%1/").arg(n),
                               n == 3 ? stray : QStringLiteral("f%1.mp3").arg(n), n, 1,
                               n % 2 ? QStringLiteral("Artist Wörld") : QStringLiteral("Band"),
                               n % 3 ? QStringLiteral("Album") : QStringLiteral(u"\u00c1lbum"),
                               2000, n, n == 4 ? QStringLiteral("live") : QString());
    }
    return ids;
}

// Every word in one of the searched texts, the case of ASCII letters ignored.
QList<qint64> ReferenceSearch(TConnection &c, const QString &text)
{
    auto fold = [](QString s) {
        for (QChar &ch : s) {
            if (ch >= u'A' && ch <= u'Z')
                ch = QChar(ch.unicode() + 32);
        }
        return s;
    };
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QList<qint64> found;
    TStatement all(c, QStringLiteral("SELECT Row_ID, ID3_Title, ID3_Artist, ID3_Album, "
                                     "ID3_Comment, Filename FROM Playlist_DB ORDER BY Row_ID"));
    while (all.Step()) {
        bool every = true;
        for (const QString &word : words) {
            bool any = false;
            for (int column = 1; column <= 5; ++column)
                any = any || fold(all.Text(column)).contains(fold(word));
            every = every && any;
        }
        if (every)
            found << all.Integer(0);
    }
    return found;
}

QList<qint64> Listed(TConnection &c, const TSongListing &listing)
{
    TDataSet songs(&c);
    OpenSongListing(songs, listing);
    QList<qint64> ids;
    for (songs.First(); !songs.Eof(); songs.Next())
        ids << songs.AsInteger(QStringLiteral("Row_ID"));
    return ids;
}

TEST_P(OnEachEngine, SearchFindsWhatAPlainScanFinds)
{
    TestLibrary library(GetParam());
    AddVariedSongs(library);
    TConnection c;
    c.ConnectionString = library.ConnectionString();
    c.Open();
    const QString stray = FileNameFromBytes(QByteArray("\xe9 \xff"));
    const QStringList searches = {
        QStringLiteral("hello"),
        QStringLiteral("WORLD hello"),
        QStringLiteral("lo"),
        QStringLiteral("o"),
        QStringLiteral(u"\u043f\u0440\u0438\u0432\u0435\u0442"),
        QStringLiteral(u"\u041f\u0420\u0418"),
        QStringLiteral(u"\u6771\u4eac"),
        QStringLiteral(u"\u30bf\u30ef\u30fc"),
        QStringLiteral(u"don\u2019t live\u2026"),
        QStringLiteral(u"\u201cquoted\u201d"),
        QStringLiteral(u"\u20ac5"),
        QStringLiteral(u"\u03b3\u03b5\u03b9"),
        QStringLiteral("100%"),
        QStringLiteral("%"),
        QStringLiteral("pure_love"),
        QStringLiteral("_"),
        QStringLiteral(u"caf\u00e9"),
        QStringLiteral(u"CAF\u00c9"),
        QStringLiteral(u"w\u00f6rld"),
        QStringLiteral(u"\u00e1lbum"),
        QStringLiteral("a\\b"),
        QStringLiteral("\"quoted\""),
        QStringLiteral("f1"),
        QStringLiteral(".mp3 band"),
        QStringLiteral("live"),
        QStringLiteral("nothing-like-this"),
        stray.section(u' ', 0, 0),
        QStringLiteral("caf") + stray.section(u' ', 0, 0),
        stray.section(u' ', 1, 1) + QStringLiteral("-mi"),
    };
    for (const QString &search : searches) {
        const QList<qint64> expected = ReferenceSearch(c, search);
        TSongListing listing;
        listing.Search = search;
        listing.SortField = QStringLiteral("Row_ID");
        EXPECT_EQ(Listed(c, listing), expected) << search.toStdString();
        listing.UseSearchIndex = false;
        EXPECT_EQ(Listed(c, listing), expected) << search.toStdString() << " without the index";
    }
    EXPECT_FALSE(ReferenceSearch(c, QStringLiteral("hello")).isEmpty());
    EXPECT_EQ(ReferenceSearch(c, stray.section(u' ', 1, 1) + QStringLiteral("-mi")).size(), 1);
    // Together with a selection's statement.
    TSelectionCriteria band;
    band.Artists << QStringLiteral("Band");
    band.Sort = QStringLiteral("Title");
    TSongListing listing;
    listing.Criteria = band;
    listing.Search = QStringLiteral("e");
    QStringList titles;
    TDataSet songs(&c);
    OpenSongListing(songs, listing);
    for (songs.First(); !songs.Eof(); songs.Next()) {
        EXPECT_EQ(songs.AsString(QStringLiteral("ID3_Artist")), QStringLiteral("Band"));
        titles << songs.AsString(QStringLiteral("ID3_Title"));
    }
    EXPECT_EQ(titles.size(), 5);
    EXPECT_TRUE(
        std::is_sorted(titles.begin(), titles.end(), [](const QString &a, const QString &b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        }));
}

// Every song by title as the window first lists them: rows with the same title come by Row_ID,
// and a page far down is sought from the keys of a row read before, not counted through.
TEST_P(OnEachEngine, OnDemandRowsAlikeInTheirOrderComeByTheTieBreaker)
{
    TestLibrary library(GetParam());
    TConnection c;
    c.ConnectionString = library.ConnectionString();
    c.Open();
    library.Exec(QStringLiteral(
        "INSERT INTO Playlist_DB(Path, Filename, ID3_Title) SELECT '/m/', x || '.mp3', "
        "CASE WHEN x % 9 = 0 THEN NULL ELSE 'Song ' || (x * 7 % 5) END FROM (WITH RECURSIVE "
        "n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 1000) SELECT x FROM n) AS n"));
    TDataSet whole(&c), onDemand(&c);
    whole.SetSQL({QStringLiteral("SELECT * FROM Playlist_DB"),
                  QStringLiteral("ORDER BY ID3_Title, Row_ID")});
    whole.Open();
    onDemand.SetOnDemand(true);
    onDemand.SetTieBreaker(QStringLiteral("Row_ID"));
    OpenAllSongs(onDemand);
    EXPECT_EQ(onDemand.CommandText(), QStringLiteral("SELECT * FROM Playlist_DB\r\nORDER BY "
                                                     "ID3_Title\r\n"));
    ASSERT_EQ(onDemand.RecordCount(), 1000);
    const int key = whole.FieldIndex(QStringLiteral("Row_ID"));
    QStringList statements;
    c.OnStatement = [&](const QString &sql) { statements << sql; };
    for (int row : {250, 999, 0, 801, 600, 199, 401, 402, 17})
        EXPECT_EQ(onDemand.Value(row, key), whole.Value(row, key)) << row;
    c.OnStatement = nullptr;
    EXPECT_TRUE(statements.filter(QStringLiteral(":pagekey")).size() >= 3)
        << statements.join(QStringLiteral("\n")).toStdString();
}

TEST_P(OnEachEngine, OnDemandRowsMatchAWholeReadThroughPagesSortsAndChanges)
{
    TestLibrary library(GetParam());
    TConnection c;
    c.ConnectionString = library.ConnectionString();
    c.Open();
    {
        TTransaction many(c);
        TStatement add(c, QStringLiteral("INSERT INTO Playlist_DB(Path, Filename, ID3_Title, "
                                         "ID3_Year) VALUES(:path, :file, :title, :year)"));
        for (int i = 0; i < 2 * TDataSet::PageRows + 50; ++i) {
            add.Reset();
            add.Bind(add.Parameter(QStringLiteral("path")), QStringLiteral("/m/"));
            add.Bind(add.Parameter(QStringLiteral("file")), QStringLiteral("%1.mp3").arg(i));
            add.Bind(add.Parameter(QStringLiteral("title")),
                     QStringLiteral("%1 song").arg(QChar(u'a' + (i * 7) % 26)));
            add.Bind(add.Parameter(QStringLiteral("year")), qint64(1990 + i % 5));
            while (add.Step()) {
            }
        }
        many.Commit();
    }
    for (const char *field : {"ID3_Title", "ID3_Year", "Path", "Filename"}) {
        for (const bool descending : {false, true}) {
            TSongListing listing;
            listing.SortField = QLatin1String(field);
            listing.Descending = descending;
            TDataSet whole(&c), onDemand(&c);
            OpenSongListing(whole, listing);
            QStringList statements;
            c.OnStatement = [&](const QString &sql) { statements << sql; };
            onDemand.SetOnDemand(true);
            OpenSongListing(onDemand, listing);
            // The first page, and a count only once it is asked for.
            EXPECT_EQ(statements.size(), 1);
            ASSERT_EQ(onDemand.RecordCount(), whole.RecordCount());
            EXPECT_EQ(onDemand.RecordCount(), whole.RecordCount());
            EXPECT_EQ(statements.size(), 2);
            c.OnStatement = nullptr;
            const int title = whole.FieldIndex(QStringLiteral("ID3_Title"));
            const int key = whole.FieldIndex(QStringLiteral("Row_ID"));
            // Rows asked for out of order come from their pages.
            for (int row : {449, 0, 250, 199, 200, 401, 17}) {
                EXPECT_EQ(onDemand.Value(row, title), whole.Value(row, title)) << field << row;
                EXPECT_EQ(onDemand.Value(row, key), whole.Value(row, key)) << field << row;
            }
            QList<int> rows;
            for (int row : {3, 4, 5, 198, 199, 200, 201, 449})
                rows << row;
            QList<QVariant> expected;
            for (int row : rows)
                expected << whole.Value(row, key);
            EXPECT_EQ(onDemand.RowValues(rows, QStringLiteral("Row_ID")), expected);
        }
    }
    TDataSet songs(&c);
    songs.SetOnDemand(true);
    TSongListing byTitle;
    byTitle.SortField = QStringLiteral("ID3_Title");
    OpenSongListing(songs, byTitle);
    songs.Last();
    EXPECT_EQ(songs.RecNo(), 2 * TDataSet::PageRows + 49);
    EXPECT_TRUE(songs.Eof());
    songs.MoveBy(-260);
    EXPECT_EQ(songs.RecNo(), 189);
    const auto mark = songs.GetBookmark();
    const QString title = songs.AsString(QStringLiteral("ID3_Title"));
    songs.First();
    songs.GotoBookmark(mark);
    EXPECT_EQ(songs.AsString(QStringLiteral("ID3_Title")), title);
    EXPECT_TRUE(songs.Locate(QStringLiteral("Filename"), QStringLiteral("420.mp3")));
    EXPECT_EQ(songs.AsString(QStringLiteral("Filename")), QStringLiteral("420.mp3"));
    EXPECT_THROW(songs.Append(), EDatabaseError);
    // A value stored elsewhere shows in a kept page and is read again in the others.
    const qint64 key = songs.AsInteger(QStringLiteral("Row_ID"));
    const int row = songs.RecNo();
    TParams p;
    p.SetValue(QStringLiteral("key"), key, TFieldType::Integer);
    c.Execute(QStringLiteral("UPDATE Playlist_DB SET ID3_Year = 1 WHERE Row_ID = :key"), p);
    songs.RefreshRowValues(QStringLiteral("Row_ID"), key, {{QStringLiteral("ID3_Year"), 1}});
    EXPECT_EQ(songs.AsInteger(QStringLiteral("ID3_Year")), 1);
    for (int other = 0; other < songs.RecordCount(); other += 37)
        songs.Value(other, 0); // the row's page goes out of the few kept
    EXPECT_EQ(songs.Value(row, songs.FieldIndex(QStringLiteral("ID3_Year"))).toLongLong(), 1);
}

// Pages read in any order, each sought from the keys of rows read before, are the rows of a
// whole read: titles shared by many songs, missing titles and years, both directions.
TEST_P(OnEachEngine, PagesSoughtFromKnownRowsMatchAWholeRead)
{
    TestLibrary library(GetParam());
    TConnection c;
    c.ConnectionString = library.ConnectionString();
    c.Open();
    constexpr int Songs = 10 * TDataSet::PageRows + 37;
    {
        TTransaction many(c);
        TStatement add(c, QStringLiteral("INSERT INTO Playlist_DB(Path, Filename, ID3_Title, "
                                         "ID3_Year) VALUES(:path, :file, :title, :year)"));
        for (int i = 0; i < Songs; ++i) {
            add.Reset();
            add.Bind(add.Parameter(QStringLiteral("path")), QStringLiteral("/m/"));
            add.Bind(add.Parameter(QStringLiteral("file")), QStringLiteral("%1.mp3").arg(i));
            const QString titles[] = {QStringLiteral("Same"), QStringLiteral("same"),
                                      QStringLiteral("Other")};
            if (i % 7 == 0)
                add.BindNull(add.Parameter(QStringLiteral("title")));
            else
                add.Bind(add.Parameter(QStringLiteral("title")), titles[i % 3]);
            if (i % 5 == 0)
                add.BindNull(add.Parameter(QStringLiteral("year")));
            else
                add.Bind(add.Parameter(QStringLiteral("year")), qint64(1990 + i % 4));
            while (add.Step()) {
            }
        }
        many.Commit();
    }
    const int pages = (Songs + TDataSet::PageRows - 1) / TDataSet::PageRows;
    for (const char *field : {"ID3_Title", "ID3_Year", "Filename"}) {
        for (const bool descending : {false, true}) {
            for (const QString &search : {QString(), QStringLiteral("1")}) {
                TSongListing listing;
                listing.SortField = QLatin1String(field);
                listing.Descending = descending;
                listing.Search = search;
                TDataSet whole(&c), onDemand(&c);
                OpenSongListing(whole, listing);
                onDemand.SetOnDemand(true);
                OpenSongListing(onDemand, listing);
                ASSERT_EQ(onDemand.RecordCount(), whole.RecordCount());
                const int key = whole.FieldIndex(QStringLiteral("Row_ID"));
                // From the last page back, then every page in a jumbled order, then forward:
                // more pages than are kept, so that pages are read again.
                QList<int> order;
                for (int page = pages - 1; page >= 0; page -= 3)
                    order << page;
                for (int step = 0; step < pages; ++step)
                    order << (step * 7) % pages;
                for (int page = 0; page < pages; ++page)
                    order << page;
                int differ = 0;
                for (int page : order) {
                    for (int row = page * TDataSet::PageRows;
                         row < std::min(Songs, (page + 1) * TDataSet::PageRows); row += 13) {
                        if (onDemand.Value(row, key) != whole.Value(row, key))
                            ++differ;
                    }
                    const int last = std::min(Songs, (page + 1) * TDataSet::PageRows) - 1;
                    if (onDemand.Value(last, key) != whole.Value(last, key))
                        ++differ;
                }
                EXPECT_EQ(differ, 0) << field << (descending ? " descending" : "") << " search '"
                                     << qPrintable(search) << "'";
            }
        }
    }
    // With every page's keys known, a page is read without skipping rows.
    TSongListing byName;
    byName.SortField = QStringLiteral("Filename");
    TDataSet songs(&c);
    songs.SetOnDemand(true);
    OpenSongListing(songs, byName);
    for (int row = 0; row < Songs; row += TDataSet::PageRows)
        songs.Value(row, 0);
    QStringList statements;
    c.OnStatement = [&](const QString &sql) { statements << sql; };
    // The first pages are the ones no longer kept.
    for (int row : {2 * TDataSet::PageRows, TDataSet::PageRows + 5, 10})
        songs.Value(row, 0);
    c.OnStatement = nullptr;
    ASSERT_EQ(statements.size(), 3);
    for (const QString &sql : std::as_const(statements))
        EXPECT_TRUE(sql.endsWith(QLatin1String("OFFSET 0"))) << qPrintable(sql);
}

TEST(SongRows, StoresATagInATransactionOfItsOwn)
{
    TestLibrary library;
    const qint64 kept = library.AddSong(QStringLiteral("Kept"), QStringLiteral("/m/"), {}, 10, 3,
                                        QStringLiteral("A"));
    const qint64 song = library.AddSong(QStringLiteral("Old"), QStringLiteral("/m/"), {}, 20);
    TConnection connection;
    connection.ConnectionString = library.ConnectionString();
    connection.Open();
    TID3Tag tag{};
    ASSERT_TRUE(CopyToField(tag.Header, "TAG"));
    ASSERT_TRUE(CopyToField(tag.Title, "New \xE9t\xE9"));
    ASSERT_TRUE(CopyToField(tag.Artist, "Artist"));
    ASSERT_TRUE(CopyToField(tag.Album, "Album"));
    ASSERT_TRUE(CopyToField(tag.Year, "2001"));
    ASSERT_TRUE(CopyToField(tag.Comment, "Comment"));
    tag.Track = 7;
    tag.Genre = 17;
    UpdateSongTag(connection, song, tag);
    EXPECT_FALSE(connection.InTransaction());

    auto row = [&](qint64 id) {
        TDataSet q(&connection);
        q.SetCommandText(QStringLiteral(
            "SELECT ID3_Title, ID3_Artist, ID3_Album, ID3_Year, ID3_Comment, ID3_Track, "
            "ID3_Genre, typeof(ID3_Year) || typeof(ID3_Track) || typeof(ID3_Genre), Duration "
            "FROM Playlist_DB WHERE Row_ID = :id"));
        q.Parameters().SetValue(QStringLiteral("id"), id, TFieldType::Integer);
        q.Open();
        QStringList values;
        for (int f = 0; f < q.FieldCount(); ++f)
            values << q.DisplayText(0, f);
        return values;
    };
    // The tag's bytes read as the import reads them; numbers stay numbers.
    EXPECT_EQ(row(song), QStringList({FieldToString(tag.Title), "Artist", "Album", "2001",
                                      "Comment", "7", "17", "integerintegerinteger", "20"}));
    EXPECT_EQ(row(kept).value(0), QStringLiteral("Kept"));

    // A refused update leaves the row as it was and no transaction open.
    library.Exec(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON Playlist_DB "
                                "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    const QStringList before = row(song);
    ASSERT_TRUE(CopyToField(tag.Title, "Other"));
    try {
        UpdateSongTag(connection, song, tag);
        ADD_FAILURE() << "no error";
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("refused"))) << e.what();
    }
    EXPECT_EQ(row(song), before);
    EXPECT_FALSE(connection.InTransaction());
}

} // namespace
