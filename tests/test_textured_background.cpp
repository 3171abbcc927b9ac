#include "controls/PlasmaGenerator.h"
#include "controls/RandomSource.h"
#include "controls/TexturedBackground.h"

#include <QImage>
#include <cstring>
#include <gtest/gtest.h>

namespace
{

int IndexAt(TFastBMP &field, int row, int col)
{
    return field.Pixel(row, col)[2];
}

bool SameBytes(TFastBMP &a, TFastBMP &b)
{
    return std::memcmp(a.pixelBase, b.pixelBase, a.imageSize) == 0;
}

bool PixelsEqual(TFastBMP &field, int r1, int c1, int r2, int c2)
{
    return std::memcmp(field.Pixel(r1, c1), field.Pixel(r2, c2), 3) == 0;
}

// Rows 0/255 and columns 0/255 hold the same three bytes everywhere.
void ExpectSeamless(TFastBMP &field, const char *what)
{
    for (int i = 0; i < 256; ++i) {
        EXPECT_TRUE(PixelsEqual(field, 0, i, 255, i)) << what << " column " << i;
        EXPECT_TRUE(PixelsEqual(field, i, 0, i, 255)) << what << " row " << i;
    }
}

void Seed42(TPlasmaGenerator &gen)
{
    gen.Randomise = false;
    gen.Start_Seed = 42;
    gen.WorkingRoughness = 5;
    gen.WorkingZoom = 2;
}

} // namespace

TEST(RandomSource, FollowsTheGenerator)
{
    SetRandomSeed(0);
    EXPECT_EQ(RandomBelow(256), 0u);
    EXPECT_EQ(RandomSeed(), 1u);
    EXPECT_EQ(RandomBelow(511), 16u);
    EXPECT_EQ(RandomSeed(), 134775814u);
    // Wraps modulo 2^32 and never reaches n.
    SetRandomSeed(0xFFFFFFFFu);
    EXPECT_LT(RandomBelow(7), 7u);
    EXPECT_EQ(RandomSeed(), 0xFFFFFFFFu * 134775813u + 1u);
    EXPECT_EQ(RandomBelow(1), 0u);
    EXPECT_EQ(RandomBelow(0), 0u);
}

TEST(PlasmaField, Seed42GivesTheKnownIndices)
{
    TPlasmaGenerator gen;
    Seed42(gen);
    TFastBMP &field = gen.Screen1Buffer();
    gen.BuildPlasma(field);

    EXPECT_EQ(IndexAt(field, 0, 0), 81);
    EXPECT_EQ(IndexAt(field, 0, 255), 81);
    EXPECT_EQ(IndexAt(field, 255, 0), 81);
    EXPECT_EQ(IndexAt(field, 255, 255), 81);
    // (row, column)
    EXPECT_EQ(IndexAt(field, 127, 0), 181);
    EXPECT_EQ(IndexAt(field, 127, 255), 181);
    EXPECT_EQ(IndexAt(field, 0, 127), 1);
    EXPECT_EQ(IndexAt(field, 255, 127), 1);
    EXPECT_EQ(IndexAt(field, 127, 127), 36);
    EXPECT_EQ(IndexAt(field, 63, 63), 111);
    EXPECT_EQ(IndexAt(field, 200, 31), 118);

    // Only the index byte is used while building, and every pixel is set.
    for (int r = 0; r < 256; ++r) {
        for (int c = 0; c < 256; ++c) {
            ASSERT_EQ(field.Pixel(r, c)[0], 0);
            ASSERT_EQ(field.Pixel(r, c)[1], 0);
            ASSERT_GE(IndexAt(field, r, c), 1) << r << "," << c;
        }
    }
}

TEST(PlasmaField, DrawsExactly152020Values)
{
    TPlasmaGenerator gen;
    Seed42(gen);
    gen.BuildPlasma(gen.Screen1Buffer());
    const uint32_t after = RandomSeed();

    SetRandomSeed(42);
    for (int i = 0; i < 152020; ++i)
        RandomBelow(2);
    EXPECT_EQ(after, RandomSeed());
}

TEST(PlasmaField, EqualSettingsGiveIdenticalBuffers)
{
    TPlasmaGenerator gen;
    gen.Screen1 = {PAL_MARBLE, 3, 1, true};
    gen.Screen2 = gen.Screen1;
    gen.Start_Seed = 1234;
    gen.GenerateScreen(1);
    gen.GenerateScreen(2);
    gen.GenerateScreen(3);
    EXPECT_TRUE(SameBytes(gen.Screen1Buffer(), gen.Screen2Buffer()));
    EXPECT_TRUE(SameBytes(gen.Screen1Buffer(), gen.CombinationBuffer()));

    TPlasmaGenerator other;
    other.Screen1 = gen.Screen1;
    other.Start_Seed = 1234;
    other.GenerateScreen(1);
    EXPECT_TRUE(SameBytes(gen.Screen1Buffer(), other.Screen1Buffer()));

    other.Start_Seed = 1235;
    other.GenerateScreen(1);
    EXPECT_FALSE(SameBytes(gen.Screen1Buffer(), other.Screen1Buffer()));
}

TEST(PlasmaField, BordersMatchThroughEveryStep)
{
    // Several seeds and settings, all with a non-zero corner.
    const TScreenSettings settings[] = {
        {PAL_CLOUDS, 2, 0, false}, {PAL_CLOUDS, 5, 0, true}, {PAL_MOLTEN, 4, 1, true},
        {PAL_RINGS, 0, -1, false}, {PAL_MARBLE, 7, 3, true},
    };
    int seed = 7;
    for (const TScreenSettings &s : settings) {
        TPlasmaGenerator gen;
        gen.Start_Seed = seed;
        gen.WorkingRoughness = s.Roughness;
        gen.WorkingZoom = s.Zoom;
        TFastBMP &field = gen.Screen1Buffer();
        gen.BuildPlasma(field);
        ASSERT_NE(IndexAt(field, 0, 0), 0) << "seed " << seed;
        ExpectSeamless(field, "built");
        TPlasmaGenerator::SmoothField(field);
        ExpectSeamless(field, "smoothed");
        gen.SetColour_Palette(s.Palette);
        gen.ApplyPalette(field);
        ExpectSeamless(field, "coloured");

        gen.Screen1 = s;
        gen.Screen2 = s;
        gen.Screen2.Palette = PAL_GREEN;
        // Fixed seeds: a random one draws a zero corner one time in 256, and a zero corner
        // leaves unset pixels by design (see ZeroCornerLeavesUnsetPixels).
        gen.Randomise = false;
        for (int n = 1; n <= 3; ++n)
            gen.GenerateScreen(n);
        ExpectSeamless(gen.Screen1Buffer(), "screen 1");
        ExpectSeamless(gen.Screen2Buffer(), "screen 2");
        ExpectSeamless(gen.CombinationBuffer(), "screen 3");
        seed = seed * 31 + 5;
    }
}

TEST(PlasmaField, ZeroCornerLeavesUnsetPixels)
{
    TPlasmaGenerator gen;
    gen.Start_Seed = 0; // the first draw from 0 is 0
    gen.WorkingRoughness = 2;
    TFastBMP &field = gen.Screen1Buffer();
    gen.BuildPlasma(field);
    // The corner draw is 0; the narrow border regions fill three corners later, the
    // top-right one stays unset, and only there do the borders differ.
    EXPECT_EQ(IndexAt(field, 0, 255), 0);
    EXPECT_EQ(IndexAt(field, 0, 0), 1);
    EXPECT_EQ(IndexAt(field, 255, 0), 1);
    EXPECT_EQ(IndexAt(field, 255, 255), 1);
    int unset = 0;
    for (int r = 0; r < 256; ++r)
        for (int c = 0; c < 256; ++c)
            unset += IndexAt(field, r, c) == 0;
    EXPECT_EQ(unset, 1);
    for (int i = 0; i < 255; ++i) {
        EXPECT_TRUE(PixelsEqual(field, 0, i, 255, i)) << i;
        EXPECT_TRUE(PixelsEqual(field, i + 1, 0, i + 1, 255)) << i;
    }
    EXPECT_FALSE(PixelsEqual(field, 0, 255, 255, 255));
    EXPECT_FALSE(PixelsEqual(field, 0, 0, 0, 255));

    // Unset pixels show palette entry 0.
    gen.SetColour_Palette(PAL_CLOUDS);
    gen.ApplyPalette(field);
    const uint8_t blue[3] = {255, 0, 0};
    EXPECT_EQ(std::memcmp(field.Pixel(0, 255), blue, 3), 0);
}

TEST(PlasmaField, DisplacedAverageRoundsHalvesToEvenAndStaysInRange)
{
    TPlasmaGenerator gen;
    // A negative spread gives no displacement but still draws once.
    gen.WorkingRoughness = -1000;
    gen.WorkingZoom = 0;
    SetRandomSeed(5);
    EXPECT_EQ(gen.DisplacedAverage(3, 4, 10), 4);
    EXPECT_EQ(gen.DisplacedAverage(4, 5, 10), 4);
    EXPECT_EQ(gen.DisplacedAverage(0, 1, 10), 1); // half to even is 0, limited to 1
    EXPECT_EQ(gen.DisplacedAverage(255, 255, 10), 255);
    EXPECT_EQ(RandomSeed(),
              (((5u * 134775813u + 1u) * 134775813u + 1u) * 134775813u + 1u) * 134775813u + 1u);

    // Huge spreads stay within 1..255.
    gen.WorkingRoughness = INT32_MAX;
    gen.WorkingZoom = INT32_MIN;
    for (int i = 0; i < 1000; ++i) {
        const int v = gen.DisplacedAverage(128, 128, 255);
        ASSERT_GE(v, 1);
        ASSERT_LE(v, 255);
    }

    // Spread 0 at zoom > 0: span div zoom + roughness.
    gen.WorkingRoughness = 0;
    gen.WorkingZoom = 4;
    EXPECT_EQ(gen.DisplacedAverage(10, 20, 3), 15);
}

TEST(PlasmaField, SetPixelIfUnsetWrapsBordersAndKeepsSetPixels)
{
    TFastBMP field(256, 256);
    std::memset(field.pixelBase, 0, field.imageSize);
    TPlasmaGenerator::SetPixelIfUnset(field, 0, 40, 9);
    EXPECT_EQ(IndexAt(field, 255, 40), 9);
    TPlasmaGenerator::SetPixelIfUnset(field, 70, 255, 8);
    EXPECT_EQ(IndexAt(field, 70, 0), 8);
    TPlasmaGenerator::SetPixelIfUnset(field, 0, 40, 50); // already set
    EXPECT_EQ(IndexAt(field, 0, 40), 9);
    TPlasmaGenerator::SetPixelIfUnset(field, 100, 100, 7);
    EXPECT_EQ(IndexAt(field, 100, 100), 7);
    EXPECT_EQ(IndexAt(field, 155, 100), 0);
}

TEST(PlasmaField, SmoothingUsesSmoothedNeighboursAndSparesBorders)
{
    TFastBMP field(256, 256);
    std::memset(field.pixelBase, 0, field.imageSize);
    field.Pixel(0, 1)[2] = 8;   // above (1, 1)
    field.Pixel(1, 0)[2] = 2;   // left of (1, 1)
    field.Pixel(1, 1)[2] = 200; // not part of its own average
    field.Pixel(0, 10)[2] = 6;
    field.Pixel(255, 10)[1] = 9; // other bytes are smoothed too
    TPlasmaGenerator::SmoothField(field);
    EXPECT_EQ(IndexAt(field, 1, 1), 2);  // 10 / 4 = 2.5 -> 2
    EXPECT_EQ(IndexAt(field, 1, 10), 2); // 6 / 4 = 1.5 -> 2
    // Neighbours above and to the left are already smoothed (200 would give 50).
    EXPECT_EQ(IndexAt(field, 2, 1), 0);
    EXPECT_EQ(IndexAt(field, 1, 2), 0);
    EXPECT_EQ(field.Pixel(254, 10)[1], 2); // 9 / 4 = 2.25
    EXPECT_EQ(IndexAt(field, 0, 1), 8);    // borders untouched
    EXPECT_EQ(IndexAt(field, 1, 0), 2);
    EXPECT_EQ(field.Pixel(255, 10)[1], 9);
}

TEST(Palettes, QuotedEntries)
{
    TPaletteTable table{};
    auto expectEntry = [&](int i, int r, int g, int b) {
        EXPECT_EQ(table[i].rgbtRed, r) << i;
        EXPECT_EQ(table[i].rgbtGreen, g) << i;
        EXPECT_EQ(table[i].rgbtBlue, b) << i;
    };
    TPlasmaGenerator::FillPalette(PAL_MOLTEN, table);
    expectEntry(0, 0, 0, 0); // black when nothing was filled before
    expectEntry(255, 255, 255, 0);
    expectEntry(254, 255, 255, 252);
    expectEntry(8, 1, 0, 0);
    expectEntry(100, 156, 20, 0);
    expectEntry(127, 255, 62, 0);

    TPlasmaGenerator::FillPalette(PAL_CLOUDS, table);
    expectEntry(0, 0, 0, 255);
    expectEntry(63, 0, 0, 255);
    expectEntry(64, 0, 0, 255);
    expectEntry(100, 48, 48, 255);
    expectEntry(255, 255, 255, 255);
    TPlasmaGenerator::FillPalette(PAL_MOLTEN, table);
    expectEntry(0, 0, 0, 255); // kept from the clouds
    expectEntry(1, 0, 0, 0);

    TPlasmaGenerator::FillPalette(PAL_MARBLE, table);
    expectEntry(0, 254, 254, 254);
    expectEntry(127, 0, 63, 0);
    expectEntry(128, 0, 63, 0);
    expectEntry(255, 254, 254, 254);

    TPlasmaGenerator::FillPalette(PAL_RINGS, table);
    expectEntry(95, 0, 0, 0);
    expectEntry(97, 0, 0, 8);
    expectEntry(127, 0, 0, 248);
    expectEntry(128, 0, 0, 248);
    expectEntry(159, 0, 0, 0);
    expectEntry(0, 0, 0, 0);

    TPlasmaGenerator::FillPalette(PAL_GREYSCALE, table);
    expectEntry(77, 77, 77, 77);
    TPlasmaGenerator::FillPalette(PAL_RED, table);
    expectEntry(77, 77, 0, 0);
    TPlasmaGenerator::FillPalette(PAL_GREEN, table);
    expectEntry(77, 0, 77, 0);
    TPlasmaGenerator::FillPalette(PAL_BLUE, table);
    expectEntry(77, 0, 0, 77);
}

TEST(Palettes, MoltenAfterCloudsThroughTheGenerator)
{
    TPlasmaGenerator gen;
    gen.SetColour_Palette(PAL_CLOUDS);
    gen.SetColour_Palette(PAL_MOLTEN);
    EXPECT_EQ(gen.Colour_Palette(), PAL_MOLTEN);
    EXPECT_EQ(gen.PaletteTable()[0].rgbtBlue, 255);
    EXPECT_EQ(gen.PaletteTable()[0].rgbtRed, 0);
}

TEST(DisplayModes, BlendsAndPlainScreens)
{
    TPlasmaGenerator gen;
    gen.Screen1 = {PAL_MARBLE, 4, 1, false};
    gen.Screen2 = gen.Screen1;
    gen.Start_Seed = 99;
    gen.GenerateScreen(1);
    gen.GenerateScreen(2);
    TFastBMP &s1 = gen.Screen1Buffer();

    gen.Display_Screen = DS_SCREEN1;
    EXPECT_EQ(&gen.ComposeDisplay(), &gen.Screen1Buffer());
    gen.Display_Screen = DS_SCREEN2;
    EXPECT_EQ(&gen.ComposeDisplay(), &gen.Screen2Buffer());

    // Mean of identical buffers is the buffer.
    std::memset(gen.CombinationBuffer().pixelBase, 7, gen.CombinationBuffer().imageSize);
    gen.Display_Screen = DS_DIFFERENCE;
    EXPECT_EQ(&gen.ComposeDisplay(), &gen.CombinationBuffer());
    EXPECT_TRUE(SameBytes(gen.CombinationBuffer(), s1));

    // Multiplying by white is the buffer.
    std::memset(gen.Screen2Buffer().pixelBase, 255, gen.Screen2Buffer().imageSize);
    gen.Display_Screen = DS_SEE_THRU1;
    gen.ComposeDisplay();
    EXPECT_TRUE(SameBytes(gen.CombinationBuffer(), s1));

    // Rounded-down mean and rounded product on known bytes.
    std::memset(s1.pixelBase, 3, s1.imageSize);
    std::memset(gen.Screen2Buffer().pixelBase, 6, s1.imageSize);
    gen.Display_Screen = DS_DIFFERENCE;
    EXPECT_EQ(gen.ComposeDisplay().pixelBase[100], 4);
    std::memset(s1.pixelBase, 200, s1.imageSize);
    std::memset(gen.Screen2Buffer().pixelBase, 100, s1.imageSize);
    gen.Display_Screen = DS_SEE_THRU1;
    EXPECT_EQ(gen.ComposeDisplay().pixelBase[100], 78); // 200 * 100 / 255 = 78.4
}

TEST(TexturedBackgroundWidget, StartValuesAndRawRedFields)
{
    TTexturedBackground bg;
    EXPECT_EQ(bg.Colour_Palette(), PAL_GREYSCALE);
    EXPECT_EQ(bg.Display_Screen(), DS_SCREEN1);
    EXPECT_EQ(bg.Screen1_Roughness(), 0);
    EXPECT_EQ(bg.Screen2_Zoom(), 0);
    EXPECT_FALSE(bg.Randomise());
    EXPECT_EQ(bg.Start_Seed(), 0);
    bg.SetTransparency(true);
    bg.SetBackground_Col_R(1);
    bg.SetBackground_Col_G(2);
    bg.SetBackground_Col_B(3);
    EXPECT_TRUE(bg.Transparency());
    EXPECT_EQ(bg.Background_Col_G(), 2);

    // Never generated: shades of red.
    bg.resize(64, 64);
    const QImage shot = bg.grab().toImage();
    bool anyRed = false;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            ASSERT_EQ(c.green(), 0);
            ASSERT_EQ(c.blue(), 0);
            anyRed = anyRed || c.red() > 0;
        }
    }
    EXPECT_TRUE(anyRed);
}

TEST(TexturedBackgroundWidget, ResizingOnlyStretches)
{
    TTexturedBackground bg;
    bg.SetScreen1_Palette(PAL_CLOUDS);
    bg.SetScreen1_Roughness(3);
    bg.SetRandomise(true);
    bg.GenerateScreen(1);
    EXPECT_EQ(bg.Colour_Palette(), PAL_CLOUDS);
    bg.resize(256, 256);
    const QImage before = bg.grab().toImage().convertToFormat(QImage::Format_RGB32);
    bg.resize(512, 512);
    const QImage big = bg.grab().toImage().convertToFormat(QImage::Format_RGB32);
    bg.resize(256, 256);
    const QImage after = bg.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(before, after);
    // Each source pixel becomes a 2 x 2 block.
    for (int i = 0; i < 256; i += 17)
        EXPECT_EQ(big.pixel(2 * i + 1, 2 * i + 1), before.pixel(i, i)) << i;
}
