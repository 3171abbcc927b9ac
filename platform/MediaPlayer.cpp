#include "platform/MediaPlayer.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "platform/AudioOutput.h"

#include <algorithm>
#include <atomic>

namespace
{

std::atomic<bool> SilentOnly{false};
const int JoinCheckMs = 10;

} // namespace

TMediaPlayer::TMediaPlayer(QObject *parent)
    : QObject(parent), m_decoder(std::make_unique<TMp3Decoder>())
{
    m_joinTimer.setInterval(JoinCheckMs);
    m_joinTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_joinTimer, &QTimer::timeout, this, [this] { CheckJoins(false); });
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
    m_chain.clear();
    m_tag = -1;
    try {
        m_decoder->Open(FileName);
        m_length = m_decoder->Length();
        ApplyGain(*m_decoder);
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
    m_chain.clear();
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

qint64 TMediaPlayer::LengthUs() const
{
    RequireOpen();
    return m_length.SampleRate > 0 ? m_length.Samples * 1000000 / m_length.SampleRate : 0;
}

qint64 TMediaPlayer::PlayedMs() const
{
    if (!m_output)
        return m_positionMs;
    const qint64 sinceSongStartUs = qMax<qint64>(0, m_output->PlayedUs() - m_songStartUs);
    return qMin(m_lengthMs, m_startMs + sinceSongStartUs / 1000);
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

void TMediaPlayer::Seek(qint64 ms)
{
    RequireOpen();
    // A paused song stays short of its end, so that it ends only once it plays again.
    const qint64 last = m_mode == mpPaused ? qMax<qint64>(0, m_lengthMs - 1) : m_lengthMs;
    m_positionMs = std::clamp<qint64>(ms, 0, last);
    if (m_mode != mpPlaying && m_mode != mpPaused)
        return;
    // The output starts again from the new point; the play command goes on, so its end is
    // still the one the owner waits for.
    const bool paused = m_mode == mpPaused;
    const bool audible = m_audible;
    StopOutput();
    StartOutput(audible);
    if (paused)
        m_output->Suspend();
}

void TMediaPlayer::SetVolume(double volume)
{
    m_volume = std::clamp(volume, 0.0, 1.0);
    if (m_output)
        m_output->SetVolume(m_volume);
}

void TMediaPlayer::ApplyGain(TMp3Decoder &decoder)
{
    decoder.SetGain(ReplayGain.Mode == TReplayGainMode::Off
                        ? 1.0
                        : ReplayGainFactor(decoder.ReplayGain(), ReplayGain));
}

std::unique_ptr<TMp3Decoder> TMediaPlayer::OpenQueued(const QString &fileName, TMp3Length &length)
{
    auto decoder = std::make_unique<TMp3Decoder>();
    try {
        decoder->Open(fileName);
        length = decoder->Length();
        decoder->SeekToSample(0);
        ApplyGain(*decoder);
    } catch (const EError &) {
        return nullptr; // reported when the song is played on its own
    }
    return decoder;
}

bool TMediaPlayer::Queue(const QString &fileName, int tag)
{
    if (!m_source || m_queuePending || (m_mode != mpPlaying && m_mode != mpPaused))
        return false;
    TChained next{fileName, {}, tag};
    std::unique_ptr<TMp3Decoder> decoder = OpenQueued(fileName, next.Length);
    if (!decoder || m_source->Enqueue(std::move(decoder)))
        return false;
    m_chain.push_back(next);
    m_queuePending = true;
    return true;
}

bool TMediaPlayer::Joined(int play) const
{
    return play > 0 && play == m_joinedFrom && m_playNumber == play + 1 &&
           (m_mode == mpPlaying || m_mode == mpPaused);
}

void TMediaPlayer::JoinStarted(int source)
{
    if (source != m_sourceNumber || !m_source)
        return;
    m_queuePending = false;
    // The join is decoded, at most the ring's two seconds ahead of the output: watch for it.
    m_joinTimer.start();
    emit NextWanted(m_chain.empty() ? m_tag : m_chain.back().Tag);
}

void TMediaPlayer::CheckJoins(bool all)
{
    while (m_source && m_output && !m_chain.empty()) {
        const qint64 joinBytes = m_source->NextJoinBytes();
        if (joinBytes < 0)
            break;
        const qint64 joinUs = joinBytes * 1000000 / m_source->BytesPerSecond();
        if (!all && m_output->PlayedUs() < joinUs)
            break;
        m_source->TakeJoin();
        const TChained next = m_chain.front();
        m_chain.pop_front();
        // The song that played has ended; the queued one is a play of its own from here.
        if (m_notifyPending)
            PostNotify();
        m_joinedFrom = m_playNumber;
        ++m_playNumber;
        m_notifyPending = true;
        FileName = next.FileName;
        m_tag = next.Tag;
        m_length = next.Length;
        m_lengthMs = m_length.Ms();
        m_stepSize = int(m_lengthMs / 10);
        m_startMs = 0;
        m_positionMs = 0;
        m_songStartUs = joinUs;
    }
    if (!m_source || m_source->NextJoinBytes() < 0)
        m_joinTimer.stop();
}

void TMediaPlayer::StartOutput(bool allowSound)
{
    m_decoder->SeekToSample(m_positionMs * m_length.SampleRate / 1000);
    m_startMs = m_positionMs;
    m_songStartUs = 0;
    ++m_outputsStarted;
    const int sourceNumber = ++m_sourceNumber;
    m_source = std::make_unique<TPcmSource>(std::move(m_decoder));
    m_source->SetOnJoin([this, sourceNumber] {
        QMetaObject::invokeMethod(
            this, [this, sourceNumber] { JoinStarted(sourceNumber); }, Qt::QueuedConnection);
    });
    // Only the song next in line follows again; the caller queues the ones after it anew.
    m_queuePending = false;
    if (m_chain.size() > 1)
        m_chain.resize(1);
    if (!m_chain.empty()) {
        std::unique_ptr<TMp3Decoder> next =
            OpenQueued(m_chain.front().FileName, m_chain.front().Length);
        if (next && !m_source->Enqueue(std::move(next)))
            m_queuePending = true;
        else
            m_chain.clear();
    }
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
    m_output->SetVolume(m_volume);
    connect(m_output.get(), &TAudioOutput::Drained, this, &TMediaPlayer::Finished);
    connect(m_output.get(), &TAudioOutput::Failed, this, &TMediaPlayer::SwitchToSilent);
}

void TMediaPlayer::StopOutput()
{
    m_joinTimer.stop();
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
    CheckJoins(true); // everything has been played, the joins too
    const qint64 playedMs = PlayedMs();
    StopOutput();
    m_chain.clear();
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
