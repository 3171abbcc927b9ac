#include "app/UMain.h"

void TfrmMain::Exportplaylist1Click() {}
