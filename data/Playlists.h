#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <optional>

class TConnection;
class TDataSet;

// What the details dialog lets a playlist's texts hold.
constexpr int PlaylistNameLength = 25;
constexpr int PlaylistDescriptionLength = 255;
// Why a playlist cannot have that name (one of blanks only, or none), or an empty text.
QString PlaylistNameRefusal(const QString &name);

struct TPlaylistRow {
    qint64 Id = 0;
    QString Name;
    QString Description;
    QVariant DateCreated; // a date and time, or whatever text the row holds
};

// Inserts a playlist; returns this insert's own id (another program may add one meanwhile).
qint64 InsertPlaylist(TConnection &connection, const QString &name, const QString &description,
                      const QDateTime &created);
// Changes a playlist's name and description.
void UpdatePlaylist(TConnection &connection, qint64 id, const QString &name,
                    const QString &description);
// Removes a playlist; the library removes its entries with it.
void DeletePlaylist(TConnection &connection, qint64 id);
// The highest playlist id, 0 when there is none.
int LastPlaylistID(TConnection &connection);
// One playlist's row, or nothing when there is no such playlist.
std::optional<TPlaylistRow> LoadPlaylist(TConnection &connection, qint64 id);
// Whether a playlist with the id exists.
bool PlaylistExists(TConnection &connection, qint64 id);
// Opens every playlist, all columns, sorted by name.
void OpenPlaylistsByName(TDataSet &playlists);
// Opens every playlist's id, name, description and creation time in id order.
void OpenPlaylistsById(TDataSet &playlists);
