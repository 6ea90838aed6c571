// SPDX-License-Identifier: GPL-3.0-or-later
// The A-B repeat window: taking marks, the jump back at the end mark, the
// repeat's state on the band, and the repeat going on while the window is
// hidden.
#include "app/Unit1.h"
#include "commands/Unit7.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

class TestABRepeat : public QObject
{
    Q_OBJECT

private slots:
    void marks_data();
    void marks();
    void repeatJumpsBackAtEndMark();
    void zeroMarksJumpEveryTick();
    void noJumpUnlessPlaying_data();
    void noJumpUnlessPlaying();
    void closingKeepsRepeatAndStopLeavesPlayback();
    void theStretchIsDrawnWhileRepeating();
};

namespace
{

// A medium loaded and playing.
FakePlayer *playing(TestProgram &run, double duration = 600)
{
    FakePlayer *p = run.player();
    p->setDefaultDuration(duration);
    p->setURL(QStringLiteral("/media/talk.mp4"));
    p->finishLoading();
    return p;
}

// One tick of the repeat timer, which must be running.
void tick(FakePlayer *p, double seconds)
{
    QVERIFY(Form7->Timer1->isActive());
    p->advance(seconds);
    Form7->Timer1Timer();
}

QColor bandColour()
{
    return Form7->Label3->palette().color(QPalette::WindowText);
}

} // namespace

void TestABRepeat::marks_data()
{
    QTest::addColumn<double>("position");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("fraction cut") << 12.9 << "00:00:12" << qint64(12);
    QTest::newRow("hours") << 3723.5 << "01:02:03" << qint64(3723);
    QTest::newRow("beyond a day") << 90000.0 << "25:00:00" << qint64(90000);
    QTest::newRow("100 hours") << 360001.0 << "100:00:01" << qint64(360001);
}

void TestABRepeat::marks()
{
    QFETCH(double, position);
    QFETCH(QString, text);
    QFETCH(qint64, seconds);
    TestProgram run;
    run.start();
    QCOMPARE(Form7->Label1->text(), QStringLiteral("00:00:00"));
    QCOMPARE(Form7->Label2->text(), QStringLiteral("00:00:00"));
    QCOMPARE(Form7->Label3->text(), QStringLiteral("リピート停止中"));
    QCOMPARE(bandColour(), QColor(Qt::white));

    FakePlayer *p = playing(run, 400000);
    p->setCurrentPosition(position);
    Form7->Button1Click();
    QCOMPARE(Form7->Label1->text(), text);
    QCOMPARE(Form7->Label2->text(), QStringLiteral("00:00:00"));
    p->setCurrentPosition(position + 1);
    Form7->Button2Click();
    QCOMPARE(markSeconds(Form7->Label2->text()), seconds + 1);

    // "スタート" goes to the start mark as read back from its label.
    Form7->Button3Click();
    QCOMPARE(p->currentPosition(), double(seconds));
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));
}

void TestABRepeat::repeatJumpsBackAtEndMark()
{
    TestProgram run;
    run.start();
    FakePlayer *p = playing(run);
    p->setCurrentPosition(10.4);
    Form7->Button1Click();
    p->setCurrentPosition(20.7);
    Form7->Button2Click();
    p->setCurrentPosition(100);
    p->pause();

    Form7->Button3Click();
    QVERIFY(Form7->Timer1->isActive());
    QCOMPARE(Form7->Label3->text(), QStringLiteral("リピート再生中"));
    QCOMPARE(bandColour(), QColor(Qt::red));
    QCOMPARE(p->currentPosition(), 10.0);
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));

    // Whole seconds are compared: 19.75 s has not reached the mark.
    tick(p, 9.75);
    QCOMPARE(p->currentPosition(), 19.75);
    tick(p, 0.25);
    QCOMPARE(p->currentPosition(), 10.0);
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));
    // Again, over and over; "スタート" while repeating jumps back at once.
    tick(p, 10.6);
    QCOMPARE(p->currentPosition(), 10.0);
    tick(p, 3);
    Form7->Button3Click();
    QCOMPARE(p->currentPosition(), 10.0);
    // A forward seek past the end mark is followed by a jump back.
    p->setCurrentPosition(300);
    tick(p, 0.5);
    QCOMPARE(p->currentPosition(), 10.0);
}

void TestABRepeat::zeroMarksJumpEveryTick()
{
    TestProgram run;
    run.start();
    FakePlayer *p = playing(run);
    p->setCurrentPosition(50);
    Form7->Button3Click();
    QCOMPARE(p->currentPosition(), 0.0);
    for (int i = 0; i < 3; ++i) {
        p->calls.clear();
        tick(p, 1.0);
        QCOMPARE(p->calls, QStringList({QStringLiteral("pos=0"), QStringLiteral("play")}));
        QCOMPARE(p->currentPosition(), 0.0);
    }
}

void TestABRepeat::noJumpUnlessPlaying_data()
{
    QTest::addColumn<bool>("paused");
    QTest::newRow("paused") << true;
    QTest::newRow("stopped") << false;
}

void TestABRepeat::noJumpUnlessPlaying()
{
    QFETCH(bool, paused);
    TestProgram run;
    run.start();
    FakePlayer *p = playing(run);
    p->setCurrentPosition(30);
    Form7->Button1Click();
    p->setCurrentPosition(40);
    Form7->Button2Click();
    Form7->Button3Click();
    p->setCurrentPosition(45);
    if (paused)
        p->pause();
    else
        p->stop();
    const double before = p->currentPosition();
    p->calls.clear();
    tick(p, 1);
    tick(p, 1);
    QVERIFY(p->calls.isEmpty());
    QCOMPARE(p->currentPosition(), before);

    // The repeat resumes with playback.
    p->play();
    p->setCurrentPosition(41);
    tick(p, 0);
    QCOMPARE(p->currentPosition(), 30.0);
}

void TestABRepeat::closingKeepsRepeatAndStopLeavesPlayback()
{
    TestProgram run;
    TForm1 *f = run.start();
    FakePlayer *p = playing(run);
    f->ABR1Click();
    QVERIFY(Form7->isVisible());
    p->setCurrentPosition(5);
    Form7->Button1Click();
    p->setCurrentPosition(8);
    Form7->Button2Click();
    Form7->Button3Click();

    Form7->Button5Click();
    QVERIFY(!Form7->isVisible());
    tick(p, 3.2);
    QCOMPARE(p->currentPosition(), 5.0);

    // Shown again: the same marks and state.
    f->ABR1Click();
    QVERIFY(Form7->isVisible());
    QCOMPARE(Form7->Label1->text(), QStringLiteral("00:00:05"));
    QCOMPARE(Form7->Label2->text(), QStringLiteral("00:00:08"));
    QCOMPARE(Form7->Label3->text(), QStringLiteral("リピート再生中"));

    // "終了": the repeat stops, playback goes on where it is.
    p->advance(2.5);
    p->calls.clear();
    Form7->Button4Click();
    QVERIFY(!Form7->Timer1->isActive());
    QCOMPARE(Form7->Label3->text(), QStringLiteral("リピート停止中"));
    QCOMPARE(bandColour(), QColor(Qt::white));
    QVERIFY(p->calls.isEmpty());
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));
    QCOMPARE(p->currentPosition(), 7.5);
}

void TestABRepeat::theStretchIsDrawnWhileRepeating()
{
    TestProgram run;
    run.start();
    FakePlayer *p = playing(run);
    p->setCurrentPosition(10.5);
    Form7->Button1Click();
    p->setCurrentPosition(20.9);
    Form7->Button2Click();
    QVERIFY(!p->repeatStretch()); // not repeating yet
    Form7->Button3Click();
    QCOMPARE(p->repeatStretch(), (std::optional<ListenedRange>(ListenedRange{10, 20})));
    Form7->Button4Click();
    QVERIFY(!p->repeatStretch());
}

QTEST_MAIN(TestABRepeat)
#include "tst_abrepeat.moc"
