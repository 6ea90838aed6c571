// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and resuming positions: the close query behind every way of
// closing, save and exit, exit, the option that prevents closing, and the
// resume command; each run of the program is a TestProgram start.
#include "app/Unit1.h"
#include "lists/Unit4.h"
#include "lists/Unit6.h"
#include "persist/IniFile.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <QTimer>
#include <atomic>
#include <memory>

namespace
{

// Plays a file from the command line, moved to a position; paused when asked.
TForm1 *startPlaying(TestProgram &run, const QString &file, double position, bool paused)
{
    TForm1 *f = run.start({file});
    run.player()->finishLoading();
    run.player()->setCurrentPosition(position);
    if (paused) run.player()->pause();
    return f;
}

QString resumeKey(const TestProgram &run, const char *section, const char *key)
{
    return IniFile(run.file(QStringLiteral("Resume.ini")))
        .readString(QString::fromLatin1(section), QString::fromLatin1(key),
                    QStringLiteral("<none>"));
}

} // namespace

class TestResume : public QObject
{
    Q_OBJECT

private slots:
    void closeWhilePausedSavesAndNextStartOffersIt();
    void resumeKeepsFraction();
    void closeWhileStoppedOrEmptyDeletesRecord();
    void exitCommandDeletesRecordButSavesSettings();
    void saveAndExit();
    void preventedClose();
    void writeFailureStillCloses();
    void failedResumeWriteKeepsTheJournal();
    void unattendedCloseWritesItsReportToTheConsole();
    void twoWritersNeverMixARecord();
    void unknownKeysSurvive();
    void recentListWrittenAtClose();
    void historyOffWritesOnlyEnable();
    void playlistStateAtClose();
    void resumeWithoutFileName();
    void resumeFailureReachesDefaultDisplay();
    void signalRequestGoesThroughCloseQuery();
};

void TestResume::closeWhilePausedSavesAndNextStartOffersIt()
{
    TestProgram run;
    TForm1 *f = startPlaying(run, QStringLiteral("/media/lecture.mp4"), 83.7, true);
    QVERIFY(f->close());
    QCOMPARE(resumeKey(run, "Resume", "FileName"), QStringLiteral("/media/lecture.mp4"));
    QVERIFY(run.readFile(QStringLiteral("Resume.ini")).contains("Second=83.7\r\n"));
    QVERIFY(!run.player()->hasCurrentMedia());
    QVERIFY(!f->Timer1->isActive());
    run.end();

    // The next run: the notice, then the resume command.
    run.dialogs.shown.clear();
    f = run.start();
    QCOMPARE(run.dialogs.shown.size(), 1);
    QVERIFY(run.dialogs.shown.first().text.contains(QStringLiteral("lecture.mp4（00:01:23～）")));
    QVERIFY(f->P1->isEnabled());
    const QStringList recentBefore = f->recentList();
    f->P1->trigger();
    FakePlayer *p = run.player();
    // The position was set before play, right after the URL.
    QCOMPARE(p->calls, (QStringList{QStringLiteral("setURL:/media/lecture.mp4"),
                                    QStringLiteral("pos=83.7"), QStringLiteral("play")}));
    p->finishLoading();
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));
    QCOMPARE(p->currentPosition(), 83.7);
    QVERIFY(!f->P1->isEnabled());
    QVERIFY(f->E1->isEnabled());
    QVERIFY(f->Timer1->isActive());
    QVERIFY(!f->Timer2->isActive());
    QCOMPARE(f->windowTitle(), QStringLiteral("lecture - Pelmora"));
    // The resumed file is not entered into the recent list.
    QCOMPARE(f->recentList(), recentBefore);
    // Resuming leaves the record as it was.
    QVERIFY(run.exists(QStringLiteral("Resume.ini")));
}

void TestResume::resumeKeepsFraction()
{
    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setDefaultDuration(30 * 3600); };
    const double position = 25 * 3600 + 60 + 1.5;
    TForm1 *f = startPlaying(run, QStringLiteral("C:\\rec\\night.show.mp3"), position, false);
    QVERIFY(f->close());
    QVERIFY(run.readFile(QStringLiteral("Resume.ini")).contains("Second=90061.5\r\n"));
    run.end();
    f = run.start();
    QVERIFY(run.dialogs.shown.last().text.contains(QStringLiteral("night.show.mp3（25:01:01～）")));
    f->P1Click();
    QCOMPARE(run.player()->currentPosition(), position);
    QCOMPARE(f->windowTitle(), QStringLiteral("night.show - Pelmora"));
}

void TestResume::closeWhileStoppedOrEmptyDeletesRecord()
{
    for (const bool loaded : {true, false}) {
        TestProgram run;
        run.writeFile(
            QStringLiteral("Resume.ini"),
            "[Playlist]\r\nEnabled=1\r\nIndex=2\r\n[Resume]\r\nFileName=/x\r\nSecond=5\r\n");
        TForm1 *f = run.start();
        if (loaded) {
            f->OpenFile(QStringLiteral("/media/a.mp4"));
            run.player()->finishLoading();
            run.player()->stop();
        }
        QVERIFY(f->close());
        QVERIFY(!run.exists(QStringLiteral("Resume.ini")));
        // Volume and recent list are written all the same.
        QVERIFY(run.readFile(QStringLiteral("Pelmora.ini")).startsWith("[Volume]\r\nValue=50\r\n"));
        run.end();
        run.dialogs.shown.clear();
        f = run.start();
        QVERIFY(run.dialogs.shown.isEmpty());
        QVERIFY(!f->P1->isEnabled());
    }
}

void TestResume::exitCommandDeletesRecordButSavesSettings()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Resume.ini"), "[Resume]\r\nFileName=/x\r\nSecond=5\r\n");
    TForm1 *f = startPlaying(run, QStringLiteral("/media/a.mp4"), 30, false);
    run.player()->setVolume(70);
    f->Timer2->start();
    f->X1->trigger();
    QVERIFY(!f->isVisible());
    QVERIFY(!f->Timer1->isActive());
    QVERIFY(!f->Timer2->isActive());
    QVERIFY(!run.player()->hasCurrentMedia());
    QVERIFY(!run.exists(QStringLiteral("Resume.ini")));
    const IniFile settings(run.file(QStringLiteral("Pelmora.ini")));
    QCOMPARE(settings.readInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 0), 70);
    QCOMPARE(settings.readString(QStringLiteral("Recently"), QStringLiteral("File1"), QString()),
             QStringLiteral("/media/a.mp4"));
}

void TestResume::saveAndExit()
{
    // Stopped: its box, and the program goes on.
    {
        TestProgram run;
        TForm1 *f = run.start({QStringLiteral("/media/a.mp4")});
        run.player()->finishLoading();
        run.player()->stop();
        f->E1->trigger();
        QVERIFY(f->isVisible());
        QVERIFY(!SaveClicked);
        QCOMPARE(run.dialogs.shown.size(), 1);
        QCOMPARE(run.dialogs.shown.first().caption, QStringLiteral("エラー"));
        QCOMPARE(run.dialogs.shown.first().icon, MsgIcon::Error);
        QCOMPARE(run.dialogs.shown.first().text,
                 QStringLiteral("再生が停止しているので再生位置の保存はできません。"));
    }
    // Paused: saved, and the program ends.
    {
        TestProgram run;
        TForm1 *f = startPlaying(run, QStringLiteral("/media/a.mp4"), 42.25, true);
        f->E1->trigger();
        QVERIFY(!f->isVisible());
        QVERIFY(SaveClicked);
        QVERIFY(run.readFile(QStringLiteral("Resume.ini")).contains("Second=42.25\r\n"));
    }
    // At the end of the medium (not stopped): saved too.
    {
        TestProgram run;
        TForm1 *f = startPlaying(run, QStringLiteral("/media/a.mp4"), 10, false);
        run.player()->forceState(MediaPlayer::MediaEnded);
        f->E1Click();
        QVERIFY(!f->isVisible());
        QCOMPARE(resumeKey(run, "Resume", "FileName"), QStringLiteral("/media/a.mp4"));
    }
}

void TestResume::preventedClose()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Resume.ini"), "[Resume]\r\nFileName=/old\r\nSecond=1\r\n");
    TForm1 *f = startPlaying(run, QStringLiteral("/media/a.mp4"), 12, false);
    run.dialogs.shown.clear();
    const QByteArray before = run.readFile(QStringLiteral("Resume.ini"));
    f->X2->trigger();
    // The close box.
    QVERIFY(!f->close());
    QCOMPARE(run.dialogs.shown.last().caption, QStringLiteral("エラー"));
    QCOMPARE(run.dialogs.shown.last().icon, MsgIcon::Error);
    QCOMPARE(run.dialogs.shown.last().text,
             QStringLiteral("終了防止機能が有効になっているため終了できません。"));
    // The menu's exit: its own box; the player is not touched.
    f->X1Click();
    QCOMPARE(run.dialogs.shown.last().caption, QStringLiteral("終了防止機能"));
    QCOMPARE(run.dialogs.shown.last().icon, MsgIcon::Information);
    QCOMPARE(run.player()->playState(), int(MediaPlayer::Playing));
    // Save and exit: the flag is set, then the close query refuses.
    f->E1Click();
    QCOMPARE(run.dialogs.shown.last().caption, QStringLiteral("エラー"));
    QCOMPARE(run.dialogs.shown.size(), 3);
    QVERIFY(SaveClicked);
    QVERIFY(f->isVisible());
    QCOMPARE(run.readFile(QStringLiteral("Resume.ini")), before);
    QVERIFY(!run.exists(QStringLiteral("Pelmora.ini")));
    // Unticked: a close while stopped now saves, since the flag stays set.
    f->X2->trigger();
    run.player()->stop();
    run.player()->setCurrentPosition(7);
    QVERIFY(f->close());
    QCOMPARE(resumeKey(run, "Resume", "FileName"), QStringLiteral("/media/a.mp4"));
    QCOMPARE(resumeKey(run, "Resume", "Second"), QStringLiteral("7"));
}

void TestResume::writeFailureStillCloses()
{
    // The settings file and the playlist cannot be written: the place is
    // saved all the same, the playlist comes last, and one box lists both.
    TestProgram run;
    run.writeFile(QStringLiteral("Pelmora.ini"), "[Volume]\r\nValue=50\r\n");
    run.writeFile(QStringLiteral("Playlist.txt"), "/media/old.mp4\r\n");
    for (const char *name : {"Pelmora.ini", "Playlist.txt"})
        QFile::setPermissions(run.file(QString::fromLatin1(name)),
                              QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    TForm1 *f = startPlaying(run, QStringLiteral("/media/a.mp4"), 20, true);
    Form6->setEntries({QStringLiteral("/media/b.mp4")});
    QVERIFY(f->close());
    QCOMPARE(run.dialogs.shown.size(), 1);
    const Message &m = run.dialogs.shown.first();
    QCOMPARE(m.caption, QStringLiteral("エラー"));
    const QString cannot = QStringLiteral(" に書き込めません");
    const QString settings = run.file(QStringLiteral("Pelmora.ini")) + cannot;
    QVERIFY2(
        m.text.contains(QStringLiteral("タイトル：終了（CloseQuery）\nエラー内容：") + settings),
        qPrintable(m.text));
    QVERIFY(m.text.endsWith(QLatin1Char('\n') + run.file(QStringLiteral("Playlist.txt")) + cannot));
    QCOMPARE(resumeKey(run, "Resume", "FileName"), QStringLiteral("/media/a.mp4"));
    QCOMPARE(resumeKey(run, "Resume", "Second"), QStringLiteral("20"));
    QVERIFY(!run.exists(QStringLiteral("Resume.journal")));
    QVERIFY(!f->isVisible());
    QVERIFY(!f->Timer1->isActive());
}

void TestResume::failedResumeWriteKeepsTheJournal()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Resume.ini"), QByteArray("\x01\x00\x02binary", 9));
    TForm1 *f = startPlaying(run, QStringLiteral("/media/a.mp4"), 42, true); // a pause writes it
    QVERIFY(run.exists(QStringLiteral("Resume.journal")));
    QVERIFY(f->close());
    QCOMPARE(run.dialogs.shown.size(), 1);
    // The journal stays for the next start, which offers the place from it
    // once the resume file can be written again.
    QVERIFY(run.exists(QStringLiteral("Resume.journal")));
    run.end();
    QFile::remove(run.file(QStringLiteral("Resume.ini")));
    run.start();
    QCOMPARE(resumeKey(run, "Resume", "Second"), QStringLiteral("42"));
}

void TestResume::unattendedCloseWritesItsReportToTheConsole()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Pelmora.ini"), "");
    QFile::setPermissions(run.file(QStringLiteral("Pelmora.ini")), QFileDevice::ReadOwner);
    TForm1 *f = startPlaying(run, QStringLiteral("/media/a.mp4"), 30, false);
    f->X2->setChecked(true);
    // The session manager's question: refused by the option, without a box.
    QVERIFY(!f->closeUnattended(false));
    QVERIFY(run.dialogs.shown.isEmpty());
    QCOMPARE(run.consoleDialogs.shown.size(), 1);
    // A signal to end the program: obeyed, the report on the console.
    QVERIFY(f->closeUnattended(true));
    QVERIFY(run.dialogs.shown.isEmpty());
    QCOMPARE(run.consoleDialogs.shown.size(), 2);
    QVERIFY(run.consoleDialogs.shown.last().text.contains(QStringLiteral("終了（CloseQuery）")));
    QCOMPARE(resumeKey(run, "Resume", "Second"), QStringLiteral("30"));
    // Later boxes are the user's again.
    f->FormCloseQuery();
    QVERIFY(!run.dialogs.shown.isEmpty());
}

void TestResume::twoWritersNeverMixARecord()
{
    // Two programs that exit at once: each writes its name and position; a
    // reader must never see one's name with the other's position.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Resume.ini"));
    std::atomic<bool> done{false};
    auto writer = [&](const QString &name, double second) {
        return QThread::create([&, name, second] {
            for (int i = 0; i < 150; ++i)
                IniFile(path).writeResumeRecord(name, second);
        });
    };
    std::unique_ptr<QThread> a(writer(QStringLiteral("/a.mp3"), 1));
    std::unique_ptr<QThread> b(writer(QStringLiteral("/b.mp3"), 2));
    int mixed = 0, seen = 0;
    std::unique_ptr<QThread> reader(QThread::create([&] {
        const QString snapshot = dir.filePath(QStringLiteral("snapshot.ini"));
        while (!done) {
            // One read of the file, as the next start makes it.
            QFile::remove(snapshot);
            if (!QFile::copy(path, snapshot)) continue;
            const IniFile ini(snapshot);
            if (!ini.valueExists(QStringLiteral("Resume"), QStringLiteral("Second"))) continue;
            const QString name =
                ini.readString(QStringLiteral("Resume"), QStringLiteral("FileName"), {});
            const double second =
                ini.readFloat(QStringLiteral("Resume"), QStringLiteral("Second"), 0);
            ++seen;
            if ((name == QStringLiteral("/a.mp3")) != (second == 1)) ++mixed;
        }
    }));
    reader->start();
    a->start();
    b->start();
    QVERIFY(a->wait(60000) && b->wait(60000));
    done = true;
    reader->wait();
    QVERIFY(seen > 0);
    QCOMPARE(mixed, 0);
}

void TestResume::unknownKeysSurvive()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Pelmora.ini"),
                  "; hand-written\r\n[Window]\r\nLeft=10\r\n[Volume]\r\nValue=50\r\nMuted=1\r\n");
    run.writeFile(QStringLiteral("Resume.ini"), "[Notes]\r\nby=hand\r\n[Resume]\r\nSecond=1\r\n");
    TForm1 *f = startPlaying(run, QStringLiteral("/media/a.mp4"), 20, false);
    QVERIFY(f->close());
    const QByteArray settings = run.readFile(QStringLiteral("Pelmora.ini"));
    QVERIFY(settings.startsWith(
        "; hand-written\r\n[Window]\r\nLeft=10\r\n[Volume]\r\nValue=50\r\nMuted=1\r\n"));
    QVERIFY(settings.contains("[Recently]\r\nFile1=/media/a.mp4\r\n"));
    QVERIFY(run.readFile(QStringLiteral("Resume.ini"))
                .startsWith("[Notes]\r\nby=hand\r\n[Resume]\r\n"));
}

void TestResume::recentListWrittenAtClose()
{
    TestProgram run;
    TForm1 *f = run.start();
    for (const char *name : {"/a", "/b", "/c"})
        f->OpenFile(QString::fromLatin1(name));
    QVERIFY(f->close());
    const QByteArray ini = run.readFile(QStringLiteral("Pelmora.ini"));
    QVERIFY(ini.contains("[Recently]\r\nFile1=/c\r\nFile2=/b\r\nFile3=/a\r\nFile4=\r\n"));
    QVERIFY(ini.contains("File10=\r\n"));
    QVERIFY(!ini.contains("Enable"));
}

void TestResume::historyOffWritesOnlyEnable()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Pelmora.ini"), "[Recently]\r\nEnable=0\r\nFile1=/kept\r\n");
    TForm1 *f = run.start();
    f->OpenFile(QStringLiteral("/new"));
    QVERIFY(f->close());
    const QByteArray ini = run.readFile(QStringLiteral("Pelmora.ini"));
    QVERIFY(ini.contains("Enable=0\r\nFile1=/kept\r\n"));
    QVERIFY(!ini.contains("/new"));
}

void TestResume::playlistStateAtClose()
{
    TestProgram run;
    TForm1 *f = run.start();
    for (int i = 0; i < 5; ++i)
        Form6->ListBox1->addItem(QStringLiteral("/list/%1.mp3").arg(i));
    Form6->setItemIndex(3);
    f->OpenFile(QStringLiteral("/list/3.mp3"));
    run.player()->finishLoading();
    run.player()->setCurrentPosition(12.5);
    f->Timer2->start();
    QVERIFY(f->close());
    QCOMPARE(run.readFile(QStringLiteral("Resume.ini")),
             QByteArray("[Playlist]\r\nEnabled=1\r\nIndex=3\r\n[Resume]\r\nFileName=/list/3.mp3\r\n"
                        "Second=12.5\r\n"));
    QCOMPARE(
        run.readFile(QStringLiteral("Playlist.txt")),
        QByteArray("/list/0.mp3\r\n/list/1.mp3\r\n/list/2.mp3\r\n/list/3.mp3\r\n/list/4.mp3\r\n"));
    run.end();

    // Resuming selects the entry again and switches auto-advance on.
    f = run.start();
    QCOMPARE(Form6->count(), 5);
    QCOMPARE(Form6->itemIndex(), -1);
    f->P1Click();
    QCOMPARE(Form6->itemIndex(), 3);
    QVERIFY(f->Timer2->isActive());
    run.end();

    // An index beyond a list that has shrunk selects nothing; auto-advance
    // still goes on.
    run.writeFile(QStringLiteral("Playlist.txt"), "/only.mp3\r\n");
    f = run.start();
    f->P1Click();
    QCOMPARE(Form6->itemIndex(), -1);
    QVERIFY(f->Timer2->isActive());
    // A later close with auto-advance off keeps the old Playlist section.
    f->Timer2->stop();
    run.player()->finishLoading();
    QVERIFY(f->close());
    QVERIFY(run.readFile(QStringLiteral("Resume.ini"))
                .startsWith("[Playlist]\r\nEnabled=1\r\nIndex=3\r\n"));
    run.end();

    // An empty playlist leaves the old file in place.
    f = run.start();
    Form6->ListBox1->clear();
    QVERIFY(f->close());
    QCOMPARE(run.readFile(QStringLiteral("Playlist.txt")), QByteArray("/only.mp3\r\n"));
}

void TestResume::resumeWithoutFileName()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Resume.ini"), "[Resume]\r\nSecond=3\r\n");
    TForm1 *f = run.start();
    f->P1Click();
    QCOMPARE(run.player()->calls.first(), QStringLiteral("setURL:"));
    QCOMPARE(f->windowTitle(), QStringLiteral(" - Pelmora"));
}

void TestResume::resumeFailureReachesDefaultDisplay()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Resume.ini"), "[Resume]\r\nFileName=/a.mp3\r\nSecond=3\r\n");
    TForm1 *f = run.start();
    run.dialogs.shown.clear();
    run.player()->failOn(QStringLiteral("setURL"));
    f->P1Click();
    QCOMPARE(run.dialogs.shown.size(), 1);
    QCOMPARE(run.dialogs.shown.first().caption, QStringLiteral("pelmora"));
    QVERIFY(f->P1->isEnabled());
}

void TestResume::signalRequestGoesThroughCloseQuery()
{
    // A close request from outside (the session's end, SIGTERM) is an
    // ordinary close of the window: it saves like the close box.
    TestProgram run;
    TForm1 *f = startPlaying(run, QStringLiteral("/media/a.mp4"), 64, false);
    QMetaObject::invokeMethod(f, "close", Qt::QueuedConnection);
    QTRY_VERIFY(!f->isVisible());
    QCOMPARE(resumeKey(run, "Resume", "Second"), QStringLiteral("64"));
}

QTEST_MAIN(TestResume)
#include "tst_resume.moc"
