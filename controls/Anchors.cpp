#include "controls/Anchors.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void TAnchorLayout::Add(QWidget *control, int anchors)
{
    m_items.append({control, control->geometry(), anchors});
}

void TAnchorLayout::Apply(QSize client) const
{
    const int dw = client.width() - m_design.width();
    const int dh = client.height() - m_design.height();
    for (const Item &item : m_items) {
        QRect r = item.design;
        if (item.anchors & akRight) {
            if (item.anchors & akLeft)
                r.setWidth(r.width() + dw);
            else
                r.moveLeft(r.left() + dw);
        }
        if (item.anchors & akBottom) {
            if (item.anchors & akTop)
                r.setHeight(r.height() + dh);
            else
                r.moveTop(r.top() + dh);
        }
        item.control->setGeometry(r);
    }
}

void MoveOntoScreen(QWidget *window, const QPoint &designed)
{
    const QScreen *shown = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!shown) {
        window->move(designed);
        return;
    }
    const QRect available = shown->availableGeometry();
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    // Before the first showing the frame is not known yet: room for a usual one.
    const QMargins decoration =
        frame == inner ? QMargins(4, 30, 4, 4)
                       : QMargins(inner.left() - frame.left(), inner.top() - frame.top(),
                                  frame.right() - inner.right(), frame.bottom() - inner.bottom());
    const QSize outer = window->size().grownBy(decoration);
    // The position of a window is that of its frame.
    const int x = qMax(available.left(), qMin(designed.x(), available.right() + 1 - outer.width()));
    const int y =
        qMax(available.top(), qMin(designed.y(), available.bottom() + 1 - outer.height()));
    window->move(x, y);
}
