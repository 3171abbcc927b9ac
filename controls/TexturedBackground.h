#pragma once

#include "controls/PlasmaGenerator.h"

#include <QWidget>

// A generated, seamlessly tiling plasma texture stretched over the whole control. The dialogs
// lay one under their other controls and regenerate it each time they are shown.
class TTexturedBackground : public QWidget
{
    Q_OBJECT

public:
    explicit TTexturedBackground(QWidget *parent = nullptr);

    // Builds, smooths, colours and shows screen n (1, 2, or 3 = the combination buffer).
    void GenerateScreen(int n);

    TPalette Colour_Palette() const { return m_generator.Colour_Palette(); }
    // Refills the palette table at once and redraws; coloured buffers keep their colours.
    void SetColour_Palette(TPalette value);
    TDisplayScreen Display_Screen() const { return m_generator.Display_Screen; }
    void SetDisplay_Screen(TDisplayScreen value) { m_generator.Display_Screen = value; }

    TPalette Screen1_Palette() const { return m_generator.Screen1.Palette; }
    void SetScreen1_Palette(TPalette value) { m_generator.Screen1.Palette = value; }
    int32_t Screen1_Roughness() const { return m_generator.Screen1.Roughness; }
    void SetScreen1_Roughness(int32_t value) { m_generator.Screen1.Roughness = value; }
    int32_t Screen1_Zoom() const { return m_generator.Screen1.Zoom; }
    void SetScreen1_Zoom(int32_t value) { m_generator.Screen1.Zoom = value; }
    bool Screen1_Smooth() const { return m_generator.Screen1.Smooth; }
    void SetScreen1_Smooth(bool value) { m_generator.Screen1.Smooth = value; }

    TPalette Screen2_Palette() const { return m_generator.Screen2.Palette; }
    void SetScreen2_Palette(TPalette value) { m_generator.Screen2.Palette = value; }
    int32_t Screen2_Roughness() const { return m_generator.Screen2.Roughness; }
    void SetScreen2_Roughness(int32_t value) { m_generator.Screen2.Roughness = value; }
    int32_t Screen2_Zoom() const { return m_generator.Screen2.Zoom; }
    void SetScreen2_Zoom(int32_t value) { m_generator.Screen2.Zoom = value; }
    bool Screen2_Smooth() const { return m_generator.Screen2.Smooth; }
    void SetScreen2_Smooth(bool value) { m_generator.Screen2.Smooth = value; }

    // Stored only; drawing does not use them.
    bool Transparency() const { return m_transparency; }
    void SetTransparency(bool value) { m_transparency = value; }
    uint8_t Background_Col_R() const { return m_backgroundR; }
    void SetBackground_Col_R(uint8_t value) { m_backgroundR = value; }
    uint8_t Background_Col_G() const { return m_backgroundG; }
    void SetBackground_Col_G(uint8_t value) { m_backgroundG = value; }
    uint8_t Background_Col_B() const { return m_backgroundB; }
    void SetBackground_Col_B(uint8_t value) { m_backgroundB = value; }

    bool Randomise() const { return m_generator.Randomise; }
    void SetRandomise(bool value) { m_generator.Randomise = value; }
    int32_t Start_Seed() const { return m_generator.Start_Seed; }
    void SetStart_Seed(int32_t value) { m_generator.Start_Seed = value; }

    TPlasmaGenerator &Generator() { return m_generator; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TPlasmaGenerator m_generator;
    bool m_transparency = false;
    uint8_t m_backgroundR = 0;
    uint8_t m_backgroundG = 0;
    uint8_t m_backgroundB = 0;
};

// The background of a dialog: both screens alike, blended by their mean, a new texture at
// every generation.
TTexturedBackground *NewTexturedBackground(QWidget *parent, TPalette colourPalette,
                                           TPalette screenPalette, int roughness, bool smooth);
