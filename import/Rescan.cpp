#include "import/Rescan.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/Database.h"
#include "data/SongWriter.h"
#include "import/ImportWalker.h"

#include <QElapsedTimer>
#include <cerrno>
#include <memory>

TSongFacts ReadSongFacts(const QString &fileName)
{
    TSongFacts facts;
    static_cast<TSongTags &>(facts) = ReadSongTags(fileName);
    facts.Duration = GetSongLength(fileName);
    return facts;
}

TRescanCounts RescanSongs(TConnection &connection, const QString &folder,
                          const std::function<void(const QString &, const QString &)> &onProblem,
                          const std::function<bool(const TRescanCounts &)> &keepGoing)
{
    TRescanCounts counts;
    std::unique_ptr<TTransaction> transaction;
    int rows = 0;
    QElapsedTimer age;
    const auto commit = [&] {
        if (transaction)
            transaction->Commit();
        transaction.reset();
        rows = 0;
    };
    const auto problem = [&](const QString &file, const QString &reason) {
        ++counts.Failed;
        if (onProblem)
            onProblem(file, reason);
    };
    for (const TStoredSong &song : StoredSongs(connection, folder)) {
        const TFileStatus status = FileStatus(song.File);
        if (!status.Exists) {
            if (FileGone(song.File))
                ++counts.Missing;
            else
                problem(song.File, FileErrorText(status.Error));
            continue;
        }
        if (song.Size == status.Size && song.Modified == status.ModifiedMs) {
            ++counts.Unchanged;
            continue;
        }
        if (!status.IsFile) {
            problem(song.File, FileErrorText(status.IsFolder ? EISDIR : NotRegularFile));
            continue;
        }
        // The stamps are taken before the read, so a change meanwhile is seen next time.
        TSongFacts facts;
        try {
            facts = ReadSongFacts(song.File);
        } catch (const EError &e) {
            problem(song.File, e.Message());
            continue;
        }
        if (!transaction) {
            transaction = std::make_unique<TTransaction>(connection);
            age.start();
        }
        UpdateSongFacts(connection, song.RowId, facts, status.Size, status.ModifiedMs);
        ++counts.Updated;
        if (++rows >= RowsPerTransaction || age.elapsed() >= TransactionMs)
            commit();
        if (keepGoing && !keepGoing(counts))
            break;
    }
    commit();
    return counts;
}
