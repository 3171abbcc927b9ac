#pragma once

#include "platform/ReplayGain.h"

#include <QFile>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

struct mpg123_handle_struct;

// Where the audio lies in an MP3 file and what its first frame's Xing/Info/VBRI header says.
struct TMp3Layout {
    qint64 AudioStart = 0; // after an ID3v2 tag
    qint64 AudioEnd = 0;   // before ID3v1 and APE tags
    qint64 FirstFrame = -1;
    int FirstFrameBytes = 0; // the header frame may be larger than the frames after it
    int Version = 0;         // 1, 2, or 25 for MPEG-2.5
    int SampleRate = 0;
    int SamplesPerFrame = 0;
    int MinFrameBytes = 0;        // a frame at the smallest bitrate of this version and rate
    int MaxFrameBytes = 0;        // and at the largest
    char HeaderKind = 0;          // 'X' Xing/Info, 'V' VBRI, 0 none
    bool ConstantBitrate = false; // the header says "Info"
    qint64 HeaderFrames = -1;     // audio frames the header claims
    qint64 HeaderBytes = -1;      // stream bytes the header claims
    double SampledFrameBytes = 0; // mean size of the frames after the first, where counted

    qint64 AudioBytes() const { return AudioEnd - AudioStart; }
    // The header's counts agree with the bytes that are actually there and with the size of
    // the frames that follow it.
    bool HeaderBelievable() const;
    // It claims fewer frames or bytes than the stream evidently holds.
    bool HeaderUndercounts() const;

private:
    double ExpectedFrames() const; // from the sampled frame size; -1 when not sampled
    double FrameTolerance(double expected) const;
};

// Bytes of a file at a place; raises when they are not all there.
using TByteReader = std::function<QByteArray(qint64 Offset, qint64 Count)>;
TMp3Layout ParseMp3Layout(const TByteReader &read, qint64 size);
TMp3Layout ParseMp3Layout(const uchar *data, qint64 size);

struct TMp3Length {
    qint64 Samples = 0;
    int SampleRate = 0;
    qint64 Ms() const { return SampleRate > 0 ? Samples * 1000 / SampleRate : 0; }
};

// An MP3 file decoded by libmpg123, to 16-bit stereo PCM. The file is read with checked calls,
// so that another program cutting it short ends the song rather than the program.
// Open and Length raise EMCIDeviceError with the file's name and the reason.
class TMp3Decoder
{
public:
    TMp3Decoder();
    ~TMp3Decoder();
    TMp3Decoder(const TMp3Decoder &) = delete;
    TMp3Decoder &operator=(const TMp3Decoder &) = delete;

    void Open(const QString &fileName);
    void Close();

    // Exact length: believable header count, otherwise a scan of every frame.
    TMp3Length Length();
    int SampleRate() const { return m_rate; }
    int BytesPerFrame() const { return 4; }

    // Decodes up to maxBytes of PCM; 0 at the end of the stream, once the file changed, or
    // after damage that ends decoding early.
    qint64 Read(char *data, qint64 maxBytes);
    // Why Read ended before the end of the song, as a message naming the file; empty when it
    // did not. A file cut short by another program just ends the song.
    QString Failure() const { return m_failure; }
    // The file became shorter than it was when it was opened.
    bool Changed() const { return m_changed; }
    void SeekToSample(qint64 sample);
    bool AtEnd() const { return m_atEnd; }

    // The loudness information the open file carries in its tags and LAME header.
    TReplayGainInfo ReplayGain();
    // Scales what Read gives from now on; libmpg123 saturates at full scale. Open resets it to 1.
    void SetGain(double factor);
    double Gain() const { return m_gain; }
    QString FileName() const { return m_fileName; }

private:
    [[noreturn]] void Fail(const QString &reason) const;
    void CreateHandle();
    void Check(int result, const char *what) const;
    qint64 WithoutGaplessSkip(qint64 scanned) const;

    mpg123_handle_struct *m_handle = nullptr;
    QFile m_file;
    QString m_fileName;
    QString m_failure;
    qint64 m_size = 0;
    qint64 m_pos = 0;
    QByteArray m_readAhead; // the file's bytes from m_readAheadStart on
    qint64 m_readAheadStart = -1;
    TMp3Layout m_layout;
    int m_rate = 0;
    double m_gain = 1.0;
    bool m_open = false;
    bool m_atEnd = false;
    bool m_scanned = false;
    bool m_changed = false;
    bool m_infoIgnored = false; // its Xing/Info frame is decoded as an ordinary frame

    friend struct TMp3Reader;
};

// Playing time in milliseconds: decoded samples (gapless) divided by the rate.
qint64 MeasureLengthMs(const QString &fileName);
