#include "app/DesktopBridge.h"
#include "app/Forms.h"
#include "app/QuillmereApplication.h"
#include "app/UMain.h"
#include "dialogs/MessageService.h"
#include "platform/SingleInstance.h"

#include <QDir>
#include <QScreen>
#include <QTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    TQuillmereApplication app(argc, argv);
    // For the test of an installed program: message boxes are printed instead of shown, and
    // the program ends right after its start-up, before the copyright notice; each message
    // makes the exit code 1.
    const bool quitAfterStart = qEnvironmentVariableIsSet("QUILLMERE_QUIT_AFTER_START");
    int messages = 0;
    if (quitAfterStart) {
        MessageService::SetHandler([&messages](TMessageKind kind, const QString &text) {
            ++messages;
            std::fprintf(stderr, "quillmere: %s\n", qUtf8Printable(text));
            return kind == TMessageKind::Confirmation ? mrNo : mrOk;
        });
    }
    // One window per library: a second start hands its files to the running one and ends.
    TSingleInstance instance(LibraryKey());
    const QStringList opened =
        TSingleInstance::LocalFiles(app.arguments().mid(1), QDir::currentPath());
    if (!quitAfterStart && instance.HandOver(opened))
        return 0;
    CreateForms();
    JoinDesktop(frmMain, instance, opened);
    const QRect screen = frmMain->screen()->availableGeometry();
    frmMain->move(screen.center() - frmMain->rect().center());
    if (quitAfterStart) {
        frmMain->MarkActivated();
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    }
    frmMain->show();
    const int result = app.exec();
    DestroyForms();
    return quitAfterStart && messages > 0 ? 1 : result;
}
