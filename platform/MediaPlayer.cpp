#include "platform/MediaPlayer.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "platform/AudioOutput.h"

#include <atomic>

namespace
{

std::atomic<bool> SilentOnly{false};

} // namespace

TMediaPlayer::TMediaPlayer(QObject *parent)
    : QObject(parent), m_decoder(std::make_unique<TMp3Decoder>())
{
}

TMediaPlayer::~TMediaPlayer()
{
    if (m_output) {
        m_output->disconnect(this);
        m_output->Stop();
    }
    m_output.reset();
    m_source.reset();
}

void TMediaPlayer::SetSilentOnly(bool silent)
{
    SilentOnly = silent;
}

QString TMediaPlayer::ErrorText(int code)
{
    switch (code) {
    case NoError:
        return QStringLiteral("The specified command was carried out.");
    case ErrFileNotFound:
        return QStringLiteral("Cannot find the specified file. Make sure the path and filename "
                              "are correct.");
    case ErrCannotLoadDriver:
        return QStringLiteral("The specified device driver could not be loaded.");
    case ErrInvalidFile:
        return QStringLiteral("The specified file cannot be played on the specified MCI device. "
                              "The file may be corrupt, or not in the correct format.");
    case ErrHardware:
        return QStringLiteral("There is a problem with your media device. Make sure it is "
                              "working correctly or contact the device manufacturer.");
    }
    return QStringLiteral("Unknown error code");
}

void TMediaPlayer::RequireOpen() const
{
    if (!m_opened)
        throw EMCIDeviceError(QStringLiteral("No MCI device open"));
}

void TMediaPlayer::Open()
{
    if (m_opened)
        Close();
    m_error = NoError;
    try {
        m_decoder->Open(FileName);
        m_length = m_decoder->Length();
    } catch (const EMCIDeviceError &) {
        m_decoder->Close();
        m_error = FileStatus(FileName).Exists ? ErrInvalidFile : ErrFileNotFound;
        throw;
    }
    m_lengthMs = m_length.Ms();
    m_positionMs = 0;
    m_stepSize = int(m_lengthMs / 10);
    m_mode = mpStopped;
    m_opened = true;
}

void TMediaPlayer::Close()
{
    if (!m_opened)
        return;
    StopOutput();
    if (m_notifyPending)
        PostNotify();
    m_decoder->Close();
    m_opened = false;
    m_mode = mpNotReady;
    m_lengthMs = 0;
    m_positionMs = 0;
    m_stepSize = 0;
    m_error = NoError;
}

qint64 TMediaPlayer::Length() const
{
    RequireOpen();
    return m_lengthMs;
}

qint64 TMediaPlayer::PlayedMs() const
{
    return m_output ? qMin(m_lengthMs, m_startMs + m_output->PlayedUs() / 1000) : m_positionMs;
}

qint64 TMediaPlayer::Position() const
{
    if (!m_opened)
        return 0;
    return m_mode == mpPlaying || m_mode == mpPaused ? PlayedMs() : m_positionMs;
}

TMediaPlayer::TMPModes TMediaPlayer::Mode() const
{
    return m_opened ? m_mode : mpNotReady;
}

void TMediaPlayer::Play()
{
    RequireOpen();
    m_error = NoError;
    if (m_mode == mpPlaying || m_mode == mpPaused)
        m_positionMs = PlayedMs();
    StopOutput();
    if (m_notifyPending)
        PostNotify(); // superseded
    if (m_positionMs >= m_lengthMs)
        m_positionMs = 0;
    ++m_playNumber;
    m_notifyPending = true;
    m_mode = mpPlaying;
    StartOutput(true);
}

void TMediaPlayer::Stop()
{
    RequireOpen();
    m_error = NoError;
    if (m_mode == mpPlaying || m_mode == mpPaused)
        m_positionMs = PlayedMs();
    StopOutput();
    if (m_notifyPending)
        PostNotify(); // aborted
    m_mode = mpStopped;
}

void TMediaPlayer::Pause()
{
    RequireOpen();
    m_error = NoError;
    if (m_mode == mpPlaying) {
        m_output->Suspend();
        m_mode = mpPaused;
    } else if (m_mode == mpPaused) {
        if (m_notifyPending)
            PostNotify(); // superseded by the resume
        ++m_playNumber;
        m_notifyPending = true;
        m_playStarted.start();
        if (m_output->Resume()) {
            m_mode = mpPlaying;
        } else {
            m_error = ErrHardware;
            Play();
        }
    }
}

void TMediaPlayer::Step()
{
    RequireOpen();
    // MP3 files have no video frames to step through.
}

void TMediaPlayer::StartOutput(bool allowSound)
{
    m_decoder->SeekToSample(m_positionMs * m_length.SampleRate / 1000);
    m_startMs = m_positionMs;
    m_source = std::make_unique<TPcmSource>(std::move(m_decoder));
    m_firstBufferUs = -1;
    m_playStarted.start();
    connect(m_source.get(), &TPcmSource::FirstData, this,
            [this] { m_firstBufferUs = m_playStarted.nsecsElapsed() / 1000; });

    m_audible = false;
    if (allowSound && !SilentOnly && TSinkOutput::DeviceAvailable()) {
        auto sink = std::make_unique<TSinkOutput>();
        if (sink->Start(*m_source)) {
            m_output = std::move(sink);
            m_audible = true;
        }
    }
    if (!m_output) {
        m_output = std::make_unique<TSilentOutput>();
        m_output->Start(*m_source);
    }
    connect(m_output.get(), &TAudioOutput::Drained, this, &TMediaPlayer::Finished);
    connect(m_output.get(), &TAudioOutput::Failed, this, &TMediaPlayer::SwitchToSilent);
}

void TMediaPlayer::StopOutput()
{
    if (m_output) {
        m_output->disconnect(this);
        m_output->Stop();
        // Outputs emit from their own timers; never delete one inside its signal.
        m_output.release()->deleteLater();
    }
    if (m_source) {
        m_decoder = m_source->Release();
        m_source.reset();
    }
}

void TMediaPlayer::SwitchToSilent()
{
    // The sound device failed: go on from here at the clock's pace.
    const bool paused = m_mode == mpPaused;
    m_positionMs = PlayedMs();
    StopOutput();
    StartOutput(false);
    if (paused)
        m_output->Suspend();
}

void TMediaPlayer::Finished()
{
    const qint64 playedMs = PlayedMs();
    StopOutput();
    // Damage ends the song where it lies.
    const QString failure = m_decoder->Failure();
    m_positionMs = failure.isEmpty() ? m_lengthMs : playedMs;
    m_mode = mpStopped;
    if (m_notifyPending)
        PostNotify(failure);
}

void TMediaPlayer::PostNotify(const QString &failure)
{
    m_notifyPending = false;
    const int play = m_playNumber;
    QMetaObject::invokeMethod(
        this, [this, play, failure] { emit Notify(play, failure); }, Qt::QueuedConnection);
}
