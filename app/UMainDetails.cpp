#include "app/UMain.h"

#include "data/Durations.h"
#include "data/SongRow.h"
#include "data/SongRows.h"
#include "dialogs/UPlaylistDetails.h"
#include "dialogs/UProperties.h"

#include <QDateTime>
#include <QLabel>
#include <QLineEdit>

void TfrmMain::ShowSongProperties(TDataSet *dataSet)
{
    if (!dataSet->Active() || dataSet->IsEmpty())
        return; // no current song
    TfrmProperties *form = frmProperties;
    // Only a playlist entry has a number.
    form->lblSongNo2->setText(
        dataSet == qryPlayListSongs ? dataSet->AsString(QStringLiteral("Sequence")) : QString());
    form->lblDuration2->setText(
        FormatMilliseconds(dataSet->AsInteger(QStringLiteral("Duration")) * 1000));
    form->SetFileName(SongFile(*dataSet));
    form->edTitle->setText(dataSet->AsString(QStringLiteral("ID3_Title")));
    form->edArtist->setText(dataSet->AsString(QStringLiteral("ID3_Artist")));
    form->SelectGenre(int(dataSet->AsInteger(QStringLiteral("ID3_Genre"))));
    form->edComment->setText(dataSet->AsString(QStringLiteral("ID3_Comment")));
    form->edAlbum->setText(dataSet->AsString(QStringLiteral("ID3_Album")));
    form->edYear->setText(QString::number(dataSet->AsInteger(QStringLiteral("ID3_Year"))));
    form->edTrack->setText(QString::number(dataSet->AsInteger(QStringLiteral("ID3_Track"))));
    const qint64 songId = dataSet->AsInteger(
        dataSet == qryPlayListSongs ? QStringLiteral("Song_ID") : QStringLiteral("Row_ID"));
    const QMetaObject::Connection saved =
        connect(form, &TfrmProperties::TagSaved, this,
                [this, songId](const TID3Tag &tag) { SongTagSaved(songId, tag); });
    struct TDisconnect {
        QMetaObject::Connection Connection;
        ~TDisconnect() { QObject::disconnect(Connection); }
    } disconnectAfterwards{saved};
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
    form->edName->clear();
    form->edDescription->clear();
    form->lblDateCreated->setText(
        TfrmPlaylistDetails::NewPlaylistDateText(QDateTime::currentDateTime()));
    form->lblPlaylistID->hide();
    form->ShowModal();
}

void TfrmMain::Properties3Click()
{
    const int id = CurrentPlaylistId();
    if (id < 0)
        return; // no playlist chosen
    TfrmPlaylistDetails *form = frmPlaylistDetails;
    form->lblPlaylistID->show();
    form->LoadPlaylist(id);
    form->ShowModal();
}
