#pragma once

#include "base/Errors.h"
#include "controls/FastRGB.h"

#include <QImage>

class QPainter;

// The pixel memory for a bitmap could not be had.
class EOutOfResources : public EError
{
public:
    using EError::EError;
};

// A 24-bit top-down picture whose bytes are written through the row table and drawn with one
// stretched copy. The memory is not cleared on construction.
class TFastBMP : public TFastRGB
{
public:
    // Throws EOutOfResources when the memory cannot be allocated or the size is not positive.
    TFastBMP(int32_t width, int32_t height);
    TFastBMP(const TFastBMP &) = delete;
    TFastBMP &operator=(const TFastBMP &) = delete;

    // Draws the whole picture onto (x, y, w, h), nearest pixel, no blending.
    void DrawStretched(QPainter &painter, int x, int y, int w, int h) const;

    // Wraps the pixel memory; valid as long as this object.
    const QImage &Image() const { return m_image; }

private:
    QImage m_image;
};
