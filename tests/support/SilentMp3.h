#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// A silent MP3 file built byte by byte: Layer III frames whose side information is zero.
struct SilentMp3Options {
    enum THeader { NoHeader, XingHeader, VbriHeader };

    int SampleRate = 44100;   // MPEG-1 32000-48000, MPEG-2 16000-24000, MPEG-2.5 8000-12000
    int Bitrate = 128;        // kbit/s for every frame, unless VbrBitrates is set
    QVector<int> VbrBitrates; // frame i uses VbrBitrates[i % size]
    bool Mono = false;
    int Frames = 10;           // audio frames, not counting a header frame
    THeader Header = NoHeader; // Xing frames say "Info" for CBR and "Xing" for VBR
    qint64 ClaimedFrames = -1; // frame count written in the header; -1: Frames
    qint64 ClaimedBytes = -1;  // byte count in a Xing/Info header; -1: the real one
    int EncoderDelay = -1;     // LAME fields in the Xing/Info frame, written when both >= 0
    int EncoderPadding = -1;
    int Id3v2Padding = -1;        // >= 0: an ID3v2 tag holding only that much padding
    bool Id3v1 = false;           // a 128-byte ID3v1 tag at the end
    qint64 TruncateStreamTo = -1; // >= 0: keep only this many bytes of the MPEG stream
    // This many bytes from the middle of the stream on are zeros: damage decoding cannot pass.
    int ZeroedBytes = 0;
};

QByteArray SilentMp3(const SilentMp3Options &options);
void WriteSilentMp3(const QString &path, const SilentMp3Options &options);

int SilentMp3SamplesPerFrame(int sampleRate);
int SilentMp3FrameBytes(int sampleRate, int bitrate);
// What a full decode by libmpg123 gives, gapless trimming included.
qint64 SilentMp3ExpectedSamples(const SilentMp3Options &options);
qint64 SilentMp3ExpectedLengthMs(const SilentMp3Options &options);
