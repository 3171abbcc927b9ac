#include "controls/VolumeControl.h"

#include <algorithm>
#include <cmath>

TVolumeControl::TVolumeControl(QWidget *parent) : QSlider(Qt::Horizontal, parent)
{
    setRange(0, 100);
    setSingleStep(5);
    setPageStep(10);
    setValue(100);
    setToolTip(QStringLiteral("Volume"));
    setFocusPolicy(Qt::NoFocus);
}

void TVolumeControl::SetLevel(double level)
{
    setValue(int(std::lround(std::clamp(level, 0.0, 1.0) * 100)));
}
