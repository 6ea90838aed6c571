// SPDX-License-Identifier: GPL-3.0-or-later
// How the course shelf copes with a large library: 500 course folders of 40
// media files each (20,000 recordings), the place store holding its limit of
// 1,000 recordings played (two in each course) with a full study log
// (100,000 stretches), read
// through the slow-write thread as the program does. For each run:
// - the time from showing the window (as the key L does) to its first rows
//   painted;
// - the GUI thread's worst lateness (a probe timer that fires every
//   millisecond) from showing the window until every folder is listed and
//   its rows painted, and how long the listing took.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_shelf [runs]
// Goals: first rows < 200 ms; lateness <= 16 ms.
#include "app/Unit1.h"
#include "lists/Unit11.h"
#include "persist/DiskWriter.h"
#include "persist/HistoryStore.h"
#include "support/TestServices.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

constexpr int kCourses = 500, kFiles = 40;

// Every millisecond, how late the tick comes.
class Probe
{
public:
    Probe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_worst = std::max(m_worst, (now - m_last) / 1e6 - 1.0);
            m_last = now;
        });
        m_clock.start();
        m_last = m_clock.nsecsElapsed();
        m_timer.start();
    }
    void reset()
    {
        m_last = m_clock.nsecsElapsed();
        m_worst = 0;
    }
    double worst() const { return m_worst; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_worst = 0;
};

// The first paint of the rows of this showing's read (the rows of the
// showing before stay in view until it is back).
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(TForm11 *form) : m_view(form->Table)
    {
        m_view->viewport()->installEventFilter(this);
        connect(form, &TForm11::shown, this, [this] { m_read = true; });
    }
    bool painted = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        // Counted once the paint is through: at the next turn of the loop.
        if (event->type() == QEvent::Paint && m_read && !painted && m_view->model()->rowCount() > 0)
            QTimer::singleShot(0, this, [this] { painted = true; });
        return false;
    }

private:
    QTreeView *m_view;
    bool m_read = false;
};

void makeLibrary(TestProgram &run)
{
    const QString root = run.file(QStringLiteral("講義"));
    HistoryStore store(run.file(QString::fromLatin1(kHistoryFile)));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QList<Stretch> log;
    for (int c = 0; c < kCourses; ++c) {
        const QString folder = QStringLiteral("%1/科目 %2").arg(root).arg(c);
        QDir().mkpath(folder);
        for (int f = 1; f <= kFiles; ++f) {
            QFile file(QStringLiteral("%1/第%2回.mp3").arg(folder).arg(f));
            file.open(QIODevice::WriteOnly);
        }
        for (int f = 1; f <= 2; ++f) {
            const QString name = QStringLiteral("%1/第%2回.mp3").arg(folder).arg(f);
            const qint64 wall = now - qint64(c * 2 + f) * 3600000;
            store.keepPlace(name, f == 1 ? 1790 : 600, 1800, wall, {{0, f == 1 ? 1790.0 : 600.0}});
            if (f == 1) store.clearPlace(name);
            // The log's limit: 100 stretches of each recording played.
            for (int k = 0; k < 100; ++k)
                log.append({name, k * 6.0, k * 6.0 + 6, wall - (100 - k) * 5000,
                            wall - (100 - k) * 5000 + 4000, 1.5, 0.3});
        }
        if (c % 10 == 0) store.setCourseExam(folder, QDate::currentDate().addDays(30));
    }
    store.write({log, {}});
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    DiskWriter writer(true);
    TestProgram run;
    run.diskWriter = &writer;
    makeLibrary(run);
    run.start();
    Probe probe;
    // The lateness of a GUI thread that does nothing, for as long as a
    // listing takes: what the machine itself costs.
    runFor(100);
    probe.reset();
    runFor(400);
    const double idle = probe.worst();
    std::vector<double> first, late, listing;
    for (int i = 0; i < runs; ++i) {
        PaintWatch watch(Form11);
        QSignalSpy shown(Form11, &TForm11::shown);
        runFor(50);
        probe.reset();
        QElapsedTimer clock;
        clock.start();
        Form11->show();
        const double showing = clock.nsecsElapsed() / 1e6;
        QDeadlineTimer deadline(20000);
        while (!watch.painted && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        first.push_back(clock.nsecsElapsed() / 1e6);
        if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
            std::fprintf(stderr, "show() %.1f ms, rows painted %.1f ms\n", showing, first.back());
        while ((shown.isEmpty() || !shown.constLast().at(0).toBool()) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (deadline.hasExpired() || Form11->rows().size() != kCourses) {
            std::fprintf(stderr, "the shelf did not show its %d courses\n", kCourses);
            return 1;
        }
        listing.push_back(clock.nsecsElapsed() / 1e6);
        runFor(50); // the listed rows painted
        late.push_back(probe.worst());
        if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
            std::fprintf(stderr, "run %d: %.1f ms late at worst\n", i + 1, late.back());
        Form11->hide();
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("course shelf, %d courses of %d files (%d recordings, %d played, 100,000 "
                "stretches):\n",
                kCourses, kFiles, kCourses * kFiles, kCourses * 2);
    std::printf("  first rows painted: median %.1f ms, worst %.1f ms (goal < 200 ms)\n",
                median(first), *std::max_element(first.begin(), first.end()));
    std::printf("  all folders listed: median %.1f ms, worst %.1f ms\n", median(listing),
                *std::max_element(listing.begin(), listing.end()));
    std::printf("  GUI thread's worst lateness meanwhile: median %.1f ms, worst %.1f ms "
                "(goal <= 16 ms), over %d runs\n",
                median(late), *std::max_element(late.begin(), late.end()), runs);
    std::printf("  (the same thread idle for 400 ms: %.1f ms late at worst)\n", idle);
    return 0;
}
