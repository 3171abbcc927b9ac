#include "dialogs/UCopyRightNotice.h"

#include "controls/ButtonFaces.h"
#include "controls/Captions.h"
#include "controls/TexturedBackground.h"

#include <QShowEvent>
#include <QTextEdit>
#include <QTextOption>
#include <QToolButton>

TfrmCopyrightNotice *frmCopyrightNotice = nullptr;

TfrmCopyrightNotice::TfrmCopyrightNotice(QWidget *parent) : TForm(parent)
{
    setObjectName(QStringLiteral("frmCopyrightNotice"));
    setWindowTitle(QStringLiteral("Copyright Notice"));
    setFont(DialogFont());
    resize(320, 206);

    TexturedBackground1 = NewTexturedBackground(this, PAL_GREYSCALE, PAL_CLOUDS, 2, false);
    TexturedBackground1->setGeometry(rect());

    mCopyRight = new QTextEdit(this);
    mCopyRight->setObjectName(QStringLiteral("mCopyRight"));
    mCopyRight->setAcceptRichText(false);
    mCopyRight->document()->setDefaultTextOption(QTextOption(Qt::AlignHCenter));
    mCopyRight->setPlainText(CopyrightLines().join(QLatin1Char('\n')));
    mCopyRight->setGeometry(16, 16, 289, 153);

    btnOK = NewPictureButton(this, QStringLiteral("btnOK"), OkButtonFace(), 184, 176, 50, 23);
    btnCancel =
        NewPictureButton(this, QStringLiteral("btnCancel"), CancelButtonFace(), 241, 176, 64, 23);

    setTabOrder(mCopyRight, btnOK);
    setTabOrder(btnOK, btnCancel);
    mCopyRight->setFocus();

    connect(btnOK, &QToolButton::clicked, this, &TfrmCopyrightNotice::btnOKClick);
    connect(btnCancel, &QToolButton::clicked, this, &TfrmCopyrightNotice::btnCancelClick);
}

QStringList TfrmCopyrightNotice::CopyrightLines()
{
    return {
        QStringLiteral("Quillmere"),
        QStringLiteral("============"),
        QString(),
        QStringLiteral("Version 1.01"),
        QStringLiteral("Written by the Quillmere developers"),
        QString(),
        QStringLiteral(" "),
        QStringLiteral("  "),
        QStringLiteral(" "),
        QString(),
    };
}

void TfrmCopyrightNotice::FormShow()
{
    for (int n = 1; n <= 3; ++n)
        TexturedBackground1->GenerateScreen(n);
    TexturedBackground1->update();
}

void TfrmCopyrightNotice::btnOKClick()
{
    done(mrOk);
}

void TfrmCopyrightNotice::btnCancelClick()
{
    done(mrCancel);
}

void TfrmCopyrightNotice::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FormShow();
    TForm::showEvent(event);
}

void TfrmCopyrightNotice::resizeEvent(QResizeEvent *event)
{
    TexturedBackground1->setGeometry(rect());
    TForm::resizeEvent(event);
}
