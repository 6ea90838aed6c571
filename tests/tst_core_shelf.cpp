// SPDX-License-Identifier: GPL-3.0-or-later
// The course shelf's figures, from a place store made here and folders
// listed as the window lists them.
#include "lists/CourseShelf.h"
#include "lists/PlaylistFiles.h"
#include "persist/HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace
{

// Today on the test's clock, and the wall time of its plays.
const QDate kToday(2026, 3, 1);
const qint64 kNoon = QDateTime(kToday, QTime(12, 0)).toMSecsSinceEpoch();

QString makeFile(const QString &folder, const QString &name)
{
    QDir().mkpath(folder);
    QFile f(folder + u'/' + name);
    f.open(QIODevice::WriteOnly);
    return QFileInfo(f).absoluteFilePath();
}

QHash<QString, FolderListing> listAll(const ShelfData &data)
{
    QHash<QString, FolderListing> listings;
    for (const QString &folder : CourseShelf::folders(data))
        listings.insert(folder, {QFileInfo(folder).isDir(), mediaFilesIn(folder)});
    return listings;
}

const CourseRow *rowOf(const QList<CourseRow> &rows, const QString &name)
{
    for (const CourseRow &r : rows)
        if (r.name == name) return &r;
    return nullptr;
}

} // namespace

class TestShelf : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_law = m_dir->path() + QStringLiteral("/民法");
        m_eng = m_dir->path() + QStringLiteral("/英語");
        m_store = std::make_unique<HistoryStore>(m_dir->filePath(QStringLiteral("History.db")));
        // 民法 at the global speed: 第1回 heard to its end, 第2回 halfway,
        // 第3回 and 第10回 never played.
        const QString l1 = makeFile(m_law, QStringLiteral("第1回.mp3"));
        const QString l2 = makeFile(m_law, QStringLiteral("第2回.mp3"));
        makeFile(m_law, QStringLiteral("第10回.mp3"));
        makeFile(m_law, QStringLiteral("第3回.mp3"));
        m_store->keepPlace(l1, 590, 600, kNoon - 7200000, {{0, 600}});
        m_store->clearPlace(l1);
        m_store->keepPlace(l2, 300, 600, kNoon - 3600000, {{0, 300}});
        // 英語 at 1.5x with silence skipping (the folder's settings): one
        // file left at 20:00 of 30:00, one never played; of what was played
        // a tenth was silence passed.
        const QString e1 = makeFile(m_eng, QStringLiteral("Unit 1.m4a"));
        makeFile(m_eng, QStringLiteral("Unit 2.m4a"));
        Stretch st{e1, 0, 1200, kNoon - 800000, kNoon, 1.5, 120};
        HistoryStore::Extra extra{{st}, {{SettingsOf::Folder, m_eng, {1.5, false, true}}}};
        m_store->keepPlace(e1, 1200, 1800, kNoon, {{0, 1200}}, extra);
        m_store->setCourseExam(m_eng, kToday.addDays(10));
    }
    void cleanup()
    {
        m_store.reset();
        m_dir.reset();
    }

    void figuresOfTwoCourses()
    {
        const ShelfData data = m_store->shelf();
        const QList<CourseRow> rows = CourseShelf::rows(data, listAll(data), {}, kToday);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).name, QStringLiteral("英語")); // played last

        const CourseRow *law = rowOf(rows, QStringLiteral("民法"));
        QVERIFY(law);
        QCOMPARE(law->finished, 1);
        QCOMPARE(law->files, 4);
        // 600 + 300 of 4 × 600 (the files never played as long as the known).
        QCOMPARE(law->share, 900.0 / 2400.0);
        QCOMPARE(law->leftSeconds, 300.0 + 600 + 600);
        QVERIFY(law->estimated);
        QCOMPARE(QFileInfo(law->next).fileName(), QStringLiteral("第2回.mp3"));
        QCOMPARE(law->nextPlace, 300.0);
        QVERIFY(!law->exam);

        const CourseRow *eng = rowOf(rows, QStringLiteral("英語"));
        QVERIFY(eng);
        QCOMPARE(eng->speed, 1.5);
        // (600 + 1800) s of content, a tenth of it silence, at 1.5x.
        QCOMPARE(std::lround(eng->leftSeconds), 1440L);
        QCOMPARE(eng->daysToExam, 10);
        QCOMPARE(std::lround(eng->perDaySeconds), 144L);
        QCOMPARE(CourseShelf::perDayText(eng->perDaySeconds), QStringLiteral("1 日 3 分"));
        QCOMPARE(QFileInfo(eng->next).fileName(), QStringLiteral("Unit 1.m4a"));
        QCOMPARE(eng->nextPlace, 1200.0);
    }

    // A file's own speed wins over its folder's; the folder's intro and
    // outro leave nothing; a folder that cannot be listed keeps its figures
    // and its last known number of files.
    void ownSpeedAndAFolderGone()
    {
        const QString l2 = m_law + QStringLiteral("/第2回.mp3");
        m_store->write(
            {{},
             {{SettingsOf::Medium, l2, {2.0, std::nullopt, std::nullopt}},
              {SettingsOf::Folder, m_law, {std::nullopt, std::nullopt, std::nullopt, 30, 20}}}});
        m_store->setCourseFiles({{m_law, 4}});
        QVERIFY(QDir(m_law).removeRecursively());
        const ShelfData data = m_store->shelf();
        const QList<CourseRow> rows = CourseShelf::rows(data, listAll(data), {}, kToday);
        const CourseRow *law = rowOf(rows, QStringLiteral("民法"));
        QVERIFY(law);
        QVERIFY(law->missing);
        QCOMPARE(law->files, 4);
        QCOMPARE(law->finished, 1);
        // The folder's intro (passed already by 第2回) and outro are not played.
        QCOMPARE(law->leftSeconds, (300.0 - 20) / 2.0 + 550 + 550);
        QCOMPARE(law->next, l2);
    }

    // A course hidden stays hidden until something in it is played again.
    void hiddenUntilPlayedAgain()
    {
        m_store->setCourseHidden(m_law, kNoon);
        ShelfData data = m_store->shelf();
        QVERIFY(!rowOf(CourseShelf::rows(data, {}, {}, kToday), QStringLiteral("民法")));
        m_store->keepPlace(m_law + QStringLiteral("/第3回.mp3"), 10, 600, kNoon + 1000);
        data = m_store->shelf();
        QVERIFY(rowOf(CourseShelf::rows(data, {}, {}, kToday), QStringLiteral("民法")));
    }

    // A course folder renamed: the recording played from its new name and
    // the one last seen under the old name are one course, with its exam.
    void renamedFolderIsOneCourse()
    {
        const QString l1 = m_law + QStringLiteral("/第1回.mp3");
        const QString l2 = m_law + QStringLiteral("/第2回.mp3");
        // What the store learnt of the two by their content.
        m_store->see({l1, QStringLiteral("@1:a1"), 0, 0, l1, false, 1});
        m_store->see({l2, QStringLiteral("@2:b2"), 0, 0, l2, false, 2});
        m_store->setCourseExam(m_law, kToday.addDays(5));
        const QString renamed = m_dir->path() + QStringLiteral("/民法 2026");
        QVERIFY(QDir().rename(m_law, renamed));
        m_store->see(
            {renamed + QStringLiteral("/第2回.mp3"), QStringLiteral("@2:b2"), 0, 0, {}, false, 3});

        const ShelfData data = m_store->shelf();
        const QList<CourseRow> rows = CourseShelf::rows(data, listAll(data), {}, kToday);
        QCOMPARE(rows.size(), 2);
        const CourseRow *law = rowOf(rows, QStringLiteral("民法 2026"));
        QVERIFY(law);
        QCOMPARE(law->files, 4);
        QCOMPARE(law->finished, 1);
        QCOMPARE(law->next, renamed + QStringLiteral("/第2回.mp3"));
        QCOMPARE(law->nextPlace, 300.0);
        QCOMPARE(law->daysToExam, 5);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_law, m_eng;
    std::unique_ptr<HistoryStore> m_store;
};

QTEST_GUILESS_MAIN(TestShelf)
#include "tst_core_shelf.moc"
