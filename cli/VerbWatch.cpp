#include "base/Errors.h"
#include "base/FileNames.h"
#include "cli/Verbs.h"
#include "data/Database.h"
#include "import/LibraryWatch.h"
#include "platform/FolderWatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{

volatile std::sig_atomic_t Interrupted = 0;
int WakePipe[2] = {-1, -1};

void OnSignal(int)
{
    Interrupted = 1;
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(WakePipe[1], &byte, 1);
}

} // namespace

int VerbWatch(const TCliContext &context)
{
    for (const QString &arg : context.Args)
        if (arg.startsWith(QLatin1String("--")))
            throw TUsageError{QStringLiteral("usage: watch [FOLDER...]")};
    TConnection connection;
    OpenLibrary(connection, context.LibraryFile);
    RequireWritable(connection);

    QStringList trees;
    for (const QString &arg : context.Args)
        trees << QDir::cleanPath(QFileInfo(arg).absoluteFilePath());
    if (trees.isEmpty())
        trees = LibraryTrees(connection);
    if (trees.isEmpty())
        throw TUsageError{QStringLiteral("the library holds no songs: name the folders to watch "
                                         "(watch FOLDER...)")};

    TLibraryWatch watch(connection);
    watch.OnAction = [](const QString &line) { Out(EscapeField(line) + QLatin1Char('\n')); };
    watch.KeepGoing = [] { return Interrupted == 0; };
    std::unique_ptr<TFolderWatcher> watcher = MakeFolderWatcher();
    watcher->OnNotice = [](const QString &notice) {
        Err(QStringLiteral("quillmere-lib: %1\n").arg(TerminalSafe(notice)));
    };
    watcher->OnEvents = [&](const std::vector<TWatchEvent> &events) {
        if (Interrupted == 0)
            watch.Apply(events);
        std::fflush(stdout);
    };

    // SIGTERM and Ctrl+C end the watch between two files; what was done stays.
    Interrupted = 0;
    if (pipe2(WakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw EInOutError(QStringLiteral("Cannot watch: %1").arg(qt_error_string(errno)), errno);
    QSocketNotifier wake(WakePipe[0], QSocketNotifier::Read);
    QObject::connect(&wake, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    const auto previousInt = std::signal(SIGINT, OnSignal);
    const auto previousTerm = std::signal(SIGTERM, OnSignal);

    watcher->Watch(trees);
    for (const QString &tree : std::as_const(trees))
        Err(QStringLiteral("quillmere-lib: watching \"%1\"\n")
                .arg(EscapeField(ReadableFileName(tree))));
    Err(QStringLiteral("quillmere-lib: watching %1 folders in %2 trees; Ctrl+C ends\n")
            .arg(watcher->WatchedFolders())
            .arg(trees.size()));
    if (Interrupted == 0)
        QCoreApplication::exec();

    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    close(WakePipe[0]);
    close(WakePipe[1]);
    const TWatchCounts &n = watch.Counts();
    Out(QStringLiteral("imported %1, moved %2, updated %3, failed %4\n")
            .arg(n.Imported)
            .arg(n.Moved)
            .arg(n.Updated)
            .arg(n.Failed));
    return 0;
}
