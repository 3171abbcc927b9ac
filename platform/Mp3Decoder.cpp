#include "platform/Mp3Decoder.h"

#include "base/Errors.h"
#include "base/FileNames.h"

#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <mpg123.h>
#include <unistd.h>

namespace
{

const int Mpeg1Bitrates[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
const int Mpeg2Bitrates[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
const int Rates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

quint32 BigEndian32(const uchar *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

struct TFrameHeader {
    int Version = 0; // 1, 2 or 25
    int Rate = 0;
    int Bytes = 0;
    bool Mono = false;
};

// A Layer III frame header; false for anything else.
bool ReadFrameHeader(const uchar *p, TFrameHeader &h)
{
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return false;
    const int versionBits = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    if (versionBits == 1 || layerBits != 1 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3)
        return false;
    h.Version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    const int row = h.Version == 1 ? 0 : h.Version == 2 ? 1 : 2;
    h.Rate = Rates[row][rateIndex];
    const int padding = (p[2] >> 1) & 1;
    if (h.Version == 1)
        h.Bytes = 144000 * Mpeg1Bitrates[bitrateIndex] / h.Rate + padding;
    else
        h.Bytes = 72000 * Mpeg2Bitrates[bitrateIndex] / h.Rate + padding;
    h.Mono = (p[3] >> 6) == 3;
    return true;
}

// The ID3v2 tag's size from the file's first bytes (up to 10).
qint64 Id3v2Size(const QByteArray &head, qint64 fileSize)
{
    const auto *data = reinterpret_cast<const uchar *>(head.constData());
    if (head.size() < 10 || std::memcmp(data, "ID3", 3) != 0 || data[3] == 0xFF || data[4] == 0xFF)
        return 0;
    for (int i = 6; i < 10; ++i)
        if (data[i] & 0x80)
            return 0;
    const qint64 body =
        qint64(data[6]) << 21 | qint64(data[7]) << 14 | qint64(data[8]) << 7 | data[9];
    const qint64 footer = (data[5] & 0x10) ? 10 : 0;
    return qMin(fileSize, 10 + body + footer);
}

QString FileChangedText()
{
    return QStringLiteral("the file changed while it was read (another program cut it short)");
}

// How far after the start of the audio the header frame is looked for, and the frames after it.
constexpr qint64 SearchBytes = 65536;
constexpr qint64 WindowBytes = SearchBytes + 4096;
constexpr int SampledFrames = 256;

} // namespace

bool TMp3Layout::HeaderBelievable() const
{
    if (HeaderKind == 0 || HeaderFrames <= 0)
        return false;
    if (HeaderBytes > AudioBytes())
        return false;
    if (HeaderFrames * MinFrameBytes > AudioBytes())
        return false;
    if (HeaderUndercounts())
        return false;
    // A constant bit rate allows little more than rounding, a variable one a factor of two.
    const double expected = ExpectedFrames();
    return expected < 0 || double(HeaderFrames) <= expected + FrameTolerance(expected);
}

bool TMp3Layout::HeaderUndercounts() const
{
    // No count at all (or 0) is not trusted either, but libmpg123 then reads every frame.
    if (HeaderKind == 0 || FirstFrame < 0 || HeaderFrames <= 0)
        return false;
    const qint64 stream = AudioEnd - FirstFrame; // the header frame and the audio frames
    const qint64 slack = stream / 50 + 2 * qint64(MaxFrameBytes);
    if ((HeaderFrames + 1) * MaxFrameBytes + slack < stream)
        return true; // even frames of the largest size would leave bytes over
    if (HeaderBytes > 0 && HeaderBytes + slack < stream)
        return true;
    const double expected = ExpectedFrames();
    return expected >= 0 && double(HeaderFrames) < expected - FrameTolerance(expected);
}

double TMp3Layout::ExpectedFrames() const
{
    if (SampledFrameBytes <= 0)
        return -1;
    return double(AudioEnd - FirstFrame - FirstFrameBytes) / SampledFrameBytes;
}

double TMp3Layout::FrameTolerance(double expected) const
{
    return ConstantBitrate ? expected / 50 + 2 : expected / 2 + 2;
}

namespace
{

// Moves the end of the audio before an ID3v1 tag and an APE tag that follow it.
void DropTrailingTags(TMp3Layout &layout, const TByteReader &read, qint64 size)
{
    const qint64 tailStart = qMax(layout.AudioStart, size - 160);
    const QByteArray tailBytes = read(tailStart, size - tailStart);
    const auto *tail = reinterpret_cast<const uchar *>(tailBytes.constData()) - tailStart;
    if (layout.AudioEnd - layout.AudioStart >= 128 &&
        std::memcmp(tail + layout.AudioEnd - 128, "TAG", 3) == 0)
        layout.AudioEnd -= 128;
    if (layout.AudioEnd - layout.AudioStart >= 32 &&
        std::memcmp(tail + layout.AudioEnd - 32, "APETAGEX", 8) == 0) {
        const uchar *footer = tail + layout.AudioEnd - 32;
        const qint64 tagSize = qFromLittleEndian<quint32>(footer + 12);
        const bool hasHeader = footer[23] & 0x80;
        const qint64 total = tagSize + (hasHeader ? 32 : 0);
        if (total <= layout.AudioEnd - layout.AudioStart)
            layout.AudioEnd -= total;
    }
}

// The Xing/Info or VBRI header in the first frame, with its frame and byte counts.
void ReadVbrHeader(TMp3Layout &layout, const uchar *data, const TFrameHeader &h)
{
    const uchar *frame = data + layout.FirstFrame;
    const qint64 available = qMin<qint64>(h.Bytes, layout.AudioEnd - layout.FirstFrame);
    const int sideInfo = h.Version == 1 ? (h.Mono ? 17 : 32) : (h.Mono ? 9 : 17);
    const qint64 xing = 4 + sideInfo;
    if (available >= xing + 8 &&
        (std::memcmp(frame + xing, "Xing", 4) == 0 || std::memcmp(frame + xing, "Info", 4) == 0)) {
        layout.HeaderKind = 'X';
        layout.ConstantBitrate = std::memcmp(frame + xing, "Info", 4) == 0;
        const quint32 flags = BigEndian32(frame + xing + 4);
        qint64 field = xing + 8;
        if ((flags & 1) && available >= field + 4) {
            layout.HeaderFrames = BigEndian32(frame + field);
            field += 4;
        }
        if ((flags & 2) && available >= field + 4)
            layout.HeaderBytes = BigEndian32(frame + field);
        return;
    }
    const qint64 vbri = 4 + 32;
    if (available >= vbri + 18 && std::memcmp(frame + vbri, "VBRI", 4) == 0) {
        layout.HeaderKind = 'V';
        layout.HeaderBytes = BigEndian32(frame + vbri + 10);
        layout.HeaderFrames = BigEndian32(frame + vbri + 14);
    }
}

} // namespace

TMp3Layout ParseMp3Layout(const TByteReader &read, qint64 size)
{
    TMp3Layout layout;
    layout.AudioStart = Id3v2Size(read(0, qMin<qint64>(size, 10)), size);
    layout.AudioEnd = size;
    DropTrailingTags(layout, read, size);

    const qint64 windowEnd = qMin(layout.AudioEnd, layout.AudioStart + WindowBytes);
    const QByteArray windowBytes = read(layout.AudioStart, windowEnd - layout.AudioStart);
    // Indexed by file position, within [AudioStart, windowEnd).
    const auto *data = reinterpret_cast<const uchar *>(windowBytes.constData()) - layout.AudioStart;

    // The header frame, when there is one, is the first frame; junk before it is rare and short.
    const qint64 searchEnd = qMin(layout.AudioEnd - 4, layout.AudioStart + SearchBytes);
    TFrameHeader h;
    for (qint64 i = layout.AudioStart; i < searchEnd; ++i) {
        if (!ReadFrameHeader(data + i, h))
            continue;
        // A false sync in junk is rarely followed by a second header where the next frame begins.
        TFrameHeader next;
        const qint64 following = i + h.Bytes;
        if (following + 4 <= layout.AudioEnd && !(ReadFrameHeader(data + following, next) &&
                                                  next.Version == h.Version && next.Rate == h.Rate))
            continue;
        layout.FirstFrame = i;
        break;
    }
    if (layout.FirstFrame < 0)
        return layout;

    layout.Version = h.Version;
    layout.SampleRate = h.Rate;
    layout.SamplesPerFrame = h.Version == 1 ? 1152 : 576;
    layout.MinFrameBytes = h.Version == 1 ? 144000 * 32 / h.Rate : 72000 * 8 / h.Rate;
    layout.FirstFrameBytes = h.Bytes;
    layout.MaxFrameBytes = h.Version == 1 ? 144000 * 320 / h.Rate + 1 : 72000 * 160 / h.Rate + 1;

    // The mean size of the frames after the first, as far as the window reaches.
    qint64 at = layout.FirstFrame + h.Bytes, sampledBytes = 0;
    int sampled = 0;
    TFrameHeader f;
    while (sampled < SampledFrames && at + 4 <= windowEnd && ReadFrameHeader(data + at, f) &&
           f.Version == h.Version && f.Rate == h.Rate && at + f.Bytes <= layout.AudioEnd) {
        sampledBytes += f.Bytes;
        at += f.Bytes;
        ++sampled;
    }
    if (sampled >= 8)
        layout.SampledFrameBytes = double(sampledBytes) / sampled;

    ReadVbrHeader(layout, data, h);
    return layout;
}

TMp3Layout ParseMp3Layout(const uchar *data, qint64 size)
{
    return ParseMp3Layout(
        [data](qint64 offset, qint64 count) {
            return QByteArray::fromRawData(reinterpret_cast<const char *>(data + offset),
                                           qsizetype(count));
        },
        size);
}

// libmpg123 reads through these, so that measuring touches only the bytes it needs. A file that
// another program cut short reads short: the decoder notes the change and ends there.
struct TMp3Reader {
    // Bytes at a position within the size the file had when it was opened; short when it
    // has shrunk since, -1 on a read error.
    static qint64 ReadAt(TMp3Decoder &d, void *buffer, qint64 count, qint64 position)
    {
        const qint64 wanted = qBound<qint64>(0, d.m_size - position, count);
        qint64 done = 0;
        while (done < wanted) {
            const ssize_t n = pread(d.m_file.handle(), static_cast<char *>(buffer) + done,
                                    size_t(wanted - done), off_t(position + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                d.m_changed = true;
                return n < 0 && done == 0 ? -1 : done;
            }
            done += n;
        }
        return done;
    }

    // libmpg123 asks for a few bytes at a time; one call to the system per read would
    // dominate measuring, so small reads are served from a block read ahead.
    static constexpr qint64 ReadAheadBytes = 64 * 1024;

    static mpg123_ssize_t Read(void *handle, void *buffer, size_t count)
    {
        auto *d = static_cast<TMp3Decoder *>(handle);
        qint64 n;
        if (qint64(count) >= ReadAheadBytes) {
            n = ReadAt(*d, buffer, qint64(count), d->m_pos);
        } else {
            const qint64 start = d->m_readAheadStart;
            if (start < 0 || d->m_pos < start ||
                d->m_pos + qint64(count) > start + d->m_readAhead.size()) {
                d->m_readAhead.resize(ReadAheadBytes);
                const qint64 got = ReadAt(*d, d->m_readAhead.data(), ReadAheadBytes, d->m_pos);
                if (got < 0) {
                    d->m_readAhead.clear();
                    d->m_readAheadStart = -1;
                    return -1;
                }
                d->m_readAhead.resize(got);
                d->m_readAheadStart = d->m_pos;
            }
            const qint64 offset = d->m_pos - d->m_readAheadStart;
            n = qMin<qint64>(qint64(count), d->m_readAhead.size() - offset);
            std::memcpy(buffer, d->m_readAhead.constData() + offset, size_t(n));
        }
        if (n > 0)
            d->m_pos += n;
        return mpg123_ssize_t(n);
    }

    static off_t Seek(void *handle, off_t offset, int whence)
    {
        auto *d = static_cast<TMp3Decoder *>(handle);
        qint64 target = offset;
        if (whence == SEEK_CUR)
            target += d->m_pos;
        else if (whence == SEEK_END)
            target += d->m_size;
        else if (whence != SEEK_SET)
            return -1;
        if (target < 0)
            return -1;
        d->m_pos = target;
        return off_t(target);
    }
};

TMp3Decoder::TMp3Decoder()
{
#if MPG123_API_VERSION < 46
    mpg123_init();
#endif
}

TMp3Decoder::~TMp3Decoder()
{
    Close();
    if (m_handle)
        mpg123_delete(m_handle);
}

void TMp3Decoder::Fail(const QString &reason) const
{
    throw EMCIDeviceError(
        QStringLiteral("Cannot open \"%1\": %2.").arg(ReadableFileName(m_fileName), reason));
}

void TMp3Decoder::Check(int result, const char *what) const
{
    if (result != MPG123_OK)
        Fail(QStringLiteral("%1 failed (%2)")
                 .arg(QLatin1String(what), QString::fromUtf8(mpg123_plain_strerror(result))));
}

// One decoder handle, kept across files: 16-bit stereo at every MPEG rate, read through us.
void TMp3Decoder::CreateHandle()
{
    int error = MPG123_OK;
    m_handle = mpg123_new(nullptr, &error);
    if (!m_handle)
        Check(error == MPG123_OK ? MPG123_ERR : error, "mpg123_new");
    Check(mpg123_param(m_handle, MPG123_ADD_FLAGS,
                       MPG123_QUIET | MPG123_GAPLESS | MPG123_SKIP_ID3V2 | MPG123_FORCE_STEREO, 0),
          "Setting decoder flags");
    Check(mpg123_format_none(m_handle), "mpg123_format_none");
    for (const auto &row : Rates)
        for (int rate : row)
            Check(mpg123_format(m_handle, rate, MPG123_STEREO, MPG123_ENC_SIGNED_16),
                  "mpg123_format");
    Check(mpg123_replace_reader_handle(m_handle, &TMp3Reader::Read, &TMp3Reader::Seek, nullptr),
          "mpg123_replace_reader_handle");
}

void TMp3Decoder::Open(const QString &fileName)
{
    Close();
    m_fileName = fileName;
    if (fileName.isEmpty())
        Fail(QStringLiteral("no file name was given"));
    const TFileStatus status = FileStatus(fileName);
    if (!status.Exists)
        Fail(status.Error == ENOENT ? QStringLiteral("the file was not found")
                                    : FileErrorText(status.Error));
    if (!status.IsFile)
        Fail(QStringLiteral("it is not a file"));
    if (!OpenForReading(m_file, fileName))
        Fail(FileErrorText(errno));
    m_size = m_file.size();
    if (m_size == 0) {
        m_file.close();
        Fail(QStringLiteral("the file is empty"));
    }
    m_pos = 0;
    m_readAhead.clear();
    m_readAheadStart = -1;
    m_atEnd = false;
    m_scanned = false;
    m_changed = false;
    m_failure.clear();

    try {
        m_layout = ParseMp3Layout(
            [this](qint64 offset, qint64 count) {
                QByteArray bytes(qsizetype(count), Qt::Uninitialized);
                if (TMp3Reader::ReadAt(*this, bytes.data(), count, offset) != count)
                    Fail(FileChangedText());
                return bytes;
            },
            m_size);
        if (!m_handle)
            CreateHandle();
        if (m_gain != 1.0) {
            Check(mpg123_volume(m_handle, 1.0), "mpg123_volume");
            m_gain = 1.0;
        }
        // A Xing/Info count too low for the stream would end decoding early: read past it.
        m_infoIgnored = m_layout.HeaderKind == 'X' && m_layout.HeaderUndercounts();
        Check(mpg123_param(m_handle, m_infoIgnored ? MPG123_ADD_FLAGS : MPG123_REMOVE_FLAGS,
                           MPG123_IGNORE_INFOFRAME, 0),
              "Setting decoder flags");
        Check(mpg123_open_handle(m_handle, this), "mpg123_open_handle");
        m_open = true;
        long rate = 0;
        int channels = 0, encoding = 0;
        const int result = mpg123_getformat(m_handle, &rate, &channels, &encoding);
        if (result != MPG123_OK && m_layout.FirstFrame < 0)
            Fail(QStringLiteral("it is not an MP3 file (no MPEG audio found)"));
        if (result != MPG123_OK)
            Fail(QStringLiteral("its MPEG audio data is corrupt (%1)")
                     .arg(QString::fromUtf8(mpg123_strerror(m_handle))));
        if (m_changed)
            Fail(FileChangedText());
        m_rate = int(rate);
    } catch (...) {
        Close();
        throw;
    }
}

void TMp3Decoder::Close()
{
    if (m_open) {
        mpg123_close(m_handle); // only fails when nothing is open
        m_open = false;
    }
    if (m_file.isOpen())
        m_file.close();
    m_size = 0;
    m_pos = 0;
    m_readAhead.clear();
    m_readAheadStart = -1;
}

TMp3Length TMp3Decoder::Length()
{
    if (!m_open)
        Fail(QStringLiteral("no file is open"));
    TMp3Length length;
    length.SampleRate = m_rate;
    const bool believable = m_layout.HeaderBelievable();
    if (believable && m_layout.HeaderKind == 'V') {
        // libmpg123 does not read VBRI headers and decodes that frame as silence.
        length.Samples = (m_layout.HeaderFrames + 1) * m_layout.SamplesPerFrame;
    } else if (believable) {
        length.Samples = mpg123_length(m_handle);
    } else {
        if (!m_scanned) {
            Check(mpg123_scan(m_handle), "Scanning the frames");
            m_scanned = true;
        }
        length.Samples = mpg123_length(m_handle);
        if (!m_infoIgnored)
            length.Samples = WithoutGaplessSkip(length.Samples);
    }
    if (m_changed)
        Fail(FileChangedText());
    if (length.Samples < 0 && mpg123_errcode(m_handle) != MPG123_OK)
        Fail(QStringLiteral("its length is unknown (%1)")
                 .arg(QString::fromUtf8(mpg123_strerror(m_handle))));
    if (length.Samples <= 0)
        Fail(QStringLiteral("it holds no audio"));
    return length;
}

// After a scan that disagrees with the Xing/Info count libmpg123 reports every frame, while
// decoding still skips the encoder delay plus its own 529 samples, and cuts the padding only
// when the stream reaches the claimed end.
qint64 TMp3Decoder::WithoutGaplessSkip(qint64 scanned) const
{
    const off_t frames = mpg123_framelength(m_handle);
    if (scanned <= 0 || frames < 0 || m_layout.HeaderKind != 'X' || m_layout.HeaderFrames <= 0 ||
        frames == m_layout.HeaderFrames)
        return scanned;
    long delay = -1, padding = -1;
    double unused = 0;
    if (mpg123_getstate(m_handle, MPG123_ENC_DELAY, &delay, &unused) != MPG123_OK)
        delay = -1;
    if (mpg123_getstate(m_handle, MPG123_ENC_PADDING, &padding, &unused) != MPG123_OK)
        padding = -1;
    const qint64 decoderDelay = 529;
    const qint64 spf = m_layout.SamplesPerFrame;
    const qint64 end =
        qMin<qint64>(scanned, m_layout.HeaderFrames * spf - qMax(0L, padding) + decoderDelay);
    return qMax<qint64>(0, end - (qMax(0L, delay) + decoderDelay));
}

qint64 TMp3Decoder::Read(char *data, qint64 maxBytes)
{
    if (!m_open || m_atEnd)
        return 0;
    if (m_changed) {
        m_atEnd = true;
        return 0;
    }
    for (;;) {
        size_t done = 0;
        const int result =
            mpg123_read(m_handle, reinterpret_cast<unsigned char *>(data), size_t(maxBytes), &done);
        if (result == MPG123_DONE) {
            m_atEnd = true;
            return qint64(done);
        }
        if (result == MPG123_NEW_FORMAT && done == 0)
            continue;
        if (result == MPG123_OK || result == MPG123_NEW_FORMAT)
            return qint64(done);
        // Damage past the point where libmpg123 can resync ends the song, and is told; a file
        // that another program cut short ends it quietly.
        m_atEnd = true;
        if (!m_changed) {
            QString reason = QString::fromUtf8(
                result == MPG123_ERR ? mpg123_strerror(m_handle) : mpg123_plain_strerror(result));
            if (reason.endsWith(QLatin1Char('.')))
                reason.chop(1);
            m_failure = QStringLiteral("Cannot play \"%1\": its MPEG audio data is corrupt (%2).")
                            .arg(ReadableFileName(m_fileName), reason);
        }
        return qint64(done);
    }
}

void TMp3Decoder::SeekToSample(qint64 sample)
{
    if (!m_open)
        Fail(QStringLiteral("no file is open"));
    const off_t result = mpg123_seek(m_handle, off_t(sample), SEEK_SET);
    if (result < 0)
        Fail(QStringLiteral("seeking failed (%1)")
                 .arg(QString::fromUtf8(mpg123_strerror(m_handle))));
    m_atEnd = false;
    m_failure.clear();
}

TReplayGainInfo TMp3Decoder::ReplayGain()
{
    if (!m_open)
        Fail(QStringLiteral("no file is open"));
    return ReadReplayGain(
        [this](qint64 offset, qint64 count) {
            QByteArray bytes(qsizetype(qMax<qint64>(0, count)), Qt::Uninitialized);
            const qint64 got = TMp3Reader::ReadAt(*this, bytes.data(), count, offset);
            bytes.resize(qsizetype(qMax<qint64>(0, got)));
            return bytes;
        },
        m_size, m_layout.HeaderKind == 'X' ? m_layout.FirstFrame : -1);
}

void TMp3Decoder::SetGain(double factor)
{
    if (!m_open)
        Fail(QStringLiteral("no file is open"));
    if (factor == m_gain)
        return;
    Check(mpg123_volume(m_handle, factor), "mpg123_volume");
    m_gain = factor;
}

qint64 MeasureLengthMs(const QString &fileName)
{
    // One decoder per thread: creating a libmpg123 handle costs more than measuring a small file.
    thread_local TMp3Decoder decoder;
    try {
        decoder.Open(fileName);
        const TMp3Length length = decoder.Length();
        decoder.Close();
        return length.Ms();
    } catch (...) {
        decoder.Close();
        throw;
    }
}
