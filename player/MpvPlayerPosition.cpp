// SPDX-License-Identifier: GPL-3.0-or-later
// The position and the volume of the libmpv player component: the position
// written last is reported until the engine has landed there, and a paused
// medium keeps reporting the target it was sent to.
#include "player/MpvPlayer.h"

#include "player/MpvSupport.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

// ---- position -----------------------------------------------------------

double MpvPlayer::currentPosition() const
{
    require();
    double position = 0.0;
    if (m_medium.pending) {
        position = *m_medium.pending;
    } else if (m_medium.loaded) {
        const int err = mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &position);
        if (err == MPV_ERROR_PROPERTY_UNAVAILABLE) return 0.0;
        check(err, "time-pos");
        position = std::isfinite(position) ? std::max(position, 0.0) : 0.0;
    }
    // Playing forward, the position reported never goes back.
    if (m_state == Playing) {
        position = std::max(position, m_medium.floor);
        m_medium.floor = position;
    }
    return position;
}

void MpvPlayer::setCurrentPosition(double seconds)
{
    require();
    // Negative targets mean "from the end" to some mpv commands: land at 0.
    if (std::isnan(seconds) || seconds < 0.0) seconds = 0.0;
    seconds = std::min(seconds, 1.0e9);
    if (!m_medium.hasMedia) return;
    if (m_state == MediaEnded) finishEnded();
    m_medium.pending = seconds;
    if (m_medium.reloadOnPlay || !m_medium.loadIssued) return; // becomes the start of the load
    if (!m_medium.loaded) {
        m_medium.seekOnLoad = true; // sought when loaded
        return;
    }
    issueSeek(seconds);
    emit seeked(seconds);
    refreshPosition();
}

void MpvPlayer::issueSeek(double seconds, bool listen)
{
    // The detector is fed the sound from the target on.
    restartSilence(seconds);
    if (listen) {
        // A seek asked for may go back.
        m_medium.floor = seconds;
        // What was played up to here counts; seeking over a stretch does not
        // mark it.
        if (m_state == Playing && m_medium.loaded) {
            double at = 0.0;
            if (mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &at) >= 0)
                m_medium.listen.played(at, ListenStepSeconds);
        }
        m_medium.listen.interrupt();
    }
    m_seekSerial = std::max(m_seekSerial + 1, SeekSerialBase);
    m_medium.seekArmed = m_medium.landed = false;
    const QByteArray target = QByteArray::number(seconds, 'f', 3);
    const char *args[] = {"seek", target.constData(), "absolute+exact", nullptr};
    const int err = mpv_command_async(m_mpv, m_seekSerial, args);
    if (err < 0) {
        m_medium.pending.reset();
        refused("seek", err);
    }
    // Should mpv never report the landing (a seek it drops), stop reporting
    // the target after a while and show where mpv really is.
    const std::uint64_t serial = m_seekSerial;
    QTimer::singleShot(SeekGiveUpMs, this, [this, serial] {
        if (serial == m_seekSerial && m_medium.loaded && !m_medium.landed) m_medium.pending.reset();
    });
}

double MpvPlayer::duration() const
{
    require();
    if (!m_medium.loaded) return 0.0;
    double length = 0.0;
    const int err = mpv_get_property(m_mpv, "duration", MPV_FORMAT_DOUBLE, &length);
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
    double value = std::clamp(volume, 0, 100) * m_fade;
    check(mpv_set_property(m_mpv, "volume", MPV_FORMAT_DOUBLE, &value), "volume");
    // Read back what was set at once; the engine's change event confirms it.
    m_volume = std::clamp(volume, 0, 100);
    refreshControls();
}
