#include "app/UMain.h"

void TfrmMain::btnFilterClick() {}
void TfrmMain::ApplySelection() {}
