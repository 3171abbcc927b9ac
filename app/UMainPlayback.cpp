#include "app/UMain.h"

void TfrmMain::CreatePlaybackControls() {}
void TfrmMain::btnPlayClick() {}
void TfrmMain::btnPauseClick() {}
void TfrmMain::btnStopClick() {}
void TfrmMain::btnNextClick() {}
void TfrmMain::btnPreviousClick() {}
void TfrmMain::grdPlayListDblClick()
{
    btnPlayClick();
}
void TfrmMain::Play1Click()
{
    btnPlayClick();
}
void TfrmMain::MediaPlayer1Notify() {}
void TfrmMain::SongTimerTimer() {}
void TfrmMain::pbSongProgressMouseDown() {}
void TfrmMain::CheckStoredDuration(qint64) {}
