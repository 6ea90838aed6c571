// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/Recording.h"

#include <optional>

// Cuts what is played of a medium into the study log's stretches: a stretch
// runs while the medium plays on without a seek, a pause or a change of
// speed. Silences passed quickly belong to the stretch (their content was
// gone through) and are counted as skipped. A seek or a jump is never
// played: it ends one stretch, and the next one starts where it landed.
class StretchRecorder
{
public:
    using Stretch = ::Stretch;

    // The medium plays at position, at speed, at nowMs (UTC ms): opens a
    // stretch, or extends the open one. Returns the stretch this closed: a
    // change of medium or speed, or a leap that no play explains.
    std::optional<Stretch> playing(const QString &name, double position, double speed,
                                   qint64 nowMs);
    // Silence skipping passed the sound up to `to` quickly; skipped: the
    // seconds of the medium it passed.
    void passed(double to, double skipped, qint64 nowMs);
    // Playback stopped moving on (a pause, a stop, its end, a seek, another
    // medium, the program closing): the open stretch ends at position (or
    // where it was last seen, when position does not follow on from it).
    std::optional<Stretch> stop(double position, qint64 nowMs);

    bool open() const { return m_open; }

private:
    bool follows(double position) const;
    std::optional<Stretch> close(qint64 nowMs);

    Stretch m_current;
    qint64 m_seenMs = 0; // when the open stretch was last seen moving
    bool m_open = false;
};
