#pragma once

#include "data/SongRows.h"

#include <QString>
#include <functional>

// Reads a file's tag and length as the import does. Raises EError when either fails.
TSongFacts ReadSongFacts(const QString &fileName);

struct TRescanCounts {
    int Updated = 0;
    int Unchanged = 0;
    int Missing = 0;
    int Failed = 0; // changed, but the file could not be read
};

// Re-reads the songs whose file's size or time differs from the stored ones (or was never
// stored), updating their rows in transactions of a few hundred. onProblem hears of files that
// could not be read; keepGoing is asked after each changed file and stops the scan when false.
TRescanCounts
RescanSongs(TConnection &connection, const QString &folder,
            const std::function<void(const QString &file, const QString &reason)> &onProblem = {},
            const std::function<bool(const TRescanCounts &)> &keepGoing = {});
