#pragma once

#include "data/SelectionSql.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

class TConnection;
class TDataSet;

// The criteria the selection offers, each a column of the songs.
enum class TCriteriaList { Artists, Albums, Genres };

// The distinct values of one criterion over the library, in order (null for songs without one).
QVariantList CriteriaValues(TConnection &connection, TCriteriaList list);

// Opens every song, sorted by title.
void OpenAllSongs(TDataSet &songs);
// Opens the songs that the selection's statement picks, in its order, its values bound.
void OpenSelection(TDataSet &songs, const TSelectionCriteria &criteria);
// Opens every song in Row_ID order.
void OpenSongsByRowId(TDataSet &songs);

// What the available songs show: a selection's songs, narrowed by searched words, in the order
// of a column.
struct TSongListing {
    TSelectionCriteria Criteria; // the selection in force; none for every song
    QString Search;    // words, each found in a title, artist, album, comment or file name
    QString SortField; // a column of Playlist_DB; empty for the selection's own order
    bool Descending = false;
    bool UseSearchIndex = true; // the library's search index where it has one
};

// The words of a search text, split at white space.
QStringList SearchWords(const QString &text);
// The condition that every word is in one of the searched texts, ASCII letters' case ignored
// as the library's collation does; its patterns go into params. Empty for no words.
QString SearchCondition(TConnection &connection, const QStringList &words, bool useSearchIndex,
                        TParams &params);
// The listing's statement. Searched or sorted by a column, its order ends with Row_ID so that
// pages of it are stable; otherwise it is the selection's statement as it is (on a server with
// Row_ID added to its order).
QString SongListingSql(TConnection &connection, const TSongListing &listing, TParams &params);
// Opens the listing's statement.
void OpenSongListing(TDataSet &songs, const TSongListing &listing);
