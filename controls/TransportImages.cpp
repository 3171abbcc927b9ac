#include "controls/TransportImages.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace
{
struct TFace {
    QColor Top, Bottom, Border, Symbol;
};

TFace FaceOf(bool over)
{
    if (over)
        return {QColor(132, 184, 250), QColor(52, 112, 214), QColor(30, 72, 160), Qt::white};
    return {QColor(70, 118, 196), QColor(22, 56, 132), QColor(12, 34, 88), QColor(196, 218, 248)};
}

QPixmap Blank(int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// The rounded body with its gradient and a soft gloss over the upper half.
void DrawBody(QPainter &painter, const QRectF &box, qreal radius, const TFace &face)
{
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, face.Top);
    fill.setColorAt(1, face.Bottom);
    painter.setPen(QPen(face.Border, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(box, radius, radius);

    const QRectF gloss(box.left() + 1.5, box.top() + 1.5, box.width() - 3, box.height() / 2 - 1);
    QLinearGradient shine(gloss.topLeft(), gloss.bottomLeft());
    shine.setColorAt(0, QColor(255, 255, 255, 90));
    shine.setColorAt(1, QColor(255, 255, 255, 10));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shine);
    painter.drawRoundedRect(gloss, radius - 1, radius - 1);
}

QPainterPath Triangle(qreal tipX, qreal baseX, qreal top, qreal bottom)
{
    QPainterPath path;
    path.moveTo(baseX, top);
    path.lineTo(tipX, (top + bottom) / 2);
    path.lineTo(baseX, bottom);
    path.closeSubpath();
    return path;
}

QPainterPath Bar(qreal left, qreal width, qreal top, qreal bottom)
{
    QPainterPath path;
    path.addRect(QRectF(left, top, width, bottom - top));
    return path;
}

QPainterPath SymbolPath(TTransportSymbol symbol)
{
    // Whole pixel edges keep the bars crisp; the triangles' slopes are antialiased.
    constexpr qreal top = 5, bottom = 16;
    switch (symbol) {
    case TTransportSymbol::Previous:
        return Bar(5, 3, top, bottom) + Triangle(8, 16, top, bottom);
    case TTransportSymbol::Play:
        return Triangle(16, 7, top - 0.5, bottom + 0.5);
    case TTransportSymbol::Next:
        return Triangle(13, 5, top, bottom) + Bar(13, 3, top, bottom);
    case TTransportSymbol::Pause:
        return Bar(6, 3, top, bottom) + Bar(12, 3, top, bottom);
    case TTransportSymbol::Stop:
        return Bar(6, 9, 6, 15);
    }
    return {};
}
} // namespace

QPixmap TransportImage(TTransportSymbol symbol, bool over)
{
    QPixmap pixmap = Blank(TransportImageSize, TransportImageSize);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const TFace face = FaceOf(over);
    DrawBody(painter, QRectF(0.5, 0.5, TransportImageSize - 1, TransportImageSize - 1), 4, face);

    const QPainterPath shape = SymbolPath(symbol);
    // A faint dark copy below the symbol lifts it off the body.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 40, 70));
    painter.drawPath(shape.translated(0.6, 0.8));
    painter.setBrush(face.Symbol);
    painter.drawPath(shape);
    return pixmap;
}

QPixmap FilterImage(bool over)
{
    QPixmap pixmap = Blank(FilterImageWidth, FilterImageHeight);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const TFace face = FaceOf(over);
    const QRectF box(0.5, 0.5, FilterImageWidth - 1, FilterImageHeight - 1);
    DrawBody(painter, box, 4, face);

    // Three narrowing bars at the left, a funnel drawn in lines.
    painter.setPen(Qt::NoPen);
    painter.setBrush(face.Symbol);
    for (int i = 0; i < 3; ++i)
        painter.drawRoundedRect(QRectF(5 + 1.5 * i, 6 + 3.5 * i, 10 - 3 * i, 2), 1, 1);

    QFont font = painter.font();
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    const QRectF textBox = box.adjusted(17, 0, -3, 0);
    painter.setPen(QColor(0, 0, 40, 90));
    painter.drawText(textBox.translated(0.6, 0.8), Qt::AlignCenter, QStringLiteral("Filter..."));
    painter.setPen(face.Symbol);
    painter.drawText(textBox, Qt::AlignCenter, QStringLiteral("Filter..."));
    return pixmap;
}
