// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/PlaceKeeper.h"

#include "persist/CloseSteps.h"
#include "persist/IniFile.h"
#include "persist/ProgramDir.h"
#include "persist/ResumeJournal.h"
#include "persist/StoreLink.h"
#include "player/PlayState.h"

#include <QFile>
#include <QTimer>

bool PlaybackSnapshot::placed() const
{
    return !name.isEmpty() && (state == PlayStates::Playing || state == PlayStates::Paused);
}

PlaceKeeper::PlaceKeeper(StoreLink *link, const QString &dir, Source source,
                         std::function<qint64()> nowMs, QObject *parent)
    : QObject(parent), m_link(link), m_source(std::move(source)), m_now(std::move(nowMs))
{
    m_journal = new ResumeJournal(programFile(dir, QString::fromUtf8(kJournalFile)), this);
    m_journal->setWriter(link->writer());
    m_journal->setSource([this]() -> std::optional<ResumeJournal::Record> {
        const std::optional<PlaybackSnapshot> s = snapshot();
        if (!s || !s->placed()) return std::nullopt;
        return ResumeJournal::Record{s->name, s->position};
    });
    // The place store keeps the place at each of the journal's ticks.
    connect(m_journal->timer(), &QTimer::timeout, this, &PlaceKeeper::keep);
}

PlaceKeeper::~PlaceKeeper() = default;

std::optional<PlaybackSnapshot> PlaceKeeper::snapshot() const
{
    try {
        return m_source();
    } catch (const std::exception &) {
        // The player refused a read: the next occasion keeps the place.
        return std::nullopt;
    }
}

// ---- during the run ---------------------------------------------------------

void PlaceKeeper::keep()
{
    if (m_journal->closed()) return;
    if (m_beforeKeep) m_beforeKeep();
    const std::optional<PlaybackSnapshot> s = snapshot();
    if (!s || !s->placed()) return;
    // Unchanged since the last time (a paused medium): nothing to write.
    const std::optional<double> offered = m_offered ? m_offered() : std::nullopt;
    if (m_keptName == s->name && m_keptPosition == s->position && m_keptListened == s->listened &&
        m_keptOffered == offered)
        return;
    const double place = offered && s->position < *offered ? *offered : s->position;
    const qint64 now = m_now();
    if (s->duration > 0 && s->position >= s->duration - MarginSeconds) {
        keepFinished(*s, now);
    } else if (m_finished.contains(s->id()) && place <= MarginSeconds) {
        // A finished medium played again from its start, no further than
        // the margin: it stays finished; what was heard is kept.
        Written &w = m_written[s->id()];
        w.ranges = mergeRanges(w.ranges + s->listened);
        m_link->post([name = s->id(), listened = s->listened, now](HistoryStore &store) {
            store.addRanges(name, listened, now);
        });
    } else {
        m_finished.remove(s->id());
        Written &w = m_written[s->id()];
        w.placeKnown = true;
        w.ranges = mergeRanges(w.ranges + s->listened);
        w.place = place;
        w.placeMs = now;
        // The stretches played and settings kept since go in the same
        // transaction.
        m_link->postWithWaiting(
            [name = s->id(), listened = s->listened, now, position = place,
             duration = s->duration](HistoryStore &store, const HistoryStore::Extra &extra) {
                store.keepPlace(name, position, duration, now, listened, extra);
            });
    }
    m_keptName = s->name;
    m_keptPosition = s->position;
    m_keptListened = s->listened;
    m_keptOffered = offered;
}

// Heard to its end: the ranges are kept, the place is forgotten.
void PlaceKeeper::keepFinished(const PlaybackSnapshot &s, qint64 now)
{
    Written &w = m_written[s.id()];
    w.placeKnown = true;
    w.place.reset();
    w.ranges = mergeRanges(w.ranges + s.listened);
    m_finished.insert(s.id());
    // With its length, so that the share heard is known also of a medium
    // heard whole before any place of it was kept.
    m_link->post(
        [name = s.id(), listened = s.listened, now, duration = s.duration](HistoryStore &store) {
            if (duration > 0)
                store.keepPlace(name, 0.0, duration, now, listened);
            else
                store.addRanges(name, listened, now);
            if (store.trouble() == HistoryStore::Trouble::None) store.clearPlace(name);
        });
}

void PlaceKeeper::finished()
{
    if (m_journal->closed()) return;
    const std::optional<PlaybackSnapshot> s = snapshot();
    if (!s || s->name.isEmpty()) return;
    keepFinished(*s, m_now());
    m_keptName.clear();
}

RecordingInfo PlaceKeeper::recording(const QString &name, const QString &folder)
{
    RecordingInfo info = m_link->recording(name, folder);
    const auto written = m_written.constFind(info.id);
    if (written != m_written.cend()) {
        if (written->rangesCleared)
            info.ranges = written->ranges;
        else
            info.ranges = mergeRanges(info.ranges + written->ranges);
        // A place that another computer kept since stands.
        const bool newerThere =
            info.place && !info.place->device.isEmpty() && info.place->playedMs > written->placeMs;
        if (written->placeKnown && !newerThere) {
            if (written->place)
                info.place = Place{*written->place, info.place ? info.place->duration : 0.0,
                                   written->placeMs};
            else
                info.place.reset();
        }
    }
    // Heard to its end before: no place, what was heard kept.
    if (!info.place && !info.ranges.isEmpty()) m_finished.insert(info.id);
    return info;
}

std::optional<double> PlaceKeeper::placeToOffer(const RecordingInfo &info)
{
    if (info.place && info.place->position > MarginSeconds) return info.place->position;
    return std::nullopt;
}

std::optional<double> PlaceKeeper::placeToOffer(const QString &name)
{
    return placeToOffer(recording(name, QString()));
}

void PlaceKeeper::forgetListened(const QString &id)
{
    Written &w = m_written[id];
    w.rangesCleared = true;
    w.ranges.clear();
    m_keptListened.clear();
    m_link->post([id](HistoryStore &store) { store.clearRanges(id); });
}

bool PlaceKeeper::recoverJournal(const QString &resumePath)
{
    return m_journal->recover(resumePath);
}

// ---- the close --------------------------------------------------------------

bool PlaceKeeper::saveOrDropResume(bool saveClicked, const QString &resumePath,
                                   const std::function<void()> &releaseMedium,
                                   QStringList &failures)
{
    PlaybackSnapshot s;
    // SaveClicked first; the player is not asked when it is set.
    const bool decided = closeStep(failures, [&] {
        if (!saveClicked) s = m_source();
    });
    if (!decided) return false;
    const bool save =
        saveClicked || s.state == PlayStates::Playing || s.state == PlayStates::Paused;
    if (!save) {
        closeStep(failures, [&] {
            if (releaseMedium) releaseMedium();
        });
        if (QFile::exists(resumePath)) QFile::remove(resumePath);
        return true;
    }
    bool settled = false;
    closeStep(failures, [&] {
        if (saveClicked) s = m_source();
        settled = true;
        if (s.name.isEmpty()) return;
        settled = false;
        IniFile(resumePath).writeResumeRecord(s.name, s.position);
        settled = true;
    });
    closeStep(failures, [&] {
        if (!s.name.isEmpty() && releaseMedium) releaseMedium();
    });
    return settled;
}

void PlaceKeeper::settle(bool settled)
{
    // Only a place where it belongs lets the journal go.
    if (settled)
        m_journal->remove();
    else
        m_journal->close();
}
