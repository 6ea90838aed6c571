// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/CourseSettings.h"
#include "persist/ShelfRecords.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The course shelf: every course (a folder that holds recordings that were
// played) with its progress, the time left at its own speed and the exam it
// leads to. The figures are computed here from plain values, with no window
// and no store, so that they can be tested on their own.

// A folder as it was listed off the GUI thread: its media files in natural
// order (mediaFilesIn), or not reachable.
struct FolderListing {
    bool reachable = false;
    QStringList files;
};

// One row of the shelf.
struct CourseRow {
    QString folder; // its path
    QString name;   // the folder's own name
    int finished = 0;
    int files = 0;        // media files in the folder (or known, when not listed)
    bool listed = false;  // the figures include a listing of the folder
    bool missing = false; // the folder could not be listed
    double share = 0.0;   // of the content, heard: 0 to 1
    // The time left, in seconds of the clock, at each file's own speed
    // (file, folder, global), silence that skipping would pass left out.
    double leftSeconds = 0.0;
    bool estimated = false; // some lengths are not known yet and were estimated
    double speed = 1.0;     // the course's own (the folder's, else the global)
    qint64 lastPlayedMs = 0;
    QString next;           // the next recording (empty: the course is done)
    double nextPlace = 0.0; // its place, seconds
    std::optional<QDate> exam;
    int daysToExam = 0;         // from today; 0 or less: the day has come
    double perDaySeconds = 0.0; // the time left spread over the days to the exam
    bool done() const { return next.isEmpty(); }
};

namespace CourseShelf
{
// The rows of the shelf from what the store keeps and the folders listed so
// far (a folder not listed yet counts with its last known number of files),
// the global playback and today. A course hidden before its latest play is
// left out. Newest play first.
//
// - A file is heard to its end when the store says it was finished; those
//   count as wholly heard and leave nothing.
// - A file never played, or of no known length, takes the mean length of
//   the course's files of known length (estimated).
// - Silence that skipping would pass: where a file plays with silence
//   skipping, its time left shrinks by the share of the course's played
//   content that skipping passed (from the study log).
// - The folder's intro (where a file has not passed it yet) and outro are
//   not played: they leave nothing.
// - The next recording: the first file in natural order not finished, at
//   its kept place (0 when it has none).
QList<CourseRow> rows(const ShelfData &data, const QHash<QString, FolderListing> &listings,
                      const CoursePlayback &global, QDate today);

// The folders to list: those of the courses, and those where their
// recordings were before (a renamed folder, gone, joins the course where its
// recordings are now found under their names).
QStringList folders(const ShelfData &data);

// The time of the shelf's cells: "2:05:30", "45:10".
QString timeText(double seconds);
// The per-day text: "1 日 16 分" (minutes rounded up).
QString perDayText(double seconds);

// The rows as CSV (UTF-8 with a byte order mark), with the study log's
// escaping.
QByteArray csv(const QList<CourseRow> &rows);
} // namespace CourseShelf
