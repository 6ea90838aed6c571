// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/HistoryStore.h"
#include "persist/SyncFolder.h"

#include <functional>

// Where and as whom this installation shares what it keeps ("Pelmora.ini",
// [Sync]): the synced folder (empty: nothing is shared), this device's id
// and its name as the other computers show it.
struct SyncSettings {
    QString folder;
    QString device;
    QString deviceName;
    bool operator==(const SyncSettings &) const = default;
    // Those of the settings file; with a folder set and no device yet, a
    // new random id and the host's name are made and written there. May
    // raise AppError (the file cannot be written).
    static SyncSettings read(const QString &settingsPath);
    // Keeps folder (empty: no sharing) in the settings file.
    static SyncSettings choose(const QString &settingsPath, const QString &folder);
};

// The place store shared through a synced folder: every write of the store
// becomes events in this device's files (persist/SyncFolder.h), and what the
// other devices wrote is merged (persist/SyncEvents.h) and taken into the
// store, so that every window reads the local store as always. The first
// time a device uses a folder, what its store keeps already is shared too.
// It lives on the writer's thread: the folder is never touched by the GUI
// thread, and a slow or missing folder never holds playback.
class Sync
{
public:
    // This device's files are compacted into one beyond this size.
    static constexpr qint64 CompactBytes = 3 * SyncFolder::SegmentBytes;

    Sync(SyncSettings settings, std::function<qint64()> nowMs);

    const SyncSettings &settings() const { return m_settings; }
    // With sharing off (the history switch), nothing is written to the
    // folder; what others wrote is still taken in.
    void setSharing(bool on) { m_sharing = on; }
    // The store's writes, just committed.
    void changed(const QList<HistoryStore::Change> &changes);
    // Reads what is new in the folder and takes into the store what came
    // from other devices; returns the recordings that changed there. The
    // first call shares what the store keeps, when this device is new to the
    // folder.
    QStringList update(HistoryStore &store);
    // The directories to watch for changes: the folder, its "pelmora" and
    // each device's (listed here, off the GUI thread).
    QStringList directories() const;
    // What kept the last read or write from the folder (empty: nothing).
    QString trouble() const { return m_folder.trouble(); }
    const SyncState &state() const { return m_state; }

private:
    QList<SyncEvent> eventsOf(const HistoryStore::Change &change, qint64 now);
    HistoryStore::Remote remoteOf(const QString &key) const;

    SyncSettings m_settings;
    std::function<qint64()> m_now;
    SyncFolder m_folder;
    HybridClock m_clock;
    SyncState m_state;
    bool m_sharing = true;
    bool m_started = false;
};
