#pragma once

#include <QString>

// The title a song is shown and written with: its tag's title, or, when the tag holds none (or
// only blanks), its file name without the extension. The library keeps the tag as it is.
QString SongTitle(const QString &tagTitle, const QString &fileName);
