#pragma once

#include <QByteArray>
#include <QString>

class QFile;

// File names travel through the program, the library and playlist files as text. On systems
// whose names are bytes, a byte that is not part of valid UTF-8 becomes one character of
// U+10FF80..U+10FFFF (and a real character of that range is split into such bytes), so every
// name comes back byte for byte. These two functions are the only crossings.
QString FileNameFromBytes(const QByteArray &Bytes);
QByteArray FileNameToBytes(const QString &Name);

// The name as a person reads it: each stray byte shown as U+FFFD.
QString ReadableFileName(const QString &Name);
// True when the name holds a stray byte, so that Qt's own file classes would miss the file.
bool HasStrayBytes(const QString &Name);

// errno for a name that is a FIFO, a device or a socket where a regular file was expected.
constexpr int NotRegularFile = 19; // ENODEV
// The system's text for an errno, and plain words for NotRegularFile.
QString FileErrorText(int Error);

// The functions below reach the system through the name's own bytes; a name holding a NUL
// names no file (ENOENT), never the file named by its part before the NUL.
// Opens through the name's own bytes; false with errno set on failure. Only regular files are
// opened (a folder gives EISDIR, anything else NotRegularFile); a FIFO never blocks.
bool OpenForReading(QFile &File, const QString &Name);
bool OpenForUpdate(QFile &File, const QString &Name); // an existing file, read and write
bool CreateNewFile(QFile &File, const QString &Name); // fails when the name exists

struct TFileStatus {
    bool Exists = false;
    bool IsFile = false; // a regular file, links followed
    bool IsFolder = false;
    bool IsLink = false;
    qint64 Size = 0;
    qint64 ModifiedMs = 0; // milliseconds since 1970 UTC
    int Error = 0;         // errno when it does not exist or cannot be reached
};
TFileStatus FileStatus(const QString &Name);

// Renames without ever replacing an existing target; false with errno set.
bool RenameNoReplace(const QString &From, const QString &To);
bool RemoveFile(const QString &Name);
