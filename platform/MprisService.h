#pragma once

#include "platform/PlayerControl.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

// The player on the session bus as a desktop remote sees it (media keys, the sound menu,
// playerctl): org.mpris.MediaPlayer2 with its Player and Playlists interfaces at
// /org/mpris/MediaPlayer2. Calls reach the control after the reply is sent; changes are
// looked for every PollMs and after each call, and sent once each as PropertiesChanged.
class TMprisService : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    static constexpr int PollMs = 50;
    static const QString ObjectPath;
    static const QString BaseServiceName; // org.mpris.MediaPlayer2.quillmere

    TMprisService(TPlayerControl &control, QObject *parent = nullptr);
    ~TMprisService() override;

    // Registers the object and takes the player's name (or one of this process's own when
    // another copy holds it). False, and nothing happens, without a usable bus.
    bool Register(const QDBusConnection &bus);
    QString ServiceName() const { return m_serviceName; }

    // Sends what changed since the last look; Seeked for a jump the control made by itself.
    void Update();

    // What the adaptors read and call.
    TPlayerControl &Control() { return m_control; }
    QVariantMap Metadata() const;
    static QVariantMap MetadataOf(const TPlayerTrack &track);
    static QString StatusText(TPlayerStatus status);
    void Later(std::function<void()> action);
    void Seek(qint64 offsetUs);
    void SetPosition(const QString &trackId, qint64 positionUs);
    void OpenUri(const QString &uri);
    void RefuseCall(const QString &name, const QString &text);

signals:
    void Seeked(qint64 positionUs);

private:
    struct TSnapshot {
        QVariantMap Player;
        QVariantMap Playlists;
        TPlayerTrack Track;
        TPlayerStatus Status = TPlayerStatus::Stopped;
        qint64 PositionUs = 0;
    };
    TSnapshot Take() const;
    void SendChanges(const QString &interface, const QVariantMap &before, const QVariantMap &after);
    void Jumped(qint64 positionUs);

    TPlayerControl &m_control;
    QDBusConnection m_bus;
    QString m_serviceName;
    TSnapshot m_last;
    QElapsedTimer m_lastTaken;
    QTimer m_poll;
    bool m_registered = false;
};
