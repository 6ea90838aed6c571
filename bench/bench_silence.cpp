// SPDX-License-Identifier: GPL-3.0-or-later
// Silence skipping on ten minutes of speech made with espeak-ng and sox:
// sentences with pauses of 1 to 3 s between them. Plays it through with the
// real engine (no sound device needed) and prints how long it took, the time
// saved against the pauses beyond 0.7 s, and whether any stretch passed
// quickly reached into a sentence (a first or last word lost). Takes about
// as long as the speech, less what it saves:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_silence [minutes]
#include "player/MpvPlayer.h"
#include "support/TestMedia.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const double minutes = argc > 1 ? QString::fromLocal8Bit(argv[1]).toDouble() : 10.0;
    const QStringList words = {
        QStringLiteral("The printing press changed how knowledge travelled across Europe."),
        QStringLiteral("Before it, every book was copied by hand."),
        QStringLiteral("Monasteries kept the largest libraries."),
        QStringLiteral("A single bible could take a year to copy."),
        QStringLiteral("Paper from the east made books cheaper."),
        QStringLiteral("Movable type let a printer reuse his letters."),
        QStringLiteral("Within fifty years, millions of books were printed."),
        QStringLiteral("Let us look at what this meant for universities."),
    };
    QStringList sentences;
    QList<double> pauses;
    QRandomGenerator random(20261209);
    double estimate = 0;
    while (estimate < minutes * 60) {
        sentences << words.at(sentences.size() % words.size());
        const double pause = 1.0 + random.bounded(2.0);
        pauses << pause;
        estimate += 2.6 + pause;
    }
    pauses.removeLast();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("lecture.wav"));
    std::printf("making %lld sentences of speech...\n", static_cast<long long>(sentences.size()));
    std::fflush(stdout);
    const QList<QPair<double, double>> speech = writeSpeech(file, sentences, pauses);
    if (speech.isEmpty()) {
        std::fprintf(stderr, "espeak-ng or sox is missing\n");
        return 1;
    }
    const double length = speech.last().second;
    double beyond = 0;
    for (double pause : pauses)
        beyond += std::max(0.0, pause - 0.7);

    MpvPlayer player(nullptr, MpvPlayer::headless());
    player.setSkipSilence(true);
    player.setURL(file);
    QElapsedTimer clock;
    while (player.playState() != MediaPlayer::Playing)
        QTest::qWait(5);
    clock.start();
    std::printf("playing %.1f s of speech (pauses beyond 0.7 s: %.1f s)...\n", length, beyond);
    std::fflush(stdout);
    while (player.playState() == MediaPlayer::Playing)
        QTest::qWait(20);
    const double took = clock.elapsed() / 1000.0;

    int into = 0;
    double closest = 1e9;
    for (const ListenedRange &passed : player.skippedSilences()) {
        for (const auto &s : speech) {
            if (passed.end > s.first && passed.start < s.second) ++into;
            if (passed.end <= s.first) closest = std::min(closest, s.first - passed.end);
            if (passed.start >= s.second) closest = std::min(closest, passed.start - s.second);
        }
    }
    std::printf("speech %.1f s (%lld sentences) played in %.1f s: %.1f s shorter; the player "
                "counts %.1f s saved = %.0f%% of the %.1f s of pause beyond 0.7 s\n",
                length, static_cast<long long>(speech.size()), took, length - took,
                player.silenceSaved(), 100.0 * player.silenceSaved() / beyond, beyond);
    std::printf("%lld silences passed quickly; %d reached into a sentence; the closest came "
                "%.2f s to one\n",
                static_cast<long long>(player.skippedSilences().size()), into, closest);
    return into == 0 ? 0 : 2;
}
