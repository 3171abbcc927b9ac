#include "data/PlaylistEntries.h"

#include "base/Errors.h"
#include "data/DataSet.h"
#include "data/Database.h"
#include "data/Table.h"

#include <QHash>
#include <QObject>
#include <QPair>
#include <QSet>
#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

void SetUpSongsTable(TTable &songs)
{
    songs.TableName = QStringLiteral("Playlist_DB");
    songs.IndexName = QStringLiteral("row_id");
    songs.IndexField = QStringLiteral("Row_ID");
}

namespace
{
// The song fields an entry shows, joined from Playlist_DB.
const char *const SongFields[] = {"Path",      "FileName",   "Duration",  "FileType",
                                  "ID3_Title", "ID3_Artist", "ID3_Genre", "ID3_Comment",
                                  "ID3_Album", "ID3_Year",   "ID3_Track"};

QString SongFieldList(const QString &table)
{
    QStringList fields;
    for (const char *name : SongFields)
        fields << table + QLatin1Char('.') + QString::fromLatin1(name);
    return fields.join(QStringLiteral(", "));
}
} // namespace

void SetUpPlaylistEntries(TDataSet &entries, TTable *songs)
{
    // A field the songs table stores shows in the entries of that song at once.
    if (songs)
        QObject::connect(
            songs, &TDataSet::ValueStored, &entries,
            [&entries](qint64 key, const QString &name, const QVariant &value) {
                entries.RefreshRowValues(QStringLiteral("Song_ID"), key, {{name, value}});
            });
    entries.SetUpdateTarget(
        QStringLiteral("Playlist_Songs"), QStringLiteral("Row_ID"),
        {QStringLiteral("Song_ID"), QStringLiteral("PlayList_ID"), QStringLiteral("Sequence")});
    entries.SetFieldRange(QStringLiteral("PlayList_ID"), 0, 65535);
    entries.SetFieldRange(QStringLiteral("Sequence"), 0, 65535);
    // A playlist saved from two places at once: the last save wins whole. Saves of one
    // playlist wait for each other on its row, and each leaves exactly the entries it shows.
    entries.BeforeUpdate = [&entries](TConnection &connection, const QList<qint64> &kept) {
        QVariant playlist;
        for (const TParam &p : entries.Parameters().Items()) {
            if (p.Name.compare(QLatin1String("playlistid"), Qt::CaseInsensitive) == 0)
                playlist = p.Value;
        }
        if (playlist.isNull())
            return;
        TParams params;
        params.SetValue(QStringLiteral("playlistid"), playlist, TFieldType::Integer);
        connection.Execute(QStringLiteral("UPDATE Playlists SET Name = Name WHERE PlayList_ID = "
                                          ":playlistid"),
                           params);
        params.SetValue(QStringLiteral("ids"), IdListText(kept), TFieldType::Text);
        connection.Execute(QStringLiteral("DELETE FROM Playlist_Songs WHERE PlayList_ID = "
                                          ":playlistid AND Row_ID NOT IN (SELECT value FROM "
                                          "json_each(:ids))"),
                           params);
    };
}

QStringList PlaylistEntriesSQL(const QString &column, const QString &direction)
{
    return {QStringLiteral("SELECT e.Row_ID, e.Song_ID, e.PlayList_ID, e.Sequence, ") +
                SongFieldList(QStringLiteral("s")),
            QStringLiteral("FROM Playlist_Songs e LEFT JOIN Playlist_DB s ON s.Row_ID = e.Song_ID"),
            QStringLiteral("WHERE e.PlayList_ID = :playlistid"),
            QStringLiteral("ORDER BY e.") + column + QLatin1Char(' ') + direction};
}

void OpenPlaylistEntries(TDataSet &entries, int playlistId, const QString &column,
                         const QString &direction)
{
    entries.SetSQL(PlaylistEntriesSQL(column, direction));
    entries.Parameters().SetValue(QStringLiteral("playlistid"), playlistId, TFieldType::Integer);
    entries.Open();
}

void RenumberEntries(TDataSet &entries)
{
    entries.DisableControls();
    struct TEnable {
        TDataSet &Entries;
        ~TEnable() { Entries.EnableControls(); }
    } enable{entries};
    entries.First();
    int counter = 0;
    while (!entries.Eof()) {
        ++counter;
        if (entries.AsInteger(QStringLiteral("Sequence")) != counter) {
            entries.Edit();
            entries.SetFieldValue(QStringLiteral("Sequence"), counter);
            entries.Post();
        }
        entries.Next();
    }
    entries.First();
}

void AppendEntry(TDataSet &entries, int playlistId, int sequence, const QVariant &songId)
{
    entries.Append();
    entries.SetFieldValue(QStringLiteral("PlayList_ID"), playlistId);
    entries.SetFieldValue(QStringLiteral("Sequence"), sequence);
    entries.SetFieldValue(QStringLiteral("Song_ID"), songId);
    // The song's fields show with the new entry; they are not written.
    TParams params;
    params.SetValue(QStringLiteral("song"), songId, TFieldType::Integer);
    TStatement song(*entries.Connection(),
                    QStringLiteral("SELECT ") + SongFieldList(QStringLiteral("Playlist_DB")) +
                        QStringLiteral(" FROM Playlist_DB WHERE Row_ID = :song"),
                    params);
    if (!songId.isNull() && song.Step()) {
        for (int c = 0; c < song.ColumnCount(); ++c) {
            const QString name = QString::fromLatin1(SongFields[c]);
            if (entries.FindField(name) < 0 || song.IsNull(c))
                continue;
            if (entries.Field(entries.FindField(name)).DataType == TFieldType::Integer)
                entries.SetFieldValue(name, song.Integer(c));
            else
                entries.SetFieldValue(name, song.Text(c));
        }
    }
    entries.Post();
}

void RemoveEntries(TDataSet &entries, const QList<int> &sequences)
{
    QList<TDataSet::TBookmark> doomed;
    for (const int sequence : sequences) {
        if (!entries.Locate(QStringLiteral("Sequence"), sequence))
            throw EDatabaseError(QStringLiteral("There is no entry %1.").arg(sequence));
        const TDataSet::TBookmark bookmark = entries.GetBookmark();
        if (!doomed.contains(bookmark))
            doomed << bookmark;
    }
    for (const TDataSet::TBookmark bookmark : std::as_const(doomed)) {
        entries.GotoBookmark(bookmark);
        entries.Delete();
    }
    RenumberEntries(entries);
}

namespace
{

TParams PlaylistParams(int playlistId)
{
    TParams params;
    params.SetValue(QStringLiteral("playlistid"), playlistId, TFieldType::Integer);
    return params;
}

// Holds the playlist's row until the transaction ends: writers of one playlist, and its
// deletion, wait for each other here.
void LockPlaylist(TConnection &db, int playlistId)
{
    db.Execute(QStringLiteral("UPDATE Playlists SET Name = Name WHERE PlayList_ID = :playlistid"),
               PlaylistParams(playlistId));
    if (db.Changes() == 0)
        throw EDatabaseError(QStringLiteral("There is no playlist %1.").arg(playlistId));
}

// Sequence 1 to n in the order of the stored numbers, writing only the entries that differ.
void NumberFromOne(TConnection &db, int playlistId)
{
    db.Execute(QStringLiteral(
                   "UPDATE Playlist_Songs SET Sequence = Numbered.Place FROM (SELECT Row_ID AS "
                   "Entry_ID, row_number() OVER (ORDER BY Sequence, Row_ID) AS Place FROM "
                   "Playlist_Songs WHERE PlayList_ID = :playlistid) AS Numbered WHERE "
                   "Playlist_Songs.Row_ID = Numbered.Entry_ID AND (Playlist_Songs.Sequence IS NULL "
                   "OR Playlist_Songs.Sequence <> Numbered.Place)"),
               PlaylistParams(playlistId));
}

int EntryCount(TConnection &db, int playlistId)
{
    TStatement count(
        db, QStringLiteral("SELECT count(*) FROM Playlist_Songs WHERE PlayList_ID = :playlistid"),
        PlaylistParams(playlistId));
    return count.Step() ? int(count.Integer(0)) : 0;
}

void RefuseUnknownSongs(TConnection &db, const QList<qint64> &songIds)
{
    QList<qint64> distinct = songIds;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    TParams params;
    params.SetValue(QStringLiteral("ids"), IdListText(distinct), TFieldType::Text);
    TStatement songs(db,
                     QStringLiteral("SELECT Row_ID FROM Playlist_DB WHERE Row_ID IN (SELECT value "
                                    "FROM json_each(:ids))"),
                     params);
    QSet<qint64> known;
    while (songs.Step())
        known.insert(songs.Integer(0));
    for (const qint64 song : songIds) {
        if (!known.contains(song))
            throw EDatabaseError(
                QStringLiteral("There is no song %1; nothing was added.").arg(song));
    }
}

// New entries go in statements of many rows: one round trip per statement on a server.
constexpr int EntriesPerStatement = 500;

// Returns how many were inserted: fewer when the progress said stop.
int InsertEntries(TConnection &db, int playlistId, const QList<qint64> &songIds, int firstSequence,
                  const std::function<bool(int added)> &progress)
{
    std::unique_ptr<TStatement> insert;
    QList<std::pair<int, int>> places; // (song, sequence) parameter indexes of each row
    int prepared = 0;
    for (qsizetype start = 0; start < songIds.size(); start += EntriesPerStatement) {
        const int rows = int(std::min<qsizetype>(EntriesPerStatement, songIds.size() - start));
        if (rows != prepared) {
            QStringList values;
            for (int i = 0; i < rows; ++i)
                values << QStringLiteral("(:s%1, :playlistid, :q%1)").arg(i);
            insert = std::make_unique<TStatement>(
                db, QStringLiteral("INSERT INTO Playlist_Songs(Song_ID, PlayList_ID, Sequence) "
                                   "VALUES ") +
                        values.join(QStringLiteral(", ")));
            insert->Bind(insert->Parameter(QStringLiteral("playlistid")), qint64(playlistId));
            places.clear();
            for (int i = 0; i < rows; ++i)
                places.append({insert->Parameter(QStringLiteral("s%1").arg(i)),
                               insert->Parameter(QStringLiteral("q%1").arg(i))});
            prepared = rows;
        } else {
            insert->Reset();
        }
        for (int i = 0; i < rows; ++i) {
            insert->Bind(places[i].first, songIds[start + i]);
            insert->Bind(places[i].second, qint64(firstSequence + start + i));
        }
        while (insert->Step()) {
        }
        if (progress && !progress(int(start + rows)) && start + rows < songIds.size())
            return int(start + rows);
    }
    return int(songIds.size());
}

void DeleteEntryRows(TConnection &db, int playlistId, const QList<qint64> &entryIds)
{
    TParams params = PlaylistParams(playlistId);
    params.SetValue(QStringLiteral("ids"), IdListText(entryIds), TFieldType::Text);
    db.Execute(QStringLiteral("DELETE FROM Playlist_Songs WHERE PlayList_ID = :playlistid AND "
                              "Row_ID IN (SELECT value FROM json_each(:ids))"),
               params);
}

// The playlist's entries as they are listed: key and number (-1 for none).
QList<QPair<qint64, qint64>> ListedEntries(TConnection &db, int playlistId)
{
    QList<QPair<qint64, qint64>> listed;
    TStatement entries(db,
                       QStringLiteral("SELECT Row_ID, Sequence FROM Playlist_Songs WHERE "
                                      "PlayList_ID = :playlistid ORDER BY Sequence, Row_ID"),
                       PlaylistParams(playlistId));
    while (entries.Step())
        listed.append({entries.Integer(0), entries.IsNull(1) ? -1 : entries.Integer(1)});
    return listed;
}

} // namespace

int AppendPlaylistEntries(TConnection &db, int playlistId, const QList<qint64> &songIds,
                          const std::function<bool(int added)> &progress)
{
    if (songIds.isEmpty())
        return 0;
    db.FinishOpenBatch();
    TTransaction transaction(db);
    LockPlaylist(db, playlistId);
    RefuseUnknownSongs(db, songIds);
    const int count = EntryCount(db, playlistId);
    if (songIds.size() > PlaylistEntryLimit - count)
        throw EDatabaseError(
            QStringLiteral("Playlist %1 holds %2 entries, and a playlist holds at most 65,535 "
                           "entries; nothing was added.")
                .arg(playlistId)
                .arg(count));
    NumberFromOne(db, playlistId);
    const int added = InsertEntries(db, playlistId, songIds, count + 1, progress);
    transaction.Commit();
    return added;
}

int RemovePlaylistEntries(TConnection &db, int playlistId, const QList<int> &sequences)
{
    db.FinishOpenBatch();
    TTransaction transaction(db);
    LockPlaylist(db, playlistId);
    // The first entry of each number, as the entries are listed.
    QHash<qint64, qint64> entryOf;
    for (const auto &[entry, sequence] : ListedEntries(db, playlistId)) {
        if (sequence >= 0 && !entryOf.contains(sequence))
            entryOf.insert(sequence, entry);
    }
    QList<qint64> doomed;
    for (const int sequence : sequences) {
        const auto entry = entryOf.constFind(sequence);
        if (entry == entryOf.constEnd())
            throw EDatabaseError(
                QStringLiteral("There is no entry %1 in playlist %2; nothing was removed.")
                    .arg(sequence)
                    .arg(playlistId));
        if (!doomed.contains(*entry))
            doomed << *entry;
    }
    DeleteEntryRows(db, playlistId, doomed);
    NumberFromOne(db, playlistId);
    transaction.Commit();
    return int(doomed.size());
}

int RemovePlaylistEntryRows(TConnection &db, int playlistId, const QList<qint64> &entryIds)
{
    db.FinishOpenBatch();
    TTransaction transaction(db);
    LockPlaylist(db, playlistId);
    DeleteEntryRows(db, playlistId, entryIds);
    const int removed = db.Changes();
    NumberFromOne(db, playlistId);
    transaction.Commit();
    return removed;
}

int MovePlaylistEntryRows(TConnection &db, int playlistId, const QList<qint64> &entryIds,
                          int position)
{
    db.FinishOpenBatch();
    TTransaction transaction(db);
    LockPlaylist(db, playlistId);
    QList<qint64> order;
    QHash<qint64, qint64> sequenceOf;
    for (const auto &[entry, sequence] : ListedEntries(db, playlistId)) {
        order << entry;
        sequenceOf.insert(entry, sequence);
    }
    const QSet<qint64> wanted(entryIds.begin(), entryIds.end());
    QList<qint64> moved, rest;
    int target = 0;
    for (int place = 0; place < order.size(); ++place) {
        if (wanted.contains(order[place])) {
            moved << order[place];
        } else {
            rest << order[place];
            if (place < position)
                ++target;
        }
    }
    for (int i = 0; i < moved.size(); ++i)
        rest.insert(target + i, moved[i]);
    TStatement number(db, QStringLiteral("UPDATE Playlist_Songs SET Sequence = :sequence WHERE "
                                         "Row_ID = :entry"));
    const int sequence = number.Parameter(QStringLiteral("sequence"));
    const int entry = number.Parameter(QStringLiteral("entry"));
    bool first = true;
    for (int place = 0; place < rest.size(); ++place) {
        if (sequenceOf.value(rest[place]) == place + 1)
            continue;
        if (!first)
            number.Reset();
        first = false;
        number.Bind(sequence, qint64(place + 1));
        number.Bind(entry, rest[place]);
        while (number.Step()) {
        }
    }
    transaction.Commit();
    return target;
}

int InsertPlaylistEntries(TConnection &db, int playlistId, const QList<qint64> &songIds,
                          int position, const std::function<bool(int added)> &progress)
{
    if (songIds.isEmpty())
        return 0;
    db.FinishOpenBatch();
    TTransaction transaction(db);
    const int added = AppendPlaylistEntries(db, playlistId, songIds, progress);
    // The new entries are the last ones; they move to their place in the same transaction.
    QList<qint64> fresh;
    {
        TParams params = PlaylistParams(playlistId);
        params.SetValue(QStringLiteral("added"), added, TFieldType::Integer);
        TStatement last(db,
                        QStringLiteral("SELECT Row_ID FROM Playlist_Songs WHERE PlayList_ID = "
                                       ":playlistid ORDER BY Sequence DESC, Row_ID DESC LIMIT "
                                       ":added"),
                        params);
        while (last.Step())
            fresh.prepend(last.Integer(0));
    }
    MovePlaylistEntryRows(db, playlistId, fresh, position);
    transaction.Commit();
    return added;
}
