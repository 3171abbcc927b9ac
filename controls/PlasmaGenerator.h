#pragma once

#include "controls/FastBMP.h"

#include <array>
#include <cstdint>
#include <memory>

enum TPalette {
    PAL_GREYSCALE,
    PAL_RED,
    PAL_GREEN,
    PAL_BLUE,
    PAL_CLOUDS,
    PAL_MARBLE,
    PAL_RINGS,
    PAL_MOLTEN
};

enum TDisplayScreen { DS_SCREEN1, DS_SCREEN2, DS_DIFFERENCE, DS_SEE_THRU1 };

using TPaletteTable = std::array<TRGBTriple, 256>;

// How one screen's field is built and coloured.
struct TScreenSettings {
    TPalette Palette = PAL_GREYSCALE;
    int32_t Roughness = 0;
    int32_t Zoom = 0;
    bool Smooth = false;
};

// Builds the 256 x 256 plasma fields of the textured background by midpoint subdivision,
// colours them and blends two of them. No window: the background widget only draws the result.
// While a field is built, a pixel's index (1..255, 0 = unset) lives in its red byte.
class TPlasmaGenerator
{
public:
    static constexpr int FieldSize = 256;

    // Builds the three raw fields with the start values (seed 0, roughness 0, zoom 0).
    TPlasmaGenerator();

    TScreenSettings Screen1;
    TScreenSettings Screen2;
    TDisplayScreen Display_Screen = DS_SCREEN1;
    bool Randomise = false;
    int32_t Start_Seed = 0;

    // Copied from a screen's settings before each build; read by DisplacedAverage.
    int32_t WorkingRoughness = 0;
    int32_t WorkingZoom = 0;

    TPalette Colour_Palette() const { return m_colourPalette; }
    // Stores the palette and refills the palette table for it.
    void SetColour_Palette(TPalette palette);

    // n = 1, 2 or 3 (3 is the combination buffer with screen 1's settings): build, smooth,
    // set the palette, colour.
    void GenerateScreen(int n);

    // Seeds, clears the field, sets the four corners and subdivides the whole square.
    void BuildPlasma(TFastBMP &field);
    void SubdivideSquare(TFastBMP &field, int top, int left, int bottom, int right);
    // Average of a and b (halves to even) displaced by a draw within the spread for span,
    // limited to 1..255. Always draws exactly one value; a negative spread counts as 0.
    int DisplacedAverage(int a, int b, int span);
    // Sets an unset pixel and its twin on the opposite border, so the texture tiles.
    static void SetPixelIfUnset(TFastBMP &field, int row, int col, uint8_t value);
    // Four-neighbour average of the inner pixels, in place, columns outer.
    static void SmoothField(TFastBMP &field);
    void ApplyPalette(TFastBMP &field) const;
    // Fills the entries of a palette; PAL_MOLTEN leaves entry 0 as it was.
    static void FillPalette(TPalette palette, TPaletteTable &table);

    // The buffer to show for Display_Screen; the two blends are worked out here, every time.
    const TFastBMP &ComposeDisplay();

    TFastBMP &Screen1Buffer() { return *m_screen1; }
    TFastBMP &Screen2Buffer() { return *m_screen2; }
    TFastBMP &CombinationBuffer() { return *m_combination; }
    const TPaletteTable &PaletteTable() const { return m_palette; }

private:
    std::unique_ptr<TFastBMP> m_screen1;
    std::unique_ptr<TFastBMP> m_screen2;
    std::unique_ptr<TFastBMP> m_combination;
    TPaletteTable m_palette{};
    TPalette m_colourPalette = PAL_GREYSCALE;
};
