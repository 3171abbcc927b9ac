#pragma once

#include <QString>

// The folders that decide where the library lies, each ending in the platform's separator.
struct TLocationFolders {
    QString Program;             // the program's own folder
    QString UserData;            // per-user library folder: $XDG_DATA_HOME/Quillmere
    QString UserCache;           // per-user cache folder, for qmtemp.pls
    QString Shared;              // read-only data of an installed program: <prefix>/share/quillmere
    bool ProgramWritable = true; // the program's folder can be written
    bool Installed = false;      // the program's prefix holds share/quillmere
};

// Where the library, the temporary playlist file and the release notes lie.
struct TLibraryLocation {
    // Beside the program: it holds a library, or it is not installed and its folder can be
    // written. Otherwise each user has a library of their own.
    bool Portable = true;
    QString Directory; // the library's folder
    QString LibraryFile;
    QString TemporaryPlaylist; // qmtemp.pls
    QString ReleaseNotes;

    // The connection string of the library, built as at start-up from its folder.
    QString ConnectionString() const;
};

// The program's folder, whether it can be written, and the current user's standard folders.
TLocationFolders StandardFolders();

// Portable when the program's folder holds "quillmeredb.mdb", or it can be written and its
// prefix is not an installed layout (whoever owns the prefix, root included).
TLibraryLocation ChooseLibraryLocation(const TLocationFolders &folders);

inline TLibraryLocation FindLibraryLocation()
{
    return ChooseLibraryLocation(StandardFolders());
}

// Creates the per-user library's folder when missing; raises an error naming it.
void MakeLibraryFolder(const TLibraryLocation &location);

// The first start of an installed program creates an empty per-user library, with the folders
// to it. A portable library is never created here. Raises an error naming the folder that
// cannot be created; nothing else is written then.
void PrepareLibrary(const TLibraryLocation &location);

// The PostgreSQL library that the setting "Library" names ("postgresql://USER@HOST:PORT/DB"),
// or empty: the window then opens the library file as it always has. A setting that cannot be
// read, or holds anything else, names none.
QString ServerLibrarySetting();

// qmtemp.pls, with the per-user cache folder created when missing; raises an error naming the
// folder that cannot be created.
QString PrepareTemporaryPlaylist(const TLibraryLocation &location);
