// SPDX-License-Identifier: GPL-3.0-or-later
// The playlist's auto-advance with the real engine (headless): three short
// clips, the first double-clicked, play one after the other by themselves,
// and nothing more is opened after the last; a jump past the end of one, and
// a fast speed, do not stop it.
#include "app/Unit1.h"
#include "lists/Unit6.h"
#include "player/MpvPlayer.h"
#include "support/TestServices.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

class TestEnginePlaylist : public QObject
{
    Q_OBJECT

private slots:
    void playsThroughAllClipsAndStops();
    void goesOnAfterAJumpPastTheEndAtThreeTimes();
};

void TestEnginePlaylist::playsThroughAllClipsAndStops()
{
    TestProgram run;
    run.makePlayer = [](QWidget *parent) -> MediaPlayer * {
        return new MpvPlayer(parent, MpvPlayer::headless());
    };
    run.useRealDelay = true;
    QStringList clips;
    for (int i = 1; i <= 3; ++i) {
        clips << run.file(QStringLiteral("clip%1.wav").arg(i));
        QVERIFY(writeTestWav(clips.constLast(), 4.0));
    }
    TForm1 *form = run.start();
    MediaPlayer *player = form->WindowsMediaPlayer1;

    // Which clips reached the playing state, in order.
    QStringList played;
    connect(player, &MediaPlayer::playStateChanged, this, [&](int state) {
        if (state == MediaPlayer::Playing &&
            (played.isEmpty() || played.constLast() != player->url()))
            played << player->url();
    });

    Form6->setEntries(clips);
    Form6->show();
    QTRY_VERIFY(Form6->isVisible());
    const QRect first = Form6->ListBox1->visualItemRect(Form6->ListBox1->item(0));
    QTest::mouseDClick(Form6->ListBox1->viewport(), Qt::LeftButton, Qt::NoModifier, first.center());
    QVERIFY(form->Timer2->isActive());

    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(!form->Timer2->isActive(), 30000);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(played, clips);
    QCOMPARE(Form6->itemIndex(), 2);
    QCOMPARE(form->recentList().mid(0, 3), QStringList({clips[2], clips[1], clips[0]}));
    // Three clips of 4 s with a pause of 2.5 s before each next one, the
    // ticks a second apart: about 12 to 17 s.
    QVERIFY2(elapsed > 8000 && elapsed < 25000, qPrintable(QString::number(elapsed)));

    // The last clip plays to its end; nothing else is opened.
    QTRY_VERIFY_WITH_TIMEOUT(player->playState() == MediaPlayer::Stopped ||
                                 player->playState() == MediaPlayer::MediaEnded,
                             10000);
    QTest::qWait(1500);
    QCOMPARE(played, clips);
    QCOMPARE(player->url(), clips[2]);
    QVERIFY(!form->Timer2->isActive());
}

void TestEnginePlaylist::goesOnAfterAJumpPastTheEndAtThreeTimes()
{
    TestProgram run;
    run.makePlayer = [](QWidget *parent) -> MediaPlayer * {
        return new MpvPlayer(parent, MpvPlayer::headless());
    };
    run.useRealDelay = true;
    QStringList clips;
    for (int i = 1; i <= 3; ++i) {
        clips << run.file(QStringLiteral("lecture%1.wav").arg(i));
        QVERIFY(writeTestWav(clips.constLast(), 12.0));
    }
    TForm1 *form = run.start();
    MediaPlayer *player = form->WindowsMediaPlayer1;
    // Set with nothing loaded: the speed every medium opens with.
    player->setSpeed(3.0);
    QStringList played;
    connect(player, &MediaPlayer::playStateChanged, this, [&](int state) {
        if (state == MediaPlayer::Playing &&
            (played.isEmpty() || played.constLast() != player->url()))
            played << player->url();
    });

    Form6->setEntries(clips);
    Form6->show();
    QTRY_VERIFY(Form6->isVisible());
    const QRect first = Form6->ListBox1->visualItemRect(Form6->ListBox1->item(0));
    QTest::mouseDClick(Form6->ListBox1->viewport(), Qt::LeftButton, Qt::NoModifier, first.center());
    QTRY_VERIFY_WITH_TIMEOUT(
        player->playState() == MediaPlayer::Playing && player->currentPosition() > 1.0, 10000);
    // "30秒早送り" 1 s into a 12 s clip: its end, as if played into it.
    form->N30B1Click();
    QTRY_VERIFY_WITH_TIMEOUT(played.size() >= 2, 10000);
    QCOMPARE(played.at(1), clips[1]);
    QCOMPARE(player->speed(), 3.0);
    // The others play through at 3x: 4 s each.
    QTRY_VERIFY_WITH_TIMEOUT(!form->Timer2->isActive(), 30000);
    QCOMPARE(played, clips);
    QCOMPARE(Form6->itemIndex(), 2);
}

QTEST_MAIN(TestEnginePlaylist)
#include "tst_engine_playlist.moc"
