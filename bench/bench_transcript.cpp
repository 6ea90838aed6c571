// SPDX-License-Identifier: GPL-3.0-or-later
// The transcript window's costs, with the real window and the player double:
// - 100,000 cues (a SubRip file of about 7 MB): the time from the key T to
//   the cues shown (read on a worker), the longest the GUI thread could not
//   answer meanwhile (a probe timer every millisecond, its lateness), and
//   the memory the transcript added (resident set, after it is shown);
// - each keystroke of a search over them (the filter and the list's reset);
// - 2,000 cues (a three-hour lecture): the time from the key T to the
//   window shown with its cues.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_transcript
#include "app/Unit1.h"
#include "lists/TranscriptModel.h"
#include "lists/Unit8.h"
#include "persist/Transcript.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace
{

QByteArray clock(qint64 ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return text;
}

// Cues of about 70 bytes each (a 7 MB file for 100,000), with Japanese text.
QByteArray subtitles(int count, qint64 stepMs)
{
    static const char *words[] = {"講義", "ノート", "かたかな", "資料", "質問", "例題", "説明"};
    QByteArray out;
    out.reserve(count * 80);
    for (int i = 0; i < count; ++i) {
        const qint64 start = 1000 + i * stepMs;
        out += QByteArray::number(i + 1) + '\n' + clock(start) + " --> " +
               clock(start + stepMs - 10) + '\n';
        out += QByteArray("第") + QByteArray::number(i) + "回の" + words[i % 7] + "の話\n\n";
    }
    return out;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

struct Opened {
    double readyMs = 0;
    double maxStallMs = 0;
    double keyMs = 0;   // the key's own handler: the window shown, the read started
    double applyMs = 0; // the cues handed to the list, on the GUI thread
    double paintMs = 0; // the list's first layout and paint of them
};

// Presses T and waits for the cues, probing the GUI thread meanwhile.
Opened openTranscript(FakePlayer *player, int expectedRows)
{
    Opened result;
    QElapsedTimer probe;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        result.maxStallMs = std::max(result.maxStallMs, probe.nsecsElapsed() / 1e6);
        probe.restart();
    });
    QElapsedTimer ready;
    ready.start();
    probe.start();
    tick.start();
    QElapsedTimer apply;
    QMetaObject::Connection started = QObject::connect(
        Form8->model(), &QAbstractItemModel::modelAboutToBeReset, [&] { apply.start(); });
    QMetaObject::Connection done = QObject::connect(Form8, &TForm8::finished, [&] {
        if (apply.isValid()) result.applyMs = apply.nsecsElapsed() / 1e6;
    });
    QKeyEvent t(QEvent::KeyPress, Qt::Key_T, Qt::NoModifier, QStringLiteral("t"));
    player->handleKey(t);
    result.keyMs = probe.nsecsElapsed() / 1e6;
    result.maxStallMs = std::max(result.maxStallMs, result.keyMs);
    probe.restart();
    while (Form8->model()->rowCount() != expectedRows)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    // Until the list has laid out and painted its rows.
    QElapsedTimer paint;
    paint.start();
    QCoreApplication::processEvents();
    result.paintMs = paint.nsecsElapsed() / 1e6;
    result.readyMs = ready.nsecsElapsed() / 1e6;
    tick.stop();
    QObject::disconnect(started);
    QObject::disconnect(done);
    return result;
}

// The GUI thread's lateness with nothing to do for a while: what the
// machine's other load costs it, the floor of the stalls above.
double idleStallMs(int ms)
{
    double worst = 0;
    QElapsedTimer probe, total;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        worst = std::max(worst, probe.nsecsElapsed() / 1e6);
        probe.restart();
    });
    probe.start();
    total.start();
    tick.start();
    while (total.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    return worst;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestProgram run;
    const QString big = run.file(QStringLiteral("big.srt"));
    const QByteArray bigText = subtitles(100000, 3000);
    run.writeFile(QStringLiteral("big.srt"), bigText);
    run.writeFile(QStringLiteral("lecture.srt"), subtitles(2000, 5400));
    run.start();
    FakePlayer *player = run.player();
    player->setDefaultDuration(400000);

    std::printf("idle GUI thread, 1 s: stall max %.1f ms\n", idleStallMs(1000));

    // 2,000 cues: the window from the key to its rows.
    player->setURL(run.file(QStringLiteral("lecture.mp4")));
    player->finishLoading();
    const Opened lecture = openTranscript(player, 2000);
    std::printf("2,000 cues: window ready %.1f ms after T (GUI stall max %.1f ms; key %.1f ms, "
                "cues to the list %.1f ms, first paint %.1f ms)\n",
                lecture.readyMs, lecture.maxStallMs, lecture.keyMs, lecture.applyMs,
                lecture.paintMs);
    Form8->hide();

    // 100,000 cues.
    player->setURL(run.file(QStringLiteral("big.mp4")));
    player->finishLoading();
    QCoreApplication::processEvents();
    const long before = residentKb();
    const Opened huge = openTranscript(player, 100000);
    const long after = residentKb();
    std::printf("100,000 cues (%.1f MB SRT): shown %.1f ms after T; GUI stall max %.1f ms (key "
                "%.1f ms, cues to the list %.1f ms, first paint %.1f ms); memory added %.1f MB\n",
                bigText.size() / 1e6, huge.readyMs, huge.maxStallMs, huge.keyMs, huge.applyMs,
                huge.paintMs, (after - before) / 1024.0);

    // The search, keystroke by keystroke, as typed and erased.
    QLineEdit *field = Form8->Edit1;
    const QStringList typed = {"か",   "かた", "かたか", "かたかな", "かたか",
                               "かた", "か",   "",       "9",        "99"};
    double worst = 0, total = 0;
    for (const QString &text : typed) {
        QElapsedTimer t;
        t.start();
        field->setText(text);
        QCoreApplication::processEvents();
        const double ms = t.nsecsElapsed() / 1e6;
        worst = std::max(worst, ms);
        total += ms;
        std::printf("  search \"%s\": %d rows, %.1f ms\n", qPrintable(text),
                    Form8->model()->rowCount(), ms);
    }
    std::printf("search: worst keystroke %.1f ms, mean %.1f ms\n", worst, total / typed.size());

    // The read alone, on a thread of its own, three times.
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        qsizetype cues = 0;
        std::thread worker([&] { cues = readTranscriptFile(big).cues.size(); });
        worker.join();
        best = std::min(best, t.nsecsElapsed() / 1e6);
        if (cues != 100000) std::printf("read %lld cues!\n", static_cast<long long>(cues));
    }
    std::printf("reading and parsing 100,000 cues on a worker: best of 3 %.1f ms\n", best);
    return 0;
}
