// SPDX-License-Identifier: GPL-3.0-or-later
// Opening media, the start-time dialog, the status update and the seek
// commands, with the player double, scripted dialogs and a fixed clock.
#include "app/Unit1.h"
#include "commands/Unit5.h"
#include "lists/Unit4.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QUrl>

namespace
{

// Brings the double into a state: Playing, Paused, Stopped, MediaEnded or
// Undefined (nothing loaded).
void bringTo(FakePlayer *p, int state)
{
    if (state == MediaPlayer::Undefined) return;
    p->setURL(QStringLiteral("/media/playing.mp4"));
    p->finishLoading();
    if (state == MediaPlayer::Paused)
        p->pause();
    else if (state == MediaPlayer::Stopped)
        p->stop();
    else if (state != MediaPlayer::Playing)
        p->forceState(state);
}

QStringList comboItems(QComboBox *c)
{
    QStringList items;
    for (int i = 0; i < c->count(); ++i)
        items << c->itemText(i);
    return items;
}

} // namespace

class TestOpening : public QObject
{
    Q_OBJECT

private slots:
    void confirmationRules_data();
    void confirmationRules();
    void confirmationBoxes();
    void answerNoChangesNothing();
    void cancelAfterYesLeavesAutoAdvanceOff();
    void startPositionPath();
    void cancelledStartPositionDoesNotLeak();
    void startTimeDialog();
    void typedTimeStartsInTheHoursEachTime();
    void openDialogStartsWhereTheLastMediumLies();
    void dropOpensFirstOnly();
    void recentListRule();
    void statusWhilePlaying();
    void statusWhilePausedAndOtherStates();
    void endTimeExamples_data();
    void endTimeExamples();
    void statusBeforeAnyOpen();
    void statusShowsTheSecondTheBarShows();
    void seekWhilePlayingAndPaused();
    void seekInOtherStatesDoesNothing();
    void seekDoesNotClampAndIgnoresLock();
    void seekFailureStopsCommand();
};

void TestOpening::confirmationRules_data()
{
    QTest::addColumn<bool>("c1");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("asks");
    const int playing = MediaPlayer::Playing, paused = MediaPlayer::Paused,
              stopped = MediaPlayer::Stopped, ended = MediaPlayer::MediaEnded,
              none = MediaPlayer::Undefined;
    QTest::newRow("C1 off, playing") << false << playing << false;
    QTest::newRow("C1 off, paused") << false << paused << true;
    QTest::newRow("C1 off, stopped") << false << stopped << false;
    QTest::newRow("C1 on, playing") << true << playing << true;
    QTest::newRow("C1 on, paused") << true << paused << true;
    QTest::newRow("C1 on, stopped") << true << stopped << false;
    QTest::newRow("C1 on, ended") << true << ended << false;
    QTest::newRow("C1 on, nothing loaded") << true << none << false;
}

void TestOpening::confirmationRules()
{
    QFETCH(bool, c1);
    QFETCH(int, state);
    QFETCH(bool, asks);
    for (const bool startPosition : {false, true}) {
        TestProgram run;
        TForm1 *f = run.start();
        bringTo(run.player(), state);
        if (c1) f->C1->trigger();
        run.dialogs.openNames << QStringLiteral("/media/new.mp4");
        startPosition ? f->T1->trigger() : f->O1->trigger();
        QCOMPARE(run.dialogs.shown.size(), asks ? 1 : 0);
        // O1's default is Yes, T1's is No: the scripted answer is the default.
        const bool opened = run.player()->url() == QStringLiteral("/media/new.mp4");
        QCOMPARE(opened, !asks || !startPosition);
    }
}

void TestOpening::confirmationBoxes()
{
    TestProgram run;
    TForm1 *f = run.start();
    bringTo(run.player(), MediaPlayer::Paused);
    run.dialogs.answers << MsgResult::No << MsgResult::No;
    f->O1Click();
    f->T1Click();
    QCOMPARE(run.dialogs.shown.size(), 2);
    const Message &o = run.dialogs.shown.at(0);
    QCOMPARE(o.caption, QStringLiteral("情報"));
    QCOMPARE(o.text, QStringLiteral("再生中ですが、新たなファイルを再生しますか？"));
    QCOMPARE(o.icon, MsgIcon::Information);
    QCOMPARE(o.buttons, MsgButtons::YesNo);
    QCOMPARE(o.defaultButton, MsgResult::Yes);
    QCOMPARE(o.yesText, QStringLiteral("はい(&Y)"));
    QCOMPARE(o.noText, QStringLiteral("いいえ(&N)"));
    const Message &t = run.dialogs.shown.at(1);
    QCOMPARE(t.caption, QStringLiteral("確認"));
    QCOMPARE(t.text, o.text);
    QCOMPARE(t.icon, MsgIcon::Question);
    QCOMPARE(t.defaultButton, MsgResult::No);
    QVERIFY(t.yesText.isEmpty());
}

void TestOpening::answerNoChangesNothing()
{
    TestProgram run;
    TForm1 *f = run.start();
    bringTo(run.player(), MediaPlayer::Paused);
    f->Timer2->start();
    const QStringList callsBefore = run.player()->calls;
    run.dialogs.answers << MsgResult::No;
    run.dialogs.openNames << QStringLiteral("/media/new.mp4");
    f->O1Click();
    QVERIFY(f->Timer2->isActive());
    QCOMPARE(run.player()->calls, callsBefore);
    QCOMPARE(run.player()->playState(), int(MediaPlayer::Paused));
    QVERIFY(run.dialogs.fileDialogs.isEmpty());
}

void TestOpening::cancelAfterYesLeavesAutoAdvanceOff()
{
    TestProgram run;
    TForm1 *f = run.start();
    bringTo(run.player(), MediaPlayer::Paused);
    f->Timer2->start();
    run.dialogs.answers << MsgResult::Yes;
    f->O1Click(); // no scripted name: the dialog is cancelled
    QCOMPARE(run.dialogs.fileDialogs.size(), 1);
    QVERIFY(run.dialogs.fileDialogs.first().filter.isEmpty());
    QVERIFY(!f->Timer2->isActive());
    QCOMPARE(run.player()->url(), QStringLiteral("/media/playing.mp4"));
    QCOMPARE(run.player()->playState(), int(MediaPlayer::Paused));
}

void TestOpening::startPositionPath()
{
    TestProgram run;
    TForm1 *f = run.start();
    run.dialogs.openNames << QStringLiteral("/media/lecture.part2.mkv");
    f->T1Click();
    FakePlayer *p = run.player();
    p->finishLoading();
    p->advance(5);
    // Loaded, not playing, until the start time is confirmed.
    QCOMPARE(p->url(), QStringLiteral("/media/lecture.part2.mkv"));
    QCOMPARE(p->playState(), int(MediaPlayer::Stopped));
    QCOMPARE(p->currentPosition(), 0.0);
    QCOMPARE(f->windowTitle(), QStringLiteral("lecture.part2 - Pelmora"));
    QVERIFY(f->E1->isEnabled());
    QVERIFY(f->Timer1->isActive());
    QVERIFY(!Shitei);
    QVERIFY(Form5->isVisible());
    Form5->DateTimePicker1->setTime(QTime(1, 2, 3));
    Form5->Button1->click();
    QCOMPARE(p->currentPosition(), 3723.0);
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));
    QVERIFY(!Form5->isVisible());
}

void TestOpening::cancelledStartPositionDoesNotLeak()
{
    TestProgram run;
    TForm1 *f = run.start();
    f->T1Click(); // dialog cancelled
    QVERIFY(!Shitei);
    run.dialogs.openNames << QStringLiteral("/media/next.mp4");
    f->O1Click();
    run.player()->finishLoading();
    QCOMPARE(run.player()->playState(), int(MediaPlayer::Playing));
    QVERIFY(!Form5->isVisible());
}

// Opened again, the box takes "0:19:50" typed from its hours, not into the
// seconds it was left at.
void TestOpening::typedTimeStartsInTheHoursEachTime()
{
    TestProgram run;
    TForm1 *f = run.start();
    bringTo(run.player(), MediaPlayer::Paused);
    for (int round = 0; round < 2; ++round) {
        f->N7->trigger();
        QApplication::setActiveWindow(Form5);
        QTest::keyClicks(Form5->DateTimePicker1, QStringLiteral("0:19:50"));
        QCOMPARE(Form5->DateTimePicker1->time(), QTime(0, 19, 50));
        QTest::keyClick(Form5->DateTimePicker1, Qt::Key_Return);
        QCOMPARE(run.player()->calls.last(2),
                 (QStringList{QStringLiteral("pos=1190"), QStringLiteral("play")}));
    }
}

void TestOpening::openDialogStartsWhereTheLastMediumLies()
{
    TestProgram run;
    TForm1 *f = run.start();
    run.dialogs.openNames << QString();
    f->O1Click();
    // Never the program's own directory, with its settings files.
    QVERIFY(run.dialogs.fileDialogs.constLast().directory != run.file(QString()).chopped(1));
    QVERIFY(!run.dialogs.fileDialogs.constLast().directory.isEmpty());
    f->OpenFile(run.file(QStringLiteral("media/talk.mp3")));
    QDir().mkpath(run.file(QStringLiteral("media")));
    run.dialogs.openNames << QString();
    f->T1Click();
    QCOMPARE(run.dialogs.fileDialogs.constLast().directory, run.file(QStringLiteral("media")));
}

void TestOpening::startTimeDialog()
{
    TestProgram run;
    TForm1 *f = run.start();
    QCOMPARE(Form5->windowTitle(), QStringLiteral("指定時間から再生"));
    QCOMPARE(Form5->size(), QSize(547, 74));
    QCOMPARE(Form5->DateTimePicker1->time(), QTime(0, 0, 0));
    bringTo(run.player(), MediaPlayer::Paused);
    f->N7->trigger();
    QVERIFY(Form5->isVisible());
    // The largest time it can hold, passed on beyond the medium's length.
    Form5->DateTimePicker1->setTime(QTime(23, 59, 59));
    Form5->Button1Click();
    QCOMPARE(run.player()->calls.last(2),
             (QStringList{QStringLiteral("pos=86399"), QStringLiteral("play")}));
    // The field keeps the last value; cancel touches nothing.
    f->N7->trigger();
    QCOMPARE(Form5->DateTimePicker1->time(), QTime(23, 59, 59));
    const int calls = run.player()->calls.size();
    Form5->Button2->click();
    QVERIFY(!Form5->isVisible());
    QCOMPARE(run.player()->calls.size(), calls);
    // Esc cancels, Enter confirms.
    f->N7->trigger();
    Form5->DateTimePicker1->setTime(QTime(0, 10, 0));
    QTest::keyClick(Form5, Qt::Key_Escape);
    QVERIFY(!Form5->isVisible());
    f->N7->trigger();
    QTest::keyClick(Form5, Qt::Key_Return);
    QCOMPARE(run.player()->calls.last(2),
             (QStringList{QStringLiteral("pos=600"), QStringLiteral("play")}));
    // A failing player keeps the dialog open with the default display.
    f->N7->trigger();
    run.player()->failOn(QStringLiteral("play"));
    Form5->Button1Click();
    QVERIFY(Form5->isVisible());
    QCOMPARE(run.dialogs.shown.last().caption, QStringLiteral("pelmora"));
}

void TestOpening::dropOpensFirstOnly()
{
    TestProgram run;
    TForm1 *f = run.start();
    bringTo(run.player(), MediaPlayer::Playing);
    f->C1->trigger();
    f->Timer2->start();
    const QString longName =
        QStringLiteral("/media/") + QString(300, u'長') + QStringLiteral(".mp4");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(longName), QUrl::fromLocalFile(QStringLiteral("/b.mp4")),
                  QUrl::fromLocalFile(QStringLiteral("/c.mp4"))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f, &drop);
    QVERIFY(run.dialogs.shown.isEmpty());
    QCOMPARE(run.player()->url(), longName);
    QVERIFY(!f->Timer2->isActive());
    QCOMPARE(comboItems(Form4->ComboBox1), QStringList{longName});
}

void TestOpening::recentListRule()
{
    TestProgram run;
    TForm1 *f = run.start();
    QComboBox *recent = Form4->ComboBox1;
    f->OpenFile(QStringLiteral("A"));
    f->OpenFile(QStringLiteral("B"));
    f->OpenFile(QStringLiteral("A"));
    QCOMPARE(comboItems(recent), (QStringList{"A", "B", "A"}));
    f->OpenFile(QStringLiteral("A"));
    QCOMPARE(comboItems(recent), (QStringList{"A", "B", "A"}));
    // Case matters.
    f->OpenFile(QStringLiteral("a"));
    QCOMPARE(recent->itemText(0), QStringLiteral("a"));
    // At most ten: the eleventh goes.
    for (int i = 0; i < 12; ++i)
        f->OpenFile(QStringLiteral("F%1").arg(i));
    QCOMPARE(recent->count(), 10);
    QCOMPARE(recent->itemText(0), QStringLiteral("F11"));
    QCOMPARE(recent->itemText(9), QStringLiteral("F2"));
    // The text field keeps what the user chose, even when its entry drops out.
    recent->setCurrentIndex(9);
    const QString chosen = recent->currentText();
    f->OpenFile(QStringLiteral("F12"));
    QCOMPARE(recent->currentText(), chosen);
    QCOMPARE(recent->findText(chosen), -1);
    f->OpenFile(QStringLiteral("F13"));
    QCOMPARE(recent->count(), 10);
    QCOMPARE(recent->itemText(0), QStringLiteral("F13"));
    recent->setEditText(QStringLiteral("typed"));
    f->OpenFile(QStringLiteral("F11"));
    QCOMPARE(recent->currentText(), QStringLiteral("typed"));
    // History off: untouched.
    f->RecentDisable = true;
    f->OpenFile(QStringLiteral("Z"));
    QCOMPARE(recent->itemText(0), QStringLiteral("F11"));
    QCOMPARE(recent->itemText(1), QStringLiteral("F13"));
    // Entered even when the player refuses the file.
    f->RecentDisable = false;
    run.player()->failOn(QStringLiteral("setURL"));
    f->O1Click(); // cancelled dialog: nothing entered
    run.dialogs.openNames << QStringLiteral("/refused.mp4");
    f->O1Click();
    QCOMPARE(recent->itemText(0), QStringLiteral("/refused.mp4"));
    QCOMPARE(run.dialogs.shown.last().caption, QStringLiteral("pelmora"));
}

void TestOpening::statusWhilePlaying()
{
    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setDefaultDuration(160.9); };
    TForm1 *f = run.start({QStringLiteral("/media/a.mp4")});
    run.player()->finishLoading();
    run.player()->setCurrentPosition(100.2);
    run.clock.time = QDateTime(QDate(2026, 12, 9), QTime(14, 0, 0, 700));
    f->Timer1Timer();
    QCOMPARE(f->StatusBar1->text(),
             QStringLiteral("00:01:40 / 00:02:40 （再生終了時刻:14:01:00）"));
    QCOMPARE(f->CurrentPosition, QStringLiteral("00:01:40"));
    QCOMPARE(run.taskbar.calls.last(), QStringLiteral("2:100/160"));
}

void TestOpening::statusWhilePausedAndOtherStates()
{
    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setDefaultDuration(3725.4); };
    TForm1 *f = run.start({QStringLiteral("/media/a.mp4")});
    run.player()->finishLoading();
    run.player()->setCurrentPosition(65.9);
    run.player()->pause();
    f->Timer1Timer();
    QCOMPARE(f->StatusBar1->text(), QStringLiteral("00:01:05 / 01:02:05"));
    QCOMPARE(run.taskbar.calls.last(), QStringLiteral("8:65/3725"));
    // Buffering and the like show the paused form too.
    run.player()->forceState(MediaPlayer::Buffering);
    f->Timer1Timer();
    QCOMPARE(f->StatusBar1->text(), QStringLiteral("00:01:05 / 01:02:05"));
    // A medium of 25 hours keeps its hours.
    run.player()->setMediaDuration(QStringLiteral("/long.mp3"), 90000.0);
    f->OpenFile(QStringLiteral("/long.mp3"));
    run.player()->finishLoading();
    run.player()->pause();
    f->Timer1Timer();
    QCOMPARE(f->StatusBar1->text(), QStringLiteral("00:00:00 / 25:00:00"));
    // After the medium is released the status keeps what it showed.
    run.player()->closeMedia();
    f->Timer1Timer();
    QCOMPARE(f->StatusBar1->text(), QStringLiteral("00:00:00 / 25:00:00"));
}

void TestOpening::endTimeExamples_data()
{
    QTest::addColumn<QTime>("clock");
    QTest::addColumn<double>("position");
    QTest::addColumn<double>("length");
    QTest::addColumn<QString>("end");
    QTest::newRow("truncated remaining") << QTime(14, 0, 0, 700) << 100.2 << 160.9 << "14:01:00";
    QTest::newRow("past midnight") << QTime(23, 59, 0) << 10.0 << 130.0 << "00:01:00";
    QTest::newRow("milliseconds carry") << QTime(10, 0, 59, 999) << 0.5 << 1.6 << "10:01:00";
    QTest::newRow("unknown length") << QTime(12, 0, 0) << 30.0 << 0.0 << "11:59:30";
}

void TestOpening::endTimeExamples()
{
    QFETCH(QTime, clock);
    QFETCH(double, position);
    QFETCH(double, length);
    QFETCH(QString, end);
    TestProgram run;
    run.preparePlayer = [length](FakePlayer *p) { p->setDefaultDuration(length); };
    TForm1 *f = run.start({QStringLiteral("/media/a.mp4")});
    run.player()->finishLoading();
    if (length > 0)
        run.player()->setCurrentPosition(position);
    else
        run.player()->advance(position); // a stream without length keeps playing
    run.clock.time = QDateTime(QDate(2026, 12, 9), clock);
    f->Timer1Timer();
    QVERIFY2(f->StatusBar1->text().endsWith(QStringLiteral("（再生終了時刻:") + end +
                                            QStringLiteral("）")),
             qPrintable(f->StatusBar1->text()));
}

void TestOpening::statusBeforeAnyOpen()
{
    TestProgram run;
    TForm1 *f = run.start();
    f->Timer1Timer();
    QCOMPARE(f->StatusBar1->text(), QString());
    QCOMPARE(f->CurrentPosition, QString());
    QVERIFY(run.taskbar.calls.isEmpty());
}

void TestOpening::seekWhilePlayingAndPaused()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/media/a.mp4")});
    FakePlayer *p = run.player();
    p->finishLoading();
    p->setCurrentPosition(100.4);
    f->N10C1->trigger();
    QCOMPARE(p->currentPosition(), 110.4);
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));
    f->N60E1->trigger();
    QCOMPARE(p->currentPosition(), 50.4);
    // Three quick presses add to the position reported each time.
    f->N10C1Click();
    p->advance(0.3);
    f->N10C1Click();
    p->advance(0.3);
    f->N10C1Click();
    QCOMPARE(p->currentPosition(), 50.4 + 30 + 0.6);
    // Paused: moved and paused again.
    p->pause();
    p->setCurrentPosition(100.4);
    p->calls.clear();
    f->N5D1->trigger();
    QCOMPARE(p->currentPosition(), 105.4);
    QCOMPARE(p->playState(), int(MediaPlayer::Paused));
    QCOMPARE(p->calls, (QStringList{QStringLiteral("pos=105.4"), QStringLiteral("pause")}));
    // Each command's step and direction.
    const QList<QPair<QAction *, double>> steps = {
        {f->N60A1, 60},  {f->N30B1, 30},  {f->N10C1, 10},  {f->N5D1, 5},
        {f->N60E1, -60}, {f->N30F1, -30}, {f->N10G1, -10}, {f->N5H1, -5}};
    for (const auto &[action, step] : steps) {
        p->setCurrentPosition(200);
        action->trigger();
        QCOMPARE(p->currentPosition(), 200 + step);
    }
}

void TestOpening::seekInOtherStatesDoesNothing()
{
    for (const int state : {int(MediaPlayer::Undefined), int(MediaPlayer::Stopped),
                            int(MediaPlayer::MediaEnded), int(MediaPlayer::Buffering)}) {
        TestProgram run;
        TForm1 *f = run.start();
        bringTo(run.player(), state);
        run.player()->calls.clear();
        f->N60A1Click();
        f->N5H1Click();
        QVERIFY2(run.player()->calls.isEmpty(), qPrintable(QString::number(state)));
        QVERIFY(run.dialogs.shown.isEmpty());
    }
}

void TestOpening::seekDoesNotClampAndIgnoresLock()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/media/a.mp4")});
    FakePlayer *p = run.player();
    p->finishLoading();
    f->N2->trigger(); // controls locked
    p->setCurrentPosition(3.2);
    p->calls.clear();
    f->N5H1Click();
    QCOMPARE(p->calls.first(), QStringLiteral("pos=-1.8"));
    p->setCurrentPosition(580); // 20 s before the end of 600 s
    p->calls.clear();
    f->N30B1Click();
    QCOMPARE(p->calls.first(), QStringLiteral("pos=610"));
}

void TestOpening::seekFailureStopsCommand()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/media/a.mp4")});
    FakePlayer *p = run.player();
    p->finishLoading();
    p->setCurrentPosition(100);
    p->failOn(QStringLiteral("play"));
    p->calls.clear();
    f->N10C1Click();
    // The position stays set; the default display reports the failure.
    QCOMPARE(p->calls, QStringList{QStringLiteral("pos=110")});
    QCOMPARE(p->currentPosition(), 110.0);
    QCOMPARE(run.dialogs.shown.size(), 1);
    QCOMPARE(run.dialogs.shown.first().caption, QStringLiteral("pelmora"));
}

void TestOpening::statusShowsTheSecondTheBarShows()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/media/a.mp4")});
    run.player()->finishLoading();
    run.player()->setSpeed(3.0);
    // The timer alone would show a new second only at its next tick.
    f->Timer1->start(3'600'000);
    QCoreApplication::processEvents(); // the refresh the start asked for
    QCOMPARE(f->StatusBar1->text(),
             QStringLiteral("00:00:00 / 00:10:00 （再生終了時刻:14:03:20）"));
    run.player()->advance(1.0); // three seconds of the medium
    emit run.player()->positionChanged(run.player()->currentPosition());
    QCoreApplication::processEvents();
    QVERIFY2(f->StatusBar1->text().startsWith(QStringLiteral("00:00:03 / ")),
             qPrintable(f->StatusBar1->text()));
}

QTEST_MAIN(TestOpening)
#include "tst_opening.moc"
