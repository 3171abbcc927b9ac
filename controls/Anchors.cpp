#include "controls/Anchors.h"

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
