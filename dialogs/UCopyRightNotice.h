#pragma once

#include "dialogs/Form.h"

#include <QStringList>

class QTextEdit;
class QToolButton;
class TTexturedBackground;

// The notice shown at start-up; any answer but OK ends the program (the main window decides).
class TfrmCopyrightNotice : public TForm
{
    Q_OBJECT

public:
    explicit TfrmCopyrightNotice(QWidget *parent = nullptr);

    // The ten lines of mCopyRight.
    static QStringList CopyrightLines();

    TTexturedBackground *TexturedBackground1;
    QTextEdit *mCopyRight;
    QToolButton *btnOK;
    QToolButton *btnCancel;

    void FormShow();
    void btnOKClick();
    void btnCancelClick();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
};

extern TfrmCopyrightNotice *frmCopyrightNotice;
