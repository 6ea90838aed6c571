// SPDX-License-Identifier: GPL-3.0-or-later
// The player contract, checked against the libmpv engine (headless, real
// time, generated media) and against the test double (simulated time). Both
// run the same suite through a small driver.
#include "persist/AppError.h"
#include "player/MpvPlayer.h"
#include "support/FakePlayer.h"
#include "support/TestMedia.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <functional>
#include <memory>

namespace
{

// What differs between the implementations: how a player is made, which
// media it knows, and how time passes.
class Driver
{
public:
    virtual ~Driver() = default;
    virtual const char *name() const = 0;
    virtual MediaPlayer *create() = 0;
    // A playable medium of LongLength seconds and one of ShortLength seconds.
    virtual QString longMedium() const = 0;
    virtual QString shortMedium() const = 0;
    virtual QString missingMedium() const = 0;
    virtual QString garbageMedium() const = 0;
    // A path in a directory the test may write.
    virtual QString scratch(const QString &name) const = 0;
    // Lets the given time pass.
    virtual void pass(double seconds) = 0;
    // Lets time pass until cond holds or the time is up; returns cond.
    virtual bool waitUntil(const std::function<bool()> &cond, double seconds) = 0;

    static constexpr double LongLength = 40.0;
    static constexpr double ShortLength = 4.0;
};

class EngineDriver : public Driver
{
public:
    EngineDriver()
    {
        QVERIFY2(m_dir.isValid(), "no temporary directory");
        QVERIFY(writeTestWav(longMedium(), LongLength));
        QVERIFY(writeTestWav(shortMedium(), ShortLength));
        QFile garbage(garbageMedium());
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        QByteArray bytes(64 * 1024, Qt::Uninitialized);
        QRandomGenerator random(20240611);
        for (char &c : bytes)
            c = char(random.generate());
        garbage.write(bytes);
    }
    const char *name() const override { return "libmpv engine"; }
    MediaPlayer *create() override { return new MpvPlayer(nullptr, MpvPlayer::headless()); }
    QString longMedium() const override { return m_dir.filePath(QStringLiteral("long tone.wav")); }
    QString shortMedium() const override { return m_dir.filePath(QStringLiteral("短い.wav")); }
    QString missingMedium() const override { return m_dir.filePath(QStringLiteral("none.wav")); }
    QString garbageMedium() const override { return m_dir.filePath(QStringLiteral("noise.mp4")); }
    QString scratch(const QString &name) const override { return m_dir.filePath(name); }
    void pass(double seconds) override { QTest::qWait(int(seconds * 1000)); }
    bool waitUntil(const std::function<bool()> &cond, double seconds) override
    {
        QElapsedTimer timer;
        timer.start();
        while (!cond()) {
            if (timer.elapsed() > seconds * 1000) return false;
            QTest::qWait(10);
        }
        return true;
    }

private:
    QTemporaryDir m_dir;
};

class FakeDriver : public Driver
{
public:
    const char *name() const override { return "player double"; }
    MediaPlayer *create() override
    {
        m_fake = new FakePlayer;
        m_fake->setMediaDuration(longMedium(), LongLength);
        m_fake->setMediaDuration(shortMedium(), ShortLength);
        m_fake->setUnplayable(missingMedium());
        m_fake->setUnplayable(garbageMedium());
        return m_fake;
    }
    QString longMedium() const override { return QStringLiteral("/media/long.wav"); }
    QString shortMedium() const override { return QStringLiteral("/media/short.wav"); }
    QString missingMedium() const override { return QStringLiteral("/media/none.wav"); }
    QString garbageMedium() const override { return QStringLiteral("/media/noise.mp4"); }
    QString scratch(const QString &name) const override { return m_dir.filePath(name); }
    void pass(double seconds) override { m_fake->advance(seconds); }
    bool waitUntil(const std::function<bool()> &cond, double seconds) override
    {
        for (double t = 0; !cond(); t += 0.05) {
            if (t > seconds) return false;
            m_fake->advance(0.05);
        }
        return true;
    }

private:
    FakePlayer *m_fake = nullptr;
    QTemporaryDir m_dir;
};

// The item of a menu with this caption, or null.
QAction *menuItem(const QMenu *menu, const QString &caption)
{
    const QList<QAction *> items = menu->actions();
    const auto found = std::find_if(items.cbegin(), items.cend(),
                                    [&](const QAction *a) { return a->text() == caption; });
    return found == items.cend() ? nullptr : *found;
}

} // namespace

class PlayerContract : public QObject
{
    Q_OBJECT

public:
    explicit PlayerContract(Driver *driver) : m_driver(driver) {}

private:
    Driver &d() { return *m_driver; }
    MediaPlayer &p() { return *m_player; }
    bool waitState(int state, double seconds = 5.0)
    {
        return d().waitUntil([&] { return p().playState() == state; }, seconds);
    }
    // Loads the long medium and waits until it plays.
    void startLong()
    {
        p().setURL(d().longMedium());
        QVERIFY(waitState(MediaPlayer::Playing));
    }

private slots:
    void init() { m_player.reset(d().create()); }
    void cleanup() { m_player.reset(); }

    void urlLoadsAndPlays()
    {
        QSignalSpy states(m_player.get(), &MediaPlayer::playStateChanged);
        p().setURL(d().longMedium());
        QCOMPARE(p().url(), d().longMedium());
        QCOMPARE(p().playState(), int(MediaPlayer::Transitioning));
        QVERIFY(p().hasCurrentMedia());
        QVERIFY(waitState(MediaPlayer::Playing));
        QVERIFY(!states.isEmpty());
        QCOMPARE(states.last().at(0).toInt(), int(MediaPlayer::Playing));
        QVERIFY(std::abs(p().duration() - Driver::LongLength) < 0.5);
        const double before = p().currentPosition();
        d().pass(0.6);
        const double after = p().currentPosition();
        QVERIFY2(after > before + 0.2 && after < before + 2.0,
                 qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(after)));
    }

    void positionWrittenAfterUrlIsHonoured()
    {
        p().setURL(d().longMedium());
        p().setCurrentPosition(20.0);
        QCOMPARE(p().currentPosition(), 20.0);
        p().play();
        QVERIFY(waitState(MediaPlayer::Playing));
        d().pass(0.4);
        const double position = p().currentPosition();
        QVERIFY2(position >= 20.0 && position < 22.0, qPrintable(QString::number(position)));
    }

    // The host's "open stopped, then go to a typed time" path.
    void stopAfterUrlThenPositionThenPlay()
    {
        p().setURL(d().longMedium());
        p().stop();
        p().setCurrentPosition(15.0);
        QVERIFY(waitState(MediaPlayer::Stopped));
        d().pass(0.3);
        QCOMPARE(p().playState(), int(MediaPlayer::Stopped));
        QVERIFY(p().hasCurrentMedia());
        QVERIFY(std::abs(p().currentPosition() - 15.0) < 0.05);
        p().play();
        QVERIFY(waitState(MediaPlayer::Playing));
        d().pass(0.4);
        const double position = p().currentPosition();
        QVERIFY2(position >= 15.0 && position < 17.0, qPrintable(QString::number(position)));
    }

    void quickRelativeStepsAccumulate()
    {
        startLong();
        d().pass(0.3);
        const double start = p().currentPosition();
        for (int i = 0; i < 3; ++i) {
            const double target = p().currentPosition() + 10.0;
            p().setCurrentPosition(target);
            QCOMPARE(p().currentPosition(), target);
        }
        QVERIFY2(
            p().currentPosition() >= start + 30.0 - 0.05,
            qPrintable(QStringLiteral("start %1, now %2").arg(start).arg(p().currentPosition())));
        d().pass(0.5);
        const double position = p().currentPosition();
        QVERIFY2(position >= start + 30.0 - 0.05 && position < start + 32.5,
                 qPrintable(QStringLiteral("start %1, now %2").arg(start).arg(position)));
        QCOMPARE(p().playState(), int(MediaPlayer::Playing));
    }

    void targetBelowZeroLandsAtZero()
    {
        startLong();
        p().setCurrentPosition(12.0);
        p().pause();
        QCOMPARE(p().playState(), int(MediaPlayer::Paused));
        p().setCurrentPosition(-5.0);
        QCOMPARE(p().currentPosition(), 0.0);
        d().pass(0.5);
        // Not "5 s before the end".
        QVERIFY2(p().currentPosition() < 0.1, qPrintable(QString::number(p().currentPosition())));
        QCOMPARE(p().playState(), int(MediaPlayer::Paused));
    }

    void targetBeyondEndDoesNotFail()
    {
        startLong();
        p().setCurrentPosition(Driver::LongLength + 100.0);
        // Whatever the implementation does, it settles in a valid state.
        d().pass(1.0);
        const int state = p().playState();
        QVERIFY2(state == MediaPlayer::Stopped || state == MediaPlayer::Paused ||
                     state == MediaPlayer::Playing,
                 qPrintable(QString::number(state)));
        QVERIFY(p().hasCurrentMedia());
        const double position = p().currentPosition();
        QVERIFY(position >= 0.0 && position <= Driver::LongLength + 100.0);
        p().setCurrentPosition(5.0);
        p().play();
        QVERIFY(waitState(MediaPlayer::Playing));
        d().pass(0.3);
        QVERIFY(p().currentPosition() >= 5.0 && p().currentPosition() < 7.0);
    }

    // Smart rewind: play() after a pause of a minute or more goes on earlier,
    // measured on the wall clock given; never after a position asked for,
    // and never across the start of a repeated stretch.
    void goesOnEarlierAfterALongPauseOnly()
    {
        qint64 now = 1'800'000'000'000;
        p().setRewindClock([&now] { return now; });
        QSignalSpy rewound(m_player.get(), &MediaPlayer::rewound);
        startLong();
        p().setCurrentPosition(20.0);
        p().pause();
        d().pass(0.3);
        const double paused = p().currentPosition();
        now += 61'000;
        p().play();
        QVERIFY2(std::abs(p().currentPosition() - (paused - 3.0)) < 0.05,
                 qPrintable(QStringLiteral("%1 after %2").arg(p().currentPosition()).arg(paused)));
        QCOMPARE(rewound.count(), 1);
        QVERIFY(std::abs(rewound.last().at(0).toDouble() - 3.0) < 0.05);
        QVERIFY(waitState(MediaPlayer::Playing));
        // A place asked for while paused is gone to exactly.
        p().pause();
        now += 2 * 3600'000;
        p().setCurrentPosition(25.0);
        p().play();
        QVERIFY(std::abs(p().currentPosition() - 25.0) < 0.05);
        // A short pause: nothing; a repeated stretch holds a long one.
        p().pause();
        now += 59'000;
        p().play();
        QVERIFY(p().currentPosition() >= 25.0);
        p().setRepeatStretch(ListenedRange{24.0, 35.0});
        p().pause();
        now += 25 * 3600'000;
        p().play();
        QCOMPARE(p().currentPosition(), 24.0);
        QCOMPARE(rewound.count(), 2);
        // Switched off: nothing.
        p().setRewindAfterPause(false);
        p().setCurrentPosition(30.0);
        p().pause();
        now += 25 * 3600'000;
        p().play();
        QVERIFY(p().currentPosition() >= 30.0);
        QCOMPARE(rewound.count(), 2);
    }

    // A course's intro and outro: a position written right after the URL,
    // and an end cut that ends the medium early, as at its end.
    void introAndOutroOfACourse()
    {
        p().setURL(d().longMedium());
        p().setCurrentPosition(3.0);
        p().setEndCut(Driver::LongLength - 5.0);
        QVERIFY(waitState(MediaPlayer::Playing));
        QVERIFY2(std::abs(p().currentPosition() - 3.0) < 0.1,
                 qPrintable(QString::number(p().currentPosition())));
        QSignalSpy states(m_player.get(), &MediaPlayer::playStateChanged);
        QVERIFY(d().waitUntil(
            [&] {
                return std::any_of(states.cbegin(), states.cend(), [](const QList<QVariant> &s) {
                    return s.at(0).toInt() == MediaPlayer::MediaEnded;
                });
            },
            5.0));
        // Another medium plays on: the cut was the other's.
        p().setURL(d().shortMedium());
        QVERIFY(waitState(MediaPlayer::Playing));
        d().pass(1.0);
        QCOMPARE(p().playState(), int(MediaPlayer::Playing));
        // A cut set while it plays (the folder's settings changed) holds.
        states.clear();
        p().setEndCut(Driver::ShortLength - 1.8);
        QVERIFY(d().waitUntil(
            [&] {
                return std::any_of(states.cbegin(), states.cend(), [](const QList<QVariant> &s) {
                    return s.at(0).toInt() == MediaPlayer::MediaEnded;
                });
            },
            1.8));
        // Sent to the engine at once with its start; a cut set while it
        // loads holds too.
        p().setURL(d().longMedium());
        p().setCurrentPosition(3.0);
        p().loadNow();
        p().setEndCut(Driver::LongLength - 5.0);
        QVERIFY(waitState(MediaPlayer::Playing));
        QVERIFY(std::abs(p().currentPosition() - 3.0) < 0.1);
        states.clear();
        QVERIFY(d().waitUntil(
            [&] {
                return std::any_of(states.cbegin(), states.cend(), [](const QList<QVariant> &s) {
                    return s.at(0).toInt() == MediaPlayer::MediaEnded;
                });
            },
            5.0));
    }

    // The picture's context menu: the program's own items are in it, a
    // checkable item shows the player's state, an item reaches the player,
    // and it is built anew from the state at each opening; while the
    // controls are locked it does not open.
    void contextMenuFollowsThePlayer()
    {
        QAction own(QStringLiteral("own item"));
        p().addMenuAction(&own);
        startLong();
        p().setVoiceBoost(true);
        const QKeyEvent menuKey(QEvent::KeyPress, Qt::Key_Menu, Qt::NoModifier);
        p().setPlayerEnabled(false);
        QVERIFY(p().handleKey(menuKey));
        QVERIFY(!p().findChild<QMenu *>(QStringLiteral("contextMenu")));
        p().setPlayerEnabled(true);
        QVERIFY(p().handleKey(menuKey));
        QMenu *menu = p().findChild<QMenu *>(QStringLiteral("contextMenu"));
        QVERIFY(menu && menu->isVisible());
        QVERIFY(menu->actions().contains(&own));
        QAction *boost = menuItem(menu, QStringLiteral("声を聞きやすく(&V)"));
        QVERIFY(boost && boost->isCheckable() && boost->isChecked());
        boost->trigger();
        QVERIFY(!p().voiceBoost());
        QAction *pause = menuItem(menu, QStringLiteral("一時停止(&P)"));
        QVERIFY(pause && pause->isEnabled());
        pause->trigger();
        QCOMPARE(p().playState(), int(MediaPlayer::Paused));

        QVERIFY(p().handleKey(menuKey));
        QVERIFY(menuItem(menu, QStringLiteral("再生(&P)")));
        boost = menuItem(menu, QStringLiteral("声を聞きやすく(&V)"));
        QVERIFY(boost && !boost->isChecked());
        QVERIFY(menu->actions().contains(&own));
        p().setPlayerEnabled(false);
        QVERIFY(!menu->isVisible());
    }

    void stopKeepsMediumAtZero()
    {
        startLong();
        p().setCurrentPosition(10.0);
        d().pass(0.4);
        p().stop();
        QCOMPARE(p().playState(), int(MediaPlayer::Stopped));
        QVERIFY(p().hasCurrentMedia());
        QCOMPARE(p().currentPosition(), 0.0);
        d().pass(0.5);
        QCOMPARE(p().playState(), int(MediaPlayer::Stopped));
        QVERIFY2(p().currentPosition() < 0.05, qPrintable(QString::number(p().currentPosition())));
        QVERIFY(p().duration() > 0.0);
        p().play();
        QVERIFY(waitState(MediaPlayer::Playing));
        d().pass(0.5);
        const double position = p().currentPosition();
        QVERIFY2(position > 0.1 && position < 2.0, qPrintable(QString::number(position)));
    }

    void stopAndCloseReleaseTheMedium()
    {
        startLong();
        p().stop();
        p().closeMedia();
        QVERIFY(!p().hasCurrentMedia());
        QCOMPARE(p().duration(), 0.0);
        d().pass(0.5);
        const int state = p().playState();
        QVERIFY2(state != MediaPlayer::Playing && state != MediaPlayer::Paused,
                 qPrintable(QString::number(state)));
        QVERIFY(!p().hasCurrentMedia());
        // A closed player takes a new medium.
        startLong();
        QVERIFY(p().hasCurrentMedia());
    }

    void pauseHoldsAndPlayGoesOn()
    {
        startLong();
        d().pass(0.3);
        p().pause();
        QCOMPARE(p().playState(), int(MediaPlayer::Paused));
        d().pass(0.2);
        const double held = p().currentPosition();
        d().pass(0.5);
        QVERIFY(std::abs(p().currentPosition() - held) < 0.05);
        p().play();
        QCOMPARE(p().playState(), int(MediaPlayer::Playing));
        d().pass(0.5);
        QVERIFY(p().currentPosition() > held + 0.2);
    }

    void endOfMediumThenStoppedAtZero()
    {
        QSignalSpy states(m_player.get(), &MediaPlayer::playStateChanged);
        p().setURL(d().shortMedium());
        QVERIFY(waitState(MediaPlayer::Playing));
        p().setCurrentPosition(Driver::ShortLength - 0.8);
        QVERIFY(d().waitUntil(
            [&] {
                return !states.isEmpty() && states.last().at(0).toInt() == MediaPlayer::Stopped;
            },
            5.0));
        QList<int> seen;
        for (const auto &args : states)
            seen << args.at(0).toInt();
        const qsizetype ended = seen.lastIndexOf(MediaPlayer::MediaEnded);
        QVERIFY2(ended >= 0 && seen.indexOf(MediaPlayer::Stopped, ended) > ended,
                 qPrintable(QDebug::toString(seen)));
        QCOMPARE(p().playState(), int(MediaPlayer::Stopped));
        QVERIFY(p().hasCurrentMedia());
        QVERIFY(d().waitUntil([&] { return p().currentPosition() < 0.05; }, 2.0));
        p().play();
        QVERIFY(waitState(MediaPlayer::Playing));
        d().pass(0.5);
        const double position = p().currentPosition();
        QVERIFY2(position > 0.1 && position < 2.0, qPrintable(QString::number(position)));
    }

    void newUrlReplacesTheOld()
    {
        startLong();
        p().setCurrentPosition(20.0);
        d().pass(0.3);
        p().setURL(d().shortMedium());
        QVERIFY(waitState(MediaPlayer::Playing));
        d().pass(0.3);
        QVERIFY(std::abs(p().duration() - Driver::ShortLength) < 0.5);
        QVERIFY(p().currentPosition() < 2.0);
        QCOMPARE(p().url(), d().shortMedium());
    }

    void volumeIsClampedAndReadBack()
    {
        p().setVolume(-5);
        QCOMPARE(p().volume(), 0);
        p().setVolume(150);
        QCOMPARE(p().volume(), 100);
        p().setVolume(37);
        QCOMPARE(p().volume(), 37);
        startLong();
        QCOMPARE(p().volume(), 37);
    }

    void unplayableMediaRaiseError_data()
    {
        QTest::addColumn<bool>("missing");
        QTest::newRow("missing file") << true;
        QTest::newRow("random bytes") << false;
    }
    void unplayableMediaRaiseError()
    {
        QFETCH(bool, missing);
        QSignalSpy errors(m_player.get(), &MediaPlayer::error);
        p().setURL(missing ? d().missingMedium() : d().garbageMedium());
        QVERIFY(d().waitUntil([&] { return !errors.isEmpty(); }, 5.0));
        d().pass(0.3);
        const int state = p().playState();
        QVERIFY2(state != MediaPlayer::Playing && state != MediaPlayer::Paused,
                 qPrintable(QString::number(state)));
        // The player goes on working.
        startLong();
        QCOMPARE(errors.size(), 1);
    }

    // Names that make the engine run filters, read descriptors or write
    // files are refused like a missing file: an error, nothing loaded, and
    // nothing written.
    void refusedNamesLoadNothing_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("av lavfi writing a file")
            << QStringLiteral("av://lavfi:sine=d=0.05,ametadata=mode=print:file=%1");
        QTest::newRow("upper-case scheme")
            << QStringLiteral("AV://lavfi:sine=d=0.05,ametadata=mode=print:file=%1");
        QTest::newRow("lavfi") << QStringLiteral("lavfi://sine,ametadata=mode=print:file=%1");
        QTest::newRow("edl") << QStringLiteral("edl://%1");
        QTest::newRow("memory") << QStringLiteral("memory://%1");
        QTest::newRow("fd") << QStringLiteral("fd://0#%1");
        QTest::newRow("appending") << QStringLiteral("appending://%1");
        QTest::newRow("ytdl") << QStringLiteral("ytdl://%1");
    }
    void refusedNamesLoadNothing()
    {
        QFETCH(QString, pattern);
        const QString written = d().scratch(QStringLiteral("written.txt"));
        QFile::remove(written);
        QSignalSpy errors(m_player.get(), &MediaPlayer::error);
        p().setURL(pattern.arg(written));
        QVERIFY(d().waitUntil([&] { return !errors.isEmpty(); }, 5.0));
        d().pass(0.5);
        QVERIFY(!p().hasCurrentMedia());
        QVERIFY(p().playState() != MediaPlayer::Playing);
        QVERIFY(!QFile::exists(written));
    }

private:
    Driver *m_driver;
    std::unique_ptr<MediaPlayer> m_player;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    int status = 0;
    {
        EngineDriver engine;
        qInfo("--- %s ---", engine.name());
        PlayerContract suite(&engine);
        status |= QTest::qExec(&suite, argc, argv);
    }
    {
        FakeDriver fake;
        qInfo("--- %s ---", fake.name());
        PlayerContract suite(&fake);
        status |= QTest::qExec(&suite, argc, argv);
    }
    return status;
}

#include "tst_player_contract.moc"
