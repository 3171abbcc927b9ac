#pragma once

#include "data/PlaylistFormats.h"

#include <QString>
#include <QStringList>
#include <optional>

class TConnection;
class TSongWriter;

struct TPlaylistImport {
    qint64 PlaylistId = 0;
    int Entries = 0;
    int Imported = 0;     // songs added to the library on the way
    int Missing = 0;      // entries whose file is not there or cannot be a song
    int Skipped = 0;      // entries that name no file (URLs, names holding a NUL)
    QStringList Problems; // one line per entry left out, naming it and why
    QString Name;         // the playlist's name
};

// Makes a playlist of what was read, in one transaction: a file in the library becomes an
// entry; an MP3 file not yet in it is imported first as the import does; the rest is named in
// Problems. Raises on a library error, and then nothing is stored.
TPlaylistImport ImportPlaylist(TConnection &connection, const TPlaylistRead &read,
                               const QString &name, const QString &description = QString());

// Reads a playlist file and makes a playlist of it as above, named by the file's own title or
// else its file name.
TPlaylistImport ImportPlaylistFile(TConnection &connection, const QString &file);

// The song of a file, imported first as the import does when the library lacks it (imported is
// then true). Nothing, with the reason in problem, for a file that cannot be a song. Raises when
// the library gives up the caller's transaction.
std::optional<qint64> SongOfFile(TConnection &connection, TSongWriter &writer, const QString &file,
                                 QString &problem, bool &imported);
