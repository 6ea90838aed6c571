// SPDX-License-Identifier: GPL-3.0-or-later
// history_writer <database> <writer number> <first k>: writes places into
// the place store at <database> in a loop until it is killed (see
// HistoryWriter.h); prints "ready" once the first record is written.
// history_writer <database> upgrade <any>: prints "ready", then makes one
// write, which upgrades an older store.
#include "support/HistoryWriter.h"
#include "persist/HistoryStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRandomGenerator>
#include <QStringList>
#include <QThread>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fputs("usage: history_writer <database> <writer number> <first k>\n", stderr);
        return 2;
    }
    HistoryStore store(args.at(1));
    if (args.at(2) == QLatin1String("upgrade")) {
        // One write, which brings an older store to the current version.
        std::fputs("ready\n", stdout);
        std::fflush(stdout);
        store.write({{{QStringLiteral("/upgraded.mp4"), 0, 10, 1, 2, 1.0, 0}}, {}});
        return 0;
    }
    const int writer = args.at(2).toInt();
    for (qint64 k = args.at(3).toLongLong();; ++k) {
        const QString name = HistoryWriter::name(writer, k % HistoryWriter::kSlots);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        store.keepPlace(name, double(k), double(2 * k + 1), now, {{0.0, double(k + 1)}});
        static bool ready = false;
        if (!ready) {
            ready = true;
            std::fputs("ready\n", stdout);
            std::fflush(stdout);
        }
        // A short pause lets the other writer in: without it, one writer
        // that loops at once can keep the other out for its whole wait.
        QThread::usleep(QRandomGenerator::global()->bounded(10000));
    }
}
