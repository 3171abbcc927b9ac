#include "app/LibraryFollower.h"

#include "base/Errors.h"
#include "data/Database.h"
#include "import/LibraryWatch.h"
#include "platform/FolderWatcher.h"

#include <QSet>
#include <QTimer>
#include <memory>

// Lives on the follower's thread, and so do the watcher and the connection it makes.
class TFollowWorker : public QObject
{
public:
    void Start(TLibraryFollower *follower, const QString &libraryFile, QStringList trees,
               const std::atomic<bool> *stopping, std::atomic<bool> *watching)
    {
        try {
            m_connection.SetLibraryAddress(libraryFile);
            m_connection.Open();
            if (m_connection.ReadOnly())
                return;
            // A set: a library whose folders are away lists each of them as a tree.
            QSet<QString> known(trees.begin(), trees.end());
            for (const QString &tree : LibraryTrees(m_connection)) {
                if (!known.contains(tree)) {
                    known.insert(tree);
                    trees << tree;
                }
            }
        } catch (const EError &e) {
            emit follower->Notice(e.Message());
            return;
        }
        m_watch = std::make_unique<TLibraryWatch>(m_connection);
        m_watch->KeepGoing = [stopping] { return !stopping->load(); };
        m_watcher = MakeFolderWatcher();
        m_watcher->OnNotice = [follower](const QString &text) { emit follower->Notice(text); };
        m_watcher->OnEvents = [this, follower](const std::vector<TWatchEvent> &events) {
            const TWatchCounts before = m_watch->Counts();
            m_watch->Apply(events);
            const TWatchCounts &after = m_watch->Counts();
            if (after.Imported != before.Imported || after.Moved != before.Moved ||
                after.Updated != before.Updated)
                emit follower->LibraryChanged();
        };
        m_watcher->Watch(trees);
        *watching = true;
        emit follower->Watching();
    }
    void Stop()
    {
        m_watcher.reset();
        m_watch.reset();
        m_connection.Close();
    }

private:
    TConnection m_connection;
    std::unique_ptr<TLibraryWatch> m_watch;
    std::unique_ptr<TFolderWatcher> m_watcher;
};

TLibraryFollower::TLibraryFollower(const QString &libraryFile, const QStringList &trees,
                                   QObject *parent)
    : QObject(parent), m_worker(std::make_unique<TFollowWorker>())
{
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    // Reading the library's folders and watching them waits until start-up is over and events
    // run, so that it does not take a core from the window as it first shows.
    QTimer::singleShot(0, this, [this, libraryFile, trees] {
        QMetaObject::invokeMethod(
            m_worker.get(),
            [this, libraryFile, trees] {
                m_worker->Start(this, libraryFile, trees, &m_stopping, &m_watching);
            },
            Qt::QueuedConnection);
    });
}

TLibraryFollower::~TLibraryFollower()
{
    m_stopping = true;
    QMetaObject::invokeMethod(
        m_worker.get(), [this] { m_worker->Stop(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}
