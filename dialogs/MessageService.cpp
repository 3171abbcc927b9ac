#include "dialogs/MessageService.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStyle>
#include <QVBoxLayout>

namespace
{
MessageService::Handler &CurrentHandler()
{
    static MessageService::Handler handler;
    return handler;
}

// A message of more lines than this shows them in a scrolling box.
constexpr int LongMessageLines = 20;

// The whole text in a box that scrolls, beside the kind's icon.
int ShowLong(QWidget *parent, const QString &title, TMessageKind kind, const QString &text)
{
    QDialog box(parent);
    box.setObjectName(QStringLiteral("LongMessage"));
    box.setWindowTitle(title);
    box.setSizeGripEnabled(true);
    QStyle::StandardPixmap icon = QStyle::SP_MessageBoxInformation;
    if (kind == TMessageKind::Warning)
        icon = QStyle::SP_MessageBoxWarning;
    else if (kind == TMessageKind::Error)
        icon = QStyle::SP_MessageBoxCritical;
    else if (kind == TMessageKind::Confirmation || kind == TMessageKind::Question)
        icon = QStyle::SP_MessageBoxQuestion;
    auto *picture = new QLabel;
    const int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    picture->setPixmap(box.style()->standardIcon(icon, nullptr, &box).pixmap(side, side));
    picture->setAlignment(Qt::AlignTop);
    auto *lines = new QPlainTextEdit(text);
    lines->setObjectName(QStringLiteral("MessageText"));
    lines->setReadOnly(true);
    lines->setLineWrapMode(QPlainTextEdit::NoWrap);
    QDialogButtonBox::StandardButtons choices = QDialogButtonBox::Ok;
    if (kind == TMessageKind::Confirmation)
        choices = QDialogButtonBox::Yes | QDialogButtonBox::No;
    else if (kind == TMessageKind::Question)
        choices = QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel;
    auto *buttons = new QDialogButtonBox(choices);
    int answer = kind == TMessageKind::Question ? mrCancel : mrNo;
    QObject::connect(buttons, &QDialogButtonBox::clicked, &box, [&](QAbstractButton *button) {
        const QDialogButtonBox::StandardButton which = buttons->standardButton(button);
        answer = which == QDialogButtonBox::Yes  ? mrYes
                 : which == QDialogButtonBox::No ? mrNo
                 : which == QDialogButtonBox::Ok ? mrOk
                                                 : mrCancel;
        box.accept();
    });
    auto *top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(lines, 1);
    auto *layout = new QVBoxLayout(&box);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);
    box.resize(640, 400);
    box.exec();
    if (kind == TMessageKind::Confirmation || kind == TMessageKind::Question)
        return answer;
    return mrOk;
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
    if (shown.count(QLatin1Char('\n')) >= LongMessageLines)
        return ShowLong(parent, title, kind, shown);
    switch (kind) {
    case TMessageKind::Confirmation:
        return QMessageBox::question(parent, title, shown, QMessageBox::Yes | QMessageBox::No) ==
                       QMessageBox::Yes
                   ? mrYes
                   : mrNo;
    case TMessageKind::Question:
        switch (QMessageBox::question(parent, title, shown,
                                      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                      QMessageBox::Cancel)) {
        case QMessageBox::Yes:
            return mrYes;
        case QMessageBox::No:
            return mrNo;
        default:
            return mrCancel;
        }
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
