#pragma once

#include "platform/FolderWatcher.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class TConnection;

struct TWatchCounts {
    int Imported = 0;
    int Moved = 0;
    int Updated = 0;
    int Failed = 0;
    int Batches = 0; // batches of events handled
};

// Keeps the library true to what a folder watcher reports: new files are imported, changed
// files re-read in place, moved files keep their rows (by the pair of events, or else by size,
// length and tags). A file or tree that goes away is never removed from the library.
class TLibraryWatch
{
public:
    explicit TLibraryWatch(TConnection &Connection);

    void Apply(const std::vector<TWatchEvent> &Events);
    const TWatchCounts &Counts() const { return m_counts; }

    // One line per change made, and per file that could not be handled.
    std::function<void(const QString &Line)> OnAction;
    // Asked between files; false stops the batch there, keeping what was done.
    std::function<bool()> KeepGoing;

private:
    struct TNewFile {
        QString File;
        qint64 Size = 0;
        qint64 Modified = 0;
    };
    void MoveFile(const QString &From, const QString &To);
    void MoveFolder(const QString &From, const QString &To);
    void Walk(const QString &Folder);
    void Examine(const QString &File);
    void ExamineKnown(const QString &File, qint64 RowId, std::optional<qint64> Size,
                      std::optional<qint64> Modified);
    struct TReadFile;
    void AddNewFiles();
    std::vector<TReadFile> ReadNewFiles();
    // Gives the rows of songs whose files are gone to the read files alike; returns the rest.
    std::vector<TReadFile> TakeMovedFiles(std::vector<TReadFile> &read);
    void InsertNewFiles(const std::vector<TReadFile> &fresh);
    void Tell(const QString &Line);
    void Problem(const QString &File, const QString &Reason);
    bool Stopped();

    TConnection &m_connection;
    TWatchCounts m_counts;
    std::vector<TNewFile> m_new;
    QSet<QString> m_newNames;
    bool m_stopped = false;
};

// The folders to watch when none are named: the trees that hold the library's songs, each the
// highest folder their songs share below the home folder and on one device.
QStringList LibraryTrees(TConnection &Connection);
