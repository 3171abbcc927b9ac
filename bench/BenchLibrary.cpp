#include "bench/BenchLibrary.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "data/Database.h"
#include "data/PostgresEngine.h"
#include "tests/support/SilentMp3.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <malloc.h>
#include <memory>
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

namespace
{
// Words of two to four syllables, from a fixed seed.
QStringList Vocabulary()
{
    static const char *const syllables[] = {
        "la",  "mo",  "ri", "ken", "sa",  "tu",  "vel", "dor", "an",     "ble",  "cro",
        "fi",  "gar", "hu", "jo",  "lin", "mar", "nu",  "or",  "pe",     "quin", "ro",
        "sil", "ta",  "u",  "vi",  "wen", "xa",  "yo",  "zel", "bright", "moon"};
    QStringList words;
    quint32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int i = 0; i < 3000; ++i) {
        QString word;
        const int parts = 2 + int(next() % 3);
        for (int p = 0; p < parts; ++p)
            word += QLatin1String(syllables[next() % 32]);
        if (next() % 3 == 0)
            word[0] = word[0].toUpper();
        words << word;
    }
    return words;
}

// Words joined until the text is at least `minimum` characters, cut at 30.
QString Phrase(const QStringList &words, quint32 &seed, int minimum)
{
    QString text;
    while (text.size() < minimum) {
        seed = seed * 1664525u + 1013904223u;
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        text += words[int((seed >> 8) % quint32(words.size()))];
    }
    return text.left(30);
}
} // namespace

void MakeWordyLibrary(const QString &target, int songs, int playlistEntries)
{
    if (target.startsWith(QLatin1String("postgresql:")))
        OpenPostgresLibrary(target)->ExecuteScript(
            QStringLiteral("DROP SCHEMA IF EXISTS public CASCADE; CREATE SCHEMA public"));
    else
        QFile::remove(target);
    CreateLibrary(target);
    TConnection connection;
    connection.SetLibraryAddress(target);
    connection.Open();
    // The indexes of half a million songs fit in the file's page cache while they are made.
    if (!connection.OnServer())
        connection.Execute(QStringLiteral("PRAGMA cache_size = -400000"));
    const QStringList words = Vocabulary();
    QStringList artists, albums;
    quint32 seed = 777;
    for (int i = 0; i < 5000; ++i)
        artists << Phrase(words, seed, 5 + int(seed % 12));
    for (int i = 0; i < 40000; ++i)
        albums << Phrase(words, seed, 5 + int(seed % 20));
    TTransaction transaction(connection);
    constexpr int RowsPerStatement = 250;
    std::unique_ptr<TStatement> insert;
    int prepared = 0;
    for (int first = 0; first < songs; first += RowsPerStatement) {
        const int rows = std::min(RowsPerStatement, songs - first);
        if (rows != prepared) {
            QStringList values;
            for (int r = 0; r < rows; ++r)
                values << QStringLiteral("(:p%1, :f%1, :d%1, 1, :t%1, :a%1, :g%1, '', :b%1, :y%1, "
                                         ":n%1)")
                              .arg(r);
            insert = std::make_unique<TStatement>(
                connection,
                QStringLiteral("INSERT INTO Playlist_DB(Path, Filename, Duration, FileType, "
                               "ID3_Title, ID3_Artist, ID3_Genre, ID3_Comment, ID3_Album, "
                               "ID3_Year, ID3_Track) VALUES ") +
                    values.join(QStringLiteral(", ")));
            prepared = rows;
        } else {
            insert->Reset();
        }
        for (int r = 0; r < rows; ++r) {
            const int i = first + r;
            const QString title = Phrase(words, seed, 5 + int(seed % 26));
            // An album lies in a folder of its own, below its artist's.
            const int albumIndex = int((seed >> 4) % 40000);
            const QString &album = albums[albumIndex];
            const QString &artist = artists[albumIndex % 5000];
            const QString n = QString::number(r);
            insert->Bind(insert->Parameter(QStringLiteral("p") + n),
                         QStringLiteral("/home/user/Music/%1/%2/").arg(artist, album));
            insert->Bind(insert->Parameter(QStringLiteral("f") + n),
                         QStringLiteral("%1 %2 %3.mp3").arg(i % 20 + 1).arg(title).arg(i));
            insert->Bind(insert->Parameter(QStringLiteral("d") + n), qint64(90 + i % 400));
            insert->Bind(insert->Parameter(QStringLiteral("t") + n), title);
            insert->Bind(insert->Parameter(QStringLiteral("a") + n), artist);
            insert->Bind(insert->Parameter(QStringLiteral("g") + n), qint64(i % 148));
            insert->Bind(insert->Parameter(QStringLiteral("b") + n), album);
            insert->Bind(insert->Parameter(QStringLiteral("y") + n), qint64(1960 + i % 60));
            insert->Bind(insert->Parameter(QStringLiteral("n") + n), qint64(i % 20 + 1));
        }
        while (insert->Step()) {
        }
    }
    connection.Execute(
        QStringLiteral("INSERT INTO Playlists(Name, Description) VALUES('Big', '')"));
    for (int e = 1; e <= playlistEntries; ++e) {
        TParams p;
        p.SetValue(QStringLiteral("song"), 1 + (e * 7919) % songs, TFieldType::Integer);
        p.SetValue(QStringLiteral("sequence"), e, TFieldType::Integer);
        connection.Execute(QStringLiteral("INSERT INTO Playlist_Songs(PlayList_ID, Song_ID, "
                                          "Sequence) VALUES(1, :song, :sequence)"),
                           p);
    }
    transaction.Commit();
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
