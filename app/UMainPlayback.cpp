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
    const bool hasEntry = qryPlayListSongs->Active() && !qryPlayListSongs->IsEmpty();
    if (!hasEntry)
        return;
    PlayState = psPlaying;
    PlayingSequence = hasEntry ? int(qryPlayListSongs->AsInteger(QStringLiteral("Sequence"))) : 0;
    MediaPlayer1->FileName = SongFile(*qryPlayListSongs);
    MediaPlayer1->ReplayGain = PlaybackOptions.ReplayGain;
    MediaPlayer1->Open();
    SongTimer->start();
    pbSongProgress->setMaximum(int(qMin<qint64>(MediaPlayer1->Length(), INT_MAX)));
    CheckStoredDuration(MediaPlayer1->Length());
    MediaPlayer1->Play();
    AwaitedPlay = MediaPlayer1->PlayNumber();
    if (hasEntry)
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
    PlayingSequence = -1;
    PlayState = psIdle;
    AwaitedPlay = 0;
    grdPlayList->viewport()->update();
}

void TfrmMain::btnPauseClick()
{
    if (PlayingSequence >= 0) {
        MediaPlayer1->Pause();
        if (PlayState != psPaused) {
            PlayState = psPaused;
            return;
        }
        // A resume is a play of its own; the paused play's notice is ignored.
        AwaitedPlay = MediaPlayer1->PlayNumber();
    }
    PlayState = psPlaying;
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
    if (play != AwaitedPlay || PlayState != psPlaying)
        return;
    AwaitedPlay = 0;
    // The player went straight on into the entry queued after this one: follow it there, as
    // Next would, without stopping the device.
    const int next = failure.isEmpty() && qryPlayListSongs->Active()
                         ? EntryAfter(qryPlayListSongs->RecNo())
                         : -1;
    if (next >= 0 && MediaPlayer1->Joined(play) && MediaPlayer1->Tag() == next &&
        MediaPlayer1->FileName == EntryFile(next)) {
        qryPlayListSongs->SetRecNo(next);
        PlayingSequence = int(qryPlayListSongs->AsInteger(QStringLiteral("Sequence")));
        pbSongProgress->setMaximum(int(qMin<qint64>(MediaPlayer1->Length(), INT_MAX)));
        CheckStoredDuration(MediaPlayer1->Length());
        AwaitedPlay = MediaPlayer1->PlayNumber();
        grdPlayList->viewport()->update();
        return;
    }
    SongTimer->stop();
    PlayState = psIdle;
    const bool atLast = !qryPlayListSongs->Active() ||
                        qryPlayListSongs->RecNo() >= qryPlayListSongs->RecordCount() - 1;
    if (failure.isEmpty() && !atLast) {
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
    if (PlaybackOptions.LoopPlaylist && qryPlayListSongs->Active()) {
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

int TfrmMain::EntryAfter(int row) const
{
    const int count = qryPlayListSongs->Active() ? qryPlayListSongs->RecordCount() : 0;
    if (row < 0 || row >= count)
        return -1;
    if (row + 1 < count)
        return row + 1;
    return PlaybackOptions.LoopPlaylist ? 0 : -1;
}

QString TfrmMain::EntryFile(int row) const
{
    return SongFile(*qryPlayListSongs, row);
}

void TfrmMain::QueueAfter(int row)
{
    if (PlayState == psIdle)
        return;
    const int next = EntryAfter(row);
    if (next < 0)
        return;
    MediaPlayer1->ReplayGain = PlaybackOptions.ReplayGain;
    MediaPlayer1->Queue(EntryFile(next), next);
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
