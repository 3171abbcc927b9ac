#include "data/SongRows.h"

#include "data/Database.h"
#include "data/ImportWalker.h"
#include "data/UMP3s.h"

TSongValues SongTagValues(const TID3Tag &tag)
{
    return {{QStringLiteral("ID3_Title"), FieldToString(tag.Title)},
            {QStringLiteral("ID3_Artist"), FieldToString(tag.Artist)},
            {QStringLiteral("ID3_Album"), FieldToString(tag.Album)},
            {QStringLiteral("ID3_Year"), TagYear(tag)},
            {QStringLiteral("ID3_Comment"), FieldToString(tag.Comment)},
            {QStringLiteral("ID3_Track"), int(tag.Track)},
            {QStringLiteral("ID3_Genre"), int(tag.Genre)}};
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
    connection.BeginTransaction();
    try {
        connection.Execute(Sql, params);
        connection.Commit();
    } catch (...) {
        connection.Rollback();
        throw;
    }
}
