#include "bench/BenchLibrary.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "data/Database.h"
#include "tests/support/SilentMp3.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <malloc.h>
#include <sqlite3.h>
#include <stdexcept>
#include <string>

namespace
{
void Check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(sqlite3_errmsg(db));
}
} // namespace

QString MakeBenchLibrary(const QString &folder, int songs, int playlists, int entriesPerPlaylist)
{
    const QString file = folder + QStringLiteral("/quillmeredb.mdb");
    QFile::remove(file);
    CreateLibrary(file);
    sqlite3 *db = nullptr;
    Check(sqlite3_open(QFile::encodeName(file).constData(), &db), db);
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt *song = nullptr;
    Check(sqlite3_prepare_v2(db,
                             "INSERT INTO Playlist_DB(Path, Filename, Duration, FileType, "
                             "ID3_Title, ID3_Artist, ID3_Genre, ID3_Comment, ID3_Album, ID3_Year, "
                             "ID3_Track) VALUES(?, ?, ?, 1, ?, ?, ?, ?, ?, ?, ?)",
                             -1, &song, nullptr),
          db);
    for (int i = 0; i < songs; ++i) {
        const std::string path = "/home/user/Music/Artist " + std::to_string(i % 500) + "/Album " +
                                 std::to_string(i % 2000) + "/";
        const std::string name = "Track " + std::to_string(i) + ".mp3";
        const std::string title = "Song title number " + std::to_string(i * 7919 % songs);
        const std::string artist = "Artist " + std::to_string(i % 500);
        const std::string album = "Album " + std::to_string(i % 2000);
        sqlite3_bind_text(song, 1, path.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(song, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(song, 3, 120 + i % 300);
        sqlite3_bind_text(song, 4, title.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(song, 5, artist.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(song, 6, i % 148);
        sqlite3_bind_text(song, 7, "", -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(song, 8, album.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(song, 9, 1960 + i % 60);
        sqlite3_bind_int(song, 10, i % 20);
        Check(sqlite3_step(song), db);
        sqlite3_reset(song);
    }
    sqlite3_finalize(song);
    sqlite3_stmt *list = nullptr;
    sqlite3_stmt *entry = nullptr;
    Check(sqlite3_prepare_v2(db,
                             "INSERT INTO Playlists(Name, Description, Date_Created) "
                             "VALUES(?, '', '2026-01-01 12:00:00')",
                             -1, &list, nullptr),
          db);
    Check(sqlite3_prepare_v2(db,
                             "INSERT INTO Playlist_Songs(PlayList_ID, Song_ID, Sequence) "
                             "VALUES(?, ?, ?)",
                             -1, &entry, nullptr),
          db);
    for (int p = 1; p <= playlists; ++p) {
        const std::string name = "Playlist " + std::to_string(p);
        sqlite3_bind_text(list, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        Check(sqlite3_step(list), db);
        sqlite3_reset(list);
        for (int e = 1; e <= entriesPerPlaylist; ++e) {
            sqlite3_bind_int(entry, 1, p);
            sqlite3_bind_int(entry, 2, 1 + (p * 31 + e * 17) % songs);
            sqlite3_bind_int(entry, 3, 2 * e); // gaps, so opening renumbers every entry
            Check(sqlite3_step(entry), db);
            sqlite3_reset(entry);
        }
    }
    sqlite3_finalize(list);
    sqlite3_finalize(entry);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
    return file;
}

size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

int RunBenchmarks(int argc, char **argv, QTemporaryDir *&scratch)
{
    QTemporaryDir folder;
    scratch = &folder;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    scratch = nullptr;
    return 0;
}

QString MakeMusicTree(const QString &root, int folders, int filesPerFolder)
{
    if (QFileInfo::exists(root))
        return root;
    for (int f = 0; f < folders; ++f) {
        const QString folder = root + QStringLiteral("/Album %1").arg(f, 2, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        for (int n = 0; n < filesPerFolder; ++n) {
            SilentMp3Options o;
            o.Frames = 40;
            o.Header = n % 2 ? SilentMp3Options::XingHeader : SilentMp3Options::NoHeader;
            o.Id3v1 = n % 2 == 1;
            WriteSilentMp3(folder + QStringLiteral("/%1 Track.mp3").arg(n, 3, 10, QLatin1Char('0')),
                           o);
        }
    }
    return root;
}
