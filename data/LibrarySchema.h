#pragma once

#include <QString>
#include <QStringList>

class TConnection;

// The layout version that this program writes into every library (SQLite's user_version).
// 0: the first layout. 1: tag texts through Windows-1252, one row per file, file size and
// modification time columns. 2: an index for sorting by each column, and the search index
// (FTS5, trigrams) kept by triggers.
constexpr int LibrarySchemaVersion = 2;
// A library on a server counts its layouts on its own (the comment on Playlist_DB): 2 as the
// file's, 3: the search keys and their index.
constexpr int ServerLayoutVersion = 3;

// Checks that the open connection holds a Quillmere library and brings an older layout up to
// date in one transaction. Raises EDatabaseError ("... is not a Quillmere library", a library
// of a newer version, or the failed upgrade, which leaves the file as it was). Returns what
// the user should know about the library, for example songs listed twice.
QStringList UpgradeLibrary(TConnection &Connection);

// The text that the first layout stored for tag bytes 0x80-0x9F (one character per byte)
// read again through Windows-1252.
QString RemapLatin1Controls(const QString &Text);
