#pragma once

#include <QString>

// Folder of the running program's file, ending in the platform's separator.
QString GetProgramDirectory();

// Tests place the program's directory elsewhere; an empty text restores the real one.
void SetProgramDirectoryOverride(const QString &directory);

// The library file beside the program.
QString DefaultLibraryFile();
