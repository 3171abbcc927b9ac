#include "app/UMain.h"

void TfrmMain::ShowSongProperties(TDataSet *) {}
void TfrmMain::Properties1Click()
{
    ShowSongProperties(qryPlayListSongs);
}
void TfrmMain::Properties2Click()
{
    ShowSongProperties(qryAvailableSongs);
}
void TfrmMain::NewPlaylist1Click() {}
void TfrmMain::Properties3Click() {}
