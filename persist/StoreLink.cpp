// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/StoreLink.h"

#include "persist/DiskWriter.h"
#include "persist/ProgramDir.h"
#include "persist/Sync.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QMutex>
#include <QTimer>

// Where the writer's jobs tell of trouble: the link while it lives.
struct StoreLink::Sink {
    QMutex mutex;
    StoreLink *link = nullptr;
};

// The writer's own: the Sync, and what of its trouble was told last.
struct StoreLink::SyncHolder {
    std::unique_ptr<Sync> sync;
    QString told;
};

StoreLink::StoreLink(const QString &dir, DiskWriter *writer, QObject *parent)
    : QObject(parent), m_sink(std::make_shared<Sink>()), m_writer(writer),
      m_reader(programFile(dir, QString::fromUtf8(kHistoryFile))),
      m_store(std::make_shared<HistoryStore>(programFile(dir, QString::fromUtf8(kHistoryFile))))
{
    // Reads here never wait long for another program's write, nor for the
    // check of the whole file, which the writer makes (damage it finds is
    // told, the file set aside and what reads of it carried over there).
    m_reader.setBusyTimeout(100);
    m_reader.setFullCheck(false);
    m_waitTimer = new QTimer(this);
    m_waitTimer->setSingleShot(true);
    m_waitTimer->setInterval(WaitMs);
    connect(m_waitTimer, &QTimer::timeout, this, &StoreLink::flushWaiting);
    m_sink->link = this;
    m_sync = std::make_shared<SyncHolder>();
    post([](HistoryStore &store) { store.check(); });
}

StoreLink::~StoreLink()
{
    QMutexLocker lock(&m_sink->mutex);
    m_sink->link = nullptr;
}

void StoreLink::post(std::function<void(HistoryStore &)> write)
{
    auto store = m_store;
    auto sink = m_sink;
    auto sync = m_sync;
    m_writer->post([store, sink, sync, write = std::move(write)] {
        write(*store);
        tellSync(*sync, *sink);
        const HistoryStore::Trouble kind = store->trouble();
        if (kind != HistoryStore::Trouble::None) {
            QMutexLocker lock(&sink->mutex);
            if (StoreLink *link = sink->link)
                QMetaObject::invokeMethod(
                    link,
                    [link, kind, path = store->setAsidePath(), rescued = store->rescuedRows()] {
                        link->report(kind, path, rescued);
                    },
                    Qt::QueuedConnection);
        }
        // Locked by another program: the write waits and is tried again,
        // and the ones behind it wait with it.
        return kind == HistoryStore::Trouble::Busy ? DiskWriter::Outcome::Retry
                                                   : DiskWriter::Outcome::Done;
    });
}

void StoreLink::postWithWaiting(
    std::function<void(HistoryStore &, const HistoryStore::Extra &)> write)
{
    m_waitTimer->stop();
    post([extra = std::exchange(m_waiting, {}), write = std::move(write)](HistoryStore &store) {
        write(store, extra);
    });
}

void StoreLink::tellSync(SyncHolder &sync, Sink &sink)
{
    // Trouble with the synced folder, each kind as it begins.
    if (!sync.sync || sync.sync->trouble() == sync.told) return;
    sync.told = sync.sync->trouble();
    QMutexLocker lock(&sink.mutex);
    if (StoreLink *link = sink.link; link && !sync.told.isEmpty())
        QMetaObject::invokeMethod(
            link, [link, text = sync.told] { emit link->trouble(text); }, Qt::QueuedConnection);
}

void StoreLink::read(std::function<std::function<void()>(HistoryStore &)> job)
{
    auto store = m_store;
    auto sink = m_sink;
    auto sync = m_sync;
    m_writer->post([store, sink, sync, job = std::move(job)] {
        std::function<void()> then = job(*store);
        tellSync(*sync, *sink);
        QMutexLocker lock(&sink->mutex);
        if (StoreLink *link = sink->link)
            QMetaObject::invokeMethod(link, std::move(then), Qt::QueuedConnection);
        return DiskWriter::Outcome::Done;
    });
}

RecordingInfo StoreLink::recording(const QString &name, const QString &folder)
{
    RecordingInfo info = m_reader.recording(name, folder);
    report(m_reader.trouble(), m_reader.setAsidePath(), m_reader.rescuedRows());
    return info;
}

std::optional<KeptSettings> StoreLink::settings(SettingsOf of, const QString &key)
{
    std::optional<KeptSettings> kept = m_reader.settings(of, key);
    report(m_reader.trouble(), m_reader.setAsidePath(), m_reader.rescuedRows());
    return kept;
}

QString StoreLink::exactName(const QString &storedForm,
                             const std::function<QString(const QString &)> &toStoredForm)
{
    return m_reader.exactName(storedForm, toStoredForm);
}

QString StoreLink::keyOfPath(const QString &path)
{
    return m_reader.keyOfPath(path);
}

void StoreLink::wait(const Stretch &stretch)
{
    // A later form of a stretch (the open one kept again, or ended)
    // replaces the one waiting.
    m_waiting.log.removeIf([&stretch](const Stretch &s) {
        return s.name == stretch.name && s.wallStartMs == stretch.wallStartMs &&
               s.start == stretch.start;
    });
    m_waiting.log << stretch;
    startWaiting();
}

void StoreLink::wait(SettingsOf of, const QString &key, const KeptSettings &settings)
{
    const HistoryStore::SettingsChange change{of, key, settings};
    // The newest settings of a medium or folder replace those waiting.
    m_waiting.settings.removeIf([&](const HistoryStore::SettingsChange &c) {
        return c.of == change.of && c.key == change.key;
    });
    m_waiting.settings.append(change);
    startWaiting();
}

void StoreLink::wait(const Sighting &sighting)
{
    m_waiting.seen.removeIf([&](const Sighting &s) { return s.path == sighting.path; });
    m_waiting.seen.append(sighting);
    startWaiting();
}

void StoreLink::learn(const Sighting &sighting)
{
    // A record that moves goes before anything is kept under the key.
    if (sighting.movedFrom.isEmpty())
        wait(sighting);
    else
        post([sighting](HistoryStore &store) { store.see(sighting); });
}

void StoreLink::startWaiting()
{
    if (!m_waitTimer->isActive()) m_waitTimer->start();
}

void StoreLink::dropWaiting(const QString &id)
{
    if (id.isEmpty())
        m_waiting.log.clear();
    else
        m_waiting.log.removeIf([&id](const Stretch &s) {
            return (s.recording.isEmpty() ? s.name : s.recording) == id;
        });
}

void StoreLink::flushWaiting()
{
    m_waitTimer->stop();
    if (m_waiting.isEmpty()) return;
    post([extra = std::exchange(m_waiting, {})](HistoryStore &store) { store.write(extra); });
}

void StoreLink::report(HistoryStore::Trouble kind, const QString &setAsidePath, int rescued)
{
    if (kind == HistoryStore::Trouble::None || m_told.contains(int(kind))) return;
    m_told.insert(int(kind));
    using T = HistoryStore::Trouble;
    QString text;
    switch (kind) {
    case T::None:
        return;
    case T::Busy:
        text = QStringLiteral("再生位置の記録を保存できません（ほかのプログラムが使用中）。"
                              "使えるようになりしだい保存します");
        break;
    case T::ReadOnly:
        text = QStringLiteral("再生位置の記録（History.db）は読み取り専用です。新しい位置は保存"
                              "されません");
        break;
    case T::Unwritable:
        text = QStringLiteral("再生位置の記録を保存できません（フォルダーに書き込めません）");
        break;
    case T::Newer:
        text = QStringLiteral("再生位置の記録（History.db）は新しい版のものなので使いません");
        break;
    case T::SetAside:
        text = QStringLiteral("再生位置の記録が壊れていたため %1 に移し、新しく始めました")
                   .arg(QDir::toNativeSeparators(setAsidePath));
        if (rescued > 0) text += QStringLiteral("（%1 件の記録を引き継ぎました）").arg(rescued);
        break;
    case T::NoDriver:
        text = QStringLiteral("再生位置の記録を使えません（SQLite のドライバがありません）");
        break;
    }
    emit trouble(text);
}

// ---- the synced folder ----------------------------------------------------------

void StoreLink::setSync(const SyncSettings &settings, std::function<qint64()> nowMs)
{
    m_syncing = !settings.folder.isEmpty() && !settings.device.isEmpty();
    auto sync = m_sync;
    post([sync, settings, nowMs, on = m_syncing](HistoryStore &store) {
        if (!on) {
            sync->sync.reset();
            store.setWatcher({});
            return;
        }
        sync->sync = std::make_unique<Sync>(settings, nowMs);
        store.setWatcher([sync](const QList<HistoryStore::Change> &changes) {
            if (sync->sync) sync->sync->changed(changes);
        });
    });
    delete m_watcher;
    m_watcher = nullptr;
    if (!m_syncTimer) {
        m_syncTimer = new QTimer(this);
        m_syncTimer->setSingleShot(true);
        connect(m_syncTimer, &QTimer::timeout, this, [this] { syncNow(); });
    }
    m_syncTimer->stop();
}

void StoreLink::setSharing(bool on)
{
    auto sync = m_sync;
    post([sync, on](HistoryStore &) {
        if (sync->sync) sync->sync->setSharing(on);
    });
}

void StoreLink::syncNow(std::function<void(const QStringList &)> then)
{
    if (!m_syncing) {
        if (then) then({});
        return;
    }
    m_syncTimer->stop();
    auto sync = m_sync;
    // (What read() returns runs only while this link lives.)
    read([this, sync, then = std::move(then)](HistoryStore &store) -> std::function<void()> {
        QStringList changed;
        QStringList watched;
        if (sync->sync) {
            changed = sync->sync->update(store);
            watched = sync->sync->directories();
        }
        return [this, changed, watched, then] {
            // The folder watched anew: devices come.
            watchFolder(watched);
            if (!changed.isEmpty()) emit synced(changed);
            if (then) then(changed);
        };
    });
}

void StoreLink::watchFolder(const QStringList &paths)
{
    if (!m_syncing) return;
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        auto soon = [this] {
            // Changes come in bursts (a sync tool writes several files).
            m_syncTimer->start(500);
        };
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, soon);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, soon);
    }
    const QStringList watched = m_watcher->directories();
    for (const QString &path : std::as_const(paths))
        if (!watched.contains(path)) m_watcher->addPath(path);
    // A folder whose changes are not told (a network share) is looked at
    // now and then.
    if (!m_syncTimer->isActive()) m_syncTimer->start(PollMs);
}
