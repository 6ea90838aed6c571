// SPDX-License-Identifier: GPL-3.0-or-later
// What the player follows of the engine's reports on the medium (the
// duration, volume, mute, speed, chapters, tracks and tags), the choices made
// of them (speed, mute, chapter, track, silence skipping), and the card of
// the picture area.
#include "player/MpvPlayer.h"

#include "persist/AppError.h"
#include "persist/LocalNames.h"
#include "player/MediaName.h"
#include "player/MpvSupport.h"
#include "player/SilencePasser.h"
#include "player/SleepTimer.h"
#include "player/VideoArea.h"
#include "player/VideoSurface.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{

const char *const TempoFilter = "@tempo:scaletempo2";

const char *const SilenceFilter =
    "@silence:lavfi=[asetnsamples=n=4096:p=0,silencedetect=n=-45dB:d=0.7]";

// Voice boost: the speech levelled half-wave by half-wave (speechnorm: quiet
// speech raised up to 16 times, loud speech brought down), the low rumble
// cut (a high-pass at 100 Hz, after speechnorm: fed by the high-pass, FFmpeg
// 5.1's speechnorm fell silent after a few seconds), the presence around
// 2.5 kHz lifted by 3 dB, and the peaks limited to -1.4 dBFS. It comes after
// the silence detector, which hears the medium as it is, and after the time
// stretching, so that the limiter has the last word.
const char *const BoostFilter =
    "@boost:lavfi=[speechnorm=p=0.65:e=16:c=4:r=0.0005:f=0.001:l=1,highpass=f=100,"
    "equalizer=f=2500:t=q:w=1:g=3,alimiter=limit=0.85:attack=5:release=50:level=0]";

// The name the card shows: a file's name; any other name whole.
QString displayName(const QString &url)
{
    const MediaName name = classifyMediaName(url);
    if (name.kind != MediaNameKind::Local) return url;
    return name.path.mid(std::max(name.path.lastIndexOf(u'/'), name.path.lastIndexOf(u'\\')) + 1);
}

} // namespace

void MpvPlayer::followEngineInfo()
{
    const auto current = [this] { return m_machine.current(); };
    connect(m_engine, &MpvEngine::durationChanged, this, &MediaPlayer::mediumInfoChanged);
    connect(m_engine, &MpvEngine::positionTicked, this, [this, current] {
        // What is played marks the medium; a landing seek does not.
        try {
            const double at = currentPosition();
            if (current() && playState() == Playing && !m_machine.target()) {
                // The medium really plays once its position moves from where
                // the load started it: loading it and starting the sound is
                // no time spent listening.
                if (m_rollFrom && at <= *m_rollFrom + 0.01) {
                    emit positionChanged(at);
                    return;
                }
                m_listen.played(at, ListenStepSeconds);
                m_lastPlayed = at;
                if (m_rollFrom)
                    logRolling(*std::exchange(m_rollFrom, std::nullopt), at);
                else
                    logPlaying(at);
                passOffer(at);
            }
            emit positionChanged(at);
        } catch (const AppError &) {
        }
    });
    connect(m_engine, &MpvEngine::volumeChanged, this, [this](double value) {
        if (m_fade != 1.0) return; // a fade's volume is no setting
        m_volume = std::clamp(static_cast<int>(std::lround(value)), 0, 100);
        emit volumeChanged(m_volume, m_muted);
    });
    connect(m_engine, &MpvEngine::muteChanged, this, [this](bool muted) {
        m_muted = muted;
        emit volumeChanged(m_volume, m_muted);
    });
    connect(m_engine, &MpvEngine::speedChanged, this, [this](double value) {
        if (m_silence->passing()) return; // a silence passed is no speed of the user's
        m_speed = value;
        emit speedChanged(m_speed);
    });
    connect(m_engine, &MpvEngine::chaptersChanged, this, [this](const QList<Chapter> &chapters) {
        m_info.chapters = chapters;
        emit mediumInfoChanged();
    });
    connect(m_engine, &MpvEngine::chapterChanged, this, [this](int index) {
        m_info.chapter = index;
        emit mediumInfoChanged();
    });
    connect(m_engine, &MpvEngine::tracksChanged, this, [this](const MpvEngine::TrackList &list) {
        m_info.tracks = list.tracks;
        // Whether the medium shows a picture is settled as it loads; later
        // reports (subtitle files added) leave it.
        if (!m_machine.loaded()) {
            m_info.hasPicture = list.picture;
            m_info.hasVideo = list.video;
        }
        emit mediumInfoChanged();
    });
    connect(m_engine, &MpvEngine::tagsChanged, this, [this](const QVariantMap &tags) {
        m_info.tags = tags;
        emit mediumInfoChanged();
    });
}

// ---- choices ------------------------------------------------------------

void MpvPlayer::setSpeed(double speed)
{
    require();
    if (!std::isfinite(speed)) return;
    // Whole hundredths, so that steps of 0.1 do not gather rounding noise.
    const double value = std::clamp(std::round(speed * 100.0) / 100.0, MinSpeed, MaxSpeed);
    // The pitch is kept by the engine's time-stretching filter, in the chain
    // only while the speed is not 1.
    AudioFilters wanted = m_filters;
    wanted.stretch = value != 1.0;
    setAudioFilters(wanted);
    if (value != m_speed && playState() == Playing) {
        // A stretch of the study log is played at one speed.
        if (const std::optional<double> at = enginePosition()) logStopped(*at);
    }
    m_speed = value;
    pushEngineSpeed();
    emit speedChanged(m_speed);
}

// The engine's audio filters, in their order: the silence detector first,
// so that it hears the medium as it is and reports the medium's own times;
// then the engine's own; the time stretching; voice boost last, so that its
// limiter has the last word.
QByteArray MpvPlayer::audioFilterChain(const AudioFilters &wanted, const QByteArray &own)
{
    QByteArrayList chain;
    if (wanted.silence) chain << SilenceFilter;
    if (!own.isEmpty()) chain << own;
    if (wanted.stretch) chain << TempoFilter;
    if (wanted.boost) chain << BoostFilter;
    return chain.join(',');
}

void MpvPlayer::setAudioFilters(AudioFilters wanted)
{
    if (wanted == m_filters) return;
    const QByteArray chain = audioFilterChain(wanted, m_engine->ownAudioFilters());
    check(m_engine->setAudioFilters(chain), "af");
    m_filters = wanted;
}

void MpvPlayer::pushEngineSpeed()
{
    m_engine->setDouble("speed", m_silence->passing()
                                     ? std::max(m_speed, 1.0) * SilenceSkipper::PassSpeed
                                     : m_speed);
}

void MpvPlayer::setMuted(bool muted)
{
    require();
    check(m_engine->setFlag("mute", muted), "mute");
    m_muted = muted;
    emit volumeChanged(m_volume, m_muted);
}

void MpvPlayer::setCurrentChapter(int index)
{
    require();
    if (index < 0 || index >= m_info.chapters.size()) return;
    // Through the position, so that it is reported and announced as any seek.
    setCurrentPosition(m_info.chapters.at(index).time);
}

void MpvPlayer::selectTrack(Track::Type type, qint64 id)
{
    require();
    if (!m_machine.loaded()) return;
    const char *property = type == Track::Audio ? "aid" : "sid";
    const QByteArray value = id > 0 ? QByteArray::number(id) : QByteArrayLiteral("no");
    // Another audio track is decoded from a little before the position: the
    // silence detector hears it anew.
    if (type == Track::Audio) m_silence->restart(currentPosition());
    check(m_engine->setString(property, value.constData()), property);
}

bool MpvPlayer::skipsSilence() const
{
    return m_silence->on();
}

void MpvPlayer::setSkipSilence(bool on)
{
    require();
    if (on == m_silence->on()) return;
    AudioFilters wanted = m_filters;
    wanted.silence = on;
    setAudioFilters(wanted);
    m_silence->setOn(on, m_machine.loaded() ? enginePosition().value_or(0.0) : 0.0);
}

void MpvPlayer::setVoiceBoost(bool on)
{
    require();
    if (on == m_boost) return;
    AudioFilters wanted = m_filters;
    wanted.boost = on;
    setAudioFilters(wanted);
    m_boost = on;
    emit voiceBoostChanged(on);
}

double MpvPlayer::silenceSaved() const
{
    return m_silence->saved();
}

QList<ListenedRange> MpvPlayer::skippedSilences() const
{
    return m_silence->passed();
}

bool MpvPlayer::sleepsAtEnd() const
{
    return m_sleep->holdsAtEnd();
}

void MpvPlayer::setMoreToCome(std::function<bool()> moreToCome)
{
    m_sleep->setMoreToCome(std::move(moreToCome));
}

QImage MpvPlayer::coverArt() const
{
    if (!m_engine->alive() || !m_machine.loaded() || !m_info.hasPicture || m_info.hasVideo)
        return {};
    if (!m_info.cover.isNull()) return m_info.cover;
    // The picture the engine decoded for the cover art track.
    MpvNode shot;
    const char *args[] = {"screenshot-raw", "video", nullptr};
    if (m_engine->commandNode(args, shot) < 0) return {};
    const int width = static_cast<int>(nodeNumber(mapValue(*shot, "w")));
    const int height = static_cast<int>(nodeNumber(mapValue(*shot, "h")));
    const int stride = static_cast<int>(nodeNumber(mapValue(*shot, "stride")));
    const QString format = nodeText(mapValue(*shot, "format"));
    const mpv_node *pixels = mapValue(*shot, "data");
    if (pixels && pixels->format == MPV_FORMAT_BYTE_ARRAY && width > 0 && height > 0 &&
        stride >= width * 4 &&
        (format == QLatin1String("bgr0") || format == QLatin1String("bgra")) &&
        pixels->u.ba->size >= static_cast<size_t>(stride) * height) {
        m_info.cover = QImage(static_cast<const uchar *>(pixels->u.ba->data), width, height, stride,
                              QImage::Format_RGB32)
                           .copy();
    }
    return m_info.cover;
}

void MpvPlayer::setListened(const QList<ListenedRange> &ranges)
{
    m_listen.setKnown(ranges);
    emit positionChanged(m_machine.hasMedium() ? currentPosition() : 0.0);
}

void MpvPlayer::clearListened()
{
    m_listen.clear();
    emit listenedCleared();
}

void MpvPlayer::setMarks(const QList<Mark> &marks)
{
    m_marks = marks;
    emit marksChanged();
}

void MpvPlayer::setRepeatStretch(std::optional<ListenedRange> stretch)
{
    m_repeat = stretch;
    emit marksChanged();
}

// ---- the place on offer -------------------------------------------------

void MpvPlayer::offerPlace(double seconds, const QString &timeText, std::optional<qint64> keptAtMs)
{
    if (!m_machine.hasMedium()) return;
    m_offeredPlace = seconds;
    m_offeredKeptAt = keptAtMs;
    m_offeredText = timeText;
    m_placeTimer->start(PlaceOfferMs);
    emit placeOfferChanged(timeText);
}

bool MpvPlayer::takeOfferedPlace()
{
    if (!m_offeredPlace) return false;
    const double place = *m_offeredPlace;
    const double from = rewindPlace(place, m_offeredKeptAt);
    withdrawPlace();
    setCurrentPosition(from);
    play();
    if (place - from >= 0.5) emit rewound(place - from);
    return true;
}

void MpvPlayer::forgetOfferedPlace()
{
    if (!m_offeredPlace) return;
    withdrawPlace();
    emit offeredPlaceForgotten();
}

void MpvPlayer::passOffer(double position)
{
    if (m_offeredPlace && position > *m_offeredPlace && playState() == Playing) withdrawPlace();
}

void MpvPlayer::withdrawPlace()
{
    const bool offered = m_offeredPlace.has_value();
    m_offeredPlace.reset();
    m_offeredText.clear();
    if (m_placeTimer) m_placeTimer->stop();
    if (offered) emit placeOfferChanged(QString());
}

// ---- the card -----------------------------------------------------------

MpvPlayer::MediaFailure MpvPlayer::whyNotLoaded(const QString &url)
{
    const MediaName name = classifyMediaName(url);
    if (name.kind == MediaNameKind::Refused) return MediaFailure::Refused;
    if (name.kind == MediaNameKind::Local && localNameExists(name.path))
        return MediaFailure::Unreadable;
    return MediaFailure::NotFound;
}

void MpvPlayer::showCard()
{
    if (VideoSurface *surface = m_engine->surface()) {
        const bool picture = m_machine.loaded() && m_info.hasPicture && !m_engine->renderFailed();
        surface->setShowingVideo(picture);
        m_videoArea->setCovered(picture);
    } else if (m_engine->videoWindow()) {
        const bool picture = m_machine.loaded() && m_info.hasPicture;
        m_videoArea->parkSurface(!picture);
        m_videoArea->setCovered(picture);
    }
    QString message;
    switch (m_machine.failure()) {
    case MediaFailure::None:
        break;
    case MediaFailure::NotFound:
        message = QStringLiteral("ファイルが見つかりません");
        break;
    case MediaFailure::Unplayable:
        message = QStringLiteral("再生できない形式です");
        break;
    case MediaFailure::Unreadable:
        message = QStringLiteral("ファイルを読み込めません");
        break;
    case MediaFailure::Refused:
        message = QStringLiteral("この種類の名前は開けません");
        break;
    }
    const bool named = m_machine.hasMedium() || m_machine.failure() != MediaFailure::None;
    m_videoArea->setCard(message, named ? displayName(m_url) : QString());
    m_videoArea->setStartHint(named ? QString() : startHint(), named ? QString() : startOffer());
}
