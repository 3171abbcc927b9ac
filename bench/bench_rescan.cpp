#include "base/FileNames.h"
#include "bench/BenchLibrary.h"
#include "data/Database.h"
#include "import/ImportWalker.h"
#include "import/Rescan.h"
#include "tests/support/SilentMp3.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace
{

constexpr int Folders = 50;
constexpr int FilesPerFolder = 100;
constexpr int Files = Folders * FilesPerFolder;

QTemporaryDir *Scratch = nullptr;

// 5,000 small files in 50 folders, half with an Info header and an ID3v1 tag, imported and
// rescanned once so that every row holds its file's size and time.
struct TRescanLibrary {
    QString Root;
    QString Library;
    std::vector<QByteArray> FileNames;
};

const TRescanLibrary &Library()
{
    static TRescanLibrary library;
    if (!library.Root.isEmpty())
        return library;
    library.Root = Scratch->filePath(QStringLiteral("music"));
    for (int f = 0; f < Folders; ++f) {
        const QString folder =
            library.Root + QStringLiteral("/Album %1").arg(f, 2, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        for (int n = 0; n < FilesPerFolder; ++n) {
            SilentMp3Options o;
            o.Frames = 40;
            o.Header = n % 2 ? SilentMp3Options::XingHeader : SilentMp3Options::NoHeader;
            o.Id3v1 = n % 2 == 1;
            const QString file =
                folder + QStringLiteral("/%1 Track.mp3").arg(n, 3, 10, QLatin1Char('0'));
            WriteSilentMp3(file, o);
            library.FileNames.push_back(FileNameToBytes(file));
        }
    }
    library.Library = Scratch->filePath(QStringLiteral("rescan.mdb"));
    CreateLibrary(library.Library);
    TConnection connection;
    connection.ConnectionString = QStringLiteral("Data Source=") + library.Library;
    connection.Open();
    TImportWalker walker(connection);
    walker.ImportFolder(library.Root);
    RescanSongs(connection, QString());
    return library;
}

TRescanCounts Rescan(const QString &libraryFile)
{
    TConnection connection;
    connection.ConnectionString = QStringLiteral("Data Source=") + libraryFile;
    connection.Open();
    return RescanSongs(connection, QString());
}

void BM_RescanUnchangedFiles(benchmark::State &state)
{
    const TRescanLibrary &library = Library();
    for (auto _ : state) {
        const TRescanCounts n = Rescan(library.Library);
        if (n.Unchanged != Files) {
            state.SkipWithError("not every file was unchanged");
            break;
        }
    }
    state.counters["files_per_second"] =
        benchmark::Counter(double(Files), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_RescanUnchangedFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// Every file with a new modification time, as after a tagger went over the whole collection.
void BM_RescanChangedFiles(benchmark::State &state)
{
    const TRescanLibrary &library = Library();
    // Benchmark runs the function more than once: every run goes on counting.
    static time_t stamp = 1600000000;
    for (auto _ : state) {
        state.PauseTiming();
        ++stamp;
        const timespec times[2] = {{stamp, 0}, {stamp, 0}};
        for (const QByteArray &file : library.FileNames)
            if (utimensat(AT_FDCWD, file.constData(), times, 0) != 0)
                state.SkipWithError("cannot set a file's time");
        state.ResumeTiming();
        const TRescanCounts n = Rescan(library.Library);
        if (n.Updated != Files) {
            state.SkipWithError("not every file was updated");
            break;
        }
    }
    state.counters["files_per_second"] =
        benchmark::Counter(double(Files), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_RescanChangedFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return RunBenchmarks(argc, argv, Scratch);
}
