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

#include <algorithm>
#include <cmath>

namespace
{

const char *const SilenceFilter = "@silence:lavfi=[silencedetect=n=-45dB:d=0.7]";
// How fast a silence is passed, and how long before its end playback goes
// back to the normal speed.
constexpr double PassSpeed = 8.0;
constexpr double ResumeBeforeEnd = 0.2;

double reported(const mpv_node &metadata, const char *key, QString *text)
{
    *text = nodeText(mapValue(metadata, key));
    bool ok = false;
    const double value = text->toDouble(&ok);
    return ok && std::isfinite(value) ? value : -1.0;
}

} // namespace

void MpvPlayer::setSkipSilence(bool on)
{
    require();
    if (on == m_skip.on) return;
    // First in the chain, so that it reports the medium's own times.
    const char *args[] = {"af", on ? "pre" : "remove", on ? SilenceFilter : "@silence", nullptr};
    check(mpv_command(m_mpv, args), "af");
    if (!on && m_skip.passing) {
        m_skip.passing = false;
        pushEngineSpeed();
    }
    m_skip.on = on;
    m_skip.lastStart.clear();
    m_skip.lastEnd.clear();
    m_controls->showSilenceSkip(on, m_medium.silenceSaved);
}

void MpvPlayer::silenceReported(const mpv_node &metadata)
{
    if (!m_skip.on || !m_medium.loaded || m_activeId != m_medium.id) return;
    QString startText, endText;
    const double start = reported(metadata, "lavfi.silence_start", &startText);
    const double end = reported(metadata, "lavfi.silence_end", &endText);
    const bool newStart = !startText.isEmpty() && startText != m_skip.lastStart;
    const bool newEnd = !endText.isEmpty() && endText != m_skip.lastEnd;
    m_skip.lastStart = startText;
    m_skip.lastEnd = endText;
    if (newEnd && m_skip.passing && end >= 0) {
        endSilence(end);
        return;
    }
    if (newStart && !m_skip.passing && start >= 0 && m_state == Playing && !m_medium.pending) {
        m_skip.passing = true;
        m_skip.from = currentPosition();
        m_skip.wall.start();
        pushEngineSpeed();
    }
}

void MpvPlayer::endSilence(double end)
{
    m_skip.passing = false;
    pushEngineSpeed();
    const double from = m_skip.from;
    // Forward over the rest of the silence, or back when the report came late
    // (the first word was already heard sped up): just before its end.
    const double target = std::max(m_skip.from, end - ResumeBeforeEnd);
    // The time it saved: the medium's time passed, at the user's speed, less
    // the time it took.
    const double passed = (target - from) / (m_speed > 0 ? m_speed : 1.0);
    m_medium.silenceSaved += std::max(0.0, passed - m_skip.wall.elapsed() / 1000.0);
    if (target > from) m_medium.skipped.append({from, target});
    // What was passed counts as played.
    m_medium.listen.played(target, target - from + 1.0);
    try {
        m_medium.pending = target;
        issueSeek(target, false);
        emit seeked(target);
    } catch (const AppError &) {
        m_medium.pending.reset();
    }
    m_controls->showSilenceSkip(true, m_medium.silenceSaved);
}

void MpvPlayer::pushEngineSpeed()
{
    double value = m_skip.passing ? std::max(m_speed, 1.0) * PassSpeed : m_speed;
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
