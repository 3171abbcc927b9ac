#include "app/UMain.h"

#include "data/Durations.h"
#include "data/SongRow.h"
#include "data/SongRows.h"
#include "dialogs/UPlaylistDetails.h"
#include "dialogs/UProperties.h"

#include <QDateTime>

namespace
{
// The current row of the playlist's entries (entry true) or of the available songs.
TSongProperties SongPropertiesOf(const TDataSet &rows, bool entry)
{
    const auto text = [&](const char *field) { return rows.AsString(QLatin1String(field)); };
    const auto number = [&](const char *field) { return rows.AsInteger(QLatin1String(field)); };
    TSongProperties song;
    song.SongId = number(entry ? "Song_ID" : "Row_ID");
    if (entry)
        song.Number = text("Sequence");
    song.DurationMs = number("Duration") * 1000;
    song.FileName = SongFile(rows);
    song.Title = text("ID3_Title");
    song.Artist = text("ID3_Artist");
    song.Genre = int(number("ID3_Genre"));
    song.Comment = text("ID3_Comment");
    song.Album = text("ID3_Album");
    song.Year = int(number("ID3_Year"));
    song.Track = int(number("ID3_Track"));
    return song;
}
} // namespace

void TfrmMain::ShowSongProperties(TDataSet *dataSet)
{
    if (!dataSet->Active() || dataSet->IsEmpty())
        return; // no current song
    TfrmProperties *form = frmProperties;
    // The dialog is answered once for all songs: a saved tag names the song it was shown for.
    if (m_propertiesAnswered != form) {
        m_propertiesAnswered = form;
        connect(form, &TfrmProperties::TagSaved, this,
                [this, form](const TID3Tag &tag) { SongTagSaved(form->ShownSongId(), tag); });
    }
    form->ShowSong(SongPropertiesOf(*dataSet, dataSet == qryPlayListSongs));
    form->ShowModal();
}

void TfrmMain::SongTagSaved(qint64 songId, const TID3Tag &tag)
{
    UpdateSongTag(QuillmereDB, songId, tag);
    // Both grids show the new values at once.
    const TSongValues values = SongTagValues(tag);
    tblSongs->RefreshRowValues(QStringLiteral("Row_ID"), songId, values);
    qryAvailableSongs->RefreshRowValues(QStringLiteral("Row_ID"), songId, values);
    qryPlayListSongs->RefreshRowValues(QStringLiteral("Song_ID"), songId, values);
}

void TfrmMain::Properties1Click()
{
    ShowSongProperties(qryPlayListSongs);
}

void TfrmMain::Properties2Click()
{
    ShowSongProperties(qryAvailableSongs);
}

void TfrmMain::NewPlaylist1Click()
{
    TfrmPlaylistDetails *form = frmPlaylistDetails;
    form->StartNewPlaylist(QDateTime::currentDateTime());
    form->ShowModal();
}

void TfrmMain::Properties3Click()
{
    const int id = CurrentPlaylistId();
    if (id < 0)
        return; // no playlist chosen
    TfrmPlaylistDetails *form = frmPlaylistDetails;
    form->LoadPlaylist(id);
    form->ShowModal();
}
