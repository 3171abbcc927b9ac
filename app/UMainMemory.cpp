// What the window remembers from one run to the next.
#include "app/UMain.h"

void TfrmMain::RestoreWindow() {}

void TfrmMain::RememberWindow() {}
