#include "controls/ButtonFaces.h"

#include "controls/Captions.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace
{

// A rounded blue face with a white symbol drawn by symbol() and a caption to its right.
template <typename Symbol> QPixmap Face(int width, const QString &caption, Symbol symbol)
{
    const int height = 21;
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF body(0.5, 0.5, width - 1, height - 1);
    QLinearGradient fill(0, 0, 0, height);
    fill.setColorAt(0, QColor(96, 160, 255));
    fill.setColorAt(0.5, QColor(0, 102, 255));
    fill.setColorAt(1, QColor(0, 60, 170));
    p.setPen(QPen(QColor(0, 40, 120), 1));
    p.setBrush(fill);
    p.drawRoundedRect(body, 5, 5);
    // A soft highlight on the upper half.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 50));
    p.drawRoundedRect(QRectF(2, 1.5, width - 4, height / 2.0 - 1), 4, 4);

    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    symbol(p);

    QFont font = DialogFont();
    font.setPixelSize(caption.size() > 2 ? 11 : 12);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(17, 0, width - 19, height), Qt::AlignCenter, caption);
    p.end();
    return QPixmap::fromImage(image);
}

} // namespace

QPixmap OkButtonFace()
{
    return Face(48, QStringLiteral("OK"), [](QPainter &p) {
        QPainterPath tick;
        tick.moveTo(6, 11);
        tick.lineTo(9.5, 15);
        tick.lineTo(16, 6);
        p.drawPath(tick);
    });
}

QPixmap CancelButtonFace()
{
    return Face(62, QStringLiteral("Cancel"), [](QPainter &p) {
        p.drawLine(QPointF(6, 6.5), QPointF(12.5, 14.5));
        p.drawLine(QPointF(12.5, 6.5), QPointF(6, 14.5));
    });
}

QToolButton *NewPictureButton(QWidget *parent, const QString &name, const QPixmap &face, int x,
                              int y, int w, int h)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setIcon(QIcon(face));
    button->setIconSize(face.size());
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setGeometry(x, y, w, h);
    return button;
}
