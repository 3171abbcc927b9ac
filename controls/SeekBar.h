#pragma once

#include <QProgressBar>

// A progress bar that a press or a drag moves: it asks for the value under the mouse.
class TSeekBar : public QProgressBar
{
    Q_OBJECT

public:
    explicit TSeekBar(QWidget *parent = nullptr);
    // The value that a press at x (in the bar's own pixels) stands for, within the range.
    int ValueAt(int x) const;

signals:
    void SeekRequested(int value);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    bool m_dragging = false;
};
