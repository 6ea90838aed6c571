// SPDX-License-Identifier: GPL-3.0-or-later
// Do the windows that show much at once stall the GUI thread? The real main
// window with the player double; a probe timer on the GUI thread fires every
// millisecond, and its lateness is the time the window could not answer.
//
// - studylog [stretches] [runs]: the study log window shown over a log of
//   100,000 stretches (the log's limit; 1000000: an old store from before
//   the limit) of 5,000 media in 250 folders over a year, read through the
//   slow-write thread: the lateness from showing the window until it is
//   filled and painted, and how long it took to fill.
// - search [seconds]: a transcript of 250,000 cues and a search, typed a
//   character at a time, that matches every one; then the medium plays for
//   some seconds with the search on: the lateness of each keystroke, and of
//   each second of playing (the worst tick and the time blocked in stalls
//   of over 1 ms).
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_window_stall studylog 100000
//   QT_QPA_PLATFORM=offscreen build/bench/bench_window_stall studylog 1000000 1
//   QT_QPA_PLATFORM=offscreen build/bench/bench_window_stall search 10
// Goal: GUI lateness <= 16 ms (the search: per keystroke, and blocked
// <= 16 ms in each second).
#include "app/Unit1.h"
#include "lists/TranscriptModel.h"
#include "lists/Unit8.h"
#include "lists/Unit9.h"
#include "persist/DiskWriter.h"
#include "persist/HistoryStore.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

// The probe: every millisecond, how late the tick comes.
class Probe
{
public:
    Probe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_ticks.push_back({now / 1e6, std::max(0.0, (now - m_last) / 1e6 - 1.0)});
            m_last = now;
        });
        m_clock.start();
        m_last = m_clock.nsecsElapsed();
        m_timer.start();
    }
    double nowMs() const { return m_clock.nsecsElapsed() / 1e6; }
    // The worst lateness of the ticks that came in [fromMs, toMs).
    double worst(double fromMs, double toMs) const
    {
        double w = 0;
        for (const Tick &t : m_ticks)
            if (t.atMs >= fromMs && t.atMs < toMs) w = std::max(w, t.lateMs);
        return w;
    }
    // The time blocked in [fromMs, toMs): the lateness of the ticks over 1 ms
    // late (the jitter of a busy machine left out).
    double blocked(double fromMs, double toMs) const
    {
        double sum = 0;
        for (const Tick &t : m_ticks)
            if (t.atMs >= fromMs && t.atMs < toMs && t.lateMs > 1.0) sum += t.lateMs;
        return sum;
    }

private:
    struct Tick {
        double atMs;
        double lateMs;
    };
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    std::vector<Tick> m_ticks;
};

// A plain event loop: QTest::qWait would sleep between its rounds.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// stretches of 5,000 media in 250 folders, over the year before now; the
// first 250 media with their places and ranges. Beyond the log's limit the
// rows are copied in by SQL, as an old store holds them.
void makeStudyLog(const QString &path, int stretches, const QDateTime &now)
{
    constexpr int Media = 5000, Folders = 250;
    const int written = std::min(stretches, int(HistoryStore::kMaxStretches));
    {
        HistoryStore store(path);
        QList<Stretch> log;
        log.reserve(written);
        const qint64 yearAgo = now.toMSecsSinceEpoch() - 365LL * 86400000;
        for (int i = 0; i < written; ++i) {
            const QString name = QStringLiteral("/home/student/講義/科目 %1/第%2回.mp3")
                                     .arg(i % Folders)
                                     .arg(i % Media / Folders + 1);
            const double start = (i / Media % 120) * 30.0;
            const qint64 wall = yearAgo + qint64(i) * 365 * 86400000 / written;
            log.append({name, start, start + 30, wall, wall + 20000, 1.5, 2});
            if (i < Folders) store.keepPlace(name, 100, 3600, wall, {{0, 3000}});
        }
        store.write({log, {}});
    }
    if (stretches <= written) return;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
    db.setDatabaseName(path);
    if (!db.open()) return;
    {
        QSqlQuery q(db);
        for (int copied = written; copied < stretches; copied += written)
            q.exec(QStringLiteral("INSERT INTO stretches (name, start, end, wall_start, wall_end, "
                                  "speed, skipped) SELECT name, start, end, wall_start, wall_end, "
                                  "speed, skipped FROM stretches ORDER BY id LIMIT %1")
                       .arg(std::min(written, stretches - copied)));
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("old"));
}

int studyLog(int stretches, int runs)
{
    DiskWriter writer(true);
    TestProgram run;
    run.diskWriter = &writer;
    std::printf("making a study log of %d stretches...\n", stretches);
    std::fflush(stdout);
    makeStudyLog(run.file(QString::fromLatin1(kHistoryFile)), stretches, run.clock.time);
    run.start();
    runFor(500);
    double worstAll = 0;
    for (int i = 0; i < runs; ++i) {
        Probe probe;
        runFor(200);
        const double idle = probe.worst(0, probe.nowMs());
        double shownAt = 0, filledAt = -1;
        QEventLoop loop;
        const QMetaObject::Connection filled = QObject::connect(Form9, &TForm9::shown, [&] {
            filledAt = probe.nowMs();
            // The window painted with what it shows.
            QTimer::singleShot(300, &loop, &QEventLoop::quit);
        });
        QTimer::singleShot(0, [&] {
            shownAt = probe.nowMs();
            Form9->show();
        });
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        loop.exec();
        QObject::disconnect(filled);
        if (filledAt < 0) {
            std::fprintf(stderr, "the window showed nothing\n");
            return 1;
        }
        const double worst = probe.worst(shownAt, probe.nowMs());
        worstAll = std::max(worstAll, worst);
        std::printf("study log of %d stretches, run %d: filled %.0f ms after it was shown; GUI "
                    "lateness worst %.1f ms meanwhile (idle before: %.1f ms)\n",
                    stretches, i + 1, filledAt - shownAt, worst, idle);
        Form9->hide();
        runFor(200);
    }
    std::printf("study log: worst GUI lateness %.1f ms over %d runs (goal <= 16 ms)\n", worstAll,
                runs);
    return worstAll <= 16.0 ? 0 : 2;
}

// Cues of 3 s, "第<n>回の<word>の話": "回の" is in every one.
QByteArray subtitles(int count)
{
    static const char *words[] = {"講義", "ノート", "かたかな", "資料", "質問", "例題", "説明"};
    auto timeOf = [](qint64 ms) {
        char text[32];
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld", ms / 3600000,
                      ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
        return QByteArray(text);
    };
    QByteArray out;
    out.reserve(qsizetype(count) * 80);
    for (int i = 0; i < count; ++i) {
        const qint64 start = 1000 + qint64(i) * 3000;
        out += QByteArray::number(i + 1) + '\n' + timeOf(start) + " --> " + timeOf(start + 2990) +
               '\n';
        out += QByteArray("第") + QByteArray::number(i) + "回の" + words[i % 7] + "の話\n\n";
    }
    return out;
}

int search(int seconds)
{
    constexpr int Cues = 250000;
    TestProgram run;
    run.writeFile(QStringLiteral("lecture.srt"), subtitles(Cues));
    run.start();
    FakePlayer *player = run.player();
    player->setDefaultDuration(Cues * 3.0 + 10);
    player->setURL(run.file(QStringLiteral("lecture.mp4")));
    player->finishLoading();
    QKeyEvent t(QEvent::KeyPress, Qt::Key_T, Qt::NoModifier, QStringLiteral("t"));
    player->handleKey(t);
    while (Form8->model()->rowCount() != Cues)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    player->play();
    // The medium plays: its position moves four times a second.
    QTimer playing;
    QObject::connect(&playing, &QTimer::timeout, [player] { player->advance(0.25); });
    playing.start(250);
    runFor(1000);

    Probe probe;
    runFor(1000);
    const double idleWorst = probe.worst(0, probe.nowMs());
    const double idleBlocked = probe.blocked(0, probe.nowMs());
    double worstKey = 0;
    for (const QString &typed : {QStringLiteral("回"), QStringLiteral("の")}) {
        const double at = probe.nowMs();
        QTimer::singleShot(0, [typed] { Form8->Edit1->insert(typed); });
        runFor(400);
        const double worst = probe.worst(at, probe.nowMs());
        worstKey = std::max(worstKey, worst);
        std::printf("  typed \"%s\": %d of %d cues match; GUI lateness worst %.1f ms\n",
                    qPrintable(Form8->Edit1->text()), Form8->model()->rowCount(), Cues, worst);
    }
    const double from = probe.nowMs() + 1000;
    runFor(1000 + seconds * 1000);
    double worstTick = 0, worstBlocked = 0;
    for (int s = 0; s < seconds; ++s) {
        worstTick = std::max(worstTick, probe.worst(from + s * 1000, from + s * 1000 + 1000));
        worstBlocked =
            std::max(worstBlocked, probe.blocked(from + s * 1000, from + s * 1000 + 1000));
    }
    playing.stop();
    std::printf("search matching %d of %d cues: worst keystroke %.1f ms; then %d s playing with "
                "it on: worst tick %.1f ms, blocked at most %.1f ms a second (idle before: worst "
                "%.1f ms, blocked %.1f ms) (goal <= 16 ms)\n",
                Form8->model()->rowCount(), Cues, worstKey, seconds, worstTick, worstBlocked,
                idleWorst, idleBlocked);
    return worstKey <= 16.0 && worstBlocked <= 16.0 ? 0 : 2;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "studylog")
        return studyLog(argc > 2 ? std::max(1, std::atoi(argv[2])) : 100000,
                        argc > 3 ? std::max(1, std::atoi(argv[3])) : 3);
    if (mode == "search") return search(argc > 2 ? std::max(1, std::atoi(argv[2])) : 10);
    std::fprintf(stderr, "usage: bench_window_stall studylog [stretches] [runs] | search "
                         "[seconds]\n");
    return 1;
}
