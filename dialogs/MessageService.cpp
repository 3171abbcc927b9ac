#include "dialogs/MessageService.h"

#include <QApplication>
#include <QMessageBox>

namespace
{
MessageService::Handler &CurrentHandler()
{
    static MessageService::Handler handler;
    return handler;
}
} // namespace

int MessageService::Show(TMessageKind kind, const QString &text)
{
    if (CurrentHandler())
        return CurrentHandler()(kind, text);
    QWidget *parent = QApplication::activeWindow();
    const QString title = QApplication::applicationDisplayName();
    switch (kind) {
    case TMessageKind::Confirmation:
        return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No) ==
                       QMessageBox::Yes
                   ? mrYes
                   : mrNo;
    case TMessageKind::Warning:
        QMessageBox::warning(parent, title, text);
        break;
    case TMessageKind::Error:
        QMessageBox::critical(parent, title, text);
        break;
    case TMessageKind::Information:
        QMessageBox::information(parent, title, text);
        break;
    }
    return mrOk;
}

void MessageService::SetHandler(Handler handler)
{
    CurrentHandler() = std::move(handler);
}
