#pragma once

#include "controls/Anchors.h"
#include "dialogs/Form.h"
#include "platform/PlaybackOptions.h"

class QCheckBox;
class QFrame;
class QLineEdit;
class QToolButton;
class TClickLabel;
class TTexturedBackground;

// The Options dialog. It hands its values on as they change, so a change holds whether the
// dialog closes with OK or Cancel; nothing is saved between runs.
class TfrmOptions : public TForm
{
    Q_OBJECT

public:
    explicit TfrmOptions(QWidget *parent = nullptr);

    // The player started with the playlist file.
    static QString DefaultPlayerPath() { return TPlaybackOptions::DefaultPlayerPath(); }
    // The values its controls show.
    TPlaybackOptions Options() const;

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
    QCheckBox *cbFollowFolders;
    TClickLabel *lblFollowFolders2;
    TClickLabel *lblFollowFolders;
    QToolButton *btnOK;
    QToolButton *btnCancel;

    void FormShow();
    void btnOKClick();
    void btnCancelClick();
    void lblLoopPlaylistClick();
    void lblAutoUpdateDurationsClick();
    void lblFollowFoldersClick();

signals:
    void OptionsChanged(const TPlaybackOptions &options);
    // The check "Keep the library up to date with its folders", kept in the settings.
    void FollowFoldersChanged(bool on);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    TAnchorLayout m_anchors;
};

extern TfrmOptions *frmOptions;
