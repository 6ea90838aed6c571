// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/Recording.h"

#include <QString>

#include <optional>

// The playback settings of a course: each file remembers its speed, voice
// boost and silence skipping, and so does its folder (the settings its files
// were last played with, and the intro and outro to skip in each of them).
// What a file opens with: its own settings, then its folder's, then the
// global ones of "Pelmora.ini".
struct CoursePlayback {
    double speed = 1.0;
    bool voiceBoost = false;
    bool skipSilence = false;
    bool operator==(const CoursePlayback &) const = default;
};

struct CourseChoice {
    enum class From { Medium, Folder, Global };
    CoursePlayback playback;
    From from = From::Global; // where the speed came from
    double introSeconds = 0.0;
    double outroSeconds = 0.0;
};

namespace CourseSettings
{
// The intro and outro are 0 to this many seconds.
inline constexpr double MaxSkipSeconds = 600.0;

// The folder of a local medium (its directory, as an absolute path); empty
// for a network name, which belongs to no folder.
QString folderOf(const QString &mediumName);

// What a medium opens with, field by field: the medium's own, then its
// folder's, then the global ones. The intro and outro are the folder's.
CourseChoice choose(const std::optional<KeptSettings> &medium,
                    const std::optional<KeptSettings> &folder, const CoursePlayback &global);

// The intro and outro skipped in a medium of the given length (seconds; 0
// when not known yet, which keeps both). When together they leave nothing
// to play, neither applies to that medium (it would end where it starts)
// and `ignored` says so, for the status bar (ignoredText).
struct Cuts {
    double introSeconds = 0.0;
    double outroSeconds = 0.0;
    bool ignored = false;
    bool operator==(const Cuts &) const = default;
};
Cuts cutsFor(double introSeconds, double outroSeconds, double durationSeconds);
QString ignoredText();

// The settings kept (or none) with the playback laid over them; the intro
// and outro stay as they were.
KeptSettings withPlayback(const std::optional<KeptSettings> &kept, const CoursePlayback &playback);
} // namespace CourseSettings
