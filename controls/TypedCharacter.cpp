#include "controls/TypedCharacter.h"

#include <QKeyEvent>

bool IsTypedCharacter(const QKeyEvent &event)
{
    const QString text = event.text();
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (!c.isPrint())
            return false;
    }
    return true;
}

bool IsClipboardControlKey(const QKeyEvent &event)
{
    if (!(event.modifiers() & Qt::ControlModifier))
        return false;
    const int key = event.key();
    return key == Qt::Key_C || key == Qt::Key_V || key == Qt::Key_X;
}
