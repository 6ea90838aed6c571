// SPDX-License-Identifier: GPL-3.0-or-later
// The listening tools around the player double: the end time at another
// speed, the speed kept from run to run, the place kept in every file and
// offered again, and the component's own keys.
#include "app/MediumSession.h"
#include "app/Unit1.h"
#include "lists/Unit10.h"
#include "lists/Unit3.h"
#include "lists/Unit6.h"
#include "lists/Unit9.h"
#include "persist/IniFile.h"
#include "persist/SettingsKeys.h"
#include "persist/StudyLog.h"
#include "player/PlayerControls.h"
#include "player/SleepTimer.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>
#include <QtEndian>

class TestListening : public QObject
{
    Q_OBJECT

private slots:
    void endTimeAtSpeed_data();
    void endTimeAtSpeed();
    void speedKeptAndClamped();
    void placeIsOfferedOnlyWhereItShould();
    void listenedStretchesComeBack();
    void componentKeys();
    void sleepTimerFadesThenPauses();
    void actingDuringTheFadeCancelsIt();
    void sleepAtTheEndOfTheFileHoldsThePlaylist();
    void sleepAtTheEndKeepsThePlaceWithSilencesPassed();
    void skipSilenceSwitchKept();
    void studyLogFiguresAreHonest();
    void sleepAtTheChapterEndAndExtending();
    void studyLogWindowAndTheHistorySwitch();
    void openingOrPausingWritesOneTransaction();
    void offeredPlaceGoesBackByTheTimeSinceItWasKept();
    void settingsKeptPerFileThenFolderThenGlobal();
    void folderSettingsWindow();
    void aCourseSpeedNeverBecomesTheGlobalOne();
    void rewindIsToldInTheBar();
    void switchesAreToldOnThePicture();
    void theLastRecordingIsOfferedAtItsPlace();
    void aGoneLastRecordingIsLookedFor();
};

void TestListening::endTimeAtSpeed_data()
{
    QTest::addColumn<double>("speed");
    QTest::addColumn<QString>("end");
    QTest::addColumn<double>("outro");
    // Playing at 100.2 s of 160.9 s while the clock reads 14:00:00.700.
    QTest::newRow("normal speed: whole seconds left") << 1.0 << "14:01:00" << 0.0;
    QTest::newRow("1.5x: 60.7 s / 1.5 in ms") << 1.5 << "14:00:41" << 0.0;
    QTest::newRow("2x") << 2.0 << "14:00:31" << 0.0;
    QTest::newRow("the folder's outro of 20 s ends it sooner") << 1.0 << "14:00:40" << 20.0;
}

void TestListening::endTimeAtSpeed()
{
    QFETCH(double, speed);
    QFETCH(QString, end);
    QFETCH(double, outro);
    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) {
        p->setMediaDuration(QStringLiteral("/m/a.mp3"), 160.9);
    };
    TForm1 *f = run.start({QStringLiteral("/m/a.mp3")});
    run.player()->finishLoading();
    run.player()->setCurrentPosition(100.2);
    run.player()->setSpeed(speed);
    run.player()->setEndCut(outro);
    f->Timer1Timer();
    QCOMPARE(f->StatusBar1->text(),
             QStringLiteral("00:01:40 / 00:02:40 （再生終了時刻:%1）").arg(end));
}

void TestListening::speedKeptAndClamped()
{
    const struct {
        const char *stored;
        double speed;
    } cases[] = {{"2.5", 2.5}, {"9", 3.0}, {"0.1", 0.5}, {"fast", 1.0}, {"1,25", 1.25}};
    for (const auto &c : cases) {
        TestProgram run;
        run.writeFile(QStringLiteral("Pelmora.ini"),
                      QByteArray("[Playback]\r\nSpeed=") + c.stored + "\r\n");
        run.start();
        QCOMPARE(run.player()->speed(), c.speed);
    }
    TestProgram run;
    TForm1 *f = run.start();
    QCOMPARE(run.player()->speed(), 1.0); // nothing stored
    run.player()->setSpeed(1.75);
    QVERIFY(f->close());
    QCOMPARE(IniFile(run.file(QStringLiteral("Pelmora.ini")))
                 .readString(QStringLiteral("Playback"), QStringLiteral("Speed"), QString()),
             QStringLiteral("1.75"));
    run.start();
    QCOMPARE(run.player()->speed(), 1.75);
}

namespace
{

// Plays a medium from the command line up to a position, then opens another.
void playTo(TestProgram &run, const QString &name, double position)
{
    run.form()->OpenFile(name);
    run.player()->finishLoading();
    run.player()->advance(position);
    run.form()->OpenFile(QStringLiteral("/m/other.mp3"));
    run.player()->finishLoading();
}

} // namespace

void TestListening::placeIsOfferedOnlyWhereItShould()
{
    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setDefaultDuration(600); };
    TForm1 *f = run.start();
    FakePlayer *p = run.player();

    playTo(run, QStringLiteral("/m/long.mp3"), 130.5);
    f->OpenFile(QStringLiteral("/m/long.mp3"));
    QCOMPARE(p->offeredPlace(), std::optional<double>(130.5));
    QVERIFY(p->calls.contains(QStringLiteral("offer=130.5 00:02:10")));
    // The medium itself starts at 0; taking the offer moves there.
    QCOMPARE(p->currentPosition(), 0.0);
    p->finishLoading();
    QVERIFY(p->takeOfferedPlace());
    QCOMPARE(p->currentPosition(), 130.5);

    // Not beyond 10 s from the start; not when finished (less than 10 s
    // before the end, or played to the end).
    playTo(run, QStringLiteral("/m/short.mp3"), 9.5);
    f->OpenFile(QStringLiteral("/m/short.mp3"));
    QVERIFY(!p->offeredPlace());
    playTo(run, QStringLiteral("/m/nearly.mp3"), 591);
    f->OpenFile(QStringLiteral("/m/nearly.mp3"));
    QVERIFY(!p->offeredPlace());
    playTo(run, QStringLiteral("/m/whole.mp3"), 700);
    f->OpenFile(QStringLiteral("/m/whole.mp3"));
    QVERIFY(!p->offeredPlace());

    // The start-time path does not offer it; the resume command offers it
    // only when it lies further on than the position resumed (an offer
    // missed before that close).
    playTo(run, QStringLiteral("/m/long.mp3"), 200);
    Shitei = true;
    f->OpenFile(QStringLiteral("/m/long.mp3"));
    QVERIFY(!p->offeredPlace());
    run.writeFile(QStringLiteral("Resume.ini"), "[Resume]\r\nFileName=/m/long.mp3\r\nSecond=5\r\n");
    f->P1Click();
    QCOMPARE(p->offeredPlace(), std::optional<double>(200));
    run.writeFile(QStringLiteral("Resume.ini"),
                  "[Resume]\r\nFileName=/m/long.mp3\r\nSecond=195\r\n");
    f->P1Click();
    QVERIFY(!p->offeredPlace());

    // Kept from one run to the next, in History.db beside the INI files.
    QVERIFY(f->close());
    QVERIFY(run.exists(QStringLiteral("History.db")));
    run.start();
    run.form()->OpenFile(QStringLiteral("/m/long.mp3"));
    QVERIFY(run.player()->offeredPlace().has_value());
}

void TestListening::listenedStretchesComeBack()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/m/talk.mp3")});
    FakePlayer *p = run.player();
    p->finishLoading();
    p->advance(20);
    p->setCurrentPosition(100); // seeking over a stretch does not mark it
    p->advance(10);
    QVERIFY(f->close());
    run.start({QStringLiteral("/m/talk.mp3")});
    const QList<ListenedRange> expected = {{0, 20}, {100, 110}};
    QCOMPARE(run.player()->listened(), expected);
}

void TestListening::componentKeys()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/m/a.mp3")});
    FakePlayer *p = run.player();
    p->finishLoading();
    p->setChapters({{0, QStringLiteral("一")}, {100, QStringLiteral("二")}, {200, QString()}});
    p->setCurrentPosition(50);
    QApplication::setActiveWindow(f);
    // As a keyboard does: to the control that has the focus.
    auto key = [f](Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : f, k, mods);
    };
    key(Qt::Key_Right);
    QCOMPARE(p->currentPosition(), 55.0);
    key(Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(p->currentPosition(), 54.0);
    p->pause();
    key(Qt::Key_Left);
    QCOMPARE(p->currentPosition(), 49.0);
    QCOMPARE(p->playState(), int(MediaPlayer::Paused)); // stays paused
    key(Qt::Key_PageDown);
    QCOMPARE(p->currentPosition(), 100.0);
    key(Qt::Key_Up);
    QCOMPARE(p->volume(), 55);
    key(Qt::Key_M);
    QVERIFY(p->muted());
    key(Qt::Key_BracketRight);
    key(Qt::Key_BracketRight);
    QCOMPARE(p->speed(), 1.2);
    key(Qt::Key_Backspace);
    QCOMPARE(p->speed(), 1.0);

    // Locked: the component's keys ignore the user; the menu's do not.
    f->N2->trigger();
    key(Qt::Key_Right);
    key(Qt::Key_Down);
    key(Qt::Key_BracketLeft);
    QCOMPARE(p->currentPosition(), 100.0);
    QCOMPARE(p->volume(), 55);
    QCOMPARE(p->speed(), 1.0);
    f->N5D1->trigger();
    QCOMPARE(p->currentPosition(), 105.0);
}

void TestListening::sleepTimerFadesThenPauses()
{
    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setDefaultDuration(3600); };
    TForm1 *f = run.start({QStringLiteral("/m/night.mp3")});
    FakePlayer *p = run.player();
    p->finishLoading();
    SleepTimer *sleep = p->sleepTimer();
    sleep->set(SleepTimer::Mode::Minutes, 15);
    QCOMPARE(sleep->remainingMs(), std::optional<qint64>(15 * 60000));
    p->advance(14 * 60 + 20); // 40 s left: no fade yet
    QCOMPARE(p->fade(), 1.0);
    p->advance(25); // 15 s left: half way down
    QCOMPARE(p->fade(), 0.5);
    QCOMPARE(p->volume(), 50); // the setting is untouched
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));
    p->advance(16);
    QCOMPARE(p->playState(), int(MediaPlayer::Paused)); // paused, not stopped
    QCOMPARE(p->fade(), 1.0);
    QCOMPARE(sleep->mode(), SleepTimer::Mode::Off);
    // Where the fade began is kept and recorded, with the clock time it
    // began (31 s before the pause, at 14:00:00.7).
    QCOMPARE(p->currentPosition(), 14 * 60 + 30.0);
    QCOMPARE(Form3->cell(0, 1), QStringLiteral("00:14:30"));
    QCOMPARE(Form3->cell(1, 1), QStringLiteral("おやすみ 13:59"));
    QVERIFY(f->close());
    QCOMPARE(IniFile(run.file(QStringLiteral("Pelmora.ini")))
                 .readInteger(QStringLiteral("Volume"), QStringLiteral("Value"), -1),
             50);
}

void TestListening::actingDuringTheFadeCancelsIt()
{
    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setDefaultDuration(3600); };
    run.start({QStringLiteral("/m/night.mp3")});
    FakePlayer *p = run.player();
    p->finishLoading();
    SleepTimer *sleep = p->sleepTimer();
    sleep->set(SleepTimer::Mode::Minutes, 15);
    p->setCurrentPosition(100); // before the fade: nothing changes
    QCOMPARE(sleep->mode(), SleepTimer::Mode::Minutes);
    p->advance(15 * 60 - 10);
    QVERIFY(p->fade() < 1.0);
    run.form()->N5H1->trigger(); // a seek of the user's
    QCOMPARE(sleep->mode(), SleepTimer::Mode::Off);
    QCOMPARE(p->fade(), 1.0);
    p->advance(30);
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));
}

void TestListening::sleepAtTheEndOfTheFileHoldsThePlaylist()
{
    TestProgram run;
    TForm1 *f = run.start();
    FakePlayer *p = run.player();
    p->setDefaultDuration(120);
    Form6->setEntries({QStringLiteral("/m/a.mp3"), QStringLiteral("/m/b.mp3")});
    Form6->setItemIndex(0);
    Form6->ListBox1DblClick();
    p->finishLoading();
    // "At the end of the playlist" with an entry still to come: the playlist
    // goes on, nothing fades.
    p->sleepTimer()->set(SleepTimer::Mode::EndOfPlaylist);
    QVERIFY(!p->sleepsAtEnd());
    QVERIFY(!p->sleepTimer()->remainingMs());
    // "At the end of this file": the next entry is not opened.
    p->sleepTimer()->set(SleepTimer::Mode::EndOfMedium);
    p->advance(100);
    QVERIFY(p->fade() < 1.0);
    p->advance(18.5); // P = 118.5 >= D - 2
    f->Timer2Timer();
    QCOMPARE(run.delay.pending(), 0);
    p->advance(1.3);
    QCOMPARE(p->playState(), int(MediaPlayer::Paused));
    QCOMPARE(p->url(), QStringLiteral("/m/a.mp3"));
}

// Silences passed quickly are no action of the user's: the timer goes on.
// It pauses before the end (at 1.5x, 30 s of sound before it), or takes an
// end that comes sooner than the reported length; either way the place is
// where the fade began, and the medium does not count as finished.
void TestListening::sleepAtTheEndKeepsThePlaceWithSilencesPassed()
{
    for (const bool earlyEnd : {false, true}) {
        TestProgram run;
        run.preparePlayer = [](FakePlayer *p) { p->setDefaultDuration(300); };
        TForm1 *f = run.start({QStringLiteral("/m/lecture.mp3")});
        FakePlayer *p = run.player();
        p->finishLoading();
        p->setSkipSilence(true);
        p->setSpeed(1.5);
        p->sleepTimer()->set(SleepTimer::Mode::EndOfMedium);
        p->advance(160); // 300 - 240 = 60 s of sound left, 40 s at 1.5x
        QCOMPARE(p->fade(), 1.0);
        // 258: 27 s left before the pause; the fade began 3 s ago, at 253.5.
        p->advance(12);
        QVERIFY(p->fade() < 1.0);
        p->passSilence(270);
        QCOMPARE(p->sleepTimer()->mode(), SleepTimer::Mode::EndOfMedium);
        QVERIFY(p->fade() < 1.0);
        if (earlyEnd) {
            p->advance(30);
        } else {
            for (int i = 0; i < 40 && p->playState() == MediaPlayer::Playing; ++i)
                p->advance(0.5);
        }
        QCOMPARE(p->playState(), int(MediaPlayer::Paused));
        QCOMPARE(p->currentPosition(), 253.5);
        QCOMPARE(p->sleepTimer()->mode(), SleepTimer::Mode::Off);
        QCOMPARE(p->fade(), 1.0);
        QVERIFY(f->close());
        QCOMPARE(
            IniFile(run.file(QStringLiteral("Resume.ini"))).readFloat(SettingsKeys::ResumeSecond),
            253.5);
        run.end();
        // Opened again, it offers the place: it did not count as finished.
        run.start({QStringLiteral("/m/lecture.mp3")});
        QCOMPARE(run.player()->offeredPlace(), std::optional<double>(253.5));
    }
}

void TestListening::skipSilenceSwitchKept()
{
    TestProgram run;
    TForm1 *f = run.start();
    QVERIFY(!run.player()->skipsSilence()); // off at the first start
    run.player()->setSkipSilence(true);
    QVERIFY(f->close());
    run.start();
    QVERIFY(run.player()->skipsSilence());
}

void TestListening::offeredPlaceGoesBackByTheTimeSinceItWasKept()
{
    TestProgram run;
    TForm1 *f = run.start();
    FakePlayer *p = run.player();
    // Kept at 130.5 s; offered again after two hours, on the program's clock.
    playTo(run, QStringLiteral("/m/long.mp3"), 130.5);
    run.clock.time = run.clock.time.addSecs(2 * 3600);
    f->OpenFile(QStringLiteral("/m/long.mp3"));
    p->finishLoading();
    QSignalSpy rewound(p, &MediaPlayer::rewound);
    QVERIFY(p->takeOfferedPlace());
    QCOMPARE(p->currentPosition(), 120.5);
    QCOMPARE(rewound.count(), 1);
    // A pause of a day, then play: 20 s back.
    p->pause();
    run.clock.time = run.clock.time.addDays(1);
    p->play();
    QCOMPARE(p->currentPosition(), 100.5);

    // Switched off in the settings file: the place exactly.
    QVERIFY(f->close());
    run.writeFile(QStringLiteral("Pelmora.ini"), "[Playback]\r\nRewindAfterPause=0\r\n");
    run.start();
    run.clock.time = run.clock.time.addDays(3);
    run.form()->OpenFile(QStringLiteral("/m/long.mp3"));
    run.player()->finishLoading();
    QVERIFY(run.player()->takeOfferedPlace());
    QCOMPARE(run.player()->currentPosition(), 100.5);
}

namespace
{

void open(TestProgram &run, const QString &name)
{
    run.form()->OpenFile(name);
    run.player()->finishLoading();
}

} // namespace

// The course's example: a.mp4 in F at 1.7x with the voice boost, then c.mp4
// in G (never played: the global settings), then b.mp4 in F for the first
// time (F's settings), then c.mp4 again (its own). A network name has no
// folder. The next run remembers them all.
void TestListening::settingsKeptPerFileThenFolderThenGlobal()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Pelmora.ini"), "[Playback]\r\nSpeed=1.0\r\n");
    TForm1 *f = run.start();
    FakePlayer *p = run.player();
    const QString a = QStringLiteral("/F/a.mp4"), b = QStringLiteral("/F/b.mp4"),
                  c = QStringLiteral("/G/c.mp4"), web = QStringLiteral("https://h/F/w.mp3");
    open(run, a);
    p->setSpeed(1.7);
    p->setVoiceBoost(true);
    open(run, c);
    QCOMPARE(p->speed(), 1.0);
    QVERIFY(!p->voiceBoost());
    p->setSkipSilence(true);
    open(run, b);
    QCOMPARE(p->speed(), 1.7);
    QVERIFY(p->voiceBoost());
    QVERIFY(!p->skipsSilence());
    p->setSpeed(2.0); // b's own, and F's most recent
    open(run, c);
    QCOMPARE(p->speed(), 1.0);
    QVERIFY(p->skipsSilence());
    QVERIFY(!p->voiceBoost());
    open(run, web);
    QCOMPARE(p->speed(), 1.0); // the global ones
    p->setSpeed(1.3);
    open(run, a);
    QCOMPARE(p->speed(), 1.7);
    // Changed with nothing loaded: the global setting.
    p->closeMedia();
    p->setSpeed(1.1);
    open(run, QStringLiteral("/H/first.mp4"));
    QCOMPARE(p->speed(), 1.1);

    QVERIFY(f->close());
    run.start();
    p = run.player();
    const struct {
        QString name;
        double speed;
        bool boost;
    } expected[] = {{b, 2.0, true},
                    {c, 1.0, false},
                    {web, 1.3, false},
                    {QStringLiteral("/F/new.mp4"), 2.0, true},
                    {a, 1.7, true}};
    for (const auto &e : expected) {
        open(run, e.name);
        QCOMPARE(p->speed(), e.speed);
        QCOMPARE(p->voiceBoost(), e.boost);
    }
}

// She set 1.7x and silence skipping in one course and closed the program
// there: a course never played, in the next run, opens at the global 1.0x
// without skipping. The global settings change only by an explicit act: the
// folder window's "既定の再生設定".
void TestListening::aCourseSpeedNeverBecomesTheGlobalOne()
{
    TestProgram run;
    TForm1 *f = run.start();
    FakePlayer *p = run.player();
    open(run, QStringLiteral("/F/a.mp4"));
    p->setSpeed(1.7);
    p->setSkipSilence(true);
    QVERIFY(f->close());
    const IniFile ini(run.file(QStringLiteral("Pelmora.ini")));
    QCOMPARE(ini.readFloat(SettingsKeys::PlaybackSpeed), 1.0);
    QVERIFY(!ini.readBool(SettingsKeys::PlaybackSkipSilence));

    f = run.start();
    p = run.player();
    run.dialogs.answers.clear();
    open(run, QStringLiteral("/N/new.mp4"));
    QCOMPARE(p->speed(), 1.0);
    QVERIFY(!p->skipsSilence());
    open(run, QStringLiteral("/F/b.mp4"));
    QCOMPARE(p->speed(), 1.7); // the course keeps its own

    // Ticked in the folder window: the folder's playback is the global one.
    f->showFolderSettings();
    Form10->SpeedEdit->setValue(1.4);
    Form10->CheckBox3->setChecked(true);
    Form10->Button1Click();
    open(run, QStringLiteral("/M/other.mp4"));
    QCOMPARE(p->speed(), 1.4);
    QVERIFY(p->skipsSilence());
    QVERIFY(f->close());
    QCOMPARE(ini.readFloat(SettingsKeys::PlaybackSpeed), 1.4);
}

void TestListening::folderSettingsWindow()
{
    TestProgram run;
    TForm1 *f = run.start();
    FakePlayer *p = run.player();
    // Nothing loaded: a word, no window.
    f->showFolderSettings();
    QCOMPARE(run.dialogs.shown.size(), 1);
    QVERIFY(!Form10->isVisible());

    open(run, QStringLiteral("/F/a.mp4"));
    p->setSpeed(1.7);
    f->showFolderSettings();
    TForm10 *w = Form10;
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->SpeedEdit->value(), 1.7);
    // Every field has a name a screen reader can say, and the keyboard
    // reaches it.
    for (QWidget *field :
         std::initializer_list<QWidget *>{w->SpeedEdit, w->IntroEdit, w->OutroEdit}) {
        QVERIFY(!field->accessibleName().isEmpty());
        QVERIFY(field->focusPolicy() & Qt::TabFocus);
    }
    w->SpeedEdit->setValue(1.25);
    w->CheckBox1->setChecked(true);
    w->IntroEdit->setValue(30);
    w->OutroEdit->setValue(20);
    QTest::keyClick(w->OutroEdit, Qt::Key_Return);
    QVERIFY(!w->isVisible());
    // The file loaded follows at once (its outro too).
    QCOMPARE(p->speed(), 1.25);
    QVERIFY(p->voiceBoost());
    QCOMPARE(p->endCut(), 20.0);

    // A file of the folder opened for the first time: the folder's settings,
    // at its intro; its outro ends it, and it counts as finished.
    p->calls.clear();
    open(run, QStringLiteral("/F/b.mp4"));
    QCOMPARE(p->speed(), 1.25);
    QVERIFY(p->calls.contains(QStringLiteral("pos=30")));
    QCOMPARE(p->currentPosition(), 30.0);
    p->advance(600);
    QCOMPARE(p->playState(), int(MediaPlayer::Stopped));
    open(run, QStringLiteral("/F/c.mp4"));
    open(run, QStringLiteral("/F/b.mp4"));
    QVERIFY(!p->offeredPlace());

    // Cancel keeps what was kept; the dialog shows the folder's values.
    f->showFolderSettings();
    QCOMPARE(w->IntroEdit->value(), 30);
    w->IntroEdit->setValue(99);
    QTest::keyClick(w->IntroEdit, Qt::Key_Escape);
    f->showFolderSettings();
    QCOMPARE(w->IntroEdit->value(), 30);

    // A file too short for the intro and outro together plays whole, and
    // the status bar says why.
    p->setMediaDuration(QStringLiteral("/F/short.mp4"), 45);
    open(run, QStringLiteral("/F/short.mp4"));
    QCOMPARE(p->currentPosition(), 0.0);
    QCOMPARE(p->endCut(), 0.0);
    QVERIFY(f->statusBar()->currentMessage().contains(QStringLiteral("スキップしません")));
    p->advance(30);
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));
}

void TestListening::rewindIsToldInTheBar()
{
    FakePlayer player;
    qint64 now = 0;
    player.setRewindClock([&now] { return now; });
    PlayerControls bar;
    bar.follow(&player, nullptr);
    auto *label = bar.findChild<QLabel *>(QStringLiteral("rewoundLabel"));
    QVERIFY(label);
    player.setURL(QStringLiteral("/m/a.mp3"));
    player.finishLoading();
    player.advance(50);
    player.pause();
    now += 30'000;
    player.play();
    QVERIFY(!label->isVisibleTo(&bar)); // half a minute: nothing
    player.pause();
    now += 3'600'000;
    player.play();
    QVERIFY(label->isVisibleTo(&bar));
    QCOMPARE(label->text(), QStringLiteral("10秒戻しました"));
    QCOMPARE(label->accessibleName(), label->text());
}

// V, the speed keys and the menus' switches say what they did, for a
// moment on the picture: the player tells it.
void TestListening::switchesAreToldOnThePicture()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/m/a.mp3")});
    FakePlayer *p = run.player();
    p->finishLoading();
    QSignalSpy told(p, &MediaPlayer::told);
    QApplication::setActiveWindow(f);
    auto key = [f](Qt::Key k) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : f, k);
    };
    key(Qt::Key_V);
    key(Qt::Key_V);
    for (int i = 0; i < 7; ++i)
        key(Qt::Key_BracketRight);
    key(Qt::Key_Backspace);
    QStringList texts;
    for (const QList<QVariant> &signal : std::as_const(told))
        texts << signal.constFirst().toString();
    QCOMPARE(texts.mid(0, 2), QStringList({QStringLiteral("声を聞きやすく: オン"),
                                           QStringLiteral("声を聞きやすく: オフ")}));
    QCOMPARE(texts.at(8), QStringLiteral("速度 1.7x"));
    QCOMPARE(texts.constLast(), QStringLiteral("速度 1.0x"));
    // Silence skipping from the picture's menu.
    told.clear();
    userSetSkipSilence(*p, true);
    QCOMPARE(told.constFirst().constFirst().toString(), QStringLiteral("無音をスキップ: オン"));
    // Locked: nothing changes, and nothing is told.
    f->N2->trigger();
    told.clear();
    key(Qt::Key_V);
    QVERIFY(told.isEmpty());
}

// With nothing loaded the picture says how to begin and offers the last
// recording, at the place the place store keeps for it.
void TestListening::theLastRecordingIsOfferedAtItsPlace()
{
    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setDefaultDuration(600); };
    run.writeFile(QStringLiteral("lecture.mp3"), "x");
    const QString lecture = run.file(QStringLiteral("lecture.mp3"));
    TForm1 *f = run.start();
    QVERIFY(!run.player()->startHint().isEmpty());
    QVERIFY(run.player()->startOffer().isEmpty()); // nothing opened yet
    f->OpenFile(lecture);
    run.player()->finishLoading();
    run.player()->advance(130.5);
    run.player()->pause();
    QVERIFY(f->close());
    run.end();

    f = run.start();
    FakePlayer *p = run.player();
    QTRY_COMPARE(p->startOffer(), QStringLiteral("前回の続き: lecture (00:02:10)"));
    emit p->startOfferTaken();
    QCOMPARE(p->url(), lecture);
    QCOMPARE(f->recentList().constFirst(), QFileInfo(lecture).canonicalFilePath());
    p->finishLoading();
    QCOMPARE(p->currentPosition(), 130.5);
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));
}

// The last recording is gone from where it was opened (its folder renamed):
// the picture offers to look for it, finds it by what it held in the folder
// of another recent file, and opens it at its place.
void TestListening::aGoneLastRecordingIsLookedFor()
{
    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setDefaultDuration(600); };
    run.writeFile(QStringLiteral("F/第1回.mp3"), QByteArray(300000, 'a'));
    run.writeFile(QStringLiteral("F/第2回.mp3"), QByteArray(300000, 'b'));
    TForm1 *f = run.start();
    f->OpenFile(run.file(QStringLiteral("F/第2回.mp3")));
    run.player()->finishLoading();
    f->OpenFile(run.file(QStringLiteral("F/第1回.mp3")));
    run.player()->finishLoading();
    run.player()->advance(130.5);
    run.player()->pause();
    QVERIFY(f->close());
    run.end();
    QVERIFY(QDir(run.dir()).rename(QStringLiteral("F"), QStringLiteral("F 後期")));
    // The other recent file is gone too; its folder is looked in all the same.
    QVERIFY(QDir(run.dir()).mkpath(QStringLiteral("F")));

    f = run.start();
    FakePlayer *p = run.player();
    QCOMPARE(p->startOffer(), QStringLiteral("前回のファイル 第1回 を探す"));
    const qsizetype shown = run.dialogs.shown.size(); // the resume notice
    emit p->startOfferTaken();
    // Not there: said so, and nothing opened.
    QTRY_COMPARE(run.dialogs.shown.size(), shown + 1);
    QVERIFY(run.dialogs.shown.constLast().text.contains(QStringLiteral("見つかりません")));
    QVERIFY(!p->hasCurrentMedia());

    // Moved back beside the other file's folder: found and opened at its place.
    QVERIFY(QFile::rename(run.file(QStringLiteral("F 後期/第1回.mp3")),
                          run.file(QStringLiteral("F/lecture-01.mp3"))));
    emit p->startOfferTaken();
    QTRY_COMPARE(p->url(), run.file(QStringLiteral("F/lecture-01.mp3")));
    p->finishLoading();
    QCOMPARE(p->currentPosition(), 130.5);
}

QTEST_MAIN(TestListening)
#include "tst_listening.moc"

// A 70-minute lecture at 1.5x: 60 minutes of it played (a seek passes ten
// minutes, a pause of ten minutes between), six silences of a minute passed
// quickly. The log tells 60:00 of content in 36:00, 20:00 saved by the speed
// and 4:00 by silence skipping; ten minutes played again count as time
// spent, not as more content heard.
void TestListening::studyLogFiguresAreHonest()
{
    FakePlayer p;
    Stretches log;
    connect(&p, &MediaPlayer::stretchPlayed, &p, [&log](const Stretch &s) { log << s; });
    p.setDefaultDuration(4200);
    p.setURL(QStringLiteral("/m/lecture.mp3"));
    p.setSpeed(1.5);
    p.finishLoading();
    auto playTo = [&p](double target) {
        while (p.currentPosition() < target - 1e-6)
            p.advance(std::min(1.0, (target - p.currentPosition()) / 1.5));
    };
    for (const double silence : {300.0, 600.0, 900.0}) {
        playTo(silence);
        p.passSilence(silence + 60);
    }
    playTo(1200);
    p.pause();
    p.advance(600); // paused: no time spent listening
    p.play();
    p.setCurrentPosition(1800); // a seek: ten minutes not heard
    for (const double silence : {2400.0, 3000.0, 3600.0}) {
        playTo(silence);
        p.passSilence(silence + 60);
    }
    while (p.playState() == MediaPlayer::Playing) // to the end, which stops the medium
        p.advance(1.0);
    QCOMPARE(p.playState(), int(MediaPlayer::Stopped));

    StudyFigures f = studyFigures(log);
    QCOMPARE(qRound(f.playedSeconds), 3600);
    QCOMPARE(qRound(f.heardSeconds), 3600);
    QVERIFY2(std::abs(f.wallSeconds - 2160) <= 1, qPrintable(QString::number(f.wallSeconds)));
    QCOMPARE(qRound(f.savedBySpeed), 1200);
    QCOMPARE(qRound(f.savedBySilence), 240);

    // Played again from the start for ten minutes.
    p.play();
    playTo(600);
    p.pause();
    f = studyFigures(log);
    QCOMPARE(qRound(f.playedSeconds), 4200);
    QCOMPARE(qRound(f.heardSeconds), 3600);
    QVERIFY(std::abs(f.wallSeconds - 2560) <= 1);
}

// "チャプターの終わり" pauses before the next chapter and tells where the
// fade began; "+15分" during a fade brings the sound back and goes on, and
// counts from the time that was left.
void TestListening::sleepAtTheChapterEndAndExtending()
{
    FakePlayer p;
    p.setDefaultDuration(900);
    p.setChapters(
        {{0, QStringLiteral("序")}, {300, QStringLiteral("一")}, {600, QStringLiteral("二")}});
    p.setURL(QStringLiteral("/m/book.m4b"));
    p.finishLoading();
    QList<double> slept;
    connect(&p, &MediaPlayer::fellAsleep, &p, [&slept](double at) { slept << at; });
    p.setCurrentPosition(310);
    SleepTimer *sleep = p.sleepTimer();
    sleep->set(SleepTimer::Mode::EndOfChapter);
    QCOMPARE(sleep->remainingMs(), std::optional<qint64>((600 - 310) * 1000 - 1000));
    p.advance(275); // 585: in the fade
    QVERIFY(p.fade() < 1.0);
    sleep->extend();
    QCOMPARE(p.fade(), 1.0);
    QCOMPARE(sleep->mode(), SleepTimer::Mode::Minutes);
    QCOMPARE(*sleep->remainingMs(), 14000 + 15 * 60000);
    p.advance(60);
    QCOMPARE(p.playState(), int(MediaPlayer::Playing)); // on into the next chapter
    QVERIFY(slept.isEmpty());

    sleep->set(SleepTimer::Mode::EndOfChapter); // at 645: the last chapter ends with the file
    while (p.playState() == MediaPlayer::Playing)
        p.advance(0.5);
    QCOMPARE(p.playState(), int(MediaPlayer::Paused));
    QCOMPARE(slept.size(), 1);
    QVERIFY2(std::abs(slept.constFirst() - (900 - 1 - 30)) <= 1,
             qPrintable(QString::number(slept.constFirst())));
    QCOMPARE(p.currentPosition(), slept.constFirst());
}

// A two-minute file played twice at 2x reaches the store and comes back in
// the window: two minutes spent today (on the program's clock), two heard,
// two saved by the speed. The history switched off erases the log.
void TestListening::studyLogWindowAndTheHistorySwitch()
{
    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setDefaultDuration(120); };
    TForm1 *f = run.start({QStringLiteral("/m/lecture.mp3")});
    FakePlayer *p = run.player();
    p->finishLoading();
    p->setSpeed(2.0);
    for (int round = 0; round < 2; ++round) {
        p->play();
        // The program's clock moves between the double's steps: a step of
        // none reports where playing starts, at the time it starts.
        p->advance(0.0);
        while (p->playState() == MediaPlayer::Playing) {
            run.clock.time = run.clock.time.addSecs(1);
            p->advance(1.0);
        }
    }
    QSignalSpy shown(Form9, &TForm9::shown);
    Form9->show();
    QVERIFY(shown.wait());
    QVERIFY2(Form9->AllLabel->text().contains(
                 QStringLiteral("再生 0:02:00、内容 0:02:00、短縮 0:02:00（速度 0:02:00、")),
             qPrintable(Form9->AllLabel->text()));
    // Played today, by the program's clock.
    QVERIFY2(Form9->TodayLabel->text().contains(QStringLiteral("再生 0:02:00")),
             qPrintable(Form9->TodayLabel->text()));
    QCOMPARE(Form9->Table->model()->rowCount(), 1);

    f->setRecentDisabled(true);
    Form9->refresh();
    QVERIFY(shown.wait());
    QVERIFY(Form9->AllLabel->text().contains(QStringLiteral("再生 0:00:00")));
    QCOMPARE(Form9->Table->model()->rowCount(), 0);
}

// Opening another file keeps the place of the one before in one transaction
// of the store (its header's change counter counts them); the stretch just
// played goes in with the next place kept.
void TestListening::openingOrPausingWritesOneTransaction()
{
    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setDefaultDuration(600); };
    TForm1 *f = run.start({QStringLiteral("/m/a.mp3")});
    FakePlayer *p = run.player();
    for (int i = 0; i < 40; ++i)
        p->advance(1.0);
    f->OpenFile(QStringLiteral("/m/b.mp3")); // creates the store
    auto commits = [&run] {
        QFile db(run.file(QStringLiteral("History.db")));
        if (!db.open(QIODevice::ReadOnly)) return -1;
        const QByteArray header = db.read(28);
        return header.size() < 28 ? -1 : int(qFromBigEndian<quint32>(header.constData() + 24));
    };
    const int before = commits();
    QVERIFY(before > 0);
    for (int i = 0; i < 40; ++i)
        p->advance(1.0);
    // The GUI thread reads the store once per open: the place, the ranges
    // heard and the settings of the medium and its folder in one go.
    const int reads = f->session()->storeReads();
    f->OpenFile(QStringLiteral("/m/c.mp3"));
    QCOMPARE(commits(), before + 1);
    QCOMPARE(f->session()->storeReads(), reads + 1);
    f->OpenFile(QStringLiteral("/m/a.mp3"));
    QCOMPARE(f->session()->storeReads(), reads + 2);
    QVERIFY(p->offeredPlace()); // what that one read found
    f->OpenFile(QStringLiteral("/m/c.mp3"));
    // A pause writes its place at once, with the stretches waiting (b's and
    // c's) in the same transaction: nothing is left for a timer to wake up
    // for while paused, and the read finds nothing to write first.
    for (int i = 0; i < 40; ++i)
        p->advance(1.0);
    p->pause();
    QCOMPARE(commits(), before + 2);
    QSignalSpy shown(Form9, &TForm9::shown);
    Form9->show();
    QVERIFY(shown.wait());
    const QAbstractItemModel *table = Form9->Table->model();
    QCOMPARE(table->rowCount(table->index(0, 0)), 3);
    QCOMPARE(commits(), before + 2);
}
