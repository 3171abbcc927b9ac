#include "base/Errors.h"
#include "platform/AudioOutput.h"
#include "platform/MediaPlayer.h"
#include "platform/Mp3Decoder.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/TestFiles.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

namespace
{

using Opt = SilentMp3Options;

// Reads an open decoder to its end; the bytes it gave.
qint64 DecodeAll(TMp3Decoder &decoder)
{
    std::vector<char> buffer(65536);
    qint64 bytes = 0, n = 0;
    while ((n = decoder.Read(buffer.data(), qint64(buffer.size()))) > 0)
        bytes += n;
    return bytes;
}

qint64 FullDecodeSamples(const QString &path)
{
    TMp3Decoder decoder;
    decoder.Open(path);
    return DecodeAll(decoder) / 4;
}

QString OpenError(const QString &path)
{
    try {
        MeasureLengthMs(path);
    } catch (const EMCIDeviceError &e) {
        return e.Message();
    }
    return QString();
}

// Plays another song to its end on a player of its own: time passes on the silent clock while
// the player under test should stand still.
void PlayAnotherSongToItsEnd(const QString &path)
{
    TMediaPlayer other;
    QSignalSpy ended(&other, &TMediaPlayer::Notify);
    other.FileName = path;
    other.Open();
    other.Play();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended.count() == 1; }, 5000));
}

class MediaTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        TMediaPlayer::SetSilentOnly(true);
    }
    void TearDown() override
    {
        TSilentOutput::SetSpeed(1.0);
        TMediaPlayer::SetSilentOnly(false);
    }

    QString Write(const QString &name, const Opt &options)
    {
        const QString path = m_dir.filePath(name);
        WriteSilentMp3(path, options);
        return path;
    }

    QTemporaryDir m_dir;
};

struct TLengthCase {
    const char *Name;
    Opt Options;
    qint64 Samples; // worked out by hand from the frame layout
};

Opt Make(int rate, int bitrate, int frames, Opt::THeader header = Opt::NoHeader)
{
    Opt o;
    o.SampleRate = rate;
    o.Bitrate = bitrate;
    o.Frames = frames;
    o.Header = header;
    return o;
}

std::vector<TLengthCase> LengthCases()
{
    std::vector<TLengthCase> cases;
    cases.push_back({"cbr_no_header", Make(44100, 128, 10), 11520});
    cases.push_back({"cbr_info", Make(44100, 128, 10, Opt::XingHeader), 11520 - 529});
    Opt gapless = Make(44100, 128, 10, Opt::XingHeader);
    gapless.EncoderDelay = 576;
    gapless.EncoderPadding = 1000;
    cases.push_back({"gapless", gapless, 11520 - 576 - 1000});
    Opt vbr = Make(48000, 128, 13, Opt::XingHeader);
    vbr.VbrBitrates = {32, 128, 320, 64};
    vbr.EncoderDelay = 576;
    vbr.EncoderPadding = 700;
    cases.push_back({"vbr_xing", vbr, 13 * 1152 - 576 - 700});
    cases.push_back({"vbri", Make(44100, 128, 12, Opt::VbriHeader), 13 * 1152});
    cases.push_back({"mpeg1_32k", Make(32000, 32, 9), 9 * 1152});
    cases.push_back({"mpeg2_22k", Make(22050, 64, 20), 20 * 576});
    cases.push_back({"mpeg2_24k_info", Make(24000, 8, 20, Opt::XingHeader), 20 * 576 - 529});
    cases.push_back({"mpeg2_16k", Make(16000, 160, 7), 7 * 576});
    cases.push_back({"mpeg25_11k", Make(11025, 32, 15), 15 * 576});
    cases.push_back({"mpeg25_12k", Make(12000, 16, 15), 15 * 576});
    Opt mono = Make(8000, 8, 20, Opt::XingHeader);
    mono.Mono = true;
    mono.EncoderDelay = 576;
    mono.EncoderPadding = 600;
    cases.push_back({"mpeg25_8k_mono_gapless", mono, 20 * 576 - 576 - 600});
    Opt tags = Make(44100, 128, 10);
    tags.Id3v2Padding = 2000;
    tags.Id3v1 = true;
    cases.push_back({"tags", tags, 11520});
    // 40 frames cut after 5000 bytes: the header frame (417) and 10 frames (417 each) remain;
    // the header claims half an hour.
    Opt lying = Make(44100, 128, 40, Opt::XingHeader);
    lying.ClaimedFrames = 72000;
    lying.EncoderDelay = 576;
    lying.EncoderPadding = 1200;
    lying.TruncateStreamTo = 5000;
    cases.push_back({"truncated_lying_header", lying, 10 * 1152 - 576 - 529});
    Opt bytes = Make(44100, 128, 10, Opt::XingHeader);
    bytes.ClaimedBytes = 1000000;
    cases.push_back({"header_bytes_too_large", bytes, 11520 - 529});
    return cases;
}

} // namespace

TEST_F(MediaTest, ExactLengthsOfGeneratedFiles)
{
    for (const TLengthCase &c : LengthCases()) {
        SCOPED_TRACE(c.Name);
        const QString path = Write(QString::fromLatin1(c.Name) + ".mp3", c.Options);
        EXPECT_EQ(SilentMp3ExpectedSamples(c.Options), c.Samples);
        EXPECT_EQ(FullDecodeSamples(path), c.Samples);
        EXPECT_EQ(MeasureLengthMs(path), c.Samples * 1000 / c.Options.SampleRate);

        TMediaPlayer player;
        player.FileName = path;
        player.Open();
        EXPECT_EQ(player.Length(), c.Samples * 1000 / c.Options.SampleRate);
        EXPECT_EQ(player.StepSize(), player.Length() / 10);
    }
}

TEST_F(MediaTest, HeaderBelievability)
{
    auto layoutOf = [](const Opt &o) {
        const QByteArray data = SilentMp3(o);
        return ParseMp3Layout(reinterpret_cast<const uchar *>(data.constData()), data.size());
    };
    Opt honest = Make(44100, 128, 10, Opt::XingHeader);
    honest.Id3v2Padding = 100;
    honest.Id3v1 = true;
    const TMp3Layout good = layoutOf(honest);
    EXPECT_EQ(good.AudioStart, 110);
    EXPECT_EQ(good.AudioBytes(), 11 * 417);
    EXPECT_EQ(good.HeaderKind, 'X');
    EXPECT_EQ(good.HeaderFrames, 10);
    EXPECT_TRUE(good.HeaderBelievable());

    Opt manyFrames = honest;
    manyFrames.ClaimedFrames = 1000; // 1000 frames of at least 104 bytes cannot fit
    EXPECT_FALSE(layoutOf(manyFrames).HeaderBelievable());
    Opt manyBytes = honest;
    manyBytes.ClaimedBytes = 11 * 417 + 1;
    EXPECT_FALSE(layoutOf(manyBytes).HeaderBelievable());
    EXPECT_EQ(layoutOf(Make(44100, 128, 3)).HeaderKind, 0);
}

TEST_F(MediaTest, AHeaderCountThatDisagreesWithTheSizeIsMeasuredByTheFrames)
{
    // 1000 frames at 44.1 kHz: 26.12 s, whatever the header claims below the upper bound.
    const qint64 realMs = 1000 * 1152 * 1000 / 44100;
    Opt cbr = Make(44100, 128, 1000, Opt::XingHeader);
    Opt vbr = cbr;
    vbr.VbrBitrates = {96, 128, 160};
    for (const Opt &base : {cbr, vbr}) {
        QList<qint64> claims = {0, 1, 10, 400, 2200};
        if (base.VbrBitrates.isEmpty())
            claims << 900 << 1100; // a constant bit rate allows little more than rounding
        for (const qint64 claimed : std::as_const(claims)) {
            SCOPED_TRACE(QStringLiteral("%1 frames claimed, vbr %2")
                             .arg(claimed)
                             .arg(!base.VbrBitrates.isEmpty())
                             .toStdString());
            Opt lying = base;
            lying.ClaimedFrames = claimed;
            const QByteArray data = SilentMp3(lying);
            EXPECT_FALSE(
                ParseMp3Layout(reinterpret_cast<const uchar *>(data.constData()), data.size())
                    .HeaderBelievable());
            const QString path = Write(QStringLiteral("lying.mp3"), lying);
            EXPECT_NEAR(MeasureLengthMs(path), realMs, 30);
        }
        // An honest count is still taken as it stands.
        const QByteArray honest = SilentMp3(base);
        EXPECT_TRUE(
            ParseMp3Layout(reinterpret_cast<const uchar *>(honest.constData()), honest.size())
                .HeaderBelievable());
    }
}

TEST_F(MediaTest, AFileCutShortWhileItIsReadEndsTheReadingNotTheProgram)
{
    // No header: measuring walks every frame, so the cut is met halfway.
    const QString path = Write(QStringLiteral("shrinks.mp3"), Make(44100, 128, 2000));
    TMp3Decoder decoder;
    decoder.Open(path);
    ASSERT_EQ(truncate(QFile::encodeName(path).constData(), 20000), 0);
    try {
        decoder.Length();
        ADD_FAILURE() << "no error";
    } catch (const EMCIDeviceError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("changed while it was read")))
            << e.Message().toStdString();
    }
    EXPECT_TRUE(decoder.Changed());

    // Playing: the song ends where the file now ends.
    WriteSilentMp3(path, Make(44100, 128, 2000));
    decoder.Open(path);
    std::vector<char> buffer(16384);
    ASSERT_GT(decoder.Read(buffer.data(), qint64(buffer.size())), 0);
    ASSERT_EQ(truncate(QFile::encodeName(path).constData(), 0), 0);
    qint64 n = 0;
    for (int reads = 0; reads < 10000 && (n = decoder.Read(buffer.data(), 16384)) > 0; ++reads) {
    }
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(decoder.AtEnd());
    EXPECT_TRUE(decoder.Changed());
    decoder.Close();
    EXPECT_FALSE(OpenError(path).isEmpty()); // now empty: an error, not a crash
}

TEST_F(MediaTest, BadFilesFailWithText)
{
    const QString missing = m_dir.filePath("missing.mp3");
    const QString empty = m_dir.filePath("empty.mp3");
    const QString text = m_dir.filePath("text.mp3");
    const QString onlyTags = m_dir.filePath("tags.mp3");
    {
        QFile f(empty);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QFile t(text);
        ASSERT_TRUE(t.open(QIODevice::WriteOnly));
        t.write(QByteArray("This is a playlist, not a song.\r\n").repeated(200));
    }
    Opt tagsOnly = Make(44100, 128, 0);
    tagsOnly.Id3v2Padding = 500;
    tagsOnly.Id3v1 = true;
    WriteSilentMp3(onlyTags, tagsOnly);

    EXPECT_TRUE(OpenError(missing).contains("missing.mp3"));
    EXPECT_TRUE(OpenError(missing).contains("not found"));
    EXPECT_TRUE(OpenError(empty).contains("empty"));
    EXPECT_TRUE(OpenError(text).contains("not an MP3"));
    EXPECT_FALSE(OpenError(onlyTags).isEmpty());
    EXPECT_FALSE(OpenError(m_dir.path()).isEmpty());
    EXPECT_FALSE(OpenError(QString()).isEmpty());

    // Random junk after a valid first frame: opens or fails, but never hangs or crashes.
    QByteArray junk = SilentMp3(Make(44100, 128, 2));
    quint32 seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245 + 12345;
        junk += char(seed >> 16);
    }
    const QString corrupt = m_dir.filePath("corrupt.mp3");
    QFile f(corrupt);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(junk);
    f.close();
    try {
        EXPECT_GE(MeasureLengthMs(corrupt), 0);
        FullDecodeSamples(corrupt);
    } catch (const EMCIDeviceError &e) {
        EXPECT_FALSE(e.Message().isEmpty());
    }
}

TEST_F(MediaTest, CorpusOpensOrFailsCleanly)
{
    const QString corpus = qEnvironmentVariable("QUILLMERE_CORPUS");
    if (corpus.isEmpty() || !QFileInfo::exists(corpus))
        GTEST_SKIP() << "no corpus";
    int opened = 0, failed = 0;
    QDirIterator it(corpus, {"*.mp3"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        SCOPED_TRACE(path.toStdString());
        TMediaPlayer player;
        player.FileName = path;
        try {
            player.Open();
        } catch (const EMCIDeviceError &e) {
            EXPECT_TRUE(e.Message().contains(QFileInfo(path).fileName()));
            EXPECT_FALSE(player.Opened());
            ++failed;
            continue;
        }
        ++opened;
        const qint64 samples = FullDecodeSamples(path);
        TMp3Decoder decoder;
        decoder.Open(path);
        EXPECT_EQ(player.Length(), samples * 1000 / decoder.SampleRate());
    }
    EXPECT_GT(opened, 100);
    EXPECT_GT(failed, 0);

    // The cut file whose Info header claims 31 minutes.
    const QString cut = corpus + "/peers/taglib/lame_cbr.mp3";
    if (QFileInfo::exists(cut)) {
        EXPECT_EQ(MeasureLengthMs(cut), 18479 * 1000 / 44100);
    }
}

TEST_F(MediaTest, OperationsNeedAnOpenDevice)
{
    TMediaPlayer player;
    EXPECT_FALSE(player.Opened());
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpNotReady);
    EXPECT_EQ(player.Position(), 0);
    auto expectNotOpen = [](auto operation) {
        try {
            operation();
            ADD_FAILURE() << "no error";
        } catch (const EMCIDeviceError &e) {
            EXPECT_EQ(e.Message(), "No MCI device open");
        }
    };
    expectNotOpen([&] { player.Length(); });
    expectNotOpen([&] { player.Play(); });
    expectNotOpen([&] { player.Stop(); });
    expectNotOpen([&] { player.Pause(); });
    expectNotOpen([&] { player.Step(); });
    EXPECT_EQ(TMediaPlayer::ErrorText(4711), "Unknown error code");
    EXPECT_NE(TMediaPlayer::ErrorText(TMediaPlayer::ErrFileNotFound), "Unknown error code");
    EXPECT_FALSE(player.HasVideo());
}

TEST_F(MediaTest, FailedOpenLeavesDeviceClosed)
{
    TMediaPlayer player;
    player.FileName = Write("good.mp3", Make(44100, 128, 5));
    player.Open();
    EXPECT_TRUE(player.Opened());
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpStopped);
    player.FileName = m_dir.filePath("gone.mp3");
    try {
        player.Open();
        ADD_FAILURE() << "opened a missing file";
    } catch (const EMCIDeviceError &e) {
        EXPECT_TRUE(e.Message().contains("gone.mp3"));
    }
    EXPECT_FALSE(player.Opened());
    EXPECT_EQ(player.Error(), TMediaPlayer::ErrFileNotFound);
    EXPECT_NE(player.ErrorMessage(), "Unknown error code");
    EXPECT_THROW(player.Pause(), EMCIDeviceError);
}

TEST_F(MediaTest, PlayToTheEndNotifiesOnce)
{
    TMediaPlayer player;
    QSignalSpy notices(&player, &TMediaPlayer::Notify);
    player.FileName = Write("short.mp3", Make(44100, 128, 40)); // 1045 ms
    player.Open();
    player.Play();
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpPlaying);
    EXPECT_GE(player.FirstBufferLatencyUs(), 0); // the silent output takes data at once

    // The position only grows, and stays within the song. The pace of the silent clock is
    // measured in bench_media.
    qint64 last = 0;
    int positions = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const qint64 position = player.Position();
            EXPECT_GE(position, last);
            EXPECT_LE(position, player.Length());
            positions += position > last && position < player.Length() ? 1 : 0;
            last = position;
            return !notices.isEmpty();
        },
        5000));
    EXPECT_GT(positions, 0) << "no position between the start and the end was seen";
    EXPECT_EQ(notices.at(0).at(0).toInt(), player.PlayNumber());
    EXPECT_EQ(notices.at(0).at(1).toString(), QString()); // no failure
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpStopped);
    EXPECT_EQ(player.Position(), player.Length());
    const int firstPlay = player.PlayNumber();

    // At the end, Play starts over from the beginning.
    player.Play();
    EXPECT_LT(player.Position(), player.Length() / 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.count() >= 2; }, 5000));
    QCoreApplication::processEvents();
    // A second notice of the first play would have come before the second play's.
    ASSERT_EQ(notices.count(), 2);
    EXPECT_EQ(notices.at(0).at(0).toInt(), firstPlay);
    EXPECT_EQ(notices.at(1).at(0).toInt(), player.PlayNumber());
    EXPECT_NE(firstPlay, player.PlayNumber());
}

// Damage that libmpg123 cannot get past ends the song there, and the end says why.
TEST_F(MediaTest, DamageMidSongEndsThePlayWithItsReason)
{
    Opt broken = Make(44100, 128, 40, Opt::XingHeader); // 1045 ms
    broken.ZeroedBytes = 2000;
    const QString path = Write("broken.mp3", broken);

    TMp3Decoder decoder;
    decoder.Open(path);
    const qint64 bytes = DecodeAll(decoder);
    EXPECT_TRUE(decoder.AtEnd());
    EXPECT_GT(bytes, 0);
    EXPECT_LT(bytes / 4, SilentMp3ExpectedSamples(broken) * 3 / 4);
    const QString failure = decoder.Failure();
    EXPECT_TRUE(failure.startsWith(QStringLiteral("Cannot play \"%1\": ").arg(path)))
        << failure.toStdString();
    decoder.SeekToSample(0); // decoding again from the start has not failed yet
    EXPECT_EQ(decoder.Failure(), QString());

    TSilentOutput::SetSpeed(4.0);
    TMediaPlayer player;
    QSignalSpy notices(&player, &TMediaPlayer::Notify);
    player.FileName = path;
    player.Open();
    EXPECT_EQ(player.Length(), SilentMp3ExpectedLengthMs(broken));
    player.Play();
    ASSERT_TRUE(notices.wait(3000));
    EXPECT_EQ(notices.at(0).at(0).toInt(), player.PlayNumber());
    EXPECT_EQ(notices.at(0).at(1).toString(), failure);
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpStopped);
    // It stopped where the damage lies.
    EXPECT_GT(player.Position(), 0);
    EXPECT_LT(player.Position(), player.Length() * 3 / 4);
}

TEST_F(MediaTest, StopLeavesANoticeForTheEventLoop)
{
    TMediaPlayer player;
    QSignalSpy notices(&player, &TMediaPlayer::Notify);
    player.FileName = Write("stop.mp3", Make(44100, 128, 80));
    player.Open();
    player.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() > 0; }, 5000));
    player.Stop();
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpStopped);
    const qint64 stoppedAt = player.Position();
    EXPECT_GT(stoppedAt, 0);
    EXPECT_EQ(notices.count(), 0); // not before pending events are processed
    QCoreApplication::processEvents();
    EXPECT_EQ(notices.count(), 1);
    // Meanwhile another song plays to its end: the stopped play neither moves on nor ends.
    PlayAnotherSongToItsEnd(Write("meanwhile.mp3", Make(44100, 128, 30)));
    EXPECT_EQ(notices.count(), 1);
    EXPECT_EQ(player.Position(), stoppedAt);

    // Play again supersedes nothing; Close aborts it with a notice.
    player.Play();
    EXPECT_EQ(notices.count(), 1);
    player.Play();
    QCoreApplication::processEvents();
    EXPECT_EQ(notices.count(), 2);
    player.Close();
    QCoreApplication::processEvents();
    EXPECT_EQ(notices.count(), 3);
    EXPECT_FALSE(player.Opened());
}

TEST_F(MediaTest, PauseAndResume)
{
    TMediaPlayer player;
    QSignalSpy notices(&player, &TMediaPlayer::Notify);
    player.FileName = Write("pause.mp3", Make(44100, 128, 40)); // 1045 ms
    player.Open();
    player.Stop(); // a stopped device ignores Pause
    player.Pause();
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpStopped);

    player.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() > 0; }, 5000));
    player.Pause();
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpPaused);
    const qint64 pausedAt = player.Position();
    EXPECT_LT(pausedAt, player.Length());
    // Meanwhile another song plays to its end: a paused play stands still and ends nothing.
    PlayAnotherSongToItsEnd(Write("meanwhile.mp3", Make(44100, 128, 20)));
    EXPECT_EQ(player.Position(), pausedAt);
    EXPECT_EQ(notices.count(), 0);

    EXPECT_EQ(player.PlayNumber(), 1);
    player.Pause(); // resume: a play of its own, from where it paused
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpPlaying);
    EXPECT_EQ(player.PlayNumber(), 2);
    EXPECT_GE(player.Position(), pausedAt);
    EXPECT_LT(player.Position(), player.Length());
    QCoreApplication::processEvents();
    EXPECT_EQ(notices.count(), 1); // the superseded play
    EXPECT_EQ(notices.at(0).at(0).toInt(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.count() >= 2; }, 5000));
    QCoreApplication::processEvents();
    ASSERT_EQ(notices.count(), 2);
    EXPECT_EQ(notices.at(1).at(0).toInt(), 2);
    EXPECT_EQ(player.Position(), player.Length());
}

TEST_F(MediaTest, StepAndSilentClockSpeed)
{
    TMediaPlayer player;
    player.FileName = Write("step.mp3", Make(44100, 128, 38)); // 992 ms
    player.Open();
    EXPECT_EQ(player.StepSize(), 99);
    player.Step(); // no video: nothing moves
    EXPECT_EQ(player.Position(), 0);

    // A faster clock hands on every sample of the song, once and in order; its pace is
    // measured in bench_media.
    const QString capture = m_dir.filePath(QStringLiteral("capture.raw"));
    qputenv("QUILLMERE_AUDIO_CAPTURE", QFile::encodeName(capture));
    TSilentOutput::SetSpeed(10.0);
    QSignalSpy notices(&player, &TMediaPlayer::Notify);
    player.Play();
    const bool ended = QTest::qWaitFor([&] { return notices.count() == 1; }, 5000);
    qunsetenv("QUILLMERE_AUDIO_CAPTURE");
    ASSERT_TRUE(ended);
    EXPECT_EQ(notices.at(0).at(1).toString(), QString());
    EXPECT_EQ(player.Position(), player.Length());
    TMp3Decoder decoder;
    decoder.Open(player.FileName);
    std::vector<char> buffer(65536);
    QByteArray decoded;
    for (qint64 n = 0; (n = decoder.Read(buffer.data(), qint64(buffer.size()))) > 0;)
        decoded.append(buffer.data(), int(n));
    const QByteArray played = ReadAll(capture);
    EXPECT_EQ(played.size(), decoded.size());
    EXPECT_TRUE(played == decoded);
}

TEST_F(MediaTest, ManyPlayersAndSongs)
{
    const QString path = Write("many.mp3", Make(44100, 128, 4));
    TSilentOutput::SetSpeed(20.0);
    for (int i = 0; i < 30; ++i) {
        TMediaPlayer temp;
        temp.FileName = path;
        temp.Open();
        EXPECT_EQ(temp.Length(), 4 * 1152 * 1000 / 44100);
        if (i % 3 == 0)
            temp.Play();
    }
    TMediaPlayer player;
    QSignalSpy notices(&player, &TMediaPlayer::Notify);
    for (int i = 0; i < 20; ++i) {
        player.FileName = path;
        player.Open();
        player.Play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return notices.count() == i + 1; }, 2000));
    }
    TSilentOutput::SetSpeed(1.0);
}
