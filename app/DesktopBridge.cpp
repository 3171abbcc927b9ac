#include "app/DesktopBridge.h"

#include "app/OpenedFiles.h"
#include "app/UMain.h"
#include "controls/DBGrid.h"
#include "data/DataSet.h"
#include "data/LibraryLocation.h"
#include "data/SongRow.h"
#include "data/SongTitles.h"
#include "dialogs/ErrorReporting.h"
#include "dialogs/UOptions.h"
#include "platform/MediaPlayer.h"
#include "platform/MprisService.h"
#include "platform/Notifier.h"
#include "platform/SingleInstance.h"
#include "platform/SleepInhibitor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QToolButton>

namespace
{
// How often a notification and the inhibitor look at the player.
const int WatchMs = 100;

QString FieldText(const TDataSet &data, int row, const char *field)
{
    const int index = data.FindField(QString::fromLatin1(field));
    return index < 0 ? QString() : data.Value(row, index).toString();
}
} // namespace

TDesktopBridge::TDesktopBridge(TfrmMain *window)
    : QObject(window), m_window(window), m_watch(new QTimer(this))
{
    m_watch->setInterval(WatchMs);
    connect(m_watch, &QTimer::timeout, this, &TDesktopBridge::Watch);
}

TDesktopBridge::~TDesktopBridge() = default;

bool TDesktopBridge::RegisterPlayer()
{
    const QDBusConnection session = QDBusConnection::sessionBus();
    m_notifier = std::make_unique<TNotifier>(session);
    m_inhibitor = std::make_unique<TSleepInhibitor>(QDBusConnection::systemBus(), session);
    m_watch->start();
    if (!session.isConnected())
        return false;
    m_mpris = std::make_unique<TMprisService>(*this);
    if (!m_mpris->Register(session)) {
        m_mpris.reset();
        return false;
    }
    return true;
}

int TDesktopBridge::PlayingRow() const
{
    const TDataSet *entries = m_window->playlistSongs();
    if (m_window->playingSequence() < 0 || !entries->Active())
        return -1;
    const int sequenceField = entries->FindField(QStringLiteral("Sequence"));
    if (sequenceField < 0)
        return -1;
    const auto isPlaying = [&](int row) {
        return row >= 0 && row < entries->RecordCount() &&
               entries->Value(row, sequenceField).toInt() == m_window->playingSequence();
    };
    // The playing entry is the current row, unless the user moved on in the grid.
    if (isPlaying(entries->RecNo()))
        return m_playingRow = entries->RecNo();
    if (isPlaying(m_playingRow))
        return m_playingRow;
    for (int row = 0; row < entries->RecordCount(); ++row) {
        if (isPlaying(row))
            return m_playingRow = row;
    }
    return -1;
}

TPlayerStatus TDesktopBridge::Status() const
{
    switch (m_window->playState()) {
    case psPlaying:
        return TPlayerStatus::Playing;
    case psPaused:
        return TPlayerStatus::Paused;
    case psIdle:
        break;
    }
    return TPlayerStatus::Stopped;
}

TPlayerTrack TDesktopBridge::Track() const
{
    TPlayerTrack track;
    const int row = Status() == TPlayerStatus::Stopped ? -1 : PlayingRow();
    if (row < 0)
        return track;
    const TDataSet &entries = *m_window->playlistSongs();
    track.Id = QStringLiteral("/com/corvanta/Quillmere/Entry/") + FieldText(entries, row, "Row_ID");
    track.FileName = SongFile(entries, row);
    track.Title =
        SongTitle(FieldText(entries, row, "ID3_Title"), FieldText(entries, row, "Filename"));
    track.Artist = FieldText(entries, row, "ID3_Artist").trimmed();
    track.Album = FieldText(entries, row, "ID3_Album").trimmed();
    track.TrackNumber = FieldText(entries, row, "ID3_Track").toInt();
    const TMediaPlayer *player = m_window->mediaPlayer();
    if (player->Opened() && player->FileName == track.FileName)
        track.LengthUs = player->LengthUs();
    else
        track.LengthUs = FieldText(entries, row, "Duration").toLongLong() * 1000000;
    return track;
}

qint64 TDesktopBridge::PositionUs() const
{
    if (Status() == TPlayerStatus::Stopped)
        return 0;
    return m_window->mediaPlayer()->Position() * 1000;
}

bool TDesktopBridge::CanPlay() const
{
    return m_window->playlistSongs()->Active() && !m_window->playlistSongs()->IsEmpty();
}

bool TDesktopBridge::CanGoNext() const
{
    const TDataSet *entries = m_window->playlistSongs();
    return CanPlay() && (entries->RecNo() < entries->RecordCount() - 1 || Loop());
}

bool TDesktopBridge::CanGoPrevious() const
{
    return CanPlay() && m_window->playlistSongs()->RecNo() > 0;
}

bool TDesktopBridge::Loop() const
{
    return m_window->playbackOptions().LoopPlaylist;
}

double TDesktopBridge::Volume() const
{
    return m_window->volume();
}

QList<TPlayerPlaylist> TDesktopBridge::Playlists() const
{
    // The chooser lists every stored playlist as "[id] - name".
    QList<TPlayerPlaylist> playlists;
    const QComboBox *chooser = m_window->findChild<QComboBox *>(QStringLiteral("ccbPlayLists"));
    for (int i = 0; chooser && i < chooser->count(); ++i) {
        const QString text = chooser->itemText(i);
        const int close = text.indexOf(QStringLiteral("] - "));
        if (!text.startsWith(QLatin1Char('[')) || close < 1)
            continue;
        bool ok = false;
        const qint64 id = text.mid(1, close - 1).toLongLong(&ok);
        if (ok)
            playlists.append({id, text.mid(close + 4)});
    }
    return playlists;
}

qint64 TDesktopBridge::ActivePlaylist() const
{
    return qMax(0, m_window->CurrentPlaylistId());
}

void TDesktopBridge::Play()
{
    if (Status() == TPlayerStatus::Paused)
        m_window->btnPauseClick();
    else if (Status() == TPlayerStatus::Stopped)
        m_window->btnPlayClick();
}

void TDesktopBridge::Pause()
{
    if (Status() == TPlayerStatus::Playing)
        m_window->btnPauseClick();
}

void TDesktopBridge::Stop()
{
    m_window->btnStopClick();
}

void TDesktopBridge::Next()
{
    if (!CanGoNext())
        return;
    // At the end of a looping playlist, Next goes round to the first entry.
    if (m_window->playlistSongs()->RecNo() >= m_window->playlistSongs()->RecordCount() - 1) {
        m_window->btnStopClick();
        m_window->playlistSongs()->First();
        m_window->btnPlayClick();
        return;
    }
    m_window->btnNextClick();
}

void TDesktopBridge::Previous()
{
    if (CanGoPrevious())
        m_window->btnPreviousClick();
}

void TDesktopBridge::SetPositionUs(qint64 position)
{
    if (Status() == TPlayerStatus::Stopped)
        return;
    m_window->SeekTo(position / 1000);
}

void TDesktopBridge::SetLoop(bool on)
{
    // The Options check is the live setting; the window follows its change.
    if (frmOptions)
        frmOptions->cbLoopPlayList->setChecked(on);
    else {
        TPlaybackOptions options = m_window->playbackOptions();
        options.LoopPlaylist = on;
        m_window->SetPlaybackOptions(options);
    }
}

void TDesktopBridge::SetVolume(double volume)
{
    m_window->SetVolume(volume);
}

void TDesktopBridge::ActivatePlaylist(qint64 id)
{
    auto *chooser = m_window->findChild<QComboBox *>(QStringLiteral("ccbPlayLists"));
    const int index =
        chooser ? chooser->findText(QStringLiteral("[%1] - ").arg(id), Qt::MatchStartsWith) : -1;
    if (index < 0)
        return;
    m_window->btnStopClick();
    chooser->setCurrentIndex(index);
    m_window->ccbPlayListsChange();
    if (m_window->playlistSongs()->Active())
        m_window->playlistSongs()->First();
    m_window->btnPlayClick();
}

void TDesktopBridge::OpenFiles(const QStringList &files)
{
    if (OnOpenFiles)
        OnOpenFiles(files);
}

void TDesktopBridge::Raise()
{
    if (m_window->isMinimized())
        m_window->showNormal();
    else
        m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void TDesktopBridge::Quit()
{
    m_window->close();
}

void TDesktopBridge::Watch()
{
    const TPlayerStatus status = Status();
    if (m_inhibitor)
        m_inhibitor->SetHeld(status == TPlayerStatus::Playing);
    if (status != TPlayerStatus::Playing) {
        if (status == TPlayerStatus::Stopped)
            m_notifiedTrack.clear();
        return;
    }
    const TPlayerTrack track = Track();
    if (track.Id == m_notifiedTrack)
        return;
    m_notifiedTrack = track.Id;
    if (!m_notify || !m_notifier)
        return;
    QStringList about;
    if (!track.Artist.isEmpty())
        about.append(track.Artist);
    if (!track.Album.isEmpty())
        about.append(track.Album);
    m_notifier->Show(track.Title, about.join(QStringLiteral(" \u2014 ")));
}

QString LibraryKey()
{
    const QString server = ServerLibrarySetting();
    return server.isEmpty() ? FindLibraryLocation().LibraryFile : server;
}

TDesktopBridge *JoinDesktop(TfrmMain *window, TSingleInstance &instance, const QStringList &opened)
{
    auto *desktop = new TDesktopBridge(window);
    desktop->OnOpenFiles = [window](const QStringList &files) {
        RunReportingErrors([&] { OpenFilesInWindow(window, files); });
    };
    if (frmOptions) {
        desktop->SetNotifications(frmOptions->cbNotifications->isChecked());
        QObject::connect(frmOptions, &TfrmOptions::NotificationsChanged, desktop,
                         &TDesktopBridge::SetNotifications);
    }
    desktop->RegisterPlayer();
    QObject::connect(&instance, &TSingleInstance::Received, desktop,
                     [desktop](const QStringList &files) {
                         desktop->Raise();
                         desktop->OpenFiles(files);
                     });
    if (!opened.isEmpty())
        QTimer::singleShot(0, desktop, [desktop, opened] { desktop->OpenFiles(opened); });
    return desktop;
}
