#include "controls/SeekBar.h"

#include <QMouseEvent>
#include <QStyle>
#include <algorithm>

TSeekBar::TSeekBar(QWidget *parent) : QProgressBar(parent)
{
    setCursor(Qt::PointingHandCursor);
}

int TSeekBar::ValueAt(int x) const
{
    const int span = qMax(1, width() - 1);
    const qint64 range = qint64(maximum()) - minimum();
    const qint64 value = minimum() + range * std::clamp(x, 0, span) / span;
    return int(std::clamp<qint64>(value, minimum(), maximum()));
}

void TSeekBar::mousePressEvent(QMouseEvent *event)
{
    QProgressBar::mousePressEvent(event);
    m_dragging = event->button() == Qt::LeftButton;
    if (m_dragging && maximum() > minimum())
        emit SeekRequested(ValueAt(event->position().toPoint().x()));
}

void TSeekBar::mouseMoveEvent(QMouseEvent *event)
{
    QProgressBar::mouseMoveEvent(event);
    if (m_dragging && (event->buttons() & Qt::LeftButton) && maximum() > minimum())
        emit SeekRequested(ValueAt(event->position().toPoint().x()));
    else
        m_dragging = false;
}
