#pragma once

#include <QString>
#include <QStringList>

// Exit codes: 0 success, 1 the work failed, 2 bad usage or an unusable library.
struct TCliContext {
    QString LibraryFile; // --library, or the file beside the program or the user's own
    QStringList Args;    // the verb's own arguments
};

// Raised by a verb for bad usage; main prints it and exits with 2.
struct TUsageError {
    QString Message;
};

class TConnection;
class TDataSet;
// Opens the library; a missing or unusable file is a usage error (exit 2).
// Without --library, an installed program's per-user library is created when missing.
void OpenLibrary(TConnection &connection, const QString &file);
// Creates the per-user library's folder of an installed program (init without a file).
void MakeDefaultLibraryFolder();

// Refuses, before any work, to change a library that can only be read (exit 1).
void RequireWritable(const TConnection &connection);

// Writes text to stdout / stderr as UTF-8.
void Out(const QString &text);
void Err(const QString &text);

// Escapes a text for tab-separated output: \ \t \r \n and other controls (DEL, C1) as \xHH; with
// escapeNonAscii also every character above 126 (tag bytes read one to one as Latin-1).
QString EscapeField(const QString &text, bool escapeNonAscii = false);
// A message as a terminal may show it: controls that a terminal acts on (all but line feed
// and tab, and DEL and C1) written as \xHH.
QString TerminalSafe(const QString &text);

// Prints a header line of the column names, then one line per row, fields escaped and
// separated by tabs.
void PrintTable(TDataSet &data);

int VerbInit(const TCliContext &context);
int VerbSongs(const TCliContext &context);
int VerbPlaylists(const TCliContext &context);
int VerbTag(const TCliContext &context);
int VerbPls(const TCliContext &context);
int VerbImport(const TCliContext &context);
int VerbPlaylist(const TCliContext &context);
int VerbExport(const TCliContext &context);
int VerbRescan(const TCliContext &context);
int VerbMissing(const TCliContext &context);
int VerbPrune(const TCliContext &context);
int VerbWatch(const TCliContext &context);
