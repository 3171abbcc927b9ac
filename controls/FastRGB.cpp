#include "controls/FastRGB.h"

void TFastRGB::SetLayout(int32_t width, int32_t height)
{
    Width = width;
    Height = height;
    rowPadding = width % 4;
    rowStride = 3 * width + rowPadding;
    imageSize = rowStride * height;
}

TRGBTriple MakePixel(uint8_t red, uint8_t green, uint8_t blue)
{
    return TRGBTriple{blue, green, red};
}

int ClampToByte(int value)
{
    if (value > 255)
        return 255;
    if (value < 0)
        return 0;
    return value;
}

int ClampInt(int value, int minimum, int maximum)
{
    if (value > maximum)
        return maximum;
    if (value < minimum)
        return minimum;
    return value;
}
