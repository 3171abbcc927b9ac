#include "app/UMain.h"

void TfrmMain::ImportSongs1Click() {}
void TfrmMain::btnFilterClick() {}
void TfrmMain::ApplySelection() {}
