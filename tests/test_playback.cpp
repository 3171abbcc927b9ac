#include "app/UMain.h"
#include "base/Errors.h"
#include "controls/DBGrid.h"
#include "data/Durations.h"
#include "dialogs/MessageService.h"
#include "dialogs/UOptions.h"
#include "platform/AudioOutput.h"
#include "platform/MediaPlayer.h"
#include "tests/support/Children.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/TestLibrary.h"

#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace
{

// A playlist of three short silent songs, played through the silent output at four times speed.
// No Options dialog exists: the window's options value alone drives playback.
class PlaybackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TMediaPlayer::SetSilentOnly(true);
        TSilentOutput::SetSpeed(4.0);
        list = library.AddPlaylist(QStringLiteral("L"));
        SilentMp3Options options;
        options.Frames = 40; // about a second, a quarter of that at four times speed
        for (int i = 1; i <= 3; ++i) {
            const QString name = QStringLiteral("s%1.mp3").arg(i);
            WriteSilentMp3(library.Directory() + name, options);
            songs << library.AddSong(QStringLiteral("S%1").arg(i), library.Directory(), name);
            library.AddEntry(list, songs.last(), i);
        }
        lengthMs = SilentMp3ExpectedLengthMs(options);
        window = StartMainWindow();
    }
    void TearDown() override
    {
        window.reset();
        frmMain = nullptr;
        TSilentOutput::SetSpeed(1.0);
        TMediaPlayer::SetSilentOnly(false);
    }
    QString Current() { return window->playlistSongs()->AsString(QStringLiteral("ID3_Title")); }
    // Waits until the given entry is current and playing, or the playback has stopped.
    bool WaitForSong(const QString &title)
    {
        return QTest::qWaitFor(
            [&] { return Current() == title && window->playState() == psPlaying; }, 5000);
    }
    bool WaitForStop()
    {
        return QTest::qWaitFor([&] { return window->playState() == psIdle; }, 5000);
    }
    bool AnyTransportPressed()
    {
        for (const char *name : {"btnPrevious", "btnPlay", "btnNext", "btnPause", "btnStop"})
            if (Child<QToolButton>(window, name)->isChecked())
                return true;
        return false;
    }

    TestLibrary library;
    ScriptedMessages messages;
    qint64 list = 0;
    QList<qint64> songs;
    qint64 lengthMs = 0;
    TMainWindowPtr window;
};

TEST_F(PlaybackTest, TheEndOfASongStartsTheNextAndTheLastOneStops)
{
    window->btnPlayClick();
    EXPECT_EQ(window->playState(), psPlaying);
    EXPECT_EQ(window->playingSequence(), 1);
    EXPECT_TRUE(Child<QTimer>(window, "SongTimer")->isActive());
    EXPECT_EQ(Child<QProgressBar>(window, "pbSongProgress")->maximum(), lengthMs);
    ASSERT_TRUE(WaitForSong(QStringLiteral("S2")));
    EXPECT_EQ(window->playingSequence(), 2);
    EXPECT_FALSE(AnyTransportPressed());
    ASSERT_TRUE(WaitForSong(QStringLiteral("S3")));
    // The songs followed each other on one output.
    EXPECT_EQ(window->mediaPlayer()->OutputsStarted(), 1);
    // Without "Loop Playlist" the last song ends the playback.
    ASSERT_TRUE(WaitForStop());
    EXPECT_EQ(Current(), QStringLiteral("S3"));
    EXPECT_EQ(window->playState(), psIdle);
    EXPECT_EQ(window->playingSequence(), -1);
    EXPECT_FALSE(Child<QTimer>(window, "SongTimer")->isActive());
    EXPECT_EQ(Child<QLabel>(window, "lblDuration")->text(), QStringLiteral("00:00"));
}

TEST_F(PlaybackTest, TheBarComesBackWhenTheLastSongEnds)
{
    TSilentOutput::SetSpeed(1.0); // a second of song: the timer moves the bar meanwhile
    int highest = 0;
    QObject::connect(Child<QProgressBar>(window, "pbSongProgress"), &QProgressBar::valueChanged,
                     [&highest](int value) { highest = qMax(highest, value); });
    window->playlistSongs()->Last();
    QTest::mouseClick(Child<QToolButton>(window, "btnPlay"), Qt::LeftButton);
    ASSERT_TRUE(WaitForStop());
    EXPECT_GT(highest, 0);
    EXPECT_EQ(Child<QProgressBar>(window, "pbSongProgress")->value(), 0);
    EXPECT_EQ(Child<QLabel>(window, "lblDuration")->text(), QStringLiteral("00:00"));
}

TEST_F(PlaybackTest, LoopPlaylistWrapsToTheFirstEntry)
{
    ASSERT_EQ(frmOptions, nullptr);
    {
        TPlaybackOptions options = window->playbackOptions();
        options.LoopPlaylist = true;
        window->SetPlaybackOptions(options);
    }
    window->playlistSongs()->Last();
    window->btnPlayClick();
    ASSERT_TRUE(WaitForSong(QStringLiteral("S1")));
    EXPECT_EQ(window->playingSequence(), 1);
}

// The player has already gone on into the entry after the playing one; the window follows it
// only when that is still what Next would play.
TEST_F(PlaybackTest, AJoinedSongThatNoLongerFollowsIsStopped)
{
    window->btnPlayClick();
    window->playlistSongs()->Last(); // the user picks the last row while the first song plays
    ASSERT_TRUE(WaitForStop());
    EXPECT_EQ(Current(), QStringLiteral("S3"));
    EXPECT_EQ(window->mediaPlayer()->Mode(), TMediaPlayer::mpStopped);
    EXPECT_EQ(window->playingSequence(), -1);
}

// Songs of another sample rate cannot share the output: it is opened anew for each of them.
TEST_F(PlaybackTest, ASongOfAnotherRateReopensTheOutput)
{
    SilentMp3Options other;
    other.Frames = 40;
    other.SampleRate = 48000;
    WriteSilentMp3(library.Directory() + QStringLiteral("s2.mp3"), other);
    window->btnPlayClick();
    ASSERT_TRUE(WaitForSong(QStringLiteral("S2")));
    EXPECT_EQ(Child<QProgressBar>(window, "pbSongProgress")->maximum(),
              SilentMp3ExpectedLengthMs(other));
    ASSERT_TRUE(WaitForSong(QStringLiteral("S3")));
    ASSERT_TRUE(WaitForStop());
    EXPECT_EQ(window->mediaPlayer()->OutputsStarted(), 3);
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(PlaybackTest, NextAndPreviousRestartAtTheEnds)
{
    window->playlistSongs()->Last();
    window->btnNextClick();
    EXPECT_EQ(Current(), QStringLiteral("S3"));
    EXPECT_EQ(window->playingSequence(), 3);
    EXPECT_LT(window->mediaPlayer()->Position(), lengthMs / 2);
    window->playlistSongs()->First();
    window->btnPreviousClick();
    EXPECT_EQ(Current(), QStringLiteral("S1"));
    EXPECT_EQ(window->playState(), psPlaying);
    // After Previous the end of the song advances exactly as after Next.
    EXPECT_TRUE(WaitForSong(QStringLiteral("S2")));
}

TEST_F(PlaybackTest, PauseAndResumeAdvanceExactlyOnce)
{
    window->btnPlayClick();
    QTest::mouseClick(Child<QToolButton>(window, "btnPause"), Qt::LeftButton);
    EXPECT_EQ(window->playState(), psPaused);
    EXPECT_TRUE(Child<QToolButton>(window, "btnPause")->isChecked());
    const qint64 pausedAt = window->mediaPlayer()->Position();
    QTest::qWait(100);
    EXPECT_EQ(window->mediaPlayer()->Position(), pausedAt);
    QTest::mouseClick(Child<QToolButton>(window, "btnPause"), Qt::LeftButton);
    EXPECT_EQ(window->playState(), psPlaying);
    EXPECT_FALSE(AnyTransportPressed());
    ASSERT_TRUE(WaitForSong(QStringLiteral("S2")));
    EXPECT_EQ(window->playingSequence(), 2);
}

TEST_F(PlaybackTest, StaleNoticeAfterStopIsIgnored)
{
    window->btnPlayClick();
    window->btnStopClick();
    EXPECT_EQ(window->playingSequence(), -1);
    QTest::qWait(50); // the stopped song's notice arrives now
    EXPECT_EQ(window->playState(), psIdle);
    EXPECT_EQ(Current(), QStringLiteral("S1"));
    // Pause with no current song sends nothing and only releases the buttons.
    window->btnPauseClick();
    EXPECT_EQ(window->playState(), psPlaying);
    EXPECT_FALSE(AnyTransportPressed());
}

// The entries after a removed one are numbered one down: the playing song stays the one shown as
// playing, and once its own entry is gone no other entry is taken for it.
TEST_F(PlaybackTest, RemovingEntriesKeepsThePlayingSongShown)
{
    window->playlistSongs()->SetRecNo(1);
    window->btnPlayClick();
    window->btnPauseClick();
    ASSERT_EQ(window->playState(), psPaused);
    window->playlistSongs()->SetRecNo(0);
    QTest::keyClick(Child<TDBGrid>(window, "grdPlayList"), Qt::Key_Delete);
    ASSERT_EQ(window->playlistSongs()->RecordCount(), 2);
    EXPECT_EQ(window->playingSequence(), 1);
    ASSERT_TRUE(window->playlistSongs()->Locate(QStringLiteral("Sequence"), 1));
    EXPECT_EQ(Current(), QStringLiteral("S2"));
    QTest::keyClick(Child<TDBGrid>(window, "grdPlayList"), Qt::Key_Delete);
    ASSERT_EQ(window->playlistSongs()->RecordCount(), 1);
    EXPECT_EQ(window->playingSequence(), -1);
    EXPECT_EQ(window->playState(), psPaused);
    window->btnPauseClick();
    EXPECT_EQ(window->playState(), psPlaying);
}

// A stopped or paused play still sends its notice, after the next play began: only the
// number of the play the window waits for moves the playlist on.
TEST_F(PlaybackTest, ANoticeFromASupersededPlayIsIgnored)
{
    TSilentOutput::SetSpeed(1.0); // no song ends while the notices come
    QSignalSpy notices(window->mediaPlayer(), &TMediaPlayer::Notify);
    window->btnPlayClick();
    const int first = window->mediaPlayer()->PlayNumber();
    window->btnPauseClick();
    window->btnPauseClick(); // the resume supersedes the first play
    ASSERT_TRUE(notices.wait(2000));
    EXPECT_EQ(notices.at(0).at(0).toInt(), first);
    EXPECT_EQ(Current(), QStringLiteral("S1"));
    EXPECT_EQ(window->playingSequence(), 1);
    EXPECT_EQ(window->playState(), psPlaying);

    window->btnNextClick(); // stops the resumed play and starts the next song
    ASSERT_TRUE(notices.wait(2000));
    EXPECT_EQ(notices.at(1).at(0).toInt(), first + 1);
    EXPECT_EQ(Current(), QStringLiteral("S2"));
    EXPECT_EQ(window->playingSequence(), 2);
    EXPECT_EQ(window->playState(), psPlaying);
    emit window->mediaPlayer()->Notify(first, QString()); // however late it comes
    EXPECT_EQ(Current(), QStringLiteral("S2"));
    EXPECT_EQ(window->playState(), psPlaying);
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(PlaybackTest, DamageMidSongIsShownAndStopsThePlayback)
{
    SilentMp3Options broken;
    broken.Frames = 40;
    broken.Header = SilentMp3Options::XingHeader;
    broken.ZeroedBytes = 2000;
    const QString path = library.Directory() + QStringLiteral("s2.mp3");
    WriteSilentMp3(path, broken);
    window->playlistSongs()->First();
    window->btnPlayClick();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !messages.Texts().isEmpty(); }, 5000));
    const QStringList errors = messages.Texts(TMessageKind::Error);
    ASSERT_EQ(errors.size(), 1) << messages.Texts().join('\n').toStdString();
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Cannot play \"%1\": ").arg(path)))
        << errors[0].toStdString();
    // The first song played to its end; the damaged one stopped the playlist.
    EXPECT_EQ(Current(), QStringLiteral("S2"));
    EXPECT_EQ(window->playState(), psIdle);
    EXPECT_EQ(window->playingSequence(), -1);
    EXPECT_FALSE(Child<QTimer>(window, "SongTimer")->isActive());
    EXPECT_EQ(Child<QProgressBar>(window, "pbSongProgress")->value(), 0);
    QTest::qWait(lengthMs / 2);
    EXPECT_EQ(Current(), QStringLiteral("S2"));
    EXPECT_EQ(messages.Texts().size(), 1);
}

TEST(PlaybackOfNothing, PlayOnAnEmptyPlaylistOrWithoutOneSaysNothingAndStaysIdle)
{
    ScriptedMessages messages;
    TestLibrary library;
    for (const bool withPlaylist : {false, true}) {
        if (withPlaylist)
            library.AddPlaylist(QStringLiteral("Empty"));
        TMainWindowPtr window = StartMainWindow();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QTest::mouseClick(Child<QToolButton>(window, "btnPlay"), Qt::LeftButton);
        EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join('|').toStdString();
        EXPECT_EQ(window->playState(), psIdle);
        EXPECT_FALSE(Child<QTimer>(window, "SongTimer")->isActive());
        EXPECT_FALSE(Child<QToolButton>(window, "btnPlay")->isChecked());
        window.reset();
    }
}

TEST_F(PlaybackTest, AMissingFileShowsTheErrorAndStaysPlaying)
{
    QFile::remove(library.Directory() + QStringLiteral("s2.mp3"));
    window->playlistSongs()->SetRecNo(1);
    EXPECT_THROW(window->btnPlayClick(), EMCIDeviceError);
    EXPECT_EQ(window->playState(), psPlaying);
    EXPECT_EQ(window->playingSequence(), 2);
    EXPECT_FALSE(Child<QTimer>(window, "SongTimer")->isActive());
    EXPECT_THROW(window->btnPauseClick(), EMCIDeviceError);
}

TEST_F(PlaybackTest, APressOnTheBarBeforeAnySongNeedsADevice)
{
    try {
        window->pbSongProgressMouseDown();
        FAIL() << "no error";
    } catch (const EMCIDeviceError &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("No MCI device open"));
    }
    window->btnPlayClick();
    const qint64 before = window->mediaPlayer()->Position();
    window->pbSongProgressMouseDown(); // no video: nothing moves
    EXPECT_LE(window->mediaPlayer()->Position() - before, 100);
}

TEST_F(PlaybackTest, TheTimerShowsThePositionAsMinutesAndSeconds)
{
    window->btnPlayClick();
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return Child<QProgressBar>(window, "pbSongProgress")->value() > 0; }, 5000));
    EXPECT_LE(Child<QProgressBar>(window, "pbSongProgress")->value(),
              Child<QProgressBar>(window, "pbSongProgress")->maximum());
    EXPECT_EQ(Child<QLabel>(window, "lblDuration")->text(),
              FormatMilliseconds(Child<QProgressBar>(window, "pbSongProgress")->value()));
    EXPECT_EQ(FormatMilliseconds(3725400), QStringLiteral("62:05"));
    EXPECT_EQ(FormatMilliseconds(6000000), QStringLiteral("100:00"));
}

TEST_F(PlaybackTest, PlayStoresTheMeasuredDurationWhenAsked)
{
    window->CheckStoredDuration(215999);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT Duration FROM Playlist_DB WHERE Row_ID = 1")),
              215);
    EXPECT_EQ(window->playlistSongs()->AsInteger(QStringLiteral("Duration")), 215);
    // The available songs show it too.
    TDataSet *available = window->availableSongs();
    ASSERT_TRUE(available->Locate(QStringLiteral("Row_ID"), 1));
    EXPECT_EQ(available->AsInteger(QStringLiteral("Duration")), 215);
    // Equal values are not written again.
    library.Exec(QStringLiteral("CREATE TRIGGER no_update BEFORE UPDATE ON Playlist_DB BEGIN "
                                "SELECT RAISE(ABORT, 'written'); END"));
    EXPECT_NO_THROW(window->CheckStoredDuration(215500));
    {
        TPlaybackOptions options = window->playbackOptions();
        options.AutoUpdateDurations = false;
        window->SetPlaybackOptions(options);
    }
    EXPECT_NO_THROW(window->CheckStoredDuration(1000));
    library.Exec(QStringLiteral("DROP TRIGGER no_update"));
    {
        TPlaybackOptions options = window->playbackOptions();
        options.AutoUpdateDurations = true;
        window->SetPlaybackOptions(options);
    }
    window->btnPlayClick();
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT Duration FROM Playlist_DB WHERE Row_ID = 1")),
              lengthMs / 1000);
}

} // namespace
