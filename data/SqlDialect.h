#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Where the program's statements differ between the engines. The program writes them as SQLite
// reads them; a PostgreSQL library gets them rewritten here, so that every difference is kept
// side by side in one place.
struct TPostgresText {
    QByteArray Text;         // with $1, $2... for the parameters
    QStringList Parameters;  // the names in the order of their numbers, without the colon
    bool DuplicateIsSkipped; // an INSERT that skips a duplicate row instead of failing
    bool ReturnsKey;         // an INSERT that returns the new rows' keys, for LastInsertId
};

TPostgresText PostgresText(const QString &sqliteText);

class TStatement;

// One INSERT of many rows. Row r's value of column c is the parameter numbered
// r * columns + c + 1, so rows are bound in the order they are written.
struct TRowsInsert {
    QString Text;
    int Columns = 0;
    int Rows = 0;

    // Raises when the statement's parameters are not numbered as written.
    void CheckNumbering(const TStatement &statement) const;
};

// The text of such an INSERT into a table. With returning, a row that the library holds already
// is skipped instead of failing the statement, and the statement gives back those columns of
// the rows it stored.
TRowsInsert RowsInsert(const QString &table, const QStringList &columns, int rows,
                       const QStringList &returning = {});

// The operator that matches a pattern ignoring the case of ASCII letters only, as SQLite's
// LIKE does, written before the pattern (with its ESCAPE after it).
QString AsciiCaseBlindLike(bool onServer);

// The library's own spelling of a column name that PostgreSQL gives in lower case.
QString LibraryColumnName(const QString &postgresName);

// The library's tables on PostgreSQL, as the layout in data/schema.sql has them.
extern const char *const PostgresSchemaSql;
// The server's search keys: a function of the searched texts and its index.
extern const char *const PostgresSearchKeysSql;
// The text search query that the search keys of every song holding all the words match (and
// some others), from the words' parts of at least three characters; empty when none has one.
QString PostgresSearchKeysQuery(const QStringList &words);
// The comment on Playlist_DB that holds the layout version on PostgreSQL.
QString PostgresLayoutComment(int version);
// The layout version in such a comment; -1 when it is not one.
int PostgresLayoutVersion(const QString &comment);
