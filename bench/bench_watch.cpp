// Following a large collection: 500,000 songs in 50,000 album folders, watched with inotify.
#include "base/FileNames.h"
#include "bench/BenchLibrary.h"
#include "data/Database.h"
#include "import/LibraryWatch.h"
#include "platform/FolderWatcher.h"
#include "tests/support/SilentMp3.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace
{

constexpr int Artists = 250;
constexpr int AlbumsPerArtist = 200;
constexpr int SongsPerAlbum = 10;
constexpr int Folders = Artists * AlbumsPerArtist;

QTemporaryDir *Scratch = nullptr;

QString AlbumFolder(const QString &root, int album)
{
    return root + QStringLiteral("/Artist %1/Album %2")
                      .arg(album / AlbumsPerArtist, 3, 10, QLatin1Char('0'))
                      .arg(album % AlbumsPerArtist, 3, 10, QLatin1Char('0'));
}

// The tree (empty stand-ins for the songs: watching never reads them) and a library that
// lists every one of them; made once.
struct TCollection {
    QString Root;
    QString Library;
};

const TCollection &Collection()
{
    static TCollection collection;
    if (!collection.Root.isEmpty())
        return collection;
    collection.Root = Scratch->filePath(QStringLiteral("music"));
    collection.Library = Scratch->filePath(QStringLiteral("watch.mdb"));
    CreateLibrary(collection.Library);
    TConnection connection;
    connection.ConnectionString = QStringLiteral("Data Source=") + collection.Library;
    connection.Open();
    TTransaction transaction(connection);
    TStatement insert(connection,
                      QStringLiteral("INSERT INTO Playlist_DB(Path, Filename, Duration, FileType, "
                                     "ID3_Genre, File_Size, File_Modified) VALUES(:path, :name, "
                                     "1, 1, 255, 0, 0)"));
    const int path = insert.Parameter(QStringLiteral("path"));
    const int name = insert.Parameter(QStringLiteral("name"));
    for (int album = 0; album < Folders; ++album) {
        const QString folder = AlbumFolder(collection.Root, album);
        QDir().mkpath(folder);
        for (int song = 0; song < SongsPerAlbum; ++song) {
            const QString file = QStringLiteral("%1 Track.mp3").arg(song, 2, 10, QLatin1Char('0'));
            const int fd = open(FileNameToBytes(folder + QLatin1Char('/') + file).constData(),
                                O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0)
                close(fd);
            insert.Bind(path, folder + QLatin1Char('/'));
            insert.Bind(name, file);
            insert.Step();
            insert.Reset();
        }
    }
    transaction.Commit();
    return collection;
}

long ResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

double CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

void RunEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// From nothing to every folder watched, and what the watcher holds then.
void BM_WatchStart(benchmark::State &state)
{
    const TCollection &collection = Collection();
    for (auto _ : state) {
        const size_t heap = HeapInUse();
        const long resident = ResidentKb();
        std::unique_ptr<TFolderWatcher> watcher = MakeFolderWatcher();
        watcher->Watch({collection.Root});
        state.PauseTiming();
        if (watcher->WatchedFolders() < Folders)
            state.SkipWithError("not every folder is watched (fs.inotify.max_user_watches?)");
        state.counters["folders"] = watcher->WatchedFolders();
        state.counters["heap_MB"] = double(HeapInUse() - heap) / (1024.0 * 1024.0);
        state.counters["resident_MB"] = double(ResidentKb() - resident) / 1024.0;
        watcher.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WatchStart)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The process's CPU time while nothing changes, watching every folder.
void BM_IdleWatching(benchmark::State &state)
{
    const TCollection &collection = Collection();
    std::unique_ptr<TFolderWatcher> watcher = MakeFolderWatcher();
    watcher->Watch({collection.Root});
    for (auto _ : state) {
        const double before = CpuMs();
        RunEventLoop(3000);
        state.counters["cpu_ms_per_s"] = (CpuMs() - before) / 3.0;
    }
}
BENCHMARK(BM_IdleWatching)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// A song copied into one album folder, until its row is in the library of 500,000 songs.
void BM_ChangeShown(benchmark::State &state)
{
    const TCollection &collection = Collection();
    TConnection connection;
    connection.ConnectionString = QStringLiteral("Data Source=") + collection.Library;
    connection.Open();
    TLibraryWatch watch(connection);
    std::unique_ptr<TFolderWatcher> watcher = MakeFolderWatcher();
    QEventLoop *waiting = nullptr;
    watch.OnAction = [&](const QString &) {
        if (waiting)
            waiting->quit();
    };
    watcher->OnEvents = [&](const std::vector<TWatchEvent> &events) { watch.Apply(events); };
    watcher->Watch({collection.Root});
    SilentMp3Options options;
    options.Id3v1 = true;
    const QByteArray song = SilentMp3(options);
    int n = 0;
    for (auto _ : state) {
        const QString file = AlbumFolder(collection.Root, (n * 7919) % Folders) +
                             QStringLiteral("/new %1.mp3").arg(n);
        ++n;
        const int imported = watch.Counts().Imported;
        QEventLoop loop;
        waiting = &loop;
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(song) != song.size())
            state.SkipWithError("cannot write the song");
        out.close();
        loop.exec();
        waiting = nullptr;
        if (watch.Counts().Imported != imported + 1)
            state.SkipWithError("the song did not reach the library");
    }
}
BENCHMARK(BM_ChangeShown)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return RunBenchmarks(argc, argv, Scratch);
}
