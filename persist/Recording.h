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
    bool operator==(const Place &) const = default;
};

// A stretch of the study log: [start, end) of a medium played without a
// seek, pause or change of speed, from wallStartMs to wallEndMs (UTC ms), at
// speed; skipped: the seconds of it that silence skipping passed.
struct Stretch {
    QString name;
    double start = 0.0;
    double end = 0.0;
    qint64 wallStartMs = 0;
    qint64 wallEndMs = 0;
    double speed = 1.0;
    double skipped = 0.0;
    bool operator==(const Stretch &) const = default;
};

// What is kept of each medium, for the study log: its length, its place
// (none: finished or never kept) and its listened ranges.
struct MediumRecord {
    QString name;
    double duration = 0.0;
    std::optional<double> position;
    QList<ListenedRange> ranges;
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

// Everything kept about one recording when it is opened: its place, the
// ranges heard, its own settings and its folder's.
struct RecordingInfo {
    std::optional<Place> place;
    QList<ListenedRange> ranges;
    std::optional<KeptSettings> settings;
    std::optional<KeptSettings> folderSettings;
};
