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

// The operator that matches a pattern ignoring the case of ASCII letters only, as SQLite's
// LIKE does, written before the pattern (with its ESCAPE after it).
QString AsciiCaseBlindLike(bool onServer);

// The library's own spelling of a column name that PostgreSQL gives in lower case.
QString LibraryColumnName(const QString &postgresName);

// The library's tables on PostgreSQL, as the layout in data/schema.sql has them.
extern const char *const PostgresSchemaSql;
// The comment on Playlist_DB that holds the layout version on PostgreSQL.
QString PostgresLayoutComment(int version);
// The layout version in such a comment; -1 when it is not one.
int PostgresLayoutVersion(const QString &comment);
