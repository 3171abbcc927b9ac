#include "bench/BenchLibrary.h"
#include "platform/AudioOutput.h"
#include "platform/MediaPlayer.h"
#include "platform/Mp3Decoder.h"
#include "tests/support/EncodedTone.h"
#include "tests/support/SilentMp3.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace
{

QTemporaryDir *Scratch = nullptr;

QString Song(const QString &name, int frames, bool xing, bool vbr = false)
{
    const QString path = Scratch->filePath(name);
    if (QFile::exists(path))
        return path;
    SilentMp3Options o;
    o.Bitrate = 128;
    o.Frames = frames;
    o.Header = xing ? SilentMp3Options::XingHeader : SilentMp3Options::NoHeader;
    if (vbr)
        o.VbrBitrates = {96, 128, 160, 192};
    WriteSilentMp3(path, o);
    return path;
}

const int FiveMinutes = 300 * 44100 / 1152;

// Runs the event loop like the program does, checking now and then whether we are done.
void PumpUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return;
    QEventLoop loop;
    QTimer check;
    QDeadlineTimer deadline(timeoutMs);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    check.start(2);
    loop.exec();
}

qint64 CpuUs()
{
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return 0;
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000 +
           usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
}

double ResidentMb()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * sysconf(_SC_PAGESIZE) / 1048576.0 : 0;
}

void BM_PlayToFirstBuffer(benchmark::State &state)
{
    TMediaPlayer player;
    player.FileName = Song("first.mp3", 400, true);
    player.Open();
    double totalUs = 0;
    for (auto _ : state) {
        player.Play();
        PumpUntil([&] { return player.FirstBufferLatencyUs() >= 0; }, 2000);
        state.SetIterationTime(player.FirstBufferLatencyUs() / 1e6);
        totalUs += player.FirstBufferLatencyUs();
        player.Stop();
        player.Close();
        player.Open();
    }
    state.counters["first_buffer_ms"] = totalUs / 1000.0 / double(state.iterations());
    state.counters["audible"] = player.Audible() ? 1 : 0;
}
BENCHMARK(BM_PlayToFirstBuffer)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

// The silent clock's pace: a song of about a second played to its end at speed 1 and 10; the
// wall time per song time times the speed is 1 when the clock keeps time (the tests only count
// samples). A pause in the middle adds its own length and no more.
void BM_SilentClockPace(benchmark::State &state)
{
    const double speed = double(state.range(0));
    const bool pause = state.range(1) != 0;
    const qint64 pauseMs = 300;
    TMediaPlayer::SetSilentOnly(true);
    TSilentOutput::SetSpeed(speed);
    TMediaPlayer player;
    player.FileName = Song("pace.mp3", 38, true); // 992 ms
    player.Open();
    int ended = 0;
    QObject::connect(&player, &TMediaPlayer::Notify, [&] { ++ended; });
    double ratio = 0;
    for (auto _ : state) {
        const int before = ended;
        QElapsedTimer clock;
        clock.start();
        player.Play();
        if (pause) {
            PumpUntil([&] { return player.Position() >= player.Length() / 3; }, 10000);
            player.Pause();
            PumpUntil([&] { return clock.elapsed() >= player.Length() / 3 / speed + pauseMs; },
                      10000);
            player.Pause();
        }
        PumpUntil([&] { return ended > before + (pause ? 1 : 0); }, 10000);
        const double seconds = clock.nsecsElapsed() / 1e9;
        state.SetIterationTime(seconds);
        const double songSeconds =
            player.Length() / 1000.0 / speed + (pause ? pauseMs / 1000.0 : 0);
        ratio += seconds / songSeconds;
    }
    state.counters["wall_per_song_time"] = ratio / double(state.iterations());
    TSilentOutput::SetSpeed(1.0);
    TMediaPlayer::SetSilentOnly(false);
}
BENCHMARK(BM_SilentClockPace)
    ->ArgsProduct({{1, 10}, {0, 1}})
    ->ArgNames({"speed", "pause"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// The sound device's pace: a song of about a second played to its end, from Play to its notice
// (the tests only check that the notice follows the last position).
void BM_DevicePace(benchmark::State &state)
{
    if (!TSinkOutput::DeviceAvailable()) {
        state.SkipWithError("no audio output on this machine");
        return;
    }
    TMediaPlayer player;
    player.FileName = Song("pace.mp3", 38, true); // 992 ms
    player.Open();
    int ended = 0;
    QObject::connect(&player, &TMediaPlayer::Notify, [&] { ++ended; });
    double ratio = 0;
    for (auto _ : state) {
        const int before = ended;
        QElapsedTimer clock;
        clock.start();
        player.Play();
        PumpUntil([&] { return ended > before; }, 10000);
        const double seconds = clock.nsecsElapsed() / 1e9;
        state.SetIterationTime(seconds);
        ratio += seconds / (player.Length() / 1000.0);
    }
    state.counters["wall_per_song_time"] = ratio / double(state.iterations());
}
BENCHMARK(BM_DevicePace)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CpuWhilePlaying128k(benchmark::State &state)
{
    TMediaPlayer player;
    player.FileName = Song("cpu.mp3", 4 * 44100 / 1152, false); // 4 s at 128 kbit/s
    player.Open();
    for (auto _ : state) {
        const qint64 cpuBefore = CpuUs();
        QElapsedTimer wall;
        wall.start();
        player.Play();
        PumpUntil([&] { return player.Mode() != TMediaPlayer::mpPlaying; }, 10000);
        const double percent =
            100.0 * double(CpuUs() - cpuBefore) / double(wall.nsecsElapsed() / 1000);
        state.counters["cpu_percent_of_core"] = percent;
        state.counters["audible"] = player.Audible() ? 1 : 0;
    }
}
BENCHMARK(BM_CpuWhilePlaying128k)->Iterations(1)->Unit(benchmark::kSecond);

// A tone at 128 kbit/s that lame encoded (silent frames cost the decoder next to nothing),
// behind an ID3v2 tag that asks for -6.02 dB; empty when lame is missing.
QString TaggedTone(int seconds)
{
    const QString path = Scratch->filePath(QStringLiteral("tone%1.mp3").arg(seconds));
    if (QFile::exists(path))
        return path;
    const QString encoded = path + QStringLiteral(".lame");
    if (!LameAvailable() || !EncodeWithLame(TonePcm(0, qint64(seconds) * 44100), encoded,
                                            {QStringLiteral("-b"), QStringLiteral("128")})
                                 .isEmpty())
        return QString();
    QFile in(encoded), out(path);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return QString();
    const QByteArray frame = QByteArray("\0REPLAYGAIN_TRACK_GAIN\0-6.02 dB", 31);
    QByteArray tag("ID3\x03\0\0", 6);
    const int body = 10 + frame.size();
    tag += char(body >> 21 & 0x7F);
    tag += char(body >> 14 & 0x7F);
    tag += char(body >> 7 & 0x7F);
    tag += char(body & 0x7F);
    tag += QByteArray("TXXX\0\0\0", 7) + char(frame.size()) + QByteArray(2, '\0') + frame;
    out.write(tag + in.readAll());
    return path;
}

// The share of one core that playing takes, with ReplayGain applied to every sample.
void BM_CpuWhilePlaying128kWithGain(benchmark::State &state)
{
    const QString path = TaggedTone(6);
    if (path.isEmpty()) {
        state.SkipWithError("lame is not installed");
        return;
    }
    TMediaPlayer player;
    player.FileName = path;
    player.ReplayGain.Mode = TReplayGainMode::Track;
    player.Open();
    for (auto _ : state) {
        // The song twice, the second joined to the first; waits for the end without polling,
        // so that only playing is measured.
        QEventLoop loop;
        int ends = 0;
        QObject::connect(&player, &TMediaPlayer::Notify, &loop, [&] {
            if (++ends == 2)
                loop.quit();
        });
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        const qint64 cpuBefore = CpuUs();
        QElapsedTimer wall;
        wall.start();
        player.Play();
        player.Queue(path, 1);
        loop.exec();
        const double percent =
            100.0 * double(CpuUs() - cpuBefore) / double(wall.nsecsElapsed() / 1000);
        state.counters["cpu_percent_of_core"] = percent;
        state.counters["audible"] = player.Audible() ? 1 : 0;
        state.counters["outputs_started"] = player.OutputsStarted();
    }
}
BENCHMARK(BM_CpuWhilePlaying128kWithGain)->Iterations(1)->Unit(benchmark::kSecond);

// Decoding alone, with the gain: seconds of song per second of one core.
void BM_DecodeSpeed128kWithGain(benchmark::State &state)
{
    const QString path = TaggedTone(6);
    if (path.isEmpty()) {
        state.SkipWithError("lame is not installed");
        return;
    }
    TReplayGainSettings settings;
    settings.Mode = TReplayGainMode::Track;
    TMp3Decoder decoder;
    std::vector<char> buffer(16384);
    qint64 bytes = 0;
    for (auto _ : state) {
        decoder.Open(path);
        decoder.SetGain(ReplayGainFactor(decoder.ReplayGain(), settings));
        qint64 n = 0;
        while ((n = decoder.Read(buffer.data(), qint64(buffer.size()))) > 0)
            bytes += n;
    }
    state.counters["song_s_per_s"] =
        benchmark::Counter(double(bytes) / (44100.0 * 4), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeSpeed128kWithGain)->Unit(benchmark::kMillisecond);

void BM_LengthCbr5MinNoHeader(benchmark::State &state)
{
    const QString path = Song("cbr5.mp3", FiveMinutes, false);
    MeasureLengthMs(path); // warm cache
    for (auto _ : state)
        benchmark::DoNotOptimize(MeasureLengthMs(path));
}
BENCHMARK(BM_LengthCbr5MinNoHeader)->Unit(benchmark::kMillisecond);

void BM_LengthVbr5MinXing(benchmark::State &state)
{
    const QString path = Song("vbr5.mp3", FiveMinutes, true, true);
    MeasureLengthMs(path);
    for (auto _ : state)
        benchmark::DoNotOptimize(MeasureLengthMs(path));
}
BENCHMARK(BM_LengthVbr5MinXing)->Unit(benchmark::kMicrosecond);

void BM_LengthSmallFile(benchmark::State &state)
{
    const QString path = Song("small.mp3", 40, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(MeasureLengthMs(path));
    state.counters["files_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LengthSmallFile)->Unit(benchmark::kMicrosecond);

void BM_ResidentAfter300Songs(benchmark::State &state)
{
    TSilentOutput::SetSpeed(50.0);
    TMediaPlayer player;
    const QString path = Song("rss.mp3", 20, true);
    double after50 = 0, after300 = 0;
    for (auto _ : state) {
        for (int i = 1; i <= 300; ++i) {
            player.FileName = path;
            player.Open();
            player.Play();
            PumpUntil([&] { return player.Mode() != TMediaPlayer::mpPlaying; }, 2000);
            QCoreApplication::processEvents();
            if (i == 50)
                after50 = ResidentMb();
        }
        after300 = ResidentMb();
    }
    TSilentOutput::SetSpeed(1.0);
    state.counters["rss_mb_after_50"] = after50;
    state.counters["rss_mb_after_300"] = after300;
}
BENCHMARK(BM_ResidentAfter300Songs)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return RunBenchmarks(argc, argv, Scratch);
}
