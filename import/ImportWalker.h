#pragma once

#include "base/Errors.h"
#include "data/ID3v2Tags.h"
#include "data/SongWriter.h"
#include "data/UMP3s.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <utility>

class TConnection;
class TStatement;

// A folder's visible entries as the import sees them: files matching "*.mp3" without regard
// to case, and subfolders; hidden entries and anything but files and folders left out; each
// list sorted alphabetically without regard to case. Links are followed.
struct TFolderListing {
    QStringList Files;
    QStringList Folders;
    int NotFiles = 0;                     // FIFOs, devices and sockets named *.mp3, passed over
    std::pair<quint64, quint64> Id{0, 0}; // device and inode of the folder itself
};

// Raises EInOutError when the folder cannot be listed.
TFolderListing ListFolder(const QString &Folder);

// A file in the folder: the separator is always added, so a root folder gives two in a row.
QString ImportFileName(const QString &Folder, const QString &Name);
// A subfolder, as the folder list names it (no doubled separator).
QString ImportSubfolder(const QString &Folder, const QString &Name);

// The file's playing time in whole seconds, fraction dropped. Raises EMCIDeviceError.
int GetSongLength(const QString &FileName);

enum class TImportProblemKind {
    ExistsCheckFailed, // the walk tries to insert the file anyway
    InsertFailed,      // the library refused the row
    FileRefused,       // it holds no audio that can be measured (not MP3, corrupt, empty)
    FileUnreadable,    // its tag could not be read
    FolderUnreadable,  // it could not be listed
    RowLost,           // inserted, then undone by a failed commit or a later error
};

struct TImportProblem {
    TImportProblemKind Kind;
    QString Name; // full file or folder name
    QString Reason;
};

// The problem in one line, with the name and reason as given (the caller escapes them).
QString ImportProblemText(const TImportProblem &Problem, const QString &Name,
                          const QString &Reason);

struct TImportCounts {
    int Imported = 0; // rows actually inserted
    int Existing = 0; // already in the library
    int Failed = 0;   // new files that were not inserted
    int Found = 0;    // files listed so far
    int Done = 0;     // files handled so far
    int FoldersUnreadable = 0;
    int NotFiles = 0; // entries named *.mp3 that are not regular files, passed over
};

// Imports a folder tree depth first, pre-order: a folder's own files, then each subfolder
// with everything below it. Every folder is walked once, so links cannot make it loop.
class TImportWalker
{
public:
    explicit TImportWalker(TConnection &Connection);

    // Before each file, with its name without folder.
    std::function<void(const QString &Name)> OnFile;
    // After each file and before each subfolder; false stops the walk there.
    std::function<bool()> KeepGoing;
    // A problem with one file or folder; the walk goes on afterwards.
    std::function<void(const TImportProblem &Problem)> OnProblem;

    // Walks the folder and commits. A stopped walk can be run again later: it adds the rest.
    // Raises ELibraryUnwritable, before the walk or at the first busy timeout, keeping what
    // was committed.
    void ImportFolder(const QString &Folder);
    // Imports single files (as a folder's files are) and commits; the counts are added to.
    void ImportFiles(const QStringList &FileNames);
    const TImportCounts &Counts() const { return m_counts; }
    bool Stopped() const { return m_stopped; }

private:
    void Walk(const QString &Folder);
    // Stored: whether the folder's listing of stored songs holds the file; unknown when that
    // listing failed. A file not known to be stored is looked up on its own.
    void ImportFile(const QString &FileName, std::optional<bool> Stored);
    void Commit();
    void Report(TImportProblemKind Kind, const QString &Name, const QString &Reason);
    bool Continue();

    TSongWriter m_writer;
    TImportCounts m_counts;
    std::set<std::pair<quint64, quint64>> m_visited;
    bool m_stopped = false;
};
