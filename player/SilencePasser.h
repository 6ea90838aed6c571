// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player/SilenceSkipper.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>

#include <functional>

class QTimer;

// Silence skipping beside the player component: fed by the engine's silence
// reports and by the component's own moves (seeks, pauses, another medium
// or track), it asks for the fast speed while a silence is passed and for
// the component's own seek at its end (SilenceSkipper holds the rules). It
// keeps what it passed in the medium and the time that saved.
class SilencePasser : public QObject
{
    Q_OBJECT

public:
    struct Playback {
        double position = 0.0;
        bool playing = false; // at the user's speed, no seek under way
        double speed = 1.0;
    };
    // playback: where the component is, read at each report.
    explicit SilencePasser(std::function<Playback()> playback, QObject *parent = nullptr);

    bool on() const { return m_on; }
    void setOn(bool on, double position);
    // A silence is being passed at the fast speed now.
    bool passing() const { return m_fast; }
    // The medium's stretches passed quickly, and the time that saved.
    const QList<ListenedRange> &passed() const { return m_passed; }
    double saved() const { return m_saved; }

    // A new medium: nothing passed yet.
    void newMedium();
    // The sound fed to the detector begins anew at `at` (a seek, a pause,
    // another audio track).
    void restart(double at);
    // The detector's report.
    void report(double start, double end);

signals:
    // Pass quickly, or play at the user's speed again.
    void fastChanged(bool fast);
    // The end of a silence: playback goes on at `to` (the component's own
    // move, no seek of the user's).
    void resumeAt(double to);
    // The time saved in this medium changed, or the switch.
    void changed(bool on, double saved);

private:
    void apply(const SilenceSkipper::Step &step);
    void setFast(bool fast);

    std::function<Playback()> m_playback;
    SilenceSkipper m_skipper;
    bool m_on = false;
    bool m_fast = false;
    QList<ListenedRange> m_passed;
    double m_saved = 0.0;
    QElapsedTimer m_steady;
    QTimer *m_limit = nullptr; // ends a pass whose end never comes
    QTimer *m_begin = nullptr; // waits for playback to reach a silence heard ahead
};
