// SPDX-License-Identifier: GPL-3.0-or-later
// The seek commands with the real engine (headless): three quick steps of
// +10 s move the position by 30 s plus the time played, and a command that
// finds the medium paused leaves it paused.
#include "app/Unit1.h"
#include "player/MpvPlayer.h"
#include "support/TestServices.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

class TestEngineSeek : public QObject
{
    Q_OBJECT

private slots:
    void threeQuickStepsAccumulate();
    void pausedStepsAreExact();
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

// Steps on a paused MP3 (8 kHz: frames of 144 ms) land exactly on their
// targets; they used to land up to a frame early, and the error added up.
void TestEngineSeek::pausedStepsAreExact()
{
    TestProgram run;
    run.makePlayer = [](QWidget *parent) -> MediaPlayer * {
        return new MpvPlayer(parent, MpvPlayer::headless());
    };
    const QString clip = run.file(QStringLiteral("talk.mp3"));
    QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"),
                               {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                "sine=frequency=300:sample_rate=8000:duration=600", "-c:a",
                                "libmp3lame", "-b:a", "16k", clip}),
             0);
    TForm1 *f = run.start({clip});
    MediaPlayer *p = f->WindowsMediaPlayer1;
    QTRY_COMPARE_WITH_TIMEOUT(p->playState(), int(MediaPlayer::Playing), 10000);
    p->setCurrentPosition(100.0);
    p->pause();
    QTest::qWait(300);
    for (int i = 0; i < 40; ++i) {
        f->N5D1->trigger(); // +5
        QTest::qWait(i % 4 == 0 ? 150 : 10);
        const double expected = 100.0 + 5 * (i + 1);
        QVERIFY2(
            qAbs(p->currentPosition() - expected) < 0.001,
            qPrintable(QStringLiteral("step %1: %2").arg(i).arg(p->currentPosition(), 0, 'f', 3)));
    }
    QTest::qWait(500);
    QVERIFY2(qAbs(p->currentPosition() - 300.0) < 0.001,
             qPrintable(QString::number(p->currentPosition(), 'f', 3)));
    QCOMPARE(p->playState(), int(MediaPlayer::Paused));
    // Playing goes on from there.
    p->play();
    QTest::qWait(600);
    p->pause();
    QTest::qWait(200);
    const double after = p->currentPosition();
    QVERIFY2(after > 300.3 && after < 301.0, qPrintable(QString::number(after, 'f', 3)));
}

QTEST_MAIN(TestEngineSeek)
#include "tst_engine_seek.moc"
