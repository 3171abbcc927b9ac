#include "data/SongMoves.h"

#include "base/Errors.h"
#include "data/Database.h"
#include "data/SongRow.h"

std::vector<TSongLikeness> SongsOfSizes(TConnection &connection, const QList<qint64> &sizes)
{
    TParams params;
    params.SetValue(QStringLiteral("sizes"), IdListText(sizes), TFieldType::Text);
    TStatement rows(connection,
                    QStringLiteral("SELECT Row_ID, Path, Filename, Duration, ID3_Title, "
                                   "ID3_Artist, ID3_Album, ID3_Comment, ID3_Year, ID3_Track, "
                                   "ID3_Genre FROM Playlist_DB WHERE File_Size IN (SELECT value "
                                   "FROM json_each(:sizes)) ORDER BY Row_ID"),
                    params);
    std::vector<TSongLikeness> songs;
    while (rows.Step()) {
        TSongLikeness song;
        song.RowId = rows.Integer(0);
        song.File = JoinSongFile(rows.Text(1), rows.Text(2));
        song.Facts.Duration = int(rows.Integer(3));
        song.Facts.Title = rows.Text(4);
        song.Facts.Artist = rows.Text(5);
        song.Facts.Album = rows.Text(6);
        song.Facts.Comment = rows.Text(7);
        song.Facts.Year = int(rows.Integer(8));
        song.Facts.Track = int(rows.Integer(9));
        song.Facts.Genre = int(rows.Integer(10));
        songs.push_back(std::move(song));
    }
    return songs;
}

std::optional<TStoredSong> StoredSongAt(TConnection &connection, const QString &file)
{
    const TSongPlace place = SplitSongFile(file);
    TParams params;
    params.SetValue(QStringLiteral("path"), place.Path, TFieldType::Text);
    params.SetValue(QStringLiteral("filename"), place.Filename, TFieldType::Text);
    TStatement row(connection,
                   QStringLiteral("SELECT Row_ID, File_Size, File_Modified FROM Playlist_DB "
                                  "WHERE Path = :path AND Filename = :filename ORDER BY Row_ID"),
                   params);
    if (!row.Step())
        return std::nullopt;
    return TStoredSong{row.Integer(0), file, row.OptionalInteger(1), row.OptionalInteger(2)};
}

void ForEachSongFolder(TConnection &connection, const std::function<void(const QString &)> &visit)
{
    // Read through the index on (Path, Filename), one row at a time: a library may hold
    // hundreds of thousands of folders.
    TStatement paths(connection, connection.OnServer()
                                     ? QStringLiteral("SELECT DISTINCT Path FROM Playlist_DB "
                                                      "ORDER BY Path COLLATE \"C\"")
                                     : QStringLiteral("SELECT DISTINCT Path FROM Playlist_DB "
                                                      "ORDER BY Path"));
    while (paths.Step())
        visit(paths.Text(0));
}

bool MoveSong(TConnection &connection, qint64 rowId, const QString &file)
{
    const TSongPlace place = SplitSongFile(file);
    TParams params;
    params.SetValue(QStringLiteral("path"), place.Path, TFieldType::Text);
    params.SetValue(QStringLiteral("filename"), place.Filename, TFieldType::Text);
    params.SetValue(QStringLiteral("rowid"), rowId, TFieldType::Integer);
    // A savepoint of its own: on a server a failed statement spoils the whole transaction.
    TTransaction step(connection);
    try {
        connection.Execute(QStringLiteral("UPDATE Playlist_DB SET Path = :path, Filename = "
                                          ":filename WHERE Row_ID = :rowid"),
                           params);
    } catch (const EDatabaseError &e) {
        if (e.Failure() == TDatabaseFailure::Duplicate)
            return false;
        throw;
    }
    step.Commit();
    return true;
}
