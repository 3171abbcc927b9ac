#include "controls/PlasmaGenerator.h"

#include "controls/RandomSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

constexpr int Last = TPlasmaGenerator::FieldSize - 1;
constexpr int IndexByte = 2;

uint8_t Index(const TFastBMP &field, int row, int col)
{
    return field.rowTable[row][3 * col + IndexByte];
}

void WriteIndex(TFastBMP &field, int row, int col, uint8_t value)
{
    uint8_t *p = field.rowTable[row] + 3 * col;
    p[0] = 0;
    p[1] = 0;
    p[2] = value;
}

int RoundedSquareOver64(int v)
{
    return (v * v + 32) / 64; // no halves occur for whole v
}

TRGBTriple Rgb(int red, int green, int blue)
{
    return MakePixel(static_cast<uint8_t>(red), static_cast<uint8_t>(green),
                     static_cast<uint8_t>(blue));
}

} // namespace

TPlasmaGenerator::TPlasmaGenerator()
    : m_screen1(std::make_unique<TFastBMP>(FieldSize, FieldSize)),
      m_screen2(std::make_unique<TFastBMP>(FieldSize, FieldSize)),
      m_combination(std::make_unique<TFastBMP>(FieldSize, FieldSize))
{
    WorkingRoughness = Screen1.Roughness;
    WorkingZoom = Screen1.Zoom;
    BuildPlasma(*m_screen1);
    WorkingRoughness = Screen2.Roughness;
    WorkingZoom = Screen2.Zoom;
    BuildPlasma(*m_screen2);
    BuildPlasma(*m_combination);
}

void TPlasmaGenerator::SetColour_Palette(TPalette palette)
{
    m_colourPalette = palette;
    FillPalette(palette, m_palette);
}

void TPlasmaGenerator::GenerateScreen(int n)
{
    TFastBMP *field = m_screen1.get();
    const TScreenSettings *settings = &Screen1;
    if (n == 2) {
        field = m_screen2.get();
        settings = &Screen2;
    } else if (n == 3) {
        field = m_combination.get();
    }
    WorkingRoughness = settings->Roughness;
    WorkingZoom = settings->Zoom;
    BuildPlasma(*field);
    if (settings->Smooth)
        SmoothField(*field);
    SetColour_Palette(settings->Palette);
    ApplyPalette(*field);
}

void TPlasmaGenerator::BuildPlasma(TFastBMP &field)
{
    if (Randomise)
        RandomizeSeed();
    else
        SetRandomSeed(static_cast<uint32_t>(Start_Seed));
    std::memset(field.pixelBase, 0, static_cast<size_t>(field.imageSize));
    const auto corner = static_cast<uint8_t>(RandomBelow(256));
    WriteIndex(field, 0, 0, corner);
    WriteIndex(field, 0, Last, corner);
    WriteIndex(field, Last, 0, corner);
    WriteIndex(field, Last, Last, corner);
    SubdivideSquare(field, 0, 0, Last, Last);
}

void TPlasmaGenerator::SubdivideSquare(TFastBMP &field, int top, int left, int bottom, int right)
{
    // Only the row span ends the recursion: a region may be one column wide.
    if (bottom - top <= 1)
        return;
    const int midRow = (top + bottom) / 2;
    const int midCol = (left + right) / 2;
    const int rowSpan = bottom - top;
    const int colSpan = right - left;

    auto fill = [&](int row, int col, int a, int b, int span) {
        const int value = DisplacedAverage(a, b, span);
        SetPixelIfUnset(field, row, col, static_cast<uint8_t>(value));
    };
    fill(midRow, left, Index(field, top, left), Index(field, bottom, left), rowSpan);
    fill(midRow, right, Index(field, top, right), Index(field, bottom, right), rowSpan);
    fill(top, midCol, Index(field, top, left), Index(field, top, right), colSpan);
    fill(bottom, midCol, Index(field, bottom, left), Index(field, bottom, right), colSpan);

    const int vertical =
        DisplacedAverage(Index(field, top, midCol), Index(field, bottom, midCol), rowSpan);
    const int horizontal =
        DisplacedAverage(Index(field, midRow, left), Index(field, midRow, right), colSpan);
    fill(midRow, midCol, horizontal, vertical, rowSpan);

    SubdivideSquare(field, top, left, midRow, midCol);
    SubdivideSquare(field, midRow, left, bottom, midCol);
    SubdivideSquare(field, top, midCol, midRow, right);
    SubdivideSquare(field, midRow, midCol, bottom, right);
}

int TPlasmaGenerator::DisplacedAverage(int a, int b, int span)
{
    int64_t spread;
    if (WorkingZoom > 0)
        spread = span / WorkingZoom + int64_t{WorkingRoughness};
    else if (WorkingZoom < 0)
        spread = -int64_t{WorkingZoom} * span + WorkingRoughness;
    else
        spread = int64_t{span} + WorkingRoughness;
    // A negative spread means no displacement; the draw is still made so the sequence of
    // values stays the same length. The upper limit keeps 2 * spread + 1 within 32 bits.
    spread = std::clamp<int64_t>(spread, 0, INT32_MAX);
    const int64_t offset = int64_t{RandomBelow(static_cast<uint32_t>(2 * spread + 1))} - spread;

    const int sum = a + b;
    int average = sum / 2;
    if ((sum & 1) && (average & 1))
        ++average; // half way: to the even neighbour
    return static_cast<int>(std::clamp<int64_t>(average + offset, 1, 255));
}

void TPlasmaGenerator::SetPixelIfUnset(TFastBMP &field, int row, int col, uint8_t value)
{
    if (Index(field, row, col) != 0)
        return;
    WriteIndex(field, row, col, value);
    if (row == 0)
        WriteIndex(field, Last, col, value);
    else if (row == Last)
        WriteIndex(field, 0, col, value);
    if (col == 0)
        WriteIndex(field, row, Last, value);
    else if (col == Last)
        WriteIndex(field, row, 0, value);
}

void TPlasmaGenerator::SmoothField(TFastBMP &field)
{
    uint8_t *const *rows = field.rowTable.data();
    for (int x = 1; x < Last; ++x) {
        for (int y = 1; y < Last; ++y) {
            const uint8_t *above = rows[y - 1] + 3 * x;
            const uint8_t *below = rows[y + 1] + 3 * x;
            uint8_t *p = rows[y] + 3 * x;
            for (int b = 2; b >= 0; --b) {
                const int sum = above[b] + below[b] + p[b - 3] + p[b + 3];
                int value = sum >> 2;
                const int rest = sum & 3;
                if (rest > 2 || (rest == 2 && (value & 1)))
                    ++value;
                p[b] = static_cast<uint8_t>(value);
            }
        }
    }
}

void TPlasmaGenerator::ApplyPalette(TFastBMP &field) const
{
    for (int row = 0; row < field.Height; ++row) {
        uint8_t *p = field.rowTable[row];
        for (int col = 0; col < field.Width; ++col, p += 3) {
            const TRGBTriple &colour = m_palette[p[IndexByte]];
            p[0] = colour.rgbtBlue;
            p[1] = colour.rgbtGreen;
            p[2] = colour.rgbtRed;
        }
    }
}

void TPlasmaGenerator::FillPalette(TPalette palette, TPaletteTable &table)
{
    for (int i = 0; i < 256; ++i) {
        switch (palette) {
        case PAL_GREYSCALE:
            table[i] = Rgb(i, i, i);
            break;
        case PAL_RED:
            table[i] = Rgb(i, 0, 0);
            break;
        case PAL_GREEN:
            table[i] = Rgb(0, i, 0);
            break;
        case PAL_BLUE:
            table[i] = Rgb(0, 0, i);
            break;
        case PAL_CLOUDS:
            if (i < 64) {
                table[i] = Rgb(0, 0, 255);
            } else {
                const int c =
                    ClampToByte(static_cast<int>(std::lround((i - 64) * 1.3350785340314136)));
                table[i] = Rgb(c, c, 255);
            }
            break;
        case PAL_MARBLE: {
            const int j = i < 128 ? i : 255 - i; // upper half mirrors the lower
            const int m = 2 * (127 - j);
            table[i] = Rgb(m, m + j / 2, m);
            break;
        }
        case PAL_RINGS:
            if (i >= 96 && i <= 127)
                table[i] = Rgb(0, 0, 8 * (i - 96));
            else if (i >= 128 && i <= 159)
                table[i] = Rgb(0, 0, 8 * (159 - i));
            else
                table[i] = Rgb(0, 0, 0);
            break;
        case PAL_MOLTEN:
            if (i == 0)
                break; // keeps whatever the previous palette left
            if (i < 64)
                table[i] = Rgb(RoundedSquareOver64(i), 0, 0);
            else if (i < 127)
                table[i] = Rgb(RoundedSquareOver64(i), RoundedSquareOver64(i - 64), 0);
            else if (i < 192)
                table[i] = Rgb(255, RoundedSquareOver64(i - 64), RoundedSquareOver64(i - 127));
            else // entry 255 wraps to (255, 255, 0)
                table[i] = Rgb(255, 255, RoundedSquareOver64(i - 127) & 0xFF);
            break;
        }
    }
}

const TFastBMP &TPlasmaGenerator::ComposeDisplay()
{
    switch (Display_Screen) {
    case DS_SCREEN1:
        return *m_screen1;
    case DS_SCREEN2:
        return *m_screen2;
    case DS_DIFFERENCE:
    case DS_SEE_THRU1:
        break;
    }
    const int rowBytes = 3 * m_combination->Width;
    for (int row = 0; row < m_combination->Height; ++row) {
        const uint8_t *s1 = m_screen1->rowTable[row];
        const uint8_t *s2 = m_screen2->rowTable[row];
        uint8_t *out = m_combination->rowTable[row];
        if (Display_Screen == DS_DIFFERENCE) {
            for (int i = 0; i < rowBytes; ++i)
                out[i] = static_cast<uint8_t>((s1[i] + s2[i]) >> 1);
        } else {
            for (int i = 0; i < rowBytes; ++i)
                out[i] = static_cast<uint8_t>((s1[i] * s2[i] + 127) / 255);
        }
    }
    return *m_combination;
}
