#include "base/Errors.h"
#include "cli/Verbs.h"
#include "data/Database.h"
#include "import/ImportWalker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <csignal>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{

volatile std::sig_atomic_t Interrupted = 0;

void OnInterrupt(int)
{
    Interrupted = 1;
}

// The closing lines of an import; the exit status says whether anything went wrong.
int ReportTotals(const TImportWalker &walker)
{
    const TImportCounts &n = walker.Counts();
    if (walker.Stopped())
        Err(QStringLiteral("quillmere-lib: stopped; run again to import the rest\n"));
    if (n.NotFiles > 0)
        Err(QStringLiteral("quillmere-lib: passed over %1 entries named *.mp3 that are not "
                           "regular files (FIFOs, devices, sockets)\n")
                .arg(n.NotFiles));
    Out(QStringLiteral("imported %1, existing %2, failed %3\n")
            .arg(n.Imported)
            .arg(n.Existing)
            .arg(n.Failed));
    return n.Failed > 0 || n.FoldersUnreadable > 0 || walker.Stopped() ? 1 : 0;
}

} // namespace

int VerbImport(const TCliContext &context)
{
    if (context.Args.size() != 1)
        throw TUsageError{QStringLiteral("usage: import FOLDER")};
    const QString folder = QDir::cleanPath(QFileInfo(context.Args.first()).absoluteFilePath());

    TConnection connection;
    OpenLibrary(connection, context.LibraryFile);

    const bool terminal = isatty(STDERR_FILENO) == 1;
    bool progressShown = false;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    TImportWalker walker(connection);
    auto showProgress = [&] {
        const TImportCounts &n = walker.Counts();
        Err(QStringLiteral("\r%1/%2 files, imported %3, existing %4, failed %5\x1b[K")
                .arg(n.Done)
                .arg(n.Found)
                .arg(n.Imported)
                .arg(n.Existing)
                .arg(n.Failed));
        progressShown = true;
        sinceProgress.restart();
    };
    auto print = [&](const TImportProblem &problem) {
        if (progressShown)
            Err(QStringLiteral("\r\x1b[K"));
        Err(QStringLiteral("quillmere-lib: ") +
            ImportProblemText(problem, EscapeField(problem.Name), TerminalSafe(problem.Reason)) +
            QLatin1Char('\n'));
    };
    // Rows undone with their batch are named, unless the import stops there: then one line.
    std::vector<TImportProblem> lost;
    walker.OnProblem = [&](const TImportProblem &problem) {
        if (problem.Kind == TImportProblemKind::RowLost)
            lost.push_back(problem);
        else
            print(problem);
    };
    walker.KeepGoing = [&] {
        for (const TImportProblem &problem : std::exchange(lost, {}))
            print(problem);
        if (terminal && sinceProgress.elapsed() >= 100)
            showProgress();
        return Interrupted == 0;
    };

    // Ctrl+C stops after the file at hand; what was added stays.
    Interrupted = 0;
    const auto previous = std::signal(SIGINT, OnInterrupt);
    try {
        walker.ImportFolder(folder);
    } catch (const ELibraryUnwritable &) {
        std::signal(SIGINT, previous);
        if (progressShown)
            Err(QStringLiteral("\r\x1b[K"));
        if (!lost.empty())
            Err(QStringLiteral("quillmere-lib: %1 files of the last batch were not stored; "
                               "importing again adds them\n")
                    .arg(lost.size()));
        throw;
    }
    std::signal(SIGINT, previous);
    for (const TImportProblem &problem : std::exchange(lost, {}))
        print(problem);

    if (terminal && progressShown) {
        showProgress();
        Err(QStringLiteral("\n"));
    }
    return ReportTotals(walker);
}
