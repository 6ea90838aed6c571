// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/Recording.h"

#include <QtGlobal>

#include <optional>

// Cuts what is played of a medium into the study log's stretches: a stretch
// runs while the medium plays on without a seek, a pause or a change of
// speed. Silences passed quickly belong to the stretch (their content was
// gone through) and are counted as skipped. A seek or a jump is never
// played: it ends one stretch, and the next one starts where it landed.
//
// The time spent on a stretch is measured on a steady clock, never on the
// wall clock (which a user, a time server or a suspended laptop may move),
// and only while the position moves: a gap between two reports in which it
// did not (the process stopped, the machine slept) counts for what was
// played in it. It never exceeds the content played at its speed. The
// wall clock only places the stretch on the calendar: it ends its time
// spent after its start.
class StretchRecorder
{
public:
    using Stretch = ::Stretch;
    // A moment: on the wall clock (UTC ms) and on a steady one (ms).
    struct Now {
        qint64 wallMs = 0;
        qint64 steadyMs = 0;
    };
    // Reports come about once a second; a gap longer than this between two
    // of them counts only for what was played in it, at its speed.
    static constexpr qint64 GapMs = 2500;
    // How far the time spent may run ahead of the content played at its
    // speed: reports come a little late.
    static constexpr qint64 SlackMs = 1000;

    // The medium plays at position, at speed: opens a stretch, or extends
    // the open one. Returns the stretch this closed: a change of medium or
    // speed, or a leap that no play explains.
    std::optional<Stretch> playing(const QString &name, double position, double speed, Now now);
    // Silence skipping passed the sound up to `to` quickly; skipped: the
    // seconds of the medium it passed.
    void passed(double to, double skipped, Now now);
    // Playback stopped moving on (a pause, a stop, its end, a seek, another
    // medium, the program closing): the open stretch ends at position (or
    // where it was last seen, when position does not follow on from it).
    std::optional<Stretch> stop(double position, Now now);
    // The open stretch as it stands (kept now and then, so that a crash
    // costs little of it); nothing when none is open or nothing was played.
    std::optional<Stretch> current() const;

    bool open() const { return m_open; }

private:
    bool follows(double position) const;
    void reach(double position, qint64 steadyMs);
    Stretch finished() const;

    Stretch m_current;
    qint64 m_seenSteadyMs = 0; // when the open stretch was last seen moving
    qint64 m_spentMs = 0;
    bool m_open = false;
};
