// SPDX-License-Identifier: GPL-3.0-or-later
// The main window at start-up and its small handlers: the settings read at
// start, the resume notice, the space and click toggles, the lock, the
// secondary windows, the player's error and disconnection, and the two
// failure displays.
#include "about/Unit2.h"
#include "app/Guard.h"
#include "app/TimeText.h"
#include "app/Unit1.h"
#include "commands/Unit5.h"
#include "commands/Unit7.h"
#include "lists/Unit3.h"
#include "lists/Unit4.h"
#include "lists/Unit6.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QWindow>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void startWithoutFiles();
    void menuBar();
    void tickedOptionsShowTheirMark();
    void volumeAndHistoryFromSettings_data();
    void volumeAndHistoryFromSettings();
    void resumeNoticeBeforeWindow();
    void resumeNoticeWithEmptyRecord();
    void commandLineOpensFirstArgumentOnly();
    void spaceAndClickToggles_data();
    void spaceAndClickToggles();
    void lockTwiceEnablesAgain();
    void secondaryWindowShownTwiceIsOneWindow();
    void fixedSizeWindowsCannotBeMaximised();
    void playerErrorReport();
    void disconnectionStopsStatusUpdates();
    void failureDisplays();
    void timeTexts_data();
    void timeTexts();
    void positionsBeyondATimeTextAreClamped();
    void captionNames_data();
    void captionNames();
};

void TestMainWindow::tickedOptionsShowTheirMark()
{
    // The menu draws a ticked item's icon in its On state: that picture
    // differs from the unticked one by the mark over it.
    TestProgram run;
    TForm1 *f = run.start();
    for (QAction *option : {f->C1, f->N2, f->X2}) {
        const QIcon icon = option->icon();
        const QImage off = icon.pixmap(16, QIcon::Normal, QIcon::Off).toImage();
        const QImage on = icon.pixmap(16, QIcon::Normal, QIcon::On).toImage();
        QVERIFY(!off.isNull());
        int changed = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                changed += on.pixel(x, y) != off.pixel(x, y);
        QVERIFY2(changed >= 16, qPrintable(option->objectName()));
    }
}

void TestMainWindow::startWithoutFiles()
{
    TestProgram run;
    TForm1 *f = run.start();
    QCOMPARE(run.player()->volume(), 50);
    QVERIFY(!f->RecentDisable);
    QVERIFY(run.dialogs.shown.isEmpty());
    QVERIFY(!f->E1->isEnabled());
    QVERIFY(!f->P1->isEnabled());
    QCOMPARE(f->windowTitle(), QStringLiteral("Pelmora"));
    QCOMPARE(f->StatusBar1->text(), QString());
    QVERIFY(!f->Timer1->isActive());
    QVERIFY(!f->Timer2->isActive());
    QVERIFY(!f->C1->isChecked() && !f->N2->isChecked() && !f->X2->isChecked());
    // Reading creates no file.
    QVERIFY(!run.exists(QStringLiteral("Pelmora.ini")));
    QVERIFY(!run.exists(QStringLiteral("Resume.ini")));
    // Every secondary window is hidden.
    QVERIFY(!Form2->isVisible() && !Form3->isVisible() && !Form4->isVisible() &&
            !Form5->isVisible() && !Form6->isVisible());
}

void TestMainWindow::menuBar()
{
    TestProgram run;
    TForm1 *f = run.start();
    QStringList menus;
    for (QAction *a : f->menuBar()->actions())
        menus << a->text();
    QCOMPARE(menus, (QStringList{"ファイル(&F)", "レジューム(&R)", "再生(&P)", "オプション(&O)",
                                 "ヘルプ(&H)"}));
    QCOMPARE(f->N60A1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F1));
    QCOMPARE(f->N5H1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F8));
    QCOMPARE(f->N10G1->text(), QStringLiteral("10秒巻き戻し(&G)"));
    QVERIFY(f->C1->isCheckable() && f->N2->isCheckable() && f->X2->isCheckable());
    // The icons render (their pictures load).
    for (QAction *a :
         {f->O1, f->P1, f->C1, f->N2, f->H2, f->R2, f->ReadmeR1, f->X2, f->N7, f->ABR1, f->N9})
        QVERIFY2(!a->icon().pixmap(16, 16).isNull(), qPrintable(a->text()));
    QVERIFY(f->T1->icon().isNull());
    // Every item of every menu is enabled but E1 and P1.
    for (QAction *menu : f->menuBar()->actions())
        for (QAction *a : menu->menu()->actions())
            if (!a->isSeparator() && a != f->E1 && a != f->P1)
                QVERIFY2(a->isEnabled(), qPrintable(a->text()));
}

void TestMainWindow::volumeAndHistoryFromSettings_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("volume");
    QTest::addColumn<bool>("recentDisable");
    QTest::newRow("hex") << QByteArray("[Volume]\r\nValue=0x20\r\n") << 32 << false;
    QTest::newRow("not a number") << QByteArray("[Volume]\r\nValue=loud\r\n") << 50 << false;
    QTest::newRow("history off") << QByteArray("[Volume]\r\nValue=80\r\n[Recently]\r\nEnable=0\r\n")
                                 << 80 << true;
    QTest::newRow("Enable=2 is on") << QByteArray("[recently]\r\nenable=2\r\n") << 50 << false;
    QTest::newRow("empty Enable is the default")
        << QByteArray("[Recently]\r\nEnable=\r\n") << 50 << false;
}

void TestMainWindow::volumeAndHistoryFromSettings()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, volume);
    QFETCH(bool, recentDisable);
    TestProgram run;
    run.writeFile(QStringLiteral("Pelmora.ini"), ini);
    TForm1 *f = run.start();
    QCOMPARE(run.player()->volume(), volume);
    QCOMPARE(f->RecentDisable, recentDisable);
}

void TestMainWindow::resumeNoticeBeforeWindow()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Resume.ini"),
                  "[Resume]\r\nFileName=C:\\video\\talk.2013.wmv\r\nSecond=83.7\r\n");
    TForm1 *f = run.start();
    QCOMPARE(run.dialogs.shown.size(), 1);
    const Message &m = run.dialogs.shown.first();
    QCOMPARE(m.caption, QStringLiteral("レジューム可能なファイルがあります"));
    QCOMPARE(m.icon, MsgIcon::Information);
    QCOMPARE(m.buttons, MsgButtons::Ok);
    QCOMPARE(
        m.text,
        QStringLiteral("途中から再生できるファイルがあります：\ntalk.2013.wmv（00:01:23～）\n"
                       "このファイルを途中から再生するには「レジューム」をクリックしてください。"));
    // Shown during start-up, before the main window.
    QCOMPARE(run.dialogs.mainWindowVisible.first(), false);
    QVERIFY(f->P1->isEnabled());
    QVERIFY(!f->E1->isEnabled());
    QVERIFY(!SaveClicked);
}

void TestMainWindow::resumeNoticeWithEmptyRecord()
{
    // The key Second marks a record even with an empty value; a position of
    // more than a day keeps its hours.
    TestProgram run;
    run.writeFile(QStringLiteral("Resume.ini"), "[Resume]\r\nSecond=\r\n");
    run.start();
    QCOMPARE(run.dialogs.shown.size(), 1);
    QVERIFY(run.dialogs.shown.first().text.contains(QStringLiteral("：\n（00:00:00～）\n")));
    run.end();

    run.dialogs.shown.clear();
    run.writeFile(QStringLiteral("Resume.ini"),
                  "[Resume]\r\nFileName=/home/u/radio.mp3\r\nSecond=90061.5\r\n");
    run.start();
    QVERIFY(run.dialogs.shown.first().text.contains(QStringLiteral("radio.mp3（25:01:01～）")));

    // Without the key Second there is no record.
    run.end();
    run.dialogs.shown.clear();
    run.writeFile(QStringLiteral("Resume.ini"), "[Resume]\r\nFileName=/a.mp3\r\n");
    TForm1 *f = run.start();
    QVERIFY(run.dialogs.shown.isEmpty());
    QVERIFY(!f->P1->isEnabled());
}

void TestMainWindow::commandLineOpensFirstArgumentOnly()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Resume.ini"), "[Resume]\r\nFileName=/saved.mp3\r\nSecond=10\r\n");
    TForm1 *f =
        run.start({QStringLiteral("/media/first.mp4"), QStringLiteral("/media/second.mp4")});
    // The notice came first, then the named file plays.
    QCOMPARE(run.dialogs.shown.size(), 1);
    QCOMPARE(run.player()->url(), QStringLiteral("/media/first.mp4"));
    run.player()->finishLoading();
    QCOMPARE(run.player()->playState(), int(MediaPlayer::Playing));
    QCOMPARE(f->windowTitle(), QStringLiteral("first - Pelmora"));
    QVERIFY(f->P1->isEnabled());
    QVERIFY(!run.player()->calls.join(',').contains(QStringLiteral("second")));
    run.end();

    // With no argument nothing is opened.
    run.start();
    QVERIFY(run.player()->calls.isEmpty());
    run.end();

    // A file named relative to the current directory is opened by its full
    // path; a name that is no file is passed on as it is.
    run.writeFile(QStringLiteral("talk.mp3"), "x");
    const QString before = QDir::currentPath();
    QDir::setCurrent(run.dir());
    run.start({QStringLiteral("talk.mp3")});
    QDir::setCurrent(before);
    QCOMPARE(run.player()->url(), run.file(QStringLiteral("talk.mp3")));
    run.end();
    run.start({QStringLiteral("nothing-here.mp3")});
    QCOMPARE(run.player()->url(), QStringLiteral("nothing-here.mp3"));
}

void TestMainWindow::spaceAndClickToggles_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("expected");
    const int playing = MediaPlayer::Playing, paused = MediaPlayer::Paused,
              stopped = MediaPlayer::Stopped, ended = MediaPlayer::MediaEnded,
              none = MediaPlayer::Undefined;
    QTest::newRow("playing -> paused") << playing << false << 1 << paused;
    QTest::newRow("paused -> playing") << paused << false << 1 << playing;
    QTest::newRow("stopped stays") << stopped << false << 1 << stopped;
    QTest::newRow("ended stays") << ended << false << 1 << ended;
    QTest::newRow("nothing loaded") << none << false << 1 << none;
    QTest::newRow("locked playing") << playing << true << 1 << playing;
    QTest::newRow("locked paused") << paused << true << 1 << paused;
    QTest::newRow("right button") << playing << false << 2 << playing;
    QTest::newRow("middle button") << paused << false << 4 << paused;
}

void TestMainWindow::spaceAndClickToggles()
{
    QFETCH(int, state);
    QFETCH(bool, locked);
    QFETCH(int, button);
    QFETCH(int, expected);

    for (const bool byKey : {true, false}) {
        TestProgram run;
        TForm1 *f = run.start();
        if (state != MediaPlayer::Undefined) {
            run.player()->setURL(QStringLiteral("/m.mp4"));
            run.player()->finishLoading();
            if (state == MediaPlayer::Paused)
                run.player()->pause();
            else if (state != MediaPlayer::Playing)
                run.player()->forceState(state);
        }
        if (locked) f->N2->trigger();
        if (byKey) {
            if (button != 1) continue; // the key has no button
            QTest::keyClick(f, Qt::Key_Space);
        } else {
            emit run.player()->clicked(button, 0, 10, 10);
        }
        QCOMPARE(run.player()->playState(), expected);
    }
}

void TestMainWindow::lockTwiceEnablesAgain()
{
    TestProgram run;
    TForm1 *f = run.start();
    QVERIFY(run.player()->playerEnabled());
    f->N2->trigger();
    QVERIFY(f->N2->isChecked());
    QVERIFY(!run.player()->playerEnabled());
    f->N2->trigger();
    QVERIFY(!f->N2->isChecked());
    QVERIFY(run.player()->playerEnabled());
}

void TestMainWindow::secondaryWindowShownTwiceIsOneWindow()
{
    TestProgram run;
    TForm1 *f = run.start();
    const int before = QApplication::topLevelWidgets().size();
    f->R3->trigger();
    QVERIFY(Form4->isVisible());
    Form4->ComboBox1->setEditText(QStringLiteral("typed"));
    f->R3->trigger();
    QCOMPARE(QApplication::topLevelWidgets().size(), before);
    Form4->close();
    QVERIFY(!Form4->isVisible());
    f->R3->trigger();
    QVERIFY(Form4->isVisible());
    QCOMPARE(Form4->ComboBox1->currentText(), QStringLiteral("typed"));
    // Each command shows its own window.
    f->A1->trigger();
    QVERIFY(Form2->isVisible());
    f->R2->trigger();
    QVERIFY(Form3->isVisible());
    f->N9->trigger();
    QVERIFY(Form6->isVisible());
    f->N7->trigger();
    QVERIFY(Form5->isVisible());
}

void TestMainWindow::fixedSizeWindowsCannotBeMaximised()
{
    TestProgram run;
    run.start();
    for (QWidget *w : {static_cast<QWidget *>(Form2), static_cast<QWidget *>(Form3),
                       static_cast<QWidget *>(Form4), static_cast<QWidget *>(Form5),
                       static_cast<QWidget *>(Form7)}) {
        w->show();
        QCOMPARE(w->minimumSize(), w->maximumSize());
        const Qt::WindowFlags flags = w->windowHandle()->flags();
        QVERIFY2(!(flags & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)) &&
                     (flags & Qt::WindowCloseButtonHint),
                 qPrintable(w->objectName()));
        w->hide();
    }
}

void TestMainWindow::playerErrorReport()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/media/a.mp4")});
    run.player()->finishLoading();
    run.player()->setUnplayable(QStringLiteral("/broken.mp4"));
    run.player()->setURL(QStringLiteral("/broken.mp4"));
    QTRY_COMPARE(run.dialogs.shown.size(), 1);
    const Message &m = run.dialogs.shown.first();
    QCOMPARE(m.caption, QStringLiteral("エラー"));
    QCOMPARE(m.icon, MsgIcon::Error);
    QCOMPARE(m.text,
             QStringLiteral(
                 "エラーが発生しました。\n作者に問い合わせる場合は下記の内容をお送り下さい。\n"
                 "内容はCtrl + Cでクリップボードにコピーできます。\n\n"
                 "タイトル：WMPエラー\nエラー内容：WMPエラー"));
    // Nothing else changes.
    QVERIFY(f->Timer1->isActive());
}

void TestMainWindow::disconnectionStopsStatusUpdates()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/media/a.mp4")});
    run.player()->finishLoading();
    f->Timer1Timer();
    const QString before = f->StatusBar1->text();
    QVERIFY(!before.isEmpty());
    emit run.player()->disconnected(0);
    QTRY_VERIFY(!f->Timer1->isActive());
    QCOMPARE(f->StatusBar1->text(), before);
}

void TestMainWindow::failureDisplays()
{
    QCOMPARE(defaultErrorText(QStringLiteral("abc")), QStringLiteral("abc."));
    QCOMPARE(defaultErrorText(QStringLiteral("/x に書き込めません")),
             QStringLiteral("/x に書き込めません."));
    QCOMPARE(defaultErrorText(QStringLiteral("done.")), QStringLiteral("done."));
    QCOMPARE(defaultErrorText(QStringLiteral("a-")), QStringLiteral("a-"));
    QCOMPARE(defaultErrorText(QString()), QString());

    // A failing player call in an unguarded handler reaches the default
    // display, titled with the program's name.
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/media/a.mp4")});
    run.player()->finishLoading();
    run.player()->failOn(QStringLiteral("pause"));
    f->FormKeyPress(QChar(32));
    QCOMPARE(run.dialogs.shown.size(), 1);
    QCOMPARE(run.dialogs.shown.first().caption, QStringLiteral("pelmora"));
    QCOMPARE(run.dialogs.shown.first().text, QStringLiteral("pause に失敗しました."));
    // A guarded one shows the error report with its title; the timer goes on.
    run.player()->failOn(QStringLiteral("currentPosition"));
    f->Timer1Timer();
    QCOMPARE(run.dialogs.shown.size(), 2);
    QVERIFY(run.dialogs.shown.last().text.endsWith(
        QStringLiteral("タイトル：Timer1\nエラー内容：currentPosition に失敗しました")));
    QVERIFY(f->Timer1->isActive());
}

void TestMainWindow::timeTexts_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("fraction truncated") << 83.7 << "00:01:23";
    QTest::newRow("one hour two") << 3723.5 << "01:02:03";
    QTest::newRow("a day and more keeps its hours") << 90005.0 << "25:00:05";
    QTest::newRow("99 hours") << 359999.9 << "99:59:59";
    QTest::newRow("zero") << 0.0 << "00:00:00";
    QTest::newRow("below zero") << -3.0 << "00:00:00";
}

void TestMainWindow::timeTexts()
{
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(timeText(seconds), text);
    qint64 back = -1;
    QVERIFY(parseTimeText(text, &back));
    QCOMPARE(back, seconds < 0 ? 0 : static_cast<qint64>(seconds));
}

void TestMainWindow::positionsBeyondATimeTextAreClamped()
{
    // 1e300 s as a 64-bit integer is undefined; it showed a negative time.
    TestProgram run;
    run.writeFile(QStringLiteral("Resume.ini"),
                  "[Resume]\r\nFileName=/m/a.mp3\r\nSecond=1e300\r\n");
    run.start();
    QVERIFY(run.dialogs.shown.value(0).text.contains(QStringLiteral("a.mp3（999999999:59:59～）")));
    QCOMPARE(truncatedSeconds(-1e300), -kMaxWholeSeconds);
    QCOMPARE(nonNegativeSeconds(-2.5), 0u);
    QCOMPARE(truncatedSeconds(std::nan("")), 0);
}

void TestMainWindow::captionNames_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("caption");
    QTest::newRow("windows path") << "C:\\video\\talk.2013.wmv"
                                  << "talk.2013";
    QTest::newRow("two dots") << "movie.part1.mp4"
                              << "movie.part1";
    QTest::newRow("hidden") << ".hidden"
                            << "";
    QTest::newRow("linux path") << "/home/aki/講義/第3回.mkv"
                                << "第3回";
    QTest::newRow("no extension") << "/srv/radio/show"
                                  << "show";
    QTest::newRow("drive only") << "D:clip.mp3"
                                << "clip";
    QTest::newRow("dot in directory") << "/home/a.b/noext"
                                      << "noext";
}

void TestMainWindow::captionNames()
{
    QFETCH(QString, file);
    QFETCH(QString, caption);
    QCOMPARE(captionName(file), caption);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
