#include "bench/BenchLibrary.h"
#include "data/DataSet.h"
#include "data/PlaylistEntries.h"
#include "data/Playlists.h"
#include "data/PostgresEngine.h"
#include "data/SongListings.h"
#include "data/Table.h"
#include "import/ImportWalker.h"
#include "tests/support/SilentMp3.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

// The library file and the library on a PostgreSQL server side by side: the server is the
// database in QUILLMERE_TEST_PG (tests/with_postgresql.sh build/bin/bench_postgresql).
// Argument 0 is the file, 1 the server.

namespace
{

constexpr int AllSongs = 100000;
constexpr int Folders = 50;
constexpr int FilesPerFolder = 100;
constexpr int Files = Folders * FilesPerFolder;
constexpr int PlaylistSongs = 1000;

QTemporaryDir *Scratch = nullptr;

QString Server()
{
    return qEnvironmentVariable("QUILLMERE_TEST_PG");
}

bool Usable(benchmark::State &state)
{
    state.SetLabel(state.range(0) ? "postgresql" : "sqlite");
    if (state.range(0) && Server().isEmpty()) {
        state.SkipWithError("QUILLMERE_TEST_PG is not set");
        return false;
    }
    return true;
}

// An empty library: a new file, or the server's database emptied and laid out again.
QString NewLibrary(bool server, const QString &name)
{
    if (server) {
        OpenPostgresLibrary(Server())->ExecuteScript(
            QStringLiteral("DROP SCHEMA IF EXISTS public CASCADE; CREATE SCHEMA public"));
        CreateLibrary(Server());
        return Server();
    }
    const QString file = Scratch->filePath(name);
    for (const char *tail : {"", "-wal", "-shm"})
        QFile::remove(file + QLatin1String(tail));
    CreateLibrary(file);
    return file;
}

void Open(TConnection &connection, const QString &library)
{
    connection.SetLibraryAddress(library);
    connection.Open();
}

// The songs that MakeBenchLibrary writes into a file, written on the server.
QString SongsLibrary(bool server)
{
    if (!server)
        return MakeBenchLibrary(Scratch->path(), AllSongs, 1, 0);
    const QString library = NewLibrary(true, QString());
    OpenPostgresLibrary(library)->ExecuteScript(
        QStringLiteral(
            "INSERT INTO Playlist_DB(Path, Filename, Duration, FileType, ID3_Title, ID3_Artist, "
            "ID3_Genre, ID3_Comment, ID3_Album, ID3_Year, ID3_Track) SELECT "
            "'/home/user/Music/Artist ' || (i % 500) || '/Album ' || (i % 2000) || '/', "
            "'Track ' || i || '.mp3', 120 + i % 300, 1, 'Song title number ' || "
            "(CAST(i AS bigint) * 7919 % %1), 'Artist ' || (i % 500), i % 148, '', "
            "'Album ' || (i % 2000), 1960 + i % 60, i % 20 FROM generate_series(0, %2) AS i; "
            "INSERT INTO Playlists(Name, Description) VALUES('Playlist 1', ''); ANALYZE")
            .arg(AllSongs)
            .arg(AllSongs - 1));
    return library;
}

void BM_OpenAllSongs(benchmark::State &state)
{
    if (!Usable(state))
        return;
    TConnection connection;
    Open(connection, SongsLibrary(state.range(0)));
    TDataSet songs(&connection);
    for (auto _ : state) {
        OpenAllSongs(songs);
        if (songs.RecordCount() != AllSongs)
            state.SkipWithError("not every song was read");
    }
    state.counters["rows_per_second"] =
        benchmark::Counter(double(AllSongs), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_OpenAllSongs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AddSongsToPlaylist(benchmark::State &state)
{
    if (!Usable(state))
        return;
    TConnection connection;
    Open(connection, SongsLibrary(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        const int playlist = int(
            InsertPlaylist(connection, QStringLiteral("Bench"), {}, QDateTime::currentDateTime()));
        state.ResumeTiming();
        // As the command line's "playlist add" and the window's "<" do it.
        QList<qint64> songIds;
        for (int i = 0; i < PlaylistSongs; ++i)
            songIds << 1 + (i * 97) % AllSongs;
        AppendPlaylistEntries(connection, playlist, songIds);
        state.PauseTiming();
        DeletePlaylist(connection, playlist);
        state.ResumeTiming();
    }
    state.counters["entries_per_second"] =
        benchmark::Counter(double(PlaylistSongs), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AddSongsToPlaylist)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

QString MusicTree()
{
    return MakeMusicTree(Scratch->filePath(QStringLiteral("music")), Folders, FilesPerFolder);
}

// The import on a library that is open already, as the window and the command line have it.
TImportCounts Import(TConnection &connection, const QString &folder)
{
    TImportWalker walker(connection);
    walker.ImportFolder(folder);
    return walker.Counts();
}

void BM_ImportNewFiles(benchmark::State &state)
{
    if (!Usable(state))
        return;
    const QString tree = MusicTree();
    for (auto _ : state) {
        state.PauseTiming();
        const QString library = NewLibrary(state.range(0), QStringLiteral("new.mdb"));
        TConnection connection;
        Open(connection, library);
        state.ResumeTiming();
        if (Import(connection, tree).Imported != Files)
            state.SkipWithError("not every file was imported");
    }
    state.counters["files_per_second"] =
        benchmark::Counter(double(Files), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ImportNewFiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ImportExistingFiles(benchmark::State &state)
{
    if (!Usable(state))
        return;
    const QString tree = MusicTree();
    const QString library = NewLibrary(state.range(0), QStringLiteral("existing.mdb"));
    TConnection connection;
    Open(connection, library);
    Import(connection, tree);
    for (auto _ : state) {
        if (Import(connection, tree).Existing != Files)
            state.SkipWithError("not every file was found");
    }
    state.counters["files_per_second"] =
        benchmark::Counter(double(Files), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ImportExistingFiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return RunBenchmarks(argc, argv, Scratch);
}
