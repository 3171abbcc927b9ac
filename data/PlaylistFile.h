#pragma once

#include <QByteArray>
#include <QString>

class TDataSet;

// The .pls text of a playlist's entries: "[playlist]", then File, Length and Title lines for
// every entry from the first row on, each line ending in CR LF, one byte per character.
// Walks the entries, leaving the cursor on the last one; an unopened view is an empty playlist.
QByteArray PlaylistFileText(TDataSet &entries);

// Writes that text to a temporary file beside the target and puts it in the target's place
// only when complete, so a failed write leaves an existing file as it was. Raises
// EInOutError with the system's reason.
void SavePlaylistFile(TDataSet &entries, const QString &fileName);
