// SPDX-License-Identifier: GPL-3.0-or-later
// Smart rewind's rules: how far playback goes back after a pause, with the
// pauses of the medium the silence detector knows and a stretch that repeats.
#include "player/SmartRewind.h"

#include <QTest>

class TestCoreRewind : public QObject
{
    Q_OBJECT

private slots:
    void rewindTable_data();
    void rewindTable();
};

using Ranges = QList<ListenedRange>;
using Repeat = std::optional<ListenedRange>;
Q_DECLARE_METATYPE(Repeat)

void TestCoreRewind::rewindTable_data()
{
    QTest::addColumn<double>("position");
    QTest::addColumn<qint64>("pauseMs");
    QTest::addColumn<Ranges>("silences");
    QTest::addColumn<Repeat>("repeat");
    QTest::addColumn<double>("expected");
    constexpr qint64 s = 1000, min = 60 * s, h = 60 * min, day = 24 * h;
    const Ranges none;
    const Repeat off;
    QTest::newRow("59.9 s: nothing") << 100.0 << qint64(59'900) << none << off << 100.0;
    QTest::newRow("clock set back: nothing") << 100.0 << -5 * h << none << off << 100.0;
    QTest::newRow("1 min: 3 s") << 100.0 << min << none << off << 97.0;
    QTest::newRow("59 min: 3 s") << 100.0 << 59 * min << none << off << 97.0;
    QTest::newRow("1 h: 10 s") << 100.0 << h << none << off << 90.0;
    QTest::newRow("23 h 59 min: 10 s") << 100.0 << day - min << none << off << 90.0;
    QTest::newRow("1 day: 20 s") << 100.0 << day << none << off << 80.0;
    QTest::newRow("a year: 20 s") << 100.0 << 365 * day << none << off << 80.0;
    QTest::newRow("never before 0") << 2.5 << h << none << off << 0.0;
    // The sentence at 97 s began after a pause that started at 93.2 s.
    QTest::newRow("to the pause before the sentence")
        << 100.0 << min << Ranges{{40, 40}, {93.2, 93.2}, {99, 99}} << off << 93.2;
    QTest::newRow("the pause is found unsorted")
        << 100.0 << min << Ranges{{99, 99}, {93.2, 93.2}, {40, 40}} << off << 93.2;
    QTest::newRow("a pause more than 5 s further is left alone")
        << 100.0 << min << Ranges{{91.9, 91.9}} << off << 97.0;
    QTest::newRow("exactly 5 s further") << 100.0 << min << Ranges{{92, 92}} << off << 92.0;
    QTest::newRow("after an hour, to the pause before")
        << 100.0 << h << Ranges{{88, 88}} << off << 88.0;
    QTest::newRow("not across the start of the repeated stretch")
        << 100.0 << day << none << Repeat(ListenedRange{95, 120}) << 95.0;
    QTest::newRow("nor to a pause before that start")
        << 100.0 << min << Ranges{{93.2, 93.2}} << Repeat(ListenedRange{95, 120}) << 95.0;
    QTest::newRow("a stretch further back does not hold it")
        << 100.0 << h << none << Repeat(ListenedRange{10, 20}) << 90.0;
}

void TestCoreRewind::rewindTable()
{
    QFETCH(double, position);
    QFETCH(qint64, pauseMs);
    QFETCH(Ranges, silences);
    QFETCH(Repeat, repeat);
    QFETCH(double, expected);
    QCOMPARE(SmartRewind::target(position, pauseMs, silences, repeat), expected);
}

QTEST_GUILESS_MAIN(TestCoreRewind)
#include "tst_core_rewind.moc"
