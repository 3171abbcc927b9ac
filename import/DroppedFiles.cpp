#include "import/DroppedFiles.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/Database.h"
#include "data/SongRows.h"
#include "data/SongWriter.h"
#include "import/ImportWalker.h"
#include "import/PlaylistImport.h"

#include <QDir>
#include <algorithm>

namespace
{
QString Shown(const QString &name)
{
    return QDir::toNativeSeparators(ReadableFileName(name));
}
} // namespace

TDroppedImport ImportDroppedFiles(TConnection &connection, const QStringList &files)
{
    TDroppedImport result;
    for (const QString &file : files) {
        if (FileStatus(file).IsFolder) {
            TImportWalker walker(connection);
            walker.OnProblem = [&](const TImportProblem &problem) {
                result.Problems << ImportProblemText(problem, Shown(problem.Name), problem.Reason);
            };
            walker.ImportFolder(file);
            result.Imported += walker.Counts().Imported;
            result.Existing += walker.Counts().Existing;
            result.Failed += walker.Counts().Failed;
            QString folder = file;
            if (!folder.endsWith(QLatin1Char('/')))
                folder += QLatin1Char('/');
            std::vector<TStoredSong> songs = StoredSongs(connection, folder);
            std::sort(songs.begin(), songs.end(),
                      [](const TStoredSong &a, const TStoredSong &b) { return a.File < b.File; });
            for (const TStoredSong &song : songs)
                result.Songs << song.RowId;
            continue;
        }
        // A file the library refuses undoes only itself.
        TTransaction transaction(connection);
        TSongWriter writer(connection);
        QString problem;
        bool imported = false;
        const std::optional<qint64> song = SongOfFile(connection, writer, file, problem, imported);
        transaction.Commit();
        if (!song) {
            ++result.Failed;
            result.Problems << QStringLiteral("%1: %2").arg(Shown(file), problem);
            continue;
        }
        ++(imported ? result.Imported : result.Existing);
        result.Songs << *song;
    }
    return result;
}
