// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class DiskWriter;
class QLockFile;
class QTimer;

// The resume journal: a small file beside the resume file that keeps the
// medium and position of the running program, so that a crash, a killed
// process or a power cut loses at most a few seconds of the place.
//
// - While a medium is loaded and playing or paused, its URL and position are
//   written every five seconds, at once when it is paused, and a moment
//   after its place moves while paused; nothing is written when they have
//   not changed since the last write.
//   Every write replaces the file atomically.
// - Every close that the close query allows removes it (remove()); nothing is
//   written afterwards in that run. After a normal exit there is no journal.
// - At start-up a journal that is present means the last run did not end
//   normally: recover() moves its record into the resume file
//   (Resume/FileName and Resume/Second, other sections untouched) and removes
//   it, so that the ordinary resume notice offers it. A journal that cannot
//   be read is removed without touching the resume file.
// - The journal belongs to the running program that writes it: the writer
//   holds a lock file beside it ("<journal>.lock") for its whole run. A
//   second program started meanwhile takes the next free journal of its own
//   ("Resume-2.journal", "Resume-3.journal", ...), and at start-up recovers
//   only journals whose writer is gone: the lock is free, or it names a
//   process that no longer runs (a killed program). Of several such
//   journals the most recently written becomes the resume record; the place
//   store keeps the places of the others.
// Failures to write or remove the journal are never reported: it is only a
// safety net and must not change what the program does.
class ResumeJournal : public QObject
{
    Q_OBJECT

public:
    struct Record {
        QString fileName;
        double second = 0.0;
        bool operator==(const Record &) const = default;
    };
    // The record of the medium that is playing or paused now; nothing when
    // no medium is loaded or it is in any other state. May throw.
    using Source = std::function<std::optional<Record>()>;

    static constexpr int IntervalMs = 5000;

    // path: the first journal's full path ("Resume.journal" beside the
    // resume file); the journal of this run is the first one whose lock is
    // free.
    explicit ResumeJournal(const QString &path, QObject *parent = nullptr);
    ~ResumeJournal() override;

    // The journal of the n-th running program (1: path itself).
    static QString slotPath(const QString &path, int n);
    static constexpr int MaxSlots = 16;

    void setSource(Source source) { m_source = std::move(source); }

    const QString &path() const { return m_path; }
    // Writes and removals go through the writer (none: at once, here).
    void setWriter(DiskWriter *writer) { m_writer = writer; }
    QTimer *timer() const { return m_timer; }

    // The timer's tick: writes the current record when it differs from the
    // last one written, or when the file has gone.
    void tick();
    // The close was allowed and the place is kept in the resume file (or
    // rightly not): the journal is removed and stays so.
    void remove();
    // The close was allowed but the place could not be written: the journal
    // stays, for the next start to recover, and is not written any more.
    void close();
    // After remove() or close(): nothing is written any more.
    bool closed() const { return m_closed; }
    // Start-up: a journal found is moved into the resume file at resumePath.
    // Returns true when a record was recovered. A write to the resume file
    // that fails raises AppError; the journal then stays.
    bool recover(const QString &resumePath);

    // The journal's text form, and its reading (nothing when the text is not
    // a valid journal).
    static QByteArray encode(const Record &record);
    static std::optional<Record> decode(const QByteArray &bytes);

private:
    QString m_firstPath;
    QString m_path;
    std::unique_ptr<QLockFile> m_lock; // held for the whole run
    DiskWriter *m_writer = nullptr;
    QTimer *m_timer = nullptr;
    Source m_source;
    std::optional<Record> m_written;
    bool m_closed = false;
};
