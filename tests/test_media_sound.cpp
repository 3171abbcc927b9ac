#include "platform/AudioOutput.h"
#include "platform/MediaPlayer.h"
#include "tests/support/SilentMp3.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace
{

// Plays through the real sound output (a PulseAudio null sink under CTest).
TEST(RealSoundOutput, PlaysToTheEndAndNotifiesOnce)
{
    if (!TSinkOutput::DeviceAvailable())
        GTEST_SKIP() << "no audio output on this machine";
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("one.mp3"));
    SilentMp3Options options;
    options.Frames = 39; // about a second
    WriteSilentMp3(file, options);

    TMediaPlayer player;
    QSignalSpy notices(&player, &TMediaPlayer::Notify);
    player.FileName = file;
    player.Open();
    EXPECT_EQ(player.Length(), SilentMp3ExpectedLengthMs(options));
    QElapsedTimer clock;
    clock.start();
    player.Play();
    EXPECT_TRUE(player.Audible());
    QTest::qWait(400);
    const qint64 position = player.Position();
    EXPECT_GT(position, 0);
    EXPECT_LT(position, player.Length());
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.count() > 0; }, 10000));
    // The notice comes when the output has played the song, not when decoding ended.
    EXPECT_GE(clock.elapsed(), player.Length() - 100);
    EXPECT_LT(clock.elapsed(), player.Length() + 2000);
    QTest::qWait(200);
    EXPECT_EQ(notices.count(), 1);
    EXPECT_EQ(player.Position(), player.Length());
}

} // namespace
