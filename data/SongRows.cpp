#include "data/SongRows.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/DataSet.h"
#include "data/PlaylistEntries.h"
#include "data/SongRow.h"
#include "data/Table.h"
#include "data/UMP3s.h"

#include <QSet>
#include <cerrno>

namespace
{

TParams IdParams(const QList<qint64> &rowIds)
{
    TParams params;
    params.SetValue(QStringLiteral("ids"), IdListText(rowIds), TFieldType::Text);
    return params;
}

qint64 CountOf(TConnection &connection, const QString &sql, const TParams &params)
{
    TStatement count(connection, sql, params);
    return count.Step() ? count.Integer(0) : 0;
}

QList<qint64> PlaylistsWithSongs(TConnection &connection, const QList<qint64> &rowIds)
{
    TStatement playlists(connection,
                         QStringLiteral("SELECT DISTINCT PlayList_ID FROM Playlist_Songs WHERE "
                                        "Song_ID IN (SELECT value FROM json_each(:ids)) "
                                        "ORDER BY PlayList_ID"),
                         IdParams(rowIds));
    QList<qint64> ids;
    while (playlists.Step())
        ids << playlists.Integer(0);
    return ids;
}

} // namespace

std::optional<qint64> SongIdAt(TConnection &connection, const QString &path,
                               const QString &filename)
{
    TParams params;
    params.SetValue(QStringLiteral("path"), path, TFieldType::Text);
    params.SetValue(QStringLiteral("filename"), filename, TFieldType::Text);
    TStatement song(connection,
                    QStringLiteral("SELECT min(Row_ID) FROM Playlist_DB WHERE Path = :path AND "
                                   "Filename = :filename"),
                    params);
    return song.Step() ? song.OptionalInteger(0) : std::nullopt;
}

std::vector<TStoredSong> StoredSongs(TConnection &connection, const QString &folder)
{
    QString prefix = folder;
    if (!prefix.isEmpty() && !prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    TStatement rows(connection,
                    QStringLiteral("SELECT Row_ID, Path, Filename, File_Size, File_Modified "
                                   "FROM Playlist_DB ORDER BY Row_ID"));
    std::vector<TStoredSong> songs;
    while (rows.Step()) {
        const QString path = rows.Text(1);
        if (!path.startsWith(prefix))
            continue;
        songs.push_back({rows.Integer(0), JoinSongFile(path, rows.Text(2)), rows.OptionalInteger(3),
                         rows.OptionalInteger(4)});
    }
    return songs;
}

void UpdateSongFacts(TConnection &connection, qint64 rowId, const TSongFacts &facts, qint64 size,
                     qint64 modified)
{
    TParams p;
    p.SetValue(QStringLiteral("duration"), facts.Duration, TFieldType::Integer);
    p.SetValue(QStringLiteral("id3title"), facts.Title, TFieldType::Text);
    p.SetValue(QStringLiteral("id3artist"), facts.Artist, TFieldType::Text);
    p.SetValue(QStringLiteral("id3genre"), facts.Genre, TFieldType::Integer);
    p.SetValue(QStringLiteral("id3comment"), facts.Comment, TFieldType::Text);
    p.SetValue(QStringLiteral("id3album"), facts.Album, TFieldType::Text);
    p.SetValue(QStringLiteral("id3year"), facts.Year, TFieldType::Integer);
    p.SetValue(QStringLiteral("id3track"), facts.Track, TFieldType::Integer);
    p.SetValue(QStringLiteral("size"), size, TFieldType::Integer);
    p.SetValue(QStringLiteral("modified"), modified, TFieldType::Integer);
    p.SetValue(QStringLiteral("rowid"), rowId, TFieldType::Integer);
    connection.Execute(
        StatementText({QStringLiteral("UPDATE Playlist_DB SET Duration = :duration, ID3_Title = "
                                      ":id3title, ID3_Artist = :id3artist, ID3_Genre = :id3genre, "
                                      "ID3_Comment = :id3comment, ID3_Album = :id3album, "
                                      "ID3_Year = :id3year, ID3_Track = :id3track,"),
                       QStringLiteral("File_Size = :size, File_Modified = :modified"),
                       QStringLiteral("WHERE Row_ID = :rowid")}),
        p);
}

bool FileGone(const QString &file)
{
    const TFileStatus status = FileStatus(file);
    return !status.Exists && (status.Error == ENOENT || status.Error == ENOTDIR);
}

QList<qint64> MissingSongs(TConnection &connection, const QString &folder)
{
    QList<qint64> missing;
    for (const TStoredSong &song : StoredSongs(connection, folder)) {
        if (FileGone(song.File))
            missing << song.RowId;
    }
    return missing;
}

void OpenSongs(TDataSet &songs, const QList<qint64> &rowIds)
{
    songs.SetSQL({QStringLiteral("SELECT * FROM Playlist_DB"),
                  QStringLiteral("WHERE Row_ID IN (SELECT value FROM json_each(:ids))"),
                  QStringLiteral("ORDER BY Row_ID")});
    songs.Parameters().SetValue(QStringLiteral("ids"), IdListText(rowIds), TFieldType::Text);
    songs.Open();
}

TPruneCounts PlannedPrune(TConnection &connection, const QList<qint64> &rowIds)
{
    TPruneCounts counts;
    counts.Songs = int(CountOf(connection,
                               QStringLiteral("SELECT count(*) FROM Playlist_DB WHERE Row_ID IN "
                                              "(SELECT value FROM json_each(:ids))"),
                               IdParams(rowIds)));
    counts.Entries = int(CountOf(connection,
                                 QStringLiteral("SELECT count(*) FROM Playlist_Songs WHERE "
                                                "Song_ID IN (SELECT value FROM json_each(:ids))"),
                                 IdParams(rowIds)));
    counts.Playlists = int(PlaylistsWithSongs(connection, rowIds).size());
    return counts;
}

TPruneCounts PruneSongs(TConnection &connection, const QList<qint64> &listedIds,
                        const std::function<bool(const QString &)> &stillGone)
{
    TPruneCounts counts;
    if (listedIds.isEmpty())
        return counts;
    TTransaction transaction(connection);
    // A file may be back since it was listed (a folder moved away for a moment).
    QList<qint64> rowIds = listedIds;
    if (stillGone) {
        rowIds.clear();
        TStatement files(connection,
                         QStringLiteral("SELECT Row_ID, Path, Filename FROM Playlist_DB WHERE "
                                        "Row_ID IN (SELECT value FROM json_each(:ids)) ORDER "
                                        "BY Row_ID"),
                         IdParams(listedIds));
        while (files.Step()) {
            if (stillGone(JoinSongFile(files.Text(1), files.Text(2))))
                rowIds << files.Integer(0);
        }
        if (rowIds.isEmpty())
            return counts;
    }
    const QSet<qint64> doomed(rowIds.begin(), rowIds.end());
    // The entries' song fields are not needed: the songs table stays closed.
    TTable songs(&connection);
    SetUpSongsTable(songs);
    for (const qint64 playlist : PlaylistsWithSongs(connection, rowIds)) {
        TDataSet entries(&connection);
        SetUpPlaylistEntries(entries, &songs);
        OpenPlaylistEntries(entries, int(playlist), QStringLiteral("Sequence"),
                            QStringLiteral("Asc"));
        entries.First();
        while (!entries.Eof()) {
            if (doomed.contains(entries.AsInteger(QStringLiteral("Song_ID")))) {
                entries.Delete();
                ++counts.Entries;
            } else {
                entries.Next();
            }
        }
        RenumberEntries(entries);
        entries.UpdateBatch();
        ++counts.Playlists;
    }
    TStatement remove(connection,
                      QStringLiteral("DELETE FROM Playlist_DB WHERE Row_ID IN (SELECT value FROM "
                                     "json_each(:ids))"),
                      IdParams(rowIds));
    remove.Step();
    counts.Songs = connection.Changes();
    transaction.Commit();
    return counts;
}

TSongValues SongTagValues(const TID3Tag &tag)
{
    const TSongTags t = SongTagsFromID3v1(tag);
    return {{QStringLiteral("ID3_Title"), t.Title},     {QStringLiteral("ID3_Artist"), t.Artist},
            {QStringLiteral("ID3_Album"), t.Album},     {QStringLiteral("ID3_Year"), t.Year},
            {QStringLiteral("ID3_Comment"), t.Comment}, {QStringLiteral("ID3_Track"), t.Track},
            {QStringLiteral("ID3_Genre"), t.Genre}};
}

void UpdateSongTag(TConnection &connection, qint64 rowId, const TID3Tag &tag)
{
    static const QString Sql =
        QStringLiteral("UPDATE Playlist_DB SET ID3_Title = :ID3_Title, ID3_Artist = :ID3_Artist, "
                       "ID3_Album = :ID3_Album, ID3_Year = :ID3_Year, ID3_Comment = :ID3_Comment, "
                       "ID3_Track = :ID3_Track, ID3_Genre = :ID3_Genre WHERE Row_ID = :rowid");
    TParams params;
    for (const auto &[column, value] : SongTagValues(tag))
        params.SetValue(column, value,
                        value.metaType().id() == QMetaType::QString ? TFieldType::Text
                                                                    : TFieldType::Integer);
    params.SetValue(QStringLiteral("rowid"), rowId, TFieldType::Integer);
    connection.FinishOpenBatch();
    TTransaction transaction(connection);
    connection.Execute(Sql, params);
    transaction.Commit();
}
