#pragma once

#include <QString>

class TConnection;

// Runs the command line's writers of one playlist as processes at once, round after round:
// four adds together, an add beside a removal, and an add beside the playlist's deletion.
// Checks after each round, through `check` (open on the same library), that no entry was lost,
// none outlived its playlist and the numbers run from 1; fails the current test otherwise.
void ExpectPlaylistWritersAtOnceKeepEveryEntry(const QString &program, const QString &library,
                                               TConnection &check, int rounds);
