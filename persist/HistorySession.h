// SPDX-License-Identifier: GPL-3.0-or-later
// The place store's own: how names and ranges are stored, and one use of the
// database (HistoryStore.cpp and HistoryRecordings.cpp).
#pragma once

#include "persist/HistoryStore.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <optional>

namespace history
{

inline const QLatin1String kDriver("QSQLITE");
// The database header's application id ("PLMH"); the version of the tables
// is that of the last migration.
constexpr qint64 kApplicationId = 0x504C4D48;

// SQLite's primary result codes that matter here.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

inline const char kNextSeq[] = "(SELECT ifnull(max(seq), 0) + 1 FROM places)";

inline QByteArray keyOf(const QString &name)
{
    QByteArray key(name.size() * 2, Qt::Uninitialized);
    qToLittleEndian<quint16>(name.utf16(), name.size(), key.data());
    return key;
}

inline QString nameOf(const QByteArray &key)
{
    QString name(key.size() / 2, Qt::Uninitialized);
    qFromLittleEndian<quint16>(key.constData(), name.size(), name.data());
    return name;
}

inline QByteArray encodeRanges(const QList<ListenedRange> &ranges)
{
    QByteArray bytes(ranges.size() * 16, Qt::Uninitialized);
    char *out = bytes.data();
    for (const ListenedRange &r : ranges) {
        for (const double v : {r.start, r.end}) {
            quint64 bits = 0;
            std::memcpy(&bits, &v, sizeof bits);
            qToLittleEndian(bits, out);
            out += 8;
        }
    }
    return bytes;
}

inline QList<ListenedRange> decodeRanges(const QByteArray &bytes)
{
    if (bytes.size() % 16 != 0) return {};
    QList<ListenedRange> ranges;
    ranges.reserve(bytes.size() / 16);
    for (qsizetype i = 0; i < bytes.size(); i += 16) {
        double v[2];
        for (int j = 0; j < 2; ++j) {
            const quint64 bits = qFromLittleEndian<quint64>(bytes.constData() + i + 8 * j);
            std::memcpy(&v[j], &bits, sizeof bits);
        }
        ranges.append({v[0], v[1]});
    }
    return mergeRanges(ranges);
}

// A column that may be NULL (not set).
inline std::optional<double> optionalDouble(const QVariant &v)
{
    if (v.isNull()) return std::nullopt;
    return v.toDouble();
}
inline std::optional<bool> optionalBool(const QVariant &v)
{
    if (v.isNull()) return std::nullopt;
    return v.toInt() != 0;
}

inline double seconds(double value)
{
    return std::isfinite(value) && value > 0 ? value : 0.0;
}

} // namespace history

// One use of the database: the connection is opened for one call and closed
// and removed again when the session ends; a transaction still open then is
// rolled back.
class HistoryStore::Session
{
public:
    enum class Failure { None, Damaged, Busy, Other };

    Session(const QString &connection, const QString &path, int busyMs) : m_connection(connection)
    {
        m_db = QSqlDatabase::addDatabase(history::kDriver, connection);
        m_db.setDatabaseName(path);
        // How long a call waits for another program's write lock.
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMs));
    }
    ~Session()
    {
        m_prepared.clear();
        if (m_inTransaction) {
            QSqlQuery q(m_db);
            q.exec(QStringLiteral("ROLLBACK"));
        }
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    bool open()
    {
        if (m_db.open()) return true;
        fail(m_db.lastError());
        return false;
    }

    // Runs one statement with its values bound in order; false when it fails.
    bool exec(QSqlQuery &q, const QString &sql, const QVariantList &values = {})
    {
        q = QSqlQuery(m_db);
        q.setForwardOnly(true);
        bool ok = true;
        if (values.isEmpty()) {
            ok = q.exec(sql);
        } else {
            ok = q.prepare(sql);
            for (const QVariant &v : values)
                q.addBindValue(v);
            ok = ok && q.exec();
        }
        if (!ok) fail(q.lastError());
        return ok;
    }
    // The same statement run many times: prepared once per session.
    bool execPrepared(const QString &sql, const QVariantList &values)
    {
        auto it = m_prepared.find(sql);
        if (it == m_prepared.end()) {
            QSqlQuery q(m_db);
            q.setForwardOnly(true);
            if (!q.prepare(sql)) {
                fail(q.lastError());
                return false;
            }
            it = m_prepared.insert(sql, q);
        }
        for (int i = 0; i < values.size(); ++i)
            it->bindValue(i, values.at(i));
        if (it->exec()) return true;
        fail(it->lastError());
        return false;
    }
    bool exec(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q;
        return exec(q, sql, values);
    }
    // The first column of the first row of a query; invalid when it fails or
    // gives no row.
    QVariant value(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q;
        if (!exec(q, sql, values)) return QVariant();
        return q.next() ? q.value(0) : QVariant();
    }

    bool begin()
    {
        m_inTransaction = exec(QStringLiteral("BEGIN IMMEDIATE"));
        return m_inTransaction;
    }
    bool commit()
    {
        if (!exec(QStringLiteral("COMMIT"))) return false;
        m_inTransaction = false;
        return true;
    }

    void fail(Failure failure, const QString &reason)
    {
        if (m_failure != Failure::None) return;
        m_failure = failure;
        m_reason = reason;
    }
    void fail(const QSqlError &error)
    {
        bool ok = false;
        const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
        Failure failure = Failure::Other;
        if (ok && (code == history::kSqliteCorrupt || code == history::kSqliteNotADatabase))
            failure = Failure::Damaged;
        else if (ok && (code == history::kSqliteBusy || code == history::kSqliteLocked))
            failure = Failure::Busy;
        fail(failure, error.databaseText());
    }
    Failure failure() const { return m_failure; }
    const QString &reason() const { return m_reason; }
    // The version of the tables (after the upgrade of a write).
    qint64 version = 0;

    // Makes a medium the most recently played one, adding its row when
    // there is none.
    bool touch(const QByteArray &key, qint64 nowMs)
    {
        return exec(QStringLiteral("INSERT INTO places (name, played, seq) VALUES (?, ?, %1) "
                                   "ON CONFLICT (name) DO UPDATE SET played = excluded.played, "
                                   "seq = excluded.seq")
                        .arg(QLatin1String(history::kNextSeq)),
                    {key, nowMs});
    }
    // Merges more listened ranges into a medium's row.
    bool addRanges(const QByteArray &key, const QList<ListenedRange> &more)
    {
        if (more.isEmpty()) return true;
        const QVariant kept =
            value(QStringLiteral("SELECT ranges FROM places WHERE name = ?"), {key});
        if (m_failure != Failure::None) return false;
        const QList<ListenedRange> merged =
            mergeRanges(history::decodeRanges(kept.toByteArray()) + more);
        return exec(QStringLiteral("UPDATE places SET ranges = ? WHERE name = ?"),
                    {merged.isEmpty() ? QVariant(QMetaType::fromType<QByteArray>())
                                      : QVariant(history::encodeRanges(merged)),
                     key});
    }
    // Drops the media played before the kMaxMedia most recent ones.
    bool dropOldest()
    {
        return exec(QStringLiteral("DELETE FROM places WHERE seq <= (SELECT seq FROM places "
                                   "ORDER BY seq DESC LIMIT 1 OFFSET %1)")
                        .arg(HistoryStore::kMaxMedia));
    }

private:
    QString m_connection;
    QSqlDatabase m_db;
    QHash<QString, QSqlQuery> m_prepared;
    bool m_inTransaction = false;
    Failure m_failure = Failure::None;
    QString m_reason;
};
