#include "app/Forms.h"
#include "app/QuillmereApplication.h"
#include "app/UMain.h"

#include <QScreen>

int main(int argc, char *argv[])
{
    TQuillmereApplication app(argc, argv);
    CreateForms();
    const QRect screen = frmMain->screen()->availableGeometry();
    frmMain->move(screen.center() - frmMain->rect().center());
    frmMain->show();
    const int result = app.exec();
    DestroyForms();
    return result;
}
