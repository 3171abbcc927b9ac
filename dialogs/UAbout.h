#pragma once

#include "controls/Anchors.h"
#include "dialogs/Form.h"

#include <QImage>

class QLabel;
class QToolButton;
class TTexturedBackground;

// The about box: product picture and version over a generated texture.
class TfrmAbout : public TForm
{
    Q_OBJECT

public:
    explicit TfrmAbout(QWidget *parent = nullptr);

    // The 222 x 148 product picture on its blue ground (0, 102, 255).
    static QImage AboutPicture();

    TTexturedBackground *TexturedBackground1;
    QLabel *imgAbout;
    QToolButton *btnOK;
    QLabel *lblVersionShadow;
    QLabel *lblVersion;

    void FormShow();
    void btnOKClick();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    TAnchorLayout m_anchors;
};

// The picture with the colour of its lower-left pixel made transparent.
QPixmap TransparentPicture(const QImage &picture);

extern TfrmAbout *frmAbout;
