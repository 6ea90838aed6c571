// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/SleepTimer.h"

#include "player/MediaPlayer.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <exception>

namespace
{

constexpr int SlowTickMs = 1000;
constexpr int FadeTickMs = 100;
// At the end of a medium the pause comes this short of its end, so that the
// medium holds there instead of ending.
constexpr qint64 EndMarginMs = 1000;

} // namespace

SleepTimer::SleepTimer(MediaPlayer &player, std::function<qint64()> nowMs, QObject *parent)
    : QObject(parent), m_player(player), m_now(std::move(nowMs)), m_timer(new QTimer(this))
{
    connect(m_timer, &QTimer::timeout, this, &SleepTimer::tick);
    // A seek, a pause or a play during the fade is the user's.
    connect(&player, &MediaPlayer::seeked, this, &SleepTimer::userActed);
    connect(&player, &MediaPlayer::playStateChanged, this, [this] {
        if (!m_pausing) userActed();
    });
}

void SleepTimer::set(Mode mode, int minutes)
{
    if (m_fading) m_player.setFade(1.0);
    m_fading = false;
    m_fadeFrom.reset();
    m_mode = mode;
    m_minutes = mode == Mode::Minutes ? std::max(1, minutes) : 0;
    m_deadline = m_now() + qint64(m_minutes) * 60000;
    if (mode == Mode::EndOfChapter) {
        try {
            m_chapterEnd = chapterEnd(m_player.currentPosition());
        } catch (const std::exception &) {
            m_chapterEnd = m_player.duration();
        }
    }
    if (mode == Mode::Off)
        m_timer->stop();
    else
        m_timer->start(SlowTickMs);
    emit changed();
}

// The end of the chapter that position lies in: the next chapter's start, or
// the medium's end.
double SleepTimer::chapterEnd(double position) const
{
    for (const MediaPlayer::Chapter &c : m_player.chapters())
        if (c.time > position + 0.001) return c.time;
    return m_player.duration();
}

void SleepTimer::extend()
{
    if (m_mode == Mode::Off) return;
    const qint64 left = remainingMs().value_or(0);
    if (m_fading) m_player.setFade(1.0);
    m_fading = false;
    m_fadeFrom.reset();
    m_deadline = m_now() + left + qint64(ExtendMinutes) * 60000;
    m_minutes = int((m_deadline - m_now() + 59999) / 60000);
    m_mode = Mode::Minutes;
    m_timer->start(SlowTickMs);
    emit changed();
}

std::optional<qint64> SleepTimer::remainingMs() const
{
    switch (m_mode) {
    case Mode::Off:
        return std::nullopt;
    case Mode::Minutes:
        return std::max<qint64>(0, m_deadline - m_now());
    case Mode::EndOfPlaylist:
        if (m_moreToCome && m_moreToCome()) return std::nullopt;
        [[fallthrough]];
    case Mode::EndOfMedium:
    case Mode::EndOfChapter: {
        if (!m_player.hasCurrentMedia()) return std::nullopt;
        const double end =
            m_mode == Mode::EndOfChapter && m_chapterEnd > 0 ? m_chapterEnd : m_player.duration();
        const double left = end - m_player.currentPosition();
        const double speed = m_player.speed() > 0 ? m_player.speed() : 1.0;
        if (!(m_player.duration() > 0) || !std::isfinite(left)) return std::nullopt;
        return std::max<qint64>(0, qint64(left * 1000.0 / speed) - EndMarginMs);
    }
    }
    return std::nullopt;
}

bool SleepTimer::holdsAtEnd() const
{
    // The last chapter ends with the medium.
    return m_mode == Mode::EndOfMedium ||
           (m_mode == Mode::EndOfChapter && !(m_chapterEnd < m_player.duration())) ||
           (m_mode == Mode::EndOfPlaylist && !(m_moreToCome && m_moreToCome()));
}

void SleepTimer::userActed()
{
    if (m_fading) finish(false);
}

void SleepTimer::tick()
{
    if (m_mode == Mode::Off) return;
    if (m_mode == Mode::EndOfChapter && !m_fading) {
        // Moved by the user into another chapter: the end of that one.
        try {
            const double at = m_player.currentPosition();
            if (at >= m_chapterEnd || chapterEnd(at) < m_chapterEnd) m_chapterEnd = chapterEnd(at);
        } catch (const std::exception &) {
        }
    }
    const std::optional<qint64> left = remainingMs();
    // The end modes count only while the medium plays.
    const bool counting = m_mode == Mode::Minutes || m_player.playState() == MediaPlayer::Playing;
    if (left && counting && *left <= 0) {
        finish(true);
        return;
    }
    if (left && counting && *left <= FadeMs) {
        if (!m_fading) {
            try {
                // Where the fade began, should this tick come after it.
                const double speed = m_player.speed() > 0 ? m_player.speed() : 1.0;
                m_fadeFrom = std::max(0.0, m_player.currentPosition() -
                                               double(FadeMs - *left) / 1000.0 * speed);
                m_fadeBegan = m_now() - (FadeMs - *left);
            } catch (const std::exception &) {
                m_fadeFrom.reset();
            }
        }
        m_fading = true;
        m_player.setFade(std::clamp(double(*left) / FadeMs, 0.0, 1.0));
        if (m_timer->interval() != FadeTickMs) m_timer->start(FadeTickMs);
    } else if (m_fading) {
        // The end moved away (a longer medium, the playlist goes on).
        m_fading = false;
        m_fadeFrom.reset();
        m_player.setFade(1.0);
        m_timer->start(SlowTickMs);
    }
    emit changed();
}

bool SleepTimer::endReached()
{
    if (!holdsAtEnd() || m_player.playState() != MediaPlayer::Playing) return false;
    if (!m_fadeFrom) {
        // No fade yet (the medium ended sooner than it said): the place is
        // where a fade would have begun.
        const double speed = m_player.speed() > 0 ? m_player.speed() : 1.0;
        m_fadeFrom = std::max(0.0, m_player.duration() - FadeMs / 1000.0 * speed);
        m_fadeBegan = m_now() - FadeMs;
    }
    finish(true);
    return true;
}

void SleepTimer::finish(bool pause)
{
    const std::optional<double> back = m_fadeFrom;
    const qint64 agoMs = back && m_fadeBegan ? std::max<qint64>(0, m_now() - *m_fadeBegan) : 0;
    m_fading = false;
    m_fadeFrom.reset();
    m_fadeBegan.reset();
    m_mode = Mode::Off;
    m_timer->stop();
    std::optional<double> slept;
    if (pause && m_player.playState() == MediaPlayer::Playing) {
        m_pausing = true;
        try {
            m_player.pause();
            // The place kept is where the fade began.
            if (back) m_player.setCurrentPosition(*back);
            slept = back ? *back : m_player.currentPosition();
        } catch (...) {
            m_pausing = false;
            throw;
        }
        m_pausing = false;
    }
    m_player.setFade(1.0); // the volume setting, at once
    emit changed();
    if (slept) emit sleptAt(*slept, agoMs);
}
