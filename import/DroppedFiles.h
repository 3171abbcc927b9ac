#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class TConnection;

// What a drop of files and folders from a file manager brought into the library.
struct TDroppedImport {
    QList<qint64> Songs;  // the dropped songs in the order dropped, a folder's by file name
    int Imported = 0;     // new to the library
    int Existing = 0;     // there already
    int Failed = 0;       // files that could not be imported
    QStringList Problems; // one line for each file or folder left out, and why
};

// Imports the dropped MP3 files, and the MP3 files in and below the dropped folders, as the
// import does; what is there already is taken as it is. Raises ELibraryUnwritable when the library
// takes no row, keeping what was committed.
TDroppedImport ImportDroppedFiles(TConnection &connection, const QStringList &files);
