#pragma once

#include <QElapsedTimer>
#include <QIODevice>
#include <QObject>
#include <QTimer>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QAudioSink;
class TMp3Decoder;

// PCM from a decoder thread that keeps up to two seconds decoded ahead of the output; the
// output reads it as it needs it. The source owns the decoder while it plays: only its thread
// touches it, until Release ends the thread and hands the decoder back.
class TPcmSource : public QIODevice
{
    Q_OBJECT
public:
    explicit TPcmSource(std::unique_ptr<TMp3Decoder> decoder);
    ~TPcmSource() override;
    // Stops decoding; what was decoded can still be read.
    std::unique_ptr<TMp3Decoder> Release();
    bool isSequential() const override { return true; }
    bool atEnd() const override;
    qint64 bytesAvailable() const override;
    qint64 DeliveredUs() const;
    int SampleRate() const { return m_sampleRate; }

signals:
    void FirstData();

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    // Decodes one chunk into the ring; false when the song is decoded or the source closes.
    bool DecodeChunk(std::vector<char> &scratch);
    void DecodeLoop();
    void StopDecoding();

    std::unique_ptr<TMp3Decoder> m_decoder; // the decoder thread's alone while it runs
    const int m_sampleRate;
    const int m_bytesPerFrame;
    qint64 m_delivered = 0; // owner's thread only

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<char> m_ring;
    size_t m_readPos = 0;
    size_t m_filled = 0;
    bool m_decoded = false;
    bool m_quit = false;
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

signals:
    void Drained(); // everything the source held has been played
    void Failed();
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
