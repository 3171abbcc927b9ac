#include "controls/FastBMP.h"

#include <QImage>
#include <QPainter>
#include <cstring>
#include <gtest/gtest.h>

TEST(FastBitmap, RowLayoutFollowsWidth)
{
    const int expectedStride[] = {4, 8, 12, 12, 16, 20, 24, 24};
    for (int width = 1; width <= 8; ++width) {
        TFastBMP bmp(width, 3);
        EXPECT_EQ(bmp.rowPadding, width % 4) << width;
        EXPECT_EQ(bmp.rowStride, expectedStride[width - 1]) << width;
        EXPECT_EQ(bmp.rowStride % 4, 0) << width;
        EXPECT_EQ(bmp.imageSize, bmp.rowStride * 3) << width;
        EXPECT_EQ(bmp.Width, width);
        EXPECT_EQ(bmp.Height, 3);
        EXPECT_EQ(bmp.Image().bytesPerLine(), bmp.rowStride) << width;
    }
    TFastBMP field(256, 256);
    EXPECT_EQ(field.rowStride, 768);
    EXPECT_EQ(field.imageSize, 196608);
}

TEST(FastBitmap, RowTableStartsAtTopRow)
{
    TFastBMP bmp(5, 4);
    ASSERT_EQ(bmp.rowTable.size(), 4u);
    EXPECT_EQ(bmp.rowTable[0], bmp.pixelBase);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(bmp.rowTable[i] - bmp.rowTable[i - 1], bmp.rowStride);
    EXPECT_EQ(bmp.Pixel(2, 3), bmp.rowTable[2] + 9);

    // Writes through the table are what the image shows, row 0 on top.
    std::memset(bmp.pixelBase, 0, bmp.imageSize);
    const TRGBTriple red = MakePixel(255, 0, 0);
    std::memcpy(bmp.Pixel(0, 4), &red, 3);
    EXPECT_EQ(bmp.Image().pixel(4, 0), qRgb(255, 0, 0));
    EXPECT_EQ(bmp.Image().pixel(4, 3), qRgb(0, 0, 0));
}

TEST(FastBitmap, BadSizeIsReported)
{
    EXPECT_THROW(TFastBMP(0, 10), EOutOfResources);
    EXPECT_THROW(TFastBMP(10, -1), EOutOfResources);
}

TEST(FastBitmap, HelpersKeepByteOrderAndLimits)
{
    const TRGBTriple pixel = MakePixel(10, 20, 30);
    uint8_t bytes[3];
    std::memcpy(bytes, &pixel, 3);
    EXPECT_EQ(bytes[0], 30);
    EXPECT_EQ(bytes[1], 20);
    EXPECT_EQ(bytes[2], 10);

    EXPECT_EQ(ClampToByte(-5), 0);
    EXPECT_EQ(ClampToByte(300), 255);
    EXPECT_EQ(ClampToByte(255), 255);
    EXPECT_EQ(ClampToByte(0), 0);
    EXPECT_EQ(ClampToByte(77), 77);
    EXPECT_EQ(ClampInt(0, 1, 255), 1);
    EXPECT_EQ(ClampInt(256, 1, 255), 255);
    EXPECT_EQ(ClampInt(9, 1, 255), 9);
    // Maximum is tested first when the limits cross.
    EXPECT_EQ(ClampInt(5, 10, 3), 3);
}

TEST(FastBitmap, StretchDrawsNearestPixelsWithoutBlending)
{
    TFastBMP bmp(2, 1);
    const TRGBTriple black = MakePixel(0, 0, 0);
    const TRGBTriple white = MakePixel(255, 255, 255);
    std::memcpy(bmp.Pixel(0, 0), &black, 3);
    std::memcpy(bmp.Pixel(0, 1), &white, 3);

    QImage target(10, 4, QImage::Format_RGB32);
    target.fill(Qt::red);
    {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true); // must be overridden
        bmp.DrawStretched(painter, 1, 0, 8, 4);
    }
    EXPECT_EQ(target.pixel(0, 0), qRgb(255, 0, 0)); // outside the target rectangle
    EXPECT_EQ(target.pixel(9, 3), qRgb(255, 0, 0));
    for (int x = 1; x < 9; ++x) {
        for (int y = 0; y < 4; ++y) {
            const QRgb expected = x < 5 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
            EXPECT_EQ(target.pixel(x, y), expected) << x << "," << y;
        }
    }
}
