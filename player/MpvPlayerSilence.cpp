// SPDX-License-Identifier: GPL-3.0-or-later
// Silence skipping, on the engine's own audio filters: FFmpeg's silence
// detection (below -45 dB for more than 0.7 s) sits first in the audio filter
// chain and reports, through the filter's metadata, where a silence began and
// where it ended. The filter sees the sound before it is heard. A silence is
// passed at a high speed from its report on; when its end is reported, the
// speed comes back and playback goes to a moment before the end, so that the
// first word after it is heard whole (the sound already sped up in the
// output is dropped by that seek).
//
// Also here: the engine's speed and volume, which carry the user's speed and
// volume with the silence's speed-up and the sleep timer's fade on top.
#include "player/MpvPlayer.h"

#include "player/MpvSupport.h"
#include "player/PlayerControls.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace
{

const char *const SilenceFilter = "@silence:lavfi=[silencedetect=n=-45dB:d=0.7]";

double reported(const mpv_node &metadata, const char *key)
{
    bool ok = false;
    const double value = nodeText(mapValue(metadata, key)).toDouble(&ok);
    return ok && std::isfinite(value) ? value : -1.0;
}

} // namespace

void MpvPlayer::setSkipSilence(bool on)
{
    require();
    if (on == m_skipOn) return;
    // First in the chain, so that it reports the medium's own times.
    const char *args[] = {"af", on ? "pre" : "remove", on ? SilenceFilter : "@silence", nullptr};
    check(mpv_command(m_mpv, args), "af");
    m_skipOn = on;
    // A new detector knows nothing of the sound before now.
    double at = 0.0;
    if (m_medium.loaded) mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &at);
    restartSilence(at);
    m_controls->showSilenceSkip(on, m_medium.silenceSaved);
}

void MpvPlayer::restartSilence(double at)
{
    if (m_silence.restart(at)) pushEngineSpeed();
    if (m_passLimit) m_passLimit->stop();
}

void MpvPlayer::silenceReported(const mpv_node &metadata)
{
    if (!m_skipOn || !m_medium.loaded || m_activeId != m_medium.id) return;
    const double start = reported(metadata, "lavfi.silence_start");
    const double end = reported(metadata, "lavfi.silence_end");
    const bool playing = m_state == Playing && !m_medium.pending;
    double position = 0.0;
    try {
        position = currentPosition();
    } catch (const AppError &) {
        return;
    }
    applySilenceStep(m_silence.report(start, end, position, playing, m_speed, m_steady.elapsed()));
}

void MpvPlayer::applySilenceStep(const SilenceSkipper::Step &step)
{
    if (step.kind == SilenceSkipper::Step::None) return;
    pushEngineSpeed();
    if (step.kind == SilenceSkipper::Step::Begin) {
        if (!m_passLimit) {
            m_passLimit = new QTimer(this);
            m_passLimit->setSingleShot(true);
            connect(m_passLimit, &QTimer::timeout, this, [this] {
                try {
                    applySilenceStep(
                        m_silence.expire(currentPosition(), m_speed, m_steady.elapsed()));
                } catch (const AppError &) {
                }
            });
        }
        m_passLimit->start(int(SilenceSkipper::MaxPassMs));
        return;
    }
    m_passLimit->stop();
    m_medium.silenceSaved += step.saved;
    if (step.passed.end > step.passed.start) m_medium.skipped.append(step.passed);
    // What was passed counts as played.
    m_medium.listen.played(step.target, step.target - step.passed.start + 1.0);
    try {
        // Forward over the rest of the silence, or back when the report came
        // late (the first word was already heard sped up): just before its
        // end. The position shown holds meanwhile (it never goes back).
        if (std::abs(step.target - currentPosition()) > 0.05) {
            m_medium.pending = step.target;
            issueSeek(step.target, false);
            emit silencePassed(step.target);
        }
    } catch (const AppError &) {
        m_medium.pending.reset();
    }
    m_controls->showSilenceSkip(true, m_medium.silenceSaved);
}

void MpvPlayer::pushEngineSpeed()
{
    double value =
        m_silence.passing() ? std::max(m_speed, 1.0) * SilenceSkipper::PassSpeed : m_speed;
    mpv_set_property(m_mpv, "speed", MPV_FORMAT_DOUBLE, &value);
}

void MpvPlayer::pushEngineVolume()
{
    double value = m_volume * m_fade;
    mpv_set_property(m_mpv, "volume", MPV_FORMAT_DOUBLE, &value);
}

void MpvPlayer::setFade(double factor)
{
    require();
    m_fade = std::isfinite(factor) ? std::clamp(factor, 0.0, 1.0) : 1.0;
    pushEngineVolume();
}
