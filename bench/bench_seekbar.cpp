// SPDX-License-Identifier: GPL-3.0-or-later
// How long the seek bar takes to paint a long medium with many stretches
// heard, chapters and recorded positions: a three-hour medium with 200
// stretches, 40 chapters and 50 recorded positions, at the width of the main
// window and of a full-screen one. Run on the offscreen platform:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_seekbar
// Then the same with a search's 250,000 matches marked. The goal: under 2 ms
// a paint.
#include "player/SeekBar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const double length = 3 * 3600.0;
    QList<ListenedRange> ranges;
    for (int i = 0; i < 200; ++i)
        ranges.append({i * 50.0, i * 50.0 + 30.0});
    QList<SeekBar::Tick> chapters, marks;
    for (int i = 0; i < 40; ++i)
        chapters.append({i * 270.0, QStringLiteral("第%1章").arg(i + 1)});
    for (int i = 0; i < 50; ++i)
        marks.append({i * 211.0, QStringLiteral("メモ %1").arg(i)});

    // A search that matched all 250,000 cues of a transcript, one every 3 s.
    QList<double> found;
    for (int i = 0; i < 250000; ++i)
        found.append(1.0 + i * 3.0);

    for (const bool searched : {false, true})
        for (int width : {616, 1920}) {
            SeekBar bar;
            bar.resize(width, 20);
            bar.setRange(0, int(length * SeekBar::Scale));
            bar.setValue(int(5000 * SeekBar::Scale));
            bar.setLength(length);
            bar.setListened(ranges);
            bar.setChapters(chapters);
            bar.setMarks(marks);
            bar.setRepeat(ListenedRange{1200, 1500});
            if (searched) bar.setFound(found);
            QImage target(bar.size(), QImage::Format_ARGB32_Premultiplied);
            const int rounds = 500;
            std::vector<double> times;
            times.reserve(rounds);
            for (int i = 0; i < rounds + 20; ++i) {
                target.fill(Qt::white);
                QElapsedTimer clock;
                clock.start();
                bar.render(&target);
                if (i >= 20) times.push_back(clock.nsecsElapsed() / 1e6); // after a warm-up
            }
            std::sort(times.begin(), times.end());
            double sum = 0;
            for (double t : times)
                sum += t;
            std::printf("seek bar %4d px, 3 h, 200 stretches, 40 chapters, 50 marks%s: "
                        "mean %.3f ms, median %.3f ms, worst %.3f ms a paint (goal < 2 ms)\n",
                        width, searched ? ", 250,000 found" : "", sum / times.size(),
                        times[times.size() / 2], times.back());
        }
    return 0;
}
