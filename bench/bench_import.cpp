#include "app/UMain.h"
#include "base/Errors.h"
#include "bench/BenchLibrary.h"
#include "data/Database.h"
#include "data/ProgramDirectory.h"
#include "dialogs/UImportSongs.h"
#include "import/ImportWalker.h"
#include "tests/support/SilentMp3.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>
#include <sqlite3.h>

namespace
{

constexpr int Folders = 50;
constexpr int FilesPerFolder = 100;
constexpr int Files = Folders * FilesPerFolder;

QTemporaryDir *Scratch = nullptr;

QString MusicTree()
{
    return MakeMusicTree(Scratch->filePath(QStringLiteral("music")), Folders, FilesPerFolder);
}

QString NewLibrary(const QString &name)
{
    const QString file = Scratch->filePath(name);
    QFile::remove(file);
    QFile::remove(file + QStringLiteral("-wal"));
    QFile::remove(file + QStringLiteral("-shm"));
    CreateLibrary(file);
    return file;
}

TImportCounts Import(const QString &libraryFile, const QString &folder)
{
    TConnection connection;
    connection.ConnectionString = QStringLiteral("Data Source=") + libraryFile;
    connection.Open();
    TImportWalker walker(connection);
    walker.ImportFolder(folder);
    return walker.Counts();
}

void BM_ImportNewFiles(benchmark::State &state)
{
    const QString tree = MusicTree();
    for (auto _ : state) {
        state.PauseTiming();
        const QString library = NewLibrary(QStringLiteral("new.mdb"));
        state.ResumeTiming();
        const TImportCounts n = Import(library, tree);
        if (n.Imported != Files)
            state.SkipWithError("not every file was imported");
    }
    state.counters["files_per_second"] =
        benchmark::Counter(double(Files), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ImportNewFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_ImportExistingFiles(benchmark::State &state)
{
    const QString tree = MusicTree();
    const QString library = NewLibrary(QStringLiteral("existing.mdb"));
    Import(library, tree);
    for (auto _ : state) {
        const TImportCounts n = Import(library, tree);
        if (n.Existing != Files)
            state.SkipWithError("not every file was found");
    }
    state.counters["files_per_second"] =
        benchmark::Counter(double(Files), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ImportExistingFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// The dialog's import of new files: the same walk, plus event processing and repainting.
void BM_ImportDialogNewFiles(benchmark::State &state)
{
    const QString tree = MusicTree();
    MessageService::SetHandler([](TMessageKind, const QString &) { return int(mrYes); });
    for (auto _ : state) {
        state.PauseTiming();
        const QString folder = Scratch->filePath(QStringLiteral("program"));
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        SetProgramDirectoryOverride(folder + QLatin1Char('/'));
        CreateLibrary(folder + QStringLiteral("/quillmeredb.mdb"));
        auto window = std::make_unique<TfrmMain>();
        window->MarkActivated();
        frmMain = window.get();
        TfrmImportSongs dialog;
        dialog.show();
        dialog.dlbFolder->SetDirectory(tree);
        state.ResumeTiming();
        dialog.btnOKClick();
        state.PauseTiming();
        if (window->songCount() != Files)
            state.SkipWithError("not every file was imported");
        frmMain = nullptr;
        state.ResumeTiming();
    }
    MessageService::SetHandler({});
    state.counters["files_per_second"] =
        benchmark::Counter(double(Files), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ImportDialogNewFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// An import into a library that another program holds locked: how soon it gives up.
void BM_ImportIntoALockedLibrary(benchmark::State &state)
{
    const QString tree = MusicTree();
    const QString library = NewLibrary(QStringLiteral("locked.mdb"));
    sqlite3 *other = nullptr;
    sqlite3_open_v2(QFile::encodeName(library).constData(), &other, SQLITE_OPEN_READWRITE, nullptr);
    if (sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK)
        state.SkipWithError("the library could not be locked");
    for (auto _ : state) {
        try {
            Import(library, tree);
            state.SkipWithError("the import went on");
        } catch (const EError &) {
            // refused, as it should be
        }
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}
BENCHMARK(BM_ImportIntoALockedLibrary)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true); // the dialog writes its settings
    QApplication app(argc, argv);
    return RunBenchmarks(argc, argv, Scratch);
}
