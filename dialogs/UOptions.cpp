#include "dialogs/UOptions.h"

#include "base/Errors.h"
#include "controls/ButtonFaces.h"
#include "controls/Captions.h"
#include "controls/DBGrid.h"
#include "controls/TexturedBackground.h"
#include "data/URegistry.h"
#include "dialogs/ErrorReporting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QLineEdit>
#include <QShowEvent>
#include <QToolButton>

TfrmOptions *frmOptions = nullptr;

namespace
{
const QSize ClientSize(378, 183);
const int ReplayGainRows = 60;   // the dialog's height grows by the ReplayGain rows
const int NotificationsRow = 24; // and by the notifications' check below them

const QString ReplayGainValue = QStringLiteral("ReplayGain");
const QString PreampValue = QStringLiteral("ReplayGainPreamp");
const QString DefaultGainValue = QStringLiteral("ReplayGainDefault");

// Sky blue on black, as the player's path and the program's grids.
const QString GainBoxStyle = QStringLiteral(
    "QComboBox, QComboBox QAbstractItemView, QDoubleSpinBox "
    "{ background: black; color: rgb(166,202,240); selection-background-color: rgb(166,202,240); "
    "selection-color: black; }");

double StoredDb(const QString &name, double minimum, double maximum)
{
    bool ok = false;
    const double value = ReadSetting(QuillmereKeyPath, name, false).toDouble(&ok);
    return ok ? qBound(minimum, value, maximum) : 0.0;
}
const QPoint DesignedPosition(756, 383);

QDoubleSpinBox *NewGainBox(QWidget *parent, const QString &name, double minimum, double maximum,
                           const QPalette &palette, const QRect &place)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(minimum, maximum);
    box->setDecimals(1);
    box->setSingleStep(0.5);
    box->setSuffix(QStringLiteral(" dB"));
    box->setPalette(palette);
    box->setStyleSheet(GainBoxStyle);
    box->setGeometry(place);
    return box;
}
} // namespace

TReplayGainSettings ReadReplayGainSettings()
{
    TReplayGainSettings settings;
    try {
        settings.Mode = ParseReplayGainMode(ReadSetting(QuillmereKeyPath, ReplayGainValue, false));
        settings.PreampDb = StoredDb(PreampValue, TReplayGainSettings::MinPreampDb,
                                     TReplayGainSettings::MaxPreampDb);
        settings.DefaultDb = StoredDb(DefaultGainValue, TReplayGainSettings::MinDefaultDb,
                                      TReplayGainSettings::MaxDefaultDb);
    } catch (const EError &) {
        return TReplayGainSettings(); // a value of another type: the defaults
    }
    return settings;
}

void WriteReplayGainSettings(const TReplayGainSettings &settings)
{
    WriteSetting(QuillmereKeyPath, ReplayGainValue, ReplayGainModeName(settings.Mode), false);
    WriteSetting(QuillmereKeyPath, PreampValue, QString::number(settings.PreampDb, 'f', 1), false);
    WriteSetting(QuillmereKeyPath, DefaultGainValue, QString::number(settings.DefaultDb, 'f', 1),
                 false);
}

namespace
{
// On unless the user turned it off.
bool FollowFoldersSetting()
{
    try {
        return ReadSetting(QuillmereKeyPath, QStringLiteral("FollowFolders"), false) !=
               QLatin1String("N");
    } catch (const EError &) {
        return true;
    }
}

// Off unless the user turned it on.
bool NotificationsSetting()
{
    try {
        return ReadSetting(QuillmereKeyPath, QStringLiteral("Notifications"), false) ==
               QLatin1String("Y");
    } catch (const EError &) {
        return false;
    }
}
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

    CreateCheckRows();
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
    setTabOrder(cbAutoUpdateDurations, cbFollowFolders);
    setTabOrder(cbFollowFolders, btnOK);
    setTabOrder(btnOK, btnCancel);

    ConnectCheckRows();
    // ReplayGain: two rows below the check boxes, then the notifications; the window grows to
    // hold them.
    CreateReplayGainRows();
    CreateNotificationsRow();

    const auto gainChanged = ReportingErrors(this, &TfrmOptions::ReplayGainChanged);
    connect(cmbReplayGain, &QComboBox::currentIndexChanged, this, gainChanged);
    connect(edReplayGainPreamp, &QDoubleSpinBox::valueChanged, this, gainChanged);
    connect(edReplayGainDefault, &QDoubleSpinBox::valueChanged, this, gainChanged);
    resize(ClientSize.width(), ClientSize.height() + ReplayGainRows + NotificationsRow);
}

// The player's path and the check boxes, each with its shadowed caption on a plate.
void TfrmOptions::CreateCheckRows()
{
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

    cbFollowFolders = new QCheckBox(this);
    cbFollowFolders->setObjectName(QStringLiteral("cbFollowFolders"));
    cbFollowFolders->setGeometry(24, 122, 13, 13);
    cbFollowFolders->setChecked(FollowFoldersSetting());

    const QString followCaption = QStringLiteral("Keep the library up to date with its folders");
    lblFollowFolders2 = NewCaption(this, QStringLiteral("lblFollowFolders2"), followCaption, 43,
                                   123, Qt::black, true);
    lblFollowFolders = NewCaption(this, QStringLiteral("lblFollowFolders"), followCaption, 42, 122,
                                  SkyBlue(), true);

    NewCaptionPlate(this, QStringLiteral("plPlayerPath"), lblPlayerPath2, lblPlayerPath);
    NewCaptionPlate(this, QStringLiteral("plLoopPlaylist"), lblLoopPlaylist2, lblLoopPlaylist);
    NewCaptionPlate(this, QStringLiteral("plAutoUpdateDurations"), lblAutoUpdateDurations2,
                    lblAutoUpdateDurations);
    NewCaptionPlate(this, QStringLiteral("plFollowFolders"), lblFollowFolders2, lblFollowFolders);
}

void TfrmOptions::ConnectCheckRows()
{
    connect(btnOK, &QToolButton::clicked, this, &TfrmOptions::btnOKClick);
    connect(btnCancel, &QToolButton::clicked, this, &TfrmOptions::btnCancelClick);
    connect(lblLoopPlaylist, &TClickLabel::clicked, this, &TfrmOptions::lblLoopPlaylistClick);
    connect(lblLoopPlaylist2, &TClickLabel::clicked, this, &TfrmOptions::lblLoopPlaylistClick);
    connect(lblAutoUpdateDurations, &TClickLabel::clicked, this,
            &TfrmOptions::lblAutoUpdateDurationsClick);
    connect(lblAutoUpdateDurations2, &TClickLabel::clicked, this,
            &TfrmOptions::lblAutoUpdateDurationsClick);

    connect(lblFollowFolders, &TClickLabel::clicked, this, &TfrmOptions::lblFollowFoldersClick);
    connect(lblFollowFolders2, &TClickLabel::clicked, this, &TfrmOptions::lblFollowFoldersClick);
    connect(cbFollowFolders, &QCheckBox::toggled, this, [this](bool on) {
        try {
            WriteSetting(QuillmereKeyPath, QStringLiteral("FollowFolders"),
                         on ? QStringLiteral("Y") : QStringLiteral("N"), false);
        } catch (const EError &) {
            // Not kept for the next run, but it holds for this one.
        }
        emit FollowFoldersChanged(on);
    });

    ReadStoredOptions();
    const auto changed = [this] {
        StoreOptions();
        emit OptionsChanged(Options());
    };
    connect(edPlayerPath, &QLineEdit::textChanged, this, changed);
    connect(cbLoopPlayList, &QCheckBox::toggled, this, changed);
    connect(cbAutoUpdateDurations, &QCheckBox::toggled, this, changed);
}

void TfrmOptions::CreateReplayGainRows()
{
    const QPalette editPalette = edPlayerPath->palette();
    const TReplayGainSettings stored = ReadReplayGainSettings();
    const QString gainCaption = QStringLiteral("ReplayGain");
    lblReplayGain2 =
        NewCaption(this, QStringLiteral("lblReplayGain2"), gainCaption, 25, 151, Qt::black, true);
    lblReplayGain =
        NewCaption(this, QStringLiteral("lblReplayGain"), gainCaption, 24, 150, SkyBlue(), true);
    cmbReplayGain = new QComboBox(this);
    cmbReplayGain->setObjectName(QStringLiteral("cmbReplayGain"));
    for (TReplayGainMode mode :
         {TReplayGainMode::Off, TReplayGainMode::Track, TReplayGainMode::Album})
        cmbReplayGain->addItem(ReplayGainModeName(mode), int(mode));
    cmbReplayGain->setCurrentIndex(cmbReplayGain->findData(int(stored.Mode)));
    cmbReplayGain->setPalette(editPalette);
    cmbReplayGain->setStyleSheet(GainBoxStyle);
    cmbReplayGain->setGeometry(112, 146, 80, 21);

    const QString preampCaption = QStringLiteral("Pre-amp");
    lblReplayGainPreamp2 = NewCaption(this, QStringLiteral("lblReplayGainPreamp2"), preampCaption,
                                      205, 151, Qt::black, true);
    lblReplayGainPreamp = NewCaption(this, QStringLiteral("lblReplayGainPreamp"), preampCaption,
                                     204, 150, SkyBlue(), true);
    edReplayGainPreamp =
        NewGainBox(this, QStringLiteral("edReplayGainPreamp"), TReplayGainSettings::MinPreampDb,
                   TReplayGainSettings::MaxPreampDb, editPalette, QRect(272, 146, 80, 21));
    edReplayGainPreamp->setValue(stored.PreampDb);

    const QString defaultCaption = QStringLiteral("Songs without ReplayGain");
    lblReplayGainDefault2 = NewCaption(this, QStringLiteral("lblReplayGainDefault2"),
                                       defaultCaption, 25, 177, Qt::black, true);
    lblReplayGainDefault = NewCaption(this, QStringLiteral("lblReplayGainDefault"), defaultCaption,
                                      24, 176, SkyBlue(), true);
    edReplayGainDefault =
        NewGainBox(this, QStringLiteral("edReplayGainDefault"), TReplayGainSettings::MinDefaultDb,
                   TReplayGainSettings::MaxDefaultDb, editPalette, QRect(272, 172, 80, 21));
    edReplayGainDefault->setValue(stored.DefaultDb);
    NewCaptionPlate(this, QStringLiteral("plReplayGain"), lblReplayGain2, lblReplayGain);
    NewCaptionPlate(this, QStringLiteral("plReplayGainPreamp"), lblReplayGainPreamp2,
                    lblReplayGainPreamp);
    NewCaptionPlate(this, QStringLiteral("plReplayGainDefault"), lblReplayGainDefault2,
                    lblReplayGainDefault);

    setTabOrder(cbFollowFolders, cmbReplayGain);
    setTabOrder(cmbReplayGain, edReplayGainPreamp);
    setTabOrder(edReplayGainPreamp, edReplayGainDefault);
}

void TfrmOptions::CreateNotificationsRow()
{
    cbNotifications = new QCheckBox(this);
    cbNotifications->setObjectName(QStringLiteral("cbNotifications"));
    cbNotifications->setGeometry(24, 206, 13, 13);
    cbNotifications->setChecked(NotificationsSetting());
    const QString notifyCaption = QStringLiteral("Show a notification when a song starts");
    lblNotifications2 = NewCaption(this, QStringLiteral("lblNotifications2"), notifyCaption, 43,
                                   207, Qt::black, true);
    lblNotifications = NewCaption(this, QStringLiteral("lblNotifications"), notifyCaption, 42, 206,
                                  SkyBlue(), true);
    NewCaptionPlate(this, QStringLiteral("plNotifications"), lblNotifications2, lblNotifications);
    connect(lblNotifications, &TClickLabel::clicked, this, &TfrmOptions::lblNotificationsClick);
    connect(lblNotifications2, &TClickLabel::clicked, this, &TfrmOptions::lblNotificationsClick);
    connect(cbNotifications, &QCheckBox::toggled, this, [this](bool on) {
        try {
            WriteSetting(QuillmereKeyPath, QStringLiteral("Notifications"),
                         on ? QStringLiteral("Y") : QStringLiteral("N"), false);
        } catch (const EError &) {
            // Not kept for the next run, but it holds for this one.
        }
        emit NotificationsChanged(on);
    });

    setTabOrder(edReplayGainDefault, cbNotifications);
    setTabOrder(cbNotifications, btnOK);
}

void TfrmOptions::ReplayGainChanged()
{
    // Handed on first: a store that cannot be written does not hold back the change.
    emit OptionsChanged(Options());
    WriteReplayGainSettings(Options().ReplayGain);
}

namespace
{
const QString PlayerPathValue = QStringLiteral("PlayerPath");
const QString LoopPlaylistValue = QStringLiteral("LoopPlaylist");
const QString AutoUpdateValue = QStringLiteral("AutoUpdateDurations");

QString Flag(bool on)
{
    return on ? QStringLiteral("Y") : QStringLiteral("N");
}
} // namespace

void TfrmOptions::ReadStoredOptions()
{
    try {
        // Only values stored once: a first run shows the defaults.
        const QString loop = ReadSetting(OptionsKeyPath, LoopPlaylistValue, false);
        if (!loop.isEmpty())
            cbLoopPlayList->setChecked(loop == QLatin1String("Y"));
        const QString update = ReadSetting(OptionsKeyPath, AutoUpdateValue, false);
        if (!update.isEmpty())
            cbAutoUpdateDurations->setChecked(update == QLatin1String("Y"));
        if (!ReadSetting(OptionsKeyPath, QStringLiteral("Stored"), false).isEmpty())
            edPlayerPath->setText(ReadSetting(OptionsKeyPath, PlayerPathValue, false));
    } catch (const EError &) {
        // A value of another type: the defaults stand.
    }
}

void TfrmOptions::StoreOptions()
{
    try {
        WriteSetting(OptionsKeyPath, PlayerPathValue, edPlayerPath->text(), false);
        WriteSetting(OptionsKeyPath, LoopPlaylistValue, Flag(cbLoopPlayList->isChecked()), false);
        WriteSetting(OptionsKeyPath, AutoUpdateValue, Flag(cbAutoUpdateDurations->isChecked()),
                     false);
        WriteSetting(OptionsKeyPath, QStringLiteral("Stored"), QStringLiteral("Y"), false);
    } catch (const EError &) {
        // Not kept for the next run, but it holds for this one.
    }
}

TPlaybackOptions TfrmOptions::Options() const
{
    TPlaybackOptions options;
    options.PlayerPath = edPlayerPath->text();
    options.LoopPlaylist = cbLoopPlayList->isChecked();
    options.AutoUpdateDurations = cbAutoUpdateDurations->isChecked();
    options.ReplayGain.Mode = TReplayGainMode(cmbReplayGain->currentData().toInt());
    options.ReplayGain.PreampDb = edReplayGainPreamp->value();
    options.ReplayGain.DefaultDb = edReplayGainDefault->value();
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

void TfrmOptions::lblFollowFoldersClick()
{
    cbFollowFolders->toggle();
}

void TfrmOptions::lblNotificationsClick()
{
    cbNotifications->toggle();
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
