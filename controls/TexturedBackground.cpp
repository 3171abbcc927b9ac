#include "controls/TexturedBackground.h"

#include <QPainter>

TTexturedBackground::TTexturedBackground(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TTexturedBackground::GenerateScreen(int n)
{
    m_generator.GenerateScreen(n);
    update();
}

void TTexturedBackground::SetColour_Palette(TPalette value)
{
    m_generator.SetColour_Palette(value);
    update();
}

void TTexturedBackground::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_generator.ComposeDisplay().DrawStretched(painter, 0, 0, width(), height());
}

TTexturedBackground *NewTexturedBackground(QWidget *parent, TPalette colourPalette,
                                           TPalette screenPalette, int roughness, bool smooth)
{
    auto *background = new TTexturedBackground(parent);
    background->setObjectName(QStringLiteral("TexturedBackground1"));
    background->SetColour_Palette(colourPalette);
    background->SetDisplay_Screen(DS_DIFFERENCE);
    background->SetScreen1_Palette(screenPalette);
    background->SetScreen1_Roughness(roughness);
    background->SetScreen1_Zoom(0);
    background->SetScreen1_Smooth(smooth);
    background->SetScreen2_Palette(screenPalette);
    background->SetScreen2_Roughness(roughness);
    background->SetScreen2_Zoom(0);
    background->SetScreen2_Smooth(smooth);
    background->SetRandomise(true);
    return background;
}
