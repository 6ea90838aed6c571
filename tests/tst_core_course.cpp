// SPDX-License-Identifier: GPL-3.0-or-later
// The intro and outro of a course's folder, against the length of a medium.
#include "persist/CourseSettings.h"

#include <QTest>

using CourseSettings::Cuts;
Q_DECLARE_METATYPE(Cuts)

class TestCourse : public QObject
{
    Q_OBJECT

private slots:
    void cutsLeaveSomethingToPlay_data()
    {
        QTest::addColumn<double>("intro");
        QTest::addColumn<double>("outro");
        QTest::addColumn<double>("duration");
        QTest::addColumn<Cuts>("cuts");
        QTest::newRow("both fit") << 30.0 << 20.0 << 600.0 << Cuts{30.0, 20.0, false};
        QTest::newRow("overlapping") << 500.0 << 500.0 << 600.0 << Cuts{0.0, 0.0, true};
        QTest::newRow("nothing left") << 300.0 << 300.0 << 600.0 << Cuts{0.0, 0.0, true};
        QTest::newRow("intro past the end") << 500.0 << 0.0 << 90.0 << Cuts{0.0, 0.0, true};
        QTest::newRow("length not known") << 500.0 << 500.0 << 0.0 << Cuts{500.0, 500.0, false};
        QTest::newRow("none set, short medium") << 0.0 << 0.0 << 0.5 << Cuts{0.0, 0.0, false};
        QTest::newRow("beyond the limit") << 1e9 << 0.0 << 3600.0 << Cuts{600.0, 0.0, false};
    }

    void cutsLeaveSomethingToPlay()
    {
        QFETCH(double, intro);
        QFETCH(double, outro);
        QFETCH(double, duration);
        QFETCH(Cuts, cuts);
        const Cuts got = CourseSettings::cutsFor(intro, outro, duration);
        QCOMPARE(got.introSeconds, cuts.introSeconds);
        QCOMPARE(got.outroSeconds, cuts.outroSeconds);
        QCOMPARE(got.ignored, cuts.ignored);
    }
};

QTEST_GUILESS_MAIN(TestCourse)
#include "tst_core_course.moc"
