#pragma once

#include "data/Database.h"

#include <QString>
#include <QStringList>

// What the selection dialog narrows the available songs by.
struct TSelectionCriteria {
    QStringList Artists;
    QStringList Genres; // entries like "17. Rock"
    QStringList Albums;
    QString Comment;
    QString StartYear;
    QString EndYear;
    QString Sort; // "", "Album", "Artist", "Comment", "Genre", "Title" or "Year"
};

// The SELECT over Playlist_DB for the criteria; every piece ends in a single CR.
QString BuildSelectionSql(const TSelectionCriteria &criteria);

// The same SELECT as it runs: each value a parameter (":artist1", ":genre1", ":album1",
// ":comment1", ":startYear1", ":endYear1"...), so that no value is ever read as part of the
// statement, whatever quoting the database applies to literals.
struct TSelectionStatement {
    QString Sql;
    TParams Params;
};
TSelectionStatement BuildSelectionStatement(const TSelectionCriteria &criteria);

// The text between single quotes, each quote inside doubled.
QString QuotedString(const QString &text);

// The first (at most 4) ASCII digits of a text, in order; everything else dropped.
// Year values are written unquoted, so nothing else may ever reach the statement.
QString YearDigits(const QString &text);

// The genre number of an entry like "17. Rock" (the part before the first "."),
// or an empty text when that part is not made of digits only.
QString GenreNumber(const QString &entry);
