// Songs and files dropped on the window's lists, and songs dragged out of them.
#include "app/UMain.h"

void TfrmMain::CreateDrops() {}
