#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class TConnection;
class TDataSet;
class TTable;
class QVariant;

// The most entries a playlist holds: Sequence is a 16-bit number.
constexpr int PlaylistEntryLimit = 65535;

// The songs table view, opened through its key index.
void SetUpSongsTable(TTable &songs);

// A playlist's entry view: the song's fields joined from Playlist_DB by Song_ID, changes
// written back to Playlist_Songs. A field that the songs table view stores shows at once.
void SetUpPlaylistEntries(TDataSet &entries, TTable *songs);

// The statement that lists one playlist's entries sorted by a column ("Asc" or "Desc").
QStringList PlaylistEntriesSQL(const QString &column, const QString &direction);

// Sets that statement with the playlist's id and opens the entries.
void OpenPlaylistEntries(TDataSet &entries, int playlistId, const QString &column,
                         const QString &direction);

// Gives the entries Sequence 1 to n from the top, as pending changes, touching only entries
// whose number differs; attached controls are detached meanwhile. Ends on the first entry.
void RenumberEntries(TDataSet &entries);

// Adds an entry for the song with that number, as a pending change, showing the song's fields.
void AppendEntry(TDataSet &entries, int playlistId, int sequence, const QVariant &songId);

// Deletes the entries with those numbers and renumbers the rest from 1, as pending changes.
// A number that no entry has raises EDatabaseError before anything changes.
void RemoveEntries(TDataSet &entries, const QList<int> &sequences);

// Row operations on the stored entries: each runs in one transaction under the playlist's row
// lock, so that writers of one playlist wait for each other and none overwrites entries it never
// saw. A playlist that is gone raises EDatabaseError and stores nothing.

// Numbers the entries from 1 and appends the songs after the last one. A song the library lacks
// raises EDatabaseError before anything is stored. Returns the number of entries added.
// After each statement of new entries, progress hears how many are in; when it answers false,
// the songs added so far are kept, numbered after the others, and the rest are not added.
int AppendPlaylistEntries(TConnection &db, int playlistId, const QList<qint64> &songIds,
                          const std::function<bool(int added)> &progress = {});

// Deletes the entries with those numbers and numbers the rest from 1. A number that no entry has
// raises EDatabaseError before anything changes. Returns the number of entries removed.
int RemovePlaylistEntries(TConnection &db, int playlistId, const QList<int> &sequences);

// Deletes the entries with those keys (Row_ID) and numbers the rest from 1; a key that no entry
// of the playlist has any more is passed over. Returns the number of entries removed.
int RemovePlaylistEntryRows(TConnection &db, int playlistId, const QList<qint64> &entryIds);

// Moves the entries with those keys (Row_ID), keeping their order, to stand before the entry now
// at `position` (0-based as listed; the count or more: the end), and numbers all from 1; keys the
// playlist lacks are passed over. Returns the place (0-based) of the first entry moved.
int MovePlaylistEntryRows(TConnection &db, int playlistId, const QList<qint64> &entryIds,
                          int position);

// AppendPlaylistEntries, with the new entries standing before the entry now at `position`, in
// the same transaction. Returns the number of entries added.
int InsertPlaylistEntries(TConnection &db, int playlistId, const QList<qint64> &songIds,
                          int position, const std::function<bool(int added)> &progress = {});
