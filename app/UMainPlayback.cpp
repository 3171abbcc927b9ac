#include "app/UMain.h"

#include "app/QuillmereApplication.h"
#include "base/Errors.h"
#include "controls/DBGrid.h"
#include "data/Durations.h"
#include "data/SongRow.h"
#include "platform/MediaPlayer.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

void TfrmMain::CreatePlaybackControls()
{
    MediaPlayer1 = new TMediaPlayer(this);
    MediaPlayer1->setObjectName(QStringLiteral("MediaPlayer1"));
    connect(MediaPlayer1, &TMediaPlayer::Notify, this, [this](int play, const QString &failure) {
        RunReportingErrors([&] { MediaPlayer1Notify(play, failure); });
    });
    connect(MediaPlayer1, &TMediaPlayer::NextWanted, this,
            [this](int afterTag) { RunReportingErrors([&] { QueueAfter(afterTag); }); });
}

void TfrmMain::btnPlayClick()
{
    // The stopped song's notice carries its own play's number and is ignored.
    btnStopClick();
    // An empty playlist has nothing to play, and nothing to complain of.
    if (!qryPlayListSongs->Active() || qryPlayListSongs->IsEmpty())
        return;
    Queue.Start(int(qryPlayListSongs->AsInteger(QStringLiteral("Sequence"))));
    MediaPlayer1->FileName = SongFile(*qryPlayListSongs);
    MediaPlayer1->ReplayGain = PlaybackOptions.ReplayGain;
    MediaPlayer1->Open();
    SongTimer->start();
    pbSongProgress->setMaximum(int(qMin<qint64>(MediaPlayer1->Length(), INT_MAX)));
    CheckStoredDuration(MediaPlayer1->Length());
    MediaPlayer1->Play();
    Queue.Await(MediaPlayer1->PlayNumber());
    QueueAfter(qryPlayListSongs->RecNo());
    grdPlayList->viewport()->update();
}

void TfrmMain::btnStopClick()
{
    if (MediaPlayer1->Opened()) {
        const TMediaPlayer::TMPModes mode = MediaPlayer1->Mode();
        if (mode == TMediaPlayer::mpPlaying || mode == TMediaPlayer::mpSeeking ||
            mode == TMediaPlayer::mpPaused || mode == TMediaPlayer::mpOpen) {
            SongTimer->stop();
            MediaPlayer1->Stop();
            pbSongProgress->setValue(0);
            lblDuration->setText(FormatMilliseconds(pbSongProgress->value()));
        }
    }
    btnDummy->setChecked(true);
    Queue.Stop();
    grdPlayList->viewport()->update();
}

void TfrmMain::btnPauseClick()
{
    if (Queue.HasEntry())
        MediaPlayer1->Pause();
    if (Queue.TogglePause(MediaPlayer1->PlayNumber()) == psPaused)
        return;
    btnDummy->setChecked(true);
}

void TfrmMain::btnNextClick()
{
    btnStopClick();
    if (qryPlayListSongs->Active())
        qryPlayListSongs->Next();
    btnPlayClick();
    btnDummy->setChecked(true);
}

void TfrmMain::btnPreviousClick()
{
    btnStopClick();
    if (qryPlayListSongs->Active())
        qryPlayListSongs->Prior();
    btnPlayClick();
    btnDummy->setChecked(true);
}

void TfrmMain::grdPlayListDblClick()
{
    btnPlayClick();
}

void TfrmMain::Play1Click()
{
    btnPlayClick();
}

void TfrmMain::MediaPlayer1Notify(int play, const QString &failure)
{
    // Only the end of the play the window waits for counts.
    if (!Queue.Awaits(play))
        return;
    const int count = qryPlayListSongs->Active() ? qryPlayListSongs->RecordCount() : 0;
    const int row = qryPlayListSongs->Active() ? qryPlayListSongs->RecNo() : -1;
    // The player went straight on into the entry queued after this one: follow it there, as
    // Next would, without stopping the device.
    const int next = failure.isEmpty() ? Queue.EntryAfter(row, count) : -1;
    if (next >= 0 && MediaPlayer1->Joined(play) && MediaPlayer1->Tag() == next &&
        MediaPlayer1->FileName == EntryFile(next)) {
        qryPlayListSongs->SetRecNo(next);
        Queue.Joined(int(qryPlayListSongs->AsInteger(QStringLiteral("Sequence"))),
                     MediaPlayer1->PlayNumber());
        pbSongProgress->setMaximum(int(qMin<qint64>(MediaPlayer1->Length(), INT_MAX)));
        CheckStoredDuration(MediaPlayer1->Length());
        grdPlayList->viewport()->update();
        return;
    }
    SongTimer->stop();
    const TAfterPlay after = Queue.Ended(row, count, !failure.isEmpty());
    if (after == TAfterPlay::PlayNext) {
        btnNextClick();
        return;
    }
    // The end of the playlist, or a song that could not be played to its end: stop there. The
    // device has stopped by itself, so the bar is brought back here.
    btnStopClick();
    pbSongProgress->setValue(0);
    lblDuration->setText(FormatMilliseconds(pbSongProgress->value()));
    if (!failure.isEmpty())
        throw EMCIDeviceError(failure);
    // Looping starts again from the top.
    if (after == TAfterPlay::StartOver) {
        qryPlayListSongs->First();
        btnPlayClick();
        btnDummy->setChecked(true);
    }
}

void TfrmMain::SongTimerTimer()
{
    const qint64 position = MediaPlayer1->Position();
    pbSongProgress->setValue(
        int(std::clamp<qint64>(position, pbSongProgress->minimum(), pbSongProgress->maximum())));
    lblDuration->setText(FormatMilliseconds(pbSongProgress->value()));
}

void TfrmMain::pbSongProgressMouseDown()
{
    MediaPlayer1->Step();
}

QString TfrmMain::EntryFile(int row) const
{
    return SongFile(*qryPlayListSongs, row);
}

void TfrmMain::QueueAfter(int row)
{
    if (Queue.State() == psIdle)
        return;
    const int count = qryPlayListSongs->Active() ? qryPlayListSongs->RecordCount() : 0;
    const int next = Queue.EntryAfter(row, count);
    if (next < 0)
        return;
    MediaPlayer1->ReplayGain = PlaybackOptions.ReplayGain;
    MediaPlayer1->Queue(EntryFile(next), next);
}

void TfrmMain::SetPlaybackOptions(const TPlaybackOptions &options)
{
    PlaybackOptions = options;
    Queue.SetLoop(options.LoopPlaylist);
}

void TfrmMain::CheckStoredDuration(qint64 lengthMs)
{
    if (!PlaybackOptions.AutoUpdateDurations)
        return;
    const qint64 seconds = lengthMs / 1000;
    if (!qryPlayListSongs->Active() || qryPlayListSongs->IsEmpty())
        return;
    if (!qryPlayListSongs->IsNull(QStringLiteral("Duration")) &&
        qryPlayListSongs->AsInteger(QStringLiteral("Duration")) == seconds)
        return;
    const qint64 songId = qryPlayListSongs->AsInteger(QStringLiteral("Song_ID"));
    tblSongs->UpdateValue(songId, QStringLiteral("Duration"), seconds);
    qryAvailableSongs->RefreshRowValues(QStringLiteral("Row_ID"), songId,
                                        {{QStringLiteral("Duration"), seconds}});
}
