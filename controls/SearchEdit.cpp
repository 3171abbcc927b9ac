#include "controls/SearchEdit.h"

#include <QKeyEvent>

TSearchEdit::TSearchEdit(QWidget *parent) : QLineEdit(parent)
{
    setClearButtonEnabled(true);
}

void TSearchEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && !text().isEmpty()) {
        clear();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
