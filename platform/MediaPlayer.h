#pragma once

#include "platform/Mp3Decoder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <memory>

class TAudioOutput;
class TPcmSource;

// The invisible player component: one media device for one MP3 file at a time.
// Every Play and every resume is a play command with a number of its own. Notify is posted to
// the owner's thread, with that number, for every end of a play command: finished, superseded
// by a new play or resume, or aborted by Stop or Close.
// The player owns the decoder while nothing plays and hands it to the audio source for each
// play; the source's thread alone decodes, and the decoder comes back when the output stops.
// A song queued while another plays is opened at once and follows it without a gap, on the
// same output: at the join the playing song's notice is posted as at its end, and the queued
// song goes on as a new play (Joined tells the two apart). Positions count from the start of
// each song as the decoder trims it.
class TMediaPlayer : public QObject
{
    Q_OBJECT
public:
    enum TMPModes { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };

    // Result codes of the last command.
    enum {
        NoError = 0,
        ErrFileNotFound = 275,
        ErrCannotLoadDriver = 266,
        ErrInvalidFile = 296,
        ErrHardware = 262,
    };

    explicit TMediaPlayer(QObject *parent = nullptr);
    ~TMediaPlayer() override;

    QString FileName;
    // Read when a song is opened or queued.
    TReplayGainSettings ReplayGain;

    void Open();
    void Close();
    qint64 Length() const;   // ms
    qint64 LengthUs() const; // exact, from the trimmed sample count
    qint64 Position() const; // ms
    TMPModes Mode() const;
    void Play();
    void Stop();
    void Pause();
    void Step();
    // Goes on from that point of the song (ms, kept within it), playing or paused as before;
    // the play keeps its number. Stopped, the next Play starts there.
    void Seek(qint64 ms);
    // 0 (silent) to 1 (as decoded), for this song and those after it.
    void SetVolume(double volume);
    double Volume() const { return m_volume; }

    bool HasVideo() const { return false; }
    int StepSize() const { return m_stepSize; }
    bool Opened() const { return m_opened; }
    int Error() const { return m_error; }
    QString ErrorMessage() const { return ErrorText(m_error); }
    static QString ErrorText(int code);

    // The number of the latest play command; 0 before the first.
    int PlayNumber() const { return m_playNumber; }

    // Opens the song to follow the playing one, with a tag of the caller's; false when it
    // cannot follow without a gap (nothing plays, another sample rate, it cannot be opened, one
    // is queued already, or the playing song has been decoded to its end).
    bool Queue(const QString &fileName, int tag);
    // True when the given play ended at a join and its queued song plays on as PlayNumber().
    bool Joined(int play) const;
    // The tag of the song the player is on; -1 for one started by Open.
    int Tag() const { return m_tag; }
    // How many times an output was started (a sound device or the silent clock).
    int OutputsStarted() const { return m_outputsStarted; }

    // True while a real sound device plays, false for the silent clock.
    bool Audible() const { return m_audible; }
    // From the last Play or resume to the first PCM handed to the output.
    qint64 FirstBufferLatencyUs() const { return m_firstBufferUs; }

    // For tests: never use the sound device even when there is one.
    static void SetSilentOnly(bool silent);

signals:
    // failure is empty unless the song could not be decoded to its end; it then says why.
    void Notify(int play, const QString &failure);
    // The song with this tag (or the playing one, for the tag it was queued with) is being
    // decoded: a song queued now follows it.
    void NextWanted(int afterTag);

private:
    void RequireOpen() const;
    void StartOutput(bool allowSound);
    void StopOutput();
    void SwitchToSilent();
    void Finished();
    void PostNotify(const QString &failure = QString());
    qint64 PlayedMs() const;
    std::unique_ptr<TMp3Decoder> OpenQueued(const QString &fileName, TMp3Length &length);
    void ApplyGain(TMp3Decoder &decoder);
    void JoinStarted(int source);
    void CheckJoins(bool all);

    struct TChained {
        QString FileName;
        TMp3Length Length;
        int Tag = -1;
    };

    std::unique_ptr<TMp3Decoder> m_decoder; // null while the source holds it
    std::unique_ptr<TPcmSource> m_source;
    std::unique_ptr<TAudioOutput> m_output;
    TMp3Length m_length;
    qint64 m_lengthMs = 0;
    qint64 m_startMs = 0;         // position at which the output started
    qint64 m_songStartUs = 0;     // output time at which the current song began
    qint64 m_positionMs = 0;      // position while nothing plays
    std::deque<TChained> m_chain; // handed to the source after the current song, in order
    bool m_queuePending = false;  // the last of them is not being decoded yet
    QTimer m_joinTimer;
    int m_sourceNumber = 0;
    int m_tag = -1;
    int m_joinedFrom = 0;
    int m_outputsStarted = 0;
    TMPModes m_mode = mpNotReady;
    bool m_opened = false;
    bool m_notifyPending = false;
    bool m_audible = false;
    int m_stepSize = 0;
    double m_volume = 1.0;
    int m_error = NoError;
    int m_playNumber = 0;
    QElapsedTimer m_playStarted;
    qint64 m_firstBufferUs = -1;
};
