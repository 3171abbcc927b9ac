#include "controls/FastBMP.h"

#include <QPainter>

TFastBMP::TFastBMP(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        throw EOutOfResources(
            QStringLiteral("Cannot create a bitmap of %1 x %2 pixels").arg(width).arg(height));
    SetLayout(width, height);
    m_image = QImage(width, height, QImage::Format_BGR888);
    if (m_image.isNull())
        throw EOutOfResources(
            QStringLiteral("Out of memory for a bitmap of %1 x %2 pixels").arg(width).arg(height));
    // QImage pads rows to four bytes, which is our layout; never rely on it silently.
    if (m_image.bytesPerLine() != rowStride)
        throw EOutOfResources(QStringLiteral("Unexpected bitmap row length %1 (wanted %2)")
                                  .arg(m_image.bytesPerLine())
                                  .arg(rowStride));
    pixelBase = m_image.bits();
    rowTable.resize(height);
    for (int32_t i = 0; i < height; ++i)
        rowTable[i] = pixelBase + static_cast<ptrdiff_t>(i) * rowStride;
}

void TFastBMP::DrawStretched(QPainter &painter, int x, int y, int w, int h) const
{
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRect(x, y, w, h), m_image);
    painter.restore();
}
