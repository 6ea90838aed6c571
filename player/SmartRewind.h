// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/ListenedRanges.h"

#include <QList>
#include <QtGlobal>

#include <optional>

// Smart rewind: playback that goes on after a pause starts a little earlier,
// so that the listener hears the end of the last sentence again. The amount
// grows with the pause: nothing under a minute, 3 s after a minute, 10 s
// after an hour, 20 s after a day. Where the silences of the stretch are
// known, the start moves back further, to the beginning of the pause before
// that sentence, at most MaxFurther seconds more. Never before 0, and never
// across the start of a stretch that repeats.
namespace SmartRewind
{
inline constexpr double MaxFurther = 5.0;

// The seconds to go back after a pause of pauseMs.
double amount(qint64 pauseMs);

// Where playback goes on: from position, after a pause of pauseMs, with the
// silences known in the medium (sorted or not) and the repeated stretch, if
// any. Returns position itself when nothing is to be gone back.
double target(double position, qint64 pauseMs, const QList<ListenedRange> &silences,
              std::optional<ListenedRange> repeat);
} // namespace SmartRewind
