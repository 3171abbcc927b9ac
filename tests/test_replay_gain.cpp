#include "platform/AudioOutput.h"
#include "platform/MediaPlayer.h"
#include "platform/Mp3Decoder.h"
#include "platform/ReplayGain.h"
#include "tests/support/DecodedPcm.h"
#include "tests/support/EncodedTone.h"
#include "tests/support/TestFiles.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>
#include <iomanip>
#include <iostream>
#include <vector>

namespace
{

QByteArray Be32(quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray Le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray SyncSafe(quint32 v)
{
    return QByteArray(1, char(v >> 21 & 0x7F)) + char(v >> 14 & 0x7F) + char(v >> 7 & 0x7F) +
           char(v & 0x7F);
}

// An ID3v2 frame of version 2.3 or 2.4, written byte by byte.
QByteArray Id3Frame(int major, const char *id, const QByteArray &body)
{
    return QByteArray(id) + (major == 4 ? SyncSafe(quint32(body.size())) : Be32(body.size())) +
           QByteArray(2, '\0') + body;
}

QByteArray Id3Tag(int major, const QByteArray &frames)
{
    const QByteArray padding(23, '\0');
    return QByteArray("ID3") + char(major) + '\0' + '\0' +
           SyncSafe(quint32(frames.size() + padding.size())) + frames + padding;
}

// TXXX in ISO-8859-1 (0) or UTF-16 with a byte order mark (1).
QByteArray Txxx(int major, const QString &name, const QString &value, char encoding)
{
    QByteArray body(1, encoding);
    for (const QString &text : {name, value}) {
        if (encoding == 1) {
            body += "\xFF\xFE";
            for (QChar c : text)
                body += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
            body += QByteArray(2, '\0');
        } else {
            body += text.toLatin1() + '\0';
        }
    }
    body.chop(encoding == 1 ? 2 : 1); // the value needs no terminator
    return Id3Frame(major, "TXXX", body);
}

// RVA2 with the master volume's adjustment and a 16-bit peak.
QByteArray Rva2(int major, const char *identification, double gainDb, double peak)
{
    QByteArray body = QByteArray(identification) + '\0' + char(1);
    const auto adjustment = qint16(std::lround(gainDb * 512));
    body += char(quint16(adjustment) >> 8);
    body += char(adjustment & 0xFF);
    const auto raw = quint16(std::lround(peak * 32768));
    body += char(16);
    body += char(raw >> 8);
    body += char(raw & 0xFF);
    return Id3Frame(major, "RVA2", body);
}

// An APEv2 tag with a footer only, then an ID3v1 tag behind it.
QByteArray ApeAndId3v1(const QList<QPair<QString, QString>> &items)
{
    QByteArray body;
    for (const auto &[key, value] : items)
        body +=
            Le32(quint32(value.toUtf8().size())) + Le32(0) + key.toLatin1() + '\0' + value.toUtf8();
    const QByteArray footer = QByteArray("APETAGEX") + Le32(2000) + Le32(body.size() + 32) +
                              Le32(quint32(items.size())) + Le32(0) + QByteArray(8, '\0');
    QByteArray id3v1("TAG");
    id3v1 += QByteArray(125, '\0');
    return body + footer + id3v1;
}

quint16 Crc16(const QByteArray &bytes)
{
    quint16 crc = 0;
    for (char c : bytes) {
        crc ^= uchar(c);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

// Sets the LAME header's track gain of a file lame wrote, and the header's checksum.
void SetLameTrackGain(QByteArray &mp3, double gainDb)
{
    const qsizetype lame = mp3.indexOf("LAME");
    ASSERT_GT(lame, 0);
    const int tenths = int(std::lround(std::fabs(gainDb) * 10));
    const quint16 field = quint16(1 << 13 | 3 << 10 | (gainDb < 0 ? 0x200 : 0) | tenths);
    mp3[lame + 15] = char(field >> 8);
    mp3[lame + 16] = char(field & 0xFF);
    const quint16 crc = Crc16(mp3.left(190));
    mp3[190] = char(crc >> 8);
    mp3[191] = char(crc & 0xFF);
}

const qint16 *Samples(const QByteArray &pcm)
{
    return reinterpret_cast<const qint16 *>(pcm.constData());
}

double Rms(const QByteArray &pcm)
{
    double sum = 0;
    const qsizetype count = pcm.size() / 2;
    for (qsizetype i = 0; i < count; ++i)
        sum += double(Samples(pcm)[i]) * Samples(pcm)[i];
    return count ? std::sqrt(sum / double(count)) : 0;
}

int Peak(const QByteArray &pcm)
{
    int peak = 0;
    for (qsizetype i = 0; i < pcm.size() / 2; ++i)
        peak = qMax(peak, std::abs(int(Samples(pcm)[i])));
    return peak;
}

double GainDb(const QByteArray &played, const QByteArray &plain)
{
    return 20 * std::log10(Rms(played) / Rms(plain));
}

TReplayGainSettings Mode(TReplayGainMode mode, double preampDb = 0, double defaultDb = 0)
{
    TReplayGainSettings settings;
    settings.Mode = mode;
    settings.PreampDb = preampDb;
    settings.DefaultDb = defaultDb;
    return settings;
}

TEST(ReplayGainFactor, ModesPreampFallbackAndClipping)
{
    TReplayGainInfo info;
    info.TrackGain = -6.02;
    EXPECT_EQ(ReplayGainFactor(info, Mode(TReplayGainMode::Off)), 1.0);
    EXPECT_NEAR(ReplayGainFactor(info, Mode(TReplayGainMode::Track)), 0.5, 0.001);
    EXPECT_NEAR(ReplayGainFactor(info, Mode(TReplayGainMode::Track, 6.02)), 1.0, 0.001);
    // Album mode takes the track's gain where there is no album gain.
    EXPECT_NEAR(ReplayGainFactor(info, Mode(TReplayGainMode::Album)), 0.5, 0.001);
    info.AlbumGain = -12.04;
    EXPECT_NEAR(ReplayGainFactor(info, Mode(TReplayGainMode::Album)), 0.25, 0.001);
    EXPECT_NEAR(ReplayGainFactor(info, Mode(TReplayGainMode::Track)), 0.5, 0.001);

    // Without information the gain for such songs, without the pre-amp.
    const TReplayGainInfo none;
    EXPECT_EQ(ReplayGainFactor(none, Mode(TReplayGainMode::Track, 6)), 1.0);
    EXPECT_NEAR(ReplayGainFactor(none, Mode(TReplayGainMode::Album, 6, -6.02)), 0.5, 0.001);

    // The gain is lowered so that the peak stays at full scale.
    TReplayGainInfo loud;
    loud.TrackGain = 6;
    loud.TrackPeak = 0.8;
    EXPECT_NEAR(ReplayGainFactor(loud, Mode(TReplayGainMode::Track)), 1.25, 1e-9);
    loud.AlbumGain = 1;
    EXPECT_NEAR(ReplayGainFactor(loud, Mode(TReplayGainMode::Album)), std::pow(10, 0.05), 1e-9);
    loud.AlbumPeak = 0.95;
    EXPECT_NEAR(ReplayGainFactor(loud, Mode(TReplayGainMode::Album)), 1 / 0.95, 1e-9);
    EXPECT_EQ(ParseReplayGainMode(ReplayGainModeName(TReplayGainMode::Album)),
              TReplayGainMode::Album);
    EXPECT_EQ(ParseReplayGainMode(QStringLiteral("track")), TReplayGainMode::Off);
}

class ReplayGainFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!LameAvailable())
            GTEST_SKIP() << LameMissing();
        ASSERT_TRUE(dir.isValid());
        TMediaPlayer::SetSilentOnly(true);
        TSilentOutput::SetSpeed(16.0);
        capture = dir.filePath(QStringLiteral("capture.raw"));
        qputenv("QUILLMERE_AUDIO_CAPTURE", capture.toLocal8Bit());
    }
    void TearDown() override
    {
        qunsetenv("QUILLMERE_AUDIO_CAPTURE");
        TSilentOutput::SetSpeed(1.0);
        TMediaPlayer::SetSilentOnly(false);
    }

    // A second of tone encoded at 128 kbit/s; lame's own gain only when asked for.
    QByteArray Encoded(double amplitude, bool lameGain = false)
    {
        const QString path = dir.filePath(QStringLiteral("encoded.mp3"));
        QStringList options{"-b", "128"};
        if (!lameGain)
            options << "--noreplaygain";
        const QString error = EncodeWithLame(TonePcm(0, 44100, 440, amplitude), path, options);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return ReadAll(path);
    }
    QString Write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        WriteAll(path, bytes);
        return path;
    }
    TReplayGainInfo Read(const QString &path)
    {
        TMp3Decoder decoder;
        decoder.Open(path);
        return decoder.ReplayGain();
    }
    // What the player hands on for the whole song.
    QByteArray Played(const QString &path, const TReplayGainSettings &settings)
    {
        QFile::remove(capture);
        TMediaPlayer player;
        QSignalSpy notices(&player, &TMediaPlayer::Notify);
        player.FileName = path;
        player.ReplayGain = settings;
        player.Open();
        player.Play();
        EXPECT_TRUE(QTest::qWaitFor([&] { return notices.count() > 0; }, 20000));
        return ReadAll(capture);
    }

    QTemporaryDir dir;
    QString capture;
};

TEST_F(ReplayGainFiles, EachPlaceIsReadAndTheEarlierPlaceWins)
{
    QByteArray audio = Encoded(0.5, true);
    SetLameTrackGain(audio, -3.0);
    const QString lame = Write(QStringLiteral("lame.mp3"), audio);
    TReplayGainInfo info = Read(lame);
    ASSERT_TRUE(info.TrackGain.has_value());
    EXPECT_NEAR(*info.TrackGain, -3.0, 1e-9);
    EXPECT_FALSE(info.AlbumGain.has_value());
    // The changed header still trims the encoder delay and padding.
    EXPECT_EQ(DecodedPcm(lame).size() / 4, 44100);

    const QByteArray ape = ApeAndId3v1({{"Replaygain_Track_Gain", "-2.00 dB"},
                                        {"REPLAYGAIN_TRACK_PEAK", "0.800000"},
                                        {"REPLAYGAIN_ALBUM_GAIN", "-4.50 dB"}});
    info = Read(Write(QStringLiteral("ape.mp3"), audio + ape));
    EXPECT_NEAR(info.TrackGain.value_or(0), -2.0, 1e-9);
    EXPECT_NEAR(info.TrackPeak.value_or(0), 0.8, 1e-9);
    EXPECT_NEAR(info.AlbumGain.value_or(0), -4.5, 1e-9);

    const QByteArray rva2 = Id3Tag(4, Rva2(4, "track", -5.0, 0.5) + Rva2(4, "album", -7.5, 0.75));
    info = Read(Write(QStringLiteral("rva2.mp3"), rva2 + audio + ape));
    EXPECT_NEAR(info.TrackGain.value_or(0), -5.0, 1e-9);
    EXPECT_NEAR(info.TrackPeak.value_or(0), 0.5, 1e-4);
    EXPECT_NEAR(info.AlbumGain.value_or(0), -7.5, 1e-9);
    EXPECT_NEAR(info.AlbumPeak.value_or(0), 0.75, 1e-4);

    // TXXX before RVA2 in the same tag, in UTF-16 (2.3) and in ISO-8859-1 (2.4).
    const QByteArray txxx23 =
        Id3Tag(3, Rva2(3, "track", -5.0, 0.5) + Txxx(3, "REPLAYGAIN_TRACK_GAIN", "-6.02 dB", 1) +
                      Txxx(3, "REPLAYGAIN_TRACK_PEAK", "0.612", 1));
    info = Read(Write(QStringLiteral("txxx23.mp3"), txxx23 + audio + ape));
    EXPECT_NEAR(info.TrackGain.value_or(0), -6.02, 1e-9);
    EXPECT_NEAR(info.TrackPeak.value_or(0), 0.612, 1e-9);
    EXPECT_NEAR(info.AlbumGain.value_or(0), -4.5, 1e-9);
    const QByteArray txxx24 = Id3Tag(4, Txxx(4, "replaygain_album_gain", "+1.50 dB", 0) +
                                            Txxx(4, "REPLAYGAIN_ALBUM_PEAK", "0.9", 0));
    info = Read(Write(QStringLiteral("txxx24.mp3"), txxx24 + audio));
    EXPECT_NEAR(info.AlbumGain.value_or(0), 1.5, 1e-9);
    EXPECT_NEAR(info.AlbumPeak.value_or(0), 0.9, 1e-9);
    EXPECT_NEAR(info.TrackGain.value_or(0), -3.0, 1e-9); // from the LAME header
    // The tags do not reach the decoded audio.
    EXPECT_EQ(DecodedPcm(dir.filePath(QStringLiteral("txxx23.mp3"))), DecodedPcm(lame));
}

TEST_F(ReplayGainFiles, GainMeasuredOnWhatIsPlayed)
{
    const QByteArray audio = Encoded(0.5);
    const QString plain = Write(QStringLiteral("plain.mp3"), audio);
    const QByteArray decoded = DecodedPcm(plain);
    const QString tagged =
        Write(QStringLiteral("tagged.mp3"),
              Id3Tag(4, Txxx(4, "REPLAYGAIN_TRACK_GAIN", "-6.02 dB", 0)) + audio);

    const QByteArray quieter = Played(tagged, Mode(TReplayGainMode::Track));
    ASSERT_EQ(quieter.size(), decoded.size());
    const double measured = GainDb(quieter, decoded);
    std::cout << std::fixed << std::setprecision(3) << "tagged -6.02 dB, measured " << measured
              << " dB\n";
    EXPECT_NEAR(measured, -6.02, 0.1);
    // Album mode falls back to the track gain; Off leaves the song alone.
    EXPECT_NEAR(GainDb(Played(tagged, Mode(TReplayGainMode::Album)), decoded), -6.02, 0.1);
    EXPECT_EQ(Played(tagged, Mode(TReplayGainMode::Off)), decoded);

    // A song without tags plays unchanged.
    const QByteArray untouched = Played(plain, Mode(TReplayGainMode::Track, 3));
    std::cout << std::fixed << std::setprecision(3) << "untagged, measured "
              << GainDb(untouched, decoded) << " dB\n";
    EXPECT_EQ(untouched, decoded);
}

TEST_F(ReplayGainFiles, AGainThatWouldClipIsLowered)
{
    const QByteArray audio = Encoded(0.9);
    const QByteArray decoded = DecodedPcm(Write(QStringLiteral("loud.mp3"), audio));
    // The peak as a scanner measures it, rounded up.
    const double peak = std::ceil(Peak(decoded) / 32767.0 * 10000) / 10000;
    const QString tagged =
        Write(QStringLiteral("tagged.mp3"),
              Id3Tag(4, Txxx(4, "REPLAYGAIN_TRACK_GAIN", "+6.00 dB", 0) +
                            Txxx(4, "REPLAYGAIN_TRACK_PEAK", QString::number(peak, 'f', 4), 0)) +
                  audio);
    const QByteArray played = Played(tagged, Mode(TReplayGainMode::Track));
    ASSERT_EQ(played.size(), decoded.size());
    const double measured = GainDb(played, decoded);
    std::cout << std::fixed << std::setprecision(4) << "tagged +6.00 dB with peak " << peak
              << ", measured " << measured << " dB\n";
    EXPECT_NEAR(measured, -20 * std::log10(peak), 0.1);
    int atFullScale = 0;
    for (qsizetype i = 0; i < played.size() / 2; ++i)
        atFullScale += std::abs(int(Samples(played)[i])) >= 32767;
    EXPECT_LE(atFullScale, 8) << "of " << played.size() / 2;
}

} // namespace
