#pragma once

#include <QObject>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <memory>

class TFollowWorker;

// Keeps the library true to its folders while the window runs: a folder watcher and the
// watch's import on a thread of their own, with a connection of their own. Tells the window
// when songs were added, moved or re-read.
class TLibraryFollower : public QObject
{
    Q_OBJECT

public:
    // Trees: the folders to watch besides those that hold the library's songs.
    TLibraryFollower(const QString &libraryFile, const QStringList &trees,
                     QObject *parent = nullptr);
    ~TLibraryFollower() override; // ends after the file at hand
    bool IsWatching() const { return m_watching; }

signals:
    // The folders are watched from now on.
    void Watching();
    void LibraryChanged();
    void Notice(const QString &text);

private:
    QThread m_thread;
    std::unique_ptr<TFollowWorker> m_worker;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_watching{false};
};
