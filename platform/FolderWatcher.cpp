#include "platform/FolderWatcher.h"

#include "base/FileNames.h"

#include <QHash>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <unordered_map>

namespace
{

int WatchLimit = -1;

constexpr uint32_t FolderMask = IN_CREATE | IN_DELETE | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_FROM |
                                IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool Hidden(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return path.size() > slash + 1 && path.at(slash + 1) == '.';
}

bool HasMp3Extension(const QByteArray &name)
{
    return name.size() >= 4 && strncasecmp(name.constData() + name.size() - 4, ".mp3", 4) == 0;
}

bool Under(const QByteArray &path, const QByteArray &folder)
{
    return path == folder ||
           (path.startsWith(folder) && (folder.endsWith('/') || path.at(folder.size()) == '/'));
}

QByteArray Parent(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray Child(const QByteArray &folder, const char *name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// File systems where another computer's changes raise no events here.
bool NetworkFileSystem(const QByteArray &path)
{
    struct statfs fs;
    if (statfs(path.constData(), &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969UL:     // NFS
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case 0x564C0000UL: // NCP
    case 0x65735546UL: // FUSE (sshfs and the like)
    case 0x01021997UL: // 9P
    case 0x73757245UL: // Coda
    case 0x5346414FUL: // AFS
        return true;
    default:
        return false;
    }
}

struct TFileStamp {
    qint64 Size = 0;
    qint64 Modified = 0;
    bool operator==(const TFileStamp &o) const { return Size == o.Size && Modified == o.Modified; }
};

// A polled tree's MP3 files and folders as last seen.
struct TSnapshot {
    QHash<QByteArray, TFileStamp> Files;
    QSet<QByteArray> Folders;
};

// Lists a tree the way the import walks it: visible folders, visible *.mp3 files.
void TakeSnapshot(const QByteArray &root, TSnapshot &snapshot)
{
    std::set<std::pair<dev_t, ino_t>> visited;
    std::vector<QByteArray> pending{root};
    while (!pending.empty()) {
        const QByteArray folder = std::move(pending.back());
        pending.pop_back();
        DIR *dir = opendir(folder.constData());
        if (!dir)
            continue;
        struct stat own;
        if (fstat(dirfd(dir), &own) != 0 || !visited.insert({own.st_dev, own.st_ino}).second) {
            closedir(dir);
            continue;
        }
        snapshot.Folders.insert(folder);
        while (const dirent *entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            struct stat st;
            if (fstatat(dirfd(dir), entry->d_name, &st, 0) != 0)
                continue;
            const QByteArray path = Child(folder, entry->d_name);
            if (S_ISDIR(st.st_mode))
                pending.push_back(path);
            else if (S_ISREG(st.st_mode) && HasMp3Extension(path))
                snapshot.Files.insert(path, {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000 +
                                                                     st.st_mtim.tv_nsec / 1000000});
        }
        closedir(dir);
    }
}

class TInotifyWatcher : public TFolderWatcher
{
public:
    TInotifyWatcher();
    ~TInotifyWatcher() override;

    void Watch(const QStringList &Trees) override;
    void Flush() override;
    int WatchedFolders() const override { return int(m_folders.size()); }
    int PolledTrees() const override;
    void ForceOverflow() override;

private:
    enum class TState { Watching, Away, Polling };
    struct TRoot {
        QByteArray Path;
        TState State = TState::Away;
        bool MountPoint = false; // lies on another device than its parent folder
        bool Told = false;
        bool Present = false; // a polled tree: seen at the last walk
        TSnapshot Snapshot;
    };
    struct TFolder {
        QByteArray Path;
        int Root = 0;
        std::pair<dev_t, ino_t> Inode;
    };
    struct TRaw {
        uint32_t Mask = 0;
        uint32_t Cookie = 0;
        QByteArray Path;
        int Root = 0;
    };

    // Watches a folder and everything below it; false when the system's limit is reached.
    bool AddTree(int root, const QByteArray &folder);
    void RemoveTree(const QByteArray &folder);
    void RenameTree(const QByteArray &from, const QByteArray &to);
    void StartRoot(int root);
    void RootAway(int root);
    bool RootPresent(const TRoot &root) const;
    void Poll(int root, std::vector<TWatchEvent> &events);
    void ReadEvents();
    void Queue(TRaw raw);
    void CheckAway();
    void CheckAwayTimer();
    void PollAll();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_gather, m_away, m_poll;
    std::vector<TRoot> m_roots;
    std::unordered_map<int, TFolder> m_folders;
    QHash<QByteArray, int> m_byPath;
    std::set<std::pair<dev_t, ino_t>> m_inodes; // folders watched, so a link loop ends
    std::vector<TRaw> m_pending;
    std::vector<TWatchEvent> m_direct; // away and back, reported with the next batch
    bool m_overflow = false;
    QSet<int> m_touched; // roots with events since the last batch
};

TInotifyWatcher::TInotifyWatcher()
{
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { ReadEvents(); });
    }
    m_gather.setSingleShot(true);
    QObject::connect(&m_gather, &QTimer::timeout, [this] { Flush(); });
    QObject::connect(&m_away, &QTimer::timeout, [this] { CheckAway(); });
    QObject::connect(&m_poll, &QTimer::timeout, [this] { PollAll(); });
}

TInotifyWatcher::~TInotifyWatcher()
{
    m_notifier.reset();
    if (m_fd >= 0)
        close(m_fd);
}

int TInotifyWatcher::PolledTrees() const
{
    int n = 0;
    for (const TRoot &root : m_roots)
        n += root.State == TState::Polling ? 1 : 0;
    return n;
}

void TInotifyWatcher::Watch(const QStringList &Trees)
{
    for (const QString &tree : Trees) {
        TRoot root;
        root.Path = FileNameToBytes(tree);
        struct stat own, parent;
        root.MountPoint = stat(root.Path.constData(), &own) == 0 &&
                          stat(Parent(root.Path).constData(), &parent) == 0 &&
                          own.st_dev != parent.st_dev;
        m_roots.push_back(std::move(root));
        StartRoot(int(m_roots.size()) - 1);
    }
}

void TInotifyWatcher::CheckAwayTimer()
{
    // Nothing runs while every tree is there and nothing changes.
    // Stops at the first tree away: started one by one, many trees away cost no more each.
    const bool away = std::any_of(m_roots.begin(), m_roots.end(),
                                  [](const TRoot &root) { return root.State == TState::Away; });
    if (away && !m_away.isActive())
        m_away.start(AwayMs);
    else if (!away)
        m_away.stop();
}

void TInotifyWatcher::StartRoot(int index)
{
    TRoot &root = m_roots[size_t(index)];
    if (!RootPresent(root)) {
        root.State = TState::Away;
        CheckAwayTimer();
        return;
    }
    QString reason;
    if (m_fd < 0)
        reason = QStringLiteral("the system offers no folder watching here");
    else if (NetworkFileSystem(root.Path))
        reason = QStringLiteral("it lies on a network file system, whose changes from other "
                                "computers raise no events here");
    else if (!AddTree(index, root.Path)) {
        RemoveTree(root.Path);
        reason = QStringLiteral("the system's limit of watched folders is reached "
                                "(fs.inotify.max_user_watches)");
    }
    if (reason.isEmpty()) {
        root.State = TState::Watching;
        CheckAwayTimer();
        return;
    }
    root.State = TState::Polling;
    CheckAwayTimer();
    root.Snapshot = {};
    TakeSnapshot(root.Path, root.Snapshot);
    root.Present = true;
    if (!root.Told && OnNotice)
        OnNotice(QStringLiteral("\"%1\" is checked every %2 seconds instead of watched: %3")
                     .arg(ReadableFileName(FileNameFromBytes(root.Path)))
                     .arg(PollMs / 1000.0)
                     .arg(reason));
    root.Told = true;
    if (!m_poll.isActive())
        m_poll.start(PollMs);
}

bool TInotifyWatcher::RootPresent(const TRoot &root) const
{
    struct stat own, parent;
    if (stat(root.Path.constData(), &own) != 0 || !S_ISDIR(own.st_mode))
        return false;
    // An unmounted drive leaves its empty mount point behind.
    return !root.MountPoint ||
           (stat(Parent(root.Path).constData(), &parent) == 0 && own.st_dev != parent.st_dev);
}

bool TInotifyWatcher::AddTree(int root, const QByteArray &folder)
{
    std::vector<QByteArray> pending{folder};
    while (!pending.empty()) {
        const QByteArray path = std::move(pending.back());
        pending.pop_back();
        if (WatchLimit >= 0 && int(m_folders.size()) >= WatchLimit)
            return false;
        // The watch comes first, so nothing made in the folder while it is listed is missed.
        const int wd = inotify_add_watch(m_fd, path.constData(), FolderMask);
        if (wd < 0) {
            if (errno == ENOSPC)
                return false;
            continue; // gone meanwhile, or not to be entered
        }
        DIR *dir = opendir(path.constData());
        struct stat own;
        if (!dir || fstat(dirfd(dir), &own) != 0 ||
            !m_inodes.insert({own.st_dev, own.st_ino}).second) {
            // Gone meanwhile, or reached again through a link: the one watch keeps its name.
            if (dir)
                closedir(dir);
            if (m_folders.count(wd) == 0)
                inotify_rm_watch(m_fd, wd);
            continue;
        }
        if (const auto old = m_folders.find(wd); old != m_folders.end())
            m_byPath.remove(old->second.Path);
        m_folders[wd] = {path, root, {own.st_dev, own.st_ino}};
        m_byPath.insert(path, wd);
        while (const dirent *entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            unsigned char type = entry->d_type;
            if (type == DT_LNK || type == DT_UNKNOWN) {
                struct stat target;
                if (fstatat(dirfd(dir), entry->d_name, &target, 0) != 0)
                    continue;
                type = S_ISDIR(target.st_mode) ? DT_DIR : DT_REG;
            }
            if (type == DT_DIR)
                pending.push_back(Child(path, entry->d_name));
        }
        closedir(dir);
    }
    return true;
}

void TInotifyWatcher::RemoveTree(const QByteArray &folder)
{
    for (auto it = m_folders.begin(); it != m_folders.end();) {
        if (Under(it->second.Path, folder)) {
            inotify_rm_watch(m_fd, it->first);
            m_byPath.remove(it->second.Path);
            m_inodes.erase(it->second.Inode);
            it = m_folders.erase(it);
        } else {
            ++it;
        }
    }
}

void TInotifyWatcher::RenameTree(const QByteArray &from, const QByteArray &to)
{
    for (auto &[wd, watched] : m_folders) {
        if (!Under(watched.Path, from))
            continue;
        m_byPath.remove(watched.Path);
        watched.Path = to + watched.Path.mid(from.size());
        m_byPath.insert(watched.Path, wd);
    }
}

void TInotifyWatcher::RootAway(int index)
{
    TRoot &root = m_roots[size_t(index)];
    if (root.State != TState::Watching)
        return;
    RemoveTree(root.Path);
    root.State = TState::Away;
    CheckAwayTimer();
    m_direct.push_back({TWatchEventKind::Away, FileNameFromBytes(root.Path), {}, true});
    if (!m_gather.isActive())
        m_gather.start(GatherMs);
}

void TInotifyWatcher::CheckAway()
{
    for (int i = 0; i < int(m_roots.size()); ++i) {
        TRoot &root = m_roots[size_t(i)];
        if (root.State != TState::Away || !RootPresent(root))
            continue;
        StartRoot(i);
        if (root.State != TState::Away)
            m_direct.push_back({TWatchEventKind::Rescan, FileNameFromBytes(root.Path), {}, true});
    }
    if (!m_direct.empty())
        Flush();
}

void TInotifyWatcher::ReadEvents()
{
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t at = 0; at < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                m_overflow = true;
                continue;
            }
            const auto folder = m_folders.find(event->wd);
            if (folder == m_folders.end())
                continue; // a watch already dropped
            const int root = folder->second.Root;
            const bool isRoot = folder->second.Path == m_roots[size_t(root)].Path;
            if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
                if (isRoot)
                    RootAway(root);
                else if (event->mask & IN_IGNORED) {
                    m_byPath.remove(folder->second.Path);
                    m_inodes.erase(folder->second.Inode);
                    m_folders.erase(folder);
                }
                continue;
            }
            if (event->len == 0)
                continue;
            Queue({event->mask, event->cookie, Child(folder->second.Path, event->name), root});
        }
    }
    if (!m_pending.empty() && !m_gather.isActive())
        m_gather.start(GatherMs);
}

void TInotifyWatcher::Queue(TRaw raw)
{
    m_touched.insert(raw.Root);
    const bool folder = raw.Mask & IN_ISDIR;
    if (folder && (raw.Mask & (IN_CREATE | IN_MOVED_TO))) {
        // A folder's watches follow it at once, so what is made in it next is seen.
        const TRaw *from = nullptr;
        if (raw.Mask & IN_MOVED_TO)
            for (const TRaw &earlier : m_pending)
                if ((earlier.Mask & IN_MOVED_FROM) && earlier.Cookie == raw.Cookie)
                    from = &earlier;
        if (from && m_byPath.contains(from->Path) && !Hidden(raw.Path))
            RenameTree(from->Path, raw.Path);
        else if (from)
            RemoveTree(from->Path);
        if ((!from || !m_byPath.contains(raw.Path)) && !Hidden(raw.Path) &&
            !AddTree(raw.Root, raw.Path)) {
            // The limit is reached: the whole tree is polled from now on.
            TRoot &root = m_roots[size_t(raw.Root)];
            RemoveTree(root.Path);
            root.State = TState::Away;
            StartRoot(raw.Root);
            m_direct.push_back({TWatchEventKind::Rescan, FileNameFromBytes(root.Path), {}, true});
        }
    }
    m_pending.push_back(std::move(raw));
}

void TInotifyWatcher::ForceOverflow()
{
    ReadEvents();
    m_pending.clear();
    m_overflow = true;
    Flush();
}

void TInotifyWatcher::Flush()
{
    m_gather.stop();
    ReadEvents();
    std::vector<TWatchEvent> events;
    std::vector<bool> paired(m_pending.size(), false);
    for (size_t i = 0; i < m_pending.size(); ++i) {
        const TRaw &raw = m_pending[i];
        const bool folder = raw.Mask & IN_ISDIR;
        const QString path = FileNameFromBytes(raw.Path);
        if (raw.Mask & IN_MOVED_FROM) {
            size_t to = i + 1;
            while (to < m_pending.size() &&
                   !((m_pending[to].Mask & IN_MOVED_TO) && m_pending[to].Cookie == raw.Cookie))
                ++to;
            if (to < m_pending.size()) {
                paired[to] = true;
                const QByteArray &target = m_pending[to].Path;
                if (Hidden(raw.Path) && !Hidden(target))
                    events.push_back(
                        {TWatchEventKind::Changed, FileNameFromBytes(target), {}, folder});
                else if (!Hidden(raw.Path) && Hidden(target))
                    events.push_back({TWatchEventKind::Gone, path, {}, folder});
                else if (!Hidden(raw.Path))
                    events.push_back(
                        {TWatchEventKind::Moved, path, FileNameFromBytes(target), folder});
            } else {
                if (folder)
                    RemoveTree(raw.Path); // moved out: the watches would follow it
                if (!Hidden(raw.Path))
                    events.push_back({TWatchEventKind::Gone, path, {}, folder});
            }
        } else if (Hidden(raw.Path) || paired[i]) {
            continue;
        } else if (raw.Mask & IN_DELETE) {
            events.push_back({TWatchEventKind::Gone, path, {}, folder});
        } else if (folder && (raw.Mask & (IN_CREATE | IN_MOVED_TO))) {
            events.push_back({TWatchEventKind::Changed, path, {}, true});
        } else if (!folder && (raw.Mask & (IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB))) {
            events.push_back({TWatchEventKind::Changed, path, {}, false});
        }
    }
    m_pending.clear();
    if (m_overflow) {
        // Lost events may have renamed folders: the touched trees are watched and read anew.
        m_overflow = false;
        if (m_touched.isEmpty())
            for (int i = 0; i < int(m_roots.size()); ++i)
                m_touched.insert(i);
        for (const int i : std::as_const(m_touched)) {
            TRoot &root = m_roots[size_t(i)];
            if (root.State != TState::Watching)
                continue;
            RemoveTree(root.Path);
            root.State = TState::Away;
            StartRoot(i);
            events.push_back({TWatchEventKind::Rescan, FileNameFromBytes(root.Path), {}, true});
        }
    }
    m_touched.clear();

    // A file changed several times is looked at once, after the last.
    std::vector<TWatchEvent> kept;
    QSet<QString> seen;
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
        if (it->Kind == TWatchEventKind::Changed && !it->Folder && seen.contains(it->Path))
            continue;
        if (it->Kind == TWatchEventKind::Changed && !it->Folder)
            seen.insert(it->Path);
        kept.push_back(std::move(*it));
    }
    std::reverse(kept.begin(), kept.end());
    kept.insert(kept.begin(), m_direct.begin(), m_direct.end());
    m_direct.clear();
    if (!kept.empty() && OnEvents)
        OnEvents(kept);
}

void TInotifyWatcher::Poll(int index, std::vector<TWatchEvent> &events)
{
    TRoot &root = m_roots[size_t(index)];
    struct stat own;
    if (stat(root.Path.constData(), &own) != 0 || !S_ISDIR(own.st_mode)) {
        if (root.Present)
            events.push_back({TWatchEventKind::Away, FileNameFromBytes(root.Path), {}, true});
        root.Present = false;
        return;
    }
    TSnapshot now;
    TakeSnapshot(root.Path, now);
    if (!root.Present) {
        events.push_back({TWatchEventKind::Rescan, FileNameFromBytes(root.Path), {}, true});
    } else {
        for (auto it = root.Snapshot.Files.cbegin(); it != root.Snapshot.Files.cend(); ++it)
            if (!now.Files.contains(it.key()))
                events.push_back({TWatchEventKind::Gone, FileNameFromBytes(it.key()), {}, false});
        for (auto it = now.Files.cbegin(); it != now.Files.cend(); ++it) {
            const auto before = root.Snapshot.Files.constFind(it.key());
            if (before == root.Snapshot.Files.cend() || !(*before == it.value()))
                events.push_back(
                    {TWatchEventKind::Changed, FileNameFromBytes(it.key()), {}, false});
        }
    }
    root.Present = true;
    root.Snapshot = std::move(now);
}

void TInotifyWatcher::PollAll()
{
    std::vector<TWatchEvent> events;
    for (int i = 0; i < int(m_roots.size()); ++i)
        if (m_roots[size_t(i)].State == TState::Polling)
            Poll(i, events);
    if (!events.empty() && OnEvents)
        OnEvents(events);
}

} // namespace

std::unique_ptr<TFolderWatcher> MakeFolderWatcher()
{
    return std::make_unique<TInotifyWatcher>();
}

void SetFolderWatchLimit(int Limit)
{
    WatchLimit = Limit;
}
