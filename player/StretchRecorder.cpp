// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/StretchRecorder.h"

#include <algorithm>
#include <cmath>

namespace
{

// How far a position may lie from where the stretch was last seen and still
// follow on from it: the engine reports the position about once a second,
// and a little late.
constexpr double BackSlackSeconds = 0.5;
constexpr double LeapSeconds = 3.0;

} // namespace

bool StretchRecorder::follows(double position) const
{
    const double speed = std::max(1.0, m_current.speed);
    return position >= m_current.end - BackSlackSeconds &&
           position <= m_current.end + LeapSeconds * speed;
}

std::optional<StretchRecorder::Stretch>
StretchRecorder::playing(const QString &name, double position, double speed, qint64 nowMs)
{
    if (!std::isfinite(position) || !(speed > 0)) return std::nullopt;
    std::optional<Stretch> closed;
    if (m_open && (name != m_current.name || speed != m_current.speed || !follows(position)))
        closed = close(m_seenMs);
    if (!m_open) {
        m_current = Stretch{name, position, position, nowMs, nowMs, speed, 0.0};
        m_open = true;
    }
    m_current.end = std::max(m_current.end, position);
    m_seenMs = nowMs;
    return closed;
}

void StretchRecorder::passed(double to, double skipped, qint64 nowMs)
{
    if (!m_open || !std::isfinite(to) || to < m_current.end) return;
    m_current.end = to;
    m_current.skipped += std::max(0.0, std::isfinite(skipped) ? skipped : 0.0);
    m_seenMs = nowMs;
}

std::optional<StretchRecorder::Stretch> StretchRecorder::stop(double position, qint64 nowMs)
{
    if (!m_open) return std::nullopt;
    if (std::isfinite(position) && follows(position)) {
        m_current.end = std::max(m_current.end, position);
        m_seenMs = nowMs;
    }
    return close(m_seenMs);
}

std::optional<StretchRecorder::Stretch> StretchRecorder::close(qint64 nowMs)
{
    m_open = false;
    m_current.wallEndMs = std::max(m_current.wallStartMs, nowMs);
    if (!(m_current.end > m_current.start)) return std::nullopt;
    return m_current;
}
