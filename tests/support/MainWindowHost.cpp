#include "tests/support/MainWindowHost.h"

void TMainWindowDeleter::operator()(TfrmMain *window) const
{
    if (frmMain == window)
        frmMain = nullptr;
    delete window;
}

TMainWindowPtr StartMainWindow()
{
    TMainWindowPtr window(new TfrmMain);
    window->MarkActivated();
    frmMain = window.get();
    return window;
}
