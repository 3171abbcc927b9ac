#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class TDataSet;

// One entry of a playlist as files for other players need it.
struct TPlaylistItem {
    QString File;   // Path followed by Filename
    QString Length; // whole seconds as text; empty when the song has none
    QString Title;
    QString Artist;
};

// The view's entries from its first row on, leaving the cursor on the last one; an unopened
// view is an empty playlist.
QList<TPlaylistItem> PlaylistItems(TDataSet &entries);

// A file's name as bytes in a playlist file: the file system's own bytes, or the ANSI code
// page on Windows. Empty when the name cannot be carried on one line there.
QByteArray PlaylistPathBytes(const QString &file);
// A title without its control characters, in UTF-8 (the ANSI code page on Windows).
QByteArray PlaylistTitleBytes(const QString &title);
// The reason an entry's file cannot be written, as a line of a report.
QString LeftOutLine(const QString &file);

// "N songs were left out of ...", listing at most a screenful of them.
QString LeftOutReport(const QString &fileName, const QStringList &leftOut);

struct TPlaylistText {
    QByteArray Text;
    QStringList LeftOut; // entries whose file name could not be written, with the reason
};

// The .pls text: "[playlist]", then File, Length and Title lines for every entry, numbered
// from 1 over the entries written, each line ending in CR LF.
TPlaylistText PlsText(const QList<TPlaylistItem> &items);
QByteArray PlaylistFileText(TDataSet &entries);

// Refuses, with EInOutError, to write a playlist over a folder, over the file given as
// protectedFile (the open library), or over an existing file that is not a playlist file.
void CheckPlaylistTarget(const QString &fileName, const QString &protectedFile = QString());

// The file that WriteFileSafely replaces or creates for the name, absolute: links followed, also
// one that points at nothing yet.
QString TargetName(const QString &fileName);

// WriteFileAtomically, its failure said of the playlist file. Raises EInOutError.
void WriteFileSafely(const QString &fileName, const QByteArray &bytes);

// The view's entries saved as a .pls file with full names, through SavePlaylistAs. Returns the
// entries left out.
QStringList SavePlaylistFile(TDataSet &entries, const QString &fileName,
                             const QString &protectedFile = QString());
