#include "app/UMain.h"

void TfrmMain::FormActivate()
{
    m_activated = true;
}
void TfrmMain::Options1Click() {}
void TfrmMain::About1Click() {}
