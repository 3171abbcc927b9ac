#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

enum class TWatchEventKind {
    Changed, // a file created, written or moved in; with Folder, a folder created or moved in
    Gone,    // deleted, or moved out of the watched trees
    Moved,   // renamed or moved within the watched trees, from Path to NewPath
    Rescan,  // events below Path were lost, or its tree is back: look at all of it
    Away,    // the watched tree Path went away as a whole (unmounted, moved, deleted)
};

struct TWatchEvent {
    TWatchEventKind Kind = TWatchEventKind::Changed;
    QString Path;
    QString NewPath;
    bool Folder = false;
};

// Watches folder trees (each folder and everything below it, hidden folders left out) and
// reports what changed in them, gathered for a moment, on the thread's event loop. A tree that
// cannot be watched (the system's limit reached, a network file system) is polled instead.
class TFolderWatcher
{
public:
    virtual ~TFolderWatcher() = default;

    // An absent tree is waited for, and reported with Rescan when it appears.
    virtual void Watch(const QStringList &Trees) = 0;
    // Hands over what has been gathered now.
    virtual void Flush() = 0;
    virtual int WatchedFolders() const = 0;
    virtual int PolledTrees() const = 0;
    // Test hook: acts as though the kernel's queue overflowed now, losing what it held.
    virtual void ForceOverflow() = 0;

    std::function<void(const std::vector<TWatchEvent> &Events)> OnEvents;
    // Told once per tree, when it is polled instead of watched.
    std::function<void(const QString &Notice)> OnNotice;

    int GatherMs = 300; // events are held this long before they are handed over
    int PollMs = 2000;  // how often a polled tree is walked
    int AwayMs = 1000;  // how often an absent tree is looked for
};

std::unique_ptr<TFolderWatcher> MakeFolderWatcher();

// Test hook: watch at most this many folders, as though the system's limit were that; -1 lifts
// it.
void SetFolderWatchLimit(int Limit);
