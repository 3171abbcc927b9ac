#include "tests/support/SilentMp3.h"

#include <QFile>
#include <stdexcept>

namespace
{

const int Mpeg1Bitrates[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
const int Mpeg2Bitrates[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

struct TVersion {
    int Bits;      // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int RateIndex; // 0..2
};

TVersion VersionFor(int rate)
{
    switch (rate) {
    case 44100:
        return {3, 0};
    case 48000:
        return {3, 1};
    case 32000:
        return {3, 2};
    case 22050:
        return {2, 0};
    case 24000:
        return {2, 1};
    case 16000:
        return {2, 2};
    case 11025:
        return {0, 0};
    case 12000:
        return {0, 1};
    case 8000:
        return {0, 2};
    }
    throw std::invalid_argument("SilentMp3: unsupported sample rate");
}

const int *BitrateTable(int rate)
{
    return VersionFor(rate).Bits == 3 ? Mpeg1Bitrates : Mpeg2Bitrates;
}

int BitrateIndex(int rate, int bitrate)
{
    const int *table = BitrateTable(rate);
    for (int i = 1; i < 15; ++i)
        if (table[i] == bitrate)
            return i;
    throw std::invalid_argument("SilentMp3: bitrate not allowed at this sample rate");
}

int SideInfoBytes(int rate, bool mono)
{
    return VersionFor(rate).Bits == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
}

// Header plus zeroed side information and main data: decodes as silence.
QByteArray Frame(const SilentMp3Options &o, int bitrate)
{
    const TVersion v = VersionFor(o.SampleRate);
    QByteArray frame(SilentMp3FrameBytes(o.SampleRate, bitrate), '\0');
    frame[0] = char(0xFF);
    frame[1] = char(0xE0 | v.Bits << 3 | 1 << 1 | 1); // Layer III, no CRC
    frame[2] = char(BitrateIndex(o.SampleRate, bitrate) << 4 | v.RateIndex << 2);
    frame[3] = char(o.Mono ? 0xC0 : 0x00);
    return frame;
}

void Put32(QByteArray &b, int at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(value >> (24 - 8 * i));
}

void Put16(QByteArray &b, int at, quint16 value)
{
    b[at] = char(value >> 8);
    b[at + 1] = char(value);
}

quint16 Crc16(const QByteArray &data, int length)
{
    quint16 crc = 0;
    for (int i = 0; i < length; ++i) {
        crc ^= quint8(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

int BitrateOf(const SilentMp3Options &o, int frame)
{
    return o.VbrBitrates.isEmpty() ? o.Bitrate : o.VbrBitrates[frame % o.VbrBitrates.size()];
}

// The smallest bitrate from the first frame's upward whose frame holds the header.
int HeaderBitrate(const SilentMp3Options &o, int needed)
{
    const int *table = BitrateTable(o.SampleRate);
    for (int i = BitrateIndex(o.SampleRate, BitrateOf(o, 0)); i < 15; ++i)
        if (SilentMp3FrameBytes(o.SampleRate, table[i]) >= needed)
            return table[i];
    throw std::invalid_argument("SilentMp3: no frame large enough for the header");
}

bool HasLameFields(const SilentMp3Options &o)
{
    return o.Header == SilentMp3Options::XingHeader && o.EncoderDelay >= 0 && o.EncoderPadding >= 0;
}

QByteArray HeaderFrame(const SilentMp3Options &o, qint64 streamBytesWithoutHeader)
{
    const int side = 4 + SideInfoBytes(o.SampleRate, o.Mono);
    const qint64 claimedFrames = o.ClaimedFrames >= 0 ? o.ClaimedFrames : o.Frames;
    if (o.Header == SilentMp3Options::VbriHeader) {
        QByteArray f = Frame(o, HeaderBitrate(o, 36 + 26));
        const int at = 36;
        f.replace(at, 4, "VBRI");
        Put16(f, at + 4, 1);
        Put16(f, at + 6, 0);
        Put16(f, at + 8, 75);
        Put32(f, at + 10, quint32(streamBytesWithoutHeader + f.size()));
        Put32(f, at + 14, quint32(claimedFrames));
        Put16(f, at + 18, 0); // no table of contents
        Put16(f, at + 20, 1);
        Put16(f, at + 22, 2);
        Put16(f, at + 24, 0);
        return f;
    }
    const int lame = side + 16;
    QByteArray f = Frame(o, HeaderBitrate(o, lame + 36));
    f.replace(side, 4, o.VbrBitrates.isEmpty() ? "Info" : "Xing");
    Put32(f, side + 4, 0x3); // frame count and byte count
    Put32(f, side + 8, quint32(claimedFrames));
    Put32(f, side + 12,
          quint32(o.ClaimedBytes >= 0 ? o.ClaimedBytes : streamBytesWithoutHeader + f.size()));
    if (HasLameFields(o)) {
        f.replace(lame, 9, "LAME3.100");
        const quint32 gapless = quint32(o.EncoderDelay) << 12 | quint32(o.EncoderPadding);
        f[lame + 21] = char(gapless >> 16);
        f[lame + 22] = char(gapless >> 8);
        f[lame + 23] = char(gapless);
        Put16(f, lame + 34, Crc16(f, lame + 34));
    }
    return f;
}

} // namespace

int SilentMp3SamplesPerFrame(int sampleRate)
{
    return VersionFor(sampleRate).Bits == 3 ? 1152 : 576;
}

int SilentMp3FrameBytes(int sampleRate, int bitrate)
{
    const int coefficient = VersionFor(sampleRate).Bits == 3 ? 144000 : 72000;
    return coefficient * bitrate / sampleRate;
}

QByteArray SilentMp3(const SilentMp3Options &o)
{
    QByteArray frames;
    for (int i = 0; i < o.Frames; ++i)
        frames += Frame(o, BitrateOf(o, i));
    QByteArray stream =
        o.Header == SilentMp3Options::NoHeader ? frames : HeaderFrame(o, frames.size()) + frames;
    if (o.TruncateStreamTo >= 0)
        stream.truncate(int(o.TruncateStreamTo));
    if (o.ZeroedBytes > 0)
        stream.replace(stream.size() / 2, o.ZeroedBytes, QByteArray(o.ZeroedBytes, '\0'));

    QByteArray file;
    if (o.Id3v2Padding >= 0) {
        QByteArray id3("ID3\x03\x00\x00", 6);
        for (int shift = 21; shift >= 0; shift -= 7)
            id3 += char((o.Id3v2Padding >> shift) & 0x7F);
        file += id3 + QByteArray(o.Id3v2Padding, '\0');
    }
    file += stream;
    if (o.Id3v1) {
        QByteArray tag(128, '\0');
        tag.replace(0, 3, "TAG");
        tag.replace(3, 7, "Silence");
        tag[127] = char(255);
        file += tag;
    }
    return file;
}

void WriteSilentMp3(const QString &path, const SilentMp3Options &options)
{
    QFile file(path);
    const QByteArray data = SilentMp3(options);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        throw std::runtime_error("SilentMp3: cannot write " + path.toStdString());
}

qint64 SilentMp3ExpectedSamples(const SilentMp3Options &o)
{
    const int spf = SilentMp3SamplesPerFrame(o.SampleRate);
    qint64 frames = o.Frames;
    if (o.TruncateStreamTo >= 0) {
        qint64 left = o.TruncateStreamTo;
        if (o.Header != SilentMp3Options::NoHeader)
            left -= SilentMp3(SilentMp3Options{o.SampleRate, o.Bitrate, o.VbrBitrates, o.Mono, 0,
                                               o.Header})
                        .size();
        frames = 0;
        for (int i = 0; i < o.Frames; ++i) {
            left -= SilentMp3FrameBytes(o.SampleRate, BitrateOf(o, i));
            if (left < 0)
                break;
            ++frames;
        }
    }
    if (o.Header == SilentMp3Options::VbriHeader)
        return (frames + 1) * spf; // the VBRI frame decodes as silence
    if (o.Header == SilentMp3Options::NoHeader)
        return frames * spf;
    // libmpg123 skips the encoder delay and its own 529 samples, and cuts the padding when the
    // stream reaches the claimed end.
    const qint64 decoderDelay = 529;
    const qint64 claimed = o.ClaimedFrames >= 0 ? o.ClaimedFrames : o.Frames;
    const qint64 delay = HasLameFields(o) ? o.EncoderDelay : 0;
    const qint64 padding = HasLameFields(o) ? o.EncoderPadding : 0;
    const qint64 end = qMin(frames * spf, claimed * spf - padding + decoderDelay);
    return qMax<qint64>(0, end - delay - decoderDelay);
}

qint64 SilentMp3ExpectedLengthMs(const SilentMp3Options &o)
{
    return SilentMp3ExpectedSamples(o) * 1000 / o.SampleRate;
}
