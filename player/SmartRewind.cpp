// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/SmartRewind.h"

#include <algorithm>
#include <cmath>

namespace SmartRewind
{

double amount(qint64 pauseMs)
{
    constexpr qint64 minute = 60'000, hour = 60 * minute, day = 24 * hour;
    if (pauseMs >= day) return 20.0;
    if (pauseMs >= hour) return 10.0;
    if (pauseMs >= minute) return 3.0;
    return 0.0; // also a clock set back: no pause to speak of
}

double target(double position, qint64 pauseMs, const QList<ListenedRange> &silences,
              std::optional<ListenedRange> repeat)
{
    if (!std::isfinite(position) || position <= 0.0) return std::max(0.0, position);
    const double back = amount(pauseMs);
    if (back <= 0.0) return position;
    double to = std::max(0.0, position - back);
    // The pause before the sentence that plays at `to`: the last silence
    // that begins at or before it. Its start, when it is close enough.
    std::optional<double> pauseStart;
    for (const ListenedRange &s : silences) {
        if (!std::isfinite(s.start) || s.start < 0.0 || s.start > to) continue;
        if (!pauseStart || s.start > *pauseStart) pauseStart = s.start;
    }
    if (pauseStart && to - *pauseStart <= MaxFurther) to = *pauseStart;
    // A stretch that repeats is never left backwards.
    if (repeat && position >= repeat->start) to = std::max(to, repeat->start);
    return std::clamp(to, 0.0, position);
}

} // namespace SmartRewind
