#include "platform/MprisService.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QUrl>

const QString TMprisService::ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString TMprisService::BaseServiceName = QStringLiteral("org.mpris.MediaPlayer2.quillmere");

namespace
{
const QString RootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString PlaylistsInterface = QStringLiteral("org.mpris.MediaPlayer2.Playlists");
const QString NoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
// A jump of the control's own (a click on the progress bar) is told from the clock's steps.
const qint64 JumpToleranceUs = 500000;

QString PlaylistPath(qint64 id)
{
    return QStringLiteral("/com/corvanta/Quillmere/Playlist/%1").arg(id);
}

qint64 PlaylistIdOf(const QString &path)
{
    const QString prefix = QStringLiteral("/com/corvanta/Quillmere/Playlist/");
    if (!path.startsWith(prefix))
        return 0;
    bool ok = false;
    const qint64 id = path.mid(prefix.size()).toLongLong(&ok);
    return ok ? id : 0;
}
} // namespace

// (oss): a playlist's path, name and icon.
struct TMprisPlaylist {
    QDBusObjectPath Id{QStringLiteral("/")};
    QString Name;
    QString Icon;
};
// (b(oss)): the active playlist, when there is one.
struct TMprisMaybePlaylist {
    bool Valid = false;
    TMprisPlaylist Playlist;
};
Q_DECLARE_METATYPE(TMprisPlaylist)
Q_DECLARE_METATYPE(TMprisMaybePlaylist)
Q_DECLARE_METATYPE(QList<TMprisPlaylist>)

QDBusArgument &operator<<(QDBusArgument &argument, const TMprisPlaylist &playlist)
{
    argument.beginStructure();
    argument << playlist.Id << playlist.Name << playlist.Icon;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, TMprisPlaylist &playlist)
{
    argument.beginStructure();
    argument >> playlist.Id >> playlist.Name >> playlist.Icon;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const TMprisMaybePlaylist &maybe)
{
    argument.beginStructure();
    argument << maybe.Valid << maybe.Playlist;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, TMprisMaybePlaylist &maybe)
{
    argument.beginStructure();
    argument >> maybe.Valid >> maybe.Playlist;
    argument.endStructure();
    return argument;
}

class TMprisRootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

public:
    explicit TMprisRootAdaptor(TMprisService *service)
        : QDBusAbstractAdaptor(service), m_service(service)
    {
    }
    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Quillmere"); }
    QString DesktopEntry() const { return QStringLiteral("com.corvanta.Quillmere"); }
    QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList SupportedMimeTypes() const
    {
        return {QStringLiteral("audio/mpeg"),    QStringLiteral("audio/x-mpegurl"),
                QStringLiteral("audio/mpegurl"), QStringLiteral("application/vnd.apple.mpegurl"),
                QStringLiteral("audio/x-scpls"), QStringLiteral("application/xspf+xml")};
    }

public slots:
    void Raise()
    {
        m_service->Later([this] { m_service->Control().Raise(); });
    }
    void Quit()
    {
        m_service->Later([this] { m_service->Control().Quit(); });
    }

private:
    TMprisService *m_service;
};

class TMprisPlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)

public:
    explicit TMprisPlayerAdaptor(TMprisService *service)
        : QDBusAbstractAdaptor(service), m_service(service)
    {
        connect(service, &TMprisService::Seeked, this, &TMprisPlayerAdaptor::Seeked);
    }
    TPlayerControl &Control() const { return m_service->Control(); }
    QString PlaybackStatus() const { return TMprisService::StatusText(Control().Status()); }
    QString LoopStatus() const
    {
        return Control().Loop() ? QStringLiteral("Playlist") : QStringLiteral("None");
    }
    void SetLoopStatus(const QString &status)
    {
        // Only the whole playlist loops; a single song cannot.
        if (status != QLatin1String("None") && status != QLatin1String("Playlist")) {
            m_service->RefuseCall(QStringLiteral("org.freedesktop.DBus.Error.NotSupported"),
                                  QStringLiteral("Only None and Playlist loop here."));
            return;
        }
        const bool on = status == QLatin1String("Playlist");
        m_service->Later([this, on] { Control().SetLoop(on); });
    }
    double Rate() const { return 1.0; }
    void SetRate(double) {}
    QVariantMap Metadata() const { return m_service->Metadata(); }
    double Volume() const { return Control().Volume(); }
    void SetVolume(double volume)
    {
        volume = qBound(0.0, volume, 1.0);
        m_service->Later([this, volume] { Control().SetVolume(volume); });
    }
    qlonglong Position() const { return Control().PositionUs(); }
    bool CanGoNext() const { return Control().CanGoNext(); }
    bool CanGoPrevious() const { return Control().CanGoPrevious(); }
    bool CanPlay() const { return Control().CanPlay(); }
    bool CanPause() const { return Control().Status() != TPlayerStatus::Stopped; }
    bool CanSeek() const { return Control().Status() != TPlayerStatus::Stopped; }
    bool CanControl() const { return true; }

public slots:
    void Play()
    {
        m_service->Later([this] { Control().Play(); });
    }
    void Pause()
    {
        m_service->Later([this] {
            if (Control().Status() == TPlayerStatus::Playing)
                Control().Pause();
        });
    }
    void PlayPause()
    {
        m_service->Later([this] {
            if (Control().Status() == TPlayerStatus::Playing)
                Control().Pause();
            else
                Control().Play();
        });
    }
    void Stop()
    {
        m_service->Later([this] { Control().Stop(); });
    }
    void Next()
    {
        m_service->Later([this] { Control().Next(); });
    }
    void Previous()
    {
        m_service->Later([this] { Control().Previous(); });
    }
    void Seek(qlonglong offset) { m_service->Seek(offset); }
    void SetPosition(const QDBusObjectPath &trackId, qlonglong position)
    {
        m_service->SetPosition(trackId.path(), position);
    }
    void OpenUri(const QString &uri) { m_service->OpenUri(uri); }

signals:
    void Seeked(qlonglong Position);

private:
    TMprisService *m_service;
};

class TMprisPlaylistsAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Playlists")
    Q_PROPERTY(uint PlaylistCount READ PlaylistCount)
    Q_PROPERTY(QStringList Orderings READ Orderings)
    Q_PROPERTY(TMprisMaybePlaylist ActivePlaylist READ ActivePlaylist)

public:
    explicit TMprisPlaylistsAdaptor(TMprisService *service)
        : QDBusAbstractAdaptor(service), m_service(service)
    {
    }
    static TMprisPlaylist Entry(const TPlayerPlaylist &playlist)
    {
        return {QDBusObjectPath(PlaylistPath(playlist.Id)), playlist.Name, QString()};
    }
    uint PlaylistCount() const { return uint(m_service->Control().Playlists().size()); }
    // The playlists come as the window's chooser lists them, by name.
    QStringList Orderings() const { return {QStringLiteral("Alphabetical")}; }
    TMprisMaybePlaylist ActivePlaylist() const
    {
        const qint64 active = m_service->Control().ActivePlaylist();
        for (const TPlayerPlaylist &playlist : m_service->Control().Playlists()) {
            if (playlist.Id == active)
                return {true, Entry(playlist)};
        }
        return {};
    }

public slots:
    void ActivatePlaylist(const QDBusObjectPath &playlistId)
    {
        const qint64 id = PlaylistIdOf(playlistId.path());
        bool known = false;
        for (const TPlayerPlaylist &playlist : m_service->Control().Playlists())
            known = known || playlist.Id == id;
        if (!known) {
            m_service->RefuseCall(
                QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                QStringLiteral("There is no playlist %1.").arg(playlistId.path()));
            return;
        }
        m_service->Later([this, id] { m_service->Control().ActivatePlaylist(id); });
    }
    QList<TMprisPlaylist> GetPlaylists(uint index, uint maxCount, const QString &order,
                                       bool reverseOrder)
    {
        Q_UNUSED(order);
        QList<TPlayerPlaylist> all = m_service->Control().Playlists();
        if (reverseOrder)
            std::reverse(all.begin(), all.end());
        QList<TMprisPlaylist> result;
        for (qsizetype i = index; i < all.size() && result.size() < qsizetype(maxCount); ++i)
            result.append(Entry(all[i]));
        return result;
    }

signals:
    void PlaylistChanged(const TMprisPlaylist &playlist);

private:
    TMprisService *m_service;
};

bool TPlayerTrack::operator==(const TPlayerTrack &other) const
{
    return Id == other.Id && LengthUs == other.LengthUs && Title == other.Title &&
           Artist == other.Artist && Album == other.Album && TrackNumber == other.TrackNumber &&
           FileName == other.FileName;
}

TMprisService::TMprisService(TPlayerControl &control, QObject *parent)
    : QObject(parent), m_control(control), m_bus(QString())
{
    qDBusRegisterMetaType<TMprisPlaylist>();
    qDBusRegisterMetaType<TMprisMaybePlaylist>();
    qDBusRegisterMetaType<QList<TMprisPlaylist>>();
    new TMprisRootAdaptor(this);
    new TMprisPlayerAdaptor(this);
    new TMprisPlaylistsAdaptor(this);
    m_poll.setInterval(PollMs);
    connect(&m_poll, &QTimer::timeout, this, &TMprisService::Update);
}

TMprisService::~TMprisService()
{
    if (!m_registered)
        return;
    m_bus.unregisterObject(ObjectPath);
    m_bus.unregisterService(m_serviceName);
}

bool TMprisService::Register(const QDBusConnection &bus)
{
    if (m_registered || !bus.isConnected())
        return false;
    m_bus = bus;
    if (!m_bus.registerObject(ObjectPath, this, QDBusConnection::ExportAdaptors))
        return false;
    // The name is the desktop's way to the player; another copy of the program (on another
    // library) takes one of its own.
    QString name = BaseServiceName;
    if (!m_bus.registerService(name)) {
        name =
            BaseServiceName + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        if (!m_bus.registerService(name)) {
            m_bus.unregisterObject(ObjectPath);
            return false;
        }
    }
    m_serviceName = name;
    m_registered = true;
    m_last = Take();
    m_lastTaken.start();
    m_poll.start();
    return true;
}

QString TMprisService::StatusText(TPlayerStatus status)
{
    switch (status) {
    case TPlayerStatus::Playing:
        return QStringLiteral("Playing");
    case TPlayerStatus::Paused:
        return QStringLiteral("Paused");
    case TPlayerStatus::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap TMprisService::MetadataOf(const TPlayerTrack &track)
{
    QVariantMap metadata;
    metadata.insert(QStringLiteral("mpris:trackid"),
                    QVariant::fromValue(QDBusObjectPath(track.Id.isEmpty() ? NoTrack : track.Id)));
    if (track.Id.isEmpty())
        return metadata;
    metadata.insert(QStringLiteral("mpris:length"), qlonglong(track.LengthUs));
    metadata.insert(QStringLiteral("xesam:title"), track.Title);
    if (!track.Artist.isEmpty())
        metadata.insert(QStringLiteral("xesam:artist"), QStringList{track.Artist});
    if (!track.Album.isEmpty())
        metadata.insert(QStringLiteral("xesam:album"), track.Album);
    if (track.TrackNumber > 0)
        metadata.insert(QStringLiteral("xesam:trackNumber"), track.TrackNumber);
    if (!track.FileName.isEmpty())
        metadata.insert(QStringLiteral("xesam:url"),
                        QString::fromUtf8(QUrl::fromLocalFile(track.FileName).toEncoded()));
    return metadata;
}

QVariantMap TMprisService::Metadata() const
{
    return MetadataOf(m_control.Track());
}

TMprisService::TSnapshot TMprisService::Take() const
{
    TSnapshot snapshot;
    snapshot.Status = m_control.Status();
    snapshot.Track = m_control.Track();
    snapshot.PositionUs = m_control.PositionUs();
    const bool active = snapshot.Status != TPlayerStatus::Stopped;
    snapshot.Player = {
        {QStringLiteral("PlaybackStatus"), StatusText(snapshot.Status)},
        {QStringLiteral("LoopStatus"),
         m_control.Loop() ? QStringLiteral("Playlist") : QStringLiteral("None")},
        {QStringLiteral("Volume"), m_control.Volume()},
        {QStringLiteral("Metadata"), MetadataOf(snapshot.Track)},
        {QStringLiteral("CanGoNext"), m_control.CanGoNext()},
        {QStringLiteral("CanGoPrevious"), m_control.CanGoPrevious()},
        {QStringLiteral("CanPlay"), m_control.CanPlay()},
        {QStringLiteral("CanPause"), active},
        {QStringLiteral("CanSeek"), active},
    };
    const QList<TPlayerPlaylist> playlists = m_control.Playlists();
    const qint64 activeId = m_control.ActivePlaylist();
    TMprisMaybePlaylist activePlaylist;
    for (const TPlayerPlaylist &playlist : playlists) {
        if (playlist.Id == activeId)
            activePlaylist = {true, TMprisPlaylistsAdaptor::Entry(playlist)};
    }
    snapshot.Playlists = {
        {QStringLiteral("PlaylistCount"), uint(playlists.size())},
        {QStringLiteral("ActivePlaylist"), QVariant::fromValue(activePlaylist)},
    };
    return snapshot;
}

void TMprisService::SendChanges(const QString &interface, const QVariantMap &before,
                                const QVariantMap &after)
{
    QVariantMap changed;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const QVariant old = before.value(it.key());
        // Structures compare by their marshalled form.
        const bool same = it.value().userType() == qMetaTypeId<TMprisMaybePlaylist>()
                              ? old.isValid() &&
                                    old.value<TMprisMaybePlaylist>().Valid ==
                                        it.value().value<TMprisMaybePlaylist>().Valid &&
                                    old.value<TMprisMaybePlaylist>().Playlist.Id ==
                                        it.value().value<TMprisMaybePlaylist>().Playlist.Id &&
                                    old.value<TMprisMaybePlaylist>().Playlist.Name ==
                                        it.value().value<TMprisMaybePlaylist>().Playlist.Name
                              : old == it.value();
        if (!same)
            changed.insert(it.key(), it.value());
    }
    if (changed.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(ObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << interface << changed << QStringList();
    m_bus.send(signal);
}

void TMprisService::Update()
{
    if (!m_registered)
        return;
    const TSnapshot now = Take();
    const qint64 elapsedUs = m_lastTaken.nsecsElapsed() / 1000;
    m_lastTaken.start();
    SendChanges(PlayerInterface, m_last.Player, now.Player);
    SendChanges(PlaylistsInterface, m_last.Playlists, now.Playlists);
    // A jump within the same song, made in the window: the clock alone moves it forward.
    if (now.Status != TPlayerStatus::Stopped && now.Status == m_last.Status &&
        now.Track.Id == m_last.Track.Id) {
        const qint64 expected =
            m_last.PositionUs + (now.Status == TPlayerStatus::Playing ? elapsedUs : 0);
        if (qAbs(now.PositionUs - expected) > JumpToleranceUs)
            emit Seeked(now.PositionUs);
    }
    m_last = now;
}

void TMprisService::Jumped(qint64 positionUs)
{
    emit Seeked(positionUs);
    m_last = Take();
    m_lastTaken.start();
}

void TMprisService::Later(std::function<void()> action)
{
    QMetaObject::invokeMethod(
        this,
        [this, action = std::move(action)] {
            action();
            Update();
        },
        Qt::QueuedConnection);
}

void TMprisService::Seek(qint64 offsetUs)
{
    Later([this, offsetUs] {
        if (m_control.Status() == TPlayerStatus::Stopped)
            return;
        const TPlayerTrack track = m_control.Track();
        const qint64 target = qMax<qint64>(0, m_control.PositionUs() + offsetUs);
        // Past the end is the next song.
        if (target >= track.LengthUs) {
            if (m_control.CanGoNext())
                m_control.Next();
            else
                m_control.Stop();
            return;
        }
        m_control.SetPositionUs(target);
        Jumped(m_control.PositionUs());
    });
}

void TMprisService::SetPosition(const QString &trackId, qint64 positionUs)
{
    Later([this, trackId, positionUs] {
        const TPlayerTrack track = m_control.Track();
        // A call meant for another song, or a place outside this one, is ignored.
        if (track.Id.isEmpty() || trackId != track.Id || positionUs < 0 ||
            positionUs > track.LengthUs || m_control.Status() == TPlayerStatus::Stopped)
            return;
        m_control.SetPositionUs(positionUs);
        Jumped(m_control.PositionUs());
    });
}

void TMprisService::OpenUri(const QString &uri)
{
    const QUrl url(uri);
    if (!url.isLocalFile()) {
        RefuseCall(QStringLiteral("org.freedesktop.DBus.Error.NotSupported"),
                   QStringLiteral("Only file: addresses can be opened."));
        return;
    }
    const QString file = url.toLocalFile();
    Later([this, file] { m_control.OpenFiles({file}); });
}

void TMprisService::RefuseCall(const QString &name, const QString &text)
{
    if (calledFromDBus())
        sendErrorReply(name, text);
}

#include "MprisService.moc"
