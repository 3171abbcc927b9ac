#include "data/Database.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QFile>
#include <QTemporaryDir>

#include <QProcess>
#include <gtest/gtest.h>

// Runs the built quillmere-lib's songs verb with the selection filters on a real library.

namespace
{

struct TRun {
    int ExitCode = -1;
    QString Out;
    QString Err;
};

class SongsVerb : public ::testing::Test
{
protected:
    void SetUp() override
    {
        library.AddSong(QStringLiteral("Blue"), QStringLiteral("/m/"), {}, 200, 0,
                        QStringLiteral("Beta"), QStringLiteral("Sky"), 1995, 1,
                        QStringLiteral("live at home"));
        library.AddSong(QStringLiteral("Amber"), QStringLiteral("/m/"), {}, 180, 17,
                        QStringLiteral("Alpha"), QStringLiteral("It's Here"), 1990, 2,
                        QStringLiteral("50% off"));
        library.AddSong(QStringLiteral("Nothing"), QStringLiteral("/m/"), {}, 60, 255,
                        QStringLiteral("Gamma"), QString(), 2001);
        library.AddSong(QStringLiteral("Chant"), QStringLiteral("/m/"), {}, 60, 17,
                        QStringLiteral("Alpha"), QStringLiteral("Sky"), 1999, 0,
                        QStringLiteral("live"));
    }

    TRun Songs(const QStringList &args)
    {
        QProcess process;
        process.start(QStringLiteral(QUILLMERE_LIB_BINARY),
                      QStringList({"--library", library.FileName(), "songs"}) + args);
        TRun run;
        if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit) {
            run.ExitCode = process.exitCode();
            run.Out = QString::fromUtf8(process.readAllStandardOutput());
            run.Err = QString::fromUtf8(process.readAllStandardError());
        }
        return run;
    }

    // One column of the printed table, in the order printed.
    QStringList Column(const TRun &run, const QString &name)
    {
        QStringList lines = run.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (lines.isEmpty())
            return {};
        const int index = int(lines.takeFirst().split(QLatin1Char('\t')).indexOf(name));
        QStringList values;
        for (const QString &line : lines)
            values << line.split(QLatin1Char('\t')).value(index);
        return values;
    }

    TestLibrary library;
};

TEST_F(SongsVerb, WithoutFiltersListsEverySongByRowId)
{
    const TRun run = Songs({});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.startsWith(QStringLiteral("Row_ID\tPath\tFilename\tDuration\t")));
    EXPECT_EQ(Column(run, QStringLiteral("Row_ID")), QStringList({"1", "2", "3", "4"}));
    EXPECT_EQ(Column(run, QStringLiteral("ID3_Title")),
              QStringList({"Blue", "Amber", "Nothing", "Chant"}));
}

TEST_F(SongsVerb, FiltersAsTheDialogDoes)
{
    TRun run = Songs({"--artist", "Alpha", "--artist", "Gamma", "--sort", "title"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(Column(run, QStringLiteral("ID3_Title")), QStringList({"Amber", "Chant", "Nothing"}));

    run = Songs({"--genre", "Rock", "--year-from", "1991", "--year-to", "1999"});
    EXPECT_EQ(Column(run, QStringLiteral("ID3_Title")), QStringList({"Chant"}));
    run = Songs({"--album", "It's Here", "--album", "Sky", "--comment", "live", "--sort", "Year"});
    EXPECT_EQ(Column(run, QStringLiteral("ID3_Title")), QStringList({"Blue", "Chant"}));
    // Genre 255 is no choice in the dialog, but other criteria still find the song.
    run = Songs({"--year-from", "2000"});
    EXPECT_EQ(Column(run, QStringLiteral("ID3_Title")), QStringList({"Nothing"}));
    // "%" typed by the user is a wildcard too; quotes cannot end the value early.
    run = Songs({"--comment", "50%"});
    EXPECT_EQ(Column(run, QStringLiteral("ID3_Title")), QStringList({"Amber"}));
    run = Songs({"--artist", "x' OR '1'='1"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(Column(run, QStringLiteral("ID3_Title")), QStringList());
}

TEST_F(SongsVerb, SearchKeepsSongsHoldingEveryWordTogetherWithTheFilters)
{
    TRun run = Songs({"--search", "LIVE"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(Column(run, QStringLiteral("ID3_Title")), QStringList({"Blue", "Chant"}));
    // Every word, each in any of the texts; with the filters and their order.
    run = Songs({"--search", "sky  al", "--sort", "Title"});
    EXPECT_EQ(Column(run, QStringLiteral("ID3_Title")), QStringList({"Chant"}));
    run = Songs({"--search", "live", "--artist", "Beta"});
    EXPECT_EQ(Column(run, QStringLiteral("ID3_Title")), QStringList({"Blue"}));
    // A typed "%" is the character itself here.
    run = Songs({"--search", "0%"});
    EXPECT_EQ(Column(run, QStringLiteral("ID3_Title")), QStringList({"Amber"}));
    run = Songs({"--search", "nowhere"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(Column(run, QStringLiteral("ID3_Title")), QStringList());
}

TEST_F(SongsVerb, SqlPrintsTheBuiltStatementOnePieceALine)
{
    const TRun run = Songs({"--artist", "Alpha", "--artist", "Beta", "--genre", "17. Rock",
                            "--album", "It's Here", "--comment", "live", "--year-from", "1990",
                            "--year-to", "1999", "--sort", "Title", "--sql"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, QStringLiteral("SELECT * FROM Playlist_DB\n"
                                      "WHERE ((ID3_Artist = 'Alpha')\n"
                                      " OR (ID3_Artist = 'Beta')\n"
                                      ") AND ((ID3_Genre = 17)\n"
                                      ") AND ((ID3_Album = 'It''s Here')\n"
                                      ") AND ID3_Comment LIKE '%live%'\n"
                                      "AND ID3_Year >= 1990\n"
                                      "AND ID3_Year <= 1999\n"
                                      "ORDER BY ID3_Title\n"));

    // A genre by number, by entry and by name (case ignored) is one and the same.
    const QString byNumber = Songs({"--genre", "17", "--sql"}).Out;
    EXPECT_EQ(byNumber, QStringLiteral("SELECT * FROM Playlist_DB\nWHERE ((ID3_Genre = 17)\n) "));
    EXPECT_EQ(Songs({"--genre", "rOCK", "--sql"}).Out, byNumber);
    EXPECT_EQ(Songs({"--sql", "--genre", "17. Rock"}).Out, byNumber);
    EXPECT_EQ(Songs({"--genre", "255", "--sql"}).Out,
              QStringLiteral("SELECT * FROM Playlist_DB\nWHERE ((ID3_Genre = 255)\n) "));
    // An empty artist is taken but written nowhere.
    EXPECT_EQ(Songs({"--artist", "", "--sql"}).Out, QStringLiteral("SELECT * FROM Playlist_DB\n"));
}

TEST_F(SongsVerb, RefusesWhatTheDialogCouldNotHold)
{
    const QList<QStringList> refused = {
        {"--genre", "Polka-ish"},
        {"--genre", "256"},
        {"--genre", ""},
        {"--year-from", "19x9"},
        {"--year-to", "19999"},
        {"--year-to", ""},
        {"--comment", "a", "--comment", "b"},
        {"--sort", "Year", "--sort", "Title"},
        {"--sort", "Length"},
        {"--artist"},
        {"--colour", "red"},
        {"Alpha"},
    };
    for (const QStringList &args : refused) {
        const TRun run = Songs(args);
        EXPECT_EQ(run.ExitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.Out.isEmpty()) << args.join(QLatin1Char(' ')).toStdString();
    }
}

// init makes an empty library with the three tables and never replaces a file; playlists
// lists every playlist in id order with its escaped texts.
TEST(LibraryVerbs, InitAndPlaylists)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("quillmeredb.mdb"));
    const QString lib = QStringLiteral(QUILLMERE_LIB_BINARY);
    EXPECT_EQ(RunProgram(lib, {QStringLiteral("init"), file}).ExitCode, 0);
    const QByteArray created = ReadAll(file);
    EXPECT_NE(RunProgram(lib, {QStringLiteral("init"), file}).ExitCode, 0);
    EXPECT_EQ(ReadAll(file), created);

    TConnection connection;
    connection.ConnectionString = QStringLiteral("Data Source=") + file;
    connection.Open();
    TParams p;
    p.SetValue(QStringLiteral("name"), QStringLiteral("Tab\there"), TFieldType::Text);
    connection.Execute(QStringLiteral("INSERT INTO Playlists(Name, Description, Date_Created) "
                                      "VALUES(:name, 'd', '2026-12-07 20:00:00')"),
                       p);
    const auto run =
        RunProgram(lib, {QStringLiteral("--library"), file, QStringLiteral("playlists")});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, QByteArray("PlayList_ID\tName\tDescription\tDate_Created\n"
                                  "1\tTab\\there\td\t2026-12-07 20:00:00\n"));
    const auto missing =
        RunProgram(lib, {QStringLiteral("--library"), dir.filePath(QStringLiteral("none.mdb")),
                         QStringLiteral("playlists")});
    EXPECT_EQ(missing.ExitCode, 2);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("none.mdb"))));
}

} // namespace
