#pragma once

#include <QString>

class QTemporaryDir;

// Creates a library file with generated songs, playlists and entries for benchmarks.
// Returns the file name; the file lives in the given folder.
QString MakeBenchLibrary(const QString &folder, int songs, int playlists, int entriesPerPlaylist);

// Lays out a library at target (a file or a postgresql:// address, emptied first) and fills
// it in one transaction with songs whose titles, artists and albums are made of words, 5 to 30
// characters long, and one playlist of playlistEntries entries. The same songs every time.
void MakeWordyLibrary(const QString &target, int songs, int playlistEntries);

// Small silent MP3 files, FilesPerFolder in each of Folders folders ("Album NN/NNN Track.mp3")
// below root; half carry an Info header and an ID3v1 tag. Made once: an existing root is
// taken as it is. Returns root.
QString MakeMusicTree(const QString &root, int folders, int filesPerFolder);

// Bytes currently allocated on the heap.
size_t HeapInUse();

// Runs the registered benchmarks; scratch points at a temporary folder while they run.
int RunBenchmarks(int argc, char **argv, QTemporaryDir *&scratch);
