#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// How loudness is evened out between songs: not at all, by each song's own gain, or by its
// album's gain (the song's own where the album has none).
enum class TReplayGainMode { Off, Track, Album };

QString ReplayGainModeName(TReplayGainMode mode);         // "Off", "Track", "Album"
TReplayGainMode ParseReplayGainMode(const QString &name); // Off for anything else

struct TReplayGainSettings {
    static constexpr double MinPreampDb = -6, MaxPreampDb = 6;
    static constexpr double MinDefaultDb = -12, MaxDefaultDb = 12;

    TReplayGainMode Mode = TReplayGainMode::Off;
    double PreampDb = 0;  // added to a song's gain
    double DefaultDb = 0; // for a song that carries no gain of the kind asked for
};

// The loudness information a song carries; dB for gains, linear (1 = full scale) for peaks.
struct TReplayGainInfo {
    std::optional<double> TrackGain, TrackPeak, AlbumGain, AlbumPeak;

    bool Empty() const { return !TrackGain && !TrackPeak && !AlbumGain && !AlbumPeak; }
    // Fills what this lacks from a later source.
    void Merge(const TReplayGainInfo &later);
};

// Bytes of a file at a place; empty or short when they are not all there.
using TTagReader = std::function<QByteArray(qint64 Offset, qint64 Count)>;

// Reads ID3v2 (TXXX REPLAYGAIN_*, then RVA2), APEv2 and the LAME header's fields, in that
// order: a value found in an earlier place is kept. lameFrame is the position of the Xing/Info
// frame, -1 when there is none.
TReplayGainInfo ReadReplayGain(const TTagReader &read, qint64 size, qint64 lameFrame);

// The parts, for tests and for callers that hold the bytes already.
TReplayGainInfo ParseId3v2ReplayGain(const QByteArray &tag);
TReplayGainInfo ParseApeReplayGain(const QByteArray &items, int itemCount);
TReplayGainInfo ParseLameReplayGain(const QByteArray &frame);

// The factor samples are multiplied by: the chosen gain plus the pre-amp, lowered so that the
// peak times the factor stays at or below full scale; 1 when the mode is Off.
double ReplayGainFactor(const TReplayGainInfo &info, const TReplayGainSettings &settings);
