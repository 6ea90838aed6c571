// SPDX-License-Identifier: GPL-3.0-or-later
// Sharing through a synced folder: the merge gives one state whatever the
// order and repetition of the events, under clocks an hour apart, with a
// clear racing an add and from compacted files; two stores meet through one folder; and the files a
// sync tool leaves half there, in conflict or read-only do no harm.
#include "persist/HistoryStore.h"
#include "persist/Sync.h"
#include "persist/SyncEvents.h"
#include "persist/SyncFolder.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace
{

const QString kKeyA = QStringLiteral("@1000:aaaa");
const QString kKeyB = QStringLiteral("@2000:bbbb");

// Random events of one device: places, adds and clears of what was heard,
// settings, records made, changed and removed, stretches kept and ended.
QList<SyncEvent> randomEvents(const QString &device, qint64 skewMs, QRandomGenerator &random)
{
    HybridClock clock(device);
    QList<SyncEvent> events;
    qint64 wall = 1'700'000'000'000 + skewMs;
    for (int i = 0; i < 120; ++i) {
        wall += random.bounded(3) * 1000; // several events in one second too
        SyncEvent e{SyncEvent::Kind(random.bounded(7)), random.bounded(2) ? kKeyA : kKeyB,
                    clock.next(wall)};
        e.position = random.bounded(600);
        e.duration = 600;
        e.finished = random.bounded(5) == 0;
        const double from = random.bounded(500);
        e.ranges = {{from, from + 1 + random.bounded(60)}};
        e.settings.speed = 1.0 + random.bounded(4) * 0.25;
        e.recordId = QStringLiteral("r%1").arg(random.bounded(6));
        e.record = {QStringLiteral("00:0%1:00").arg(random.bounded(9)), QString::number(i),
                    random.bounded(9) * 60000};
        e.removed = random.bounded(4) == 0;
        e.seq = random.bounded(5);
        e.stretch = {QString(), from, from + 10 + random.bounded(10), wall, wall + 5000, 1.0,
                     0,         {}};
        events << e;
    }
    return events;
}

QByteArray merged(const QList<SyncEvent> &events)
{
    SyncState state;
    for (const SyncEvent &e : events)
        state.apply(e);
    return state.digest();
}

SyncSettings settingsOf(const QString &folder, const QString &device)
{
    return {folder, device,
            device == QLatin1String("d1") ? QStringLiteral("家のPC") : QStringLiteral("ノートPC")};
}

} // namespace

class TestSync : public QObject
{
    Q_OBJECT

private slots:
    void mergeIsOneStateWhateverTheOrder();
    void aClearRemovesOnlyWhatCameBefore();
    void twoStoresMeetThroughOneFolder();
    void whatASyncToolLeavesIsSkipped();
    void aFolderThatCannotBeWrittenLosesNothing();
};

void TestSync::mergeIsOneStateWhateverTheOrder()
{
    QRandomGenerator random(QRandomGenerator::global()->generate());
    for (int round = 0; round < 20; ++round) {
        // Three devices, one clock an hour ahead and one an hour behind.
        QList<SyncEvent> all = randomEvents(QStringLiteral("d1"), 0, random) +
                               randomEvents(QStringLiteral("d2"), 3'600'000, random) +
                               randomEvents(QStringLiteral("d3"), -3'600'000, random);
        const QByteArray once = merged(all);
        QVERIFY(!once.isEmpty());
        for (int order = 0; order < 5; ++order) {
            QList<SyncEvent> shuffled = all;
            for (int i = 0; i < 40; ++i) // read twice
                shuffled << all.at(random.bounded(all.size()));
            std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(random.generate()));
            QCOMPARE(merged(shuffled), once);
        }
        // Each device's files compacted give the same state.
        SyncState state;
        for (const SyncEvent &e : std::as_const(all))
            state.apply(e);
        QList<SyncEvent> compacted;
        for (const char *device : {"d1", "d2", "d3"})
            compacted += state.eventsOf(QLatin1String(device));
        QVERIFY(compacted.size() < all.size());
        QCOMPARE(merged(compacted), once);
        // Written to lines and read back, the state is the same.
        QList<SyncEvent> read;
        for (const SyncEvent &e : std::as_const(all))
            read << *decodeEvent(encodeEvent(e));
        QCOMPARE(merged(read), once);
    }
}

void TestSync::aClearRemovesOnlyWhatCameBefore()
{
    HybridClock home(QStringLiteral("d1"));
    HybridClock laptop(QStringLiteral("d2"));
    const qint64 t = 1'700'000'000'000;
    SyncEvent before{SyncEvent::Kind::Heard, kKeyA, laptop.next(t)};
    before.ranges = {{0, 100}};
    const SyncEvent clear{SyncEvent::Kind::Cleared, kKeyA, home.next(t + 1000)};
    SyncEvent after{SyncEvent::Kind::Heard, kKeyA, laptop.next(t + 2000)};
    after.ranges = {{200, 260}};
    for (const QList<SyncEvent> &order :
         {QList<SyncEvent>{before, clear, after}, QList<SyncEvent>{after, clear, before},
          QList<SyncEvent>{clear, after, before}}) {
        SyncState state;
        for (const SyncEvent &e : order)
            state.apply(e);
        QCOMPARE(state.heard(kKeyA), (QList<ListenedRange>{{200, 260}}));
    }
    // A computer whose clock is behind still wins with an edit made after
    // it saw the other's.
    HybridClock behind(QStringLiteral("d3"));
    SyncEvent there{SyncEvent::Kind::Place, kKeyA, home.next(t + 3'600'000)};
    behind.see(there.stamp);
    const SyncEvent here{SyncEvent::Kind::Place, kKeyA, behind.next(t)};
    QVERIFY(there.stamp < here.stamp);
}

void TestSync::twoStoresMeetThroughOneFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("共有"));
    QVERIFY(QDir().mkpath(folder));
    qint64 now = 1'700'000'000'000;
    auto clock = [&now] { return now; };
    HistoryStore homeStore(dir.filePath(QStringLiteral("home.db")));
    HistoryStore laptopStore(dir.filePath(QStringLiteral("laptop.db")));
    Sync home(settingsOf(folder, QStringLiteral("d1")), clock);
    Sync laptop(settingsOf(folder, QStringLiteral("d2")), clock);
    homeStore.setWatcher([&home](const auto &changes) { home.changed(changes); });
    laptopStore.setWatcher([&laptop](const auto &changes) { laptop.changed(changes); });

    // What home kept before it shared anything goes with its first read.
    homeStore.keepPlace(kKeyA, 120.5, 600, now, {{100, 120}});
    homeStore.keepRecords(kKeyA, {{QStringLiteral("00:02:00"), QStringLiteral("定義"), 120000}});
    homeStore.write(
        {{{QStringLiteral("/home/講義/1.mp4"), 100, 120, now - 20000, now, 1.5, 0, kKeyA}},
         {{SettingsOf::Medium, kKeyA, {1.5, true, std::nullopt}}}});
    homeStore.keepPlace(QStringLiteral("/home/local-only.mp4"), 50, 600, now);
    home.update(homeStore);
    now += 60000;
    QCOMPARE(laptop.update(laptopStore), QStringList{kKeyA});
    const RecordingInfo there = laptopStore.recording(kKeyA, QString());
    QVERIFY(there.place);
    QCOMPARE(there.place->position, 120.5);
    QCOMPARE(there.place->device, QStringLiteral("家のPC"));
    QCOMPARE(there.ranges, (QList<ListenedRange>{{100, 120}}));
    QCOMPARE(there.settings->speed, 1.5);
    QCOMPARE(there.records.size(), 1);
    QCOMPARE(laptopStore.stretches().size(), 1);
    QCOMPARE(laptopStore.stretches().constFirst().name, QStringLiteral("1.mp4"));
    // A local path is not shared.
    QVERIFY(!laptopStore.place(QStringLiteral("/home/local-only.mp4")));

    // The laptop goes on, changes the record's comment and clears nothing;
    // home clears what it heard afterwards: the laptop's later ranges stay.
    laptopStore.keepPlace(kKeyA, 300, 600, now, {{120, 300}});
    laptopStore.keepRecords(kKeyA, {{QStringLiteral("00:02:00"), QStringLiteral("定義!"), 120000}});
    now += 60000;
    home.update(homeStore);
    QCOMPARE(homeStore.place(kKeyA)->position, 300.0);
    QCOMPARE(homeStore.place(kKeyA)->device, QStringLiteral("ノートPC"));
    QCOMPARE(homeStore.records(kKeyA).constFirst().comment, QStringLiteral("定義!"));
    homeStore.clearRanges(kKeyA);
    now += 60000;
    laptopStore.addRanges(kKeyA, {{400, 420}}, now);
    laptop.update(laptopStore);
    home.update(homeStore);
    const QList<ListenedRange> wanted{{400, 420}};
    QCOMPARE(laptopStore.ranges(kKeyA), wanted);
    QCOMPARE(homeStore.ranges(kKeyA), wanted);
    // Reading again changes nothing.
    QVERIFY(home.update(homeStore).isEmpty());
    QCOMPARE(homeStore.ranges(kKeyA), wanted);
    QCOMPARE(homeStore.stretches().size(), 1);
}

void TestSync::whatASyncToolLeavesIsSkipped()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString other = dir.filePath(QStringLiteral("pelmora/d2"));
    QVERIFY(QDir().mkpath(other));
    HybridClock laptop(QStringLiteral("d2"));
    SyncEvent place{SyncEvent::Kind::Place, kKeyA, laptop.next(1000)};
    place.position = 42;
    SyncEvent later = place;
    later.stamp = laptop.next(2000);
    later.position = 99;
    auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(QDir(other).filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append));
        f.write(bytes);
    };
    // A whole line, then one cut short (still arriving).
    write(QStringLiteral("events-1.jsonl"),
          encodeEvent(place) + "\n" + encodeEvent(later).left(30));
    // A conflict copy and a temporary file hold a later place: never read.
    SyncEvent stray = later;
    stray.stamp = laptop.next(9000);
    stray.position = 500;
    write(QStringLiteral("events-1.sync-conflict-20261210-101010-ABCDEFG.jsonl"),
          encodeEvent(stray) + "\n");
    write(QStringLiteral(".syncthing.events-2.jsonl.tmp"), encodeEvent(stray) + "\n");
    write(QStringLiteral("~syncthing~events-2.jsonl.tmp"), encodeEvent(stray) + "\n");
    write(QStringLiteral("events-0.jsonl"), "not json\n{\"k\":\"place\"}\n");

    SyncFolder folder(dir.path(), QStringLiteral("d1"), QStringLiteral("家のPC"));
    SyncState state;
    HybridClock mine(QStringLiteral("d1"));
    QCOMPARE(folder.read(state, mine), 1);
    QCOMPARE(state.place(kKeyA)->position, 42.0);
    // The rest of the line arrives: it is read, once.
    write(QStringLiteral("events-1.jsonl"), encodeEvent(later).mid(30) + "\n");
    QCOMPARE(folder.read(state, mine), 1);
    QCOMPARE(state.place(kKeyA)->position, 99.0);
    QCOMPARE(folder.read(state, mine), 0);
    // This device's next stamp comes after all it saw.
    QVERIFY(later.stamp < mine.next(0));
}

void TestSync::aFolderThatCannotBeWrittenLosesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString gone = dir.filePath(QStringLiteral("usb"));
    SyncFolder folder(gone, QStringLiteral("d1"), QStringLiteral("家のPC"));
    HybridClock clock(QStringLiteral("d1"));
    SyncEvent place{SyncEvent::Kind::Place, kKeyA, clock.next(1000)};
    place.position = 42;
    // Unplugged: told, never made, and the events wait.
    QVERIFY(!folder.append({place}));
    QVERIFY(folder.trouble().contains(QStringLiteral("見つかりません")));
    QVERIFY(!QFileInfo::exists(gone));
    // Cannot be written (here: a file where its directory goes): told, and
    // the events still wait.
    QVERIFY(QDir().mkpath(gone));
    QFile blocker(QDir(gone).filePath(QStringLiteral("pelmora")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(!folder.append({}));
    QVERIFY(folder.trouble().contains(QStringLiteral("書き込めません")));
    // Back: what waited is written, once.
    QVERIFY(blocker.remove());
    QVERIFY(folder.append({}));
    QVERIFY(folder.trouble().isEmpty());
    SyncFolder reader(gone, QStringLiteral("d2"), QStringLiteral("ノートPC"));
    SyncState state;
    HybridClock other(QStringLiteral("d2"));
    QCOMPARE(reader.read(state, other), 1);
}

QTEST_GUILESS_MAIN(TestSync)
#include "tst_core_sync.moc"
