// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/ListenedRanges.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

// What the program keeps about a recording, as plain values: the player, the
// windows and the store all speak of these, and none of them needs to know
// how the store keeps them.

// The kept place of a medium.
struct Place {
    double position = 0.0; // seconds
    double duration = 0.0; // seconds; 0 when not known
    qint64 playedMs = 0;   // when it was last played: UTC, ms since 1970
    QString device = {};   // the other computer's name where it was kept; empty: this one
    bool operator==(const Place &) const = default;
};

// A stretch of the study log: [start, end) of a medium played without a
// seek, pause or change of speed, from wallStartMs to wallEndMs (UTC ms), at
// speed; skipped: the seconds of it that silence skipping passed.
struct Stretch {
    QString name; // where it was played from (read back: where its recording was last seen)
    double start = 0.0;
    double end = 0.0;
    qint64 wallStartMs = 0;
    qint64 wallEndMs = 0;
    double speed = 1.0;
    double skipped = 0.0;
    QString recording = {}; // the recording's id in the place store; empty: the name
    bool operator==(const Stretch &) const = default;
};

// What is kept of each medium, for the study log: its length, its place
// (none: finished or never kept) and its listened ranges; name: where it was
// last seen.
struct MediumRecord {
    QString name;
    double duration = 0.0;
    std::optional<double> position;
    QList<ListenedRange> ranges;
    bool finished = false; // heard to its end once (played again since or not)
};

// The playback settings kept for a medium or a folder. Each is unset
// (nullopt) where the medium or folder does not set it.
struct KeptSettings {
    std::optional<double> speed;
    std::optional<bool> voiceBoost;
    std::optional<bool> skipSilence;
    double introSeconds = 0.0; // folders only: skipped at each file's start
    double outroSeconds = 0.0; // folders only: left out at each file's end
    bool operator==(const KeptSettings &) const = default;
};
enum class SettingsOf { Medium, Folder };

// A position record of a recording: its time as the grid shows it
// ("hh:nn:ss"), its comment, and its time to the millisecond where that is
// known (a line of the transcript; -1: not known).
struct PositionRecord {
    QString time;
    QString comment;
    qint64 ms = -1;
    bool operator==(const PositionRecord &) const = default;
};

// What the place store learns when a local file opens: which recording the
// path holds now (its content key), the file's stamp (so that the next
// opening of the unchanged file reads nothing of it), and the record to move
// to the key (the path's own, kept before keys were, or the key the path
// held before the file was changed in place); copy: the record is kept for
// other paths too, so it is copied rather than moved.
struct Sighting {
    QString path;
    QString key;
    qint64 size = 0;
    qint64 mtimeMs = 0;
    QString movedFrom;
    bool copy = false;
    qint64 seenMs = 0; // when it was seen: UTC, ms since 1970
    bool operator==(const Sighting &) const = default;
};

// Everything kept about one recording when it is opened: its place, the
// ranges heard, its own settings and its folder's, and its position records.
struct RecordingInfo {
    // The name the store keeps it under: its content key for a local file,
    // else the medium's own name.
    QString id;
    std::optional<Place> place;
    QList<ListenedRange> ranges;
    std::optional<KeptSettings> settings;
    std::optional<KeptSettings> folderSettings;
    // The folder whose settings folderSettings are, when its own folder has
    // none and the recording was seen before in a folder that has some.
    QString folderSettingsFrom;
    QList<PositionRecord> records;
    // What the store is to learn of the file (nothing: it knows it all).
    std::optional<Sighting> sighting;
};
