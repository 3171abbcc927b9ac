#include "platform/AudioOutput.h"

#include "platform/Mp3Decoder.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>
#include <atomic>

namespace
{

std::atomic<double> ClockSpeed{1.0};
const qint64 SilentLeadUs = 200000; // decoded ahead of the clock
const int SilentTickMs = 20;
const qint64 ScratchBytes = 16384;

} // namespace

TPcmSource::TPcmSource(TMp3Decoder &decoder) : m_decoder(decoder)
{
    // Open never fails for a read-only sequential device.
    QIODevice::open(QIODevice::ReadOnly);
}

bool TPcmSource::atEnd() const
{
    return m_decoder.AtEnd();
}

qint64 TPcmSource::bytesAvailable() const
{
    return (m_decoder.AtEnd() ? 0 : ScratchBytes) + QIODevice::bytesAvailable();
}

int TPcmSource::SampleRate() const
{
    return m_decoder.SampleRate();
}

qint64 TPcmSource::DeliveredUs() const
{
    const qint64 bytesPerSecond = qint64(m_decoder.SampleRate()) * m_decoder.BytesPerFrame();
    return bytesPerSecond > 0 ? m_delivered * 1000000 / bytesPerSecond : 0;
}

qint64 TPcmSource::readData(char *data, qint64 maxSize)
{
    maxSize -= maxSize % m_decoder.BytesPerFrame();
    if (maxSize <= 0)
        return 0;
    const qint64 n = m_decoder.Read(data, maxSize);
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
    while (!m_source->atEnd() && m_source->DeliveredUs() < wantedUs)
        if (m_source->read(m_scratch.get(), ScratchBytes) <= 0)
            break;
    if (m_source->atEnd() && ClockUs() >= m_source->DeliveredUs()) {
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
    if (state == QAudio::IdleState && m_source && m_source->atEnd() && !m_drained &&
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
    const qint64 leftUs = m_source->DeliveredUs() - m_sink->processedUSecs();
    const qint64 graceUs = 500000;
    if (leftUs <= 1000 || m_sink->state() == QAudio::StoppedState ||
        m_idleSince.nsecsElapsed() / 1000 > leftUs + graceUs) {
        m_drained = true;
        m_drainTimer.stop();
        emit Drained();
    }
}
