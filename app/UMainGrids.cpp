#include "app/UMain.h"

void TfrmMain::CreateHoverImages() {}
void TfrmMain::grdPlayListDrawColumnCell(QPainter &, const QRect &, int, int, bool) {}
void TfrmMain::grdAvailableSongsDrawColumnCell(QPainter &, const QRect &, int, int, bool) {}
void TfrmMain::grdAvailableSongsKeyDown(QKeyEvent *) {}
void TfrmMain::SelectAllRows(TDBGrid *) {}
void TfrmMain::btnPreviousMouseMove() {}
void TfrmMain::btnPlayMouseMove() {}
void TfrmMain::btnNextMouseMove() {}
void TfrmMain::btnPauseMouseMove() {}
void TfrmMain::btnStopMouseMove() {}
void TfrmMain::btnFilterMouseMove() {}
void TfrmMain::pnlButtonsMouseMove() {}
void TfrmMain::gbAvailableSongsMouseMove() {}
void TfrmMain::grdAvailableSongsMouseMove() {}
void TfrmMain::grdPlayListMouseMove() {}
void TfrmMain::pbSongProgressMouseMove() {}
void TfrmMain::UpdateHoverImages() {}
void TfrmMain::ButtonRefreshTimerTimer()
{
    UpdateHoverImages();
}
