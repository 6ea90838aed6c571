// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/Sync.h"

#include "persist/IniFile.h"
#include "persist/SettingsKeys.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSysInfo>

Sync::Sync(SyncSettings settings, std::function<qint64()> nowMs)
    : m_settings(std::move(settings)), m_now(std::move(nowMs)),
      m_folder(m_settings.folder, m_settings.device, m_settings.deviceName),
      m_clock(m_settings.device)
{
}

QList<SyncEvent> Sync::eventsOf(const HistoryStore::Change &c, qint64 now)
{
    using K = HistoryStore::Change::Kind;
    using E = SyncEvent::Kind;
    QList<SyncEvent> events;
    auto event = [&](E kind) -> SyncEvent & {
        events.append(SyncEvent{kind, c.id, m_clock.next(now)});
        return events.last();
    };
    switch (c.kind) {
    case K::Place: {
        SyncEvent &e = event(E::Place);
        e.position = c.position;
        e.duration = c.duration;
        break;
    }
    case K::Finished: {
        // The length stays as it was known.
        const std::optional<SyncState::PlaceValue> was = m_state.place(c.id);
        SyncEvent &e = event(E::Place);
        e.duration = was ? was->duration : 0.0;
        e.finished = true;
        break;
    }
    case K::Heard:
        event(E::Heard).ranges = c.ranges;
        break;
    case K::Cleared:
        event(E::Cleared);
        break;
    case K::Settings:
        event(E::Settings).settings = c.settings;
        break;
    case K::Records:
        events += m_state.recordEdits(c.id, c.records, m_clock, now);
        break;
    case K::Stretch: {
        SyncEvent &e = event(E::Stretch);
        // Known on its device by when it began; only its file's name goes.
        e.seq = c.stretch.wallStartMs;
        e.stretch = c.stretch;
        e.stretch.name = QFileInfo(c.stretch.name).fileName();
        e.stretch.recording = c.id;
        break;
    }
    case K::Unlogged:
        event(E::Unlogged);
        break;
    }
    return events;
}

void Sync::changed(const QList<HistoryStore::Change> &changes)
{
    if (!m_sharing) return;
    const qint64 now = m_now();
    QList<SyncEvent> events;
    for (const HistoryStore::Change &c : changes) {
        if (c.kind == HistoryStore::Change::Kind::Unlogged && c.id.isEmpty()) {
            // The whole log cleared: that of every recording shared.
            for (const QString &key : m_state.keys())
                events += eventsOf({HistoryStore::Change::Kind::Unlogged, key}, now);
            continue;
        }
        if (!HistoryStore::shared(c.id)) continue;
        const QList<SyncEvent> made = eventsOf(c, now);
        // (What this device did is in its store already.)
        for (const SyncEvent &e : made)
            m_state.apply(e, false);
        events += made;
    }
    if (!events.isEmpty()) m_folder.append(events);
}

QStringList Sync::update(HistoryStore &store)
{
    if (!m_started) {
        m_started = true;
        m_folder.read(m_state, m_clock);
        // A device new to the folder brings what it kept before.
        if (m_sharing && m_folder.fresh() && m_folder.trouble().isEmpty())
            changed(store.keptChanges());
    } else {
        m_folder.read(m_state, m_clock);
        // Events that waited for the folder to come back.
        if (m_folder.waiting()) m_folder.append({});
    }
    // Grown large: this device's files become one, with only what counts.
    if (m_sharing && m_folder.ownBytes() > CompactBytes)
        m_folder.compact(m_state.eventsOf(m_settings.device));
    const QSet<QString> keys = m_state.takeChanged();
    QList<HistoryStore::Remote> remotes;
    for (const QString &key : keys)
        remotes.append(remoteOf(key));
    store.takeIn(remotes);
    QStringList ids(keys.cbegin(), keys.cend());
    ids.sort();
    return ids;
}

QStringList Sync::directories() const
{
    QStringList paths;
    if (!QFileInfo(m_settings.folder).isDir()) return paths;
    paths << m_settings.folder;
    const QDir root(QDir(m_settings.folder).filePath(QStringLiteral("pelmora")));
    if (!root.exists()) return paths;
    paths << root.path();
    for (const QString &device : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        paths << root.filePath(device);
    return paths;
}

HistoryStore::Remote Sync::remoteOf(const QString &key) const
{
    HistoryStore::Remote r;
    r.id = key;
    const QString &me = m_settings.device;
    if (const auto place = m_state.place(key); place && place->stamp.device != me) {
        r.place = Place{place->position, place->duration, place->stamp.wallMs,
                        m_folder.deviceName(place->stamp.device)};
        r.finished = place->finished;
    }
    r.heard = m_state.heard(key);
    // What this device heard is among the state only while it shares.
    if (const auto cleared = m_state.cleared(key); cleared && cleared->device != me)
        r.clearedThere = m_sharing;
    if (const auto settings = m_state.settings(key); settings && settings->stamp.device != me)
        r.settings = settings->settings;
    if (m_state.hasRecords(key)) {
        QList<PositionRecord> records;
        for (const auto &rec : m_state.records(key))
            records.append(rec.second);
        r.records = records;
    }
    for (const SyncState::StretchValue &s : m_state.stretches(key))
        if (s.stamp.device != me) r.log.append({s.stamp.device, s.seq, s.stretch});
    if (const auto unlogged = m_state.unlogged(key); unlogged && unlogged->device != me)
        r.unloggedMs = unlogged->wallMs;
    return r;
}

SyncSettings SyncSettings::read(const QString &settingsPath)
{
    IniFile ini(settingsPath);
    SyncSettings s{ini.readString(SettingsKeys::SyncFolder),
                   ini.readString(SettingsKeys::SyncDevice),
                   ini.readString(SettingsKeys::SyncDeviceName)};
    if (s.folder.isEmpty()) return s;
    if (s.device.isEmpty()) {
        // 64 random bits: no two installations meet with one.
        s.device = QString::number(QRandomGenerator::system()->generate64(), 16)
                       .rightJustified(16, QLatin1Char('0'));
        ini.writeString(SettingsKeys::SyncDevice, s.device);
    }
    if (s.deviceName.isEmpty()) {
        s.deviceName = QSysInfo::machineHostName();
        if (s.deviceName.isEmpty()) s.deviceName = s.device;
        ini.writeString(SettingsKeys::SyncDeviceName, s.deviceName);
    }
    return s;
}

SyncSettings SyncSettings::choose(const QString &settingsPath, const QString &folder)
{
    IniFile(settingsPath).writeString(SettingsKeys::SyncFolder, folder);
    return read(settingsPath);
}
