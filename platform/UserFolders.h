#pragma once

#include <QString>

// The user's music folder: XDG_MUSIC_DIR (from the environment or the user's folder settings),
// else ~/Music. Empty when none of them is an existing folder.
QString UserMusicFolder();
