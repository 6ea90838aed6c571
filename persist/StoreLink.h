// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/HistoryStore.h"

#include <QObject>
#include <QSet>

#include <functional>
#include <memory>

class DiskWriter;
class QFileSystemWatcher;
class QTimer;
struct SyncSettings;

// The program's one way to the place store "History.db": writes go to the
// DiskWriter's thread, reads of what a medium needs when it opens are made
// here (one session each), and trouble with the store (locked by another
// program, read-only, damaged, of a newer version) is told once per run and
// kind.
//
// Writes that can wait (the study log's stretches, the playback settings
// kept) are gathered and go into one transaction with the next place kept,
// or on their own after WaitMs, so that playing wakes the disk seldom.
class StoreLink : public QObject
{
    Q_OBJECT

public:
    static constexpr int WaitMs = 10000;

    // dir: the program's directory; writer: runs the writes (it outlives
    // the link).
    StoreLink(const QString &dir, DiskWriter *writer, QObject *parent = nullptr);
    ~StoreLink() override;

    DiskWriter *writer() const { return m_writer; }

    // A write, on the writer's thread, after those posted before it.
    void post(std::function<void(HistoryStore &)> write);
    // A write that takes the waiting writes with it, in its transaction.
    void postWithWaiting(std::function<void(HistoryStore &, const HistoryStore::Extra &)> write);
    // A read on the writer's thread, after the writes before it; the
    // function it returns runs here, if the link still lives.
    void read(std::function<std::function<void()>(HistoryStore &)> job);

    // A read here, on the calling thread (quick: well under a millisecond).
    RecordingInfo recording(const QString &name, const QString &folder);
    std::optional<KeptSettings> settings(SettingsOf of, const QString &key);
    QString exactName(const QString &storedForm,
                      const std::function<QString(const QString &)> &toStoredForm);
    QString keyOfPath(const QString &path);
    // How many times the reads here opened the store.
    int reads() const { return m_reader.sessions(); }

    // The writes that wait.
    void wait(const Stretch &stretch);
    void wait(SettingsOf of, const QString &key, const KeptSettings &settings);
    void wait(const Sighting &sighting);
    // What the store is to learn of a recording that opens: with the next
    // place kept, or at once when its record moves to its key.
    void learn(const Sighting &sighting);
    // Drops waiting stretches: of one recording (its id), or all (empty).
    void dropWaiting(const QString &id);
    void flushWaiting();

    // ---- sharing through a synced folder (persist/Sync.h) ----
    // Shares the store through settings.folder from now on (empty: no
    // longer). Nothing is read here: the folder is read on the writer's
    // thread by syncNow(), and again whenever it changes (watched, and
    // looked at every PollMs where changes are not told).
    static constexpr int PollMs = 30000;
    void setSync(const SyncSettings &settings, std::function<qint64()> nowMs);
    bool syncing() const { return m_syncing; }
    // With the history switch off, nothing is written to the folder.
    void setSharing(bool on);
    // Reads the folder and takes in what came from other devices; then
    // runs here with the recordings that changed.
    void syncNow(std::function<void(const QStringList &changed)> then = {});

signals:
    // Once per run and kind: the place store cannot be used as it should.
    void trouble(const QString &message);
    // What other computers kept of these recordings was taken in.
    void synced(const QStringList &ids);

private:
    // rescued: the rows carried from a store set aside into the new one.
    void report(HistoryStore::Trouble trouble, const QString &setAsidePath, int rescued);
    void startWaiting();
    void watchFolder(const QStringList &paths);

    struct SyncHolder; // the writer's Sync
    struct Sink;       // where the writer's jobs tell of trouble
    static void tellSync(SyncHolder &sync, Sink &sink);
    std::shared_ptr<SyncHolder> m_sync;
    bool m_syncing = false;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_syncTimer = nullptr; // a change seen: read a moment later; else a poll

    std::shared_ptr<Sink> m_sink;
    DiskWriter *m_writer;
    HistoryStore m_reader;                 // read here
    std::shared_ptr<HistoryStore> m_store; // written by the writer
    QSet<int> m_told;                      // the kinds of trouble told already
    HistoryStore::Extra m_waiting;
    QTimer *m_waitTimer = nullptr;
};
