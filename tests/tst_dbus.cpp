// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop integration on a private session bus of its own: MPRIS2 driven
// by a client connection as a desktop's media widget would, the screen saver
// held off while a video plays (a fake org.freedesktop.ScreenSaver, and the
// portal when that is missing, and one that comes later), the dock's progress,
// and Esc leaving full screen.
#include "app/DesktopIntegration.h"
#include "app/Taskbar.h"
#include "app/Unit1.h"
#include "lists/Unit6.h"
#include "persist/IniFile.h"
#include "support/FakePlayer.h"
#include "support/PrivateBus.h"
#include "support/TestServices.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

namespace
{

const QString kMpris = QStringLiteral("org.mpris.MediaPlayer2.pelmora");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

QString g_busAddress; // empty: no dbus-daemon, the tests skip

QDBusConnection client()
{
    return QDBusConnection::connectToBus(g_busAddress, QStringLiteral("client"));
}

// A call through the bus, answered while events go on (the program answers on
// this thread).
QDBusMessage call(const QString &service, const QString &interface, const QString &method,
                  const QVariantList &args = {})
{
    QDBusMessage m = QDBusMessage::createMethodCall(service, kPath, interface, method);
    m.setArguments(args);
    QDBusPendingCall pending = client().asyncCall(m, 5000);
    static_cast<void>(QTest::qWaitFor([&] { return pending.isFinished(); }, 6000));
    return pending.reply();
}

QVariant mprisGet(const QString &interface, const QString &name)
{
    const QDBusMessage reply = call(kMpris, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("Get"), {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QVariant();
    return reply.arguments().first().value<QDBusVariant>().variant();
}

QDBusMessage mprisSet(const QString &interface, const QString &name, const QVariant &value)
{
    return call(kMpris, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                {interface, name, QVariant::fromValue(QDBusVariant(value))});
}

QVariantMap metadata()
{
    const QVariant v = mprisGet(kPlayer, QStringLiteral("Metadata"));
    return qdbus_cast<QVariantMap>(v.value<QDBusArgument>());
}

bool nameOwned(const QString &name)
{
    return client().interface()->isServiceRegistered(name).value();
}

} // namespace

// Signals seen by the client.
class Listener : public QObject
{
    Q_OBJECT

public:
    QList<QVariantMap> changed;
    QList<qlonglong> seeked;

public slots:
    void propertiesChanged(const QString &interface, const QVariantMap &properties,
                           const QStringList &)
    {
        if (interface == kPlayer || interface == kRoot) changed << properties;
    }
    void onSeeked(qlonglong position) { seeked << position; }
};

// The progress a dock is sent for the program's launcher entry.
class DockListener : public QObject
{
    Q_OBJECT

public:
    QList<QVariantMap> updates;

public slots:
    void update(const QString &, const QVariantMap &properties) { updates << properties; }
};

// org.freedesktop.ScreenSaver as a desktop offers it, recording the calls.
class FakeScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    QStringList calls;
    QSet<uint> held;

public slots:
    uint Inhibit(const QString &application, const QString &reason)
    {
        Q_UNUSED(reason);
        calls << QStringLiteral("Inhibit:") + application;
        held.insert(++m_next);
        return m_next;
    }
    void UnInhibit(uint cookie)
    {
        calls << QStringLiteral("UnInhibit:%1").arg(cookie);
        held.remove(cookie);
    }

private:
    uint m_next = 40;
};

// The request object the portal hands out; closing it ends the inhibition.
class FakePortalRequest : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")

public:
    bool closed = false;
public slots:
    void Close() { closed = true; }
};

class FakePortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")

public:
    QList<uint> flags;
    FakePortalRequest request;
    QString requestPath = QStringLiteral("/org/freedesktop/portal/desktop/request/1_1/pelmora");

public slots:
    QDBusObjectPath Inhibit(const QString &window, uint flag, const QVariantMap &options)
    {
        Q_UNUSED(window);
        Q_UNUSED(options);
        flags << flag;
        return QDBusObjectPath(requestPath);
    }
};

class TestDbus : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void mprisReadsAndControlsThePlayer();
    void mprisOpenRaiseQuit();
    void secondProgramTakesInstanceName();
    void mprisFollowsThePlaylist();
    void screenSaverHeldWhileVideoPlays();
    void audioOnlyHoldsNothing();
    void portalWhenScreenSaverMissing();
    void screenSaverThatComesLater();
    void dockProgressOnlyWhenItChanges();
    void escLeavesFullScreenWhenLocked();

private:
    QDBusConnection fake() const
    {
        return QDBusConnection::connectToBus(g_busAddress, QStringLiteral("fake"));
    }
    void waitForMpris(const QString &name = kMpris)
    {
        QVERIFY(QTest::qWaitFor([&] { return nameOwned(name); }, 5000));
    }
};

void TestDbus::init()
{
    if (qstrcmp(QTest::currentTestFunction(), "escLeavesFullScreenWhenLocked") == 0)
        return; // needs no bus
    if (g_busAddress.isEmpty()) QSKIP("dbus-daemon is not available");
    QVERIFY(QDBusConnection::sessionBus().isConnected());
}

void TestDbus::cleanup()
{
    if (g_busAddress.isEmpty()) return;
    fake().unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
    fake().unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    fake().unregisterService(kMpris);
    fake().unregisterObject(QStringLiteral("/org/freedesktop/ScreenSaver"));
    fake().unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"),
                            QDBusConnection::UnregisterTree);
}

void TestDbus::mprisReadsAndControlsThePlayer()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/media/講義 1.mp4")});
    QVERIFY(f->findChild<DesktopIntegration *>()->active());
    run.player()->advance(12.5);
    waitForMpris();

    Listener listener;
    QVERIFY(client().connect(QString(), kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                             QStringLiteral("PropertiesChanged"), &listener,
                             SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
    QVERIFY(client().connect(QString(), kPath, kPlayer, QStringLiteral("Seeked"), &listener,
                             SLOT(onSeeked(qlonglong))));

    // The root interface.
    QCOMPARE(mprisGet(kRoot, QStringLiteral("Identity")).toString(), QStringLiteral("Pelmora"));
    QCOMPARE(mprisGet(kRoot, QStringLiteral("DesktopEntry")).toString(),
             QStringLiteral("org.example.pelmora"));
    QCOMPARE(mprisGet(kRoot, QStringLiteral("CanQuit")).toBool(), true);
    QCOMPARE(mprisGet(kRoot, QStringLiteral("CanRaise")).toBool(), true);
    QCOMPARE(mprisGet(kRoot, QStringLiteral("SupportedUriSchemes")).toStringList(),
             QStringList{QStringLiteral("file")});
    QVERIFY(mprisGet(kRoot, QStringLiteral("SupportedMimeTypes"))
                .toStringList()
                .contains(QStringLiteral("video/mp4")));

    // What is playing.
    QCOMPARE(mprisGet(kPlayer, QStringLiteral("PlaybackStatus")).toString(),
             QStringLiteral("Playing"));
    QCOMPARE(mprisGet(kPlayer, QStringLiteral("Position")).toLongLong(), 12'500'000LL);
    QCOMPARE(mprisGet(kPlayer, QStringLiteral("Volume")).toDouble(), 0.5);
    QCOMPARE(mprisGet(kPlayer, QStringLiteral("Rate")).toDouble(), 1.0);
    for (const char *name : {"CanPlay", "CanPause", "CanSeek", "CanControl"})
        QVERIFY2(mprisGet(kPlayer, QString::fromLatin1(name)).toBool(), name);
    for (const char *name : {"CanGoNext", "CanGoPrevious"})
        QVERIFY2(!mprisGet(kPlayer, QString::fromLatin1(name)).toBool(), name);
    QVariantMap meta = metadata();
    QCOMPARE(meta.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("講義 1"));
    QCOMPARE(meta.value(QStringLiteral("xesam:url")).toString(),
             QUrl::fromLocalFile(QStringLiteral("/media/講義 1.mp4")).toString());
    QCOMPARE(meta.value(QStringLiteral("mpris:length")).toLongLong(), 600'000'000LL);
    const QDBusObjectPath track =
        meta.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>();
    // Not under /org/mpris: MPRIS keeps those paths for itself.
    QVERIFY2(track.path().startsWith(QStringLiteral("/org/pelmora/track/")),
             qPrintable(track.path()));

    // PlayPause pauses, and the change is announced.
    QCOMPARE(call(kMpris, kPlayer, QStringLiteral("PlayPause")).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(run.player()->playState(), int(MediaPlayer::Paused));
    QCOMPARE(mprisGet(kPlayer, QStringLiteral("PlaybackStatus")).toString(),
             QStringLiteral("Paused"));
    QTRY_VERIFY(!listener.changed.isEmpty());
    QCOMPARE(listener.changed.last().value(QStringLiteral("PlaybackStatus")).toString(),
             QStringLiteral("Paused"));

    // Seek by an offset, in microseconds; below 0 lands at 0. Every seek is
    // announced once, at once, whoever asked for it.
    call(kMpris, kPlayer, QStringLiteral("Seek"), {QVariant::fromValue(qlonglong(30'000'000))});
    QCOMPARE(run.player()->currentPosition(), 42.5);
    QCOMPARE(mprisGet(kPlayer, QStringLiteral("Position")).toLongLong(), 42'500'000LL);
    QTRY_COMPARE(listener.seeked.value(0), 42'500'000LL);
    f->N5D1->trigger();                     // a 5 s step of the program's own
    run.player()->setCurrentPosition(47.8); // the control bar's
    QTRY_COMPARE(listener.seeked.size(), 3);
    QCOMPARE(listener.seeked.at(1), 47'500'000LL);
    QCOMPARE(listener.seeked.at(2), 47'800'000LL);
    listener.seeked.clear();
    call(kMpris, kPlayer, QStringLiteral("Seek"), {QVariant::fromValue(qlonglong(-100'000'000))});
    QCOMPARE(run.player()->currentPosition(), 0.0);
    QCOMPARE(run.player()->playState(), int(MediaPlayer::Paused));

    // SetPosition for the current track; a stale id or a place beyond the end
    // is ignored.
    call(kMpris, kPlayer, QStringLiteral("SetPosition"),
         {QVariant::fromValue(track), QVariant::fromValue(qlonglong(100'000'000))});
    QCOMPARE(run.player()->currentPosition(), 100.0);
    call(kMpris, kPlayer, QStringLiteral("SetPosition"),
         {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/other"))),
          QVariant::fromValue(qlonglong(5'000'000))});
    call(kMpris, kPlayer, QStringLiteral("SetPosition"),
         {QVariant::fromValue(track), QVariant::fromValue(qlonglong(601'000'000))});
    QCOMPARE(run.player()->currentPosition(), 100.0);

    // The rate is the playback speed, both ways, within its limits.
    QCOMPARE(mprisGet(kPlayer, QStringLiteral("MinimumRate")).toDouble(), 0.5);
    QCOMPARE(mprisGet(kPlayer, QStringLiteral("MaximumRate")).toDouble(), 3.0);
    listener.changed.clear();
    QCOMPARE(mprisSet(kPlayer, QStringLiteral("Rate"), 1.5).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(run.player()->speed(), 1.5);
    QTRY_VERIFY(!listener.changed.isEmpty());
    QCOMPARE(listener.changed.last().value(QStringLiteral("Rate")).toDouble(), 1.5);
    run.player()->setSpeed(2.0);
    QCOMPARE(mprisGet(kPlayer, QStringLiteral("Rate")).toDouble(), 2.0);

    // Volume both ways.
    QCOMPARE(mprisSet(kPlayer, QStringLiteral("Volume"), 0.25).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(run.player()->volume(), 25);
    run.player()->setVolume(80);
    QCOMPARE(mprisGet(kPlayer, QStringLiteral("Volume")).toDouble(), 0.8);

    // Play, Pause, Stop act like the program's own commands.
    call(kMpris, kPlayer, QStringLiteral("Pause")); // paused already: stays
    QCOMPARE(run.player()->playState(), int(MediaPlayer::Paused));
    call(kMpris, kPlayer, QStringLiteral("Play"));
    QCOMPARE(run.player()->playState(), int(MediaPlayer::Playing));
    call(kMpris, kPlayer, QStringLiteral("Play")); // playing already: no second play
    QCOMPARE(run.player()->calls.count(QStringLiteral("play")), 2); // OpenFile's and this one
    call(kMpris, kPlayer, QStringLiteral("Pause"));
    QCOMPARE(run.player()->playState(), int(MediaPlayer::Paused));
    call(kMpris, kPlayer, QStringLiteral("Stop"));
    QCOMPARE(mprisGet(kPlayer, QStringLiteral("PlaybackStatus")).toString(),
             QStringLiteral("Stopped"));
    call(kMpris, kPlayer, QStringLiteral("PlayPause"));
    QCOMPARE(run.player()->playState(), int(MediaPlayer::Playing));

    // Full screen through the root interface.
    mprisSet(kRoot, QStringLiteral("Fullscreen"), true);
    QVERIFY(f->isFullScreen());
    mprisSet(kRoot, QStringLiteral("Fullscreen"), false);
    QVERIFY(!f->isFullScreen());

    // Nothing loaded: no track, nothing to play.
    run.player()->closeMedia();
    QCOMPARE(metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
             QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    QVERIFY(!mprisGet(kPlayer, QStringLiteral("CanPlay")).toBool());
    call(kMpris, kPlayer, QStringLiteral("PlayPause"));
    QCOMPARE(run.player()->calls.last(), QStringLiteral("close"));

    // The name goes with the program.
    run.end();
    QTRY_VERIFY(!nameOwned(kMpris));
}

void TestDbus::mprisOpenRaiseQuit()
{
    TestProgram run;
    TForm1 *f = run.start();
    waitForMpris();
    QCOMPARE(mprisGet(kPlayer, QStringLiteral("PlaybackStatus")).toString(),
             QStringLiteral("Stopped"));

    // OpenUri opens through OpenFile: recent list, caption, auto-advance off.
    f->Timer2->start();
    call(kMpris, kPlayer, QStringLiteral("OpenUri"),
         {QUrl::fromLocalFile(QStringLiteral("/media/テスト.mp3")).toString()});
    QTRY_COMPARE(run.player()->url(), QStringLiteral("/media/テスト.mp3"));
    QCOMPARE(f->windowTitle(), QStringLiteral("テスト - Pelmora"));
    QCOMPARE(f->recentList().value(0), QStringLiteral("/media/テスト.mp3"));
    QVERIFY(!f->Timer2->isActive());
    // Other schemes are not opened.
    call(kMpris, kPlayer, QStringLiteral("OpenUri"), {QStringLiteral("http://example.org/a.mp3")});
    QTest::qWait(50);
    QCOMPARE(run.player()->url(), QStringLiteral("/media/テスト.mp3"));
    run.player()->advance(61);

    call(kMpris, kRoot, QStringLiteral("Raise"));
    QTRY_VERIFY(f->isVisible());

    // While closing is prevented, CanQuit is false and Quit does nothing: no
    // box comes up on the desktop from a remote call.
    f->X2->trigger();
    QCOMPARE(mprisGet(kRoot, QStringLiteral("CanQuit")).toBool(), false);
    run.dialogs.shown.clear();
    call(kMpris, kRoot, QStringLiteral("Quit"));
    QTest::qWait(100);
    QVERIFY(run.dialogs.shown.isEmpty());
    QVERIFY(f->isVisible());
    f->X2->trigger();
    QCOMPARE(mprisGet(kRoot, QStringLiteral("CanQuit")).toBool(), true);
    // Quit goes through the close query.
    call(kMpris, kRoot, QStringLiteral("Quit"));
    QTRY_VERIFY(!f->isVisible());
    QCOMPARE(IniFile(run.file(QStringLiteral("Resume.ini")))
                 .readString(QStringLiteral("Resume"), QStringLiteral("Second"), QString()),
             QStringLiteral("61"));
}

void TestDbus::mprisFollowsThePlaylist()
{
    TestProgram run;
    TForm1 *f = run.start();
    waitForMpris();
    Listener listener;
    QVERIFY(client().connect(QString(), kPath, kPlayer, QStringLiteral("Seeked"), &listener,
                             SLOT(onSeeked(qlonglong))));
    Form6->setEntries(
        {QStringLiteral("/m/a.mp3"), QStringLiteral("/m/b.mp3"), QStringLiteral("/m/c.mp3")});
    auto can = [](const char *name) {
        return mprisGet(kPlayer, QString::fromLatin1(name)).toBool();
    };
    // No entry selected: the next one is the first, there is no previous one.
    QTRY_VERIFY(can("CanGoNext"));
    QVERIFY(!can("CanGoPrevious"));
    call(kMpris, kPlayer, QStringLiteral("Next"));
    QTRY_COMPARE(run.player()->url(), QStringLiteral("/m/a.mp3"));
    QCOMPARE(Form6->itemIndex(), 0);
    QVERIFY(f->Timer2->isActive()); // as a double-click does
    call(kMpris, kPlayer, QStringLiteral("Next"));
    QTRY_COMPARE(run.player()->url(), QStringLiteral("/m/b.mp3"));
    QVERIFY(can("CanGoPrevious"));
    call(kMpris, kPlayer, QStringLiteral("Previous"));
    QTRY_COMPARE(run.player()->url(), QStringLiteral("/m/a.mp3"));
    // At the last entry there is no next one, and Next does nothing.
    Form6->setItemIndex(2);
    QTRY_VERIFY(!can("CanGoNext"));
    call(kMpris, kPlayer, QStringLiteral("Next"));
    QTest::qWait(50);
    QCOMPARE(run.player()->url(), QStringLiteral("/m/a.mp3"));
    // Loading new files announced no seek.
    QVERIFY(listener.seeked.isEmpty());
}

void TestDbus::secondProgramTakesInstanceName()
{
    // Another program holds the plain name.
    QVERIFY(fake().registerService(kMpris));
    TestProgram run;
    run.start({QStringLiteral("/media/a.mp3")});
    const QString instance =
        kMpris + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
    waitForMpris(instance);
    const QDBusMessage reply = call(instance, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("Get"), {kRoot, QStringLiteral("Identity")});
    QCOMPARE(reply.arguments().value(0).value<QDBusVariant>().variant().toString(),
             QStringLiteral("Pelmora"));
    run.end();
    QTRY_VERIFY(!nameOwned(instance));
}

void TestDbus::screenSaverHeldWhileVideoPlays()
{
    FakeScreenSaver saver;
    QVERIFY(fake().registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver,
                                  QDBusConnection::ExportAllSlots));
    QVERIFY(fake().registerService(QStringLiteral("org.freedesktop.ScreenSaver")));

    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) {
        p->setVideo(true);
        p->setDefaultDuration(60);
    };
    TForm1 *f = run.start({QStringLiteral("/media/film.mp4")});
    // Loading is not playing yet.
    QTest::qWait(100);
    QVERIFY(saver.calls.isEmpty());
    run.player()->finishLoading();
    QTRY_COMPARE(saver.held.size(), 1);
    QCOMPARE(saver.calls, QStringList{QStringLiteral("Inhibit:Pelmora")});

    // Released at pause, held again at play.
    run.player()->pause();
    QTRY_VERIFY(saver.held.isEmpty());
    run.player()->play();
    QTRY_COMPARE(saver.held.size(), 1);
    // Released at the end of the medium.
    run.player()->advance(61);
    QTRY_VERIFY(saver.held.isEmpty());
    // Held again, then released at stop.
    run.player()->play();
    QTRY_COMPARE(saver.held.size(), 1);
    run.player()->stop();
    QTRY_VERIFY(saver.held.isEmpty());
    // A quick play and pause ends with nothing held.
    run.player()->play();
    run.player()->pause();
    run.player()->play();
    run.player()->pause();
    QTest::qWait(200);
    QVERIFY(saver.held.isEmpty());
    // Released at exit.
    run.player()->play();
    QTRY_COMPARE(saver.held.size(), 1);
    QVERIFY(f->close());
    QTRY_VERIFY(saver.held.isEmpty());
    QCOMPARE(saver.calls.count(QStringLiteral("Inhibit:Pelmora")), 5);

    // The end of the run releases it too.
    run.start({QStringLiteral("/media/film.mp4")});
    run.player()->finishLoading();
    QTRY_COMPARE(saver.held.size(), 1);
    run.end();
    QTRY_VERIFY(saver.held.isEmpty());
}

void TestDbus::audioOnlyHoldsNothing()
{
    FakeScreenSaver saver;
    QVERIFY(fake().registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver,
                                  QDBusConnection::ExportAllSlots));
    QVERIFY(fake().registerService(QStringLiteral("org.freedesktop.ScreenSaver")));

    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setVideo(false); };
    run.start({QStringLiteral("/media/talk.mp3")});
    run.player()->advance(5);
    run.player()->pause();
    run.player()->play();
    QTest::qWait(300);
    QVERIFY(saver.calls.isEmpty());
}

void TestDbus::portalWhenScreenSaverMissing()
{
    FakePortal portal;
    QVERIFY(fake().registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                                  QDBusConnection::ExportAllSlots));
    QVERIFY(fake().registerObject(portal.requestPath, &portal.request,
                                  QDBusConnection::ExportAllSlots));
    QVERIFY(fake().registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setVideo(true); };
    run.start({QStringLiteral("/media/film.mp4")});
    run.player()->finishLoading();
    QTRY_COMPARE(portal.flags, QList<uint>{8});
    run.player()->pause();
    QTRY_VERIFY(portal.request.closed);
    fake().unregisterObject(portal.requestPath);
}

void TestDbus::screenSaverThatComesLater()
{
    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setVideo(true); };
    run.start({QStringLiteral("/media/film.mp4")});
    run.player()->finishLoading();
    // Neither the screen saver nor the portal answers yet.
    QTest::qWait(300);

    // The desktop's screen saver comes up while the video plays.
    FakeScreenSaver saver;
    QVERIFY(fake().registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver,
                                  QDBusConnection::ExportAllSlots));
    QVERIFY(fake().registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
    QTRY_COMPARE(saver.held.size(), 1);
    run.player()->pause();
    QTRY_VERIFY(saver.held.isEmpty());
    run.player()->play();
    QTRY_COMPARE(saver.held.size(), 1);
}

void TestDbus::dockProgressOnlyWhenItChanges()
{
    DockListener dock;
    QVERIFY(client().connect(QString(), QString(),
                             QStringLiteral("com.canonical.Unity.LauncherEntry"),
                             QStringLiteral("Update"), &dock, SLOT(update(QString, QVariantMap))));
    const std::unique_ptr<Taskbar> taskbar = makePlatformTaskbar();
    TestProgram run;
    run.otherTaskbar = taskbar.get();
    run.preparePlayer = [](FakePlayer *p) { p->setDefaultDuration(100); };
    TForm1 *f = run.start({QStringLiteral("/media/a.mp4")});
    run.player()->finishLoading();
    auto progress = [&](int i) { return dock.updates.at(i).value(QStringLiteral("progress")); };
    auto visible = [&](int i) {
        return dock.updates.at(i).value(QStringLiteral("progress-visible")).toBool();
    };

    // The status update asks every second; the dock hears of changes only.
    run.player()->advance(25);
    f->Timer1Timer();
    f->Timer1Timer();
    run.player()->advance(25);
    f->Timer1Timer();
    QTRY_COMPARE(dock.updates.size(), 2);
    QCOMPARE(progress(0).toDouble(), 0.25);
    QCOMPARE(progress(1).toDouble(), 0.5);
    QVERIFY(visible(0) && visible(1));
    run.player()->pause();
    f->Timer1Timer();
    f->Timer1Timer();
    QTRY_COMPARE(dock.updates.size(), 3);
    QCOMPARE(progress(2).toDouble(), 0.5);

    // Nothing loaded: the bar goes, and stays away.
    run.player()->closeMedia();
    QTRY_COMPARE(dock.updates.size(), 4);
    QVERIFY(!visible(3));
    f->Timer1Timer();
    // Shown again for the next medium, and taken away at the end.
    f->OpenFile(QStringLiteral("/media/b.mp4"));
    run.player()->finishLoading();
    run.player()->advance(10);
    f->Timer1Timer();
    QTRY_COMPARE(dock.updates.size(), 5);
    QCOMPARE(progress(4).toDouble(), 0.1);
    QVERIFY(visible(4));
    run.end();
    QTRY_COMPARE(dock.updates.size(), 6);
    QVERIFY(!visible(5));
}

void TestDbus::escLeavesFullScreenWhenLocked()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/media/film.mp4")});
    // Without a bus the desktop integration is absent, and nothing else
    // changes.
    QCOMPARE(f->findChild<DesktopIntegration *>()->active(), !g_busAddress.isEmpty());
    emit run.player()->fullScreenRequested(true);
    QVERIFY(f->isFullScreen());
    QVERIFY(!f->menuBar()->isVisible());
    // The controls are locked: the player itself ignores keys; the window
    // still leaves full screen.
    f->N2->trigger();
    QVERIFY(!run.player()->playerEnabled());
    QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : f;
    QTest::keyClick(target, Qt::Key_Escape);
    QVERIFY(!f->isFullScreen());
    QVERIFY(f->menuBar()->isVisible());
    // Esc in a normal window changes nothing.
    QTest::keyClick(target, Qt::Key_Escape);
    QVERIFY(!f->isFullScreen());
}

int main(int argc, char *argv[])
{
    // A private session bus, in place before the application (and anything
    // in it) connects to one.
    const PrivateBus bus;
    g_busAddress = bus.address();
    QApplication app(argc, argv);
    TestDbus test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dbus.moc"
