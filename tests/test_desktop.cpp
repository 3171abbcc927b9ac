#include "app/DesktopBridge.h"
#include "controls/DBGrid.h"
#include "platform/MediaPlayer.h"
#include "platform/MprisService.h"
#include "platform/SingleInstance.h"
#include "platform/SleepInhibitor.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/TestLibrary.h"

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace
{
const QString Player = QStringLiteral("org.mpris.MediaPlayer2.Player");

// A second connection to the test's private bus, as a desktop remote has.
QDBusConnection Remote()
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("remote"));
}

// Calls without blocking the window, which answers on this thread.
QDBusMessage Call(const QString &interface, const QString &method, const QVariantList &args = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        TMprisService::BaseServiceName, TMprisService::ObjectPath, interface, method);
    call.setArguments(args);
    QDBusPendingCall pending = Remote().asyncCall(call);
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 5000))
        return {};
    return pending.reply();
}

QVariant Get(const QString &interface, const QString &property)
{
    const QDBusMessage reply = Call(QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("Get"), {interface, property});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

QVariantMap Metadata()
{
    QVariantMap map;
    Get(Player, QStringLiteral("Metadata")).value<QDBusArgument>() >> map;
    return map;
}

QString TrackId(const QVariantMap &metadata)
{
    return metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
}
} // namespace

// What a remote hears: PropertiesChanged and Seeked.
class TSignalLog : public QObject
{
    Q_OBJECT
public:
    QList<QVariantMap> Changes;
    QList<qint64> Seeks;
    int Changed(const QString &property) const
    {
        int n = 0;
        for (const QVariantMap &change : Changes)
            n += change.contains(property);
        return n;
    }
public slots:
    void PropertiesChanged(const QString &interface, const QVariantMap &changed,
                           const QStringList &)
    {
        if (interface == Player)
            Changes.append(changed);
    }
    void Seeked(qlonglong position) { Seeks.append(position); }
};

// A notification service of the test's own.
class TFakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList Summaries;
    QList<uint> Replaced;
public slots:
    uint Notify(const QString &, uint replacesId, const QString &, const QString &summary,
                const QString &, const QStringList &, const QVariantMap &, int)
    {
        Summaries.append(summary);
        Replaced.append(replacesId);
        return replacesId == 0 ? 7 : replacesId;
    }
};

// login1's inhibitor: hands out the write end of a pipe; its read end sees the end of file
// when every copy is closed, which is the release.
class TFakeLogin : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QStringList Asked;
    int ReadEnd = -1;
    ~TFakeLogin() override
    {
        if (ReadEnd >= 0)
            ::close(ReadEnd);
    }
    bool Released() const
    {
        char byte;
        return ReadEnd >= 0 && ::read(ReadEnd, &byte, 1) == 0;
    }
public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why,
                                    const QString &mode)
    {
        Asked.append(what + QLatin1Char('/') + mode);
        Q_UNUSED(who);
        Q_UNUSED(why);
        int ends[2];
        if (::pipe(ends) != 0)
            return {};
        if (ReadEnd >= 0)
            ::close(ReadEnd);
        ReadEnd = ends[0];
        ::fcntl(ReadEnd, F_SETFL, O_NONBLOCK);
        QDBusUnixFileDescriptor handed(ends[1]);
        ::close(ends[1]);
        return handed;
    }
};

// The desktop portal's Inhibit, and the request it hands back, closed to release it.
class TFakePortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
public:
    QList<uint> Flags;
public slots:
    QDBusObjectPath Inhibit(const QString &, uint flags, const QVariantMap &)
    {
        Flags.append(flags);
        return QDBusObjectPath(QStringLiteral("/org/freedesktop/portal/desktop/request/1_1/q"));
    }
};

class TFakeRequest : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    int Closed = 0;
public slots:
    void Close() { ++Closed; }
};

class DesktopTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // The system bus is the private one too, where the fake login1 lives.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    }
    void SetUp() override
    {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus: run under dbus-run-session";
        TMediaPlayer::SetSilentOnly(true);
        list = library.AddPlaylist(QStringLiteral("Evening"));
        other = library.AddPlaylist(QStringLiteral("Morning"));
        SilentMp3Options options;
        options.Frames = 800; // about twenty seconds: no song ends during a case
        for (int i = 1; i <= 2; ++i) {
            const QString name = QStringLiteral("s%1.mp3").arg(i);
            WriteSilentMp3(library.Directory() + name, options);
            songs << library.AddSong(QStringLiteral("S%1").arg(i), library.Directory(), name);
        }
        // The same song twice, then the other.
        library.AddEntry(list, songs[0], 1);
        library.AddEntry(list, songs[0], 2);
        library.AddEntry(list, songs[1], 3);
        library.AddEntry(other, songs[1], 1);
        window = StartMainWindow();
        bridge = new TDesktopBridge(window.get());
        ASSERT_TRUE(bridge->RegisterPlayer());
        Remote().connect(TMprisService::BaseServiceName, TMprisService::ObjectPath,
                         QStringLiteral("org.freedesktop.DBus.Properties"),
                         QStringLiteral("PropertiesChanged"), &log,
                         SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
        Remote().connect(TMprisService::BaseServiceName, TMprisService::ObjectPath, Player,
                         QStringLiteral("Seeked"), &log, SLOT(Seeked(qlonglong)));
    }
    void TearDown() override
    {
        window.reset();
        frmMain = nullptr;
        TMediaPlayer::SetSilentOnly(false);
        QDBusConnection::disconnectFromBus(QStringLiteral("remote"));
    }
    bool WaitForStatus(const QString &status)
    {
        return QTest::qWaitFor(
            [&] { return Get(Player, QStringLiteral("PlaybackStatus")).toString() == status; },
            5000);
    }
    QString CurrentTitle() const
    {
        return window->playlistSongs()->AsString(QStringLiteral("ID3_Title"));
    }

    TestLibrary library;
    ScriptedMessages messages;
    qint64 list = 0, other = 0;
    QList<qint64> songs;
    TMainWindowPtr window;
    TDesktopBridge *bridge = nullptr;
    TSignalLog log;
};

TEST_F(DesktopTest, TheRootInterfaceNamesTheProgramAndItsTypes)
{
    const QString root = QStringLiteral("org.mpris.MediaPlayer2");
    EXPECT_EQ(Get(root, QStringLiteral("Identity")).toString(), QStringLiteral("Quillmere"));
    EXPECT_EQ(Get(root, QStringLiteral("DesktopEntry")).toString(),
              QStringLiteral("com.corvanta.Quillmere"));
    EXPECT_TRUE(Get(root, QStringLiteral("CanRaise")).toBool());
    EXPECT_TRUE(Get(root, QStringLiteral("CanQuit")).toBool());
    EXPECT_EQ(Get(root, QStringLiteral("SupportedUriSchemes")).toStringList(),
              QStringList{QStringLiteral("file")});
    const QStringList types = Get(root, QStringLiteral("SupportedMimeTypes")).toStringList();
    for (const char *type :
         {"audio/mpeg", "audio/x-mpegurl", "audio/mpegurl", "application/vnd.apple.mpegurl",
          "audio/x-scpls", "application/xspf+xml"})
        EXPECT_TRUE(types.contains(QString::fromLatin1(type))) << type;
    window->hide();
    Call(root, QStringLiteral("Raise"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 5000));
    Call(root, QStringLiteral("Quit"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 5000));
}

TEST_F(DesktopTest, PlayerCallsPressTheWindowsButtonsAndEachChangeIsToldOnce)
{
    EXPECT_EQ(Get(Player, QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
    EXPECT_TRUE(Get(Player, QStringLiteral("CanPlay")).toBool());
    EXPECT_TRUE(Get(Player, QStringLiteral("CanControl")).toBool());
    EXPECT_EQ(Get(Player, QStringLiteral("Rate")).toDouble(), 1.0);
    EXPECT_EQ(Get(Player, QStringLiteral("LoopStatus")).toString(), QStringLiteral("None"));
    EXPECT_EQ(TrackId(Metadata()), QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));

    Call(Player, QStringLiteral("Play"));
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Playing")));
    EXPECT_EQ(window->playState(), psPlaying);
    EXPECT_EQ(window->playingSequence(), 1);
    QVariantMap metadata = Metadata();
    const QString first = TrackId(metadata);
    EXPECT_FALSE(first.startsWith(QStringLiteral("/org/mpris")));
    EXPECT_EQ(metadata.value(QStringLiteral("mpris:length")).toLongLong(),
              window->mediaPlayer()->LengthUs());
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("S1"));
    EXPECT_TRUE(
        metadata.value(QStringLiteral("xesam:url")).toString().endsWith(QStringLiteral("/s1.mp3")));
    EXPECT_TRUE(Get(Player, QStringLiteral("CanGoNext")).toBool());
    EXPECT_FALSE(Get(Player, QStringLiteral("CanGoPrevious")).toBool());

    Call(Player, QStringLiteral("Pause"));
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Paused")));
    EXPECT_EQ(window->playState(), psPaused);
    Call(Player, QStringLiteral("PlayPause"));
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Playing")));

    // The same song again is another entry, with an id of its own; the grid follows.
    Call(Player, QStringLiteral("Next"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->playingSequence() == 2; }, 5000));
    metadata = Metadata();
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("S1"));
    EXPECT_NE(TrackId(metadata), first);
    EXPECT_EQ(window->playlistSongs()->RecNo(), 1);
    Call(Player, QStringLiteral("Previous"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->playingSequence() == 1; }, 5000));
    EXPECT_EQ(TrackId(Metadata()), first);

    // Each jump is told by Seeked.
    Call(Player, QStringLiteral("SetPosition"),
         {QVariant::fromValue(QDBusObjectPath(first)), qlonglong(5000000)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.Seeks.size() == 1; }, 5000));
    EXPECT_GE(log.Seeks[0], 5000000);
    EXPECT_GE(Get(Player, QStringLiteral("Position")).toLongLong(), 5000000);
    Call(Player, QStringLiteral("Seek"), {qlonglong(3000000)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.Seeks.size() == 2; }, 5000));
    EXPECT_GE(log.Seeks[1], 8000000);
    // A jump made in the window itself is told too.
    bridge->SetPositionUs(1000000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.Seeks.size() == 3; }, 5000));
    EXPECT_LT(log.Seeks[2], 2000000);
    Call(Player, QStringLiteral("Seek"), {qlonglong(7000000)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.Seeks.size() == 4; }, 5000));
    // A position meant for another entry is ignored.
    Call(Player, QStringLiteral("SetPosition"),
         {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/no/such/entry"))), qlonglong(0)});
    EXPECT_GE(Get(Player, QStringLiteral("Position")).toLongLong(), 8000000);

    Call(Player, QStringLiteral("Stop"));
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Stopped")));
    EXPECT_EQ(window->playState(), psIdle);
    // Playing, Paused, Playing, Stopped (Next and Previous pass through Stopped within one call,
    // which is no change a remote sees).
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return log.Changed(QStringLiteral("PlaybackStatus")) >= 4; }, 5000));
    EXPECT_EQ(log.Changed(QStringLiteral("PlaybackStatus")), 4);
    // Play, Next, Previous, Stop changed the song.
    EXPECT_EQ(log.Changed(QStringLiteral("Metadata")), 4);
    EXPECT_EQ(log.Seeks.size(), 4);

    // LoopStatus is the Options' loop.
    Call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
         {Player, QStringLiteral("LoopStatus"),
          QVariant::fromValue(QDBusVariant(QStringLiteral("Playlist")))});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->playbackOptions().LoopPlaylist; }, 5000));
    EXPECT_EQ(Get(Player, QStringLiteral("LoopStatus")).toString(), QStringLiteral("Playlist"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return log.Changed(QStringLiteral("LoopStatus")) == 1; }, 5000));

    // A song moved near its end still ends into the next entry.
    Call(Player, QStringLiteral("Play"));
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Playing")));
    const QVariantMap playing = Metadata();
    Call(Player, QStringLiteral("SetPosition"),
         {QVariant::fromValue(QDBusObjectPath(TrackId(playing))),
          qlonglong(playing.value(QStringLiteral("mpris:length")).toLongLong() - 200000)});
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->playingSequence() == 2; }, 5000));
}

TEST_F(DesktopTest, ActivatingAStoredPlaylistOpensItAndPlaysItsFirstEntry)
{
    const QString playlists = QStringLiteral("org.mpris.MediaPlayer2.Playlists");
    EXPECT_EQ(Get(playlists, QStringLiteral("PlaylistCount")).toUInt(), 2u);
    const QDBusMessage reply = Call(playlists, QStringLiteral("GetPlaylists"),
                                    {0u, 10u, QStringLiteral("Alphabetical"), false});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    const QString path = QStringLiteral("/com/corvanta/Quillmere/Playlist/%1").arg(other);
    EXPECT_TRUE(reply.signature() == QLatin1String("a(oss)")) << qPrintable(reply.signature());
    QStringList names;
    const QDBusArgument listed = reply.arguments().value(0).value<QDBusArgument>();
    listed.beginArray();
    while (!listed.atEnd()) {
        QDBusObjectPath id;
        QString name, icon;
        listed.beginStructure();
        listed >> id >> name >> icon;
        listed.endStructure();
        names << name;
    }
    listed.endArray();
    EXPECT_EQ(names, QStringList({"Evening", "Morning"}));
    Call(playlists, QStringLiteral("ActivatePlaylist"),
         {QVariant::fromValue(QDBusObjectPath(path))});
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Playing")));
    EXPECT_EQ(window->CurrentPlaylistId(), other);
    EXPECT_EQ(CurrentTitle(), QStringLiteral("S2"));
    const QDBusMessage refused =
        Call(playlists, QStringLiteral("ActivatePlaylist"),
             {QVariant::fromValue(
                 QDBusObjectPath(QStringLiteral("/com/corvanta/Quillmere/Playlist/999")))});
    EXPECT_EQ(refused.type(), QDBusMessage::ErrorMessage);
}

TEST_F(DesktopTest, ANotificationPerSongReplacesTheLastOnlyWhenTurnedOn)
{
    TFakeNotifications fake;
    QDBusConnection service =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("notifications"));
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    // The bridge has looked at the playing song at least once after each call.
    QSignalSpy looks(bridge->Watcher(), &QTimer::timeout);
    const auto looked = [&] {
        looks.clear();
        return QTest::qWaitFor([&] { return looks.size() >= 2; }, 5000);
    };
    Call(Player, QStringLiteral("Play"));
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Playing")));
    ASSERT_TRUE(looked()); // off by default: S1 shows nothing

    bridge->SetNotifications(true);
    Call(Player, QStringLiteral("Next"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.Summaries.size() == 1; }, 5000));
    Call(Player, QStringLiteral("Pause"));
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Paused")));
    ASSERT_TRUE(looked());
    Call(Player, QStringLiteral("Play"));
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Playing")));
    ASSERT_TRUE(looked()); // a resume is no new song
    Call(Player, QStringLiteral("Next"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.Summaries.size() >= 2; }, 5000));
    // Calls reach the service in order: a bubble for S1 or the resume would come first.
    EXPECT_EQ(fake.Summaries, QStringList({"S1", "S2"}));
    EXPECT_EQ(fake.Replaced, QList<uint>({0, 7}));
    service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    QDBusConnection::disconnectFromBus(QStringLiteral("notifications"));
}

TEST_F(DesktopTest, SleepIsInhibitedWhilePlayingAndReleasedOnPauseAndStop)
{
    TFakeLogin fake;
    QDBusConnection service =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("login"));
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/login1"), &fake,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.login1")));
    TSleepInhibitor inhibitor(QDBusConnection::sessionBus(), QDBusConnection::sessionBus());
    inhibitor.SetHeld(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor.Active(); }, 5000));
    EXPECT_EQ(fake.Asked, QStringList{QStringLiteral("sleep/block")});
    EXPECT_FALSE(fake.Released());
    inhibitor.SetHeld(false);
    EXPECT_FALSE(inhibitor.Active());
    EXPECT_TRUE(QTest::qWaitFor([&] { return fake.Released(); }, 5000));

    // The window holds it while a song plays.
    Call(Player, QStringLiteral("Play"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.Asked.size() == 2; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fake.Released(); }, 5000));
    Call(Player, QStringLiteral("Pause"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return fake.Released(); }, 5000));
    Call(Player, QStringLiteral("Play"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.Asked.size() == 3; }, 5000));
    Call(Player, QStringLiteral("Stop"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return fake.Released(); }, 5000));
    service.unregisterService(QStringLiteral("org.freedesktop.login1"));
    QDBusConnection::disconnectFromBus(QStringLiteral("login"));
}

TEST_F(DesktopTest, WithoutLogin1ThePortalKeepsTheSystemAwakeButNeverTheScreen)
{
    TFakePortal portal;
    TFakeRequest request;
    QDBusConnection service =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("portal"));
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(
        service.registerObject(QStringLiteral("/org/freedesktop/portal/desktop/request/1_1/q"),
                               &request, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
    // No login1 on this bus: its call fails and the portal is asked.
    TSleepInhibitor inhibitor(QDBusConnection::sessionBus(), QDBusConnection::sessionBus());
    inhibitor.SetHeld(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor.Active(); }, 5000));
    EXPECT_EQ(portal.Flags, QList<uint>{4u}); // suspend only: no idle, no logout
    inhibitor.SetHeld(false);
    EXPECT_FALSE(inhibitor.Active());
    EXPECT_TRUE(QTest::qWaitFor([&] { return request.Closed == 1; }, 5000));
    service.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
}

TEST(SingleInstance, ArgumentsBecomeFilesOfTheStartsFolder)
{
    EXPECT_EQ(TSingleInstance::LocalFiles({QStringLiteral("a b.mp3"),
                                           QStringLiteral("file:///music/x%20y.pls"),
                                           QStringLiteral("/abs/../c.m3u"), QString()},
                                          QStringLiteral("/home/me")),
              QStringList({"/home/me/a b.mp3", "/music/x y.pls", "/c.m3u"}));
}

#include "test_desktop.moc"
