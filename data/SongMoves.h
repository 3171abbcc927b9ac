#pragma once

#include "data/SongRows.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class TConnection;

// A song row as a moved file is matched against it.
struct TSongLikeness {
    qint64 RowId = 0;
    QString File; // Path followed by Filename
    TSongFacts Facts;
};

// The songs whose stored file size is one of these, in Row_ID order.
std::vector<TSongLikeness> SongsOfSizes(TConnection &connection, const QList<qint64> &sizes);

// The song row of that file (the lowest when listed twice), or nothing.
std::optional<TStoredSong> StoredSongAt(TConnection &connection, const QString &file);

// The folders that hold songs (Path, with its final separator), each once, in the order of
// their bytes: a folder comes right before the folders below it.
void ForEachSongFolder(TConnection &connection, const std::function<void(const QString &)> &visit);

// Gives a song row another file, keeping its Row_ID and so its playlist entries. False when
// another row already holds that file; raises EDatabaseError on any other failure.
bool MoveSong(TConnection &connection, qint64 rowId, const QString &file);
