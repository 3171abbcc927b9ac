#include "data/SongListings.h"

#include "data/DataSet.h"
#include "data/SelectionSql.h"

QVariantList CriteriaValues(TConnection &connection, TCriteriaList list)
{
    TDataSet query(&connection);
    switch (list) {
    case TCriteriaList::Artists:
        query.SetSQL({QStringLiteral("SELECT Distinct(ID3_Artist) as Artist FROM Playlist_DB"),
                      QStringLiteral("ORDER BY ID3_Artist")});
        break;
    case TCriteriaList::Albums:
        query.SetSQL({QStringLiteral("SELECT Distinct(ID3_Album) as Album FROM Playlist_DB"),
                      QStringLiteral("ORDER BY ID3_Album")});
        break;
    case TCriteriaList::Genres:
        query.SetSQL({QStringLiteral("SELECT Distinct(ID3_Genre) FROM Playlist_DB"),
                      QStringLiteral("ORDER BY ID3_Genre")});
        break;
    }
    query.Open();
    QVariantList values;
    values.reserve(query.RecordCount());
    for (int row = 0; row < query.RecordCount(); ++row)
        values << query.Value(row, 0);
    return values;
}

void OpenAllSongs(TDataSet &songs)
{
    songs.Close();
    songs.Parameters().Clear(); // a selection's values
    songs.SetSQL(
        {QStringLiteral("SELECT * FROM Playlist_DB"), QStringLiteral("ORDER BY ID3_Title")});
    songs.Open();
}

void OpenSelection(TDataSet &songs, const TSelectionCriteria &criteria)
{
    const TSelectionStatement selection = BuildSelectionStatement(criteria);
    songs.Close();
    songs.SetSQL({selection.Sql});
    songs.Parameters() = selection.Params;
    songs.Open();
}

void OpenSongsByRowId(TDataSet &songs)
{
    songs.Close();
    songs.SetCommandText(QStringLiteral("SELECT * FROM Playlist_DB ORDER BY Row_ID"));
    songs.Open();
}
