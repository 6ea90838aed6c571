// SPDX-License-Identifier: GPL-3.0-or-later
// The place store "History.db": lazy creation, nothing left beside it, the
// 1,000 most recent media, listened ranges, exact names behind the INI's
// text, damaged files set aside, two writers killed at random, and
// recordings that keep their record wherever their files go.
#include "persist/ContentKey.h"
#include "persist/CourseSettings.h"
#include "persist/DiskWriter.h"
#include "persist/HistoryStore.h"
#include "persist/IniFile.h"
#include "persist/PlaceKeeper.h"
#include "persist/StoreLink.h"
#include "persist/StudyLog.h"
#include "player/PlayState.h"
#include "support/HistoryWriter.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <memory>

using Range = ListenedRange;
using Ranges = QList<ListenedRange>;

namespace
{

const QList<PositionRecord> kRecords{{QStringLiteral("00:01:00"), QStringLiteral("定義"), 60250},
                                     {QStringLiteral("1:2"), QStringLiteral("手で"), -1}};

const QRegularExpression kSetAsideNote(QStringLiteral("History\\.db\\.broken"));

// What the INI files make of a name: written as Resume/FileName and read
// back.
QString iniText(const QString &dir, const QString &name)
{
    const IniFile ini(dir + QStringLiteral("/Resume.ini"));
    ini.writeString(QStringLiteral("Resume"), QStringLiteral("FileName"), name);
    return ini.readString(QStringLiteral("Resume"), QStringLiteral("FileName"), QString());
}

// A name as the store keeps it: UTF-16 little-endian code units.
QByteArray keyOf(const QString &name)
{
    QByteArray key(name.size() * 2, Qt::Uninitialized);
    qToLittleEndian<quint16>(name.utf16(), name.size(), key.data());
    return key;
}

// Damages a database file: zeroes every table leaf page (b-tree page type
// 13) that holds one of the keys. Gives how many pages it zeroed.
int zeroLeavesHolding(const QString &file, const QList<QByteArray> &keys)
{
    QByteArray bytes = bytesOf(file);
    const quint16 size = qFromBigEndian<quint16>(bytes.constData() + 16);
    const qsizetype pageSize = size == 1 ? 65536 : size;
    int zeroed = 0;
    for (qsizetype at = pageSize; at + pageSize <= bytes.size(); at += pageSize) {
        const QByteArray page = QByteArray::fromRawData(bytes.constData() + at, pageSize);
        if (page.at(0) != 13 || std::none_of(keys.cbegin(), keys.cend(),
                                             [&](const QByteArray &k) { return page.contains(k); }))
            continue;
        std::fill_n(bytes.data() + at, pageSize, '\0');
        ++zeroed;
    }
    putBytes(file, bytes);
    return zeroed;
}

// The names in a table of a (damaged) database that a lookup by rowid still
// reads, rowids 1 to last, by rowid.
QMap<qint64, QString> namesThatRead(const QString &file, const QString &table, qint64 last)
{
    QMap<qint64, QString> names;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "lookup");
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(db);
            if (q.prepare(QStringLiteral("SELECT name FROM %1 WHERE rowid = ?").arg(table))) {
                for (qint64 id = 1; id <= last; ++id) {
                    q.bindValue(0, id);
                    if (q.exec() && q.next()) {
                        const QByteArray key = q.value(0).toByteArray();
                        QString name(key.size() / 2, Qt::Uninitialized);
                        qFromLittleEndian<quint16>(key.constData(), name.size(), name.data());
                        names.insert(id, name);
                    }
                }
            }
        }
    }
    QSqlDatabase::removeDatabase("lookup");
    return names;
}

// Writes bytes to a file, making its folder.
void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          size / sizeof(quint32));
    return bytes;
}

// Whether a damaged table still reads beyond the first row it lost.
bool readsBeyondTheDamage(const QMap<qint64, QString> &names, qint64 last)
{
    qint64 lost = 1;
    while (lost <= last && names.contains(lost))
        ++lost;
    return lost <= last && !names.isEmpty() && names.lastKey() > lost;
}

} // namespace

class TestHistoryStore : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        // In memory where there is such a place: the rules here do not
        // depend on the disk, and a thousand synchronised writes to a disk
        // take many seconds.
        const QString shm = QStringLiteral("/dev/shm");
        const QFileInfo memory(shm);
        m_tmp =
            memory.isDir() && memory.isWritable()
                ? std::make_unique<QTemporaryDir>(shm + QStringLiteral("/tst_core_history-XXXXXX"))
                : std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
    }

    void mergeRanges_data();
    void mergeRanges();
    void createdByTheFirstPlaceOnly();
    void finishedMediumKeepsItsRanges();
    void keepsTheThousandMostRecent();
    void exactNameBehindTheIniText();
    void damagedFileSetAside_data();
    void damagedFileSetAside();
    void damagedStoreRescued_data();
    void damagedStoreRescued();
    void rescueIsTold();
    void versionsAndReadOnlyStores();
    void studyLogAndSettingsAreKeptExactly();
    void studyDaysWeekAndMedia();
    void studyReportInOnePass();
    void unwritableDirectoryIsLeftAlone();
    void survivesTwoWritersKilled();
    void lockedStoreWritesWaitAndAreKept();
    void recordingsFollowTheirFiles();
    void upgradeKeepsEveryRowAndSurvivesAKill();

private:
    QString path() const { return m_tmp->filePath(QString::fromLatin1(kHistoryFile)); }
    QStringList entries() const
    {
        return QDir(m_tmp->path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    std::unique_ptr<QTemporaryDir> m_tmp; // a fresh directory for every test
};

void TestHistoryStore::mergeRanges_data()
{
    QTest::addColumn<Ranges>("in");
    QTest::addColumn<Ranges>("out");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();

    QTest::newRow("none") << Ranges{} << Ranges{};
    QTest::newRow("sorted, apart") << Ranges{{30, 40}, {0, 10}} << Ranges{{0, 10}, {30, 40}};
    QTest::newRow("overlapping") << Ranges{{5, 20}, {0, 10}} << Ranges{{0, 20}};
    QTest::newRow("inside another") << Ranges{{0, 100}, {20, 30}} << Ranges{{0, 100}};
    QTest::newRow("touching") << Ranges{{10, 20}, {0, 10}} << Ranges{{0, 20}};
    QTest::newRow("gap under 1 s joined") << Ranges{{0, 10}, {10.99, 12}} << Ranges{{0, 12}};
    QTest::newRow("gap of 1 s kept") << Ranges{{0, 10}, {11, 12}} << Ranges{{0, 10}, {11, 12}};
    QTest::newRow("chain joins") << Ranges{{0, 1}, {1.5, 2}, {2.5, 3}, {3.5, 4}} << Ranges{{0, 4}};
    QTest::newRow("empty and reversed dropped")
        << Ranges{{5, 5}, {9, 3}, {20, 21}} << Ranges{{20, 21}};
    QTest::newRow("not finite dropped")
        << Ranges{{nan, 4}, {0, inf}, {-inf, 2}, {7, 8}} << Ranges{{7, 8}};
    QTest::newRow("before 0 starts at 0") << Ranges{{-3, 2}, {-5, -1}} << Ranges{{0, 2}};
}

void TestHistoryStore::mergeRanges()
{
    QFETCH(Ranges, in);
    QFETCH(Ranges, out);
    QCOMPARE(::mergeRanges(in), out);
}

// Reading, clearing and adding nothing leave no file; the first place kept
// creates it, another store (another program) reads it, and once the stores
// are gone nothing else lies beside it and no connection is left.
void TestHistoryStore::createdByTheFirstPlaceOnly()
{
    const QString name = QStringLiteral("/m/講義 第1回.mp4");
    {
        HistoryStore store(path());
        QVERIFY(!store.place(name));
        QVERIFY(store.ranges(name).isEmpty());
        QVERIFY(store.exactName(name, [](const QString &n) { return n; }).isEmpty());
        store.clearPlace(name);
        store.clearRanges(name);
        store.addRanges(name, {{5, 5}}, 1000);
        QCOMPARE(entries(), QStringList());

        store.keepPlace(name, 83.7, 5400.25, 1700000000123);
        QCOMPARE(entries(), QStringList{QString::fromLatin1(kHistoryFile)});
        HistoryStore other(path());
        QCOMPARE(other.place(name), (Place{83.7, 5400.25, 1700000000123}));
        store.keepPlace(name, 120, 5400.25, 1700000005000);
        QCOMPARE(other.place(name), (Place{120, 5400.25, 1700000005000}));
        QVERIFY(!other.place(QStringLiteral("/m/講義 第1回.mp4 ")));
    }
    QCOMPARE(entries(), QStringList{QString::fromLatin1(kHistoryFile)});
    QCOMPARE(QSqlDatabase::connectionNames(), QStringList());
}

// A finished medium loses its place but keeps its listened ranges; ranges
// added later merge with the kept ones; a medium with neither is gone.
void TestHistoryStore::finishedMediumKeepsItsRanges()
{
    HistoryStore store(path());
    const QString name = QStringLiteral("/m/a.mp3");
    store.keepPlace(name, 600, 3600, 1000);
    store.addRanges(name, {{10, 20}, {1.0 / 3, 5}}, 2000);
    store.addRanges(name, {{19.5, 30}, {40, 41}}, 3000);
    const Ranges kept{{1.0 / 3, 5}, {10, 30}, {40, 41}};
    QCOMPARE(store.ranges(name), kept);
    QCOMPARE(store.place(name), (Place{600, 3600, 3000}));

    store.clearPlace(name);
    QVERIFY(!store.place(name));
    QCOMPARE(store.ranges(name), kept);
    store.keepPlace(name, 12, 3600, 4000);
    store.clearRanges(name);
    QVERIFY(store.ranges(name).isEmpty());
    QCOMPARE(store.place(name), (Place{12, 3600, 4000}));

    store.clearPlace(name);
    QVERIFY(store.exactName(name, [](const QString &n) { return n; }).isEmpty());
}

// The 1,001st medium drops the least recently played one; playing a medium
// again (its place or its ranges) makes it the most recent.
void TestHistoryStore::keepsTheThousandMostRecent()
{
    HistoryStore store(path());
    auto name = [](int i) { return QStringLiteral("/m/%1.mp4").arg(i); };
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 1000; ++i)
        store.keepPlace(name(i), 60 + i, 7200, 1000 + i);
    store.keepPlace(name(0), 61, 7200, 5000);
    store.addRanges(name(1), {{0, 61}}, 5001);
    // Written with a clock set back: still the most recent.
    store.keepPlace(name(1000), 60, 7200, 10);
    store.keepPlace(name(1001), 60, 7200, 11);
    qInfo("1,004 writes in %lld ms", qlonglong(timer.elapsed()));

    QVERIFY(!store.place(name(2)));
    QVERIFY(!store.place(name(3)));
    for (int i : {0, 1, 4, 999, 1000, 1001})
        QVERIFY2(store.place(name(i)), qPrintable(name(i)));
    QCOMPARE(store.ranges(name(1)), (Ranges{{0, 61}}));
}

// A name that the INI files cannot hold (a line break, more than 2,047
// characters) is found again from the text they hold for it: the most
// recently played of the names with that text.
void TestHistoryStore::exactNameBehindTheIniText()
{
    const QString dir = m_tmp->path();
    auto toStoredForm = [&dir](const QString &n) { return iniText(dir, n); };
    const QString plain = QStringLiteral("/m/第1回 講義.mp4");
    const QString withBreak = QStringLiteral("/m/第1回\n講義.mp4");
    const QString longName = QStringLiteral("/m/") + QString(3000, QChar(0x8B1B)) + ".mp3";
    QCOMPARE(iniText(dir, withBreak), plain);
    QCOMPARE(iniText(dir, longName).size(), 2047);

    HistoryStore store(path());
    store.keepPlace(plain, 10, 100, 1000);
    store.keepPlace(withBreak, 20, 100, 2000);
    store.keepPlace(longName, 30, 100, 3000);
    QCOMPARE(store.exactName(iniText(dir, withBreak), toStoredForm), withBreak);
    QCOMPARE(store.exactName(iniText(dir, longName), toStoredForm), longName);
    QCOMPARE(store.place(store.exactName(iniText(dir, longName), toStoredForm))->position, 30.0);

    store.keepPlace(plain, 11, 100, 4000);
    QCOMPARE(store.exactName(iniText(dir, withBreak), toStoredForm), plain);
    QVERIFY(store.exactName(QStringLiteral("/m/other.mp4"), toStoredForm).isEmpty());
}

void TestHistoryStore::damagedFileSetAside_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("garbage") << "garbage";
    QTest::newRow("truncated") << "truncated";
    QTest::newRow("directory") << "directory";
    QTest::newRow("another program's database") << "foreign";
    QTest::newRow("unreadable") << "unreadable";
}

// A file in the store's place that it cannot use is moved aside with one
// note, under the first free name: "History.db.broken" when there is none,
// else ".broken.2" (a copy rescued earlier is kept), and the store goes on
// with a new file.
void TestHistoryStore::damagedFileSetAside()
{
    QFETCH(QString, kind);
    const QString broken = path() + QStringLiteral(".broken");
    putBytes(broken, "an older one");
    const QString name = QStringLiteral("/m/a.mp4");

    if (kind == QLatin1String("garbage")) {
        QByteArray bytes(8192, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(bytes.data()), 8192 / 4);
        putBytes(path(), bytes);
    } else if (kind == QLatin1String("truncated")) {
        {
            HistoryStore store(path());
            for (int i = 0; i < 300; ++i)
                store.keepPlace(QStringLiteral("/m/%1/").arg(i) + QString(500, QLatin1Char('x')), i,
                                100, i);
        }
        QFile file(path());
        QVERIFY(file.size() > 100000);
        QVERIFY(file.resize(file.size() / 2));
    } else if (kind == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(path()));
        putBytes(path() + QStringLiteral("/kept.txt"), "kept");
    } else if (kind == QLatin1String("foreign")) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "foreign");
            db.setDatabaseName(path());
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE notes (text TEXT)")));
        }
        QSqlDatabase::removeDatabase("foreign");
    } else {
        HistoryStore(path()).keepPlace(QStringLiteral("/m/old.mp4"), 1, 2, 3);
        QVERIFY(QFile::setPermissions(path(), QFileDevice::WriteOwner));
        if (QFileInfo(path()).isReadable()) QSKIP("permissions do not hold for this user");
    }

    HistoryStore store(path());
    QTest::ignoreMessage(QtWarningMsg, kSetAsideNote);
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    QVERIFY(!store.place(name));
    // Reading makes no store but the one that holds what still read of the
    // damaged one (of those here, only the truncated store has rows left).
    QCOMPARE(QFileInfo::exists(path()), kind == QLatin1String("truncated"));
    QCOMPARE(store.rescuedRows() > 0, kind == QLatin1String("truncated"));
    QCOMPARE(store.trouble(), HistoryStore::Trouble::SetAside);
    store.keepPlace(name, 42, 100, 5);
    const QString second = broken + QStringLiteral(".2");
    QCOMPARE(bytesOf(broken), QByteArray("an older one"));
    QVERIFY(QFileInfo::exists(second));
    if (kind == QLatin1String("directory"))
        QCOMPARE(bytesOf(second + QStringLiteral("/kept.txt")), QByteArray("kept"));
    QCOMPARE(HistoryStore(path()).place(name), (Place{42, 100, 5}));
    QCOMPARE(entries(), (QStringList{QString::fromLatin1(kHistoryFile),
                                     QFileInfo(broken).fileName(), QFileInfo(second).fileName()}));
}

void TestHistoryStore::damagedStoreRescued_data()
{
    QTest::addColumn<bool>("current");
    QTest::newRow("the first version") << false;
    QTest::newRow("the current version") << true;
}

// A store with damaged pages among its places (and its study log) is set
// aside; what still reads of it, past the damage too, is carried at once into
// a new store of the current version, and counted; the damaged copy is kept
// as it was.
void TestHistoryStore::damagedStoreRescued()
{
    QFETCH(bool, current);
    auto name = [](int i) { return QStringLiteral("/講義/第%1回 まとめ.mp4").arg(i); };
    auto heard = [](int i) { return QStringLiteral("/log/%1.mp3").arg(i); };
    auto stretch = [&heard](int i) {
        return Stretch{heard(i), 0, 10.0 + i, 1000LL * i, 1000LL * i + 500, 1.5, 0.25};
    };
    const int places = 1000, stretches = current ? HistoryStore::kMaxStretches : 0;
    const int finished = 7; // its place cleared, its ranges kept
    const HistoryStore::Settings fast{1.7, std::nullopt, true, 0, 0};
    const HistoryStore::Settings course{1.25, false, std::nullopt, 12.5, 30};
    {
        HistoryStore made(path(), current ? HistoryStore::migrations()
                                          : QList<HistoryStore::Migration>{
                                                HistoryStore::migrations().constFirst()});
        for (int i = 0; i < places; ++i)
            made.keepPlace(name(i), i, 1000 + i, 100 + i, {{0, i + 1.0}});
        made.clearPlace(name(finished));
        if (current) {
            HistoryStore::Extra extra;
            for (int i = 0; i < stretches; ++i)
                extra.log << stretch(i);
            extra.settings << HistoryStore::SettingsChange{HistoryStore::SettingsOf::Medium,
                                                           name(1), fast}
                           << HistoryStore::SettingsChange{HistoryStore::SettingsOf::Folder,
                                                           QStringLiteral("/講義"), course};
            made.write(extra);
            made.keepRecords(name(1), kRecords);
        }
    }
    QList<QByteArray> damage{keyOf(name(300)), keyOf(name(600))};
    if (current) damage << keyOf(heard(stretches / 2));
    QVERIFY(zeroLeavesHolding(path(), damage) >= damage.size());
    const QByteArray damaged = bytesOf(path());
    const QMap<qint64, QString> placesRead = namesThatRead(path(), "places", places);
    const QMap<qint64, QString> stretchesRead = namesThatRead(path(), "stretches", stretches);
    QVERIFY(readsBeyondTheDamage(placesRead, places));
    if (current) QVERIFY(readsBeyondTheDamage(stretchesRead, stretches));

    HistoryStore store(path());
    QTest::ignoreMessage(QtWarningMsg, kSetAsideNote);
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    QElapsedTimer took;
    took.start();
    const QString last = name(places - 1);
    const std::optional<Place> lastPlace = store.place(last);
    const QSet<QString> placeNames(placesRead.cbegin(), placesRead.cend());
    qInfo("%lld places and %lld stretches rescued in %lld ms", qlonglong(placesRead.size()),
          qlonglong(stretchesRead.size()), qlonglong(took.elapsed()));
    // The read goes on in the new store.
    if (placeNames.contains(last))
        QCOMPARE(lastPlace, (Place{places - 1.0, 1000 + places - 1.0, 100 + places - 1}));
    QCOMPARE(store.trouble(), HistoryStore::Trouble::SetAside);
    QCOMPARE(store.setAsidePath(), path() + QStringLiteral(".broken"));
    QCOMPARE(bytesOf(store.setAsidePath()), damaged);
    QCOMPARE(entries(), (QStringList{QString::fromLatin1(kHistoryFile),
                                     QFileInfo(store.setAsidePath()).fileName()}));
    QCOMPARE(store.rescuedRows(),
             int(placesRead.size() + stretchesRead.size()) + (current ? 3 : 0));

    // Every place that still read, as it was kept, and no other.
    HistoryStore rescued(path());
    const QList<MediumRecord> media = rescued.media();
    QCOMPARE(media.size(), placesRead.size());
    for (int i = 0; i < places; ++i) {
        if (!placeNames.contains(name(i))) continue;
        const auto it = std::find_if(media.cbegin(), media.cend(),
                                     [&](const MediumRecord &r) { return r.name == name(i); });
        QVERIFY2(it != media.cend(), qPrintable(name(i)));
        QCOMPARE(it->duration, 1000.0 + i);
        QCOMPARE(it->position, i == finished ? std::nullopt : std::optional<double>(i));
        QCOMPARE(it->ranges, (Ranges{{0, i + 1.0}}));
    }
    QList<Stretch> expected;
    for (const QString &n : stretchesRead)
        expected << stretch(n.mid(5).chopped(4).toInt());
    QCOMPARE(rescued.stretches(), expected);
    if (current) {
        QCOMPARE(rescued.settings(HistoryStore::SettingsOf::Medium, name(1)), fast);
        QCOMPARE(rescued.settings(HistoryStore::SettingsOf::Folder, QStringLiteral("/講義")),
                 course);
        QCOMPARE(rescued.records(name(1)), kRecords);
    }
    // The new store is of the current version.
    const Stretch later = stretch(stretches + 1);
    rescued.write({{later}, {}});
    QCOMPARE(rescued.trouble(), HistoryStore::Trouble::None);
    QCOMPARE(rescued.stretches().constLast(), later);
}

// The program tells of the rescue once, with the count of what was carried,
// and the medium being opened has its place at once.
void TestHistoryStore::rescueIsTold()
{
    auto name = [](int i) { return QStringLiteral("/m/%1.mp4").arg(i); };
    {
        HistoryStore made(path());
        for (int i = 0; i < 200; ++i)
            made.keepPlace(name(i), i, 1000, 1);
    }
    QVERIFY(zeroLeavesHolding(path(), {keyOf(name(50))}) > 0);

    DiskWriter writer(true);
    StoreLink link(m_tmp->path(), &writer);
    QSignalSpy told(&link, &StoreLink::trouble);
    QTest::ignoreMessage(QtWarningMsg, kSetAsideNote);
    QCOMPARE(link.recording(name(199), QString()).place, (Place{199, 1000, 1}));
    // The writer checks the whole file (the GUI thread's reads do not wait
    // for it), sets it aside and carries over what reads.
    QTRY_COMPARE(told.size(), 1);
    const qsizetype kept = HistoryStore(path()).media().size();
    QVERIFY(kept > 0 && kept < 200);
    const QString text = told.first().first().toString();
    QVERIFY2(text.contains(QStringLiteral("History.db.broken")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("%1 件の記録を引き継ぎました").arg(kept)),
             qPrintable(text));
    link.recording(name(198), QString());
    QCOMPARE(told.size(), 1);
}

// A store the user made read-only is read, and never written, moved or
// replaced; one of a newer version is left untouched; an older one is
// upgraded by the first write, its places kept.
void TestHistoryStore::versionsAndReadOnlyStores()
{
    const QString name = QStringLiteral("/m/a.mp4");
    // A store of the first version, from before the study log.
    HistoryStore(path(), {HistoryStore::migrations().constFirst()}).keepPlace(name, 10, 100, 1);
    QVERIFY(QFile::setPermissions(path(), QFileDevice::ReadOwner));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    {
        HistoryStore store(path());
        store.keepPlace(QStringLiteral("/m/b.mp4"), 20, 100, 2);
        QCOMPARE(store.trouble(), HistoryStore::Trouble::ReadOnly);
        QCOMPARE(store.place(name), (Place{10, 100, 1}));
        QCOMPARE(entries(), QStringList{QString::fromLatin1(kHistoryFile)});
    }
    QVERIFY(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));

    // The program reads it as it is, and its first write upgrades it with
    // every place kept.
    {
        HistoryStore current(path());
        QVERIFY(current.stretches().isEmpty());
        QVERIFY(!current.settings(HistoryStore::SettingsOf::Folder, QStringLiteral("/m")));
        QCOMPARE(current.trouble(), HistoryStore::Trouble::None);
        const Stretch heard{name, 0, 10, 5, 15, 1.0, 0};
        current.write({{heard}, {}});
        QCOMPARE(current.place(name), (Place{10, 100, 1}));
        QCOMPARE(current.stretches(), QList<Stretch>{heard});
    }

    // A later version adds a column; the program's store is upgraded.
    QList<HistoryStore::Migration> two = HistoryStore::migrations();
    const int next = two.constLast().version + 1;
    two << HistoryStore::Migration{next,
                                   {QStringLiteral("ALTER TABLE places ADD COLUMN note TEXT")}};
    HistoryStore newer(path(), two);
    QCOMPARE(newer.place(name), (Place{10, 100, 1})); // read as it is
    newer.keepPlace(QStringLiteral("/m/b.mp4"), 30, 100, 3);
    QCOMPARE(newer.place(name), (Place{10, 100, 1}));
    QCOMPARE(newer.place(QStringLiteral("/m/b.mp4")), (Place{30, 100, 3}));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "check");
        db.setDatabaseName(path());
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("PRAGMA user_version")) && q.next());
        QCOMPARE(q.value(0).toInt(), next);
        QVERIFY(q.exec(QStringLiteral("SELECT note FROM places")));
    }
    QSqlDatabase::removeDatabase("check");

    // The program meets the later version's store: untouched.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("新しい版")));
    HistoryStore older(path());
    QVERIFY(!older.place(name));
    QCOMPARE(older.trouble(), HistoryStore::Trouble::Newer);
    older.keepPlace(name, 50, 100, 4);
    QCOMPARE(newer.place(name), (Place{10, 100, 1}));
    QCOMPARE(entries(), QStringList{QString::fromLatin1(kHistoryFile)});
}

// The log keeps each stretch as given and forgets one medium's or all; the
// settings keep what is set and what is not, per medium and per folder
// apart, the last kept winning.
void TestHistoryStore::studyLogAndSettingsAreKeptExactly()
{
    using Settings = HistoryStore::Settings;
    const QString a = QStringLiteral("/講義/第1回.mp4"), b = QStringLiteral("/講義/第2回.mp4");
    HistoryStore store(path());
    const Stretch first{a, 0, 600.5, 1000, 401000, 1.5, 12.25};
    const Stretch second{b, 30, 90, 500000, 560000, 1.0, 0};
    store.write({{first, second, {a, 50, 40, 1, 2, 1, 0}, {a, 0, 10, 9, 3, 1, 0}}, {}});
    QCOMPARE(store.stretches(), (QList<Stretch>{first, second}));
    QCOMPARE(store.stretches(401001), QList<Stretch>{second});
    store.clearStretches(a);
    QCOMPARE(store.stretches(), QList<Stretch>{second});
    store.clearStretches(QString());
    QVERIFY(store.stretches().isEmpty());

    const Settings fast{1.7, std::nullopt, true, 0, 0};
    const Settings course{1.25, false, std::nullopt, 12.5, 30};
    store.write({{},
                 {{HistoryStore::SettingsOf::Medium, a, fast},
                  {HistoryStore::SettingsOf::Folder, QStringLiteral("/講義"), course}}});
    QCOMPARE(store.settings(HistoryStore::SettingsOf::Medium, a), fast);
    QCOMPARE(store.settings(HistoryStore::SettingsOf::Folder, QStringLiteral("/講義")), course);
    QVERIFY(!store.settings(HistoryStore::SettingsOf::Medium, QStringLiteral("/講義")));
    const Settings slower{1.0, true, false, 0, 0};
    store.write({{}, {{HistoryStore::SettingsOf::Medium, a, slower}}});
    QCOMPARE(store.settings(HistoryStore::SettingsOf::Medium, a), slower);
}

// Each stretch counts on the local day it began; the week starts on Monday;
// the 30 days end today. A medium's share and end come from the place store.
void TestHistoryStore::studyDaysWeekAndMedia()
{
    auto at = [](QDate d, int h, int m) { return QDateTime(d, QTime(h, m)).toMSecsSinceEpoch(); };
    const QDate today(2026, 12, 9); // a Wednesday
    const QString a = QStringLiteral("/c/1.mp3"), b = QStringLiteral("/c/2.mp3");
    const Stretches log{
        {a, 0, 600, at(today, 23, 55), at(today.addDays(1), 0, 5), 1.0, 0}, // today's
        {a, 0, 1200, at(today.addDays(-2), 8, 0), at(today.addDays(-2), 8, 10), 2.0, 0},
        {b, 0, 300, at(today.addDays(-3), 8, 0), at(today.addDays(-3), 8, 5), 1.0, 0}, // Sunday
        {b, 300, 900, at(today.addDays(-40), 8, 0), at(today.addDays(-40), 8, 10), 1.0, 0},
    };
    const QList<StudyDay> days = studyDays(log, today, 30);
    QCOMPARE(days.size(), 30);
    QCOMPARE(days.constFirst().date, today.addDays(-29));
    QCOMPARE(days.constLast().figures.playedSeconds, 600.0);
    QCOMPARE(days.at(27).figures.savedBySpeed, 600.0);
    QCOMPARE(days.at(26).figures.wallSeconds, 300.0);
    const StudyTotals totals = studyTotals(log, today);
    QCOMPARE(totals.today.wallSeconds, 600.0);
    QCOMPARE(totals.week.playedSeconds, 1800.0);
    QCOMPARE(totals.all.heardSeconds, 1200.0 + 900.0);

    const QList<StudyMedium> media =
        studyMedia(log, {{a, 1200, std::nullopt, {{0, 1195}}}, {b, 1800, 700.0, {{0, 900}}}});
    QCOMPARE(media.size(), 2);
    QCOMPARE(media.at(0).name, a);
    QVERIFY(media.at(0).finished);
    QVERIFY(!media.at(1).finished);
    QCOMPARE(media.at(1).share, 0.5);
    QCOMPARE(media.at(1).folder, QStringLiteral("/c"));
}

// The window's figures, computed in one pass, are those of the functions
// one by one: over two months of stretches of media in folders and in none,
// played again in part, with names shared and not.
void TestHistoryStore::studyReportInOnePass()
{
    const QDate today(2026, 12, 9);
    const QStringList names = {QStringLiteral("/c/1.mp3"), QStringLiteral("/c/2.mp3"),
                               QStringLiteral("/d/講義/3.mp3"), QStringLiteral("4.mp3"),
                               QStringLiteral("/d/5.mp3")};
    Stretches log;
    const qint64 from = today.addDays(-60).startOfDay().toMSecsSinceEpoch();
    for (int i = 0; i < 600; ++i) {
        // Every third name a copy of its own, not the store's one object.
        QString name = names.at(i * 7 % names.size());
        if (i % 3 == 0) name = QString(name.constData(), name.size());
        const double start = (i % 40) * 30.0;
        const qint64 wall = from + qint64(i) * 61 * 86400000 / 600 + (i % 5) * 3600000;
        log.append({name, start, start + 45, wall, wall + 30000 + (i % 4) * 5000,
                    1.0 + (i % 3) * 0.25, 0});
    }
    const QList<MediumRecord> records = {{names.at(0), 1250, std::nullopt, {{0, 1245}}},
                                         {names.at(2), 2400, 300.0, {{0, 600}}}};
    const StudyReport report = studyReport(log, records, today);

    auto same = [](const StudyFigures &a, const StudyFigures &b) {
        const auto near = [](double x, double y) { return std::abs(x - y) <= 1e-6 * (1 + y); };
        return near(a.wallSeconds, b.wallSeconds) && near(a.playedSeconds, b.playedSeconds) &&
               near(a.heardSeconds, b.heardSeconds) && near(a.savedBySpeed, b.savedBySpeed) &&
               near(a.savedBySilence, b.savedBySilence);
    };
    QCOMPARE(report.stretches, log.size());
    const StudyTotals totals = studyTotals(log, today);
    QVERIFY(totals.today.wallSeconds > 0);
    QVERIFY(totals.all.heardSeconds < totals.all.playedSeconds);
    QVERIFY(same(report.totals.today, totals.today));
    QVERIFY(same(report.totals.week, totals.week));
    QVERIFY(same(report.totals.all, totals.all));
    const QList<StudyDay> days = studyDays(log, today, StudyChartDays);
    QCOMPARE(report.days.size(), days.size());
    for (qsizetype i = 0; i < days.size(); ++i) {
        QCOMPARE(report.days.at(i).date, days.at(i).date);
        QVERIFY2(same(report.days.at(i).figures, days.at(i).figures),
                 qPrintable(QString::number(i)));
    }
    const QList<StudyMedium> media = studyMedia(log, records);
    QCOMPARE(report.media.size(), media.size());
    for (qsizetype i = 0; i < media.size(); ++i) {
        const StudyMedium &m = report.media.at(i);
        QCOMPARE(m.name, media.at(i).name);
        QCOMPARE(m.folder, media.at(i).folder);
        QVERIFY(same(m.figures, media.at(i).figures));
        QCOMPARE(m.finished, media.at(i).finished);
        QCOMPARE(m.share, media.at(i).share);
    }
    // The folders: "", "/c", "/d", "/d/講義", each with its media in a row.
    QCOMPARE(report.folders.size(), 4);
    int next = 0;
    for (const StudyFolder &folder : report.folders) {
        QCOMPARE(folder.first, next);
        next += folder.count;
        Stretches of;
        for (const Stretch &s : log)
            if (studyFolderOf(s.name) == folder.folder) of << s;
        QVERIFY2(same(folder.figures, studyFigures(of)), qPrintable(folder.folder));
        for (int i = folder.first; i < folder.first + folder.count; ++i)
            QCOMPARE(report.media.at(i).folder, folder.folder);
    }
    QCOMPARE(qsizetype(next), report.media.size());
}

// Where nothing can be written, the store does nothing and says nothing: it
// reads what is there, keeps nothing new and moves nothing aside.
void TestHistoryStore::unwritableDirectoryIsLeftAlone()
{
    const QString name = QStringLiteral("/m/a.mp4");
    HistoryStore(path()).keepPlace(name, 10, 100, 1);
    const QString damaged = m_tmp->filePath(QStringLiteral("damaged"));
    QVERIFY(QDir().mkpath(damaged));
    putBytes(damaged + QStringLiteral("/History.db"), QByteArray(4096, 'x'));
    const QFileDevice::Permissions readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
    QVERIFY(QFile::setPermissions(m_tmp->path(), readOnly));
    QVERIFY(QFile::setPermissions(damaged, readOnly));
    const bool holds = !QFileInfo(m_tmp->path()).isWritable();
    auto restore = qScopeGuard([&] {
        const QFileDevice::Permissions all = readOnly | QFileDevice::WriteOwner;
        QFile::setPermissions(damaged, all);
        QFile::setPermissions(m_tmp->path(), all);
    });
    if (!holds) QSKIP("permissions do not hold for this user");

    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    HistoryStore store(path());
    store.keepPlace(name, 20, 100, 2);
    store.keepPlace(QStringLiteral("/m/b.mp4"), 20, 100, 3);
    QCOMPARE(store.place(name), (Place{10, 100, 1}));
    QVERIFY(!store.place(QStringLiteral("/m/b.mp4")));

    HistoryStore inDamaged(damaged + QStringLiteral("/History.db"));
    QVERIFY(!inDamaged.place(name));
    inDamaged.keepPlace(name, 20, 100, 2);
    QCOMPARE(QDir(damaged).entryList(QDir::Files), QStringList{QStringLiteral("History.db")});
}

// Two programs write places into one database and are killed (SIGKILL) at
// random moments: after every round the database opens without being set
// aside, passes SQLite's integrity check and holds only whole records.
void TestHistoryStore::survivesTwoWritersKilled()
{
#ifndef Q_OS_UNIX
    QSKIP("killing a writer mid-write needs SIGKILL");
#else
    // A full store (so that every new record drops the oldest), made where
    // writing is quick, then copied to a disk, where writes take their time.
    {
        HistoryStore full(path());
        for (int k = 0; k < HistoryStore::kMaxMedia; ++k)
            full.keepPlace(HistoryWriter::name(9, k), k, 2 * k + 1, 1, {{0, k + 1.0}});
    }
    QTemporaryDir disk;
    QVERIFY(disk.isValid());
    const QString db = disk.filePath(QString::fromLatin1(kHistoryFile));
    QVERIFY(QFile::copy(path(), db));
    const int rounds = 20;
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    QElapsedTimer timer;
    timer.start();
    int journalsLeft = 0;
    qint64 records = 0;
    for (int round = 0; round < rounds; ++round) {
        std::unique_ptr<QProcess> writers[2];
        for (int w = 0; w < 2; ++w) {
            writers[w] = std::make_unique<QProcess>();
            writers[w]->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writers[w]->start(QStringLiteral(HISTORY_WRITER),
                              {db, QString::number(w), QString::number(round * 10000000LL)});
        }
        for (auto &writer : writers)
            QVERIFY2(writer->waitForReadyRead(10000), "the writer did not start");
        for (auto &writer : writers) {
            QThread::usleep(random.bounded(30000));
            writer->kill();
        }
        for (auto &writer : writers)
            QVERIFY(writer->waitForFinished(10000));
        journalsLeft += QFileInfo::exists(db + QStringLiteral("-journal"));

        // Every record, read directly; then some through the store.
        QStringList names;
        {
            QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "check");
            sql.setDatabaseName(db);
            QVERIFY(sql.open());
            QSqlQuery q(sql);
            QVERIFY(q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
            QVERIFY(q.exec(QStringLiteral("SELECT count(*), count(DISTINCT seq) FROM places")) &&
                    q.next());
            QVERIFY(q.value(0).toInt() <= HistoryStore::kMaxMedia);
            QCOMPARE(q.value(1), q.value(0));
            QVERIFY(q.exec(QStringLiteral("SELECT name, position, duration FROM places")));
            while (q.next()) {
                const QByteArray key = q.value(0).toByteArray(); // UTF-16 LE
                QString name(key.size() / 2, Qt::Uninitialized);
                qFromLittleEndian<quint16>(key.constData(), name.size(), name.data());
                const auto id = HistoryWriter::parse(name);
                QVERIFY2(id, qPrintable(name.left(40)));
                const qint64 k = q.value(1).toLongLong();
                QCOMPARE(k % HistoryWriter::kSlots, id->second);
                QCOMPARE(q.value(2).toDouble(), double(2 * k + 1));
                names.append(name);
            }
            records += names.size();
        }
        QSqlDatabase::removeDatabase("check");
        QVERIFY(!names.isEmpty());
        HistoryStore store(db);
        for (int i = 0; i < 10; ++i) {
            const QString &name = names.at(random.bounded(int(names.size())));
            const auto place = store.place(name);
            QVERIFY(place);
            QCOMPARE(place->duration, 2 * place->position + 1);
            QCOMPARE(store.ranges(name), (Ranges{{0, place->position + 1}}));
        }
        QVERIFY(!QFileInfo::exists(db + QStringLiteral(".broken")));
        // A journal left by a kill is rolled back by the next reader when it
        // holds a transaction, or (when the kill came before it held one)
        // replaced by the next write, which removes it.
        const qint64 k = HistoryStore::kMaxMedia + round;
        store.keepPlace(HistoryWriter::name(9, k), k, 2 * k + 1, 2, {{0, k + 1.0}});
        QVERIFY(!QFileInfo::exists(db + QStringLiteral("-journal")));
    }
    // How many kills left a journal behind, that is, hit a write (on a quick
    // disk, or in memory, few do).
    qInfo("%d rounds in %lld ms, %d left a journal, %lld records checked (seed %u)", rounds,
          qlonglong(timer.elapsed()), journalsLeft, qlonglong(records), seed);
#endif
}

// Another program holds the store's write lock: the places kept meanwhile
// wait, in order, on the writer's thread (keeping one returns at once), are
// offered from memory, are told about once, and reach the store when the
// lock goes.
void TestHistoryStore::lockedStoreWritesWaitAndAreKept()
{
    HistoryStore(path()).keepPlace(QStringLiteral("/m/old.mp4"), 5, 100, 1);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "holder");
    db.setDatabaseName(path());
    QVERIFY(db.open());
    QSqlQuery lock(db);
    QVERIFY(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));

    DiskWriter writer(true);
    PlaybackSnapshot now{QStringLiteral("/m/a.mp4"), 30, 600, PlayStates::Playing, {{0, 30}}};
    qint64 clock = 1000;
    StoreLink link(m_tmp->path(), &writer);
    PlaceKeeper keeper(
        &link, m_tmp->path(), [&now] { return now; }, [&clock] { return clock; });
    QSignalSpy told(&link, &StoreLink::trouble);
    QElapsedTimer took;
    took.start();
    keeper.keep();
    now.position = 45;
    keeper.keep();
    QVERIFY2(took.elapsed() < 200, qPrintable(QString::number(took.elapsed())));
    QCOMPARE(keeper.placeToOffer(QStringLiteral("/m/a.mp4")), std::optional<double>(45));
    QTRY_COMPARE_WITH_TIMEOUT(told.size(), 1, 5000);
    QVERIFY(told.first().first().toString().contains(QStringLiteral("使用中")));
    QVERIFY(!writer.flush(200)); // still waiting for the lock

    QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
    QVERIFY(writer.flush(5000));
    QCOMPARE(HistoryStore(path()).place(QStringLiteral("/m/a.mp4")), (Place{45, 600, 1000}));
    QCOMPARE(HistoryStore(path()).place(QStringLiteral("/m/old.mp4")), (Place{5, 100, 1}));
    QCOMPARE(told.size(), 1);
    lock = QSqlQuery();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("holder");
}

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_core_history.moc"

// A recording keeps its record wherever its file goes: found by its key when
// renamed, moved or copied (a copy shares it), by its path when it was
// changed in place or kept before keys were; a folder with no settings takes
// those of the folder it lay in; an unchanged file is not read again.
void TestHistoryStore::recordingsFollowTheirFiles()
{
    using Settings = HistoryStore::Settings;
    HistoryStore store(path());
    qint64 clock = 0;
    // Opens a file as the program does: one read, then what it learnt.
    auto open = [&](const QString &file) {
        RecordingInfo info = store.recording(file, CourseSettings::folderOf(file));
        if (info.sighting) {
            info.sighting->seenMs = ++clock;
            store.see(*info.sighting);
        }
        return info;
    };
    const QDir dir(m_tmp->path());
    const QString a = dir.filePath(QStringLiteral("F/第1回.mp3"));
    writeBytes(a, randomBytes(300 * 1024));
    const RecordingInfo first = open(a);
    QVERIFY(ContentKey::isKey(first.id));
    QVERIFY(!first.place);
    const Settings fast{1.7, std::nullopt, true, 0, 0};
    const Settings course{1.25, true, std::nullopt, 12, 30};
    const QList<PositionRecord> records{
        {QStringLiteral("00:01:00"), QStringLiteral("定義"), 60250}};
    store.keepPlace(first.id, 446, 1920, 1, {{0, 446}},
                    {{{a, 0, 446, 1, 447000, 1.7, 0, first.id}},
                     {{SettingsOf::Medium, first.id, fast},
                      {SettingsOf::Folder, CourseSettings::folderOf(a), course}}});
    store.keepRecords(first.id, records);

    // The course folder renamed.
    QVERIFY(QDir(dir).rename(QStringLiteral("F"), QStringLiteral("F 後期 2026")));
    const QString renamed = dir.filePath(QStringLiteral("F 後期 2026/第1回.mp3"));
    RecordingInfo info = open(renamed);
    QCOMPARE(info.id, first.id);
    QCOMPARE(info.place, (Place{446, 1920, 1}));
    QCOMPARE(info.ranges, (Ranges{{0, 446}}));
    QCOMPARE(info.settings, fast);
    QCOMPARE(info.folderSettings, course);
    QCOMPARE(info.folderSettingsFrom, dir.filePath(QStringLiteral("F")));
    QCOMPARE(info.records, records);
    // The study log names it where it was last seen.
    QCOMPARE(store.stretches().constFirst().name, renamed);
    QCOMPARE(store.media().constFirst().name, renamed);

    // Moved to another folder under another name, and copied: one record.
    const QString moved = dir.filePath(QStringLiteral("old/lecture-01.mp3"));
    QVERIFY(dir.mkpath(QStringLiteral("old")) && QFile::rename(renamed, moved));
    QCOMPARE(open(moved).place, (Place{446, 1920, 1}));
    const QString copy = dir.filePath(QStringLiteral("laptop/copy.mp3"));
    QVERIFY(dir.mkpath(QStringLiteral("laptop")) && QFile::copy(moved, copy));
    QCOMPARE(open(copy).id, first.id);

    // Changed in place (its tags rewritten): a new key, and the record
    // comes along; copied, as the other path still holds the old bytes.
    {
        QFile file(copy);
        QVERIFY(file.open(QIODevice::Append) && file.write("TAG") == 3);
    }
    info = open(copy);
    QVERIFY(ContentKey::isKey(info.id) && info.id != first.id);
    QCOMPARE(info.place, (Place{446, 1920, 1}));
    QCOMPARE(store.place(info.id), (Place{446, 1920, 1}));
    QCOMPARE(store.records(info.id), records);
    QCOMPARE(open(moved).place, (Place{446, 1920, 1}));

    // The same size and time as the store learnt: the file is not read
    // again, so other bytes behind them still give the key it knows.
    const QDateTime time = QFileInfo(moved).lastModified();
    {
        QFile file(moved);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.write("other") == 5 && file.flush());
        QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
    }
    QCOMPARE(open(moved).id, first.id);

    // Kept under its path before keys were: moved to its key at its first
    // opening, with its stretches, which keep their path.
    const QString old = dir.filePath(QStringLiteral("legacy.mp3"));
    writeBytes(old, randomBytes(1000));
    store.keepPlace(old, 77, 100, 2);
    store.write({{{old, 0, 77, 500000, 587000, 1.0, 0}}, {}});
    info = open(old);
    QVERIFY(ContentKey::isKey(info.id));
    QCOMPARE(info.place, (Place{77, 100, 2}));
    QVERIFY(!store.place(old));
    QCOMPARE(store.place(info.id), (Place{77, 100, 2}));
    const QList<Stretch> log = store.stretches(500000);
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.constFirst().recording, info.id);
    store.clearStretches(info.id);
    QVERIFY(store.stretches(500000).isEmpty());

    // A gone file keeps its record, and its name is found again from the
    // INI's text.
    QVERIFY(QFile::remove(moved) && QFile::remove(copy));
    QCOMPARE(store.place(first.id), (Place{446, 1920, 1}));
    QCOMPARE(store.exactName(moved, [](const QString &n) { return n; }), moved);
}

// A full store of the version before recordings (1,000 places, 100,000
// stretches, settings) is upgraded by the first write in one transaction,
// every row kept; a kill during the upgrade leaves the older version whole.
void TestHistoryStore::upgradeKeepsEveryRowAndSurvivesAKill()
{
#ifndef Q_OS_UNIX
    QSKIP("killing a writer mid-write needs SIGKILL");
#else
    const QList<HistoryStore::Migration> two = HistoryStore::migrations().mid(0, 2);
    {
        HistoryStore older(path(), two);
        older.write({{}, {{SettingsOf::Folder, QStringLiteral("/m"), {1.5, {}, {}, 0, 0}}}});
        for (int k = 0; k < HistoryStore::kMaxMedia; ++k)
            older.keepPlace(QStringLiteral("/m/%1.mp4").arg(k), 20 + k, 4000, 1);
        // The log's rows at once (the store writes a few at a time).
        QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "fill");
        sql.setDatabaseName(path());
        QVERIFY(sql.open() && sql.transaction());
        QSqlQuery q(sql);
        QVERIFY(q.prepare(QStringLiteral("INSERT INTO stretches (name, start, end, wall_start, "
                                         "wall_end, speed) VALUES (?, ?, ?, ?, ?, 1)")));
        for (int i = 0; i < HistoryStore::kMaxStretches; ++i) {
            q.addBindValue(keyOf(QStringLiteral("/m/%1.mp4").arg(i % 1000)));
            q.addBindValue(i % 600);
            q.addBindValue(i % 600 + 1);
            q.addBindValue(1000LL * i);
            q.addBindValue(1000LL * i + 900);
            QVERIFY(q.exec());
        }
        QVERIFY(sql.commit());
        q = QSqlQuery();
        sql = QSqlDatabase();
        QSqlDatabase::removeDatabase("fill");
    }
    QTemporaryDir disk;
    QVERIFY(disk.isValid());
    const QString db = disk.filePath(QString::fromLatin1(kHistoryFile));
    QVERIFY(QFile::copy(path(), db));
    // The version and the rows of each table, read directly.
    auto census = [&db] {
        QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "census");
        sql.setDatabaseName(db);
        QList<qint64> found;
        if (sql.open()) {
            QSqlQuery q(sql);
            for (const char *query :
                 {"PRAGMA user_version", "SELECT count(*) FROM places",
                  "SELECT count(*) FROM stretches", "SELECT count(*) FROM folder_settings",
                  "PRAGMA integrity_check"})
                found << (q.exec(QLatin1String(query)) && q.next()
                              ? (q.value(0).toString() == QLatin1String("ok")
                                     ? 1
                                     : q.value(0).toLongLong())
                              : -1);
        }
        sql = QSqlDatabase();
        QSqlDatabase::removeDatabase("census");
        return found;
    };
    const QList<qint64> whole{1000, 100000, 1, 1};
    QCOMPARE(census().mid(1), whole);
    QRandomGenerator random(QRandomGenerator::global()->generate());
    // The version of the program's last migration: an upgrade goes all the way.
    const qint64 latest = HistoryStore::migrations().constLast().version;
    int upgraded = 0;
    for (int round = 0; round < 6; ++round) {
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writer.start(QStringLiteral(HISTORY_WRITER), {db, QStringLiteral("upgrade"), {}});
        QVERIFY(writer.waitForReadyRead(10000));
        QThread::usleep(random.bounded(round * 40000 + 1));
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));
        const QList<qint64> now = census();
        QVERIFY2(now.value(0) == 2 || now.value(0) == latest,
                 qPrintable(QString::number(now.value(0))));
        QCOMPARE(now.mid(1), whole);
        if (now.value(0) == latest) {
            ++upgraded;
            break;
        }
    }
    // Upgraded once and for all by the program's own next write.
    QElapsedTimer timer;
    timer.start();
    HistoryStore(db).write({{{QStringLiteral("/m/new.mp4"), 0, 10, 1, 2, 1.0, 0}}, {}});
    qInfo("the upgrade (or a write, %d killed rounds upgraded) took %lld ms", upgraded,
          qlonglong(timer.elapsed()));
    QCOMPARE(census(), (QList<qint64>{latest, 1000, 100000, 1, 1}));
    HistoryStore store(db);
    QCOMPARE(store.place(QStringLiteral("/m/999.mp4")), (Place{1019, 4000, 1}));
    QCOMPARE(store.settings(SettingsOf::Folder, QStringLiteral("/m"))->speed, 1.5);
#endif
}
