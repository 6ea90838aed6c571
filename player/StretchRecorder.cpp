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

// The open stretch reaches position at steadyMs: the time since it was last
// seen is spent, unless it is a gap, which counts for what it played.
void StretchRecorder::reach(double position, qint64 steadyMs)
{
    const qint64 elapsed = std::max<qint64>(0, steadyMs - m_seenSteadyMs);
    const double advance = std::max(0.0, position - m_current.end);
    const qint64 played = std::llround(advance / m_current.speed * 1000.0);
    m_spentMs += elapsed > GapMs ? std::min(elapsed, played) : elapsed;
    m_current.end = std::max(m_current.end, position);
    m_seenSteadyMs = std::max(m_seenSteadyMs, steadyMs);
}

std::optional<StretchRecorder::Stretch>
StretchRecorder::playing(const QString &name, double position, double speed, Now now)
{
    if (!std::isfinite(position) || !(speed > 0)) return std::nullopt;
    std::optional<Stretch> closed;
    if (m_open && (name != m_current.name || speed != m_current.speed || !follows(position))) {
        closed = current();
        m_open = false;
    }
    if (!m_open) {
        m_current = Stretch{name, position, position, now.wallMs, now.wallMs, speed, 0.0, {}};
        m_seenSteadyMs = now.steadyMs;
        m_spentMs = 0;
        m_open = true;
    }
    reach(position, now.steadyMs);
    return closed;
}

void StretchRecorder::passed(double to, double skipped, Now now)
{
    if (!m_open || !std::isfinite(to) || to < m_current.end) return;
    reach(to, now.steadyMs);
    m_current.skipped += std::max(0.0, std::isfinite(skipped) ? skipped : 0.0);
}

std::optional<StretchRecorder::Stretch> StretchRecorder::stop(double position, Now now)
{
    if (!m_open) return std::nullopt;
    if (std::isfinite(position) && follows(position)) reach(position, now.steadyMs);
    m_open = false;
    if (!(m_current.end > m_current.start)) return std::nullopt;
    return finished();
}

std::optional<StretchRecorder::Stretch> StretchRecorder::current() const
{
    if (!(m_current.end > m_current.start)) return std::nullopt;
    if (!m_open) return std::nullopt;
    return finished();
}

// The stretch with its time spent: never more than its content at its speed
// (and a report's lateness), placed after its start on the calendar.
StretchRecorder::Stretch StretchRecorder::finished() const
{
    Stretch s = m_current;
    const qint64 content =
        std::llround((s.end - s.start) / s.speed * 1000.0) + StretchRecorder::SlackMs;
    s.wallEndMs = s.wallStartMs + std::min(m_spentMs, content);
    return s;
}
