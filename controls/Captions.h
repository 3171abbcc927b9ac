#pragma once

#include <QLabel>

// A label that reports a click (press and release on it), like a check box's caption.
class TClickLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};

// The dialogs' font: small and narrow, as the layouts were made for "MS Sans Serif".
QFont DialogFont();

// A transparent caption at (x, y) in the given colour; captions on textures come in pairs,
// a black copy one pixel right of and below the coloured one.
TClickLabel *NewCaption(QWidget *parent, const QString &name, const QString &text, int x, int y,
                        const QColor &colour, bool bold);

// A dark, partly see-through plate behind a caption pair, so that the sky blue text keeps its
// contrast on any texture. Sized to both labels; put behind them.
QWidget *NewCaptionPlate(QWidget *parent, const QString &name, QLabel *shadow, QLabel *caption);
