#include "app/UMain.h"

void TfrmMain::ImportSongs1Click() {}
