// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/ListenedRanges.h"

#include <QtGlobal>

// The rules of silence skipping, apart from the engine. The engine's silence
// detector (first in the audio filter chain, so it sees the sound before it
// is heard) reports the start of the last silence it found and the end of
// the last one that ended. A silence is passed at PassSpeed from the report
// of its start; at the report of its end playback goes to ResumeBeforeEnd
// before that end, so that the first word after it is heard whole.
//
// The detector's reports describe the sound it has been fed. After a seek
// the engine may feed it sound from before the target (a Matroska seek lands
// on an earlier cluster and decodes from there), so it reports silences that
// lie before the target again, with values it has reported before. Such a
// report must neither start a pass nor hide the end of one: restart() tells
// where the sound fed from now on begins, and only silences that start
// there or later count. Reports are compared by value, never by text.
class SilenceSkipper
{
public:
    static constexpr double PassSpeed = 8.0;
    static constexpr double ResumeBeforeEnd = 0.2;
    // A pass whose end is never reported stops after this long.
    static constexpr qint64 MaxPassMs = 60000;

    struct Step {
        enum Kind { None, Begin, End } kind = None;
        // Begin: where the pass begins (the silence's start, or where
        // playback is when that lies behind it); the detector hears the sound
        // ahead of playback, so this may still lie ahead.
        // End: where playback goes on (seek there when it differs from the
        // position), the stretch passed quickly, and the time it saved.
        double target = 0.0;
        ListenedRange passed;
        double saved = 0.0;
    };

    bool passing() const { return m_passing; }

    // The sound fed to the detector from now on begins at `at` (a seek, a
    // new medium, another audio track, the detector added). A pass in
    // progress ends where it is; returns true when there was one (the speed
    // goes back).
    bool restart(double at);

    // A report of the detector: the start of the last silence it found and
    // the end of the last one that ended (negative: none yet). position:
    // where playback is; playing: playing, with no seek under way; speed:
    // the user's speed; nowMs: a steady clock.
    Step report(double start, double end, double position, bool playing, double speed,
                qint64 nowMs);

    // A pass that has lasted MaxPassMs ends where it is.
    Step expire(double position, double speed, qint64 nowMs);
    // Playback reached the pass's beginning: the fast speed starts now (its
    // time counts from here).
    void begun(qint64 nowMs) { m_beganMs = nowMs; }

private:
    Step finish(double target, double speed, qint64 nowMs);

    double m_trustedFrom = 0.0; // reports of silences before this are pre-roll
    double m_lastStart = -1.0;  // the last start acted upon or refused
    bool m_passing = false;
    double m_silenceStart = 0.0; // the start of the silence being passed
    double m_from = 0.0;         // where its pass began
    qint64 m_beganMs = 0;
};
