// SPDX-License-Identifier: GPL-3.0-or-later
// Silence skipping with the real engine on generated speech: the pauses of
// more than 0.7 s are passed quickly, the speech is not.
#include "player/MpvPlayer.h"
#include "support/TestMedia.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

class TestEngineSilence : public QObject
{
    Q_OBJECT

private slots:
    void pausesArePassedQuicklyAndEverySentenceIsHeard();
};

void TestEngineSilence::pausesArePassedQuicklyAndEverySentenceIsHeard()
{
    QTemporaryDir dir;
    const QString speech = dir.filePath(QStringLiteral("talk.wav"));
    const QList<double> pauses = {1.5, 2.5, 3.0, 1.2, 2.0};
    const QList<QPair<double, double>> sentences = writeSpeech(
        speech,
        {QStringLiteral("Welcome to the second lecture of this series."),
         QStringLiteral("Today we look at the history of printing."),
         QStringLiteral("Movable type changed how people learned."),
         QStringLiteral("Books became cheaper every year."), QStringLiteral("Libraries grew."),
         QStringLiteral("That is all for today, thank you for listening.")},
        pauses);
    if (sentences.isEmpty()) QSKIP("espeak-ng or sox is missing");
    const double length = sentences.last().second;
    double beyond = 0.0;
    for (double pause : pauses)
        beyond += std::max(0.0, pause - 0.7);

    MpvPlayer player(nullptr, MpvPlayer::headless());
    player.setSkipSilence(true);
    QElapsedTimer clock;
    player.setURL(speech);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Playing), 5000);
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(player.playState() == MediaPlayer::MediaEnded ||
                                 player.playState() == MediaPlayer::Stopped,
                             int(length * 1000) + 5000);
    const double took = clock.elapsed() / 1000.0;
    qInfo("%.2f s of speech played in %.2f s (saved %.2f s; pauses beyond 0.7 s: %.2f s)", length,
          took, player.silenceSaved(), beyond);
    QVERIFY2(length - took >= 0.8 * beyond,
             qPrintable(QStringLiteral("%1 s of speech took %2 s; pauses beyond 0.7 s: %3 s")
                            .arg(length)
                            .arg(took)
                            .arg(beyond)));
    QVERIFY(player.silenceSaved() >= 0.8 * beyond);
    // Nothing passed quickly reaches into a sentence.
    const QList<ListenedRange> passed = player.skippedSilences();
    QVERIFY(passed.size() >= 3);
    for (const ListenedRange &p : passed) {
        for (const auto &s : sentences)
            QVERIFY2(p.end <= s.first || p.start >= s.second,
                     qPrintable(QStringLiteral("passed %1-%2, a sentence at %3-%4")
                                    .arg(p.start)
                                    .arg(p.end)
                                    .arg(s.first)
                                    .arg(s.second)));
    }
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    TestEngineSilence test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_engine_silence.moc"
