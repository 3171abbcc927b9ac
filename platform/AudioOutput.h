#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>
#include <QObject>
#include <QTimer>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QAudioSink;
class TMp3Decoder;

// PCM from a decoder thread that keeps up to two seconds decoded ahead of the output; the
// output reads it as it needs it. The source owns the decoder while it plays: only its thread
// touches it, until Release ends the thread and hands the decoder back.
// A decoder queued behind the playing one continues the stream where the first one ends, with
// nothing between them; the stream position of each such join is kept for the owner.
// With QUILLMERE_AUDIO_CAPTURE set, every byte handed on is also appended to that file.
class TPcmSource : public QIODevice
{
    Q_OBJECT
public:
    explicit TPcmSource(std::unique_ptr<TMp3Decoder> decoder);
    ~TPcmSource() override;
    // Stops decoding; what was decoded can still be read.
    std::unique_ptr<TMp3Decoder> Release();
    bool isSequential() const override { return true; }
    // Never at its end for the sound output: at the end of a stream, PulseAudio's sink asks the
    // server for a drain whose answer can come after the sink is gone, and crashes the program.
    // Read dry, the sink goes idle all the same; Finished tells the stream's end.
    bool atEnd() const override { return false; }
    // Decoded to the end, nothing queued, and every byte read.
    bool Finished() const;
    qint64 bytesAvailable() const override;
    qint64 DeliveredUs() const;
    int SampleRate() const { return m_sampleRate; }
    int BytesPerSecond() const { return m_sampleRate * m_bytesPerFrame; }

    // Takes the decoder to follow the playing one, or hands it back when it cannot: another
    // rate, one is queued already, or the playing one ended by damage. A decoder queued after
    // the stream's end, while the output still plays what is left, follows it all the same.
    std::unique_ptr<TMp3Decoder> Enqueue(std::unique_ptr<TMp3Decoder> next);
    // Called on the decoder thread when it starts on a queued decoder.
    void SetOnJoin(std::function<void()> onJoin);
    // Stream bytes before the first join not yet taken, -1 when there is none.
    qint64 NextJoinBytes() const;
    // Forgets that join, and the decoder that ended there.
    void TakeJoin();

signals:
    void FirstData();

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    // Decodes one chunk into the ring; false when the song is decoded or the source closes.
    bool DecodeChunk(std::vector<char> &scratch);
    void DecodeLoop();
    void Join(); // goes on with the queued decoder; under the lock
    void StopDecoding();

    std::unique_ptr<TMp3Decoder> m_decoder; // the decoder thread's alone while it runs
    const int m_sampleRate;
    const int m_bytesPerFrame;
    qint64 m_delivered = 0; // owner's thread only
    QFile m_capture;
    std::function<void()> m_onJoin;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<char> m_ring;
    size_t m_readPos = 0;
    size_t m_filled = 0;
    bool m_decoded = false;
    bool m_quit = false;
    qint64 m_written = 0;                             // stream bytes put into the ring
    std::unique_ptr<TMp3Decoder> m_queued;            // to follow the playing one
    std::deque<qint64> m_joins;                       // stream bytes before each join
    std::deque<std::unique_ptr<TMp3Decoder>> m_ended; // the decoders before those joins
    std::thread m_thread;
};

// Where decoded audio goes: a sound device or a silent clock. Lives on the owner's thread.
class TAudioOutput : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool Start(TPcmSource &source) = 0;
    virtual void Suspend() = 0;
    virtual bool Resume() = 0;
    virtual void Stop() = 0;
    // Microseconds of the source that have been played.
    virtual qint64 PlayedUs() const = 0;
    // The loudness the listener chose, 0 (silent) to 1 (as decoded); kept over a restart.
    virtual void SetVolume(double volume) { m_volume = volume; }
    double Volume() const { return m_volume; }

signals:
    void Drained(); // everything the source held has been played
    void Failed();

protected:
    double m_volume = 1.0;
};

// Real time without sound, for machines without an audio output.
class TSilentOutput : public TAudioOutput
{
    Q_OBJECT
public:
    explicit TSilentOutput(QObject *parent = nullptr);
    bool Start(TPcmSource &source) override;
    void Suspend() override;
    bool Resume() override;
    void Stop() override;
    qint64 PlayedUs() const override;

    // Tests may run the clock faster than real time.
    static void SetSpeed(double factor);

private:
    void Tick();
    qint64 ClockUs() const;

    TPcmSource *m_source = nullptr;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_beforeUs = 0; // clock time before the last suspend
    bool m_running = false;
    std::unique_ptr<char[]> m_scratch;
};

// The default audio output through Qt Multimedia, in pull mode.
class TSinkOutput : public TAudioOutput
{
    Q_OBJECT
public:
    explicit TSinkOutput(QObject *parent = nullptr);
    ~TSinkOutput() override;
    bool Start(TPcmSource &source) override;
    void Suspend() override;
    bool Resume() override;
    void Stop() override;
    qint64 PlayedUs() const override;
    void SetVolume(double volume) override;

    static bool DeviceAvailable();

private:
    void StateChanged();
    void CheckDrained();

    TPcmSource *m_source = nullptr;
    std::unique_ptr<QAudioSink> m_sink;
    QTimer m_drainTimer;
    QElapsedTimer m_idleSince;
    bool m_drained = false;
};
