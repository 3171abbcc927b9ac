#include "data/PlaylistEntries.h"

#include "base/Errors.h"
#include "data/DataSet.h"
#include "data/Table.h"

#include <utility>

void SetUpSongsTable(TTable &songs)
{
    songs.TableName = QStringLiteral("Playlist_DB");
    songs.IndexName = QStringLiteral("row_id");
    songs.IndexField = QStringLiteral("Row_ID");
}

void SetUpPlaylistEntries(TDataSet &entries, TTable *songs)
{
    const std::pair<const char *, TFieldType> lookups[] = {
        {"Path", TFieldType::Text},         {"FileName", TFieldType::Text},
        {"Duration", TFieldType::Integer},  {"FileType", TFieldType::Integer},
        {"ID3_Title", TFieldType::Text},    {"ID3_Artist", TFieldType::Text},
        {"ID3_Genre", TFieldType::Integer}, {"ID3_Comment", TFieldType::Text},
        {"ID3_Album", TFieldType::Text},    {"ID3_Year", TFieldType::Integer},
        {"ID3_Track", TFieldType::Integer}};
    for (const auto &[name, type] : lookups)
        entries.AddLookupField(QString::fromLatin1(name), type, QStringLiteral("Song_ID"), songs,
                               QString::fromLatin1(name));
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
    return {QStringLiteral("SELECT * FROM Playlist_Songs"),
            QStringLiteral("WHERE PlayList_ID = :playlistid"),
            QStringLiteral("ORDER BY ") + column + QLatin1Char(' ') + direction};
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
