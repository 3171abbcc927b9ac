#include "bench/BenchLibrary.h"
#include "controls/DBGrid.h"
#include "data/DataSet.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace
{

QTemporaryDir *Scratch = nullptr;

// Ctrl+A in a grid of 100,000 songs: one selection step, the last row made current.
void BM_SelectAllRows(benchmark::State &state)
{
    const int rows = int(state.range(0));
    TConnection connection;
    connection.ConnectionString =
        QStringLiteral("Data Source=") + MakeBenchLibrary(Scratch->path(), rows, 1, 1);
    connection.Open();
    TDataSet songs(&connection);
    songs.SetSQL(
        {QStringLiteral("SELECT * FROM Playlist_DB"), QStringLiteral("ORDER BY ID3_Title")});
    TDBGrid grid;
    grid.SetColumns({{QStringLiteral("ID3_Title"), QStringLiteral("Title"), 120},
                     {QStringLiteral("Duration"), QStringLiteral("Duration"), 50}});
    grid.SetDataSet(&songs);
    songs.Open();
    for (auto _ : state) {
        state.PauseTiming();
        grid.selectionModel()->clearSelection();
        songs.First();
        state.ResumeTiming();
        grid.SelectAllRows();
    }
    if (grid.SelectedRows().size() != rows || songs.RecNo() != rows - 1)
        state.SkipWithError("not every row was selected");
}
BENCHMARK(BM_SelectAllRows)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RunBenchmarks(argc, argv, Scratch);
}
