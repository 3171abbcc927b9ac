#include "bench/BenchLibrary.h"
#include "data/DataSet.h"
#include "data/PlaylistEntries.h"
#include "data/Table.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

namespace
{
constexpr int SongCount = 100000;
const QStringList AllSongs = {QStringLiteral("SELECT * FROM Playlist_DB"),
                              QStringLiteral("ORDER BY ID3_Title")};

struct Library {
    QTemporaryDir Dir;
    QString File;
    Library() { File = MakeBenchLibrary(Dir.path(), SongCount, 1, 5000); }
};

Library &Shared()
{
    static Library library;
    return library;
}

TConnection &Connection()
{
    static TConnection connection;
    if (!connection.Connected()) {
        connection.ConnectionString = QStringLiteral("Data Source=") + Shared().File;
        connection.Open();
    }
    return connection;
}

// Opening "All songs" into the client-side data set.
void BM_OpenAllSongs(benchmark::State &state)
{
    TDataSet songs(&Connection());
    songs.SetSQL(AllSongs);
    size_t textBytes = 0;
    double bytesPerRow = 0;
    for (auto _ : state) {
        songs.Close();
        const size_t before = HeapInUse();
        songs.Open();
        bytesPerRow = double(HeapInUse() - before);
        benchmark::DoNotOptimize(songs.RecordCount());
    }
    // The text itself: every text field's UTF-8 bytes.
    for (int row = 0; row < songs.RecordCount(); ++row) {
        for (int f = 0; f < songs.FieldCount(); ++f) {
            if (songs.Field(f).DataType != TFieldType::Integer)
                textBytes += size_t(songs.DisplayText(row, f).toUtf8().size());
        }
    }
    state.counters["rows"] = songs.RecordCount();
    state.counters["bytes_per_row_beyond_text"] = (bytesPerRow - double(textBytes)) / SongCount;
}
BENCHMARK(BM_OpenAllSongs)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same statement stepped raw through the SQLite C API, touching every value.
void BM_RawStepAllSongs(benchmark::State &state)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(Connection().LibraryAddress()).constData(), &db,
                    SQLITE_OPEN_READONLY, nullptr);
    const QByteArray sql = StatementText(AllSongs).toUtf8();
    for (auto _ : state) {
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
        size_t sum = 0;
        const int columns = sqlite3_column_count(stmt);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                if (sqlite3_column_type(stmt, c) == SQLITE_TEXT) {
                    sum += size_t(sqlite3_column_bytes(stmt, c));
                    benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
                } else {
                    sum += size_t(sqlite3_column_int64(stmt, c));
                }
            }
        }
        sqlite3_finalize(stmt);
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_close(db);
}
BENCHMARK(BM_RawStepAllSongs)->Unit(benchmark::kMillisecond)->Iterations(5);

// Opening a playlist of 5,000 entries with the song lookups, renumbering every entry and
// committing the renumbering.
void BM_OpenRenumberCommit5000(benchmark::State &state)
{
    TTable songs(&Connection());
    SetUpSongsTable(songs);
    songs.Open();
    TDataSet entries(&Connection());
    SetUpPlaylistEntries(entries, &songs);
    for (auto _ : state) {
        state.PauseTiming();
        Connection().Execute(QStringLiteral("UPDATE Playlist_Songs SET Sequence = 2 * Sequence"));
        state.ResumeTiming();
        OpenPlaylistEntries(entries, 1, QStringLiteral("Sequence"), QStringLiteral("Asc"));
        RenumberEntries(entries);
        entries.UpdateBatch();
    }
}
BENCHMARK(BM_OpenRenumberCommit5000)->Unit(benchmark::kMillisecond)->Iterations(5);
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
