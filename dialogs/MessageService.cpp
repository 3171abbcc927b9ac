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
    // The program's texts break lines with a carriage return.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    switch (kind) {
    case TMessageKind::Confirmation:
        return QMessageBox::question(parent, title, shown, QMessageBox::Yes | QMessageBox::No) ==
                       QMessageBox::Yes
                   ? mrYes
                   : mrNo;
    case TMessageKind::Warning:
        QMessageBox::warning(parent, title, shown);
        break;
    case TMessageKind::Error:
        QMessageBox::critical(parent, title, shown);
        break;
    case TMessageKind::Information:
        QMessageBox::information(parent, title, shown);
        break;
    }
    return mrOk;
}

void MessageService::SetHandler(Handler handler)
{
    CurrentHandler() = std::move(handler);
}
