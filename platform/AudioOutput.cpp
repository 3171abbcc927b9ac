#include "platform/AudioOutput.h"

#include "platform/Mp3Decoder.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>
#include <algorithm>
#include <atomic>
#include <cstring>

namespace
{

std::atomic<double> ClockSpeed{1.0};
const qint64 SilentLeadUs = 200000; // decoded ahead of the clock
const int SilentTickMs = 20;
const qint64 ScratchBytes = 16384;
const size_t ChunkBytes = 16384; // decoded per step: about 90 ms of CD audio
const int PrefillChunks = 4;     // decoded before the output starts
const size_t RingSeconds = 2;    // decoded ahead at most

} // namespace

TPcmSource::TPcmSource(std::unique_ptr<TMp3Decoder> decoder)
    : m_decoder(std::move(decoder)), m_sampleRate(m_decoder->SampleRate()),
      m_bytesPerFrame(m_decoder->BytesPerFrame())
{
    // Open never fails for a read-only sequential device.
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    const QString capture = qEnvironmentVariable("QUILLMERE_AUDIO_CAPTURE");
    if (!capture.isEmpty()) {
        m_capture.setFileName(capture);
        if (!m_capture.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            qWarning("Cannot write the audio capture %s: %s", qPrintable(capture),
                     qPrintable(m_capture.errorString()));
    }
    m_ring.resize(size_t(std::max(m_sampleRate, 8000)) * size_t(m_bytesPerFrame) * RingSeconds);
    // The first chunks are decoded here, so the output never starts on an empty ring.
    std::vector<char> scratch(ChunkBytes);
    for (int i = 0; i < PrefillChunks && !m_decoded && DecodeChunk(scratch); ++i) {
    }
    m_thread = std::thread([this] { DecodeLoop(); });
}

TPcmSource::~TPcmSource()
{
    StopDecoding();
}

void TPcmSource::StopDecoding()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

std::unique_ptr<TMp3Decoder> TPcmSource::Release()
{
    StopDecoding();
    return std::move(m_decoder);
}

bool TPcmSource::DecodeChunk(std::vector<char> &scratch)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        // After the end of the stream the thread waits for a song queued late.
        m_wake.wait(lock, [this] {
            return m_quit || (m_decoded ? bool(m_queued) : m_ring.size() - m_filled >= ChunkBytes);
        });
        if (m_quit)
            return false;
        if (m_decoded) {
            Join();
            return true;
        }
    }
    // Decoding runs without the lock; only this thread touches the decoder meanwhile.
    const qint64 n = m_decoder->Read(scratch.data(), qint64(scratch.size()));
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t writePos = (m_readPos + m_filled) % m_ring.size();
    for (qint64 done = 0; done < n;) {
        const size_t part = std::min(size_t(n - done), m_ring.size() - writePos);
        std::memcpy(m_ring.data() + writePos, scratch.data() + done, part);
        writePos = (writePos + part) % m_ring.size();
        done += qint64(part);
    }
    m_filled += size_t(std::max<qint64>(n, 0));
    m_written += std::max<qint64>(n, 0);
    if (n > 0 && !m_decoder->AtEnd())
        return true;
    // A song that ends cleanly goes straight on into the queued one; damage stops here.
    if (m_queued && m_decoder->Failure().isEmpty())
        Join();
    else
        m_decoded = true;
    return true;
}

void TPcmSource::Join()
{
    m_decoded = false;
    m_joins.push_back(m_written);
    m_ended.push_back(std::move(m_decoder));
    m_decoder = std::move(m_queued);
    if (m_onJoin)
        m_onJoin();
}

std::unique_ptr<TMp3Decoder> TPcmSource::Enqueue(std::unique_ptr<TMp3Decoder> next)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Once the stream has ended the thread leaves the decoder alone: a song ended by
        // damage is followed by nothing.
        if (m_queued || m_quit || !next || next->SampleRate() != m_sampleRate ||
            next->BytesPerFrame() != m_bytesPerFrame ||
            (m_decoded && !m_decoder->Failure().isEmpty()))
            return next;
        m_queued = std::move(next);
    }
    m_wake.notify_all();
    return nullptr;
}

void TPcmSource::SetOnJoin(std::function<void()> onJoin)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_onJoin = std::move(onJoin);
}

qint64 TPcmSource::NextJoinBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_joins.empty() ? -1 : m_joins.front();
}

void TPcmSource::TakeJoin()
{
    std::unique_ptr<TMp3Decoder> ended;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_joins.empty())
            return;
        m_joins.pop_front();
        ended = std::move(m_ended.front());
        m_ended.pop_front();
    }
}

void TPcmSource::DecodeLoop()
{
    std::vector<char> scratch(ChunkBytes);
    while (DecodeChunk(scratch)) {
    }
}

bool TPcmSource::Finished() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_decoded && !m_queued && m_filled == 0;
}

qint64 TPcmSource::bytesAvailable() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // While decoding goes on, more is always coming.
    return qint64(m_filled) + (m_decoded && !m_queued ? 0 : ChunkBytes);
}

qint64 TPcmSource::DeliveredUs() const
{
    const qint64 bytesPerSecond = qint64(m_sampleRate) * m_bytesPerFrame;
    return bytesPerSecond > 0 ? m_delivered * 1000000 / bytesPerSecond : 0;
}

qint64 TPcmSource::readData(char *data, qint64 maxSize)
{
    qint64 n = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        n = std::min<qint64>(maxSize, qint64(m_filled));
        n -= n % m_bytesPerFrame;
        for (qint64 done = 0; done < n;) {
            const size_t part = std::min(size_t(n - done), m_ring.size() - m_readPos);
            std::memcpy(data + done, m_ring.data() + m_readPos, part);
            m_readPos = (m_readPos + part) % m_ring.size();
            done += qint64(part);
        }
        m_filled -= size_t(n);
    }
    m_wake.notify_all();
    if (n > 0 && m_capture.isOpen() && m_capture.write(data, n) != n) {
        qWarning("Cannot write the audio capture %s: %s", qPrintable(m_capture.fileName()),
                 qPrintable(m_capture.errorString()));
        m_capture.close();
    }
    if (n > 0 && m_delivered == 0)
        emit FirstData();
    m_delivered += n;
    return n;
}

TSilentOutput::TSilentOutput(QObject *parent)
    : TAudioOutput(parent), m_scratch(new char[ScratchBytes])
{
    m_timer.setInterval(SilentTickMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TSilentOutput::Tick);
}

void TSilentOutput::SetSpeed(double factor)
{
    ClockSpeed = factor > 0 ? factor : 1.0;
}

bool TSilentOutput::Start(TPcmSource &source)
{
    m_source = &source;
    m_beforeUs = 0;
    m_clock.start();
    m_running = true;
    Tick();
    m_timer.start();
    return true;
}

void TSilentOutput::Suspend()
{
    if (!m_running)
        return;
    m_beforeUs = ClockUs();
    m_running = false;
    m_timer.stop();
}

bool TSilentOutput::Resume()
{
    if (!m_source)
        return false;
    if (!m_running) {
        m_clock.start();
        m_running = true;
        m_timer.start();
    }
    return true;
}

void TSilentOutput::Stop()
{
    m_timer.stop();
    m_running = false;
    m_source = nullptr;
}

qint64 TSilentOutput::ClockUs() const
{
    if (!m_running)
        return m_beforeUs;
    return m_beforeUs + qint64(m_clock.nsecsElapsed() / 1000 * ClockSpeed.load());
}

qint64 TSilentOutput::PlayedUs() const
{
    // The clock cannot play what has not been decoded yet.
    return m_source ? qMin(ClockUs(), m_source->DeliveredUs()) : m_beforeUs;
}

void TSilentOutput::Tick()
{
    if (!m_source)
        return;
    const qint64 wantedUs = ClockUs() + SilentLeadUs;
    while (!m_source->Finished() && m_source->DeliveredUs() < wantedUs)
        if (m_source->read(m_scratch.get(), ScratchBytes) <= 0)
            break;
    if (m_source->Finished() && ClockUs() >= m_source->DeliveredUs()) {
        m_timer.stop();
        emit Drained();
    }
}

TSinkOutput::TSinkOutput(QObject *parent) : TAudioOutput(parent)
{
    m_drainTimer.setInterval(10);
    connect(&m_drainTimer, &QTimer::timeout, this, &TSinkOutput::CheckDrained);
}

TSinkOutput::~TSinkOutput()
{
    Stop();
}

bool TSinkOutput::DeviceAvailable()
{
    return !QMediaDevices::defaultAudioOutput().isNull();
}

bool TSinkOutput::Start(TPcmSource &source)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return false;
    QAudioFormat format;
    format.setSampleRate(source.SampleRate());
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return false;
    m_sink = std::make_unique<QAudioSink>(device, format);
    // A second of buffer: with less, the pull feed can fall behind the sound server, which
    // then stalls the song until its buffer is full again.
    m_sink->setBufferSize(format.bytesForDuration(1000000));
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &TSinkOutput::StateChanged);
    m_source = &source;
    m_drained = false;
    m_sink->setVolume(m_volume);
    m_sink->start(&source);
    if (m_sink->error() != QAudio::NoError && m_sink->error() != QAudio::UnderrunError) {
        Stop();
        return false;
    }
    return true;
}

void TSinkOutput::Suspend()
{
    if (m_sink)
        m_sink->suspend();
}

bool TSinkOutput::Resume()
{
    if (!m_sink)
        return false;
    m_sink->resume();
    return m_sink->error() == QAudio::NoError || m_sink->error() == QAudio::UnderrunError;
}

void TSinkOutput::Stop()
{
    m_drainTimer.stop();
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        m_sink.reset();
    }
    m_source = nullptr;
}

qint64 TSinkOutput::PlayedUs() const
{
    return m_sink ? m_sink->processedUSecs() : 0;
}

void TSinkOutput::StateChanged()
{
    if (!m_sink)
        return;
    const QAudio::State state = m_sink->state();
    const QAudio::Error error = m_sink->error();
    if (error != QAudio::NoError && error != QAudio::UnderrunError) {
        m_drainTimer.stop();
        emit Failed();
        return;
    }
    if (state == QAudio::IdleState && m_source && m_source->Finished() && !m_drained &&
        !m_drainTimer.isActive()) {
        m_idleSince.start();
        m_drainTimer.start();
    }
}

void TSinkOutput::CheckDrained()
{
    // The sink goes idle when the source runs dry; what it buffered is still being played.
    if (!m_sink || !m_source || m_drained)
        return;
    if (!m_source->Finished()) { // a song queued late goes on
        m_drainTimer.stop();
        return;
    }
    const qint64 leftUs = m_source->DeliveredUs() - m_sink->processedUSecs();
    const qint64 graceUs = 500000;
    if (leftUs <= 1000 || m_sink->state() == QAudio::StoppedState ||
        m_idleSince.nsecsElapsed() / 1000 > leftUs + graceUs) {
        m_drained = true;
        m_drainTimer.stop();
        emit Drained();
    }
}

void TSinkOutput::SetVolume(double volume)
{
    TAudioOutput::SetVolume(volume);
    if (m_sink)
        m_sink->setVolume(volume);
}
