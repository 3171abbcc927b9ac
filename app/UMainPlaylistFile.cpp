#include "app/UMain.h"

void TfrmMain::WritePlaylistFile(const QString &) {}
void TfrmMain::SaveasPlaylist1Click() {}
void TfrmMain::RuninWinAmp1Click() {}
void TfrmMain::ReleaseNotes1Click() {}
