#include "controls/Captions.h"

#include <QMouseEvent>

void TClickLabel::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

TClickLabel *NewCaption(QWidget *parent, const QString &name, const QString &text, int x, int y,
                        const QColor &colour, bool bold)
{
    auto *label = new TClickLabel(text, parent);
    label->setObjectName(name);
    QFont font = label->font();
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QFont DialogFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("DejaVu Sans Condensed")});
    font.setPixelSize(11);
    return font;
}

QWidget *NewCaptionPlate(QWidget *parent, const QString &name, QLabel *shadow, QLabel *caption)
{
    auto *plate = new QWidget(parent);
    plate->setObjectName(name);
    // Over white, 190 of 255 leaves a grey dark enough for 4.5:1 against sky blue.
    QPalette palette = plate->palette();
    palette.setColor(QPalette::Window, QColor(0, 0, 0, 190));
    plate->setPalette(palette);
    plate->setAutoFillBackground(true);
    plate->setGeometry(caption->geometry().united(shadow->geometry()).adjusted(-3, -1, 3, 1));
    // Under whichever of the two lies lower.
    const QObjectList &siblings = parent->children();
    plate->stackUnder(siblings.indexOf(shadow) < siblings.indexOf(caption) ? shadow : caption);
    return plate;
}
