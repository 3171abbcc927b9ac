#pragma once

#include "platform/Mp3Decoder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>

class TAudioOutput;
class TPcmSource;

// The invisible player component: one media device for one MP3 file at a time.
// Every Play and every resume is a play command with a number of its own. Notify is posted to
// the owner's thread, with that number, for every end of a play command: finished, superseded
// by a new play or resume, or aborted by Stop or Close.
// The player owns the decoder while nothing plays and hands it to the audio source for each
// play; the source's thread alone decodes, and the decoder comes back when the output stops.
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

    void Open();
    void Close();
    qint64 Length() const;   // ms
    qint64 Position() const; // ms
    TMPModes Mode() const;
    void Play();
    void Stop();
    void Pause();
    void Step();

    bool HasVideo() const { return false; }
    int StepSize() const { return m_stepSize; }
    bool Opened() const { return m_opened; }
    int Error() const { return m_error; }
    QString ErrorMessage() const { return ErrorText(m_error); }
    static QString ErrorText(int code);

    // The number of the latest play command; 0 before the first.
    int PlayNumber() const { return m_playNumber; }

    // True while a real sound device plays, false for the silent clock.
    bool Audible() const { return m_audible; }
    // From the last Play or resume to the first PCM handed to the output.
    qint64 FirstBufferLatencyUs() const { return m_firstBufferUs; }

    // For tests: never use the sound device even when there is one.
    static void SetSilentOnly(bool silent);

signals:
    // failure is empty unless the song could not be decoded to its end; it then says why.
    void Notify(int play, const QString &failure);

private:
    void RequireOpen() const;
    void StartOutput(bool allowSound);
    void StopOutput();
    void SwitchToSilent();
    void Finished();
    void PostNotify(const QString &failure = QString());
    qint64 PlayedMs() const;

    std::unique_ptr<TMp3Decoder> m_decoder; // null while the source holds it
    std::unique_ptr<TPcmSource> m_source;
    std::unique_ptr<TAudioOutput> m_output;
    TMp3Length m_length;
    qint64 m_lengthMs = 0;
    qint64 m_startMs = 0;    // position at which the output started
    qint64 m_positionMs = 0; // position while nothing plays
    TMPModes m_mode = mpNotReady;
    bool m_opened = false;
    bool m_notifyPending = false;
    bool m_audible = false;
    int m_stepSize = 0;
    int m_error = NoError;
    int m_playNumber = 0;
    QElapsedTimer m_playStarted;
    qint64 m_firstBufferUs = -1;
};
