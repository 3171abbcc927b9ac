#pragma once

#include <QSlider>

// The loudness beside the transport buttons: 0 to 100 percent, by a click, a drag or the wheel.
class TVolumeControl : public QSlider
{
    Q_OBJECT

public:
    explicit TVolumeControl(QWidget *parent = nullptr);
    // 0 (silent) to 1 (full).
    double Level() const { return value() / 100.0; }
    void SetLevel(double level);
};
