#include "data/Playlists.h"

#include "data/DataSet.h"

QString PlaylistNameRefusal(const QString &name)
{
    // The chooser would show it as "[id] -", with nothing to tell it by.
    if (name.trimmed().isEmpty())
        return QStringLiteral("A playlist needs a name.");
    return {};
}

qint64 InsertPlaylist(TConnection &connection, const QString &name, const QString &description,
                      const QDateTime &created)
{
    TParams params;
    params.SetValue(QStringLiteral("name"), name, TFieldType::Text);
    params.SetValue(QStringLiteral("description"), description, TFieldType::Text);
    params.SetValue(QStringLiteral("datecreated"), created, TFieldType::DateTime);
    connection.Execute(QStringLiteral("INSERT INTO Playlists(name, description, date_created) "
                                      "VALUES(:name, :description, :datecreated)"),
                       params);
    return connection.LastInsertId();
}

void UpdatePlaylist(TConnection &connection, qint64 id, const QString &name,
                    const QString &description)
{
    TParams params;
    params.SetValue(QStringLiteral("name"), name, TFieldType::Text);
    params.SetValue(QStringLiteral("description"), description, TFieldType::Text);
    params.SetValue(QStringLiteral("playlistid"), id, TFieldType::Integer);
    connection.Execute(QStringLiteral("UPDATE Playlists SET Name = :name, Description = "
                                      ":description WHERE PlayList_ID = :playlistid"),
                       params);
}

void DeletePlaylist(TConnection &connection, qint64 id)
{
    TParams params;
    params.SetValue(QStringLiteral("playlistid"), id, TFieldType::Integer);
    connection.Execute(QStringLiteral("DELETE FROM Playlists WHERE PlayList_ID = :playlistid"),
                       params);
}

int LastPlaylistID(TConnection &connection)
{
    TDataSet query(&connection);
    query.SetCommandText(QStringLiteral("SELECT max(PlayList_ID) as LastID FROM Playlists"));
    query.Open();
    return query.IsEmpty() ? 0 : int(query.AsInteger(QStringLiteral("LastID")));
}

std::optional<TPlaylistRow> LoadPlaylist(TConnection &connection, qint64 id)
{
    TDataSet query(&connection);
    query.SetSQL({QStringLiteral("SELECT * FROM Playlists"),
                  QStringLiteral("WHERE PlayList_ID = :playlistid")});
    query.Parameters().SetValue(QStringLiteral("playlistid"), id, TFieldType::Integer);
    query.Open();
    if (query.IsEmpty())
        return std::nullopt;
    return TPlaylistRow{id, query.AsString(QStringLiteral("Name")),
                        query.AsString(QStringLiteral("Description")),
                        query.FieldValue(QStringLiteral("Date_Created"))};
}

bool PlaylistExists(TConnection &connection, qint64 id)
{
    TParams params;
    params.SetValue(QStringLiteral("playlistid"), id, TFieldType::Integer);
    TStatement playlist(
        connection,
        QStringLiteral("SELECT PlayList_ID FROM Playlists WHERE PlayList_ID = :playlistid"),
        params);
    return playlist.Step();
}

void OpenPlaylistsByName(TDataSet &playlists)
{
    playlists.Close();
    playlists.SetSQL({QStringLiteral("SELECT * FROM Playlists"), QStringLiteral("ORDER by Name")});
    playlists.Open();
}

void OpenPlaylistsById(TDataSet &playlists)
{
    playlists.Close();
    playlists.SetCommandText(QStringLiteral(
        "SELECT PlayList_ID, Name, Description, Date_Created FROM Playlists ORDER BY PlayList_ID"));
    playlists.Open();
}
