// SPDX-License-Identifier: GPL-3.0-or-later
// The place store and the other computers: what it keeps, told as changes,
// and what they kept, taken in (persist/Sync.h).
#include "persist/ContentKey.h"
#include "persist/HistorySession.h"
#include "persist/HistoryStore.h"

using namespace history;

namespace
{

QVariant nullBytes()
{
    return QVariant(QMetaType::fromType<QByteArray>());
}

} // namespace

bool HistoryStore::shared(const QString &id)
{
    return ContentKey::isKey(id) ||
           (id.contains(QLatin1String("://")) && !id.startsWith(QLatin1String("file:")));
}

QList<HistoryStore::Change> HistoryStore::keptChanges()
{
    QList<Change> found;
    run(Access::Read, [&](Session &s) {
        using K = Change::Kind;
        QSqlQuery q;
        if (!s.exec(q, QStringLiteral("SELECT name, position, duration, ranges FROM places "
                                      "ORDER BY seq")))
            return false;
        while (q.next()) {
            const QString id = nameOf(q.value(0).toByteArray());
            if (!shared(id)) continue;
            if (q.value(1).isNull())
                found.append({K::Finished, id});
            else
                found.append(
                    {K::Place, id, seconds(q.value(1).toDouble()), seconds(q.value(2).toDouble())});
            const QList<ListenedRange> ranges = decodeRanges(q.value(3).toByteArray());
            if (!ranges.isEmpty()) found.append({K::Heard, id, 0, 0, ranges});
        }
        QList<QString> ids;
        if (!s.exec(q, QStringLiteral("SELECT name FROM media_settings ORDER BY seq")))
            return false;
        while (q.next())
            ids.append(nameOf(q.value(0).toByteArray()));
        for (const QString &id : std::as_const(ids)) {
            std::optional<Settings> settings;
            if (shared(id) && readSettings(s, SettingsOf::Medium, id, settings) && settings)
                found.append({K::Settings, id, 0, 0, {}, *settings});
        }
        ids.clear();
        if (s.version >= 3) {
            if (!s.exec(q, QStringLiteral("SELECT rec FROM record_lists ORDER BY seq")))
                return false;
            while (q.next())
                ids.append(nameOf(q.value(0).toByteArray()));
        }
        for (const QString &id : std::as_const(ids)) {
            QList<PositionRecord> records;
            if (shared(id) && readRecords(s, id, records))
                found.append({K::Records, id, 0, 0, {}, {}, records});
        }
        return true;
    });
    // The study log, each stretch with its recording.
    for (const Stretch &st : stretches()) {
        const QString id = st.recording.isEmpty() ? st.name : st.recording;
        if (shared(id)) found.append({Change::Kind::Stretch, id, 0, 0, {}, {}, {}, st});
    }
    return found;
}

void HistoryStore::takeIn(const QList<Remote> &remotes)
{
    if (remotes.isEmpty()) return;
    // What is taken in is not told again.
    const Watcher watcher = std::exchange(m_watcher, {});
    // A few recordings per transaction: each is short and stays in SQLite's
    // cache, so that its lock keeps the GUI thread's reads out for a
    // moment only (a transaction that spills its cache holds the file
    // exclusively until it ends).
    for (qsizetype from = 0; from < remotes.size(); from += TakeInBatch) {
        const bool ok = run(Access::Create, [&](Session &s) {
            const qsizetype to = std::min(remotes.size(), from + TakeInBatch);
            for (qsizetype i = from; i < to; ++i)
                if (!takeIn(s, remotes.at(i))) return false;
            // A bounded log, as with the stretches played here, once.
            return s.dropOldest() &&
                   (to < remotes.size() ||
                    s.exec(QStringLiteral("DELETE FROM stretches WHERE id <= (SELECT id FROM "
                                          "stretches ORDER BY id DESC LIMIT 1 OFFSET %1)")
                               .arg(kMaxStretches)));
        });
        if (!ok) break;
    }
    m_watcher = watcher;
}

bool HistoryStore::takeIn(Session &s, const Remote &r)
{
    const QByteArray key = keyOf(r.id);
    QSqlQuery q;
    if (!s.exec(q, QStringLiteral("SELECT played, ranges FROM places WHERE name = ?"), {key}))
        return false;
    const bool row = q.next();
    const qint64 played = row ? q.value(0).toLongLong() : -1;
    const QList<ListenedRange> ranges =
        row ? decodeRanges(q.value(1).toByteArray()) : QList<ListenedRange>{};
    q = QSqlQuery();
    // The place: the other computer's, when it was kept after this one's.
    if (r.place && r.place->playedMs > played) {
        if (!s.touch(key, r.place->playedMs) ||
            !s.exec(QStringLiteral("UPDATE places SET position = ?, duration = ?, device = ?, "
                                   "finished = max(finished, ?) WHERE name = ?"),
                    {r.finished ? QVariant(QMetaType::fromType<double>())
                                : QVariant(seconds(r.place->position)),
                     seconds(r.place->duration), r.place->device, r.finished ? 1 : 0, key}))
            return false;
    }
    // What was heard: all of it, less what came before a clear.
    const bool clearedThere = r.clearedThere;
    const QList<ListenedRange> heard =
        clearedThere ? mergeRanges(r.heard) : mergeRanges(ranges + r.heard);
    if (heard != ranges) {
        if (!heard.isEmpty() &&
            !s.exec(QStringLiteral("INSERT OR IGNORE INTO places (name, played, seq) "
                                   "VALUES (?, ?, %1)")
                        .arg(QLatin1String(kNextSeq)),
                    {key, std::max<qint64>(played, 0)}))
            return false;
        if (!s.exec(QStringLiteral("UPDATE places SET ranges = ?%1 WHERE name = ?")
                        .arg(clearedThere ? QStringLiteral(", finished = 0") : QString()),
                    {heard.isEmpty() ? nullBytes() : QVariant(encodeRanges(heard)), key}) ||
            !s.exec(QStringLiteral("DELETE FROM places WHERE name = ? AND position IS NULL AND "
                                   "ranges IS NULL"),
                    {key}))
            return false;
    }
    if (r.settings) {
        std::optional<Settings> here;
        if (!readSettings(s, SettingsOf::Medium, r.id, here)) return false;
        if (here != r.settings && !writeSettings(s, {SettingsOf::Medium, r.id, *r.settings}))
            return false;
    }
    if (r.records) {
        QList<PositionRecord> here;
        if (!readRecords(s, r.id, here)) return false;
        if (here != *r.records && !writeRecords(s, r.id, *r.records)) return false;
    }
    return takeInLog(s, r);
}

bool HistoryStore::takeInLog(Session &s, const Remote &r)
{
    const QByteArray key = keyOf(r.id);
    if (r.unloggedMs >= 0 &&
        !s.exec(QStringLiteral("DELETE FROM stretches WHERE (rec = ? OR (rec IS NULL AND name = "
                               "?)) AND wall_end < ?"),
                {key, key, r.unloggedMs}))
        return false;
    for (const Remote::Stretched &st : r.log) {
        const Stretch &t = st.stretch;
        if (seconds(t.end) <= seconds(t.start)) continue;
        // Named by its file's name there, until its recording is seen here.
        const QString name = t.name.isEmpty() ? r.id : t.name;
        if (!s.execPrepared(
                QStringLiteral("INSERT INTO stretches (name, start, end, wall_start, "
                               "wall_end, speed, skipped, rec, device, dseq) VALUES (?, ?, ?, "
                               "?, ?, ?, ?, ?, ?, ?) ON CONFLICT (device, dseq) DO UPDATE SET "
                               "start = excluded.start, end = excluded.end, wall_end = "
                               "excluded.wall_end, speed = excluded.speed, skipped = "
                               "excluded.skipped WHERE end != excluded.end OR wall_end != "
                               "excluded.wall_end"),
                {keyOf(name), seconds(t.start), seconds(t.end), t.wallStartMs, t.wallEndMs,
                 std::isfinite(t.speed) && t.speed > 0 ? t.speed : 1.0, seconds(t.skipped), key,
                 st.device, st.seq}))
            return false;
    }
    return true;
}
