// Songs and files dropped on the window's lists, and songs dragged out of them.
#include "app/UMain.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "controls/Hourglass.h"
#include "data/PlaylistEntries.h"
#include "data/PlaylistFormats.h"
#include "data/Playlists.h"
#include "data/URegistry.h"
#include "dialogs/ErrorReporting.h"
#include "dialogs/MessageService.h"
#include "dialogs/UImportSongs.h"
#include "import/DroppedFiles.h"
#include "import/PlaylistImport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

namespace
{
// The grids' own type: the playlist the rows came from (-1 for the available songs), the
// entries' keys and the songs' keys, top to bottom.
const QString SongsType = QStringLiteral("application/x-quillmere-songs");
const QString UriListType = QStringLiteral("text/uri-list");

QJsonArray Keys(const QList<QVariant> &values)
{
    QJsonArray keys;
    for (const QVariant &value : values)
        keys.append(value.toLongLong());
    return keys;
}

QList<qint64> Keys(const QJsonValue &array)
{
    QList<qint64> keys;
    for (const QJsonValue &key : array.toArray())
        keys << qint64(key.toDouble());
    return keys;
}

// The dragged rows' data: the grid's own type and the songs' files for other programs.
QMimeData *SongsData(TDataSet &rows, const QList<int> &list, qint64 playlist)
{
    auto *data = new QMimeData;
    QJsonObject songs;
    songs[QStringLiteral("playlist")] = playlist;
    const bool entries = playlist >= 0;
    songs[QStringLiteral("entries")] =
        entries ? Keys(rows.RowValues(list, QStringLiteral("Row_ID"))) : QJsonArray();
    songs[QStringLiteral("songs")] =
        Keys(rows.RowValues(list, entries ? QStringLiteral("Song_ID") : QStringLiteral("Row_ID")));
    data->setData(SongsType, QJsonDocument(songs).toJson(QJsonDocument::Compact));
    const QList<QVariant> paths = rows.RowValues(list, QStringLiteral("Path"));
    const QList<QVariant> names = rows.RowValues(list, QStringLiteral("Filename"));
    QList<QUrl> urls;
    for (qsizetype i = 0; i < paths.size() && i < names.size(); ++i) {
        const QString file = paths[i].toString() + names[i].toString();
        if (!names[i].toString().isEmpty())
            urls << QUrl::fromEncoded(FileUri(file));
    }
    data->setUrls(urls);
    return data;
}

// A copy that outlives the drop, for the work done after it.
std::shared_ptr<QMimeData> Copied(const QMimeData *data)
{
    auto copy = std::make_shared<QMimeData>();
    for (const QString &format : data->formats())
        copy->setData(format, data->data(format));
    return copy;
}
} // namespace

void TfrmMain::CreateDrops()
{
    for (TDBGrid *grid : {grdPlayList, grdAvailableSongs}) {
        grid->setDragEnabled(true);
        grid->setAcceptDrops(true);
        grid->viewport()->setAcceptDrops(true);
        grid->setDropIndicatorShown(true);
        grid->setDragDropOverwriteMode(false);
        grid->setDragDropMode(QAbstractItemView::DragDrop);
        grid->setDefaultDropAction(Qt::CopyAction);
    }
    grdPlayList->Model().DropTypes = {SongsType, UriListType};
    grdAvailableSongs->Model().DropTypes = {UriListType};
    grdPlayList->Model().DragRows = [this](const QList<int> &rows) -> QMimeData * {
        QMimeData *data = nullptr;
        RunReportingErrors([&] { data = SongsData(*qryPlayListSongs, rows, CurrentPlaylistId()); });
        return data;
    };
    grdAvailableSongs->Model().DragRows = [this](const QList<int> &rows) -> QMimeData * {
        QMimeData *data = nullptr;
        RunReportingErrors([&] { data = SongsData(*qryAvailableSongs, rows, -1); });
        return data;
    };
    // The work runs after the drop has ended: its messages are not shown inside the drag.
    const auto later = [this](TDBGrid *grid) {
        return [this, grid](const QMimeData *data, int row) {
            std::shared_ptr<QMimeData> copy = Copied(data);
            QTimer::singleShot(0, this, [this, grid, copy, row] {
                RunReportingErrors([&] { DropOn(grid, *copy, row); });
            });
            return true;
        };
    };
    grdPlayList->Model().Drop = later(grdPlayList);
    grdAvailableSongs->Model().Drop = later(grdAvailableSongs);
}

void TfrmMain::DropOn(TDBGrid *grid, const QMimeData &data, int row)
{
    const bool onPlayList = grid == grdPlayList;
    const int playlist = CurrentPlaylistId();
    if (onPlayList && data.hasFormat(SongsType)) {
        if (playlist < 0 || !qryPlayListSongs->Active())
            throw EDatabaseError(QStringLiteral("There is no playlist to add the songs to."));
        const QJsonObject songs = QJsonDocument::fromJson(data.data(SongsType)).object();
        const QList<qint64> entries = Keys(songs.value(QStringLiteral("entries")));
        if (qint64(songs.value(QStringLiteral("playlist")).toDouble()) == playlist &&
            !entries.isEmpty()) {
            ReorderEntries(entries, row);
            return;
        }
        InsertSongsAt(Keys(songs.value(QStringLiteral("songs"))), row);
        return;
    }
    if (!data.hasUrls())
        return;
    QStringList files, playlistFiles;
    for (const QUrl &url : data.urls()) {
        if (!url.isLocalFile())
            continue;
        // The name's own bytes, stray ones too.
        const QString file = FileNameFromBytes(
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
        TPlaylistFormat format;
        if (PlaylistFormatOf(file, format) && !FileStatus(file).IsFolder)
            playlistFiles << file;
        else
            files << file;
    }
    if (!files.isEmpty())
        ImportDropped(files, onPlayList ? row : -1);
    for (const QString &file : playlistFiles)
        ImportDroppedPlaylist(file);
}

void TfrmMain::InsertSongsAt(const QList<qint64> &songs, int row)
{
    if (songs.isEmpty())
        return;
    const qint64 playing = PlayingEntry();
    const int added = InsertPlaylistEntries(QuillmereDB, CurrentPlaylistId(), songs, row);
    ShowEntriesAt(row, added, playing);
}

void TfrmMain::ImportDropped(const QStringList &files, int row)
{
    TDroppedImport result;
    {
        THourglass hourglass;
        result = ImportDroppedFiles(QuillmereDB, files);
    }
    if (result.Imported > 0) {
        WriteSetting(QuillmereKeyPath, QStringLiteral("Imported"), QStringLiteral("Y"), false);
        SongsImported();
    }
    if (row >= 0 && CurrentPlaylistId() >= 0 && qryPlayListSongs->Active())
        InsertSongsAt(result.Songs, row);
    // The import's report, when there is something new to tell.
    if (result.Imported > 0 || result.Failed > 0 || !result.Problems.isEmpty()) {
        TImportCounts counts;
        counts.Imported = result.Imported;
        counts.Failed = result.Failed;
        ShowInformation(ImportClosingText(counts, result.Problems));
    }
}

void TfrmMain::ImportDroppedPlaylist(const QString &file)
{
    const TPlaylistImport result = ImportPlaylistFile(QuillmereDB, file);
    const QString &name = result.Name;
    if (result.Imported > 0)
        SongsImported();
    // The new playlist is chosen, standing last as a playlist made here does.
    PlaylistCreated(result.PlaylistId,
                    QStringLiteral("[%1] - %2").arg(result.PlaylistId).arg(name));
    if (!result.Problems.isEmpty())
        ShowWarning(QStringLiteral("%1 entries of \"%2\" were left out:\r\r%3")
                        .arg(result.Problems.size())
                        .arg(ReadableFileName(file), result.Problems.join(QLatin1Char('\r'))));
}
