// SPDX-License-Identifier: GPL-3.0-or-later
// Small rules without an engine or a window, fed by hand: silence skipping,
// the study log's stretches, what a course's medium opens with, and the
// program's time texts.
#include "persist/CourseSettings.h"
#include "persist/TimeFormat.h"
#include "player/SilenceSkipper.h"
#include "player/StretchRecorder.h"

#include <QTest>

#include <cmath>
#include <limits>

using Stretches = QList<Stretch>;
using Settings = std::optional<KeptSettings>;
using From = CourseChoice::From;

char *toString(const Stretch &s)
{
    return QTest::toString(QStringLiteral("%1 %2-%3 at %4-%5 ms, %6x, %7 skipped")
                               .arg(s.name)
                               .arg(s.start)
                               .arg(s.end)
                               .arg(s.wallStartMs)
                               .arg(s.wallEndMs)
                               .arg(s.speed)
                               .arg(s.skipped));
}

namespace
{

// One thing the recorder is told: the medium plays at a position, silence
// skipping passed to one, or playback stopped moving on at one.
struct Event {
    enum Kind { Play, Pass, Stop } kind;
    double position;
    qint64 atMs;                        // on the wall clock
    double value = 1.0;                 // Play: the speed; Pass: the seconds skipped
    QString name = QStringLiteral("a"); // Play: the medium
    std::optional<qint64> steadyMs;     // on the steady clock, when it differs
    StretchRecorder::Now now() const { return {atMs, steadyMs.value_or(atMs)}; }
};

// The same event, at another reading of the steady clock.
Event steady(Event e, qint64 steadyMs)
{
    e.steadyMs = steadyMs;
    return e;
}

Event play(double position, qint64 atMs, double speed = 1.0,
           const QString &name = QStringLiteral("a"))
{
    return {Event::Play, position, atMs, speed, name, std::nullopt};
}
Event pass(double to, double skipped, qint64 atMs)
{
    return {Event::Pass, to, atMs, skipped, QString(), std::nullopt};
}
Event stop(double position, qint64 atMs)
{
    return {Event::Stop, position, atMs, 0.0, QString(), std::nullopt};
}

Stretch stretch(double start, double end, qint64 fromMs, qint64 toMs, double speed = 1.0,
                double skipped = 0.0, const QString &name = QStringLiteral("a"))
{
    return {name, start, end, fromMs, toMs, speed, skipped};
}

KeptSettings kept(std::optional<double> speed, std::optional<bool> boost = {},
                  std::optional<bool> skip = {}, double intro = 0, double outro = 0)
{
    return {speed, boost, skip, intro, outro};
}

} // namespace

Q_DECLARE_METATYPE(QList<Event>)
Q_DECLARE_METATYPE(Settings)
Q_DECLARE_METATYPE(CoursePlayback)
Q_DECLARE_METATYPE(From)
Q_DECLARE_METATYPE(TimeForm)

class TestCoreRules : public QObject
{
    Q_OBJECT

private slots:
    void silenceStartsAPassOnlyWhenNew_data();
    void silenceStartsAPassOnlyWhenNew();
    void silencePassEnds_data();
    void silencePassEnds();
    void silencePassWithoutItsEnd();

    void stretches_data();
    void stretches();

    void courseChoice_data();
    void courseChoice();

    void timeForms_data();
    void timeForms();
};

// One report after a restart at 30 s, the detector ahead of playback.
void TestCoreRules::silenceStartsAPassOnlyWhenNew_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<double>("position");
    QTest::addColumn<bool>("playing");
    QTest::addColumn<bool>("begins");
    QTest::addColumn<double>("target");
    QTest::newRow("ahead: from its start") << 42.0 << -1.0 << 41.0 << true << true << 42.0;
    QTest::newRow("behind: from where it plays") << 42.0 << 40.0 << 43.5 << true << true << 43.5;
    QTest::newRow("rounded a little before the restart")
        << 29.97 << -1.0 << 30.0 << true << true << 30.0;
    QTest::newRow("pre-roll before the restart") << 25.0 << -1.0 << 30.0 << true << false << 0.0;
    QTest::newRow("already over") << 42.0 << 42.0 << 41.0 << true << false << 0.0;
    QTest::newRow("paused") << 42.0 << -1.0 << 41.0 << false << false << 0.0;
    QTest::newRow("none yet") << -1.0 << -1.0 << 41.0 << true << false << 0.0;
}

void TestCoreRules::silenceStartsAPassOnlyWhenNew()
{
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(double, position);
    QFETCH(bool, playing);
    QFETCH(bool, begins);
    QFETCH(double, target);
    SilenceSkipper skipper;
    QVERIFY(!skipper.restart(30.0));
    const SilenceSkipper::Step step = skipper.report(start, end, position, playing, 1.0, 0);
    QCOMPARE(step.kind == SilenceSkipper::Step::Begin, begins);
    QCOMPARE(skipper.passing(), begins);
    if (begins) QCOMPARE(step.target, target);
    // The same report again is nothing new, whether it was acted upon or
    // refused; and a pass in progress ends at a restart.
    QCOMPARE(skipper.report(start, end, position, true, 1.0, 100).kind, SilenceSkipper::Step::None);
    QCOMPARE(skipper.passing(), begins);
    QCOMPARE(skipper.restart(position), begins);
    QVERIFY(!skipper.passing());
}

// A silence from 10 s, reported at 9.5 s, its pass begun at 1 000 ms; its end
// reported at 14 s (or not at all: another one starts at 20 s, the pass at
// 16 s).
void TestCoreRules::silencePassEnds_data()
{
    QTest::addColumn<double>("end");
    QTest::addColumn<double>("nextStart");
    QTest::addColumn<double>("speed");
    QTest::addColumn<qint64>("endedMs");
    QTest::addColumn<double>("target");
    QTest::addColumn<double>("saved");
    QTest::newRow("to just before its end") << 14.0 << -1.0 << 1.0 << qint64(1500) << 13.8 << 3.3;
    QTest::newRow("saved at the user's speed")
        << 14.0 << -1.0 << 2.0 << qint64(1500) << 13.8 << 1.4;
    QTest::newRow("a slow pass saves nothing")
        << 14.0 << -1.0 << 1.0 << qint64(9000) << 13.8 << 0.0;
    QTest::newRow("an end reported too late to go back")
        << 10.1 << -1.0 << 1.0 << qint64(1000) << 10.0 << 0.0;
    QTest::newRow("its end unreported: where it plays")
        << -1.0 << 20.0 << 1.0 << qint64(1500) << 16.0 << 5.5;
}

void TestCoreRules::silencePassEnds()
{
    QFETCH(double, end);
    QFETCH(double, nextStart);
    QFETCH(double, speed);
    QFETCH(qint64, endedMs);
    QFETCH(double, target);
    QFETCH(double, saved);
    SilenceSkipper skipper;
    skipper.restart(0.0);
    QCOMPARE(skipper.report(10.0, -1.0, 9.5, true, speed, 0).kind, SilenceSkipper::Step::Begin);
    skipper.begun(1000);
    QCOMPARE(skipper.report(10.0, -1.0, 12.0, true, speed, 1200).kind, SilenceSkipper::Step::None);
    const SilenceSkipper::Step step =
        skipper.report(nextStart > 0 ? nextStart : 10.0, end, 16.0, true, speed, endedMs);
    QCOMPARE(step.kind, SilenceSkipper::Step::End);
    QVERIFY(!skipper.passing());
    QCOMPARE(step.target, target);
    QVERIFY2(std::abs(step.saved - saved) < 1e-9, qPrintable(QString::number(step.saved)));
    if (target > 10.0)
        QCOMPARE(step.passed, (ListenedRange{10.0, target}));
    else
        QCOMPARE(step.passed, ListenedRange{});
}

// A pass whose end never comes stops after MaxPassMs, where playback is.
void TestCoreRules::silencePassWithoutItsEnd()
{
    SilenceSkipper skipper;
    skipper.restart(0.0);
    skipper.report(10.0, -1.0, 10.0, true, 1.0, 0);
    skipper.begun(500);
    QCOMPARE(skipper.expire(200.0, 1.0, 500 + SilenceSkipper::MaxPassMs - 1).kind,
             SilenceSkipper::Step::None);
    const SilenceSkipper::Step step = skipper.expire(200.0, 1.0, 500 + SilenceSkipper::MaxPassMs);
    QCOMPARE(step.kind, SilenceSkipper::Step::End);
    QCOMPARE(step.target, 200.0);
    QCOMPARE(step.saved, 190.0 - SilenceSkipper::MaxPassMs / 1000.0);
    QCOMPARE(skipper.expire(300.0, 1.0, 500 + 2 * SilenceSkipper::MaxPassMs).kind,
             SilenceSkipper::Step::None);
}

void TestCoreRules::stretches_data()
{
    QTest::addColumn<QList<Event>>("events");
    QTest::addColumn<Stretches>("expected");
    QTest::newRow("played, then paused")
        << QList<Event>{play(0, 0), play(1, 1000), play(2, 2000), stop(2.3, 2300)}
        << Stretches{stretch(0, 2.3, 0, 2300)};
    QTest::newRow("a seek ends it where it stood")
        << QList<Event>{play(10, 0),    play(11, 1000), stop(11.2, 1200),
                        play(50, 1300), play(51, 2300), stop(51, 2300)}
        << Stretches{stretch(10, 11.2, 0, 1200), stretch(50, 51, 1300, 2300)};
    QTest::newRow("a leap no play explains ends it where last seen")
        << QList<Event>{play(10, 0), play(11, 1000), play(60, 2000), stop(61, 3000)}
        << Stretches{stretch(10, 11, 0, 1000), stretch(60, 61, 2000, 3000)};
    QTest::newRow("a report a little behind follows on")
        << QList<Event>{play(10, 0), play(11, 1000), play(10.7, 1100), stop(11.5, 1500)}
        << Stretches{stretch(10, 11.5, 0, 1500)};
    QTest::newRow("a leap within the speed's reach follows on")
        << QList<Event>{play(0, 0, 2.0), play(5.5, 1000, 2.0), stop(6, 1250)}
        << Stretches{stretch(0, 6, 0, 1250, 2.0)};
    QTest::newRow("a change of speed")
        << QList<Event>{play(0, 0), play(1, 1000), play(1.5, 1250, 2.0), stop(3.5, 2250)}
        << Stretches{stretch(0, 1, 0, 1000), stretch(1.5, 3.5, 1250, 2250, 2.0)};
    QTest::newRow("another medium")
        << QList<Event>{play(0, 0), play(1, 1000), play(1, 1100, 1.0, QStringLiteral("b")),
                        stop(2, 2100)}
        << Stretches{stretch(0, 1, 0, 1000),
                     stretch(1, 2, 1100, 2100, 1.0, 0.0, QStringLiteral("b"))};
    QTest::newRow("silences passed belong to it, counted")
        << QList<Event>{play(0, 0),      play(1, 1000),      pass(9, 8, 1200),
                        play(9.5, 1700), pass(20, 10, 2000), stop(20.2, 2200)}
        << Stretches{stretch(0, 20.2, 0, 2200, 1.0, 18)};
    QTest::newRow("a pass behind it is not counted")
        << QList<Event>{play(0, 0), play(2, 2000), pass(1, 2, 2100), stop(2, 2100)}
        << Stretches{stretch(0, 2, 0, 2100)};
    QTest::newRow("a stop elsewhere ends it where last seen")
        << QList<Event>{play(0, 0), play(1, 1000), stop(30, 5000)}
        << Stretches{stretch(0, 1, 0, 1000)};
    // The time spent is measured on the steady clock and bounded by what
    // played: the wall clock only places the stretch.
    QTest::newRow("the wall clock jumps an hour ahead")
        << QList<Event>{play(0, 0), steady(play(1, 3601000), 1000), steady(stop(2, 3602000), 2000)}
        << Stretches{stretch(0, 2, 0, 2000)};
    QTest::newRow("the wall clock goes back an hour")
        << QList<Event>{play(0, 3600000), steady(play(1, 1000), 3601000),
                        steady(stop(2, 2000), 3602000)}
        << Stretches{stretch(0, 2, 3600000, 3602000)};
    QTest::newRow("stopped for 60 s: only what played counts")
        << QList<Event>{play(0, 0),     play(1, 1000),  play(2, 2000),
                        play(3, 63000), play(4, 64000), stop(4, 64000)}
        << Stretches{stretch(0, 4, 0, 4000)};
    QTest::newRow("never more than the content at its speed")
        << QList<Event>{play(0, 0), play(0.1, 2000), play(0.2, 4000), stop(0.2, 4000)}
        << Stretches{stretch(0, 0.2, 0, 1200)};
    QTest::newRow("nothing played, nothing kept")
        << QList<Event>{play(5, 0), stop(5, 1000), stop(6, 2000), play(7, 3000), play(40, 4000)}
        << Stretches{};
}

void TestCoreRules::stretches()
{
    QFETCH(QList<Event>, events);
    QFETCH(Stretches, expected);
    StretchRecorder recorder;
    Stretches closed;
    for (const Event &e : events) {
        std::optional<Stretch> s;
        if (e.kind == Event::Play)
            s = recorder.playing(e.name, e.position, e.value, e.now());
        else if (e.kind == Event::Pass)
            recorder.passed(e.position, e.value, e.now());
        else
            s = recorder.stop(e.position, e.now());
        if (s) closed << *s;
    }
    QCOMPARE(closed, expected);
}

void TestCoreRules::courseChoice_data()
{
    QTest::addColumn<Settings>("medium");
    QTest::addColumn<Settings>("folder");
    QTest::addColumn<CoursePlayback>("expected");
    QTest::addColumn<From>("from");
    QTest::addColumn<double>("intro");
    QTest::addColumn<double>("outro");
    const CoursePlayback global{1.25, false, true};
    const Settings none;
    QTest::newRow("nothing kept: the global ones")
        << none << none << global << From::Global << 0.0 << 0.0;
    QTest::newRow("the folder's over the global ones")
        << none << Settings(kept(1.5, true, false)) << CoursePlayback{1.5, true, false}
        << From::Folder << 0.0 << 0.0;
    QTest::newRow("the file's over the folder's")
        << Settings(kept(2.0, false, true)) << Settings(kept(1.5, true, false))
        << CoursePlayback{2.0, false, true} << From::Medium << 0.0 << 0.0;
    QTest::newRow("field by field")
        << Settings(kept({}, true)) << Settings(kept(1.5, {}, false))
        << CoursePlayback{1.5, true, false} << From::Folder << 0.0 << 0.0;
    QTest::newRow("the file's speed over nothing in the folder")
        << Settings(kept(0.75)) << Settings(kept({}, true)) << CoursePlayback{0.75, true, true}
        << From::Medium << 0.0 << 0.0;
    QTest::newRow("intro and outro are the folder's")
        << Settings(kept({}, {}, {}, 99, 99)) << Settings(kept({}, {}, {}, 20.5, 8)) << global
        << From::Global << 20.5 << 8.0;
    QTest::newRow("intro and outro kept within bounds")
        << none << Settings(kept({}, {}, {}, 1e6, -3)) << global << From::Global
        << CourseSettings::MaxSkipSeconds << 0.0;
    QTest::newRow("an intro that is no number is none")
        << none << Settings(kept({}, {}, {}, std::numeric_limits<double>::quiet_NaN(), 5)) << global
        << From::Global << 0.0 << 5.0;
}

void TestCoreRules::courseChoice()
{
    QFETCH(Settings, medium);
    QFETCH(Settings, folder);
    QFETCH(CoursePlayback, expected);
    QFETCH(From, from);
    QFETCH(double, intro);
    QFETCH(double, outro);
    const CourseChoice c =
        CourseSettings::choose(medium, folder, CoursePlayback{1.25, false, true});
    QCOMPARE(c.playback, expected);
    QCOMPARE(c.from, from);
    QCOMPARE(c.introSeconds, intro);
    QCOMPARE(c.outroSeconds, outro);
}

void TestCoreRules::timeForms_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<TimeForm>("form");
    QTest::addColumn<QString>("text");
    const TimeForm plain, twoDigitHours{2, false}, noHours{0, false}, note{2, true};
    QTest::newRow("hours as they come") << qint64(3723'999) << plain << QStringLiteral("1:02:03");
    QTest::newRow("under an hour") << qint64(59'000) << plain << QStringLiteral("0:00:59");
    QTest::newRow("two-digit hours")
        << qint64(3723'000) << twoDigitHours << QStringLiteral("01:02:03");
    QTest::newRow("more hours than digits")
        << qint64(360'005'000) << twoDigitHours << QStringLiteral("100:00:05");
    QTest::newRow("minutes past an hour") << qint64(3723'000) << noHours << QStringLiteral("62:03");
    QTest::newRow("minutes under ten") << qint64(5'000) << noHours << QStringLiteral("0:05");
    QTest::newRow("milliseconds") << qint64(45296'078) << note << QStringLiteral("12:34:56.078");
    QTest::newRow("negative as zero") << qint64(-1500) << note << QStringLiteral("00:00:00.000");
}

void TestCoreRules::timeForms()
{
    QFETCH(qint64, ms);
    QFETCH(TimeForm, form);
    QFETCH(QString, text);
    QCOMPARE(formatTime(ms, form), text);
}

QTEST_GUILESS_MAIN(TestCoreRules)
#include "tst_core_rules.moc"
