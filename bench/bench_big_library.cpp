// Big libraries: start-up of the window, search keystrokes, jumps through the available songs
// and adding 20,000 songs to a playlist, on the library file and (with QUILLMERE_TEST_PG) on
// a PostgreSQL server, side by side in one run.
#include "app/Forms.h"
#include "app/QuillmereApplication.h"
#include "app/UMain.h"
#include "bench/BenchLibrary.h"
#include "controls/DBGrid.h"
#include "data/DataSet.h"
#include "data/PlaylistEntries.h"
#include "data/PostgresEngine.h"
#include "data/ProgramDirectory.h"
#include "data/SongListings.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <sys/resource.h>
#include <vector>

namespace
{

double Ms(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

// CPU time of this thread: the machine may be shared, and wall time then measures the others.
double CpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5))];
}

// In a process of its own: the program's windows made over the library in folder, as the
// program starts them, best of three, and the process's peak memory.
int StartWindow(const QString &folder)
{
    SetProgramDirectoryOverride(folder);
    double best = 1e9, bestCpu = 1e9, settled = 1e9;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        const double cpu = CpuMs();
        CreateForms();
        frmMain->MarkActivated();
        best = std::min(best, Ms(timer));
        bestCpu = std::min(bestCpu, CpuMs() - cpu);
        // What start-up leaves to run once events do: every row counted, the folders watched.
        TDataSet *songs = frmMain->availableSongs();
        bool counted = songs->ShownRecordCount() != TDataSet::PageRows;
        QObject::connect(songs, &TDataSet::RecordCountKnown, [&counted] { counted = true; });
        while ((!counted || (frmMain->followingFolders() && !frmMain->watchingFolders())) &&
               timer.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        settled = std::min(settled, Ms(timer));
        const bool empty = frmMain->availableSongs()->IsEmpty();
        DestroyForms();
        if (empty)
            return 1;
    }
    // The process's own high-water mark: ru_maxrss would carry the parent's over from the fork.
    QFile status(QStringLiteral("/proc/self/status"));
    double peakMb = 0;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                peakMb = line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    std::printf("%.1f %.1f %.1f %.1f\n", best, peakMb, bestCpu, settled);
    return 0;
}

struct TStart {
    double Ms = 0;
    double PeakMb = 0;
    double CpuMs = 0;
    double SettledMs = 0; // until counted and watching
};

TStart MeasureStart(const QString &program, const QString &folder)
{
    QProcess child;
    child.start(program, {QStringLiteral("--start"), folder});
    child.waitForFinished(600000);
    const QStringList parts = QString::fromLatin1(child.readAllStandardOutput()).split(u' ');
    if (parts.size() != 4) {
        std::printf("start-up failed: %s\n", child.readAllStandardError().constData());
        return {};
    }
    return {parts[0].toDouble(), parts[1].toDouble(), parts[2].toDouble(), parts[3].toDouble()};
}

struct TWork {
    std::vector<double> Keystrokes, KeystrokesCpu, JumpsCpu, Counted;
    std::vector<double> PlainJumps, PlainJumpsCpu;
    double AddCpu = 0;
    int Mismatches = 0;
    std::vector<double> Jumps;
    double Add = 0;
    int Added = 0;
};

// Typing titles of songs in the library, a character at a time.
QStringList Typed(TConnection &connection)
{
    QStringList typed;
    TStatement titles(connection,
                      QStringLiteral("SELECT ID3_Title, ID3_Artist FROM Playlist_DB WHERE Row_ID "
                                     "IN (1234, 98765, 250000, 377777, 444444)"));
    while (titles.Step()) {
        const QString text =
            titles.Text(0).section(u' ', 0, 1) + u' ' + titles.Text(1).section(u' ', 0, 0).left(6);
        for (int n = 1; n <= text.size(); ++n)
            typed << text.left(n);
    }
    return typed;
}

TWork Measure(const QString &target, int *rowsOut)
{
    TWork work;
    TConnection connection;
    connection.SetLibraryAddress(target);
    connection.Open();
    TDataSet songs(&connection);
    songs.SetOnDemand(true);
    songs.SetCountInBackground(true);
    songs.SetTieBreaker(QStringLiteral("Row_ID"));
    bool counted = false;
    QObject::connect(&songs, &TDataSet::RecordCountKnown, [&counted] { counted = true; });
    TDBGrid grid;
    grid.resize(420, 600);
    grid.SetColumns({{QStringLiteral("ID3_Title"), QStringLiteral("Title"), 115},
                     {QStringLiteral("Duration"), {}, 53},
                     {QStringLiteral("ID3_Album"), {}},
                     {QStringLiteral("ID3_Artist"), {}}});
    grid.SetDataSet(&songs);
    grid.show();

    // A keystroke: the listing opened again, and its first rows drawn.
    for (const QString &text : Typed(connection)) {
        TSongListing listing;
        listing.SortField = QStringLiteral("ID3_Title");
        listing.Search = text;
        QElapsedTimer timer;
        timer.start();
        const double cpu = CpuMs();
        counted = false;
        OpenSongListing(songs, listing);
        grid.viewport()->grab();
        work.Keystrokes.push_back(Ms(timer));
        work.KeystrokesCpu.push_back(CpuMs() - cpu);
        // Until the scroll bar knows every row: the count, made on the counter's connection.
        while (!counted && songs.ShownRecordCount() == TDataSet::PageRows &&
               timer.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        work.Counted.push_back(Ms(timer));
        // The same songs as a scan without the index.
        TDataSet scan(&connection);
        listing.UseSearchIndex = false;
        OpenSongListing(scan, listing);
        bool same = scan.RecordCount() == songs.RecordCount();
        QList<int> rows;
        for (int row = 0; row < scan.RecordCount(); ++row)
            rows << row;
        if (same && scan.RecordCount() < 20000)
            same = scan.RowValues(rows, QStringLiteral("Row_ID")) ==
                   songs.RowValues(rows, QStringLiteral("Row_ID"));
        if (!same)
            ++work.Mismatches;
    }

    // Jumps through the songs sorted by a click on Title, and through the window's first
    // listing (every song by title, as the program starts).
    for (const bool plain : {false, true}) {
        if (plain) {
            OpenAllSongs(songs);
        } else {
            TSongListing all;
            all.SortField = QStringLiteral("ID3_Title");
            OpenSongListing(songs, all);
        }
        // As in the window: the count and the marks of far rows come from the counter.
        bool marked = false;
        const QMetaObject::Connection marks =
            QObject::connect(&songs, &TDataSet::RowsMarked, [&marked] { marked = true; });
        QElapsedTimer waited;
        waited.start();
        while (!marked && waited.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        QObject::disconnect(marks);
        *rowsOut = songs.RecordCount();
        std::mt19937 random(42);
        for (int jump = 0; jump < 60; ++jump) {
            const int row = int(random() % quint32(songs.RecordCount()));
            QElapsedTimer timer;
            timer.start();
            const double cpu = CpuMs();
            grid.scrollTo(grid.model()->index(row, 0), QAbstractItemView::PositionAtTop);
            grid.viewport()->grab();
            (plain ? work.PlainJumps : work.Jumps).push_back(Ms(timer));
            (plain ? work.PlainJumpsCpu : work.JumpsCpu).push_back(CpuMs() - cpu);
        }
    }

    // 20,000 songs from the middle of the list, as a selection of the grid.
    QList<int> rows;
    for (int row = 100000; row < 120000 && row < songs.RecordCount(); ++row)
        rows << row;
    TDataSet entries(&connection);
    TTable songTable(&connection);
    SetUpSongsTable(songTable);
    songTable.SetOnDemand(true);
    songTable.Open();
    SetUpPlaylistEntries(entries, &songTable);
    OpenPlaylistEntries(entries, 1, QStringLiteral("Sequence"), QStringLiteral("Asc"));
    const int before = entries.RecordCount();
    QElapsedTimer timer;
    timer.start();
    const double cpu = CpuMs();
    QList<qint64> ids;
    for (const QVariant &id : songs.RowValues(rows, QStringLiteral("Row_ID")))
        ids << id.toLongLong();
    AppendPlaylistEntries(connection, 1, ids);
    OpenPlaylistEntries(entries, 1, QStringLiteral("Sequence"), QStringLiteral("Asc"));
    work.Add = Ms(timer);
    work.AddCpu = CpuMs() - cpu;
    work.Added = entries.RecordCount() - before;
    return work;
}

void Report(const char *engine, const TWork &work, int rows)
{
    std::printf("%s, %d songs:\n", engine, rows);
    std::printf("  search keystrokes: %zu, median %.1f ms, 95%% within %.1f ms, slowest %.1f ms "
                "(CPU: median %.1f, 95%% %.1f, slowest %.1f ms), %d differ from a plain scan\n",
                work.Keystrokes.size(), Percentile(work.Keystrokes, 0.5),
                Percentile(work.Keystrokes, 0.95), Percentile(work.Keystrokes, 1.0),
                Percentile(work.KeystrokesCpu, 0.5), Percentile(work.KeystrokesCpu, 0.95),
                Percentile(work.KeystrokesCpu, 1.0), work.Mismatches);
    std::printf("  every row counted after a keystroke: median %.1f ms, 95%% within %.1f ms, "
                "slowest %.1f ms\n",
                Percentile(work.Counted, 0.5), Percentile(work.Counted, 0.95),
                Percentile(work.Counted, 1.0));
    std::printf("  jump in the first listing (by title, as started) and draw its page: median "
                "%.1f ms, 95%% within %.1f ms, slowest %.1f ms (CPU: median %.1f, 95%% %.1f, "
                "slowest %.1f ms)\n",
                Percentile(work.PlainJumps, 0.5), Percentile(work.PlainJumps, 0.95),
                Percentile(work.PlainJumps, 1.0), Percentile(work.PlainJumpsCpu, 0.5),
                Percentile(work.PlainJumpsCpu, 0.95), Percentile(work.PlainJumpsCpu, 1.0));
    std::printf("  jump to a row and draw its page: median %.1f ms, 95%% within %.1f ms, slowest "
                "%.1f ms (CPU: median %.1f, 95%% %.1f, slowest %.1f ms)\n",
                Percentile(work.Jumps, 0.5), Percentile(work.Jumps, 0.95),
                Percentile(work.Jumps, 1.0), Percentile(work.JumpsCpu, 0.5),
                Percentile(work.JumpsCpu, 0.95), Percentile(work.JumpsCpu, 1.0));
    std::printf("  add 20,000 songs to a playlist and show it: %.1f ms, CPU %.1f ms (%d added)\n",
                work.Add, work.AddCpu, work.Added);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TQuillmereApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--start"))
        return StartWindow(args[2]);
    const int big = args.size() > 1 ? args[1].toInt() : 500000;

    // QUILLMERE_BENCH_KEEP names a folder where the libraries are kept from one run to the
    // next: making half a million songs takes minutes.
    QTemporaryDir scratch;
    const QString keep = qEnvironmentVariable("QUILLMERE_BENCH_KEEP");
    const QString root = keep.isEmpty() ? scratch.path() : keep;
    const QString smallFolder = root + QStringLiteral("/1000");
    const QString largeFolder = root + QStringLiteral("/%1").arg(big);
    QElapsedTimer made;
    made.start();
    for (const auto &[folder, songs] :
         {std::pair(smallFolder, 1000), std::pair(largeFolder, big)}) {
        const QString file = folder + QStringLiteral("/quillmeredb.mdb");
        if (keep.isEmpty() || !QFile::exists(file)) {
            QDir().mkpath(folder);
            MakeWordyLibrary(file + QStringLiteral(".new"), songs, 1000);
            QFile::rename(file + QStringLiteral(".new"), file);
        }
    }
    std::printf("libraries of 1,000 and %d songs ready in %.1f s\n", big, Ms(made) / 1000);
    std::fflush(stdout);
    QTemporaryDir small(smallFolder + QStringLiteral("/run")),
        large(largeFolder + QStringLiteral("/run"));
    for (QTemporaryDir *dir : {&small, &large})
        QFile::copy(QFileInfo(dir->path()).path() + QStringLiteral("/quillmeredb.mdb"),
                    dir->filePath(QStringLiteral("quillmeredb.mdb")));

    const TStart smallStart = MeasureStart(args[0], small.path());
    const TStart largeStart = MeasureStart(args[0], large.path());
    std::printf("window start (best of 3): 1,000 songs %.1f ms, %d songs %.1f ms (%.2f times); "
                "CPU %.1f ms and %.1f ms (%.2f times); every row counted and the folders watched "
                "after %.1f ms and %.1f ms; peak memory (with those) %.1f MB and %.1f MB\n",
                smallStart.Ms, big, largeStart.Ms, largeStart.Ms / smallStart.Ms, smallStart.CpuMs,
                largeStart.CpuMs, largeStart.CpuMs / smallStart.CpuMs, smallStart.SettledMs,
                largeStart.SettledMs, smallStart.PeakMb, largeStart.PeakMb);
    std::fflush(stdout);

    int rows = 0;
    const TWork file = Measure(large.filePath(QStringLiteral("quillmeredb.mdb")), &rows);
    Report("library file", file, rows);
    const QString server = qEnvironmentVariable("QUILLMERE_TEST_PG");
    if (!server.isEmpty()) {
        made.restart();
        MakeWordyLibrary(server, big, 1000);
        // As a library in use is: its figures read for the planner and its rows marked as seen
        // by every transaction, which autovacuum does soon after rows come.
        OpenPostgresLibrary(server)->ExecuteScript(QStringLiteral("VACUUM ANALYZE"));
        std::printf("the same songs on the server made and vacuumed in %.1f s\n", Ms(made) / 1000);
        const TWork onServer = Measure(server, &rows);
        Report("PostgreSQL server", onServer, rows);
        std::printf("server / file: keystrokes (95%%) %.2f, jumps (95%%) %.2f, add %.2f\n",
                    Percentile(onServer.Keystrokes, 0.95) / Percentile(file.Keystrokes, 0.95),
                    Percentile(onServer.Jumps, 0.95) / Percentile(file.Jumps, 0.95),
                    onServer.Add / file.Add);
    }
    return 0;
}
