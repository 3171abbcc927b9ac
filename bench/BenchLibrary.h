#pragma once

#include <QString>

class QTemporaryDir;

// Creates a library file with generated songs, playlists and entries for benchmarks.
// Returns the file name; the file lives in the given folder.
QString MakeBenchLibrary(const QString &folder, int songs, int playlists, int entriesPerPlaylist);

// Bytes currently allocated on the heap.
size_t HeapInUse();

// Runs the registered benchmarks; scratch points at a temporary folder while they run.
int RunBenchmarks(int argc, char **argv, QTemporaryDir *&scratch);
