// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/ListenedRanges.h"
#include "persist/Recording.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class ResumeJournal;
class StoreLink;

// What playback is at one moment, as the place keeper needs it.
struct PlaybackSnapshot {
    QString name; // the medium's name; empty: none loaded
    double position = 0.0;
    double duration = 0.0; // 0: not known
    int state = 0;         // the player's play state (PlayStates)
    QList<ListenedRange> listened;
    QString recording = {}; // the name the place store keeps it under; empty: its name
    // A medium that plays or is paused: the one whose place is kept.
    bool placed() const;
    const QString &id() const { return recording.isEmpty() ? name : recording; }
};

// Keeps the place of every medium played, and the ranges heard of it, in
// three records: the resume record of the close ("Resume.ini", which the
// resume command reads), the journal that survives a crash
// ("Resume.journal"), and the place store ("History.db"). It owns the rules
// they share:
// - the margin: a place this close to the start is no place, and one this
//   close to the end means the medium was heard: it counts as finished;
// - a place unchanged since the last write is not written again;
// - when the journal is written, closed or removed.
// The writes go through the StoreLink's writer; what this run has written
// but the writer may not have yet is laid over what is read, so a place kept
// a moment ago is offered at once.
class PlaceKeeper : public QObject
{
    Q_OBJECT

public:
    static constexpr double MarginSeconds = 10.0;
    using Source = std::function<PlaybackSnapshot()>; // may throw: nothing kept then

    // link: the way to the place store (it outlives the keeper); dir: the
    // program's directory (the journal); nowMs: the clock (UTC ms).
    PlaceKeeper(StoreLink *link, const QString &dir, Source source, std::function<qint64()> nowMs,
                QObject *parent = nullptr);
    ~PlaceKeeper() override;

    ResumeJournal *journal() const { return m_journal; }

    // --- during the run ---
    // Keeps the place of the medium now (each tick of the journal, before
    // another medium is opened); the writes waiting go with it.
    void keep();
    // The medium was played to its end.
    void finished();
    // Runs first at each keep() (the session keeps the open stretch of the
    // study log with the place).
    void setBeforeKeep(std::function<void()> before) { m_beforeKeep = std::move(before); }
    // The kept place on offer for the medium loaded (not taken, not
    // dismissed), if any: until playback goes past it, the place store keeps
    // it rather than the position, so that an opening that started elsewhere
    // does not throw it away. The journal and the resume record keep the
    // position.
    using Offered = std::function<std::optional<double>()>;
    void setOffered(Offered offered) { m_offered = std::move(offered); }
    // What is kept of a medium when it opens, in one read, with what this
    // run wrote laid over it.
    RecordingInfo recording(const QString &name, const QString &folder);
    // The place of a medium to offer (none when not kept, within the
    // margin, or finished).
    static std::optional<double> placeToOffer(const RecordingInfo &info);
    // The same for a name (a read).
    std::optional<double> placeToOffer(const QString &name);
    // The user cleared what was heard of a recording (its id).
    void forgetListened(const QString &id);

    // --- start-up ---
    // A journal left by a run that did not end normally becomes the resume
    // record. May raise AppError (the resume file cannot be written).
    bool recoverJournal(const QString &resumePath);

    // --- the close ---
    // The resume record: written when the place is to be saved (the
    // save-and-exit command, or a medium playing or paused), removed
    // otherwise; failures are noted. Returns whether the place is where it
    // belongs: written, or rightly not kept.
    bool saveOrDropResume(bool saveClicked, const QString &resumePath,
                          const std::function<void()> &releaseMedium, QStringList &failures);
    // The end of the run: the journal goes when the place is settled, else
    // it stays for the next start. Nothing more is kept after it.
    void settle(bool settled);

private:
    struct Written {
        bool placeKnown = false;
        std::optional<double> place; // nothing: finished
        qint64 placeMs = 0;          // when the place was kept
        QList<ListenedRange> ranges;
        bool rangesCleared = false;
    };
    std::optional<PlaybackSnapshot> snapshot() const;
    void keepFinished(const PlaybackSnapshot &s, qint64 now);

    StoreLink *m_link;
    std::function<void()> m_beforeKeep;
    Offered m_offered;
    Source m_source;
    std::function<qint64()> m_now;
    ResumeJournal *m_journal = nullptr;
    QHash<QString, Written> m_written; // what this run wrote, by recording
    QSet<QString> m_finished;          // recordings heard to their end, as far as known
    // What was kept last, so that an unchanged place is not written again.
    QString m_keptName;
    double m_keptPosition = -1.0;
    std::optional<double> m_keptOffered;
    QList<ListenedRange> m_keptListened;
};
