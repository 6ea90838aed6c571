// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/Recording.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

// What two computers share of their recordings, as events that each one
// appends to its own files in a synced folder (persist/SyncFolder.h), and
// the state that every computer merges from all of them. The merge gives
// the same state whatever the order in which the events are read, and
// reading one twice changes nothing:
// - a recording's place, its playback settings and each position record:
//   the event with the latest stamp wins;
// - the ranges heard: the union of those added, less those added before a
//   later clear;
// - the study log: one stretch per device and sequence number (its start on
//   the wall clock), its latest form; a later clear of the log of a
//   recording removes those before it.
// Recordings are named by their content keys (persist/ContentKey.h), or by
// their URLs: never by a local path, which differs between computers.

// A hybrid logical clock's stamp: the wall time in UTC ms, a counter for
// the events of one millisecond (or while the wall clock stands behind a
// stamp seen), and the device that made it, which breaks ties.
struct SyncStamp {
    qint64 wallMs = 0;
    int counter = 0;
    QString device;
    bool operator==(const SyncStamp &) const = default;
    bool operator<(const SyncStamp &o) const
    {
        if (wallMs != o.wallMs) return wallMs < o.wallMs;
        if (counter != o.counter) return counter < o.counter;
        return device < o.device;
    }
};

// Gives each event of a device a stamp later than every stamp it gave or
// saw, so that an edit made after reading another computer's wins over it
// even when this computer's clock is behind.
class HybridClock
{
public:
    explicit HybridClock(QString device) : m_device(std::move(device)) {}
    const QString &device() const { return m_device; }
    SyncStamp next(qint64 wallMs);
    void see(const SyncStamp &stamp);

private:
    QString m_device;
    qint64 m_wallMs = 0;
    int m_counter = 0;
};

struct SyncEvent {
    enum class Kind { Place, Heard, Cleared, Settings, Record, Stretch, Unlogged };
    Kind kind = Kind::Place;
    QString key; // the recording
    SyncStamp stamp;
    // Place: where it stands (finished: heard to its end; no place).
    double position = 0.0;
    double duration = 0.0;
    bool finished = false;
    // Heard: the ranges added.
    QList<ListenedRange> ranges = {};
    // Settings: the recording's own.
    KeptSettings settings = {};
    // Record: one position record, known by its id; removed: deleted.
    QString recordId = {};
    PositionRecord record = {};
    bool removed = false;
    // Stretch: one of the study log (its name is not shared); seq: its
    // number on its device.
    qint64 seq = 0;
    Stretch stretch = {};
};

// One event as one line of JSON (no line break); nothing for a line that is
// not an event of this program.
QByteArray encodeEvent(const SyncEvent &event);
std::optional<SyncEvent> decodeEvent(QByteArrayView line);

class SyncState
{
public:
    struct PlaceValue {
        SyncStamp stamp;
        double position = 0.0;
        double duration = 0.0;
        bool finished = false;
    };
    struct SettingsValue {
        SyncStamp stamp;
        KeptSettings settings;
    };
    struct StretchValue {
        SyncStamp stamp;
        qint64 seq = 0;
        Stretch stretch;
    };

    // Merges one event; whether the state changed. A recording changed by
    // an event marked is among the next takeChanged().
    bool apply(const SyncEvent &event, bool mark = true);

    QStringList keys() const;
    std::optional<PlaceValue> place(const QString &key) const;
    // The ranges heard, merged.
    QList<ListenedRange> heard(const QString &key) const;
    // The latest clear of what was heard.
    std::optional<SyncStamp> cleared(const QString &key) const;
    std::optional<SettingsValue> settings(const QString &key) const;
    // Whether any position record of the recording was ever shared.
    bool hasRecords(const QString &key) const;
    // The position records in force, by time: id and record.
    QList<QPair<QString, PositionRecord>> records(const QString &key) const;
    // The study log's stretches in force, by device and sequence number.
    QList<StretchValue> stretches(const QString &key) const;
    std::optional<SyncStamp> unlogged(const QString &key) const;

    // The events that make the position records of key those given: the
    // ones unchanged keep their ids, one whose time stays keeps its id with
    // its new comment, the others are removed or added.
    QList<SyncEvent> recordEdits(const QString &key, const QList<PositionRecord> &records,
                                 HybridClock &clock, qint64 wallMs) const;

    // The fewest events of one device that give what it holds of the state
    // (its events that others superseded left out): a compacted file.
    QList<SyncEvent> eventsOf(const QString &device) const;

    // The recordings changed since the last call.
    QSet<QString> takeChanged() { return std::exchange(m_changed, {}); }
    // The whole state in a canonical text, to compare two states.
    QByteArray digest() const;

private:
    struct Entry {
        std::optional<PlaceValue> place;
        QList<QPair<SyncStamp, QList<ListenedRange>>> heard; // those after the clear
        std::optional<SyncStamp> cleared;
        std::optional<SettingsValue> settings;
        struct RecordValue {
            SyncStamp stamp;
            PositionRecord record;
            bool removed = false;
        };
        QHash<QString, RecordValue> records;
        QHash<QPair<QString, qint64>, StretchValue> log;
        std::optional<SyncStamp> unlogged;
    };
    bool applyTo(Entry &e, const SyncEvent &event);
    QHash<QString, Entry> m_entries;
    QSet<QString> m_changed;
};
