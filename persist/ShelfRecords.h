// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/Recording.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the place store keeps for the course shelf (lists/CourseShelf.h), as
// plain values.

// What the place store keeps of one recording, for the shelf.
struct ShelfRecord {
    QString name; // the path where it was last seen
    double duration = 0.0;
    std::optional<double> position; // its kept place; none: finished or never kept
    QList<ListenedRange> ranges;
    bool finished = false;
    qint64 playedMs = 0;             // when it was last played (UTC ms)
    std::optional<double> speed;     // its own settings, where it has them
    std::optional<bool> skipSilence; //
    double playedSeconds = 0.0;      // content of its study-log stretches
    double skippedSeconds = 0.0;     // of which silence skipping passed
    QStringList formerPaths;         // other paths it was seen at
};

// What the user keeps about a course: its exam date, when it was hidden from
// the shelf (0: not hidden) and how many media files its folder held when it
// was last listed (-1: never listed).
struct CourseKept {
    std::optional<QDate> exam;
    qint64 hiddenMs = 0;
    int files = -1;
    bool operator==(const CourseKept &) const = default;
};

// Everything the shelf needs of the place store, read in one session.
struct ShelfData {
    QList<ShelfRecord> records;
    QHash<QString, KeptSettings> folders; // folder settings, by folder path
    QHash<QString, CourseKept> courses;   // by folder path
};
