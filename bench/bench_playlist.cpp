// SPDX-License-Identifier: GPL-3.0-or-later
// Times the playlist with a long list: loading "Playlist.txt" at start-up,
// writing it at the close, the shuffle, adding a file, and scrolling the
// window. Run with QT_QPA_PLATFORM=offscreen; an optional argument gives the
// number of entries (default 100000).
#include "app/Unit1.h"
#include "lists/Unit6.h"
#include "persist/ListFile.h"
#include "support/TestServices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextStream>

#include <cstdio>

namespace
{

void report(const char *what, qint64 nanoseconds, const char *limit = nullptr)
{
    std::printf("%-48s %10.1f ms", what, nanoseconds / 1e6);
    if (limit) std::printf("   (limit %s)", limit);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    std::printf("playlist of %d entries\n", n);

    TestProgram program;
    QStringList entries;
    entries.reserve(n);
    for (int i = 0; i < n; ++i)
        entries << QStringLiteral("/home/user/Videos/講義シリーズ/第%1回 - 録画 %2.mp4")
                       .arg(i / 100 + 1)
                       .arg(i, 6, 10, QLatin1Char('0'));
    writeListFile(program.file(QStringLiteral("Playlist.txt")), entries, TextEncoding::Utf8);

    QElapsedTimer timer;
    timer.start();
    TForm1 *form = program.start();
    const qint64 startUp = timer.nsecsElapsed();
    if (Form6->count() != n) {
        std::printf("loading failed: %d entries\n", Form6->count());
        return 1;
    }
    report("start-up with Playlist.txt (all windows)", startUp);

    timer.restart();
    Form6->FormCreate();
    report("load Playlist.txt (window creation step)", timer.nsecsElapsed(), "500 ms");

    // The widest entry, measured in slices while the program is idle.
    {
        qint64 longest = 0;
        int slices = 0;
        QElapsedTimer slice;
        timer.restart();
        while (!Form6->widestWidthKnown()) {
            slice.start();
            QApplication::processEvents();
            longest = std::max(longest, slice.nsecsElapsed());
            ++slices;
        }
        report("idle measuring of the widest entry, total", timer.nsecsElapsed());
        report("  longest slice (the program stays responsive)", longest);
        std::printf("  (%d slices)\n", slices);
    }

    timer.restart();
    const ListText text = readListFile(form->playlistPath());
    report("  of which: read and decode the file", timer.nsecsElapsed());
    timer.restart();
    Form6->setEntries(text.lines);
    report("  of which: fill the list", timer.nsecsElapsed());
    timer.restart();
    const QStringList current = Form6->entries();
    report("entries() of the list", timer.nsecsElapsed());
    timer.restart();
    {
        quint64 seed = 1;
        int selected = n / 2;
        const QStringList shuffled = shuffleEntries(
            current, [&seed] { return seed++; }, &selected);
        report("shuffleEntries() on the texts alone", timer.nsecsElapsed());
    }
    timer.restart();
    {
        volatile int sum = 0;
        for (int i = 0; i < n; ++i)
            sum = sum + shuffleDraw(quint64(i), n);
        report("  of which: n seeded draws", timer.nsecsElapsed());
    }
    {
        const QFontMetrics metrics(Form6->ListBox1->font());
        timer.restart();
        int widest = 0;
        for (int i = 0; i < 2000; ++i)
            widest = std::max(widest, metrics.horizontalAdvance(current.at(i)));
        report("measure 2000 entries (per-entry width cost)", timer.nsecsElapsed());
    }

    timer.restart();
    writeListFile(form->playlistPath(), Form6->entries(), Form6->encoding);
    report("write Playlist.txt (close query step)", timer.nsecsElapsed(), "500 ms");

    Form6->setItemIndex(n / 2);
    program.dialogs.answers = {MsgResult::Yes};
    timer.restart();
    Form6->Button8Click();
    report("shuffle (n single moves)", timer.nsecsElapsed(), "2000 ms");

    const QString name = QStringLiteral("/home/user/Videos/added.mp4");
    program.dialogs.openNameLists = {{name}, {name}};
    timer.restart();
    Form6->Button5Click();
    report("add a file before idle measuring has finished", timer.nsecsElapsed());
    timer.restart();
    Form6->Button5Click();
    report("add a file (running widest width)", timer.nsecsElapsed());

    Form6->setItemIndex(n / 2);
    timer.restart();
    Form6->Button1Click();
    report("move up", timer.nsecsElapsed());

    Form6->show();
    QApplication::processEvents();
    QScrollBar *bar = Form6->ListBox1->verticalScrollBar();
    const int frames = 400;
    qint64 worst = 0;
    timer.restart();
    QElapsedTimer frame;
    for (int i = 0; i < frames; ++i) {
        frame.start();
        bar->setValue(static_cast<int>(static_cast<qint64>(bar->maximum()) * i / frames));
        Form6->ListBox1->viewport()->repaint();
        QApplication::processEvents();
        worst = std::max(worst, frame.nsecsElapsed());
    }
    const qint64 total = timer.nsecsElapsed();
    report("scroll: 400 positions over the whole list", total);
    report("scroll: mean per repainted position", total / frames);
    report("scroll: worst position", worst);

    timer.restart();
    for (int i = 0; i < 100; ++i) {
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        Form6->ListBox1->viewport()->repaint();
    }
    report("scroll: 100 single steps, mean", timer.nsecsElapsed() / 100);

    timer.restart();
    program.end();
    report("destroy the windows", timer.nsecsElapsed());
    return 0;
}
