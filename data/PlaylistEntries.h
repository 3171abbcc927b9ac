#pragma once

#include <QString>
#include <QStringList>

class TDataSet;
class TTable;

// The songs table view, opened through its key index.
void SetUpSongsTable(TTable &songs);

// A playlist's entry view: the song's fields looked up in the songs table view by Song_ID,
// changes written back to Playlist_Songs.
void SetUpPlaylistEntries(TDataSet &entries, TTable *songs);

// The statement that lists one playlist's entries sorted by a column ("Asc" or "Desc").
QStringList PlaylistEntriesSQL(const QString &column, const QString &direction);

// Sets that statement with the playlist's id and opens the entries.
void OpenPlaylistEntries(TDataSet &entries, int playlistId, const QString &column,
                         const QString &direction);

// Gives the entries Sequence 1 to n from the top, as pending changes, touching only entries
// whose number differs; attached controls are detached meanwhile. Ends on the first entry.
void RenumberEntries(TDataSet &entries);
