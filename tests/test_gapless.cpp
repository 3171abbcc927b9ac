#include "app/UMain.h"
#include "controls/DBGrid.h"
#include "platform/AudioOutput.h"
#include "platform/MediaPlayer.h"
#include "platform/Mp3Decoder.h"
#include "tests/support/Children.h"
#include "tests/support/DecodedPcm.h"
#include "tests/support/EncodedTone.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QFile>
#include <QProgressBar>
#include <QTest>
#include <climits>
#include <gtest/gtest.h>
#include <iostream>
#include <vector>

namespace
{

// Where a part's decode begins in the capture, relative to where it should: positive when
// frames were inserted before it, negative when frames were dropped; INT_MIN when its first
// frames are not found near there.
int JoinShift(const QByteArray &capture, qint64 expectedFrame, const QByteArray &part)
{
    const qsizetype probe = qMin<qsizetype>(part.size(), 256 * 4);
    const QByteArray head = part.left(probe);
    for (int distance = 0; distance <= 8192; ++distance)
        for (int shift : {distance, -distance}) {
            const qint64 at = (expectedFrame + shift) * 4;
            if (at >= 0 && at + probe <= capture.size() &&
                std::memcmp(capture.constData() + at, head.constData(), size_t(probe)) == 0)
                return shift;
        }
    return INT_MIN;
}

// A tone cut into seven parts at odd sample counts, each encoded by lame on its own, in one
// playlist that loops; the window plays it through the silent clock at four times speed.
class GaplessTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        if (!LameAvailable())
            GTEST_SKIP() << LameMissing();
        TMediaPlayer::SetSilentOnly(true);
        TSilentOutput::SetSpeed(4.0);
        capture = library.Directory() + QStringLiteral("capture.raw");
        qputenv("QUILLMERE_AUDIO_CAPTURE", capture.toLocal8Bit());
        const QStringList options = GetParam() ? QStringList{"-V", "2"} : QStringList{"-b", "128"};
        const qint64 partFrames[] = {56701, 61233, 49999, 70001, 52123, 58883, 66667};
        const qint64 list = library.AddPlaylist(QStringLiteral("Tone"));
        qint64 first = 0;
        for (int i = 0; i < 7; ++i) {
            const QString name = QStringLiteral("part%1.mp3").arg(i + 1);
            const QString path = library.Directory() + name;
            const QString error = EncodeWithLame(TonePcm(first, partFrames[i]), path, options);
            ASSERT_TRUE(error.isEmpty()) << error.toStdString();
            first += partFrames[i];
            frames.push_back(partFrames[i]);
            decodes.push_back(DecodedPcm(path));
            library.AddEntry(list, library.AddSong(name, library.Directory(), name), i + 1);
        }
        window = StartMainWindow();
    }
    void TearDown() override
    {
        window.reset();
        frmMain = nullptr;
        qunsetenv("QUILLMERE_AUDIO_CAPTURE");
        TSilentOutput::SetSpeed(1.0);
        TMediaPlayer::SetSilentOnly(false);
    }

    TestLibrary library;
    ScriptedMessages messages;
    QString capture;
    std::vector<qint64> frames;
    std::vector<QByteArray> decodes;
    TMainWindowPtr window;
};

TEST_P(GaplessTest, PartsJoinFrameForFrameAlsoAcrossTheLoop)
{
    // The encoder's delay and padding are trimmed: each part decodes to exactly its samples.
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(decodes[i].size() / 4, frames[i]) << "part " << i + 1;

    {
        TPlaybackOptions options = window->playbackOptions();
        options.LoopPlaylist = true;
        window->SetPlaybackOptions(options);
    }
    window->btnPlayClick();
    // Every entry the window shows as playing, with the bar's range at that moment.
    QList<int> played;
    QList<int> maxima;
    QList<qint64> positions;
    const bool done = QTest::qWaitFor(
        [&] {
            if (window->playingSequence() > 0 &&
                (played.isEmpty() || played.last() != window->playingSequence())) {
                played << window->playingSequence();
                maxima << Child<QProgressBar>(window, "pbSongProgress")->maximum();
                positions << window->mediaPlayer()->Position();
            }
            return played.size() >= 10 || !messages.Texts().isEmpty();
        },
        60000);
    window->btnStopClick();
    ASSERT_TRUE(done) << played.size();
    ASSERT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join('\n').toStdString();
    EXPECT_EQ(played, QList<int>({1, 2, 3, 4, 5, 6, 7, 1, 2, 3}));
    // One output for the whole run: the device is never reopened between the parts.
    EXPECT_EQ(window->mediaPlayer()->OutputsStarted(), 1);
    // Each part's exact length, and its position counted from its own first sample.
    for (int i = 0; i < played.size(); ++i) {
        EXPECT_EQ(maxima[i], frames[size_t(played[i] - 1)] * 1000 / 44100) << "entry " << i;
        EXPECT_LT(positions[i], maxima[i]) << "entry " << i;
    }

    const QByteArray captured = ReadAll(capture);
    QByteArray expected;
    qint64 at = 0;
    const char *kind = GetParam() ? "VBR" : "CBR";
    for (int i = 0; i < 9; ++i) {
        const QByteArray &part = decodes[size_t(i % 7)];
        if (i > 0) {
            const int shift = JoinShift(captured, at, part);
            std::cout << kind << " join " << i << " (into part " << i % 7 + 1 << "): "
                      << (shift == INT_MIN ? QByteArray("not found")
                                           : QByteArray::number(qMax(shift, 0)) + " inserted, " +
                                                 QByteArray::number(qMax(-shift, 0)) + " dropped")
                             .constData()
                      << "\n";
            EXPECT_EQ(shift, 0) << "join " << i;
        }
        expected += part;
        at += part.size() / 4;
    }
    ASSERT_GE(captured.size(), expected.size());
    EXPECT_TRUE(captured.left(expected.size()) == expected);
    // What was handed on after that is the start of the third part.
    const QByteArray rest = captured.mid(expected.size());
    EXPECT_TRUE(decodes[2].startsWith(rest)) << rest.size();
}

INSTANTIATE_TEST_SUITE_P(Lame, GaplessTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "Vbr" : "Cbr");
                         });

} // namespace
