// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/SilencePasser.h"

#include <QTimer>

#include <cmath>

SilencePasser::SilencePasser(std::function<Playback()> playback, QObject *parent)
    : QObject(parent), m_playback(std::move(playback)), m_limit(new QTimer(this)),
      m_begin(new QTimer(this))
{
    m_steady.start();
    m_begin->setSingleShot(true);
    connect(m_begin, &QTimer::timeout, this, [this] {
        if (!m_skipper.passing()) return;
        m_skipper.begun(m_steady.elapsed());
        setFast(true);
    });
    m_limit->setSingleShot(true);
    connect(m_limit, &QTimer::timeout, this, [this] {
        const Playback now = m_playback();
        apply(m_skipper.expire(now.position, now.speed, m_steady.elapsed()));
    });
}

void SilencePasser::setOn(bool on, double position)
{
    if (on == m_on) return;
    m_on = on;
    // A detector added anew knows nothing of the sound before now.
    restart(position);
    emit changed(m_on, m_saved);
}

void SilencePasser::newMedium()
{
    restart(0.0);
    m_passed.clear();
    m_saved = 0.0;
    emit changed(m_on, m_saved);
}

void SilencePasser::restart(double at)
{
    m_limit->stop();
    m_begin->stop();
    m_skipper.restart(at);
    setFast(false);
}

void SilencePasser::setFast(bool fast)
{
    if (fast == m_fast) return;
    m_fast = fast;
    emit fastChanged(fast);
}

void SilencePasser::report(double start, double end)
{
    if (!m_on) return;
    const Playback now = m_playback();
    apply(m_skipper.report(start, end, now.position, now.playing, now.speed, m_steady.elapsed()));
}

void SilencePasser::apply(const SilenceSkipper::Step &step)
{
    switch (step.kind) {
    case SilenceSkipper::Step::None:
        return;
    case SilenceSkipper::Step::Begin: {
        m_limit->start(int(SilenceSkipper::MaxPassMs));
        // The detector hears the sound before it is played: the fast speed
        // waits until playback reaches the silence, so no word before it is
        // sped up.
        const Playback now = m_playback();
        const double ahead = (step.target - now.position) / (now.speed > 0 ? now.speed : 1.0);
        if (ahead > 0.02) {
            m_begin->start(int(ahead * 1000));
            return;
        }
        setFast(true);
        return;
    }
    case SilenceSkipper::Step::End:
        break;
    }
    m_limit->stop();
    m_begin->stop();
    setFast(false);
    m_saved += step.saved;
    if (step.passed.end > step.passed.start) m_passed.append(step.passed);
    // Forward over the rest of the silence, or back when the report came
    // late (the first word was already heard sped up): just before its end.
    if (std::abs(step.target - m_playback().position) > 0.05) emit resumeAt(step.target);
    emit changed(m_on, m_saved);
}
