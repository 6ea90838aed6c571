// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/SyncEvents.h"

#include <QHash>
#include <QString>

// The synced folder's layout, which a file-sync tool (Syncthing, Nextcloud,
// Dropbox) can never make conflict: each device writes only under
// "<folder>/pelmora/<device id>/" (its name in "device.json", its events
// appended to "events-<ms>.jsonl" files, one event a line), and reads every
// device's directory, its own included. It never writes another device's.
// - A last line without its line break (being written, or arrived in part)
//   is left until it is whole; a line that is not an event is skipped.
// - What a sync tool leaves beside the files (".sync-conflict-" copies,
//   ".syncthing.*.tmp", "~syncthing~*") is never read.
// - The folder itself is never made: a folder that is gone (a disk
//   unplugged) is told, and the events wait in memory until it is back.
// Used by one thread at a time (the writer's).
class SyncFolder
{
public:
    static constexpr qint64 SegmentBytes = 4 * 1024 * 1024; // a new file beyond
    static constexpr int MaxWaiting = 100000;               // events kept while it is gone
    static constexpr qint64 ReadBytes = 256 * 1024;         // read at once

    SyncFolder(QString folder, QString device, QString deviceName);

    const QString &folder() const { return m_folder; }
    QString ownDirectory() const;
    // Appends events (and those that waited) to this device's files; false
    // when the folder cannot be written (trouble() tells why; they wait).
    bool append(const QList<SyncEvent> &events);
    bool waiting() const { return !m_waiting.isEmpty(); }
    // Reads what is new in every device's files into state; the clock sees
    // each stamp. Returns how many events were read.
    int read(SyncState &state, HybridClock &clock);
    // The bytes of this device's files.
    qint64 ownBytes() const;
    // Replaces this device's files by one holding events (all it holds of
    // the state), written whole before the others go.
    bool compact(const QList<SyncEvent> &events);
    // A device's name (its id when it has none).
    QString deviceName(const QString &device) const;
    // Whether this device has never written here.
    bool fresh() const;
    const QString &trouble() const { return m_trouble; }

    // Whether a file in a device's directory is one of its event files.
    static bool isEventFile(const QString &fileName);

private:
    bool prepare();
    int readFile(const QString &path, SyncState &state, HybridClock &clock);

    QString m_folder;
    QString m_device;
    QString m_deviceName;
    QString m_segment; // this device's file being appended to
    bool m_named = false;
    QList<SyncEvent> m_waiting;
    struct Read {
        qint64 offset = 0; // the bytes read, whole lines
    };
    QHash<QString, Read> m_read;
    QHash<QString, QString> m_names;
    QString m_trouble;
};
