#include "import/LibraryWatch.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/Database.h"
#include "data/SongMoves.h"
#include "data/SongRows.h"
#include "data/SongWriter.h"
#include "import/ImportWalker.h"
#include "import/Rescan.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <set>
#include <sys/stat.h>

namespace
{

// A file the import would take: a visible *.mp3.
bool ImportsAs(const QString &file)
{
    const QString name = file.mid(file.lastIndexOf(QLatin1Char('/')) + 1);
    return !name.startsWith(QLatin1Char('.')) &&
           name.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive);
}

QString Shown(const QString &file)
{
    return ReadableFileName(file);
}

QString FileNameOf(const QString &file)
{
    return file.mid(file.lastIndexOf(QLatin1Char('/')) + 1);
}

bool SameFacts(const TSongFacts &a, const TSongFacts &b)
{
    return a.Duration == b.Duration && a.Title == b.Title && a.Artist == b.Artist &&
           a.Album == b.Album && a.Comment == b.Comment && a.Year == b.Year && a.Track == b.Track &&
           a.Genre == b.Genre;
}

// Statements of a batch grouped in transactions of a few hundred rows or a second.
class TBatchTransaction
{
public:
    explicit TBatchTransaction(TConnection &connection) : m_connection(connection) {}
    void Row()
    {
        if (!m_transaction) {
            m_transaction = std::make_unique<TTransaction>(m_connection);
            m_age.start();
            m_rows = 0;
        }
    }
    void Done()
    {
        if (++m_rows >= RowsPerTransaction || m_age.elapsed() >= TransactionMs)
            Commit();
    }
    void Commit()
    {
        if (m_transaction)
            m_transaction->Commit();
        m_transaction.reset();
    }

private:
    TConnection &m_connection;
    std::unique_ptr<TTransaction> m_transaction;
    QElapsedTimer m_age;
    int m_rows = 0;
};

} // namespace

TLibraryWatch::TLibraryWatch(TConnection &Connection) : m_connection(Connection) {}

void TLibraryWatch::Tell(const QString &Line)
{
    if (OnAction)
        OnAction(Line);
}

void TLibraryWatch::Problem(const QString &File, const QString &Reason)
{
    ++m_counts.Failed;
    Tell(QStringLiteral("cannot handle \"%1\": %2").arg(Shown(File), Reason));
}

bool TLibraryWatch::Stopped()
{
    if (!m_stopped && KeepGoing && !KeepGoing())
        m_stopped = true;
    return m_stopped;
}

void TLibraryWatch::Apply(const std::vector<TWatchEvent> &Events)
{
    m_new.clear();
    m_newNames.clear();
    m_stopped = false;
    // Moves first, in the order they happened; then what is to be looked at.
    QStringList files;
    QStringList folders;
    for (const TWatchEvent &event : Events) {
        switch (event.Kind) {
        case TWatchEventKind::Moved:
            try {
                if (event.Folder)
                    MoveFolder(event.Path, event.NewPath);
                else
                    MoveFile(event.Path, event.NewPath);
            } catch (const EError &e) {
                Problem(event.NewPath, e.Message());
            }
            (event.Folder ? folders : files) << event.NewPath;
            break;
        case TWatchEventKind::Changed:
            (event.Folder ? folders : files) << event.Path;
            break;
        case TWatchEventKind::Rescan:
            folders << event.Path;
            break;
        case TWatchEventKind::Away:
            Tell(QStringLiteral("away: \"%1\"; its songs stay in the library")
                     .arg(Shown(event.Path)));
            break;
        case TWatchEventKind::Gone:
            break; // a gone file stays in the library: prune is the one way to remove songs
        }
    }
    try {
        QSet<QString> walked;
        for (const QString &folder : std::as_const(folders)) {
            if (Stopped())
                break;
            if (!walked.contains(folder)) {
                walked.insert(folder);
                Walk(folder);
            }
        }
        for (const QString &file : std::as_const(files)) {
            if (Stopped())
                break;
            Examine(file);
        }
        AddNewFiles();
    } catch (const EError &e) {
        m_new.clear();
        Tell(QStringLiteral("stopped this round: %1").arg(e.Message()));
        ++m_counts.Failed;
    }
    ++m_counts.Batches;
}

void TLibraryWatch::MoveFile(const QString &From, const QString &To)
{
    if (!ImportsAs(To))
        return; // renamed to something the import would not take: as though gone
    const std::optional<TStoredSong> song = StoredSongAt(m_connection, From);
    if (!song)
        return; // looked at as a new file
    if (const QString refusal = WidthRefusal(To); !refusal.isEmpty()) {
        Problem(To, refusal);
        return;
    }
    if (MoveSong(m_connection, song->RowId, To)) {
        ++m_counts.Moved;
        Tell(QStringLiteral("moved \"%1\" to \"%2\"").arg(Shown(From), Shown(To)));
    }
}

void TLibraryWatch::MoveFolder(const QString &From, const QString &To)
{
    const QString prefix = From + QLatin1Char('/');
    TBatchTransaction batch(m_connection);
    int moved = 0;
    for (const TStoredSong &song : StoredSongs(m_connection, From)) {
        const QString target = To + song.File.mid(From.size());
        if (!song.File.startsWith(prefix))
            continue;
        if (const QString refusal = WidthRefusal(target); !refusal.isEmpty()) {
            Problem(target, refusal);
            continue;
        }
        batch.Row();
        if (MoveSong(m_connection, song.RowId, target))
            ++moved;
        batch.Done();
    }
    batch.Commit();
    if (moved > 0) {
        m_counts.Moved += moved;
        Tell(QStringLiteral("moved %1 songs of \"%2\" to \"%3\"")
                 .arg(moved)
                 .arg(Shown(From), Shown(To)));
    }
}

void TLibraryWatch::Walk(const QString &Folder)
{
    // One pass over the stored songs of the tree rather than one statement per file.
    QHash<QString, TStoredSong> stored;
    for (TStoredSong &song : StoredSongs(m_connection, Folder))
        stored.insert(song.File, std::move(song));
    std::set<std::pair<quint64, quint64>> visited;
    std::vector<QString> pending{Folder};
    while (!pending.empty() && !Stopped()) {
        const QString folder = pending.back();
        pending.pop_back();
        TFolderListing listing;
        try {
            listing = ListFolder(folder);
        } catch (const EError &e) {
            if (folder != Folder)
                Problem(folder, e.Message());
            continue;
        }
        if (!visited.insert(listing.Id).second)
            continue;
        for (const QString &name : std::as_const(listing.Files)) {
            if (Stopped())
                return;
            const QString file = ImportFileName(folder, name);
            const auto song = stored.constFind(file);
            if (song == stored.cend())
                Examine(file);
            else
                ExamineKnown(file, song->RowId, song->Size, song->Modified);
        }
        for (auto it = listing.Folders.crbegin(); it != listing.Folders.crend(); ++it)
            pending.push_back(ImportSubfolder(folder, *it));
    }
}

void TLibraryWatch::Examine(const QString &File)
{
    if (!ImportsAs(File))
        return;
    if (const std::optional<TStoredSong> song = StoredSongAt(m_connection, File))
        ExamineKnown(File, song->RowId, song->Size, song->Modified);
    else
        ExamineKnown(File, 0, std::nullopt, std::nullopt);
}

void TLibraryWatch::ExamineKnown(const QString &File, qint64 RowId, std::optional<qint64> Size,
                                 std::optional<qint64> Modified)
{
    const TFileStatus status = FileStatus(File);
    if (!status.Exists || !status.IsFile)
        return; // gone again, or not a file: nothing to store
    if (RowId == 0) {
        if (!m_newNames.contains(File)) {
            m_newNames.insert(File);
            m_new.push_back({File, status.Size, status.ModifiedMs});
        }
        return;
    }
    if (Size == status.Size && Modified == status.ModifiedMs)
        return;
    TSongFacts facts;
    try {
        facts = ReadSongFacts(File);
    } catch (const EError &e) {
        Problem(File, e.Message());
        return;
    }
    TTransaction transaction(m_connection);
    UpdateSongFacts(m_connection, RowId, facts, status.Size, status.ModifiedMs);
    transaction.Commit();
    ++m_counts.Updated;
    Tell(QStringLiteral("updated \"%1\"").arg(Shown(File)));
}

struct TLibraryWatch::TReadFile {
    TNewFile File;
    TSongFacts Facts;
};

void TLibraryWatch::AddNewFiles()
{
    if (m_new.empty())
        return;
    // Each new file is read once; one that matches a song whose file is gone by size, length
    // and tags is that song moved, and takes its row.
    std::vector<TReadFile> read = ReadNewFiles();
    InsertNewFiles(TakeMovedFiles(read));
}

std::vector<TLibraryWatch::TReadFile> TLibraryWatch::ReadNewFiles()
{
    std::vector<TReadFile> read;
    for (const TNewFile &file : m_new) {
        if (Stopped())
            break;
        try {
            read.push_back({file, ReadSongFacts(file.File)});
        } catch (const EError &e) {
            Problem(file.File, e.Message());
        }
    }
    m_new.clear();
    m_newNames.clear();
    return read;
}

std::vector<TLibraryWatch::TReadFile> TLibraryWatch::TakeMovedFiles(std::vector<TReadFile> &read)
{
    QList<qint64> sizes;
    for (const TReadFile &file : read)
        sizes << file.File.Size;
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    std::vector<TSongLikeness> candidates;
    if (!sizes.isEmpty())
        candidates = SongsOfSizes(m_connection, sizes);
    QHash<qint64, bool> gone; // by row, asked once
    QSet<qint64> taken;
    const auto isGone = [&](const TSongLikeness &song) {
        const auto known = gone.constFind(song.RowId);
        if (known != gone.cend())
            return *known;
        return gone[song.RowId] = FileGone(song.File);
    };

    std::vector<TReadFile> fresh;
    TBatchTransaction batch(m_connection);
    for (TReadFile &file : read) {
        const TSongLikeness *match = nullptr;
        for (const TSongLikeness &song : candidates) {
            if (taken.contains(song.RowId) || !SameFacts(song.Facts, file.Facts) || !isGone(song))
                continue;
            // The same name wins over others alike.
            if (!match || (FileNameOf(song.File) == FileNameOf(file.File.File) &&
                           FileNameOf(match->File) != FileNameOf(file.File.File)))
                match = &song;
        }
        if (!match || !WidthRefusal(file.File.File).isEmpty()) {
            fresh.push_back(std::move(file));
            continue;
        }
        batch.Row();
        if (MoveSong(m_connection, match->RowId, file.File.File)) {
            UpdateSongFacts(m_connection, match->RowId, file.Facts, file.File.Size,
                            file.File.Modified);
            taken.insert(match->RowId);
            ++m_counts.Moved;
            Tell(QStringLiteral("moved \"%1\" to \"%2\"")
                     .arg(Shown(match->File), Shown(file.File.File)));
        }
        batch.Done();
    }
    batch.Commit();
    return fresh;
}

void TLibraryWatch::InsertNewFiles(const std::vector<TReadFile> &fresh)
{
    TSongWriter writer(m_connection);
    const auto commit = [&] {
        try {
            writer.Commit();
        } catch (const EError &) {
        }
        for (const QString &name : writer.TakeDuplicates()) {
            --m_counts.Imported;
            Tell(QStringLiteral("already in the library: \"%1\"").arg(Shown(name)));
        }
        for (const QString &name : writer.TakeLost()) {
            --m_counts.Imported;
            Problem(name, QStringLiteral("the library undid the row"));
        }
    };
    for (const TReadFile &file : fresh) {
        if (Stopped())
            break;
        try {
            if (const QString refusal = WidthRefusal(file.File.File); !refusal.isEmpty())
                throw EDatabaseError(refusal);
            if (writer.InsertSong(file.File.File, file.Facts, file.Facts.Duration)) {
                ++m_counts.Imported;
                Tell(QStringLiteral("imported \"%1\"").arg(Shown(file.File.File)));
            }
        } catch (const ELibraryUnwritable &) {
            commit();
            throw;
        } catch (const EError &e) {
            commit();
            Problem(file.File.File, e.Message());
        }
        if (writer.CommitDue())
            commit();
    }
    commit();
}

QStringList LibraryTrees(TConnection &Connection)
{
    const auto under = [](const QString &path, const QString &folder) {
        return path == folder || folder == QLatin1String("/") ||
               path.startsWith(folder + QLatin1Char('/'));
    };
    // The folder's device; nothing when it is away.
    const auto device = [](const QString &folder) -> std::optional<quint64> {
        struct stat st;
        if (stat(FileNameToBytes(folder).constData(), &st) != 0)
            return std::nullopt;
        return quint64(st.st_dev);
    };
    const QString home = QDir::homePath();
    QStringList trees;
    std::optional<quint64> lastDevice;
    // The folders come each before those below it, so a folder is either below the last tree
    // or starts another.
    ForEachSongFolder(Connection, [&](QString folder) {
        while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
            folder.chop(1);
        if (!folder.startsWith(QLatin1Char('/')) ||
            (!trees.isEmpty() && under(folder, trees.last())))
            return;
        const auto folderDevice = device(folder);
        if (trees.isEmpty()) {
            trees << folder;
            lastDevice = folderDevice;
            return;
        }
        // The folder both share, unless that is too wide a tree to watch: on one device, or
        // away with both of them (a drive that is not there holds them all).
        const QStringList a = trees.last().split(QLatin1Char('/'));
        const QStringList b = folder.split(QLatin1Char('/'));
        qsizetype common = 0;
        while (common < a.size() && common < b.size() && a[common] == b[common])
            ++common;
        const QString shared = QStringList(a.mid(0, common)).join(QLatin1Char('/'));
        bool merge = false;
        std::optional<quint64> sharedDevice;
        if (common >= 3 && shared != home) {
            struct stat st;
            if (stat(FileNameToBytes(shared).constData(), &st) == 0) {
                sharedDevice = quint64(st.st_dev);
                merge = sharedDevice == lastDevice && sharedDevice == folderDevice;
            } else {
                merge = errno == ENOENT || errno == ENOTDIR; // so both below it are away too
            }
        }
        if (merge) {
            trees.last() = shared;
            lastDevice = sharedDevice;
        } else {
            trees << folder;
            lastDevice = folderDevice;
        }
    });
    trees.removeDuplicates(); // a folder stored both with and without its final separator
    return trees;
}
