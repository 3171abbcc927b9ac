#include "data/SelectionSql.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

extern const char *const LibrarySchemaSql;

namespace
{

QString Pieces(std::initializer_list<const char *> pieces)
{
    QString text;
    for (const char *piece : pieces)
        text += QString::fromUtf8(piece) + u'\r';
    return text;
}

TEST(BuildSelectionSql, WorkedExampleHasNinePieces)
{
    TSelectionCriteria criteria;
    criteria.Artists = {"Alpha", "Beta"};
    criteria.Genres = {"17. Rock"};
    criteria.Albums = {"It's Here"};
    criteria.Comment = "live";
    criteria.StartYear = "1990";
    criteria.EndYear = "1999";
    criteria.Sort = "Title";
    const QString expected =
        Pieces({"SELECT * FROM Playlist_DB", "WHERE ((ID3_Artist = 'Alpha')",
                " OR (ID3_Artist = 'Beta')", ") AND ((ID3_Genre = 17)",
                ") AND ((ID3_Album = 'It''s Here')", ") AND ID3_Comment LIKE '%live%'",
                "AND ID3_Year >= 1990", "AND ID3_Year <= 1999", "ORDER BY ID3_Title"});
    EXPECT_EQ(BuildSelectionSql(criteria), expected);
    EXPECT_FALSE(BuildSelectionSql(criteria).contains(u'\n'));
}

TEST(BuildSelectionSql, SingleCriteria)
{
    EXPECT_EQ(BuildSelectionSql({}), QStringLiteral("SELECT * FROM Playlist_DB\r"));

    TSelectionCriteria endYear;
    endYear.EndYear = "1999";
    EXPECT_EQ(BuildSelectionSql(endYear),
              Pieces({"SELECT * FROM Playlist_DB", "WHERE ID3_Year <= 1999"}));

    TSelectionCriteria startYear;
    startYear.StartYear = "0";
    EXPECT_EQ(BuildSelectionSql(startYear),
              Pieces({"SELECT * FROM Playlist_DB", "WHERE ID3_Year >= 0"}));

    TSelectionCriteria sort;
    sort.Sort = "Year";
    EXPECT_EQ(BuildSelectionSql(sort), Pieces({"SELECT * FROM Playlist_DB", "ORDER BY ID3_Year"}));

    TSelectionCriteria artist;
    artist.Artists = {"X"};
    EXPECT_EQ(BuildSelectionSql(artist),
              Pieces({"SELECT * FROM Playlist_DB", "WHERE ((ID3_Artist = 'X')"}) + ") ");

    TSelectionCriteria comment;
    comment.Comment = "live";
    EXPECT_EQ(BuildSelectionSql(comment),
              Pieces({"SELECT * FROM Playlist_DB", "WHERE ID3_Comment LIKE '%live%'"}));
}

TEST(BuildSelectionSql, SortNamesAndUnknownSort)
{
    for (const char *name : {"Album", "Artist", "Comment", "Genre", "Title", "Year"}) {
        TSelectionCriteria criteria;
        criteria.Sort = name;
        EXPECT_EQ(BuildSelectionSql(criteria),
                  QStringLiteral("SELECT * FROM Playlist_DB\rORDER BY ID3_%1\r").arg(name));
    }
    TSelectionCriteria unknown;
    unknown.Sort = "title; DROP TABLE Playlist_DB";
    EXPECT_EQ(BuildSelectionSql(unknown), QStringLiteral("SELECT * FROM Playlist_DB\r"));
}

TEST(BuildSelectionSql, EmptyEntriesSkippedWithBalancedParentheses)
{
    const QString alphaBeta = Pieces({"SELECT * FROM Playlist_DB", "WHERE ((ID3_Artist = 'Alpha')",
                                      " OR (ID3_Artist = 'Beta')"}) +
                              ") ";
    TSelectionCriteria emptyFirst;
    emptyFirst.Artists = {"", "Alpha", "Beta"};
    EXPECT_EQ(BuildSelectionSql(emptyFirst), alphaBeta);

    TSelectionCriteria emptyBetween;
    emptyBetween.Artists = {"Alpha", "", "", "Beta", ""};
    EXPECT_EQ(BuildSelectionSql(emptyBetween), alphaBeta);

    TSelectionCriteria onlyEmpty;
    onlyEmpty.Artists = {""};
    onlyEmpty.Albums = {"", ""};
    onlyEmpty.Genres = {""};
    onlyEmpty.EndYear = "1999";
    EXPECT_EQ(BuildSelectionSql(onlyEmpty),
              Pieces({"SELECT * FROM Playlist_DB", "WHERE ID3_Year <= 1999"}));

    TSelectionCriteria emptyThenAlbum;
    emptyThenAlbum.Artists = {""};
    emptyThenAlbum.Albums = {"", "A"};
    EXPECT_EQ(BuildSelectionSql(emptyThenAlbum),
              Pieces({"SELECT * FROM Playlist_DB", "WHERE ((ID3_Album = 'A')"}) + ") ");
}

TEST(BuildSelectionSql, QuotingAndRepeats)
{
    EXPECT_EQ(QuotedString("It's"), QStringLiteral("'It''s'"));
    EXPECT_EQ(QuotedString("''"), QStringLiteral("''''''"));
    EXPECT_EQ(QuotedString(""), QStringLiteral("''"));

    TSelectionCriteria percent;
    percent.Comment = "50%";
    EXPECT_EQ(BuildSelectionSql(percent),
              Pieces({"SELECT * FROM Playlist_DB", "WHERE ID3_Comment LIKE '%50%%'"}));

    TSelectionCriteria twice;
    twice.Artists = {"A", "A"};
    EXPECT_EQ(BuildSelectionSql(twice),
              Pieces({"SELECT * FROM Playlist_DB", "WHERE ((ID3_Artist = 'A')",
                      " OR (ID3_Artist = 'A')"}) +
                  ") ");
}

TEST(YearDigits, KeepsOnlyTheFirstFourDigits)
{
    EXPECT_EQ(YearDigits("1990"), QStringLiteral("1990"));
    EXPECT_EQ(YearDigits("1990; DROP TABLE Playlist_DB"), QStringLiteral("1990"));
    EXPECT_EQ(YearDigits("19a9x"), QStringLiteral("199"));
    EXPECT_EQ(YearDigits("123456"), QStringLiteral("1234"));
    EXPECT_EQ(YearDigits("0 OR 1=1"), QStringLiteral("011"));
    EXPECT_EQ(YearDigits("abc"), QString());
    EXPECT_EQ(YearDigits(QString::fromUtf8("١٩٩٠")), QString());     // Arabic-Indic digits
    EXPECT_EQ(YearDigits(QString::fromUtf8("１９９０")), QString()); // full-width digits

    TSelectionCriteria hostile;
    hostile.StartYear = "1990; DROP TABLE Playlist_DB";
    hostile.EndYear = "--";
    EXPECT_EQ(BuildSelectionSql(hostile),
              Pieces({"SELECT * FROM Playlist_DB", "WHERE ID3_Year >= 1990"}));
}

TEST(GenreNumber, DigitsBeforeTheFirstDot)
{
    EXPECT_EQ(GenreNumber("17. Rock"), QStringLiteral("17"));
    EXPECT_EQ(GenreNumber("0. Blues"), QStringLiteral("0"));
    EXPECT_EQ(GenreNumber("17"), QStringLiteral("17"));
    EXPECT_EQ(GenreNumber("1.2. x"), QStringLiteral("1"));
    EXPECT_EQ(GenreNumber("Rock"), QString());
    EXPECT_EQ(GenreNumber(". Rock"), QString());
    EXPECT_EQ(GenreNumber("1 OR 1=1. x"), QString());

    TSelectionCriteria genres;
    genres.Genres = {"0 OR 1=1. Evil", "17. Rock", "x. y"};
    EXPECT_EQ(BuildSelectionSql(genres),
              Pieces({"SELECT * FROM Playlist_DB", "WHERE ((ID3_Genre = 17)"}) + ") ");
}

// A library in memory with the real schema; statements run as the program runs them.
class SelectionOnLibrary : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(sqlite3_open(":memory:", &m_db), SQLITE_OK);
        Exec(LibrarySchemaSql);
        // Title, artist, album, comment, genre, year
        Add("T1", "Alpha", "It's Here", "live at home", 17, 1995);
        Add("T2", "Beta", "It's Here", "studio", 17, 1990);
        Add("T3", "O'Brien", "Other", "50% off", 0, 2001);
        Add("T4", "a_b", "Other", "a--b;c", 255, 1980);
        Add("T5", "axb", "Other", "axb 100", 255, 1980);
        Add("T6", "back\\slash", "Other", "x\\y", 1, 1970);
        Add("T7", "Motörhead", "Ünicode", "ça", 9, 1979);
    }
    void TearDown() override { sqlite3_close(m_db); }

    void Exec(const char *sql)
    {
        char *message = nullptr;
        const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
        ASSERT_EQ(rc, SQLITE_OK) << (message ? message : "");
        sqlite3_free(message);
    }

    void Add(const char *title, const char *artist, const char *album, const char *comment,
             int genre, int year)
    {
        sqlite3_stmt *stmt = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(m_db,
                                     "INSERT INTO Playlist_DB (Path, Filename, ID3_Title, "
                                     "ID3_Artist, ID3_Album, ID3_Comment, ID3_Genre, ID3_Year) "
                                     "VALUES ('/m/', ?1, ?1, ?2, ?3, ?4, ?5, ?6)",
                                     -1, &stmt, nullptr),
                  SQLITE_OK);
        sqlite3_bind_text(stmt, 1, title, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, artist, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 3, album, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 4, comment, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(stmt, 5, genre);
        sqlite3_bind_int(stmt, 6, year);
        EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE) << sqlite3_errmsg(m_db);
        sqlite3_finalize(stmt);
    }

    // Titles of the rows the statement selects; the statement must be one statement only.
    QStringList Titles(const TSelectionCriteria &criteria)
    {
        const QByteArray sql = BuildSelectionSql(criteria).toUtf8();
        sqlite3_stmt *stmt = nullptr;
        const char *tail = nullptr;
        const int rc = sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &stmt, &tail);
        EXPECT_EQ(rc, SQLITE_OK) << sqlite3_errmsg(m_db) << "\n" << sql.constData();
        if (rc != SQLITE_OK)
            return {"<error>"};
        EXPECT_TRUE(QByteArray(tail).trimmed().isEmpty()) << "more than one statement: " << tail;
        QStringList titles;
        int step;
        while ((step = sqlite3_step(stmt)) == SQLITE_ROW)
            titles << QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(stmt, 5 /* ID3_Title */)));
        EXPECT_EQ(step, SQLITE_DONE) << sqlite3_errmsg(m_db);
        sqlite3_finalize(stmt);
        return titles;
    }

    QStringList AllTitles() { return Titles({}); }

    sqlite3 *m_db = nullptr;
};

TEST_F(SelectionOnLibrary, WorkedExampleRunsAndNarrows)
{
    TSelectionCriteria criteria;
    criteria.Artists = {"Alpha", "Beta"};
    criteria.Genres = {"17. Rock"};
    criteria.Albums = {"It's Here"};
    criteria.Comment = "live";
    criteria.StartYear = "1990";
    criteria.EndYear = "1999";
    criteria.Sort = "Title";
    EXPECT_EQ(Titles(criteria), QStringList({"T1"}));

    criteria.Comment.clear();
    EXPECT_EQ(Titles(criteria), QStringList({"T1", "T2"}));

    TSelectionCriteria sorted;
    sorted.Sort = "Year";
    sorted.Artists = {"", "Beta", "", "Alpha", "Motörhead"};
    EXPECT_EQ(Titles(sorted), QStringList({"T7", "T2", "T1"}));
}

TEST_F(SelectionOnLibrary, HostileQuotedValuesMatchOnlyThemselves)
{
    TSelectionCriteria injection;
    injection.Artists = {"x' OR '1'='1"};
    EXPECT_TRUE(Titles(injection).isEmpty());

    injection.Artists = {"x'); DROP TABLE Playlist_DB; --"};
    EXPECT_TRUE(Titles(injection).isEmpty());
    EXPECT_EQ(AllTitles().size(), 7);

    TSelectionCriteria quote;
    quote.Artists = {"O'Brien"};
    EXPECT_EQ(Titles(quote), QStringList({"T3"}));

    // "_" and "\" are plain characters in an equality.
    TSelectionCriteria underscore;
    underscore.Artists = {"a_b"};
    EXPECT_EQ(Titles(underscore), QStringList({"T4"}));
    TSelectionCriteria backslash;
    backslash.Artists = {"back\\slash"};
    EXPECT_EQ(Titles(backslash), QStringList({"T6"}));
    backslash.Artists = {"back\\"};
    EXPECT_TRUE(Titles(backslash).isEmpty());

    TSelectionCriteria unicode;
    unicode.Artists = {"Motörhead"};
    unicode.Albums = {"Ünicode"};
    EXPECT_EQ(Titles(unicode), QStringList({"T7"}));

    TSelectionCriteria album;
    album.Albums = {"It's Here"};
    EXPECT_EQ(Titles(album), QStringList({"T1", "T2"}));
}

TEST_F(SelectionOnLibrary, CommentIsASubstringWithWildcards)
{
    TSelectionCriteria comment;
    comment.Comment = "50%";
    EXPECT_EQ(Titles(comment), QStringList({"T3"}));
    comment.Comment = "--b;";
    EXPECT_EQ(Titles(comment), QStringList({"T4"}));
    comment.Comment = "x\\y";
    EXPECT_EQ(Titles(comment), QStringList({"T6"}));
    comment.Comment = "' OR 1=1 --";
    EXPECT_TRUE(Titles(comment).isEmpty());
    comment.Comment = "ça";
    EXPECT_EQ(Titles(comment), QStringList({"T7"}));
    // Typed wildcards act as wildcards.
    comment.Comment = "a_b";
    EXPECT_EQ(Titles(comment), QStringList({"T5"}));
    comment.Comment = "1_0";
    EXPECT_EQ(Titles(comment), QStringList({"T5"}));
}

TEST_F(SelectionOnLibrary, YearsAndGenresCarryOnlyDigits)
{
    TSelectionCriteria years;
    years.StartYear = "1990; DROP TABLE Playlist_DB";
    years.EndYear = "1999 OR 1=1";
    years.Sort = "Title";
    EXPECT_EQ(Titles(years), QStringList({"T1", "T2"}));
    EXPECT_EQ(AllTitles().size(), 7);

    TSelectionCriteria nonDigits;
    nonDigits.StartYear = "' OR ''='";
    nonDigits.EndYear = "abc";
    EXPECT_EQ(Titles(nonDigits).size(), 7);

    TSelectionCriteria genres;
    genres.Genres = {"0 OR 1=1. Evil", "17. Rock", "17. Rock"};
    genres.Sort = "Title";
    EXPECT_EQ(Titles(genres), QStringList({"T1", "T2"}));

    TSelectionCriteria genreZero;
    genreZero.Genres = {"0. Blues"};
    genreZero.EndYear = "2001";
    EXPECT_EQ(Titles(genreZero), QStringList({"T3"}));
}

} // namespace
