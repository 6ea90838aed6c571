// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakePlayer.h"

#include "persist/AppError.h"
#include "player/MediaName.h"
#include "player/PictureInput.h"
#include "player/SleepTimer.h"

#include <algorithm>
#include <cmath>

FakePlayer::FakePlayer(QWidget *parent)
    : MediaPlayer(parent), m_sleep(new SleepTimer(
                               *this, [this] { return m_clockMs; }, this))
{
    // The study log's clock is the simulated one, from a fixed day, until the
    // program sets its own.
    setStudyClock([this] { return WallClockStartMs + m_clockMs; }, [this] { return m_clockMs; });
    connect(m_sleep, &SleepTimer::sleptAt, this, &MediaPlayer::fellAsleep);
    m_input = new PictureInput(*this, *m_sleep);
    m_input->watch(this);
}

void FakePlayer::setPlayerEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled) m_input->closeMenu();
}

bool FakePlayer::handleKey(const QKeyEvent &event)
{
    return m_input->menuKey(event) || MediaPlayer::handleKey(event);
}

bool FakePlayer::sleepsAtEnd() const
{
    return m_sleep->holdsAtEnd();
}

void FakePlayer::setMoreToCome(std::function<bool()> moreToCome)
{
    m_sleep->setMoreToCome(std::move(moreToCome));
}

void FakePlayer::check(const char *operation) const
{
    if (m_failing.contains(QString::fromLatin1(operation)))
        throw AppError(QStringLiteral("%1 に失敗しました").arg(QString::fromLatin1(operation)));
}

void FakePlayer::setState(int state)
{
    if (m_state == state) return;
    if (state != Playing) logStopped(m_position);
    m_state = state;
    emit playStateChanged(state);
}

void FakePlayer::setURL(const QString &url)
{
    check("setURL");
    calls << QStringLiteral("setURL:") + url;
    logStopped(m_position);
    m_url = url;
    m_position = 0.0;
    m_offered.reset();
    m_endCut = 0.0;
    forgetPause();
    m_listen.clear();
    m_startPaused = false;
    // The engine's boundary: a name the player refuses never reaches it.
    const MediaName name = classifyMediaName(url);
    const bool refused = name.kind == MediaNameKind::None || name.kind == MediaNameKind::Refused;
    if (!refused) engineLoads << name.path;
    if (refused || m_unplayable.contains(url)) {
        m_loaded = false;
        m_loading = false;
        setState(Undefined);
        emit error();
        return;
    }
    m_loaded = true;
    m_loading = true;
    m_duration = m_durations.value(url, m_defaultDuration);
    setState(Transitioning);
}

void FakePlayer::finishLoading()
{
    if (!m_loading) return;
    m_loading = false;
    setState(m_startPaused ? Stopped : Playing);
}

void FakePlayer::play()
{
    check("play");
    calls << QStringLiteral("play");
    if (!m_loaded) return;
    m_startPaused = false;
    if (m_loading) return; // plays once loaded
    if (m_state == MediaEnded) m_position = 0.0;
    const double from = m_position;
    const std::optional<double> back =
        m_state == Paused ? rewindAfterPause(from, m_pauseStarts) : std::nullopt;
    if (back) setCurrentPosition(*back);
    setState(Playing);
    if (back) emit rewound(from - *back);
}

void FakePlayer::pause()
{
    check("pause");
    calls << QStringLiteral("pause");
    if (!m_loaded || m_loading) return;
    if (m_state == Playing) notePause();
    if (m_state == Playing || m_state == Paused) setState(Paused);
}

void FakePlayer::stop()
{
    check("stop");
    calls << QStringLiteral("stop");
    forgetPause();
    if (!m_loaded) return;
    m_position = 0.0;
    if (m_loading) {
        m_startPaused = true;
        return;
    }
    setState(Stopped);
}

double FakePlayer::currentPosition() const
{
    check("currentPosition");
    return m_loaded ? m_position : 0.0;
}

void FakePlayer::setCurrentPosition(double seconds)
{
    check("setCurrentPosition");
    calls << QStringLiteral("pos=%1").arg(seconds);
    forgetPause();
    if (!m_loaded) return;
    logStopped(m_position);
    m_position = std::max(0.0, seconds);
    m_listen.interrupt();
    if (!m_loading) emit seeked(m_position);
    // At or beyond the end (a course's outro's too) while playing: the end.
    if (m_duration > 0 && m_position >= m_duration - m_endCut && !m_loading && m_state == Playing)
        advance(0.0);
}

double FakePlayer::duration() const
{
    check("duration");
    return m_loaded ? m_duration : 0.0;
}

void FakePlayer::setVolume(int volume)
{
    check("setVolume");
    m_volume = std::clamp(volume, 0, 100);
    emit volumeChanged(m_volume, m_muted);
}

void FakePlayer::setMuted(bool muted)
{
    m_muted = muted;
    emit volumeChanged(m_volume, m_muted);
}

void FakePlayer::setSpeed(double speed)
{
    logStopped(m_position);
    m_speed = std::clamp(std::round(speed * 100) / 100, MinSpeed, MaxSpeed);
    emit speedChanged(m_speed);
}

int FakePlayer::currentChapter() const
{
    int current = -1;
    for (int i = 0; i < m_chapters.size(); ++i)
        if (m_chapters.at(i).time <= m_position) current = i;
    return current;
}

void FakePlayer::setCurrentChapter(int index)
{
    if (index >= 0 && index < m_chapters.size()) setCurrentPosition(m_chapters.at(index).time);
}

void FakePlayer::offerPlace(double seconds, const QString &timeText, std::optional<qint64> keptAtMs)
{
    calls << QStringLiteral("offer=%1 %2").arg(seconds).arg(timeText);
    m_offered = seconds;
    m_offeredKeptAt = keptAtMs;
    m_offeredText = timeText;
}

void FakePlayer::forgetOfferedPlace()
{
    if (!m_offered) return;
    m_offered.reset();
    emit offeredPlaceForgotten();
}

bool FakePlayer::takeOfferedPlace()
{
    if (!m_offered) return false;
    const double from = rewindPlace(*m_offered, m_offeredKeptAt);
    setCurrentPosition(from);
    play();
    if (*m_offered - from >= 0.5) emit rewound(*m_offered - from);
    m_offered.reset();
    return true;
}

void FakePlayer::closeMedia()
{
    calls << QStringLiteral("close");
    forgetPause();
    m_offered.reset();
    m_loaded = false;
    m_loading = false;
    m_position = 0.0;
    setState(Undefined);
}

void FakePlayer::advance(double seconds)
{
    finishLoading();
    if (m_state == Playing) logPlaying(m_position);
    // Wall time passes whatever the state; the sleep timer looks at it.
    m_clockMs += static_cast<qint64>(std::llround(seconds * 1000));
    moveOn(seconds);
    if (m_sleep->mode() != SleepTimer::Mode::Off) m_sleep->tick();
}

void FakePlayer::passSilence(double to)
{
    if (m_state != Playing || to <= m_position) return;
    logPassed(to, to - m_position);
    m_position = to;
    emit silencePassed(to);
    // The last silence passed to the end is the end.
    if (m_duration > 0 && m_position >= m_duration - m_endCut) moveOn(0.0);
}

void FakePlayer::moveOn(double seconds)
{
    if (m_state != Playing) return;
    m_listen.played(m_position, 0.0);
    m_position += seconds * m_speed;
    // Played past the place on offer: it is offered no more.
    if (m_offered && m_position > *m_offered) m_offered.reset();
    const double end = m_duration > 0 ? std::max(0.0, m_duration - m_endCut) : 0.0;
    m_listen.played(std::min(m_position, end > 0 ? end : m_position), seconds * m_speed + 1e-9);
    logPlaying(std::min(m_position, end > 0 ? end : m_position));
    if (m_duration > 0 && m_position >= end) {
        m_position = end;
        if (m_sleep->endReached()) return;
        setState(MediaEnded);
        m_position = 0.0;
        setState(Stopped);
    }
}
