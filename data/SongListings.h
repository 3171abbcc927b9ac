#pragma once

#include <QVariantList>

class QString;
class TConnection;
class TDataSet;
struct TSelectionCriteria;

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
