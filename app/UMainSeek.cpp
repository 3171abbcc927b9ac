// Seeking on the progress bar, the volume beside the transport buttons, the playing song's hint.
#include "app/UMain.h"

#include "base/Errors.h"
#include "controls/SeekBar.h"
#include "controls/VolumeControl.h"
#include "data/Durations.h"
#include "data/SongTitles.h"
#include "data/URegistry.h"
#include "dialogs/ErrorReporting.h"
#include "platform/MediaPlayer.h"

#include <QEvent>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

namespace
{
const QString VolumeValue = QStringLiteral("Volume");

// Runs a function whenever the watched widget is resized.
class TResizeWatcher : public QObject
{
public:
    TResizeWatcher(QWidget *watched, std::function<void()> resized)
        : QObject(watched), m_resized(std::move(resized))
    {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            m_resized();
        return false;
    }

private:
    std::function<void()> m_resized;
};

int StoredVolume()
{
    try {
        bool ok = false;
        const int value = ReadSetting(WindowKeyPath, VolumeValue, false).toInt(&ok);
        return ok ? std::clamp(value, 0, 100) : 100;
    } catch (const EError &) {
        return 100; // a value of another type: full volume
    }
}
} // namespace

void TfrmMain::CreateSeekAndVolume()
{
    if (auto *bar = qobject_cast<TSeekBar *>(pbSongProgress))
        connect(bar, &TSeekBar::SeekRequested, this,
                [this](int value) { RunReportingErrors([&] { SeekTo(value); }); });

    tbVolume = new TVolumeControl(pnlButtons);
    tbVolume->setObjectName(QStringLiteral("tbVolume"));
    tbVolume->setValue(StoredVolume());
    MediaPlayer1->SetVolume(tbVolume->Level());
    connect(tbVolume, &QSlider::valueChanged, this,
            [this](int value) { RunReportingErrors([&] { tbVolumeChange(value); }); });
    // A drag is stored once, where it ends.
    connect(tbVolume, &QSlider::sliderReleased, this,
            [this] { RunReportingErrors([this] { tbVolumeChange(tbVolume->value()); }); });
    const auto place = [this] {
        // Between Stop and the toggle button, which the panel keeps at its right end.
        const int left = btnStop->geometry().right() + 6;
        const int right = pnlButtons->width() - btnToggleAvailableSongs->width() - 8 - 4;
        tbVolume->setGeometry(left, 30, std::clamp(right - left, 16, 100), 18);
    };
    new TResizeWatcher(pnlButtons, place);
    place();

    // The playing song's title as the hint of the bar and its time.
    connect(SongTimer, &QTimer::timeout, this, [this] {
        if (Queue.State() == psIdle || MediaPlayer1->FileName == m_hintedFile)
            return;
        if (!qryPlayListSongs->Active() || qryPlayListSongs->IsEmpty() ||
            EntryFile(qryPlayListSongs->RecNo()) != MediaPlayer1->FileName)
            return;
        m_hintedFile = MediaPlayer1->FileName;
        const QString title = SongTitle(qryPlayListSongs->AsString(QStringLiteral("ID3_Title")),
                                        qryPlayListSongs->AsString(QStringLiteral("Filename")));
        pbSongProgress->setToolTip(title);
        lblDuration->setToolTip(title);
    });
}

void TfrmMain::SeekTo(qint64 ms)
{
    // Only a song that plays or is paused moves; a stopped bar stays at its start.
    if (!MediaPlayer1->Opened() || Queue.State() == psIdle)
        return;
    MediaPlayer1->Seek(std::clamp<qint64>(ms, 0, pbSongProgress->maximum()));
    pbSongProgress->setValue(int(std::clamp<qint64>(
        MediaPlayer1->Position(), pbSongProgress->minimum(), pbSongProgress->maximum())));
    lblDuration->setText(FormatMilliseconds(pbSongProgress->value()));
}

void TfrmMain::SeekBy(qint64 ms)
{
    if (!MediaPlayer1->Opened() || Queue.State() == psIdle)
        return;
    SeekTo(MediaPlayer1->Position() + ms);
}

void TfrmMain::tbVolumeChange(int value)
{
    MediaPlayer1->SetVolume(value / 100.0);
    if (!tbVolume->isSliderDown())
        WriteSetting(WindowKeyPath, VolumeValue, QString::number(value), false);
}

double TfrmMain::volume() const
{
    return tbVolume->Level();
}

void TfrmMain::SetVolume(double level)
{
    tbVolume->SetLevel(level);
}
