// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/PlaceKeeper.h"

#include "persist/AppError.h"
#include "persist/DiskWriter.h"
#include "persist/IniFile.h"
#include "persist/ProgramDir.h"
#include "persist/ResumeJournal.h"
#include "persist/SettingsKeys.h"
#include "player/PlayState.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTimer>

namespace
{

// Runs one step of the close; a failure is noted and the close goes on.
template <class Body> bool step(QStringList &failures, Body &&body)
{
    try {
        body();
        return true;
    } catch (const AppError &e) {
        failures << e.message();
    } catch (const std::exception &e) {
        failures << QString::fromLocal8Bit(e.what());
    }
    return false;
}

} // namespace

// Where the writer's jobs tell of trouble: the keeper while it lives.
struct PlaceKeeper::Sink {
    QMutex mutex;
    PlaceKeeper *keeper = nullptr;
};

bool PlaybackSnapshot::placed() const
{
    return !name.isEmpty() && (state == PlayStates::Playing || state == PlayStates::Paused);
}

PlaceKeeper::PlaceKeeper(const QString &dir, DiskWriter *writer, Source source,
                         std::function<qint64()> nowMs, QObject *parent)
    : QObject(parent), m_sink(std::make_shared<Sink>()), m_source(std::move(source)),
      m_now(std::move(nowMs)), m_writer(writer),
      m_reader(programFile(dir, QString::fromUtf8(kHistoryFile))),
      m_store(std::make_shared<HistoryStore>(programFile(dir, QString::fromUtf8(kHistoryFile))))
{
    // Reads here never wait long for another program's write.
    m_reader.setBusyTimeout(100);
    m_journal = new ResumeJournal(programFile(dir, QString::fromUtf8(kJournalFile)), this);
    m_journal->setWriter(writer);
    m_journal->setSource([this]() -> std::optional<ResumeJournal::Record> {
        const std::optional<PlaybackSnapshot> s = snapshot();
        if (!s || !s->placed()) return std::nullopt;
        return ResumeJournal::Record{s->name, s->position};
    });
    // The place store keeps the place at each of the journal's ticks.
    connect(m_journal->timer(), &QTimer::timeout, this, &PlaceKeeper::keep);
    m_logTimer = new QTimer(this);
    m_logTimer->setSingleShot(true);
    m_logTimer->setInterval(LogFlushMs);
    connect(m_logTimer, &QTimer::timeout, this, &PlaceKeeper::flushLog);
    m_sink->keeper = this;
}

PlaceKeeper::~PlaceKeeper()
{
    QMutexLocker lock(&m_sink->mutex);
    m_sink->keeper = nullptr;
}

std::optional<PlaybackSnapshot> PlaceKeeper::snapshot() const
{
    try {
        return m_source();
    } catch (const std::exception &) {
        // The player refused a read: the next occasion keeps the place.
        return std::nullopt;
    }
}

void PlaceKeeper::post(std::function<void(HistoryStore &)> write)
{
    auto store = m_store;
    auto sink = m_sink;
    m_writer->post([store, sink, write = std::move(write)] {
        write(*store);
        const HistoryStore::Trouble kind = store->trouble();
        if (kind != HistoryStore::Trouble::None) {
            QMutexLocker lock(&sink->mutex);
            if (PlaceKeeper *keeper = sink->keeper)
                QMetaObject::invokeMethod(
                    keeper,
                    [keeper, kind, path = store->setAsidePath()] { keeper->report(kind, path); },
                    Qt::QueuedConnection);
        }
        // Locked by another program: the write waits and is tried again,
        // and the ones behind it wait with it.
        return kind == HistoryStore::Trouble::Busy ? DiskWriter::Outcome::Retry
                                                   : DiskWriter::Outcome::Done;
    });
}

void PlaceKeeper::report(HistoryStore::Trouble kind, const QString &setAsidePath)
{
    if (m_told.contains(int(kind))) return;
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
        break;
    case T::NoDriver:
        text = QStringLiteral("再生位置の記録を使えません（SQLite のドライバがありません）");
        break;
    }
    emit trouble(text);
}

// ---- during the run ---------------------------------------------------------

void PlaceKeeper::keep()
{
    if (m_journal->closed()) return;
    const std::optional<PlaybackSnapshot> s = snapshot();
    if (!s || !s->placed()) return;
    // Unchanged since the last time (a paused medium): nothing to write.
    if (m_keptName == s->name && m_keptPosition == s->position && m_keptListened == s->listened)
        return;
    const qint64 now = m_now();
    Written &w = m_written[s->name];
    w.placeKnown = true;
    w.ranges = mergeRanges(w.ranges + s->listened);
    const QString name = s->name;
    const QList<ListenedRange> listened = s->listened;
    if (s->duration > 0 && s->position >= s->duration - MarginSeconds) {
        w.place.reset();
        post([name, listened, now](HistoryStore &store) {
            store.addRanges(name, listened, now);
            if (store.trouble() == HistoryStore::Trouble::None) store.clearPlace(name);
        });
    } else {
        w.place = s->position;
        w.placeMs = now;
        // The stretches played and settings kept since go in the same
        // transaction.
        const HistoryStore::Extra extra = std::exchange(m_pending, {});
        m_logTimer->stop();
        post([name, listened, now, position = s->position, duration = s->duration,
              extra](HistoryStore &store) {
            store.keepPlace(name, position, duration, now, listened, extra);
        });
    }
    m_keptName = s->name;
    m_keptPosition = s->position;
    m_keptListened = s->listened;
}

void PlaceKeeper::finished()
{
    if (m_journal->closed()) return;
    const std::optional<PlaybackSnapshot> s = snapshot();
    if (!s || s->name.isEmpty()) return;
    Written &w = m_written[s->name];
    w.placeKnown = true;
    w.place.reset();
    w.ranges = mergeRanges(w.ranges + s->listened);
    post([name = s->name, listened = s->listened, now = m_now()](HistoryStore &store) {
        store.addRanges(name, listened, now);
        if (store.trouble() == HistoryStore::Trouble::None) store.clearPlace(name);
    });
    m_keptName.clear();
}

QList<ListenedRange> PlaceKeeper::listened(const QString &name)
{
    const auto written = m_written.constFind(name);
    if (written != m_written.cend() && written->rangesCleared) return written->ranges;
    QList<ListenedRange> ranges = m_reader.ranges(name);
    report(m_reader.trouble(), m_reader.setAsidePath());
    if (written != m_written.cend()) ranges = mergeRanges(ranges + written->ranges);
    return ranges;
}

std::optional<double> PlaceKeeper::placeToOffer(const QString &name)
{
    std::optional<double> place;
    const auto written = m_written.constFind(name);
    if (written != m_written.cend() && written->placeKnown) {
        place = written->place;
    } else if (const std::optional<HistoryStore::Place> kept = m_reader.place(name)) {
        place = kept->position;
    }
    report(m_reader.trouble(), m_reader.setAsidePath());
    if (place && *place > MarginSeconds) return place;
    return std::nullopt;
}

std::optional<qint64> PlaceKeeper::placeKeptAt(const QString &name)
{
    const auto written = m_written.constFind(name);
    if (written != m_written.cend() && written->placeKnown) {
        if (written->place) return written->placeMs;
        return std::nullopt;
    }
    if (const std::optional<HistoryStore::Place> kept = m_reader.place(name)) return kept->playedMs;
    return std::nullopt;
}

std::optional<HistoryStore::Settings> PlaceKeeper::settings(HistoryStore::SettingsOf of,
                                                            const QString &key)
{
    const auto written = m_settingsWritten.constFind({int(of), key});
    if (written != m_settingsWritten.cend()) return *written;
    std::optional<HistoryStore::Settings> kept = m_reader.settings(of, key);
    report(m_reader.trouble(), m_reader.setAsidePath());
    return kept;
}

void PlaceKeeper::keepSettings(HistoryStore::SettingsOf of, const QString &key,
                               const HistoryStore::Settings &settings)
{
    if (m_journal->closed() || key.isEmpty()) return;
    m_settingsWritten.insert({int(of), key}, settings);
    // With the next place kept, in its transaction.
    m_pending.settings.removeIf(
        [&](const HistoryStore::SettingsChange &c) { return c.of == of && c.key == key; });
    m_pending.settings.append({of, key, settings});
    if (!m_logTimer->isActive()) m_logTimer->start();
}

void PlaceKeeper::forgetListened(const QString &name)
{
    Written &w = m_written[name];
    w.rangesCleared = true;
    w.ranges.clear();
    m_keptListened.clear();
    m_pending.log.removeIf([&name](const HistoryStore::Stretch &s) { return s.name == name; });
    post([name](HistoryStore &store) {
        store.clearRanges(name);
        store.clearStretches(name);
    });
}

void PlaceKeeper::addStretch(const HistoryStore::Stretch &stretch)
{
    m_pending.log << stretch;
    if (!m_logTimer->isActive()) m_logTimer->start();
}

void PlaceKeeper::flushLog()
{
    m_logTimer->stop();
    if (m_pending.isEmpty()) return;
    post([extra = std::exchange(m_pending, {})](HistoryStore &store) { store.write(extra); });
}

void PlaceKeeper::readStudyLog(std::function<void(const QList<HistoryStore::Stretch> &,
                                                  const QList<HistoryStore::MediumRecord> &)>
                                   done)
{
    flushLog();
    auto store = m_store;
    auto sink = m_sink;
    m_writer->post([store, sink, done = std::move(done)] {
        const QList<HistoryStore::Stretch> stretches = store->stretches();
        const QList<HistoryStore::MediumRecord> media = store->media();
        QMutexLocker lock(&sink->mutex);
        if (PlaceKeeper *keeper = sink->keeper)
            QMetaObject::invokeMethod(
                keeper, [done, stretches, media] { done(stretches, media); }, Qt::QueuedConnection);
        return DiskWriter::Outcome::Done;
    });
}

void PlaceKeeper::eraseStudyLog()
{
    m_pending.log.clear();
    post([](HistoryStore &store) { store.clearStretches(QString()); });
}

QString PlaceKeeper::exactName(const QString &storedForm,
                               const std::function<QString(const QString &)> &toStoredForm)
{
    return m_reader.exactName(storedForm, toStoredForm);
}

bool PlaceKeeper::recoverJournal(const QString &resumePath)
{
    return m_journal->recover(resumePath);
}

// ---- the close --------------------------------------------------------------

void PlaceKeeper::saveSettings(const Closing &c, QStringList &failures)
{
    const IniFile settings(c.settingsPath);
    // The volume, and with it the playback speed.
    step(failures, [&] {
        if (c.volume) settings.writeInteger(SettingsKeys::Volume, *c.volume);
    });
    step(failures, [&] {
        if (!c.speed) return;
        settings.writeFloat(SettingsKeys::PlaybackSpeed, *c.speed);
        settings.writeBool(SettingsKeys::PlaybackSkipSilence, c.skipSilence);
        settings.writeBool(SettingsKeys::PlaybackVoiceBoost, c.voiceBoost);
    });
    // The recent list, or the history switched off.
    step(failures, [&] {
        if (c.recentDisabled) {
            settings.writeBool(SettingsKeys::RecentEnable, false);
            return;
        }
        for (int i = 1; i <= c.recentCount; ++i)
            settings.writeString(SettingsKeys::RecentFile,
                                 i <= c.recent.size() ? c.recent.at(i - 1) : QString(), i);
    });
    // The playlist state, only with auto-advance on.
    step(failures, [&] {
        if (!c.autoAdvance) return;
        const IniFile resume(c.resumePath);
        resume.writeBool(SettingsKeys::PlaylistEnabled, true);
        resume.writeInteger(SettingsKeys::PlaylistIndex, c.playlistIndex);
    });
}

// The resume record: written when the place is to be saved (the save-and-exit
// command, or a medium playing or paused), removed otherwise. Returns whether
// the place is where it belongs: written, or rightly not kept.
bool PlaceKeeper::saveOrDropResume(const Closing &c, QStringList &failures)
{
    PlaybackSnapshot s;
    // SaveClicked first; the player is not asked when it is set.
    const bool decided = step(failures, [&] {
        if (!c.saveClicked) s = m_source();
    });
    if (!decided) return false;
    const bool save =
        c.saveClicked || s.state == PlayStates::Playing || s.state == PlayStates::Paused;
    if (!save) {
        step(failures, [&] {
            if (c.releaseMedium) c.releaseMedium();
        });
        if (QFile::exists(c.resumePath)) QFile::remove(c.resumePath);
        return true;
    }
    bool settled = false;
    step(failures, [&] {
        if (c.saveClicked) s = m_source();
        settled = true;
        if (s.name.isEmpty()) return;
        settled = false;
        IniFile(c.resumePath).writeResumeRecord(s.name, s.position);
        settled = true;
    });
    step(failures, [&] {
        if (!s.name.isEmpty() && c.releaseMedium) c.releaseMedium();
    });
    return settled;
}

QStringList PlaceKeeper::close(const Closing &c)
{
    QStringList failures = c.failures;
    saveSettings(c, failures);
    // The place store keeps the place too (it never fails the close).
    keep();
    const bool settled = saveOrDropResume(c, failures);
    // The playlist, only when it holds entries; the largest write, so it
    // comes last.
    step(failures, [&] {
        if (!c.playlist.isEmpty()) writeListFile(c.playlistPath, c.playlist, c.playlistEncoding);
    });
    // Only a place where it belongs lets the journal go.
    if (settled)
        m_journal->remove();
    else
        m_journal->close();
    // What the writer still holds is written before the program ends (a
    // store locked by another program is given a few seconds).
    flushLog();
    m_writer->flush(3000);
    return failures;
}
