// SPDX-License-Identifier: GPL-3.0-or-later
// The seek commands with the real engine (headless): three quick steps of
// +10 s move the position by 30 s plus the time played, and a command that
// finds the medium paused leaves it paused.
#include "app/Unit1.h"
#include "player/MpvPlayer.h"
#include "support/TestServices.h"

#include <QElapsedTimer>
#include <QTest>

class TestEngineSeek : public QObject
{
    Q_OBJECT

private slots:
    void threeQuickStepsAccumulate();
};

void TestEngineSeek::threeQuickStepsAccumulate()
{
    TestProgram run;
    run.makePlayer = [](QWidget *parent) -> MediaPlayer * {
        return new MpvPlayer(parent, MpvPlayer::headless());
    };
    const QString clip = run.file(QStringLiteral("clip.wav"));
    QVERIFY(writeTestWav(clip, 120));
    TForm1 *f = run.start({clip});
    MediaPlayer *p = f->WindowsMediaPlayer1;
    QTRY_COMPARE_WITH_TIMEOUT(p->playState(), int(MediaPlayer::Playing), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(p->currentPosition() > 0.5, 10000);

    QElapsedTimer clock;
    const double before = p->currentPosition();
    clock.start();
    f->N10C1->trigger();
    f->N10C1->trigger();
    f->N10C1->trigger();
    const double elapsedAtLast = clock.elapsed() / 1000.0;
    // The engine lands where the steps asked, then plays on.
    QTest::qWait(1200);
    const double after = p->currentPosition();
    const double played = clock.elapsed() / 1000.0;
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));
    QVERIFY2(
        after >= before + 30 + elapsedAtLast - 0.3 && after <= before + 30 + played + 0.5,
        qPrintable(
            QStringLiteral("before %1, after %2, %3 s played").arg(before).arg(after).arg(played)));

    // Paused: a step back moves and stays paused.
    f->FormKeyPress(QChar(32));
    QTRY_COMPARE_WITH_TIMEOUT(p->playState(), int(MediaPlayer::Paused), 5000);
    const double pausedAt = p->currentPosition();
    f->N5H1->trigger();
    QTest::qWait(500);
    QCOMPARE(p->playState(), int(MediaPlayer::Paused));
    QVERIFY(qAbs(p->currentPosition() - (pausedAt - 5)) < 0.2);
}

QTEST_MAIN(TestEngineSeek)
#include "tst_engine_seek.moc"
