#include "base/Errors.h"
#include "base/FileNames.h"
#include "cli/Verbs.h"
#include "data/AbsentTrees.h"
#include "data/DataSet.h"
#include "data/SongRows.h"
#include "import/Rescan.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
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

namespace
{

// A folder as the shell takes it back.
QString ShellQuoted(const QString &folder)
{
    QString quoted = EscapeField(ReadableFileName(folder));
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// Names each folder that is away as a whole, whose songs are kept.
void TellAbsent(const TMissingSongs &missing, const QStringList &named)
{
    for (auto it = missing.Absent.cbegin(); it != missing.Absent.cend(); ++it) {
        if (InFolders(it.key() + QStringLiteral("/x"), named))
            continue;
        Err(QStringLiteral("quillmere-lib: \"%1\" is absent (a drive or share that is not "
                           "mounted?): its %2 songs are kept; prune --yes --absent %3 removes "
                           "them\n")
                .arg(EscapeField(ReadableFileName(it.key())))
                .arg(it.value().size())
                .arg(ShellQuoted(it.key())));
    }
}

} // namespace

int VerbMissing(const TCliContext &context)
{
    if (!context.Args.isEmpty())
        throw TUsageError{QStringLiteral("usage: missing")};
    TConnection connection;
    OpenLibrary(connection, context.LibraryFile);
    const TMissingSongs missing = FindMissingSongs(connection);
    TDataSet songs(&connection);
    OpenSongs(songs, missing.Gone);
    PrintTable(songs);
    TellAbsent(missing, {});
    return 0;
}

int VerbPrune(const TCliContext &context)
{
    bool yes = false;
    QStringList named;
    for (qsizetype i = 0; i < context.Args.size(); ++i) {
        const QString &arg = context.Args.at(i);
        if (arg == QLatin1String("--yes"))
            yes = true;
        else if (arg == QLatin1String("--absent") && i + 1 < context.Args.size())
            named << QDir::cleanPath(QFileInfo(context.Args.at(++i)).absoluteFilePath());
        else
            throw TUsageError{QStringLiteral("usage: prune [--yes] [--absent FOLDER]...")};
    }
    TConnection connection;
    OpenLibrary(connection, context.LibraryFile);
    const TMissingSongs found = FindMissingSongs(connection);
    // Songs of an absent folder go only when a folder named holds them.
    QList<qint64> doomed = found.Prunable;
    for (auto it = found.Absent.cbegin(); it != found.Absent.cend(); ++it) {
        for (const qint64 row : it.value()) {
            if (InFolders(found.Files.value(row), named))
                doomed << row;
        }
    }
    std::sort(doomed.begin(), doomed.end());
    for (const QString &folder : std::as_const(named)) {
        bool any = false;
        for (auto it = found.Absent.cbegin(); it != found.Absent.cend() && !any; ++it)
            any = InFolders(it.key() + QStringLiteral("/x"), {folder}) ||
                  InFolders(folder + QStringLiteral("/x"), {it.key()});
        if (!any)
            Err(QStringLiteral("quillmere-lib: no absent folder lies at \"%1\"\n")
                    .arg(EscapeField(ReadableFileName(folder))));
    }
    if (!yes) {
        TDataSet songs(&connection);
        OpenSongs(songs, doomed);
        PrintTable(songs);
        TellAbsent(found, named);
        const TPruneCounts n = PlannedPrune(connection, doomed);
        Err(QStringLiteral("quillmere-lib: would remove %1 songs and %2 entries of %3 "
                           "playlists; prune --yes removes them\n")
                .arg(n.Songs)
                .arg(n.Entries)
                .arg(n.Playlists));
        return 0;
    }
    RequireWritable(connection);
    const TPruneCounts n = PruneSongs(connection, doomed, [&](const QString &file) {
        return FileGone(file) && (AbsentFolder(file).isEmpty() || InFolders(file, named));
    });
    TellAbsent(found, named);
    if (n.Songs < doomed.size())
        Err(QStringLiteral("quillmere-lib: kept %1 songs whose files are there again\n")
                .arg(doomed.size() - n.Songs));
    Out(QStringLiteral("removed %1 songs and %2 entries of %3 playlists\n")
            .arg(n.Songs)
            .arg(n.Entries)
            .arg(n.Playlists));
    return 0;
}
