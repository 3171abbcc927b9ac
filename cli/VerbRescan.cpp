#include "base/Errors.h"
#include "base/FileNames.h"
#include "cli/Verbs.h"
#include "data/DataSet.h"
#include "import/Rescan.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <csignal>
#include <unistd.h>

namespace
{

volatile std::sig_atomic_t Interrupted = 0;

void OnInterrupt(int)
{
    Interrupted = 1;
}

} // namespace

int VerbRescan(const TCliContext &context)
{
    if (context.Args.size() > 1 ||
        (!context.Args.isEmpty() && context.Args.first().startsWith(QLatin1String("--"))))
        throw TUsageError{QStringLiteral("usage: rescan [FOLDER]")};
    const QString folder =
        context.Args.isEmpty()
            ? QString()
            : QDir::cleanPath(QFileInfo(context.Args.first()).absoluteFilePath());

    TConnection connection;
    OpenLibrary(connection, context.LibraryFile);
    RequireWritable(connection);

    const bool terminal = isatty(STDERR_FILENO) == 1;
    bool progressShown = false;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    const auto onProblem = [&](const QString &file, const QString &reason) {
        if (progressShown)
            Err(QStringLiteral("\r\x1b[K"));
        Err(QStringLiteral("quillmere-lib: cannot read \"%1\": %2\n")
                .arg(EscapeField(QDir::toNativeSeparators(ReadableFileName(file))), reason));
    };
    const auto keepGoing = [&](const TRescanCounts &n) {
        if (terminal && sinceProgress.elapsed() >= 100) {
            Err(QStringLiteral("\rupdated %1, unchanged %2, missing %3\x1b[K")
                    .arg(n.Updated)
                    .arg(n.Unchanged)
                    .arg(n.Missing));
            progressShown = true;
            sinceProgress.restart();
        }
        return Interrupted == 0;
    };

    // Ctrl+C stops after the file at hand; what was updated stays.
    Interrupted = 0;
    const auto previous = std::signal(SIGINT, OnInterrupt);
    TRescanCounts n;
    try {
        n = RescanSongs(connection, folder, onProblem, keepGoing);
    } catch (...) {
        std::signal(SIGINT, previous);
        throw;
    }
    std::signal(SIGINT, previous);
    if (progressShown)
        Err(QStringLiteral("\r\x1b[K"));
    if (Interrupted)
        Err(QStringLiteral("quillmere-lib: stopped; run again to rescan the rest\n"));
    QString text = QStringLiteral("updated %1, unchanged %2, missing %3")
                       .arg(n.Updated)
                       .arg(n.Unchanged)
                       .arg(n.Missing);
    if (n.Failed > 0)
        text += QStringLiteral(", failed %1").arg(n.Failed);
    Out(text + QLatin1Char('\n'));
    return n.Failed > 0 || Interrupted ? 1 : 0;
}

int VerbMissing(const TCliContext &context)
{
    if (!context.Args.isEmpty())
        throw TUsageError{QStringLiteral("usage: missing")};
    TConnection connection;
    OpenLibrary(connection, context.LibraryFile);
    TDataSet songs(&connection);
    OpenSongs(songs, MissingSongs(connection));
    PrintTable(songs);
    return 0;
}

int VerbPrune(const TCliContext &context)
{
    const bool yes = context.Args == QStringList{QStringLiteral("--yes")};
    if (!yes && !context.Args.isEmpty())
        throw TUsageError{QStringLiteral("usage: prune [--yes]")};
    TConnection connection;
    OpenLibrary(connection, context.LibraryFile);
    const QList<qint64> missing = MissingSongs(connection);
    if (!yes) {
        TDataSet songs(&connection);
        OpenSongs(songs, missing);
        PrintTable(songs);
        const TPruneCounts n = PlannedPrune(connection, missing);
        Err(QStringLiteral("quillmere-lib: would remove %1 songs and %2 entries of %3 "
                           "playlists; prune --yes removes them\n")
                .arg(n.Songs)
                .arg(n.Entries)
                .arg(n.Playlists));
        return 0;
    }
    RequireWritable(connection);
    const TPruneCounts n = PruneSongs(connection, missing);
    Out(QStringLiteral("removed %1 songs and %2 entries of %3 playlists\n")
            .arg(n.Songs)
            .arg(n.Entries)
            .arg(n.Playlists));
    return 0;
}
