#include "dialogs/UOptions.h"

#include "controls/ButtonFaces.h"
#include "controls/Captions.h"
#include "controls/DBGrid.h"
#include "controls/TexturedBackground.h"

#include <QCheckBox>
#include <QFrame>
#include <QLineEdit>
#include <QShowEvent>
#include <QToolButton>

TfrmOptions *frmOptions = nullptr;

namespace
{
const QSize ClientSize(378, 183);
const QPoint DesignedPosition(756, 383);
} // namespace

TfrmOptions::TfrmOptions(QWidget *parent) : TForm(parent), m_anchors(ClientSize)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setFont(DialogFont());
    resize(ClientSize);
    move(DesignedPosition);

    TexturedBackground1 = NewTexturedBackground(this, PAL_BLUE, PAL_CLOUDS, 2, false);
    TexturedBackground1->setGeometry(QRect(QPoint(0, 0), ClientSize));

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 360, 137);

    const QString playerCaption = QStringLiteral("Path to Player");
    lblPlayerPath2 =
        NewCaption(this, QStringLiteral("lblPlayerPath2"), playerCaption, 25, 37, Qt::black, true);
    lblPlayerPath =
        NewCaption(this, QStringLiteral("lblPlayerPath"), playerCaption, 24, 36, SkyBlue(), true);

    const TPlaybackOptions defaults;
    edPlayerPath = new QLineEdit(defaults.PlayerPath, this);
    edPlayerPath->setObjectName(QStringLiteral("edPlayerPath"));
    // Sky blue on black, as the program's grids are drawn.
    QPalette editPalette = edPlayerPath->palette();
    editPalette.setColor(QPalette::Text, SkyBlue());
    editPalette.setColor(QPalette::Base, Qt::black);
    edPlayerPath->setPalette(editPalette);
    edPlayerPath->setGeometry(112, 32, 240, 21);

    cbLoopPlayList = new QCheckBox(this);
    cbLoopPlayList->setObjectName(QStringLiteral("cbLoopPlayList"));
    cbLoopPlayList->setGeometry(24, 74, 13, 13);
    cbLoopPlayList->setChecked(defaults.LoopPlaylist);

    const QString loopCaption = QStringLiteral("Loop Playlist");
    lblLoopPlaylist2 =
        NewCaption(this, QStringLiteral("lblLoopPlaylist2"), loopCaption, 43, 75, Qt::black, true);
    lblLoopPlaylist =
        NewCaption(this, QStringLiteral("lblLoopPlaylist"), loopCaption, 42, 74, SkyBlue(), true);

    cbAutoUpdateDurations = new QCheckBox(this);
    cbAutoUpdateDurations->setObjectName(QStringLiteral("cbAutoUpdateDurations"));
    cbAutoUpdateDurations->setGeometry(24, 98, 13, 13);
    cbAutoUpdateDurations->setChecked(defaults.AutoUpdateDurations);

    const QString autoCaption =
        QStringLiteral("Automatically update stored durations from song length");
    lblAutoUpdateDurations2 = NewCaption(this, QStringLiteral("lblAutoUpdateDurations2"),
                                         autoCaption, 43, 99, Qt::black, true);
    lblAutoUpdateDurations = NewCaption(this, QStringLiteral("lblAutoUpdateDurations"), autoCaption,
                                        42, 98, SkyBlue(), true);

    NewCaptionPlate(this, QStringLiteral("plPlayerPath"), lblPlayerPath2, lblPlayerPath);
    NewCaptionPlate(this, QStringLiteral("plLoopPlaylist"), lblLoopPlaylist2, lblLoopPlaylist);
    NewCaptionPlate(this, QStringLiteral("plAutoUpdateDurations"), lblAutoUpdateDurations2,
                    lblAutoUpdateDurations);

    btnOK = NewPictureButton(this, QStringLiteral("btnOK"), OkButtonFace(), 249, 153, 50, 23);
    btnCancel =
        NewPictureButton(this, QStringLiteral("btnCancel"), CancelButtonFace(), 304, 153, 64, 23);

    m_anchors.Add(TexturedBackground1, akLeft | akTop | akRight | akBottom);
    m_anchors.Add(Bevel1, akLeft | akTop | akRight | akBottom);
    m_anchors.Add(edPlayerPath, akLeft | akTop | akRight);
    m_anchors.Add(btnOK, akRight | akBottom);
    m_anchors.Add(btnCancel, akRight | akBottom);

    setTabOrder(edPlayerPath, cbLoopPlayList);
    setTabOrder(cbLoopPlayList, cbAutoUpdateDurations);
    setTabOrder(cbAutoUpdateDurations, btnOK);
    setTabOrder(btnOK, btnCancel);

    connect(btnOK, &QToolButton::clicked, this, &TfrmOptions::btnOKClick);
    connect(btnCancel, &QToolButton::clicked, this, &TfrmOptions::btnCancelClick);
    connect(lblLoopPlaylist, &TClickLabel::clicked, this, &TfrmOptions::lblLoopPlaylistClick);
    connect(lblLoopPlaylist2, &TClickLabel::clicked, this, &TfrmOptions::lblLoopPlaylistClick);
    connect(lblAutoUpdateDurations, &TClickLabel::clicked, this,
            &TfrmOptions::lblAutoUpdateDurationsClick);
    connect(lblAutoUpdateDurations2, &TClickLabel::clicked, this,
            &TfrmOptions::lblAutoUpdateDurationsClick);

    const auto changed = [this] { emit OptionsChanged(Options()); };
    connect(edPlayerPath, &QLineEdit::textChanged, this, changed);
    connect(cbLoopPlayList, &QCheckBox::toggled, this, changed);
    connect(cbAutoUpdateDurations, &QCheckBox::toggled, this, changed);
}

TPlaybackOptions TfrmOptions::Options() const
{
    TPlaybackOptions options;
    options.PlayerPath = edPlayerPath->text();
    options.LoopPlaylist = cbLoopPlayList->isChecked();
    options.AutoUpdateDurations = cbAutoUpdateDurations->isChecked();
    return options;
}

void TfrmOptions::FormShow()
{
    for (int n = 1; n <= 3; ++n)
        TexturedBackground1->GenerateScreen(n);
    TexturedBackground1->update();
}

void TfrmOptions::btnOKClick()
{
    done(mrOk);
}

void TfrmOptions::btnCancelClick()
{
    done(mrCancel);
}

void TfrmOptions::lblLoopPlaylistClick()
{
    cbLoopPlayList->toggle();
}

void TfrmOptions::lblAutoUpdateDurationsClick()
{
    cbAutoUpdateDurations->toggle();
}

void TfrmOptions::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) { // not when the window is merely restored
        // On a smaller screen, moved up and left to keep OK and Cancel there too.
        MoveOntoScreen(this, DesignedPosition);
        FormShow();
    }
    TForm::showEvent(event);
}

void TfrmOptions::resizeEvent(QResizeEvent *event)
{
    m_anchors.Apply(size());
    TForm::resizeEvent(event);
}
