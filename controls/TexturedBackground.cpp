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
