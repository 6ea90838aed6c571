// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/SmartRewind.h"

#include <algorithm>

namespace SmartRewind
{

double amount(qint64 pauseMs)
{
    constexpr qint64 minute = 60'000, hour = 60 * minute, day = 24 * hour;
    if (pauseMs >= day) return 20.0;
    if (pauseMs >= hour) return 10.0;
    if (pauseMs >= minute) return 3.0;
    return 0.0;
}

double target(double position, qint64 pauseMs, const QList<ListenedRange> &silences,
              std::optional<ListenedRange> repeat)
{
    const double back = amount(pauseMs);
    if (back <= 0.0) return position;
    double to = std::max(0.0, position - back);
    // The pause before the sentence that plays at `to`: the last silence that
    // begins at or before it, when it is close enough.
    double pauseStart = -1.0;
    for (const ListenedRange &s : silences)
        if (s.start <= to && s.start > pauseStart) pauseStart = s.start;
    if (pauseStart >= 0.0 && to - pauseStart <= MaxFurther) to = pauseStart;
    // A stretch that repeats is never left backwards.
    if (repeat && position >= repeat->start) to = std::max(to, repeat->start);
    return std::clamp(to, 0.0, position);
}

} // namespace SmartRewind
