#include "platform/AudioOutput.h"
#include "platform/MediaPlayer.h"
#include "platform/Mp3Decoder.h"
#include "tests/support/EncodedTone.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/TestFiles.h"

#include <QCoreApplication>
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
    player.Play();
    EXPECT_TRUE(player.Audible());
    // The notice comes when the output has played the song, not when decoding ended (which
    // takes a few milliseconds): positions inside the song are seen before it. How long the
    // device takes is measured in bench_media.
    int inside = 0;
    qint64 last = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (!notices.isEmpty())
                return true;
            const qint64 position = player.Position();
            EXPECT_GE(position, last);
            inside += position > 0 && position < player.Length() ? 1 : 0;
            last = position;
            return false;
        },
        10000));
    EXPECT_GT(inside, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(notices.count(), 1);
    EXPECT_EQ(player.Position(), player.Length());
}

// Three parts of a tone through the sound device: the second and third are queued while the one
// before plays and follow it on the same device; the capture holds every frame once.
TEST(RealSoundOutput, QueuedSongsJoinOnTheSameDevice)
{
    if (!TSinkOutput::DeviceAvailable())
        GTEST_SKIP() << "no audio output on this machine";
    if (!LameAvailable())
        GTEST_SKIP() << LameMissing();
    QTemporaryDir dir;
    const QString capture = dir.filePath(QStringLiteral("capture.raw"));
    qputenv("QUILLMERE_AUDIO_CAPTURE", capture.toLocal8Bit());
    QStringList files;
    QByteArray expected;
    qint64 first = 0;
    for (qint64 frames : {30011, 26459, 33333}) {
        files << dir.filePath(QStringLiteral("part%1.mp3").arg(files.size() + 1));
        const QString error = EncodeWithLame(TonePcm(first, frames), files.last(), {"-V", "2"});
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        first += frames;
        TMp3Decoder decoder;
        decoder.Open(files.last());
        char buffer[16384];
        qint64 n = 0;
        while ((n = decoder.Read(buffer, sizeof buffer)) > 0)
            expected.append(buffer, qsizetype(n));
    }
    EXPECT_EQ(expected.size() / 4, first);

    TMediaPlayer player;
    QSignalSpy notices(&player, &TMediaPlayer::Notify);
    QSignalSpy wanted(&player, &TMediaPlayer::NextWanted);
    player.FileName = files[0];
    player.Open();
    player.Play();
    ASSERT_TRUE(player.Audible());
    EXPECT_TRUE(player.Queue(files[1], 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return wanted.count() > 0; }, 5000));
    EXPECT_EQ(wanted.at(0).at(0).toInt(), 1);
    EXPECT_TRUE(player.Queue(files[2], 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.count() >= 3; }, 10000));
    qunsetenv("QUILLMERE_AUDIO_CAPTURE");
    // The first two plays ended at joins, the third at the end of the stream.
    EXPECT_EQ(player.PlayNumber(), 3);
    EXPECT_EQ(player.OutputsStarted(), 1);
    EXPECT_EQ(player.FileName, files[2]);
    EXPECT_EQ(player.Length(), 33333 * 1000 / 44100);
    EXPECT_EQ(player.Position(), player.Length());
    EXPECT_TRUE(ReadAll(capture) == expected);
}

} // namespace
