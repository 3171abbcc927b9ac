#include "tests/support/MainWindowHost.h"

#include "dialogs/UCopyRightNotice.h"

#include <QTimer>
#include <QToolButton>

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

TMainWindowPtr StartMainWindowAcceptingNotice()
{
    TMainWindowPtr window(new TfrmMain);
    frmMain = window.get();
    TfrmCopyrightNotice *const before = frmCopyrightNotice;
    auto *notice = new TfrmCopyrightNotice(window.get());
    frmCopyrightNotice = notice;
    // Runs inside the notice's own event loop, once it is shown.
    QTimer::singleShot(0, notice, [notice] { notice->btnOK->click(); });
    window->FormActivate();
    frmCopyrightNotice = before;
    return window;
}
