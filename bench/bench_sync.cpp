// SPDX-License-Identifier: GPL-3.0-or-later
// A year of sharing: a synced folder holding 100,000 events of three devices
// (places, heard ranges, settings, position records and study-log stretches
// of 1,000 recordings) is read, merged and taken into the place store of a
// fourth installation, new to it, then of one that knows it all but the
// last day's events; both off the GUI thread in the program.
//   TMPDIR=/var/tmp build/bench/bench_sync [events]
//   build/bench/bench_sync --write FOLDER: only writes the year there (for
//   bench/big-start).
#include "SyncFixture.h"
#include "persist/HistoryStore.h"
#include "persist/Sync.h"
#include "persist/SyncFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace
{

double takeIn(const QString &folder, const QString &store, qint64 nowMs, int *recordings)
{
    HistoryStore history(store);
    Sync sync({folder, QStringLiteral("reader"), QStringLiteral("reader")},
              [nowMs] { return nowMs; });
    sync.setSharing(false); // nothing of its own to add
    QElapsedTimer timer;
    timer.start();
    *recordings = int(sync.update(history).size());
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "--write") {
        writeYear(QString::fromLocal8Bit(argv[2]), 100000, 1'700'000'000'000);
        return 0;
    }
    const int events = argc > 1 ? std::max(3, std::atoi(argv[1])) : 100000;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("shared"));
    QDir().mkpath(folder);
    const qint64 start = 1'700'000'000'000;
    writeYear(folder, events, start);
    qint64 bytes = 0;
    QDirIterator files(folder, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        files.next();
        bytes += files.fileInfo().size();
    }
    std::printf("%d events of 3 devices, %.1f MB in the folder\n", events, bytes / 1e6);
    {
        SyncFolder in(folder, QStringLiteral("reader"), QStringLiteral("reader"));
        SyncState state;
        HybridClock clock(QStringLiteral("reader"));
        QElapsedTimer timer;
        timer.start();
        const int read = in.read(state, clock);
        std::printf("read and merged alone: %d events in %.0f ms\n", read,
                    timer.nsecsElapsed() / 1e6);
    }
    int recordings = 0;
    const double fresh = takeIn(folder, dir.filePath(QStringLiteral("new.db")), start, &recordings);
    std::printf("a new installation: read, merged and taken in: %.0f ms (%d recordings; goal "
                "< 1000 ms)\n",
                fresh, recordings);
    // One that knows it all reads the folder again at its next start: it
    // has no offsets then, so everything is merged again; the store changes
    // little.
    const double again = takeIn(folder, dir.filePath(QStringLiteral("new.db")), start, &recordings);
    std::printf("the next start of that installation: %.0f ms (%d recordings)\n", again,
                recordings);
    return fresh < 1000 ? 0 : 2;
}
