// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/HistoryStore.h"
#include "persist/ListFile.h"
#include "persist/ListenedRanges.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class DiskWriter;
class QTimer;
class ResumeJournal;

// What playback is at one moment, as the place keeper needs it.
struct PlaybackSnapshot {
    QString name; // the medium's name; empty: none loaded
    double position = 0.0;
    double duration = 0.0; // 0: not known
    int state = 0;         // the player's play state (PlayStates)
    QList<ListenedRange> listened;
    // A medium that plays or is paused: the one whose place is kept.
    bool placed() const;
};

// Keeps the place of every medium played, in three records: the resume
// record of the close ("Resume.ini", which the resume command reads), the journal that
// survives a crash ("Resume.journal"), and the place store ("History.db",
// the place and the stretches heard of each medium). It owns the rules they
// share:
// - the margin: a place this close to the start is no place, and one this
//   close to the end means the medium was heard: it counts as finished;
// - a place unchanged since the last write is not written again;
// - when the journal is written, closed or removed;
// - the steps of the close, each on its own, with the list of those that
//   failed.
// The slow writes go through a DiskWriter; the place store is read here, on
// the calling thread, and what this run has written but the writer may not
// have yet is laid over what it reads, so a place kept a moment ago is
// offered at once. Trouble with the store (locked by another program,
// read-only, damaged, of a newer version) is told once per run, by kind.
class PlaceKeeper : public QObject
{
    Q_OBJECT

public:
    static constexpr double MarginSeconds = 10.0;
    using Source = std::function<PlaybackSnapshot()>; // may throw: nothing kept then

    // dir: the program's directory; writer: runs the writes (it outlives
    // the keeper); nowMs: the clock (UTC ms since 1970).
    PlaceKeeper(const QString &dir, DiskWriter *writer, Source source,
                std::function<qint64()> nowMs, QObject *parent = nullptr);
    ~PlaceKeeper() override;

    ResumeJournal *journal() const { return m_journal; }

    // --- during the run ---
    // Keeps the place of the medium now (each tick of the journal, before
    // another medium is opened).
    void keep();
    // The medium was played to its end.
    void finished();
    // A medium opened: the stretches heard of it, and the place to offer
    // (none when not kept, within the margin, or finished).
    QList<ListenedRange> listened(const QString &name);
    std::optional<double> placeToOffer(const QString &name);
    // When that place was kept (UTC ms since 1970); nothing when no place is.
    std::optional<qint64> placeKeptAt(const QString &name);
    // The playback settings kept for a medium or a folder (what this run
    // kept a moment ago included), and keeping them.
    std::optional<HistoryStore::Settings> settings(HistoryStore::SettingsOf of, const QString &key);
    void keepSettings(HistoryStore::SettingsOf of, const QString &key,
                      const HistoryStore::Settings &settings);
    // The user cleared what was heard of a medium: its ranges and its
    // stretches in the study log.
    void forgetListened(const QString &name);
    // The study log: a stretch played, kept; the whole log, erased.
    void addStretch(const HistoryStore::Stretch &stretch);
    void eraseStudyLog();
    static constexpr int LogFlushMs = 10000;
    // Reads the log and what is kept of the media, after the writes waiting
    // before it; done runs on the keeper's thread.
    void readStudyLog(std::function<void(const QList<HistoryStore::Stretch> &,
                                         const QList<HistoryStore::MediumRecord> &)>
                          done);
    // The whole name of a medium whose name another file could not hold.
    QString exactName(const QString &storedForm,
                      const std::function<QString(const QString &)> &toStoredForm);

    // --- start-up ---
    // A journal left by a run that did not end normally becomes the resume
    // record. May raise AppError (the resume file cannot be written).
    bool recoverJournal(const QString &resumePath);

    // --- the close ---
    struct Closing {
        QString settingsPath, resumePath, playlistPath;
        // The player's settings; nothing when it refused to tell (the
        // failure is in failures already).
        std::optional<int> volume;
        std::optional<double> speed;
        bool skipSilence = false;
        bool voiceBoost = false;
        QStringList failures;
        bool recentDisabled = false;
        QStringList recent;
        int recentCount = 10;
        bool autoAdvance = false;
        int playlistIndex = -1;
        QStringList playlist;
        TextEncoding playlistEncoding = TextEncoding::Cp932;
        bool saveClicked = false;
        // Stops the player and releases its medium.
        std::function<void()> releaseMedium;
    };
    // Saves what the close saves, each step on its own: a failing one is
    // noted and the next still runs. Returns the failures, in order. After
    // it, nothing more is written in this run.
    QStringList close(const Closing &closing);

signals:
    // Once per run and kind: the place store cannot be used as it should.
    void trouble(const QString &message);

private:
    struct Written {
        bool placeKnown = false;
        std::optional<double> place; // nothing: finished
        qint64 placeMs = 0;          // when the place was kept
        QList<ListenedRange> ranges;
        bool rangesCleared = false;
    };
    void post(std::function<void(HistoryStore &)> write);
    void report(HistoryStore::Trouble trouble, const QString &setAsidePath);
    void saveSettings(const Closing &c, QStringList &failures);
    bool saveOrDropResume(const Closing &c, QStringList &failures);
    std::optional<PlaybackSnapshot> snapshot() const;

    struct Sink; // where the writer's jobs tell of trouble
    std::shared_ptr<Sink> m_sink;
    Source m_source;
    std::function<qint64()> m_now;
    DiskWriter *m_writer;
    ResumeJournal *m_journal = nullptr;
    HistoryStore m_reader;                 // read here
    std::shared_ptr<HistoryStore> m_store; // written by the writer
    QHash<QString, Written> m_written;     // what this run wrote, by medium
    // The settings this run kept, by kind and medium or folder.
    QHash<QPair<int, QString>, HistoryStore::Settings> m_settingsWritten;
    QSet<int> m_told; // the kinds of trouble told already
    // Stretches of the study log waiting for the next write of the place (one
    // transaction for both), or for LogFlushMs.
    HistoryStore::Extra m_pending; // also the settings kept
    QTimer *m_logTimer = nullptr;
    void flushLog();
    // What was kept last, so that an unchanged place is not written again.
    QString m_keptName;
    double m_keptPosition = -1.0;
    QList<ListenedRange> m_keptListened;
};
