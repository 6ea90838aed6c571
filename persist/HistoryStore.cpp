// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/HistoryStore.h"
#include "persist/ContentKey.h"
#include "persist/HistorySession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

using namespace history;

namespace
{
void note(const QString &text)
{
    qWarning().noquote() << text;
}

bool driverAvailable()
{
    static const bool available = [] {
        const bool found = QSqlDatabase::isDriverAvailable(kDriver);
        if (!found)
            note(QStringLiteral(
                "SQLite のドライバ (QSQLITE) がないため、再生位置の履歴は保存されません"));
        return found;
    }();
    return available;
}

QString newConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("pelmora-history-%1").arg(++counter);
}

} // namespace

const QList<HistoryStore::Migration> &HistoryStore::migrations()
{
    static const QList<Migration> all = {
        // 1: one row per medium: its exact name (UTF-16 little-endian code
        // units), its place (position NULL when none is kept), when it was
        // played, the order of the writes (seq, the most recent highest) and
        // its listened ranges (pairs of little-endian doubles, merged; NULL
        // when none).
        {1,
         {QStringLiteral("CREATE TABLE places (name BLOB PRIMARY KEY NOT NULL, position REAL, "
                         "duration REAL NOT NULL DEFAULT 0, played INTEGER NOT NULL DEFAULT 0, "
                         "seq INTEGER NOT NULL, ranges BLOB)"),
          QStringLiteral("CREATE INDEX places_seq ON places (seq)")}},
        // 2: the study log (one row per stretch really played: the medium,
        // the stretch in it, the wall-clock times in UTC ms, the speed and
        // the seconds passed by silence skipping), and the playback settings
        // kept per medium and per folder (NULL: not set there).
        {2,
         {QStringLiteral("CREATE TABLE stretches (id INTEGER PRIMARY KEY, name BLOB NOT NULL, "
                         "start REAL NOT NULL, end REAL NOT NULL, wall_start INTEGER NOT NULL, "
                         "wall_end INTEGER NOT NULL, speed REAL NOT NULL, "
                         "skipped REAL NOT NULL DEFAULT 0)"),
          QStringLiteral("CREATE INDEX stretches_name ON stretches (name)"),
          QStringLiteral("CREATE TABLE media_settings (name BLOB PRIMARY KEY NOT NULL, speed REAL, "
                         "voice_boost INTEGER, skip_silence INTEGER, seq INTEGER NOT NULL)"),
          QStringLiteral("CREATE TABLE folder_settings (folder BLOB PRIMARY KEY NOT NULL, "
                         "speed REAL, voice_boost INTEGER, skip_silence INTEGER, intro REAL, "
                         "outro REAL, seq INTEGER NOT NULL)")}},
        // 3: recordings known by what they hold. A record's name in places,
        // media_settings and record_lists is a recording's content key (see
        // persist/ContentKey.h), or the medium's own name for one never
        // opened since (or no local file). recordings: each key with its
        // size and the path where it was last seen; paths: each local path
        // with the key it held and the file's stamp when it was read. Each
        // stretch keeps its path (name) and, once known, its recording
        // (rec; NULL: the name is the recording). record_lists: the
        // position records of each recording, a JSON array.
        {3,
         {QStringLiteral("CREATE TABLE recordings (key BLOB PRIMARY KEY NOT NULL, "
                         "size INTEGER NOT NULL, path BLOB NOT NULL, seen INTEGER NOT NULL)"),
          QStringLiteral("CREATE TABLE paths (path BLOB PRIMARY KEY NOT NULL, key BLOB NOT NULL, "
                         "size INTEGER NOT NULL, mtime INTEGER NOT NULL, seen INTEGER NOT NULL)"),
          QStringLiteral("CREATE INDEX paths_key ON paths (key)"),
          QStringLiteral("CREATE INDEX paths_seen ON paths (seen)"),
          QStringLiteral("ALTER TABLE stretches ADD COLUMN rec BLOB"),
          QStringLiteral("CREATE INDEX stretches_rec ON stretches (rec)"),
          QStringLiteral("CREATE TABLE record_lists (rec BLOB PRIMARY KEY NOT NULL, "
                         "rows TEXT NOT NULL, seq INTEGER NOT NULL)"),
          // A recording heard to its end stays finished when it is played
          // again (those finished before: no place, but what was heard).
          QStringLiteral("ALTER TABLE places ADD COLUMN finished INTEGER NOT NULL DEFAULT 0"),
          QStringLiteral("UPDATE places SET finished = 1 WHERE position IS NULL AND ranges IS "
                         "NOT NULL")}},
        // 4: what other computers kept, taken in from a synced folder: the
        // name of the computer where a place was kept (NULL: this one), and
        // each stretch of the study log played there, by its device and its
        // number on it (NULL: played here).
        {4,
         {QStringLiteral("ALTER TABLE places ADD COLUMN device TEXT"),
          QStringLiteral("ALTER TABLE stretches ADD COLUMN device TEXT"),
          QStringLiteral("ALTER TABLE stretches ADD COLUMN dseq INTEGER"),
          QStringLiteral("CREATE UNIQUE INDEX stretches_device ON stretches (device, dseq)")}},
        // 5: what is kept about each course, a folder known by its path:
        // its exam date ("yyyy-MM-dd"; NULL: none), when it was hidden from
        // the course shelf (UTC ms; 0: shown) and how many media files it
        // held when it was last listed (NULL: never listed).
        {5,
         {QStringLiteral("CREATE TABLE courses (folder BLOB PRIMARY KEY NOT NULL, exam TEXT, "
                         "hidden INTEGER NOT NULL DEFAULT 0, files INTEGER)")}},
    };
    return all;
}

HistoryStore::HistoryStore(QString path) : HistoryStore(std::move(path), migrations()) {}

HistoryStore::HistoryStore(QString path, QList<Migration> migrations)
    : m_path(std::move(path)), m_connection(newConnectionName()),
      m_migrations(std::move(migrations))
{
}

HistoryStore::~HistoryStore() = default;

// Whether the file may be opened for this access. A file that cannot be
// used at all is moved aside; what a write then needs is a new file.
bool HistoryStore::usable(Access access)
{
    if (!driverAvailable()) {
        m_trouble = Trouble::NoDriver;
        return false;
    }
    if (m_off) {
        m_trouble = Trouble::Newer;
        return false;
    }
    const QFileInfo info(m_path);
    if (!info.exists() && !info.isSymLink()) {
        if (access != Access::Create) return false;
        if (!QFileInfo(info.absolutePath()).isWritable()) {
            m_trouble = Trouble::Unwritable;
            return false;
        }
        return true;
    }
    QString reason;
    if (!info.isFile())
        reason = QStringLiteral("ファイルではありません");
    else if (!info.isReadable())
        reason = QStringLiteral("読み込めません");
    else if (access != Access::Read &&
             (!info.isWritable() || !(info.permissions() & QFileDevice::WriteOwner))) {
        // Made read-only by the user (the bit is tested too: the super-user
        // may write anything): read, never written or replaced.
        m_trouble = Trouble::ReadOnly;
        return false;
    } else
        return true;
    setAside(reason);
    // Moved aside: a write makes a new store, where a rescue has not already.
    return m_trouble == Trouble::SetAside &&
           (access == Access::Create || QFileInfo::exists(m_path));
}

void HistoryStore::setAside(const QString &reason)
{
    // The first free name: a copy rescued earlier is never replaced.
    QString broken = m_path + QStringLiteral(".broken");
    for (int n = 2; QFileInfo::exists(broken) || QFileInfo(broken).isSymLink(); ++n)
        broken = m_path + QStringLiteral(".broken.%1").arg(n);
    if (!QDir().rename(m_path, broken)) {
        // The directory cannot be written: nothing can be done in this run.
        m_off = true;
        m_trouble = Trouble::Unwritable;
        return;
    }
    // A journal belongs to the file it was written for.
    for (const char *suffix : {"-journal", "-wal", "-shm"}) {
        const QString side = m_path + QLatin1String(suffix);
        if (QFileInfo::exists(side)) QDir().rename(side, broken + QLatin1String(suffix));
    }
    m_checked = false;
    m_rescued = 0;
    if (!m_rescuing) rescue(broken);
    m_trouble = Trouble::SetAside;
    m_setAsidePath = broken;
    note(
        QStringLiteral("%1 を使えないため %2 に移し、新しく始めます%4: %3")
            .arg(QDir::toNativeSeparators(m_path), QDir::toNativeSeparators(broken), reason,
                 m_rescued > 0 ? QStringLiteral("（%1 件を引き継ぎ）").arg(m_rescued) : QString()));
}

// Opens the database for one call, checks that it is this program's (and,
// once in a run, that it is whole), creates the tables in a new one when the
// call writes, and runs work, inside one transaction when it writes. A
// damaged database is moved aside, what still reads of it carried into a new
// one; the call then tries once more on the new one (a write makes it when
// nothing was carried).
bool HistoryStore::run(Access access, const std::function<bool(Session &)> &work)
{
    using Failure = Session::Failure;
    m_trouble = Trouble::None;
    const qint64 known = m_migrations.isEmpty() ? 0 : m_migrations.constLast().version;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!usable(access)) return false;
        Failure failure = Failure::None;
        QString reason;
        m_changes.clear();
        {
            ++m_sessions;
            Session s(m_connection, m_path, m_busyMs);
            const bool writes = access != Access::Read;
            bool ok = s.open();
            if (ok && writes) {
                ok = s.exec(QStringLiteral("PRAGMA journal_mode = DELETE")) &&
                     s.exec(QStringLiteral("PRAGMA synchronous = FULL")) && s.begin();
            }
            if (ok) {
                const QVariant app = s.value(QStringLiteral("PRAGMA application_id"));
                const QVariant version = s.value(QStringLiteral("PRAGMA user_version"));
                ok = app.isValid() && version.isValid();
                if (ok && app.toLongLong() == kApplicationId) {
                    if (version.toLongLong() > known) {
                        note(QStringLiteral("%1 は新しい版のものなので使いません")
                                 .arg(QDir::toNativeSeparators(m_path)));
                        m_off = true;
                        m_trouble = Trouble::Newer;
                        return false;
                    }
                    // An older store: upgraded by the write, inside its
                    // transaction; read as it is.
                    s.version = version.toLongLong();
                    if (writes && version.toLongLong() < known) {
                        ok = upgrade(s, version.toLongLong());
                        s.version = known;
                    }
                } else if (ok) {
                    const QVariant tables =
                        s.value(QStringLiteral("SELECT count(*) FROM sqlite_master"));
                    ok = tables.isValid();
                    if (ok && (app.toLongLong() != 0 || version.toLongLong() != 0 ||
                               tables.toLongLong() != 0)) {
                        s.fail(Failure::Damaged, QStringLiteral("not a place database"));
                        ok = false;
                    } else if (ok && access != Access::Create) {
                        ok = false; // a new, empty file: nothing to read or change
                    } else if (ok) {
                        ok = upgrade(s, 0) &&
                             s.exec(
                                 QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId));
                        s.version = known;
                        m_checked = ok;
                    }
                }
            }
            if (ok && !m_checked) {
                const QVariant check = s.value(QStringLiteral("PRAGMA quick_check(1)"));
                ok = check.toString() == QLatin1String("ok");
                if (!ok && check.isValid()) s.fail(Failure::Damaged, check.toString());
                m_checked = ok;
            }
            ok = ok && work(s) && (!writes || s.commit());
            if (ok) {
                if (m_watcher && !m_changes.isEmpty()) m_watcher(std::exchange(m_changes, {}));
                return true;
            }
            failure = s.failure();
            reason = s.reason();
        }
        if (failure == Failure::Busy) m_trouble = Trouble::Busy;
        if (failure != Failure::Damaged) return false;
        setAside(reason);
        if (m_trouble != Trouble::SetAside) return false;
        if (access != Access::Create && !QFileInfo::exists(m_path)) return false;
    }
    return false;
}

void HistoryStore::check()
{
    run(Access::Read, [](Session &) { return true; });
}

// Brings the tables from version `from` to the last one, inside the
// session's transaction.
bool HistoryStore::upgrade(Session &s, qint64 from)
{
    qint64 reached = from;
    for (const Migration &m : std::as_const(m_migrations)) {
        if (m.version <= from) continue;
        for (const QString &statement : m.statements)
            if (!s.exec(statement)) return false;
        reached = m.version;
    }
    return s.exec(QStringLiteral("PRAGMA user_version = %1").arg(reached));
}

bool HistoryStore::readPlace(Session &s, const QString &name, std::optional<Place> &found)
{
    QSqlQuery q;
    if (!s.exec(q,
                s.version >= 4
                    ? QStringLiteral("SELECT position, duration, played, device FROM places WHERE "
                                     "name = ?")
                    : QStringLiteral("SELECT position, duration, played, NULL FROM places WHERE "
                                     "name = ?"),
                {keyOf(name)}))
        return false;
    if (q.next() && !q.value(0).isNull())
        found = Place{seconds(q.value(0).toDouble()), seconds(q.value(1).toDouble()),
                      q.value(2).toLongLong(), q.value(3).toString()};
    return true;
}

bool HistoryStore::changed(Change change)
{
    if (m_watcher) m_changes.append(std::move(change));
    return true;
}

std::optional<HistoryStore::Place> HistoryStore::place(const QString &name)
{
    std::optional<Place> found;
    if (name.isEmpty()) return found;
    run(Access::Read, [&](Session &s) { return readPlace(s, name, found); });
    return found;
}

void HistoryStore::keepPlace(const QString &name, double position, double duration, qint64 nowMs,
                             const QList<ListenedRange> &listened)
{
    keepPlace(name, position, duration, nowMs, listened, Extra{});
}

void HistoryStore::keepPlace(const QString &name, double position, double duration, qint64 nowMs,
                             const QList<ListenedRange> &listened, const Extra &extra)
{
    if (name.isEmpty()) return;
    run(Access::Create, [&](Session &s) {
        const QByteArray key = keyOf(name);
        // What the store learnt of the recording first: its record may move
        // to the key that the place is kept under.
        using K = Change::Kind;
        return writeSightings(s, extra.seen) && s.touch(key, nowMs) &&
               s.exec(s.version >= 4 ? QStringLiteral("UPDATE places SET position = ?, duration = "
                                                      "?, device = NULL WHERE name = ?")
                                     : QStringLiteral("UPDATE places SET position = ?, duration = "
                                                      "? WHERE name = ?"),
                      {seconds(position), seconds(duration), key}) &&
               s.addRanges(key, listened) && s.dropOldest() &&
               writeExtra(s, {extra.log, extra.settings, {}}) &&
               changed({K::Place, name, seconds(position), seconds(duration)}) &&
               (listened.isEmpty() || changed({K::Heard, name, 0, 0, mergeRanges(listened)})) &&
               told(extra);
    });
}

void HistoryStore::clearPlace(const QString &name)
{
    if (name.isEmpty()) return;
    run(Access::Change, [&](Session &s) {
        const QByteArray key = keyOf(name);
        // (A store of fewer migrations, in the tests of the upgrade, has no
        // finished recordings.)
        return s.exec(s.version >= 3
                          ? QStringLiteral("UPDATE places SET position = NULL, finished = 1 WHERE "
                                           "name = ?")
                          : QStringLiteral("UPDATE places SET position = NULL WHERE name = ?"),
                      {key}) &&
               s.exec(QStringLiteral("DELETE FROM places WHERE name = ? AND ranges IS NULL"),
                      {key}) &&
               changed({Change::Kind::Finished, name});
    });
}

bool HistoryStore::readRanges(Session &s, const QString &name, QList<ListenedRange> &found)
{
    found = decodeRanges(
        s.value(QStringLiteral("SELECT ranges FROM places WHERE name = ?"), {keyOf(name)})
            .toByteArray());
    return s.failure() == Session::Failure::None;
}

QList<ListenedRange> HistoryStore::ranges(const QString &name)
{
    QList<ListenedRange> found;
    if (name.isEmpty()) return found;
    run(Access::Read, [&](Session &s) { return readRanges(s, name, found); });
    return found;
}

void HistoryStore::addRanges(const QString &name, const QList<ListenedRange> &ranges, qint64 nowMs)
{
    if (name.isEmpty() || mergeRanges(ranges).isEmpty()) return;
    run(Access::Create, [&](Session &s) {
        const QByteArray key = keyOf(name);
        return s.touch(key, nowMs) && s.addRanges(key, ranges) && s.dropOldest() &&
               changed({Change::Kind::Heard, name, 0, 0, mergeRanges(ranges)});
    });
}

void HistoryStore::clearRanges(const QString &name)
{
    if (name.isEmpty()) return;
    run(Access::Change, [&](Session &s) {
        const QByteArray key = keyOf(name);
        // What was heard forgotten: no longer finished either.
        return s.exec(s.version >= 3 ? QStringLiteral("UPDATE places SET ranges = NULL, "
                                                      "finished = 0 WHERE name = ?")
                                     : QStringLiteral("UPDATE places SET ranges = NULL WHERE "
                                                      "name = ?"),
                      {key}) &&
               s.exec(QStringLiteral("DELETE FROM places WHERE name = ? AND position IS NULL"),
                      {key}) &&
               changed({Change::Kind::Cleared, name});
    });
}

QString HistoryStore::exactName(const QString &storedForm,
                                const std::function<QString(const QString &)> &toStoredForm)
{
    QString found;
    if (storedForm.isEmpty() || !toStoredForm) return found;
    run(Access::Read, [&](Session &s) {
        // The paths seen, then the names kept before keys were (a key is
        // no name), the most recent first.
        for (const QString &sql : {QStringLiteral("SELECT path FROM paths ORDER BY seen DESC"),
                                   QStringLiteral("SELECT name FROM places ORDER BY seq DESC")}) {
            if (s.version < 3 && sql.contains(QLatin1String("paths"))) continue;
            QSqlQuery q;
            if (!s.exec(q, sql)) return false;
            while (q.next()) {
                const QString name = nameOf(q.value(0).toByteArray());
                if (!ContentKey::isKey(name) && toStoredForm(name) == storedForm) {
                    found = name;
                    return true;
                }
            }
        }
        return true;
    });
    return found;
}

// ---- the study log ----------------------------------------------------------

QList<HistoryStore::MediumRecord> HistoryStore::media()
{
    QList<MediumRecord> found;
    run(Access::Read, [&](Session &s) {
        // A recording is named by the path where it was last seen.
        QSqlQuery q;
        if (!s.exec(q, s.version < 3 ? QStringLiteral("SELECT name, duration, position, ranges "
                                                      "FROM places")
                                     : QStringLiteral("SELECT ifnull(r.path, p.name), duration, "
                                                      "position, ranges, finished FROM places p "
                                                      "LEFT JOIN recordings r ON r.key = p.name")))
            return false;
        while (q.next()) {
            MediumRecord r{nameOf(q.value(0).toByteArray()), seconds(q.value(1).toDouble()),
                           std::nullopt, decodeRanges(q.value(3).toByteArray())};
            if (!q.value(2).isNull()) r.position = seconds(q.value(2).toDouble());
            r.finished = q.value(4).toInt() != 0;
            found << r;
        }
        return true;
    });
    return found;
}

namespace
{

bool worthKeeping(const HistoryStore::Stretch &st)
{
    return !st.name.isEmpty() && seconds(st.end) > seconds(st.start) &&
           st.wallEndMs >= st.wallStartMs;
}

} // namespace

bool HistoryStore::insertStretches(Session &s, const QList<Stretch> &stretches)
{
    bool any = false;
    for (const Stretch &st : stretches) {
        if (!worthKeeping(st)) continue;
        any = true;
        const double speed = std::isfinite(st.speed) && st.speed > 0 ? st.speed : 1.0;
        // A stretch is known by its medium and where and when it began: a
        // later form of it (kept while it played, then ended) replaces the
        // earlier one.
        if (!s.exec(QStringLiteral("DELETE FROM stretches WHERE name = ? AND wall_start = ? AND "
                                   "start = ?"),
                    {keyOf(st.name), st.wallStartMs, seconds(st.start)}))
            return false;
        // Its path, and its recording when that is not the path.
        const QVariant rec = st.recording.isEmpty() || st.recording == st.name
                                 ? QVariant(QMetaType::fromType<QByteArray>())
                                 : QVariant(keyOf(st.recording));
        QVariantList values{keyOf(st.name),     seconds(st.start), seconds(st.end),
                            st.wallStartMs,     st.wallEndMs,      speed,
                            seconds(st.skipped)};
        // (A store of fewer migrations, in the tests of the upgrade, has no
        // recordings.)
        if (s.version >= 3) values << rec;
        if (!s.exec(QStringLiteral("INSERT INTO stretches (name, start, end, wall_start, "
                                   "wall_end, speed, skipped%1) VALUES (?, ?, ?, ?, ?, ?, ?%2)")
                        .arg(s.version >= 3 ? QStringLiteral(", rec") : QString(),
                             s.version >= 3 ? QStringLiteral(", ?") : QString()),
                    values))
            return false;
    }
    // A bounded log: the oldest rows beyond kMaxStretches go.
    return !any ||
           s.exec(QStringLiteral("DELETE FROM stretches WHERE id <= (SELECT id FROM stretches "
                                 "ORDER BY id DESC LIMIT 1 OFFSET %1)")
                      .arg(kMaxStretches));
}

QList<HistoryStore::Stretch> HistoryStore::stretches(qint64 sinceMs)
{
    QList<Stretch> found;
    run(Access::Read, [&](Session &s) {
        // Each stretch is named by the path where its recording was last
        // seen, so that the log groups a recording's stretches as one.
        QSqlQuery q;
        if (!s.exec(q,
                    s.version < 3
                        ? QStringLiteral("SELECT name, start, end, wall_start, wall_end, speed, "
                                         "skipped, NULL FROM stretches WHERE wall_end >= ? "
                                         "ORDER BY wall_start, id")
                        : QStringLiteral("SELECT ifnull(r.path, s.name), start, end, wall_start, "
                                         "wall_end, speed, skipped, rec FROM stretches s LEFT "
                                         "JOIN recordings r ON r.key = s.rec WHERE wall_end >= ? "
                                         "ORDER BY wall_start, id"),
                    {sinceMs}))
            return false;
        QHash<QByteArray, QString> names; // one QString per medium
        auto named = [&names](const QVariant &v) -> QString {
            if (v.isNull()) return {};
            const QByteArray key = v.toByteArray();
            auto it = names.find(key);
            if (it == names.end()) it = names.insert(key, nameOf(key));
            return *it;
        };
        while (q.next())
            found.append({named(q.value(0)), q.value(1).toDouble(), q.value(2).toDouble(),
                          q.value(3).toLongLong(), q.value(4).toLongLong(), q.value(5).toDouble(),
                          q.value(6).toDouble(), named(q.value(7))});
        return true;
    });
    return found;
}

void HistoryStore::clearStretches(const QString &name)
{
    run(Access::Change, [&](Session &s) {
        return (name.isEmpty() ? s.exec(QStringLiteral("DELETE FROM stretches"))
                               : s.exec(QStringLiteral("DELETE FROM stretches WHERE rec = ? OR "
                                                       "(rec IS NULL AND name = ?)"),
                                        {keyOf(name), keyOf(name)})) &&
               changed({Change::Kind::Unlogged, name});
    });
}

// ---- playback settings per medium and per folder ----------------------------

namespace
{

QVariant nullable(const std::optional<double> &v)
{
    return v && std::isfinite(*v) ? QVariant(*v) : QVariant(QMetaType::fromType<double>());
}
QVariant nullable(const std::optional<bool> &v)
{
    return v ? QVariant(*v ? 1 : 0) : QVariant(QMetaType::fromType<int>());
}

} // namespace

bool HistoryStore::readSettings(Session &s, SettingsOf of, const QString &key,
                                std::optional<Settings> &found)
{
    if (key.isEmpty()) return true;
    QSqlQuery q;
    if (!s.exec(q,
                of == SettingsOf::Folder
                    ? QStringLiteral("SELECT speed, voice_boost, skip_silence, intro, outro "
                                     "FROM folder_settings WHERE folder = ?")
                    : QStringLiteral("SELECT speed, voice_boost, skip_silence, NULL, NULL "
                                     "FROM media_settings WHERE name = ?"),
                {keyOf(key)}))
        return false;
    if (q.next())
        found =
            Settings{optionalDouble(q.value(0)), optionalBool(q.value(1)), optionalBool(q.value(2)),
                     seconds(q.value(3).toDouble()), seconds(q.value(4).toDouble())};
    return true;
}

std::optional<HistoryStore::Settings> HistoryStore::settings(SettingsOf of, const QString &key)
{
    std::optional<Settings> found;
    if (key.isEmpty()) return found;
    run(Access::Read, [&](Session &s) { return readSettings(s, of, key, found); });
    return found;
}

void HistoryStore::write(const Extra &extra)
{
    if (extra.seen.isEmpty() && std::none_of(extra.log.cbegin(), extra.log.cend(), worthKeeping) &&
        std::all_of(extra.settings.cbegin(), extra.settings.cend(),
                    [](const SettingsChange &c) { return c.key.isEmpty(); }))
        return;
    run(Access::Create, [&](Session &s) { return writeExtra(s, extra) && told(extra); });
}

bool HistoryStore::told(const Extra &extra)
{
    for (const Stretch &st : extra.log)
        if (worthKeeping(st))
            changed({Change::Kind::Stretch,
                     st.recording.isEmpty() ? st.name : st.recording,
                     0,
                     0,
                     {},
                     {},
                     {},
                     st});
    for (const SettingsChange &c : extra.settings)
        if (c.of == SettingsOf::Medium && !c.key.isEmpty())
            changed({Change::Kind::Settings, c.key, 0, 0, {}, c.settings});
    return true;
}

bool HistoryStore::writeExtra(Session &s, const Extra &extra)
{
    if (!writeSightings(s, extra.seen) || !insertStretches(s, extra.log)) return false;
    for (const SettingsChange &change : extra.settings)
        if (!change.key.isEmpty() && !writeSettings(s, change)) return false;
    return true;
}

bool HistoryStore::writeSettings(Session &s, const SettingsChange &change)
{
    const bool folder = change.of == SettingsOf::Folder;
    const Settings &settings = change.settings;
    {
        const QString table =
            folder ? QStringLiteral("folder_settings") : QStringLiteral("media_settings");
        const QString column = folder ? QStringLiteral("folder") : QStringLiteral("name");
        const QString nextSeq =
            QStringLiteral("(SELECT ifnull(max(seq), 0) + 1 FROM %1)").arg(table);
        QVariantList values{keyOf(change.key), nullable(settings.speed),
                            nullable(settings.voiceBoost), nullable(settings.skipSilence)};
        QString sql = QStringLiteral("INSERT OR REPLACE INTO %1 (%2, speed, voice_boost, "
                                     "skip_silence, seq%3) VALUES (?, ?, ?, ?, %4%5)")
                          .arg(table, column, folder ? QStringLiteral(", intro, outro") : QString(),
                               nextSeq, folder ? QStringLiteral(", ?, ?") : QString());
        if (folder) values << seconds(settings.introSeconds) << seconds(settings.outroSeconds);
        return s.exec(sql, values) &&
               s.exec(QStringLiteral("DELETE FROM %1 WHERE seq <= (SELECT seq FROM %1 "
                                     "ORDER BY seq DESC LIMIT 1 OFFSET %2)")
                          .arg(table)
                          .arg(HistoryStore::kMaxMedia));
    }
}

// ---- the rescue of a damaged store ------------------------------------------

namespace
{

// A damaged store is read for at most this long: a file that reads only
// slowly does not hold the program.
constexpr int kRescueMs = 2000;
// The rows carried by one statement (SQLite takes some 32,000 values).
constexpr qsizetype kRowsAtOnce = 200;

bool isKey(const QVariant &v)
{
    return v.typeId() == QMetaType::QByteArray && !v.toByteArray().isEmpty() &&
           v.toByteArray().size() % 2 == 0;
}

// Each takes a row read (the columns of its table, in order) and tells
// whether it is worth keeping, making its values what the program writes.
bool keepPlaceRow(QVariantList &r) // name, position, duration, played, ranges, seq
{
    const QList<ListenedRange> ranges = decodeRanges(r.at(4).toByteArray());
    if (!isKey(r.at(0)) || r.at(5).isNull() || (r.at(1).isNull() && ranges.isEmpty())) return false;
    if (!r.at(1).isNull()) r[1] = seconds(r.at(1).toDouble());
    r[2] = seconds(r.at(2).toDouble());
    r[3] = r.at(3).toLongLong();
    r[4] = ranges.isEmpty() ? QVariant(QMetaType::fromType<QByteArray>())
                            : QVariant(encodeRanges(ranges));
    r[5] = r.at(5).toLongLong();
    return true;
}

bool keepStretchRow(QVariantList &r) // name, start, end, wall_start, wall_end, speed, skipped
{
    const double start = seconds(r.at(1).toDouble()), end = seconds(r.at(2).toDouble());
    const qint64 wallStart = r.at(3).toLongLong(), wallEnd = r.at(4).toLongLong();
    if (!isKey(r.at(0)) || end <= start || wallEnd < wallStart) return false;
    const double speed = r.at(5).toDouble();
    r = {r.at(0),
         start,
         end,
         wallStart,
         wallEnd,
         std::isfinite(speed) && speed > 0 ? speed : 1.0,
         seconds(r.at(6).toDouble())};
    return true;
}

bool keepSettingsRow(QVariantList &r) // key, the settings (NULL: not set), seq
{
    return isKey(r.at(0)) && !r.constLast().isNull();
}

bool keepRecordsRow(QVariantList &r) // rec, rows, seq
{
    return isKey(r.at(0)) && !r.at(1).isNull() && !r.at(2).isNull();
}

bool keepSightingRow(QVariantList &r) // two names (a path and a key), then whole numbers
{
    return isKey(r.at(0)) && isKey(r.at(1));
}

bool keepCourseRow(QVariantList &r) // folder, exam, hidden, files
{
    return isKey(r.at(0));
}

struct RescuedTable {
    QLatin1String name;
    QLatin1String columns;
    bool (*keep)(QVariantList &row);
};

// The places first: they matter most when time runs short.
const RescuedTable kRescuedTables[] = {
    {QLatin1String("places"), QLatin1String("name, position, duration, played, ranges, seq"),
     keepPlaceRow},
    {QLatin1String("media_settings"), QLatin1String("name, speed, voice_boost, skip_silence, seq"),
     keepSettingsRow},
    {QLatin1String("folder_settings"),
     QLatin1String("folder, speed, voice_boost, skip_silence, intro, outro, seq"), keepSettingsRow},
    {QLatin1String("record_lists"), QLatin1String("rec, rows, seq"), keepRecordsRow},
    {QLatin1String("stretches"),
     QLatin1String("name, start, end, wall_start, wall_end, speed, skipped"), keepStretchRow},
    {QLatin1String("paths"), QLatin1String("path, key, size, mtime, seen"), keepSightingRow},
    {QLatin1String("recordings"), QLatin1String("key, path, size, seen"), keepSightingRow},
    {QLatin1String("courses"), QLatin1String("folder, exam, hidden, files"), keepCourseRow},
};
constexpr int kRescuedTableCount = int(std::size(kRescuedTables));

// The rows of one table of a damaged database that still read, in the order
// of their rowids. A read that fails (a damaged page: SQLite gives up the
// statement there) goes on from the first rowid beyond the damage from which
// the table reads again, found by steps that double and then by halving, so
// that a damaged page costs the rows on it and a few lookups.
QList<QVariantList> readWhatReads(const QSqlDatabase &db, const RescuedTable &table,
                                  const QDeadlineTimer &deadline)
{
    QList<QVariantList> rows;
    const int columns = int(std::count(table.columns.begin(), table.columns.end(), ',')) + 1;
    const QString sql = QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid >= ? ORDER BY rowid")
                            .arg(table.columns, table.name);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) return rows; // no such table, or its schema does not read
    // Whether the table reads from rowid `from` on: its first row, or its
    // end. Prepared anew each time: a statement that failed is not run again.
    auto readsFrom = [&q, &sql](qint64 from) {
        if (!q.prepare(sql)) return false;
        q.bindValue(0, from);
        return q.exec();
    };
    constexpr qint64 kLast = std::numeric_limits<qint64>::max();
    qint64 from = 0; // this program's rows have rowids from 1 up
    while (!deadline.hasExpired()) {
        if (readsFrom(from)) {
            while (q.next()) {
                const qint64 rowid = q.value(0).toLongLong();
                QVariantList row;
                row.reserve(columns);
                for (int i = 1; i <= columns; ++i)
                    row << q.value(i);
                if (table.keep(row)) rows << row;
                if (rowid == kLast) return rows;
                from = rowid + 1;
            }
            if (!q.lastError().isValid()) return rows; // read to its end
        }
        // Reading fails from `from` on: a rowid beyond it from which it reads.
        qint64 bad = from, good = 0;
        for (qint64 step = 1;; step *= 2) {
            if (step > kLast - bad || deadline.hasExpired()) return rows;
            if (readsFrom(bad + step)) {
                good = bad + step;
                break;
            }
            bad += step;
            if (step > kLast / 2) return rows;
        }
        // The first one: the damage ends between bad and good.
        while (good - bad > 1 && !deadline.hasExpired()) {
            const qint64 middle = bad + (good - bad) / 2;
            (readsFrom(middle) ? good : bad) = middle;
        }
        from = good;
    }
    return rows;
}

// Reads what still reads of each rescued table of the damaged file at
// `from` into found (nothing when it is not a place store of ours).
void readDamaged(const QString &from, const QString &connection, QList<QVariantList> *found)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, connection);
        QUrl url = QUrl::fromLocalFile(QFileInfo(from).absoluteFilePath());
        url.setQuery(QStringLiteral("immutable=1"));
        db.setDatabaseName(url.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        if (db.open()) {
            bool ours = false;
            {
                // Lenient about the file's length and its schema (nothing
                // is written through this connection).
                QSqlQuery q(db);
                ours = q.exec(QStringLiteral("PRAGMA writable_schema = ON")) &&
                       q.exec(QStringLiteral("PRAGMA application_id")) && q.next() &&
                       q.value(0).toLongLong() == kApplicationId;
            }
            const QDeadlineTimer deadline(kRescueMs);
            for (int t = 0; ours && t < kRescuedTableCount; ++t)
                found[t] = readWhatReads(db, kRescuedTables[t], deadline);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
}

} // namespace

// Carries what still reads of a damaged store (moved aside to `from`) into a
// new one, in one transaction. The moved file is opened as immutable: it is
// read as it lies, without locks, and nothing is written to it (a journal
// beside it is not played back).
void HistoryStore::rescue(const QString &from)
{
    QList<QVariantList> found[kRescuedTableCount];
    readDamaged(from, m_connection + QStringLiteral("-rescue"), found);
    if (std::all_of(std::cbegin(found), std::cend(found),
                    [](const QList<QVariantList> &rows) { return rows.isEmpty(); }))
        return;

    // Into a new store, or the one another program began meanwhile, whose
    // rows stay as they are. The bounds on the tables hold in what is
    // carried, as they held in the store it comes from.
    m_rescuing = true;
    qint64 carried = 0;
    const bool written = run(Access::Create, [&](Session &s) {
        const QVariant before = s.value(QStringLiteral("SELECT total_changes()"));
        // The session's connection, to prepare each insert once.
        const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        for (int t = 0; t < kRescuedTableCount; ++t) {
            const RescuedTable &table = kRescuedTables[t];
            if (found[t].isEmpty()) continue;
            // A store of fewer migrations (tests of the upgrade) keeps
            // the tables it has.
            const QVariant has = s.value(
                QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                               "name = ?"),
                {QString(table.name)});
            if (!has.isValid()) return false;
            if (has.toInt() == 0) continue;
            // Many rows to a statement: one run of a statement costs more
            // than binding a row's values.
            const QList<QVariantList> &rows = found[t];
            const int columns = int(rows.constFirst().size());
            const QString row =
                QStringLiteral("(%1)").arg(QStringList(columns, QStringLiteral("?")).join(u','));
            QSqlQuery q(db);
            qsizetype prepared = 0; // the rows of the statement prepared
            for (qsizetype first = 0; first < rows.size(); first += prepared) {
                const qsizetype count = std::min<qsizetype>(kRowsAtOnce, rows.size() - first);
                if (count != prepared &&
                    !q.prepare(
                        QStringLiteral("INSERT OR IGNORE INTO %1 (%2) VALUES %3")
                            .arg(table.name, table.columns, QStringList(count, row).join(u',')))) {
                    s.fail(q.lastError());
                    return false;
                }
                prepared = count;
                for (qsizetype r = 0; r < count; ++r)
                    for (int i = 0; i < columns; ++i)
                        q.bindValue(int(r) * columns + i, rows.at(first + r).at(i));
                if (!q.exec()) {
                    s.fail(q.lastError());
                    return false;
                }
            }
        }
        const QVariant after = s.value(QStringLiteral("SELECT total_changes()"));
        carried = after.toLongLong() - before.toLongLong();
        return before.isValid() && after.isValid();
    });
    m_rescuing = false;
    m_rescued = written ? int(std::min<qint64>(carried, std::numeric_limits<int>::max())) : 0;
}
