// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/ListenedRanges.h"
#include "persist/Recording.h"
#include "persist/ShelfRecords.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtGlobal>

#include <functional>
#include <optional>

// The place store "History.db": an SQLite database, through Qt's SQL module,
// that keeps for every medium played (its exact name as the program knows
// it: a path or URL, any characters, any length) its last place and the
// ranges of it that have been played.
//
// - Lazy: constructing a store touches nothing. Reading from a store whose
//   file does not exist gives nothing and creates nothing; the file is
//   created by the first write that has something to keep (keepPlace(),
//   addRanges()).
// - The 1,000 most recently played media are kept: every keepPlace() and
//   addRanges() makes its medium the most recent one and drops the oldest
//   beyond 1,000. The order is that of the writes, not of the clock, so a
//   clock set back does not drop the medium just played.
// - A finished medium: clearPlace() forgets its place but keeps its listened
//   ranges; clearRanges() forgets its ranges but keeps its place. A medium
//   left with neither is removed.
// - Every call opens the database, does its work in one transaction (writes
//   take the write lock at once: BEGIN IMMEDIATE) and closes it again, so
//   that nothing stays open between calls: a rollback journal in DELETE mode
//   with full synchronisation, so no "-journal", "-wal" or "-shm" file is
//   left beside it, and a crash, a killed process or a power cut leaves the
//   last committed state. Two programs share the file; a call waits up to
//   1 s for the other's write and otherwise gives up that call. A read
//   takes well under a millisecond; a write costs what the disk needs to
//   make it durable (a few synchronisations: from 1 to some 20 ms).
// - Its tables carry a schema version; opening an older store for a write
//   upgrades it through the numbered migrations, in the write's one
//   transaction, so a new version never loses a place. Reads work on an
//   older store as it is. A store of a newer version than the program knows
//   is left untouched: nothing is read from it or written to it.
// - A database that cannot be used (not a database, damaged, not readable, a
//   directory, a database of another program) is moved aside to
//   "History.db.broken", or "History.db.broken.2", ".3" ... when that
//   exists (a rescued copy is never deleted), with a one-line warning
//   (qWarning). What still reads of one of this program's stores (its
//   places, the study log, the settings kept) is carried at once into a new
//   store of the current version, in one transaction, and counted
//   (rescuedRows()); it is read row by row, so that a damaged page costs
//   only the rows on it, for two seconds at most. The call goes on
//   with the new store; when nothing could be carried, the next write starts
//   a new one. The moved copy itself is only read. A file the user made
//   read-only is read, never written or moved. When the directory cannot be
//   written the store writes nothing. When the SQLite driver is missing it
//   does nothing after one warning. No call raises an error or shows
//   anything; trouble() tells what kept the last call from its work.
// - Names are stored exactly (as UTF-16 code units, so that lone surrogates
//   and NULs survive); positions that are not finite or negative count as 0.
//
// Each call opens its own connection on the calling thread, under a name
// that is this store's alone, and removes it again: several stores live side
// by side, but one store is used by one thread at a time.
class HistoryStore
{
public:
    // One step of the tables' history: the statements that bring a store of
    // the version before to this one.
    struct Migration {
        int version;
        QStringList statements;
    };
    // The program's migrations, version 1 first.
    static const QList<Migration> &migrations();

    // What kept the last call from doing its work.
    enum class Trouble {
        None,
        Busy,       // another program holds the store's write lock: try again later
        ReadOnly,   // the file is read-only: it is read, never written
        Unwritable, // the directory cannot be written: nothing is kept
        Newer,      // made by a newer version of the program: left untouched
        SetAside,   // it could not be used and was moved aside; a new one began
        NoDriver,   // no SQLite driver
    };
    using Place = ::Place;

    static constexpr int kMaxMedia = 1000;

    // path: the full path of the database file ("History.db" in the
    // program's directory, programFile(dir, kHistoryFile)).
    explicit HistoryStore(QString path);
    // The same, with other migrations (tests of the upgrade).
    HistoryStore(QString path, QList<Migration> migrations);
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    const QString &path() const { return m_path; }
    Trouble trouble() const { return m_trouble; }
    // Where the last damaged store was moved to (SetAside).
    const QString &setAsidePath() const { return m_setAsidePath; }
    // How many of its rows were carried into the new store (SetAside).
    int rescuedRows() const { return m_rescued; }
    // How long a call waits for another program's write lock, in ms.
    void setBusyTimeout(int ms) { m_busyMs = ms; }
    // Whether the first call of a run checks the whole file (SQLite's
    // quick_check: some 100 ms for a full store). Without it, damage is
    // still found where a call meets it.
    void setFullCheck(bool on) { m_checked = !on; }
    // The full check alone (nothing when there is no file).
    void check();

    // ---- the study log: the stretches really played ----
    // A stretch of the study log (persist/Recording.h).
    using Stretch = ::Stretch;
    // The kept place of a medium; nothing when none is kept (never played,
    // dropped, or finished).
    std::optional<Place> place(const QString &name);
    // Keeps the place of the medium being played at nowMs, and merges the
    // listened ranges given into its kept ones, in one transaction.
    void keepPlace(const QString &name, double position, double duration, qint64 nowMs,
                   const QList<ListenedRange> &listened = {});
    // The medium was played to its end: its place is forgotten.
    void clearPlace(const QString &name);

    // The listened ranges of a medium, merged and sorted; empty when none.
    QList<ListenedRange> ranges(const QString &name);
    // Merges ranges into the medium's kept ranges (adding ranges already
    // kept changes nothing), played at nowMs. Its place stays as it is.
    void addRanges(const QString &name, const QList<ListenedRange> &ranges, qint64 nowMs);
    // Forgets the medium's listened ranges.
    void clearRanges(const QString &name);

    // The exact name of a medium from the text that another file holds for
    // it: of the kept media whose name toStoredForm turns into storedForm,
    // the most recently played one; empty when there is none. toStoredForm
    // is what writing the name there and reading it back gives (the INI
    // files turn line breaks into blanks and hold 2,047 characters); it is
    // called once for each kept medium, most recent first, until one fits.
    QString exactName(const QString &storedForm,
                      const std::function<QString(const QString &)> &toStoredForm);

    // The log keeps this many stretches: the oldest beyond go.
    static constexpr int kMaxStretches = 100000;
    // The stretches that ended at sinceMs or later, oldest first.
    QList<Stretch> stretches(qint64 sinceMs = 0);
    // Forgets the stretches of one recording (its id: every path it was
    // played from); of all when id is empty.
    void clearStretches(const QString &id);

    // What the store keeps of each medium, for the study log.
    using MediumRecord = ::MediumRecord;
    QList<MediumRecord> media();

    // ---- playback settings kept per medium and per folder ----
    using Settings = KeptSettings;
    using SettingsOf = ::SettingsOf;
    // The settings kept for a medium (its exact name) or a folder (its
    // path); nothing when none are kept.
    std::optional<Settings> settings(SettingsOf of, const QString &key);

    // ---- recordings wherever they go ----
    // Everything kept about a medium (its exact name) and its folder (its
    // path; empty: none), in one session. A local file is known by its
    // content key (persist/ContentKey.h), which costs one read of at most
    // 128 KiB, and nothing when the store knows the path with the file's
    // size and time unchanged. Its record is found:
    // 1. by the key: the file was renamed, moved or copied;
    // 2. else by the path: kept under the path before keys were, or under
    //    the key the file had before it was changed in place (its tags
    //    rewritten): the record is to move to the new key;
    // 3. else it is a new record.
    // A folder with no settings of its own takes those of the folder where
    // the recording was last seen with some (folderSettingsFrom). What the
    // store is to learn comes back as the sighting, for see(): reading
    // writes nothing.
    RecordingInfo recording(const QString &name, const QString &folder);
    // Learns a sighting: the path's key and stamp, where the recording was
    // last seen, and its record moved (or copied) to its key. The most
    // recently seen kMaxPaths paths and recordings are kept.
    static constexpr int kMaxPaths = 10000;
    void see(const Sighting &sighting);
    // The key the store learnt for a path (empty: none).
    QString keyOfPath(const QString &path);
    // The position records of a recording (its id); keeping none forgets
    // them. Those of the kMaxMedia most recently kept recordings are kept.
    QList<PositionRecord> records(const QString &id);
    void keepRecords(const QString &id, const QList<PositionRecord> &records);

    // ---- the course shelf ----
    // What the shelf shows of every recording (where it was last seen, its
    // place, what was heard, its own settings and its study-log content),
    // the folders' settings and what is kept about each course, in one
    // session.
    ShelfData shelf();
    // What is kept about one course (its folder's path).
    CourseKept course(const QString &folder);
    // Keeps a course's exam date (none: no exam), when it was hidden from
    // the shelf (0: shown again), and its number of media files when listed.
    void setCourseExam(const QString &folder, std::optional<QDate> exam);
    void setCourseHidden(const QString &folder, qint64 hiddenMs);
    // (Many courses in one transaction: a folder listing of the shelf.)
    void setCourseFiles(const QHash<QString, int> &files);

    // How many times this store has opened the database (tests count reads).
    int sessions() const { return m_sessions; }

    // Writes that wait to go into one transaction with the next place kept:
    // stretches of the study log (empty or reversed ones are left out; one
    // of the same medium, start and wall_start replaces the one kept), and
    // settings kept (replacing what was kept; the 1,000 most recently kept
    // media and folders stay).
    struct SettingsChange {
        SettingsOf of = SettingsOf::Medium;
        QString key;
        Settings settings;
    };
    struct Extra {
        QList<Stretch> log;
        QList<SettingsChange> settings;
        QList<Sighting> seen = {}; // learnt first
        bool isEmpty() const { return log.isEmpty() && settings.isEmpty() && seen.isEmpty(); }
    };
    // keepPlace() with them, in its transaction; or them alone, in one (no
    // store is made for nothing to write).
    void keepPlace(const QString &name, double position, double duration, qint64 nowMs,
                   const QList<ListenedRange> &listened, const Extra &extra);
    void write(const Extra &extra);

    // ---- what other computers kept (persist/Sync.h) ----
    // One write of this store, told once its transaction is committed.
    struct Change {
        enum class Kind { Place, Finished, Heard, Cleared, Settings, Records, Stretch, Unlogged };
        Kind kind = Kind::Place;
        QString id; // the recording (empty with Unlogged: all)
        double position = 0.0;
        double duration = 0.0;
        QList<ListenedRange> ranges = {};
        KeptSettings settings = {};
        QList<PositionRecord> records = {};
        Stretch stretch = {};
    };
    using Watcher = std::function<void(const QList<Change> &)>;
    void setWatcher(Watcher watcher) { m_watcher = std::move(watcher); }
    // What another computer kept of one recording, to be taken in.
    struct Remote {
        QString id;
        // Its place there, when it is newer than the one kept here.
        std::optional<Place> place;
        bool finished = false;
        // What was heard everywhere, merged; replacing what is heard here
        // when another computer cleared it (all this one heard is among it).
        QList<ListenedRange> heard;
        bool clearedThere = false;
        std::optional<KeptSettings> settings;
        std::optional<QList<PositionRecord>> records;
        // Its stretches of the study log, each with its device and number;
        // those here before unloggedMs go.
        struct Stretched {
            QString device;
            qint64 seq = 0;
            Stretch stretch;
        };
        QList<Stretched> log;
        qint64 unloggedMs = -1;
    };
    // Takes them in, TakeInBatch recordings per transaction; no Change is
    // told of it.
    static constexpr int TakeInBatch = 32;
    void takeIn(const QList<Remote> &remotes);
    // Everything the store keeps of recordings known by their content keys
    // or URLs, as the changes that would make it.
    QList<Change> keptChanges();
    // Whether a recording's id means the same on every computer: a content
    // key or a URL, not a local path.
    static bool shared(const QString &id);

private:
    enum class Access { Read, Change, Create };
    class Session;
    bool run(Access access, const std::function<bool(Session &)> &work);
    bool upgrade(Session &s, qint64 from);
    static bool readPlace(Session &s, const QString &name, std::optional<Place> &found);
    static bool readRanges(Session &s, const QString &name, QList<ListenedRange> &found);
    static bool readSettings(Session &s, SettingsOf of, const QString &key,
                             std::optional<Settings> &found);
    static bool insertStretches(Session &s, const QList<Stretch> &stretches);
    static bool writeSettings(Session &s, const SettingsChange &change);
    static bool writeExtra(Session &s, const Extra &extra);
    static bool resolve(Session *s, const QString &name, RecordingInfo &info);
    static bool hasRecord(Session &s, const QString &id);
    static bool readRecords(Session &s, const QString &id, QList<PositionRecord> &found);
    static bool readFolderSettingsElsewhere(Session &s, const RecordingInfo &info,
                                            const QString &folder, RecordingInfo &into);
    static bool writeSightings(Session &s, const QList<Sighting> &seen);
    static bool moveRecord(Session &s, const QString &from, const QString &to, bool copy);
    static bool readShelfRecords(Session &s, QList<ShelfRecord> &into);
    bool writeCourses(const QString &column, const QList<QPair<QString, QVariant>> &values);
    bool usable(Access access);
    void setAside(const QString &reason);
    void rescue(const QString &from);

    QString m_path;
    QString m_connection; // this store's connection name, unique in the process
    QList<Migration> m_migrations;
    bool m_checked = false; // the file has passed a full check in this run
    bool m_off = false;     // no driver, or a newer program's database
    int m_busyMs = 1000;
    int m_sessions = 0;
    Trouble m_trouble = Trouble::None;
    QString m_setAsidePath;
    int m_rescued = 0;
    bool m_rescuing = false; // a rescue is being written: a damaged file is only set aside
    Watcher m_watcher;
    QList<Change> m_changes; // those of the call under way
    bool changed(Change change);
    bool told(const Extra &extra);
    static bool takeIn(Session &s, const Remote &remote);
    static bool takeInLog(Session &s, const Remote &remote);
    static bool writeRecords(Session &s, const QString &id, const QList<PositionRecord> &records);
};

inline const char kHistoryFile[] = "History.db";
