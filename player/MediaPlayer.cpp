// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/MediaPlayer.h"

#include "player/SmartRewind.h"

#include <QDateTime>
#include <QElapsedTimer>

qint64 MediaPlayer::rewindNowMs() const
{
    return m_rewindClock ? m_rewindClock() : QDateTime::currentMSecsSinceEpoch();
}

void MediaPlayer::notePause()
{
    // A pause asked for again while paused does not start it anew.
    if (!m_pausedAtMs) m_pausedAtMs = rewindNowMs();
}

std::optional<double> MediaPlayer::rewindAfterPause(double position,
                                                    const QList<ListenedRange> &silences)
{
    const std::optional<qint64> since = m_pausedAtMs;
    m_pausedAtMs.reset();
    if (!since || !m_rewindOn) return std::nullopt;
    const double to =
        SmartRewind::target(position, rewindNowMs() - *since, silences, repeatStretch());
    // Less than half a second (the start of a repeated stretch just behind):
    // not worth a seek, nor a word.
    if (position - to < 0.5) return std::nullopt;
    return to;
}

double MediaPlayer::rewindPlace(double place, std::optional<qint64> keptAtMs) const
{
    if (!keptAtMs || !m_rewindOn) return place;
    return SmartRewind::target(place, rewindNowMs() - *keptAtMs, {}, repeatStretch());
}

qint64 MediaPlayer::steadyNowMs()
{
    static const QElapsedTimer since = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return since.elapsed();
}
