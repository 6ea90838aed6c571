// SPDX-License-Identifier: GPL-3.0-or-later
// What knowing a recording by its content costs when it opens, with its
// goals:
// - a known, unchanged file: no read of it at all (inotify counts every
//   open and read of the file);
// - a new file: at most 2 ms beside one plain read of 128 KiB;
// - finding one recording among 10,000 in History.db: at most 2 ms;
// - upgrading a full store of the version before (1,000 places, 100,000
//   stretches): at most 3 s, once (the next write is a plain one).
// The files and the store lie in a temporary directory (TMPDIR; on a disk,
// not in memory, for honest figures).
//   build/bench/bench_recordings [runs]
#include "persist/ContentKey.h"
#include "persist/CourseSettings.h"
#include "persist/HistoryStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <sys/inotify.h>
#include <unistd.h>
#include <vector>

namespace
{

QByteArray storedName(const QString &name)
{
    QByteArray key(name.size() * 2, Qt::Uninitialized);
    qToLittleEndian<quint16>(name.utf16(), name.size(), key.data());
    return key;
}

void writeRandom(const QString &path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 left = size; left > 0; left -= chunk.size()) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(chunk.data()),
                                              chunk.size() / 4);
        file.write(chunk.constData(), std::min<qint64>(left, chunk.size()));
    }
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// Runs SQL statements on a store in one transaction (the bulk of a big store
// at once: the program writes a few rows at a time).
void bulk(const QString &db, const std::function<void(QSqlQuery &)> &fill)
{
    {
        QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "bulk");
        sql.setDatabaseName(db);
        sql.open();
        sql.transaction();
        QSqlQuery q(sql);
        fill(q);
        sql.commit();
    }
    QSqlDatabase::removeDatabase("bulk");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    const QString db = dir.filePath(QString::fromLatin1(kHistoryFile));

    // 10,000 recordings known, with their paths and places.
    {
        HistoryStore store(db);
        store.keepPlace(QStringLiteral("/start.mp3"), 20, 100, 1);
    }
    bulk(db, [](QSqlQuery &q) {
        q.prepare(QStringLiteral("INSERT INTO recordings (key, size, path, seen) VALUES (?, ?, ?, "
                                 "?)"));
        for (int i = 0; i < 10000; ++i) {
            const QString key =
                ContentKey::keyOf(1000000 + i, QByteArray::number(i).repeated(1000));
            const QString path =
                QStringLiteral("/home/student/講義/科目 %1/第%2回.mp3").arg(i / 100).arg(i % 100);
            q.addBindValue(storedName(key));
            q.addBindValue(1000000 + i);
            q.addBindValue(storedName(path));
            q.addBindValue(i);
            q.exec();
            q.finish();
        }
    });
    bulk(db, [](QSqlQuery &q) {
        q.exec(QStringLiteral("INSERT INTO paths (path, key, size, mtime, seen) SELECT path, key, "
                              "size, 0, seen FROM recordings"));
        q.exec(QStringLiteral("INSERT INTO places (name, position, duration, played, seq) SELECT "
                              "key, 100, 3600, seen, seen + 10 FROM recordings ORDER BY seen DESC "
                              "LIMIT 1000"));
    });

    // The files: one 500 MB lecture (its ends are what is read), learnt.
    const QString known = dir.filePath(QStringLiteral("講義/第1回.mp3"));
    writeRandom(known, 500LL * 1024 * 1024);
    HistoryStore store(db);
    {
        RecordingInfo info = store.recording(known, CourseSettings::folderOf(known));
        if (!info.sighting) return 1;
        info.sighting->seenMs = QDateTime::currentMSecsSinceEpoch();
        store.see(*info.sighting);
    }

    // A known file: its opens and reads, counted by inotify.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(watch, QFile::encodeName(known).constData(), IN_OPEN | IN_ACCESS);
    std::vector<double> knownMs;
    QString id;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        id = store.recording(known, CourseSettings::folderOf(known)).id;
        knownMs.push_back(t.nsecsElapsed() / 1e6);
    }
    char events[4096];
    int touches = 0;
    for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;)
        for (char *e = events; e < events + n;
             e += sizeof(inotify_event) + reinterpret_cast<inotify_event *>(e)->len)
            ++touches;
    ::close(watch);

    // New files: the same read, against one plain read of 128 KiB.
    std::vector<double> newMs, plainMs;
    for (int i = 0; i < runs; ++i) {
        const QString name = dir.filePath(QStringLiteral("new/%1.mp3").arg(i));
        writeRandom(name, 50LL * 1024 * 1024);
        QElapsedTimer t;
        t.start();
        const RecordingInfo info = store.recording(name, CourseSettings::folderOf(name));
        newMs.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        QFile file(name);
        file.open(QIODevice::ReadOnly);
        const QByteArray head = file.read(64 * 1024);
        file.seek(file.size() - 64 * 1024);
        const QByteArray tail = file.read(64 * 1024);
        plainMs.push_back(t.nsecsElapsed() / 1e6);
        if (!info.sighting || head.size() + tail.size() != 128 * 1024) return 1;
    }

    // A full store of the version before, upgraded by its first write.
    const QString olderDb = dir.filePath(QStringLiteral("older/History.db"));
    QDir().mkpath(QFileInfo(olderDb).absolutePath());
    {
        HistoryStore older(olderDb, HistoryStore::migrations().mid(0, 2));
        older.keepPlace(QStringLiteral("/start.mp3"), 20, 100, 1);
    }
    bulk(olderDb, [](QSqlQuery &q) {
        q.prepare(QStringLiteral("INSERT INTO places (name, position, duration, played, seq, "
                                 "ranges) VALUES (?, 100, 3600, ?, ?, NULL)"));
        for (int i = 0; i < 1000; ++i) {
            q.addBindValue(storedName(QStringLiteral("/m/%1.mp3").arg(i)));
            q.addBindValue(i);
            q.addBindValue(i + 10);
            q.exec();
        }
        q.prepare(QStringLiteral("INSERT INTO stretches (name, start, end, wall_start, wall_end, "
                                 "speed) VALUES (?, ?, ?, ?, ?, 1.5)"));
        for (int i = 0; i < 100000; ++i) {
            q.addBindValue(storedName(QStringLiteral("/m/%1.mp3").arg(i % 1000)));
            q.addBindValue(i % 3000);
            q.addBindValue(i % 3000 + 60);
            q.addBindValue(1000LL * i);
            q.addBindValue(1000LL * i + 40000);
            q.exec();
        }
    });
    HistoryStore older(olderDb);
    QElapsedTimer t;
    t.start();
    older.keepPlace(QStringLiteral("/m/1.mp3"), 200, 3600, 2);
    const double upgradeMs = t.nsecsElapsed() / 1e6;
    t.restart();
    older.keepPlace(QStringLiteral("/m/2.mp3"), 200, 3600, 3);
    const double nextMs = t.nsecsElapsed() / 1e6;

    std::printf("known file opened:      median %.3f ms, worst %.3f ms over %d runs; opens and "
                "reads of the file: %d (goal 0)\n",
                median(knownMs), *std::max_element(knownMs.begin(), knownMs.end()), runs, touches);
    std::printf("new file opened:        median %.3f ms; a plain 128 KiB read %.3f ms; added %.3f "
                "ms (goal <= 2)\n",
                median(newMs), median(plainMs), median(newMs) - median(plainMs));
    std::printf("finding one of 10,000:  median %.3f ms (goal <= 2), key %s\n", median(knownMs),
                qPrintable(id.left(20)));
    std::printf("upgrade of a full store: %.0f ms (goal <= 3000); the next write %.1f ms\n",
                upgradeMs, nextMs);
    return 0;
}
