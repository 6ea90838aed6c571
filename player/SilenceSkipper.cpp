// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/SilenceSkipper.h"

#include <algorithm>
#include <cmath>

namespace
{
// Reported times are rounded by the detector; this much earlier still counts.
constexpr double Slack = 0.05;
} // namespace

bool SilenceSkipper::restart(double at)
{
    m_trustedFrom = std::isfinite(at) ? at : 0.0;
    m_lastStart = -1.0;
    const bool was = m_passing;
    m_passing = false;
    return was;
}

SilenceSkipper::Step SilenceSkipper::report(double start, double end, double position, bool playing,
                                            double speed, qint64 nowMs)
{
    if (m_passing) {
        // The end of the silence being passed.
        if (end > m_silenceStart)
            return finish(std::max(m_from, end - ResumeBeforeEnd), speed, nowMs);
        // A later silence began: the end of this one went unreported. The
        // pass ends where playback is.
        if (start > m_silenceStart + Slack) return finish(std::max(m_from, position), speed, nowMs);
        return {};
    }
    if (start < 0 || start <= m_lastStart) return {}; // nothing new
    m_lastStart = start;
    // A silence of the sound before the last restart (pre-roll), one that is
    // already over, or a medium that is not playing: no pass.
    if (start < m_trustedFrom - Slack || end >= start || !playing) return {};
    m_passing = true;
    m_silenceStart = start;
    m_from = std::max(position, start);
    m_beganMs = nowMs;
    Step step;
    step.kind = Step::Begin;
    step.target = m_from;
    return step;
}

SilenceSkipper::Step SilenceSkipper::expire(double position, double speed, qint64 nowMs)
{
    if (!m_passing || nowMs - m_beganMs < MaxPassMs) return {};
    return finish(std::max(m_from, position), speed, nowMs);
}

SilenceSkipper::Step SilenceSkipper::finish(double target, double speed, qint64 nowMs)
{
    m_passing = false;
    Step step;
    step.kind = Step::End;
    step.target = target;
    if (target > m_from) step.passed = {m_from, target};
    // The time it saved: the medium's time passed, at the user's speed, less
    // the time passing it took; never more than the medium's time itself.
    const double atSpeed = std::max(0.0, target - m_from) / (speed > 0 ? speed : 1.0);
    step.saved = std::clamp(atSpeed - (nowMs - m_beganMs) / 1000.0, 0.0, atSpeed);
    return step;
}
