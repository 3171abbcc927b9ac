#pragma once

#include <cstdint>
#include <vector>

// One pixel as it lies in memory: blue, green, red.
struct TRGBTriple {
    uint8_t rgbtBlue;
    uint8_t rgbtGreen;
    uint8_t rgbtRed;
};
static_assert(sizeof(TRGBTriple) == 3, "pixels are three packed bytes");

// Size and row layout of a 24-bit pixel buffer, with a table of row starts.
class TFastRGB
{
public:
    virtual ~TFastRGB() = default;

    int32_t rowPadding = 0; // width mod 4
    int32_t rowStride = 0;  // 3 * width + rowPadding, a multiple of 4
    int32_t imageSize = 0;  // rowStride * height
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t *> rowTable; // row 0 is the top row
    uint8_t *pixelBase = nullptr;

    uint8_t *Pixel(int row, int col) const { return rowTable[row] + 3 * col; }

protected:
    // Fills the layout fields for a width and height.
    void SetLayout(int32_t width, int32_t height);
};

TRGBTriple MakePixel(uint8_t red, uint8_t green, uint8_t blue);
int ClampToByte(int value);
int ClampInt(int value, int minimum, int maximum);
