// SPDX-License-Identifier: GPL-3.0-or-later
// The place store's recordings: a local file found by its content key
// wherever it goes, and the position records kept with it.
#include "persist/ContentKey.h"
#include "persist/CourseSettings.h"
#include "persist/HistorySession.h"
#include "persist/HistoryStore.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace history;

namespace
{

// The tables that hold a record, by its name's column, with the columns
// that a copy carries.
struct RecordTable {
    const char *table;
    const char *column;
    const char *values;
    int since; // the version that made it
};
constexpr RecordTable kRecordTables[] = {
    {"places", "name", "position, duration, played, seq, ranges, finished", 1},
    {"media_settings", "name", "speed, voice_boost, skip_silence, seq", 2},
    {"record_lists", "rec", "rows, seq", 3},
};

QString encodeRecords(const QList<PositionRecord> &records)
{
    QJsonArray rows;
    for (const PositionRecord &r : records)
        rows.append(QJsonArray{r.time, r.comment, r.ms});
    return QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Compact));
}

QList<PositionRecord> decodeRecords(const QString &text)
{
    QList<PositionRecord> records;
    const QJsonArray rows = QJsonDocument::fromJson(text.toUtf8()).array();
    for (const QJsonValue &row : rows) {
        const QJsonArray cells = row.toArray();
        if (cells.size() < 2) continue;
        records.append(
            {cells.at(0).toString(), cells.at(1).toString(), qint64(cells.at(2).toDouble(-1))});
    }
    return records;
}

} // namespace

bool HistoryStore::hasRecord(Session &s, const QString &id)
{
    const QByteArray key = keyOf(id);
    for (const RecordTable &t : kRecordTables) {
        if (s.version < t.since) continue;
        const QVariant found = s.value(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? LIMIT 1")
                                           .arg(QLatin1String(t.table), QLatin1String(t.column)),
                                       {key});
        if (s.failure() != Session::Failure::None) return false;
        if (found.isValid()) return true;
    }
    if (s.version < 2) return false;
    // A recording the study log alone still knows.
    const QVariant found =
        s.version < 3
            ? s.value(QStringLiteral("SELECT 1 FROM stretches WHERE name = ? LIMIT 1"), {key})
            : s.value(QStringLiteral("SELECT 1 FROM stretches WHERE rec = ? OR "
                                     "(rec IS NULL AND name = ?) LIMIT 1"),
                      {key, key});
    return found.isValid();
}

// Which record a medium's name is kept under, and what the store is to learn
// of it. Without a session (no store yet, or it could not be read) only the
// file tells.
bool HistoryStore::resolve(Session *s, const QString &name, RecordingInfo &info)
{
    info.id = name;
    info.sighting.reset();
    const std::optional<ContentKey::Stamp> stamp = ContentKey::stampOf(name);
    if (!stamp) return true; // no local file: kept under its name
    const bool keyed = s && s->version >= 3;
    QString pathKey; // the key the store holds for the path
    bool unchanged = false;
    if (keyed) {
        QSqlQuery q;
        if (!s->exec(q, QStringLiteral("SELECT key, size, mtime FROM paths WHERE path = ?"),
                     {keyOf(name)}))
            return false;
        if (q.next()) {
            pathKey = nameOf(q.value(0).toByteArray());
            unchanged =
                q.value(1).toLongLong() == stamp->size && q.value(2).toLongLong() == stamp->mtimeMs;
        }
    }
    QString key = unchanged ? pathKey : QString();
    if (key.isEmpty()) {
        const std::optional<QByteArray> ends = ContentKey::endsOf(name, stamp->size);
        if (!ends) return true; // unreadable: kept under its name
        key = ContentKey::keyOf(stamp->size, *ends);
    }
    info.id = key;
    Sighting seen{name, key, stamp->size, stamp->mtimeMs, {}, false, 0};
    bool learn = !unchanged;
    if (s && !hasRecord(*s, key)) {
        // Not known by its key: by its path.
        const QString before = !pathKey.isEmpty() && pathKey != key ? pathKey : name;
        if (hasRecord(*s, before)) {
            seen.movedFrom = before;
            learn = true;
            // Other paths still hold the old key's bytes: they keep it too.
            if (keyed && ContentKey::isKey(before))
                seen.copy = s->value(QStringLiteral("SELECT 1 FROM paths WHERE key = ? AND "
                                                    "path <> ? LIMIT 1"),
                                     {keyOf(before), keyOf(name)})
                                .isValid();
        }
    }
    if (keyed && !learn) {
        // Where it was last seen.
        const QVariant last =
            s->value(QStringLiteral("SELECT path FROM recordings WHERE key = ?"), {keyOf(key)});
        learn = !last.isValid() || nameOf(last.toByteArray()) != name;
    }
    if (s && s->failure() != Session::Failure::None) return false;
    if (learn) info.sighting = seen;
    return true;
}

bool HistoryStore::readRecords(Session &s, const QString &id, QList<PositionRecord> &found)
{
    if (s.version < 3) return true;
    found = decodeRecords(
        s.value(QStringLiteral("SELECT rows FROM record_lists WHERE rec = ?"), {keyOf(id)})
            .toString());
    return s.failure() == Session::Failure::None;
}

// A folder with no settings of its own: those of a folder the recording was
// seen in before, the most recent first.
bool HistoryStore::readFolderSettingsElsewhere(Session &s, const RecordingInfo &info,
                                               const QString &folder, RecordingInfo &into)
{
    if (folder.isEmpty() || into.folderSettings) return true;
    QStringList before;
    if (info.sighting && !info.sighting->movedFrom.isEmpty() &&
        !ContentKey::isKey(info.sighting->movedFrom))
        before << info.sighting->movedFrom;
    if (s.version >= 3 && ContentKey::isKey(info.id)) {
        QSqlQuery q;
        if (!s.exec(q,
                    QStringLiteral("SELECT path FROM paths WHERE key = ? ORDER BY seen DESC "
                                   "LIMIT 50"),
                    {keyOf(info.id)}))
            return false;
        while (q.next())
            before << nameOf(q.value(0).toByteArray());
    }
    for (const QString &path : std::as_const(before)) {
        const QString other = CourseSettings::folderOf(path);
        if (other.isEmpty() || other == folder) continue;
        std::optional<Settings> settings;
        if (!readSettings(s, SettingsOf::Folder, other, settings)) return false;
        if (settings) {
            into.folderSettings = settings;
            into.folderSettingsFrom = other;
            break;
        }
    }
    return true;
}

RecordingInfo HistoryStore::recording(const QString &name, const QString &folder)
{
    RecordingInfo found;
    if (name.isEmpty()) return found;
    const bool read = run(Access::Read, [&](Session &s) {
        RecordingInfo info;
        if (!resolve(&s, name, info)) return false;
        // Read where it is kept now: under its old name until it moves.
        const QString id = info.sighting && !info.sighting->movedFrom.isEmpty()
                               ? info.sighting->movedFrom
                               : info.id;
        if (!readPlace(s, id, info.place) || !readRanges(s, id, info.ranges) ||
            !readSettings(s, SettingsOf::Medium, id, info.settings) ||
            !readSettings(s, SettingsOf::Folder, folder, info.folderSettings) ||
            !readRecords(s, id, info.records) ||
            !readFolderSettingsElsewhere(s, info, folder, info))
            return false;
        found = std::move(info);
        return true;
    });
    if (!read) resolve(nullptr, name, found);
    return found;
}

QString HistoryStore::keyOfPath(const QString &path)
{
    QString key;
    if (path.isEmpty()) return key;
    run(Access::Read, [&](Session &s) {
        if (s.version < 3) return true;
        const QVariant found =
            s.value(QStringLiteral("SELECT key FROM paths WHERE path = ?"), {keyOf(path)});
        if (found.isValid()) key = nameOf(found.toByteArray());
        return s.failure() == Session::Failure::None;
    });
    return key;
}

void HistoryStore::see(const Sighting &sighting)
{
    write(Extra{{}, {}, {sighting}});
}

bool HistoryStore::writeSightings(Session &s, const QList<Sighting> &seen)
{
    for (const Sighting &at : seen) {
        if (at.path.isEmpty() || !ContentKey::isKey(at.key)) continue;
        const QByteArray path = keyOf(at.path);
        const QByteArray key = keyOf(at.key);
        if (!s.exec(QStringLiteral("INSERT INTO paths (path, key, size, mtime, seen) VALUES "
                                   "(?, ?, ?, ?, ?) ON CONFLICT (path) DO UPDATE SET key = "
                                   "excluded.key, size = excluded.size, mtime = excluded.mtime, "
                                   "seen = excluded.seen"),
                    {path, key, at.size, at.mtimeMs, at.seenMs}) ||
            !s.exec(QStringLiteral("INSERT INTO recordings (key, size, path, seen) VALUES "
                                   "(?, ?, ?, ?) ON CONFLICT (key) DO UPDATE SET path = "
                                   "excluded.path, seen = excluded.seen"),
                    {key, at.size, path, at.seenMs}))
            return false;
        if (!at.movedFrom.isEmpty() && at.movedFrom != at.key &&
            !moveRecord(s, at.movedFrom, at.key, at.copy))
            return false;
    }
    if (seen.isEmpty()) return true;
    for (const char *table : {"paths", "recordings"})
        if (!s.exec(QStringLiteral("DELETE FROM %1 WHERE rowid IN (SELECT rowid FROM %1 ORDER BY "
                                   "seen DESC LIMIT -1 OFFSET %2)")
                        .arg(QLatin1String(table))
                        .arg(kMaxPaths)))
            return false;
    return true;
}

// A record moves to its recording's key (a record the key has already
// wins); a copy leaves the old one for the paths that still hold it.
bool HistoryStore::moveRecord(Session &s, const QString &from, const QString &to, bool copy)
{
    const QVariantList ids{keyOf(to), keyOf(from)};
    for (const RecordTable &t : kRecordTables) {
        const QString table = QLatin1String(t.table);
        const QString column = QLatin1String(t.column);
        if (copy) {
            if (!s.exec(QStringLiteral("INSERT OR IGNORE INTO %1 (%2, %3) SELECT ?, %3 FROM %1 "
                                       "WHERE %2 = ?")
                            .arg(table, column, QLatin1String(t.values)),
                        ids))
                return false;
        } else if (!s.exec(QStringLiteral("UPDATE OR IGNORE %1 SET %2 = ? WHERE %2 = ?")
                               .arg(table, column),
                           ids) ||
                   !s.exec(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(table, column),
                           {keyOf(from)})) {
            return false;
        }
    }
    // The study log keeps each stretch's path, and learns its recording.
    return copy || s.exec(QStringLiteral("UPDATE stretches SET rec = ? WHERE rec = ? OR "
                                         "(rec IS NULL AND name = ?)"),
                          {keyOf(to), keyOf(from), keyOf(from)});
}

QList<PositionRecord> HistoryStore::records(const QString &id)
{
    QList<PositionRecord> found;
    if (id.isEmpty()) return found;
    run(Access::Read, [&](Session &s) { return readRecords(s, id, found); });
    return found;
}

void HistoryStore::keepRecords(const QString &id, const QList<PositionRecord> &records)
{
    if (id.isEmpty()) return;
    run(records.isEmpty() ? Access::Change : Access::Create, [&](Session &s) {
        return writeRecords(s, id, records) &&
               changed({Change::Kind::Records, id, 0, 0, {}, {}, records});
    });
}

bool HistoryStore::writeRecords(Session &s, const QString &id, const QList<PositionRecord> &records)
{
    if (records.isEmpty())
        return s.exec(QStringLiteral("DELETE FROM record_lists WHERE rec = ?"), {keyOf(id)});
    return s.exec(QStringLiteral("INSERT OR REPLACE INTO record_lists (rec, rows, seq) VALUES "
                                 "(?, ?, (SELECT ifnull(max(seq), 0) + 1 FROM record_lists))"),
                  {keyOf(id), encodeRecords(records)}) &&
           s.exec(QStringLiteral("DELETE FROM record_lists WHERE seq <= (SELECT seq FROM "
                                 "record_lists ORDER BY seq DESC LIMIT 1 OFFSET %1)")
                      .arg(kMaxMedia));
}
