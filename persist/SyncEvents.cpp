// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/SyncEvents.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

// ---- the clock ----------------------------------------------------------------

SyncStamp HybridClock::next(qint64 wallMs)
{
    if (wallMs > m_wallMs) {
        m_wallMs = wallMs;
        m_counter = 0;
    } else {
        ++m_counter;
    }
    return {m_wallMs, m_counter, m_device};
}

void HybridClock::see(const SyncStamp &stamp)
{
    if (stamp.wallMs > m_wallMs || (stamp.wallMs == m_wallMs && stamp.counter > m_counter)) {
        m_wallMs = stamp.wallMs;
        m_counter = stamp.counter;
    }
}

// ---- one line -----------------------------------------------------------------

namespace
{

const char *const kKinds[] = {"place", "heard", "clear", "set", "rec", "log", "unlog"};

QJsonValue optional(const std::optional<double> &v)
{
    return v && std::isfinite(*v) ? QJsonValue(*v) : QJsonValue();
}
QJsonValue optional(const std::optional<bool> &v)
{
    return v ? QJsonValue(*v) : QJsonValue();
}
std::optional<double> optionalDouble(const QJsonValue &v)
{
    if (!v.isDouble()) return std::nullopt;
    return v.toDouble();
}
std::optional<bool> optionalBool(const QJsonValue &v)
{
    if (!v.isBool()) return std::nullopt;
    return v.toBool();
}
double finite(const QJsonValue &v)
{
    const double d = v.toDouble();
    return std::isfinite(d) && d > 0 ? d : 0.0;
}

QJsonArray rangesJson(const QList<ListenedRange> &ranges)
{
    QJsonArray out;
    for (const ListenedRange &r : ranges)
        out.append(QJsonArray{r.start, r.end});
    return out;
}

} // namespace

QByteArray encodeEvent(const SyncEvent &e)
{
    QJsonObject o{{QStringLiteral("k"), QLatin1String(kKinds[int(e.kind)])},
                  {QStringLiteral("key"), e.key},
                  {QStringLiteral("t"), double(e.stamp.wallMs)},
                  {QStringLiteral("c"), e.stamp.counter},
                  {QStringLiteral("d"), e.stamp.device}};
    using K = SyncEvent::Kind;
    switch (e.kind) {
    case K::Place:
        o.insert(QStringLiteral("pos"), e.position);
        o.insert(QStringLiteral("dur"), e.duration);
        if (e.finished) o.insert(QStringLiteral("fin"), true);
        break;
    case K::Heard:
        o.insert(QStringLiteral("r"), rangesJson(e.ranges));
        break;
    case K::Settings:
        o.insert(QStringLiteral("speed"), optional(e.settings.speed));
        o.insert(QStringLiteral("boost"), optional(e.settings.voiceBoost));
        o.insert(QStringLiteral("skip"), optional(e.settings.skipSilence));
        break;
    case K::Record:
        o.insert(QStringLiteral("id"), e.recordId);
        if (e.removed) {
            o.insert(QStringLiteral("del"), true);
        } else {
            o.insert(QStringLiteral("time"), e.record.time);
            o.insert(QStringLiteral("ms"), double(e.record.ms));
            o.insert(QStringLiteral("text"), e.record.comment);
        }
        break;
    case K::Stretch:
        o.insert(QStringLiteral("seq"), double(e.seq));
        o.insert(QStringLiteral("r"), rangesJson({{e.stretch.start, e.stretch.end}}));
        o.insert(QStringLiteral("ws"), double(e.stretch.wallStartMs));
        o.insert(QStringLiteral("we"), double(e.stretch.wallEndMs));
        o.insert(QStringLiteral("speed"), e.stretch.speed);
        o.insert(QStringLiteral("skip"), e.stretch.skipped);
        if (!e.stretch.name.isEmpty()) o.insert(QStringLiteral("file"), e.stretch.name);
        break;
    case K::Cleared:
    case K::Unlogged:
        break;
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<SyncEvent> decodeEvent(QByteArrayView line)
{
    const QJsonObject o = QJsonDocument::fromJson(line.toByteArray()).object();
    SyncEvent e;
    const QString kind = o.value(QStringLiteral("k")).toString();
    const auto *found = std::find_if(std::begin(kKinds), std::end(kKinds),
                                     [&](const char *k) { return kind == QLatin1String(k); });
    e.key = o.value(QStringLiteral("key")).toString();
    e.stamp = {qint64(o.value(QStringLiteral("t")).toDouble()),
               o.value(QStringLiteral("c")).toInt(), o.value(QStringLiteral("d")).toString()};
    if (found == std::end(kKinds) || e.key.isEmpty() || e.stamp.device.isEmpty()) return {};
    e.kind = SyncEvent::Kind(found - std::begin(kKinds));
    QList<ListenedRange> ranges;
    for (const QJsonValue &r : o.value(QStringLiteral("r")).toArray())
        ranges.append({finite(r.toArray().at(0)), finite(r.toArray().at(1))});
    using K = SyncEvent::Kind;
    switch (e.kind) {
    case K::Place:
        e.position = finite(o.value(QStringLiteral("pos")));
        e.duration = finite(o.value(QStringLiteral("dur")));
        e.finished = o.value(QStringLiteral("fin")).toBool();
        break;
    case K::Heard:
        e.ranges = mergeRanges(ranges);
        break;
    case K::Settings:
        e.settings.speed = optionalDouble(o.value(QStringLiteral("speed")));
        e.settings.voiceBoost = optionalBool(o.value(QStringLiteral("boost")));
        e.settings.skipSilence = optionalBool(o.value(QStringLiteral("skip")));
        break;
    case K::Record:
        e.recordId = o.value(QStringLiteral("id")).toString();
        if (e.recordId.isEmpty()) return {};
        e.removed = o.value(QStringLiteral("del")).toBool();
        e.record = {o.value(QStringLiteral("time")).toString(),
                    o.value(QStringLiteral("text")).toString(),
                    qint64(o.value(QStringLiteral("ms")).toDouble(-1))};
        break;
    case K::Stretch:
        if (ranges.size() != 1) return {};
        e.seq = qint64(o.value(QStringLiteral("seq")).toDouble());
        e.stretch = {o.value(QStringLiteral("file")).toString(),
                     ranges[0].start,
                     ranges[0].end,
                     qint64(o.value(QStringLiteral("ws")).toDouble()),
                     qint64(o.value(QStringLiteral("we")).toDouble()),
                     o.value(QStringLiteral("speed")).toDouble(1.0),
                     finite(o.value(QStringLiteral("skip"))),
                     e.key};
        break;
    case K::Cleared:
    case K::Unlogged:
        break;
    }
    return e;
}

// ---- the merge -----------------------------------------------------------------

bool SyncState::apply(const SyncEvent &event, bool mark)
{
    if (event.key.isEmpty()) return false;
    if (!applyTo(m_entries[event.key], event)) return false;
    if (mark) m_changed.insert(event.key);
    return true;
}

bool SyncState::applyTo(Entry &e, const SyncEvent &ev)
{
    const SyncStamp &at = ev.stamp;
    using K = SyncEvent::Kind;
    switch (ev.kind) {
    case K::Place:
        if (e.place && !(e.place->stamp < at)) return false;
        e.place = PlaceValue{at, ev.position, ev.duration, ev.finished};
        return true;
    case K::Heard: {
        if (ev.ranges.isEmpty() || (e.cleared && at < *e.cleared)) return false;
        const bool known = std::any_of(e.heard.cbegin(), e.heard.cend(),
                                       [&](const auto &h) { return h.first == at; });
        if (known) return false;
        e.heard.append({at, ev.ranges});
        return true;
    }
    case K::Cleared:
        if (e.cleared && !(*e.cleared < at)) return false;
        e.cleared = at;
        e.heard.removeIf([&](const auto &h) { return h.first < at; });
        return true;
    case K::Settings:
        if (e.settings && !(e.settings->stamp < at)) return false;
        e.settings = SettingsValue{at, ev.settings};
        return true;
    case K::Record: {
        auto it = e.records.find(ev.recordId);
        if (it != e.records.end() && !(it->stamp < at)) return false;
        e.records.insert(ev.recordId, {at, ev.record, ev.removed});
        return true;
    }
    case K::Stretch: {
        if (e.unlogged && at < *e.unlogged) return false;
        const QPair<QString, qint64> id{at.device, ev.seq};
        auto it = e.log.find(id);
        if (it != e.log.end() && !(it->stamp < at)) return false;
        e.log.insert(id, {at, ev.seq, ev.stretch});
        return true;
    }
    case K::Unlogged:
        if (e.unlogged && !(*e.unlogged < at)) return false;
        e.unlogged = at;
        e.log.removeIf([&](const auto &it) { return it.value().stamp < at; });
        return true;
    }
    return false;
}

QStringList SyncState::keys() const
{
    QStringList keys = m_entries.keys();
    keys.sort();
    return keys;
}

std::optional<SyncState::PlaceValue> SyncState::place(const QString &key) const
{
    const auto it = m_entries.constFind(key);
    return it == m_entries.cend() ? std::nullopt : it->place;
}

QList<ListenedRange> SyncState::heard(const QString &key) const
{
    QList<ListenedRange> all;
    const auto it = m_entries.constFind(key);
    if (it != m_entries.cend())
        for (const auto &h : it->heard)
            all += h.second;
    return mergeRanges(all);
}

std::optional<SyncStamp> SyncState::cleared(const QString &key) const
{
    const auto it = m_entries.constFind(key);
    return it == m_entries.cend() ? std::nullopt : it->cleared;
}

std::optional<SyncState::SettingsValue> SyncState::settings(const QString &key) const
{
    const auto it = m_entries.constFind(key);
    return it == m_entries.cend() ? std::nullopt : it->settings;
}

bool SyncState::hasRecords(const QString &key) const
{
    const auto it = m_entries.constFind(key);
    return it != m_entries.cend() && !it->records.isEmpty();
}

QList<QPair<QString, PositionRecord>> SyncState::records(const QString &key) const
{
    QList<QPair<QString, PositionRecord>> live;
    const auto it = m_entries.constFind(key);
    if (it == m_entries.cend()) return live;
    for (auto r = it->records.cbegin(); r != it->records.cend(); ++r)
        if (!r->removed) live.append({r.key(), r->record});
    std::sort(live.begin(), live.end(), [](const auto &a, const auto &b) {
        if (a.second.time != b.second.time) return a.second.time < b.second.time;
        if (a.second.ms != b.second.ms) return a.second.ms < b.second.ms;
        return a.first < b.first;
    });
    return live;
}

QList<SyncState::StretchValue> SyncState::stretches(const QString &key) const
{
    QList<StretchValue> live;
    const auto it = m_entries.constFind(key);
    if (it == m_entries.cend()) return live;
    for (const StretchValue &s : it->log)
        live.append(s);
    std::sort(live.begin(), live.end(), [](const StretchValue &a, const StretchValue &b) {
        return a.stamp.device != b.stamp.device ? a.stamp.device < b.stamp.device : a.seq < b.seq;
    });
    return live;
}

std::optional<SyncStamp> SyncState::unlogged(const QString &key) const
{
    const auto it = m_entries.constFind(key);
    return it == m_entries.cend() ? std::nullopt : it->unlogged;
}

QList<SyncEvent> SyncState::recordEdits(const QString &key, const QList<PositionRecord> &wanted,
                                        HybridClock &clock, qint64 wallMs) const
{
    QList<QPair<QString, PositionRecord>> old = records(key);
    QList<PositionRecord> added;
    for (const PositionRecord &r : wanted) {
        const auto same =
            std::find_if(old.begin(), old.end(), [&](const auto &o) { return o.second == r; });
        if (same != old.end())
            old.erase(same);
        else
            added.append(r);
    }
    QList<SyncEvent> edits;
    auto edit = [&](const QString &id, const PositionRecord &record, bool removed) {
        SyncEvent e{SyncEvent::Kind::Record, key, clock.next(wallMs)};
        e.recordId = id.isEmpty() ? QStringLiteral("%1-%2-%3")
                                        .arg(e.stamp.device)
                                        .arg(e.stamp.wallMs)
                                        .arg(e.stamp.counter)
                                  : id;
        e.record = record;
        e.removed = removed;
        edits.append(e);
    };
    for (const PositionRecord &r : std::as_const(added)) {
        // A comment changed: the record at the same time keeps its id.
        const auto sameTime = std::find_if(old.begin(), old.end(), [&](const auto &o) {
            return o.second.time == r.time && o.second.ms == r.ms;
        });
        if (sameTime != old.end()) {
            edit(sameTime->first, r, false);
            old.erase(sameTime);
        } else {
            edit(QString(), r, false);
        }
    }
    for (const auto &gone : std::as_const(old))
        edit(gone.first, gone.second, true);
    return edits;
}

QList<SyncEvent> SyncState::eventsOf(const QString &device) const
{
    using K = SyncEvent::Kind;
    QList<SyncEvent> out;
    for (const QString &key : keys()) {
        const Entry &e = m_entries[key];
        auto add = [&](K kind, const SyncStamp &at) -> SyncEvent & {
            out.append(SyncEvent{kind, key, at});
            return out.last();
        };
        if (e.cleared && e.cleared->device == device) add(K::Cleared, *e.cleared);
        if (e.unlogged && e.unlogged->device == device) add(K::Unlogged, *e.unlogged);
        if (e.place && e.place->stamp.device == device) {
            SyncEvent &p = add(K::Place, e.place->stamp);
            p.position = e.place->position;
            p.duration = e.place->duration;
            p.finished = e.place->finished;
        }
        for (const auto &h : e.heard)
            if (h.first.device == device) add(K::Heard, h.first).ranges = h.second;
        if (e.settings && e.settings->stamp.device == device)
            add(K::Settings, e.settings->stamp).settings = e.settings->settings;
        for (auto r = e.records.cbegin(); r != e.records.cend(); ++r) {
            if (r->stamp.device != device) continue;
            SyncEvent &ev = add(K::Record, r->stamp);
            ev.recordId = r.key();
            ev.record = r->record;
            ev.removed = r->removed;
        }
        for (const StretchValue &st : e.log) {
            if (st.stamp.device != device) continue;
            SyncEvent &ev = add(K::Stretch, st.stamp);
            ev.seq = st.seq;
            ev.stretch = st.stretch;
        }
    }
    return out;
}

QByteArray SyncState::digest() const
{
    QByteArray out;
    for (const QString &key : keys()) {
        SyncEvent e{SyncEvent::Kind::Place, key, {}};
        out += key.toUtf8() + '\n';
        if (const auto p = place(key)) {
            e.stamp = p->stamp;
            e.position = p->position;
            e.duration = p->duration;
            e.finished = p->finished;
            out += encodeEvent(e) + '\n';
        }
        if (const auto s = settings(key)) {
            e.kind = SyncEvent::Kind::Settings;
            e.stamp = s->stamp;
            e.settings = s->settings;
            out += encodeEvent(e) + '\n';
        }
        for (const ListenedRange &r : heard(key))
            out += QByteArray::number(r.start) + '-' + QByteArray::number(r.end) + ' ';
        for (const auto &r : records(key))
            out += '\n' + r.first.toUtf8() + ' ' + r.second.time.toUtf8() + ' ' +
                   QByteArray::number(r.second.ms) + ' ' + r.second.comment.toUtf8();
        for (const StretchValue &s : stretches(key))
            out += '\n' + s.stamp.device.toUtf8() + ' ' + QByteArray::number(s.seq) + ' ' +
                   QByteArray::number(s.stretch.end);
        out += '\n';
    }
    return out;
}
