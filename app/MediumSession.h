// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Guard.h"
#include "app/Services.h"
#include "persist/CourseSettings.h"
#include "persist/Recording.h"

#include <QDate>
#include <QHash>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class DiskWriter;
class MediaPlayer;
class PlaceKeeper;
class StoreLink;
class StudyLogBuffer;
struct SyncSettings;
struct StudyReport;
struct Closing;

// What happens to one recording while it is open, in one place: loading it
// with its course's playback settings, showing what was heard of it and
// offering its kept place; keeping its place (at each of the journal's
// ticks, at a pause, a moment after a move while paused, before another
// medium opens, at its end), its study-log stretches and the settings the
// user changes for it and its folder; and the close's saving steps.
//
// It knows the player and the place store, and no window: the main window's
// handlers hand their work to it, and Flow wires what it tells.
class MediumSession : public QObject
{
    Q_OBJECT

public:
    // context: where a failing call of the player is reported.
    MediumSession(const Services &services, const HandlerContext &context, MediaPlayer *player,
                  QObject *parent = nullptr);
    ~MediumSession() override;

    // --- opening ---
    // Keeps the place of the medium that goes, then loads name: playing
    // from its start (or its folder's intro) with its kept place offered, or
    // stopped, for the start-time dialog.
    enum class Start { Playing, Stopped };
    void open(const QString &name, Start start);
    // "開いたら続きから再生する": an opening goes on at the kept place at
    // once instead of offering it. Off unless set.
    void setResumeOnOpen(bool on) { m_resumeOnOpen = on; }
    bool resumesOnOpen() const { return m_resumeOnOpen; }
    // The resume command: name loaded at position, playing; no offer.
    void resume(const QString &name, double position);
    // The medium loaded now (empty: none).
    QString name() const;

    // --- settings ---
    // The player's playback as read at start-up becomes the global one:
    // what a medium in a folder never played opens with.
    void takeGlobalPlayback();
    // The global playback: set with nothing loaded, or explicitly (the
    // folder settings' "既定の再生設定"); never by a course. The close
    // keeps it in the settings file.
    CoursePlayback globalPlayback() const { return m_globalPlayback; }
    void setGlobalPlayback(const CoursePlayback &playback) { m_globalPlayback = playback; }
    // The folder of the medium loaded (empty: none, or not a local file),
    // the settings kept for a folder, and keeping new ones (the medium
    // loaded from it follows at once).
    QString folder() const;
    KeptSettings folderSettings(const QString &folder);
    void keepFolderSettings(const QString &folder, const KeptSettings &settings);
    CoursePlayback playback() const;

    // --- position records ---
    // The records shown now are the recording's: kept in the place store
    // (on the writer's thread), and shown again when it next opens.
    void keepRecords(const QList<PositionRecord> &records);

    // --- history ---
    // The history switch: the study log is kept only while it is on, and
    // switching it off erases the log.
    void setHistoryOn(bool on);
    // Shares what is kept through a synced folder (an empty folder: no
    // longer); syncNow() reads it, off the GUI thread.
    void setSync(const SyncSettings &settings);
    bool syncing() const;
    void syncNow();
    void readStudyLog(QDate today, std::function<void(std::shared_ptr<const StudyReport>)> done);
    // A local file that is gone, looked for by what it held among the files
    // of the folders, away from the GUI thread: done gets the file found
    // (empty: none, or the store never learnt what it held).
    void findMoved(const QString &name, const QStringList &folders,
                   std::function<void(const QString &found)> done);
    // The whole name of a medium whose name the INI file could not hold.
    QString exactName(const QString &iniText);
    // The place that opening name would offer (nothing: none), read off
    // the GUI thread; done runs on it.
    void readPlace(const QString &name, std::function<void(std::optional<double>)> done);
    // The one way to the place store (for the windows that read it).
    StoreLink *storeLink() const { return m_link; }
    // How often the GUI thread has read the place store (tests).
    int storeReads() const;

    // --- start-up and the close ---
    // A journal left by a run that did not end normally becomes the resume
    // record. May raise AppError.
    bool recoverJournal(const QString &resumePath);
    // Saves what the close saves, each step on its own. Returns the
    // failures, in order. Nothing is kept after it.
    QStringList close(const Closing &closing);

signals:
    // Once per run and kind: the place store cannot be used as it should.
    void trouble(const QString &message);
    // A word for the status bar (the folder's intro and outro left out of a
    // medium too short for them).
    void said(const QString &message);
    // The recording loaded is about to go: what it keeps is to be told now.
    void leaving();
    // A recording opened: its position records.
    void recordsOpened(const QList<PositionRecord> &records);

private:
    void load(const QString &name);
    void leave(const QString &name);
    void readKept(const QString &name);
    // The course's settings this run knows without a read (none: the
    // global ones), applied before the load goes to the engine.
    CourseSettings::Cuts startCourse(const QString &name, bool intro);
    // started: the cuts the load went with, when startCourse() ran.
    void applyCourse(bool intro, std::optional<CourseSettings::Cuts> started = std::nullopt);
    void applyCuts(double duration);
    void lengthKnown();
    void showKept(const RecordingInfo &info, bool offer);
    void offer(const RecordingInfo &info);
    static QString placeSourceText(const Place &place);
    void refreshOffer();
    void takeSynced(const QString &id, const QString &name);
    void followPlayState(int state);
    void playbackChanged();
    void keepCourseSettings();
    void keepSettings(SettingsOf of, const QString &key, const KeptSettings &settings);
    void setPlayback(const CoursePlayback &playback);
    void logStretch(Stretch stretch);

    const HandlerContext &m_context;
    MediaPlayer *m_player;
    const Clock *m_clock;
    DiskWriter *m_writer = nullptr; // the services' own, or ours
    StoreLink *m_link = nullptr;
    PlaceKeeper *m_keeper = nullptr;
    std::unique_ptr<StudyLogBuffer> m_log;
    QString m_name; // the medium loaded, as it was opened
    bool m_historyOn = true;
    bool m_resumeOnOpen = false;

    // Per-course memory: the global playback, the player's as last
    // reported, the medium loaded with its course settings, what was kept
    // for it last, and the settings kept in this run or read, by kind and
    // medium or folder.
    CoursePlayback m_globalPlayback;
    CoursePlayback m_lastPlayback;
    bool m_applyingCourse = false;
    QString m_courseName;
    QString m_courseId;
    std::optional<CoursePlayback> m_courseKept;
    QHash<QPair<int, QString>, KeptSettings> m_settingsWritten;
    // The settings read with each medium opened in this run (none kept:
    // nullopt), by medium and folder.
    QHash<QPair<int, QString>, std::optional<KeptSettings>> m_settingsRead;
    RecordingInfo m_info;          // what was kept of the medium loaded when it opened
    QHash<QString, QString> m_ids; // the recording of each name opened in this run
    QHash<QString, QList<PositionRecord>> m_recordsWritten; // by recording, in this run
    QString m_folder;                                       // its folder
    std::optional<KeptSettings> kept(SettingsOf of, const QString &key);
    // The folder's intro and outro for the medium loaded, until its length
    // tells whether they fit; whether the intro was gone to.
    std::optional<CourseSettings::Cuts> m_cutsWanted;
    bool m_introTaken = false;
};
