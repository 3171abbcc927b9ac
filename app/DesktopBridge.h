#pragma once

#include "platform/PlayerControl.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class TfrmMain;
class TMprisService;
class TNotifier;
class TSingleInstance;
class TSleepInhibitor;

// The main window as the desktop sees it: MPRIS calls click the window's own buttons, so the
// grids, the highlight and the label follow; a song that starts may show a notification, and
// the system does not sleep while one plays.
class TDesktopBridge : public QObject, public TPlayerControl
{
    Q_OBJECT

public:
    explicit TDesktopBridge(TfrmMain *window);
    ~TDesktopBridge() override;

    // Registers the player on the session bus; false (and the window works as before)
    // without one.
    bool RegisterPlayer();
    // Files and folders handed to the window: by the desktop (OpenUri) or by a second start.
    std::function<void(const QStringList &files)> OnOpenFiles;
    void SetNotifications(bool on) { m_notify = on; }
    // Looks at the player every WatchMs for a song that starts or playback that ends.
    QTimer *Watcher() const { return m_watch; }

    TPlayerStatus Status() const override;
    TPlayerTrack Track() const override;
    qint64 PositionUs() const override;
    bool CanPlay() const override;
    bool CanGoNext() const override;
    bool CanGoPrevious() const override;
    bool Loop() const override;
    double Volume() const override;
    QList<TPlayerPlaylist> Playlists() const override;
    qint64 ActivePlaylist() const override;

    void Play() override;
    void Pause() override;
    void Stop() override;
    void Next() override;
    void Previous() override;
    void SetPositionUs(qint64 position) override;
    void SetLoop(bool on) override;
    void SetVolume(double volume) override;
    void ActivatePlaylist(qint64 id) override;
    void OpenFiles(const QStringList &files) override;
    void Raise() override;
    void Quit() override;

private:
    void Watch();
    int PlayingRow() const;

    TfrmMain *m_window;
    std::unique_ptr<TMprisService> m_mpris;
    std::unique_ptr<TNotifier> m_notifier;
    std::unique_ptr<TSleepInhibitor> m_inhibitor;
    QTimer *m_watch;
    QString m_notifiedTrack;
    bool m_notify = false;
    mutable int m_playingRow = -1;
};

// What makes two starts one program: the library they open.
QString LibraryKey();
// Joins the window to the desktop: the player on the bus, notifications as Options says, the
// files of later starts, and the files this start was given, opened once it runs.
TDesktopBridge *JoinDesktop(TfrmMain *window, TSingleInstance &instance, const QStringList &opened);
