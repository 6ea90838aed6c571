// SPDX-License-Identifier: GPL-3.0-or-later
// Silence skipping with the real engine on generated speech: the pauses of
// more than 0.7 s are passed quickly, the speech is not.
#include "player/MpvPlayer.h"
#include "support/TestMedia.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

class TestEngineSilence : public QObject
{
    Q_OBJECT

private slots:
    void pausesArePassedQuicklyAndEverySentenceIsHeard();
    void matroskaWithTwoTracksAfterASeekAndATrackSwitch();
};

namespace
{

// Fails when a stretch passed quickly reaches into a sentence.
void checkNoSentencePassed(const QList<ListenedRange> &passed,
                           const QList<QPair<double, double>> &sentences)
{
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

} // namespace

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
    // A silence passed is the component's own move, no seek of a caller's
    // (the sleep timer takes those for the user's).
    QSignalSpy seeks(&player, &MediaPlayer::seeked);
    QSignalSpy passes(&player, &MediaPlayer::silencePassed);
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
    QVERIFY(player.skippedSilences().size() >= 3);
    checkNoSentencePassed(player.skippedSilences(), sentences);
    QCOMPARE(seeks.count(), 0);
    QVERIFY(passes.count() >= 3);
}

// Matroska seeks land before their target, and the engine decodes from
// there: the detector reports again silences that lie before the target.
// Such reports must neither start a pass nor hide the end of one. The
// position read while playing never goes back, and the time saved never
// exceeds what the pauses hold.
void TestEngineSilence::matroskaWithTwoTracksAfterASeekAndATrackSwitch()
{
    QTemporaryDir dir;
    const QString speech = dir.filePath(QStringLiteral("meeting.wav"));
    const QList<double> pauses = {1.5, 2.5, 1.0, 3.2, 1.7, 2.4, 1.9};
    const QList<QPair<double, double>> sentences =
        writeSpeech(speech,
                    {QStringLiteral("Welcome everyone to this meeting about the budget."),
                     QStringLiteral("First we look at the numbers from last quarter."),
                     QStringLiteral("Sales went up in the north and down in the south."),
                     QStringLiteral("Marketing asks for more money for the spring campaign."),
                     QStringLiteral("We should also talk about hiring two new engineers."),
                     QStringLiteral("The office move is planned for next month."),
                     QStringLiteral("Then let us look at the second topic."),
                     QStringLiteral("Thank you all for coming today.")},
                    pauses);
    if (sentences.isEmpty()) QSKIP("espeak-ng or sox is missing");
    const QString meeting = dir.filePath(QStringLiteral("meeting.mkv"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-loglevel",    "error",
                                            "-y",           "-i",
                                            speech,         "-i",
                                            speech,         "-map",
                                            "0:a",          "-map",
                                            "1:a",          "-c:a",
                                            "aac",          "-b:a",
                                            "64k",          "-metadata:s:a:0",
                                            "language=jpn", "-metadata:s:a:1",
                                            "language=eng", meeting});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) QSKIP("ffmpeg is missing");
    double pausesAfter = 0.0; // beyond 0.7 s, after the seek
    const double seekTo = 4.0;
    for (qsizetype i = 0; i < pauses.size(); ++i)
        if (sentences.at(i).second >= seekTo) pausesAfter += std::max(0.0, pauses.at(i) - 0.7);

    MpvPlayer player(nullptr, MpvPlayer::headless());
    player.setSkipSilence(true);
    player.setURL(meeting);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Playing), 5000);
    player.setCurrentPosition(seekTo);
    double last = seekTo;
    bool switched = false;
    QElapsedTimer clock;
    clock.start();
    while (player.playState() == MediaPlayer::Playing && clock.elapsed() < 60000) {
        QTest::qWait(50);
        const double at = player.currentPosition();
        QVERIFY2(
            at >= last,
            qPrintable(QStringLiteral("the position went back from %1 to %2").arg(last).arg(at)));
        last = at;
        if (!switched && at > sentences.at(4).first) {
            player.selectTrack(MediaPlayer::Track::Audio, 2);
            switched = true;
        }
    }
    QVERIFY(switched);
    QVERIFY(player.playState() != MediaPlayer::Playing);
    qInfo("saved %.2f s; pauses beyond 0.7 s after the seek: %.2f s", player.silenceSaved(),
          pausesAfter);
    QVERIFY(player.silenceSaved() <= pausesAfter + 0.1);
    QVERIFY(player.skippedSilences().size() >= 3);
    checkNoSentencePassed(player.skippedSilences(), sentences);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    TestEngineSilence test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_engine_silence.moc"
