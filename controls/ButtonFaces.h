#pragma once

#include <QPixmap>

class QToolButton;
class QWidget;

// The blue OK and Cancel faces of the dialogs' flat picture buttons, drawn by the program.
QPixmap OkButtonFace();     // 48 x 21: a tick and "OK"
QPixmap CancelButtonFace(); // 62 x 21: a cross and "Cancel"

// A flat button that shows only a picture, at (x, y) with the given size.
QToolButton *NewPictureButton(QWidget *parent, const QString &name, const QPixmap &face, int x,
                              int y, int w, int h);
