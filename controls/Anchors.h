#pragma once

#include <QRect>
#include <QSize>
#include <QVector>

class QPoint;
class QWidget;

// Moves a top-level window to its designed place, or up and left as far as needed to keep the
// whole window, frame included, on the screen it is shown on. Call before it is shown.
void MoveOntoScreen(QWidget *window, const QPoint &designed);

enum TAnchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

// Keeps child controls at fixed distances from the edges they are anchored to when the window
// is resized, as the dialogs were laid out: positions are given for the design client size.
class TAnchorLayout
{
public:
    explicit TAnchorLayout(QSize designClient) : m_design(designClient) {}

    // Records the control's current geometry as its design geometry.
    void Add(QWidget *control, int anchors);
    void Apply(QSize client) const;

private:
    struct Item {
        QWidget *control;
        QRect design;
        int anchors;
    };
    QSize m_design;
    QVector<Item> m_items;
};
