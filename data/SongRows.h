#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

class TConnection;
struct TID3Tag;

// A song row's columns with their values.
using TSongValues = QList<QPair<QString, QVariant>>;

// The tag columns of a song's row (title, artist, album, year, comment, track, genre) as the
// import stores them from a file's tag.
TSongValues SongTagValues(const TID3Tag &tag);

// Stores a tag in the song's row of Playlist_DB, in a transaction of its own. Raises
// EDatabaseError; after a failure the row is as it was.
void UpdateSongTag(TConnection &connection, qint64 rowId, const TID3Tag &tag);
