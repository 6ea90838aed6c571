// SPDX-License-Identifier: GPL-3.0-or-later
// The position and the volume of the libmpv player component: the position
// written last is reported until the engine has landed there, and a paused
// medium keeps reporting the target it was sent to.
#include "player/MpvPlayer.h"

#include "player/MpvSupport.h"
#include "player/SleepTimer.h"

#include <algorithm>
#include <cmath>

// ---- position -----------------------------------------------------------

double MpvPlayer::currentPosition() const
{
    require();
    double position = 0.0;
    if (const std::optional<double> target = m_machine.target()) {
        position = *target;
    } else if (m_machine.loaded()) {
        int err = 0;
        const std::optional<double> at = enginePosition(&err);
        if (err == MPV_ERROR_PROPERTY_UNAVAILABLE) return 0.0;
        check(err, "time-pos");
        position = std::isfinite(*at) ? std::max(*at, 0.0) : 0.0;
    }
    // Playing forward, the position reported never goes back.
    if (playState() == Playing) {
        position = std::max(position, m_floor);
        m_floor = position;
    }
    return position;
}

std::optional<double> MpvPlayer::enginePosition(int *error) const
{
    double at = 0.0;
    const int err = m_engine->getDouble("time-pos", &at);
    if (error) *error = err;
    if (err < 0) return std::nullopt;
    return at;
}

void MpvPlayer::setCurrentPosition(double seconds)
{
    require();
    // Negative targets mean "from the end" to some engine commands: land at 0.
    if (std::isnan(seconds) || seconds < 0.0) seconds = 0.0;
    seconds = std::min(seconds, 1.0e9);
    // A place asked for is gone to exactly, also after a pause.
    forgetPause();
    // A place at or beyond the end while playing is the end (the machine's
    // rule), unless the sleep timer holds the medium there.
    const double end = playingEnd();
    if (end > 0.0 && seconds >= end && m_sleep->endReached()) return;
    feed(medium::events::SetPosition{
        .position = seconds, .origin = medium::Origin::Caller, .end = end});
}

double MpvPlayer::duration() const
{
    require();
    if (!m_machine.loaded()) return 0.0;
    double length = 0.0;
    const int err = m_engine->getDouble("duration", &length);
    if (err == MPV_ERROR_PROPERTY_UNAVAILABLE) return 0.0;
    check(err, "duration");
    return std::isfinite(length) && length > 0.0 ? length : 0.0;
}

// ---- volume -------------------------------------------------------------

int MpvPlayer::volume() const
{
    require();
    return m_volume;
}

void MpvPlayer::setVolume(int volume)
{
    require();
    check(m_engine->setDouble("volume", std::clamp(volume, 0, 100) * m_fade), "volume");
    // Read back what was set at once; the engine's change event confirms it.
    m_volume = std::clamp(volume, 0, 100);
    emit volumeChanged(m_volume, m_muted);
}

void MpvPlayer::setFade(double factor)
{
    require();
    m_fade = std::isfinite(factor) ? std::clamp(factor, 0.0, 1.0) : 1.0;
    pushEngineVolume();
}

void MpvPlayer::pushEngineVolume()
{
    m_engine->setDouble("volume", m_volume * m_fade);
}
