#pragma once

#include "data/ID3v2Tags.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>
#include <vector>

class TConnection;
class TDataSet;
struct TID3Tag;

// What a song row holds of its file's tag and length.
struct TSongFacts : TSongTags {
    int Duration = 0; // whole seconds
};

// The row of the song at that place (the lowest when listed twice), or nothing.
std::optional<qint64> SongIdAt(TConnection &connection, const QString &path,
                               const QString &filename);

// A song row's file and the file's size and time when the row was last read.
struct TStoredSong {
    qint64 RowId = 0;
    QString File; // Path followed by Filename
    std::optional<qint64> Size;
    std::optional<qint64> Modified; // milliseconds since 1970 UTC
};

// The songs in Row_ID order; with a folder only the files in it and below it.
std::vector<TStoredSong> StoredSongs(TConnection &connection, const QString &folder = QString());

// Stores new facts in a song's row, which keeps its Row_ID and so its playlist entries.
void UpdateSongFacts(TConnection &connection, qint64 rowId, const TSongFacts &facts, qint64 size,
                     qint64 modified);

// True when nothing is at the name any more (not when it merely cannot be reached).
bool FileGone(const QString &file);
// The songs whose file is gone, in Row_ID order.
QList<qint64> MissingSongs(TConnection &connection, const QString &folder = QString());

// Opens the rows of these songs, all columns, in Row_ID order.
void OpenSongs(TDataSet &songs, const QList<qint64> &rowIds);

struct TPruneCounts {
    int Songs = 0;
    int Entries = 0;
    int Playlists = 0;
};

// What PruneSongs would remove.
TPruneCounts PlannedPrune(TConnection &connection, const QList<qint64> &rowIds);
// Removes the songs and their playlist entries, renumbering each playlist touched from 1, in
// one transaction. With stillGone, each song's file is asked again inside it, and a song whose
// file is not still gone is kept.
TPruneCounts PruneSongs(TConnection &connection, const QList<qint64> &rowIds,
                        const std::function<bool(const QString &file)> &stillGone = {});

// A song row's columns with their values.
using TSongValues = QList<QPair<QString, QVariant>>;

// The tag columns of a song's row (title, artist, album, year, comment, track, genre) as the
// import stores them from a file's tag.
TSongValues SongTagValues(const TID3Tag &tag);

// Stores a tag in the song's row of Playlist_DB, in a transaction of its own. Raises
// EDatabaseError; after a failure the row is as it was.
void UpdateSongTag(TConnection &connection, qint64 rowId, const TID3Tag &tag);
