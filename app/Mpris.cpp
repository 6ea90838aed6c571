// SPDX-License-Identifier: GPL-3.0-or-later
// MPRIS's state and rules, apart from the bus (app/Mpris_unix.cpp puts them
// on it).
#include "app/Mpris.h"

#include "persist/LocalNames.h"

#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>

Mpris::Mpris(QObject *parent) : QObject(parent) {}

Mpris::~Mpris() = default;

QString Mpris::statusText() const
{
    switch (m_status) {
    case Status::Playing:
        return QStringLiteral("Playing");
    case Status::Paused:
        return QStringLiteral("Paused");
    case Status::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QString Mpris::trackId() const
{
    if (!hasTrack()) return QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
    // Not under /org/mpris: MPRIS keeps those paths for itself.
    return QStringLiteral("/org/pelmora/track/%1").arg(m_trackNumber);
}

// ---- state ------------------------------------------------------------------

void Mpris::setStatus(Status status)
{
    if (status == m_status) return;
    m_status = status;
    emit changed();
}

void Mpris::setTrack(const Track &track)
{
    if (track.url != m_track.url) ++m_trackNumber;
    const bool same = track.url == m_track.url && track.title == m_track.title &&
                      track.artists == m_track.artists && track.album == m_track.album &&
                      track.artUrl == m_track.artUrl && track.length == m_track.length;
    m_track = track;
    if (!same) emit changed();
}

void Mpris::setPosition(double seconds)
{
    m_position = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
}

void Mpris::setRate(double rate)
{
    if (rate == m_rate) return;
    m_rate = rate;
    emit changed();
}

void Mpris::setVolume(double volume)
{
    if (volume == m_volume) return;
    m_volume = volume;
    emit changed();
}

void Mpris::setCanGoNext(bool can)
{
    if (can == m_canGoNext) return;
    m_canGoNext = can;
    emit changed();
}

void Mpris::setCanGoPrevious(bool can)
{
    if (can == m_canGoPrevious) return;
    m_canGoPrevious = can;
    emit changed();
}

void Mpris::setCanQuit(bool can)
{
    if (can == m_canQuit) return;
    m_canQuit = can;
    emit changed();
}

void Mpris::setFullscreen(bool on)
{
    if (on == m_fullscreen) return;
    m_fullscreen = on;
    emit changed();
}

void Mpris::announceSeek(double seconds)
{
    setPosition(seconds);
    emit seeked(std::llround(m_position * 1e6));
}

double Mpris::position()
{
    emit positionWanted();
    return m_position;
}

// ---- requests -----------------------------------------------------------------

Mpris::Answer Mpris::gate() const
{
    return accepting() ? Answer::Done : Answer::Refused;
}

Mpris::Answer Mpris::play()
{
    if (gate() == Answer::Refused) return Answer::Refused;
    if (!hasTrack() || m_status == Status::Playing) return Answer::Ignored;
    emit playRequested();
    return Answer::Done;
}

Mpris::Answer Mpris::pause()
{
    if (gate() == Answer::Refused) return Answer::Refused;
    if (m_status != Status::Playing) return Answer::Ignored;
    emit pauseRequested();
    return Answer::Done;
}

Mpris::Answer Mpris::playPause()
{
    return m_status == Status::Playing ? pause() : play();
}

Mpris::Answer Mpris::stop()
{
    if (gate() == Answer::Refused) return Answer::Refused;
    if (!hasTrack()) return Answer::Ignored;
    emit stopRequested();
    return Answer::Done;
}

Mpris::Answer Mpris::seek(qlonglong offsetUs)
{
    if (gate() == Answer::Refused) return Answer::Refused;
    if (!canSeek()) return Answer::Ignored;
    // In seconds before anything is added: no overflow whatever the offset.
    const double target = position() + double(offsetUs) / 1e6;
    if (target > m_track.length) {
        // Beyond the end: the next entry, or the end as a normal end.
        if (m_canGoNext) return next();
        emit positionRequested(m_track.length);
        return Answer::Done;
    }
    emit positionRequested(std::max(0.0, target));
    return Answer::Done;
}

Mpris::Answer Mpris::setPositionOf(const QString &id, qlonglong positionUs)
{
    if (gate() == Answer::Refused) return Answer::Refused;
    // A stale track id, or a position outside the medium, is ignored.
    const double seconds = double(positionUs) / 1e6;
    if (!canSeek() || id != trackId() || positionUs < 0 || seconds > m_track.length)
        return Answer::Ignored;
    emit positionRequested(seconds);
    return Answer::Done;
}

Mpris::Answer Mpris::openUri(const QString &uri)
{
    if (gate() == Answer::Refused) return Answer::Refused;
    const QUrl url(uri);
    QString fileName;
    if (url.isLocalFile())
        fileName = localNameFromUrl(url);
    else if (url.scheme().isEmpty() && uri.startsWith(u'/'))
        fileName = uri;
    if (fileName.isEmpty()) return Answer::Ignored;
    // After the answer: opening may ask the user something.
    QTimer::singleShot(0, this, [this, fileName] { emit openRequested(fileName); });
    return Answer::Done;
}

Mpris::Answer Mpris::next()
{
    if (gate() == Answer::Refused) return Answer::Refused;
    if (!m_canGoNext) return Answer::Ignored;
    QTimer::singleShot(0, this, &Mpris::nextRequested);
    return Answer::Done;
}

Mpris::Answer Mpris::previous()
{
    if (gate() == Answer::Refused) return Answer::Refused;
    if (!m_canGoPrevious) return Answer::Ignored;
    QTimer::singleShot(0, this, &Mpris::previousRequested);
    return Answer::Done;
}

Mpris::Answer Mpris::quit()
{
    if (gate() == Answer::Refused) return Answer::Refused;
    // Not while closing is prevented (CanQuit is false): no box comes up on
    // the desktop from a remote call. Otherwise through the close query,
    // after the answer.
    if (!m_canQuit) return Answer::Ignored;
    QTimer::singleShot(0, this, &Mpris::quitRequested);
    return Answer::Done;
}

Mpris::Answer Mpris::raise()
{
    QTimer::singleShot(0, this, &Mpris::raiseRequested);
    return Answer::Done;
}

Mpris::Answer Mpris::requestVolume(double volume)
{
    if (gate() == Answer::Refused) return Answer::Refused;
    if (!std::isfinite(volume)) return Answer::Ignored;
    // Clamped before it is scaled: 1e308 is the loudest, not an overflow.
    emit volumeRequested(int(std::lround(std::clamp(volume, 0.0, 1.0) * 100.0)));
    return Answer::Done;
}

Mpris::Answer Mpris::requestRate(double rate)
{
    if (gate() == Answer::Refused) return Answer::Refused;
    if (!std::isfinite(rate)) return Answer::Ignored;
    // A rate of 0 is a pause.
    if (rate <= 0.0) return pause();
    emit rateRequested(rate);
    return Answer::Done;
}

Mpris::Answer Mpris::requestFullscreen(bool on)
{
    if (gate() == Answer::Refused) return Answer::Refused;
    emit fullscreenRequested(on);
    return Answer::Done;
}
