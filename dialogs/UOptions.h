#pragma once

#include "controls/Anchors.h"
#include "dialogs/Form.h"
#include "platform/PlaybackOptions.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFrame;
class QLineEdit;
class QToolButton;
class TClickLabel;
class TTexturedBackground;

// The Options dialog. It hands its values on as they change, so a change holds whether the
// dialog closes with OK or Cancel. Its values are kept in the settings store as they change and
// read when it is created.
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
    TClickLabel *lblReplayGain2;
    TClickLabel *lblReplayGain;
    QComboBox *cmbReplayGain; // "Off", "Track", "Album"
    TClickLabel *lblReplayGainPreamp2;
    TClickLabel *lblReplayGainPreamp;
    QDoubleSpinBox *edReplayGainPreamp;
    TClickLabel *lblReplayGainDefault2;
    TClickLabel *lblReplayGainDefault;
    QDoubleSpinBox *edReplayGainDefault;
    QCheckBox *cbNotifications;
    TClickLabel *lblNotifications2;
    TClickLabel *lblNotifications;

    void FormShow();
    void btnOKClick();
    void btnCancelClick();
    void lblLoopPlaylistClick();
    void lblAutoUpdateDurationsClick();
    void ReplayGainChanged();
    void lblFollowFoldersClick();
    void lblNotificationsClick();

signals:
    void OptionsChanged(const TPlaybackOptions &options);
    // The check "Keep the library up to date with its folders", kept in the settings.
    void FollowFoldersChanged(bool on);
    // The check "Show a notification when a song starts", kept in the settings; off unless
    // the user turned it on.
    void NotificationsChanged(bool on);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void CreateCheckRows();
    void ConnectCheckRows();
    void CreateReplayGainRows();
    void CreateNotificationsRow();
    // The values kept in the settings store: read once at creation, stored as they change.
    void ReadStoredOptions();
    void StoreOptions();
    TAnchorLayout m_anchors;
};

extern TfrmOptions *frmOptions;

// The ReplayGain values in the settings store ("ReplayGain", "ReplayGainPreamp",
// "ReplayGainDefault"); missing or unreadable values read as the defaults.
TReplayGainSettings ReadReplayGainSettings();
void WriteReplayGainSettings(const TReplayGainSettings &settings);
