#pragma once

#include "controls/Anchors.h"
#include "dialogs/Form.h"

class QCheckBox;
class QFrame;
class QLineEdit;
class QToolButton;
class TClickLabel;
class TTexturedBackground;

// The Options dialog. Its controls are the live settings: playback and the external player
// read them directly, and nothing is saved between runs.
class TfrmOptions : public TForm
{
    Q_OBJECT

public:
    explicit TfrmOptions(QWidget *parent = nullptr);

    // The player started with the playlist file.
    static QString DefaultPlayerPath();

    TTexturedBackground *TexturedBackground1;
    QFrame *Bevel1;
    TClickLabel *lblPlayerPath2;
    TClickLabel *lblPlayerPath;
    QLineEdit *edPlayerPath;
    QCheckBox *cbLoopPlayList;
    TClickLabel *lblLoopPlaylist2;
    TClickLabel *lblLoopPlaylist;
    QCheckBox *cbAutoUpdateDurations;
    TClickLabel *lblAutoUpdateDurations2;
    TClickLabel *lblAutoUpdateDurations;
    QToolButton *btnOK;
    QToolButton *btnCancel;

    void FormShow();
    void btnOKClick();
    void btnCancelClick();
    void lblLoopPlaylistClick();
    void lblAutoUpdateDurationsClick();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    TAnchorLayout m_anchors;
};

extern TfrmOptions *frmOptions;
