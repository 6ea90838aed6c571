// SPDX-License-Identifier: GPL-3.0-or-later
// The place store's courses: what the course shelf reads of every recording,
// and what is kept about each course (its exam, whether it is hidden).
#include "persist/HistorySession.h"
#include "persist/HistoryStore.h"

using namespace history;

namespace
{

} // namespace

// The recordings with their own settings, and the content of their study-log
// stretches (a stretch is its recording's, or its path's before the
// recording was known).
bool HistoryStore::readShelfRecords(Session &s, QList<ShelfRecord> &into)
{
    QHash<QByteArray, QPair<double, double>> played;
    QSqlQuery q;
    if (!s.exec(q, QStringLiteral("SELECT ifnull(rec, name), sum(end - start), sum(skipped) "
                                  "FROM stretches GROUP BY 1")))
        return false;
    while (q.next())
        played.insert(q.value(0).toByteArray(), {q.value(1).toDouble(), q.value(2).toDouble()});
    // Every path each recording was seen at: a renamed folder is known by
    // the paths its recordings had.
    QHash<QByteArray, QList<QByteArray>> paths;
    if (!s.exec(q, QStringLiteral("SELECT key, path FROM paths"))) return false;
    while (q.next())
        paths[q.value(0).toByteArray()].append(q.value(1).toByteArray());
    if (!s.exec(q, QStringLiteral("SELECT p.name, ifnull(r.path, p.name), p.duration, p.position, "
                                  "p.ranges, p.finished, p.played, m.speed, m.skip_silence "
                                  "FROM places p LEFT JOIN recordings r ON r.key = p.name "
                                  "LEFT JOIN media_settings m ON m.name = p.name")))
        return false;
    while (q.next()) {
        ShelfRecord r;
        r.name = nameOf(q.value(1).toByteArray());
        r.duration = seconds(q.value(2).toDouble());
        if (!q.value(3).isNull()) r.position = seconds(q.value(3).toDouble());
        r.ranges = decodeRanges(q.value(4).toByteArray());
        r.finished = q.value(5).toInt() != 0;
        r.playedMs = q.value(6).toLongLong();
        r.speed = optionalDouble(q.value(7));
        if (r.speed && !(*r.speed > 0)) r.speed.reset();
        r.skipSilence = optionalBool(q.value(8));
        for (const QByteArray &path : paths.value(q.value(0).toByteArray()))
            if (path != q.value(1).toByteArray()) r.formerPaths << nameOf(path);
        const auto p = played.constFind(q.value(0).toByteArray());
        if (p != played.cend()) {
            r.playedSeconds = seconds(p->first);
            r.skippedSeconds = seconds(p->second);
        }
        into << r;
    }
    return true;
}

namespace
{

CourseKept courseOf(const QSqlQuery &q, int first)
{
    CourseKept kept;
    if (!q.value(first).isNull()) {
        const QDate exam = QDate::fromString(q.value(first).toString(), Qt::ISODate);
        if (exam.isValid()) kept.exam = exam;
    }
    kept.hiddenMs = q.value(first + 1).toLongLong();
    if (!q.value(first + 2).isNull()) kept.files = q.value(first + 2).toInt();
    return kept;
}

} // namespace

ShelfData HistoryStore::shelf()
{
    ShelfData data;
    run(Access::Read, [&](Session &s) {
        // A store from before recordings were known has nothing for the
        // shelf until its next write brings it up to date.
        if (s.version < 3) return true;
        if (!readShelfRecords(s, data.records)) return false;
        QSqlQuery q;
        if (!s.exec(q, QStringLiteral("SELECT folder, speed, skip_silence, intro, outro FROM "
                                      "folder_settings")))
            return false;
        while (q.next()) {
            KeptSettings k;
            k.speed = optionalDouble(q.value(1));
            if (k.speed && !(*k.speed > 0)) k.speed.reset();
            k.skipSilence = optionalBool(q.value(2));
            k.introSeconds = seconds(q.value(3).toDouble());
            k.outroSeconds = seconds(q.value(4).toDouble());
            data.folders.insert(nameOf(q.value(0).toByteArray()), k);
        }
        if (s.version < 5) return true;
        if (!s.exec(q, QStringLiteral("SELECT folder, exam, hidden, files FROM courses")))
            return false;
        while (q.next())
            data.courses.insert(nameOf(q.value(0).toByteArray()), courseOf(q, 1));
        return true;
    });
    return data;
}

CourseKept HistoryStore::course(const QString &folder)
{
    CourseKept kept;
    if (folder.isEmpty()) return kept;
    run(Access::Read, [&](Session &s) {
        if (s.version < 5) return true;
        QSqlQuery q;
        if (!s.exec(q, QStringLiteral("SELECT exam, hidden, files FROM courses WHERE folder = ?"),
                    {keyOf(folder)}))
            return false;
        if (q.next()) kept = courseOf(q, 0);
        return true;
    });
    return kept;
}

// One field of courses' rows, each row made when there is none; a row left
// with nothing to keep goes. One transaction.
bool HistoryStore::writeCourses(const QString &column,
                                const QList<QPair<QString, QVariant>> &values)
{
    if (values.isEmpty()) return true;
    return run(Access::Create, [&](Session &s) {
        for (const auto &[folder, value] : values) {
            if (folder.isEmpty()) continue;
            const QByteArray key = keyOf(folder);
            if (!s.exec(QStringLiteral("INSERT INTO courses (folder, %1) VALUES (?, ?) ON "
                                       "CONFLICT (folder) DO UPDATE SET %1 = excluded.%1")
                            .arg(column),
                        {key, value}) ||
                !s.exec(QStringLiteral("DELETE FROM courses WHERE folder = ? AND exam IS NULL "
                                       "AND hidden = 0 AND files IS NULL"),
                        {key}))
                return false;
        }
        return true;
    });
}

void HistoryStore::setCourseExam(const QString &folder, std::optional<QDate> exam)
{
    writeCourses(QStringLiteral("exam"),
                 {{folder, exam && exam->isValid() ? QVariant(exam->toString(Qt::ISODate))
                                                   : QVariant(QMetaType::fromType<QString>())}});
}

void HistoryStore::setCourseHidden(const QString &folder, qint64 hiddenMs)
{
    writeCourses(QStringLiteral("hidden"), {{folder, std::max<qint64>(0, hiddenMs)}});
}

void HistoryStore::setCourseFiles(const QHash<QString, int> &files)
{
    QList<QPair<QString, QVariant>> values;
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        values.append({it.key(), it.value() >= 0 ? QVariant(it.value())
                                                 : QVariant(QMetaType::fromType<int>())});
    writeCourses(QStringLiteral("files"), values);
}
