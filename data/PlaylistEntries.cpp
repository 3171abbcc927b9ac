#include "data/PlaylistEntries.h"

#include "base/Errors.h"
#include "data/DataSet.h"
#include "data/Table.h"

#include <QObject>

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
