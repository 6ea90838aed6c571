// SPDX-License-Identifier: GPL-3.0-or-later
// MPRIS alone, without the windows, on a private session bus: the state the
// program pushes in is what the bus reads, and the requests come out by
// MPRIS's rules; while the program does not accept requests they fail.
#include "app/Mpris.h"
#include "support/PrivateBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTest>

namespace
{

QString g_busAddress;
const QString kService = QStringLiteral("org.mpris.MediaPlayer2.pelmora");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

QDBusMessage call(const QString &interface, const QString &method, const QVariantList &args = {})
{
    QDBusMessage m = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/org/mpris/MediaPlayer2"), interface, method);
    m.setArguments(args);
    QDBusPendingCall pending =
        QDBusConnection::connectToBus(g_busAddress, QStringLiteral("client")).asyncCall(m, 5000);
    static_cast<void>(QTest::qWaitFor([&] { return pending.isFinished(); }, 6000));
    return pending.reply();
}

} // namespace

class TestMpris : public QObject
{
    Q_OBJECT

private slots:
    // Seek and SetPosition as MPRIS defines them: before the start to
    // 0, beyond the end to the next entry or to the end; SetPosition beyond
    // the length or for another track does nothing. A volume far beyond 1
    // is the loudest.
    void requestsFollowTheRules()
    {
        Mpris m;
        QSignalSpy to(&m, &Mpris::positionRequested);
        QSignalSpy next(&m, &Mpris::nextRequested);
        QSignalSpy volume(&m, &Mpris::volumeRequested);
        QCOMPARE(m.seek(5'000'000), Mpris::Answer::Ignored); // nothing loaded
        m.setTrack({QStringLiteral("file:///m/a.mp3"), QStringLiteral("a"), {}, {}, {}, 300});
        connect(&m, &Mpris::positionWanted, &m, [&m] { m.setPosition(100); });
        m.seek(std::numeric_limits<qlonglong>::max());
        m.seek(-std::numeric_limits<qlonglong>::max());
        m.seek(-30'000'000);
        QCOMPARE(to.size(), 3);
        QCOMPARE(to.at(0).first().toDouble(), 300.0); // the end, as a normal end
        QCOMPARE(to.at(1).first().toDouble(), 0.0);
        QCOMPARE(to.at(2).first().toDouble(), 70.0);
        m.setCanGoNext(true);
        m.seek(250'000'000);
        QTRY_COMPARE(next.size(), 1);
        QCOMPARE(to.size(), 3);
        QCOMPARE(m.setPositionOf(m.trackId(), 301'000'000), Mpris::Answer::Ignored);
        QCOMPARE(m.setPositionOf(QStringLiteral("/org/pelmora/track/0"), 5'000'000),
                 Mpris::Answer::Ignored);
        QCOMPARE(m.setPositionOf(m.trackId(), 5'000'000), Mpris::Answer::Done);
        QCOMPARE(to.constLast().first().toDouble(), 5.0);
        m.requestVolume(1e308);
        m.requestVolume(std::nan(""));
        m.requestVolume(-3);
        QCOMPARE(volume.size(), 2);
        QCOMPARE(volume.at(0).first().toInt(), 100);
        QCOMPARE(volume.at(1).first().toInt(), 0);
    }

    // On the bus: what the program pushed is read; a refused request is an
    // error for the caller and reaches nothing.
    void onTheBus()
    {
        if (g_busAddress.isEmpty()) QSKIP("dbus-daemon is not available");
        Mpris m;
        QVERIFY(m.publish());
        bool accepting = false;
        m.setAccepting([&accepting] { return accepting; });
        m.setTrack({QStringLiteral("file:///m/a.mp3"), QStringLiteral("a"), {}, {}, {}, 300});
        m.setStatus(Mpris::Status::Paused);
        connect(&m, &Mpris::positionWanted, &m, [&m] { m.setPosition(42.5); });
        QSignalSpy play(&m, &Mpris::playRequested);
        QSignalSpy quit(&m, &Mpris::quitRequested);
        QTRY_VERIFY(QDBusConnection::connectToBus(g_busAddress, QStringLiteral("client"))
                        .interface()
                        ->isServiceRegistered(kService));

        const QDBusMessage position =
            call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                 {kPlayer, QStringLiteral("Position")});
        QCOMPARE(position.arguments().first().value<QDBusVariant>().variant().toLongLong(),
                 42'500'000LL);

        QCOMPARE(call(kPlayer, QStringLiteral("Play")).type(), QDBusMessage::ErrorMessage);
        QCOMPARE(call(QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Quit")).type(),
                 QDBusMessage::ErrorMessage);
        QTest::qWait(50);
        QCOMPARE(play.size(), 0);
        QCOMPARE(quit.size(), 0);
        accepting = true;
        QCOMPARE(call(kPlayer, QStringLiteral("Play")).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(play.size(), 1);
    }

    // A property written with a value of another type is refused as the
    // bus's invalid arguments, and reaches nothing.
    void wrongTypesAreRefused()
    {
        if (g_busAddress.isEmpty()) QSKIP("dbus-daemon is not available");
        Mpris m;
        QVERIFY(m.publish());
        QSignalSpy fullscreen(&m, &Mpris::fullscreenRequested);
        QSignalSpy volume(&m, &Mpris::volumeRequested);
        QSignalSpy rate(&m, &Mpris::rateRequested);
        QTRY_VERIFY(QDBusConnection::connectToBus(g_busAddress, QStringLiteral("client"))
                        .interface()
                        ->isServiceRegistered(kService));
        const QString root = QStringLiteral("org.mpris.MediaPlayer2");
        auto set = [](const QString &interface, const char *name, const QVariant &value) {
            return call(
                QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                {interface, QString::fromLatin1(name), QVariant::fromValue(QDBusVariant(value))});
        };
        const QString invalid = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
        QCOMPARE(set(root, "Fullscreen", QStringLiteral("x")).errorName(), invalid);
        QCOMPARE(set(root, "Fullscreen", 1).errorName(), invalid);
        QCOMPARE(set(kPlayer, "Volume", QStringLiteral("1")).errorName(), invalid);
        QCOMPARE(set(kPlayer, "Volume", true).errorName(), invalid);
        QCOMPARE(set(kPlayer, "Rate", QStringLiteral("2")).errorName(), invalid);
        QCOMPARE(set(kPlayer, "Rate", 2).errorName(), invalid);
        // Without the interface's name too.
        QCOMPARE(set(QString(), "Fullscreen", QStringLiteral("x")).errorName(), invalid);
        QTest::qWait(50);
        QCOMPARE(fullscreen.size(), 0);
        QCOMPARE(volume.size(), 0);
        QCOMPARE(rate.size(), 0);

        QCOMPARE(set(root, "Fullscreen", true).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(set(kPlayer, "Volume", 0.25).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(set(kPlayer, "Rate", 1.5).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(fullscreen.size(), 1);
        QCOMPARE(volume.size(), 1);
        QCOMPARE(rate.size(), 1);
        QCOMPARE(set(kPlayer, "PlaybackStatus", QStringLiteral("Playing")).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"));
    }
};

int main(int argc, char *argv[])
{
    // A private session bus, in place before the application (and anything
    // in it) connects to one.
    const PrivateBus bus;
    g_busAddress = bus.address();
    QCoreApplication app(argc, argv);
    TestMpris test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mpris.moc"
