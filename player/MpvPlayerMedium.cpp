// SPDX-License-Identifier: GPL-3.0-or-later
// What the player follows of the engine by observing its properties (the
// duration, volume, mute, speed, chapters, tracks and tags), the choices made
// of them (speed, mute, chapter, track), and the card of the picture area.
#include "player/MpvPlayer.h"

#include "persist/AppError.h"
#include "persist/LocalNames.h"
#include "player/MediaName.h"
#include "player/MpvSupport.h"
#include "player/PlayerControls.h"
#include "player/SeekBar.h"
#include "player/VideoArea.h"
#include "player/VideoSurface.h"

#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace
{

// The name the card shows: a file's name; any other name whole.
QString displayName(const QString &url)
{
    const MediaName name = classifyMediaName(url);
    if (name.kind != MediaNameKind::Local) return url;
    return name.path.mid(std::max(name.path.lastIndexOf(u'/'), name.path.lastIndexOf(u'\\')) + 1);
}

QList<MediaPlayer::Chapter> readChapters(const mpv_node &list)
{
    QList<MediaPlayer::Chapter> chapters;
    if (list.format != MPV_FORMAT_NODE_ARRAY) return chapters;
    for (int i = 0; i < list.u.list->num; ++i) {
        const mpv_node &entry = list.u.list->values[i];
        chapters.append({std::max(0.0, nodeNumber(mapValue(entry, "time"))),
                         nodeText(mapValue(entry, "title"))});
    }
    return chapters;
}

QList<MediaPlayer::Track> readTracks(const mpv_node &list)
{
    QList<MediaPlayer::Track> tracks;
    if (list.format != MPV_FORMAT_NODE_ARRAY) return tracks;
    for (int i = 0; i < list.u.list->num; ++i) {
        const mpv_node &entry = list.u.list->values[i];
        const QString type = nodeText(mapValue(entry, "type"));
        MediaPlayer::Track track;
        if (type == QLatin1String("audio"))
            track.type = MediaPlayer::Track::Audio;
        else if (type == QLatin1String("sub"))
            track.type = MediaPlayer::Track::Subtitle;
        else
            continue;
        track.id = static_cast<qint64>(nodeNumber(mapValue(entry, "id")));
        track.language = nodeText(mapValue(entry, "lang"));
        track.title = nodeText(mapValue(entry, "title"));
        track.selected = nodeFlag(mapValue(entry, "selected"));
        track.external = nodeFlag(mapValue(entry, "external"));
        if (track.external && track.title.isEmpty())
            track.title = QFileInfo(nodeText(mapValue(entry, "external-filename"))).fileName();
        tracks.append(track);
    }
    return tracks;
}

// The tags the program uses, under lower-case names whatever the medium's
// container calls them.
QVariantMap readTags(const mpv_node &map)
{
    QVariantMap tags;
    if (map.format != MPV_FORMAT_NODE_MAP) return tags;
    for (int i = 0; i < map.u.list->num; ++i) {
        const QString key = QString::fromUtf8(map.u.list->keys[i]).toLower();
        const QString value = nodeText(&map.u.list->values[i]);
        if (value.isEmpty()) continue;
        if (key == QLatin1String("title") || key == QLatin1String("artist") ||
            key == QLatin1String("album"))
            tags.insert(key, value);
    }
    return tags;
}

} // namespace

void MpvPlayer::observeProperties()
{
    const struct {
        Observed which;
        const char *name;
        mpv_format format;
    } observed[] = {
        {Observed::EofReached, "eof-reached", MPV_FORMAT_FLAG},
        {Observed::Duration, "duration", MPV_FORMAT_DOUBLE},
        // Whole seconds: the engine then reports the position once a second,
        // not at every frame; what needs it exact reads it.
        {Observed::TimePos, "time-pos", MPV_FORMAT_INT64},
        {Observed::Volume, "volume", MPV_FORMAT_DOUBLE},
        {Observed::Mute, "mute", MPV_FORMAT_FLAG},
        {Observed::Speed, "speed", MPV_FORMAT_DOUBLE},
        {Observed::ChapterList, "chapter-list", MPV_FORMAT_NODE},
        {Observed::Chapter, "chapter", MPV_FORMAT_INT64},
        {Observed::TrackList, "track-list", MPV_FORMAT_NODE},
        {Observed::Metadata, "metadata", MPV_FORMAT_NODE},
        {Observed::SilenceMetadata, "af-metadata/silence", MPV_FORMAT_NODE},
    };
    for (const auto &o : observed)
        mpv_observe_property(m_mpv, static_cast<std::uint64_t>(o.which), o.name, o.format);
}

void MpvPlayer::propertyChanged(std::uint64_t which, const mpv_event_property &property)
{
    const bool none = property.format == MPV_FORMAT_NONE; // unavailable: no medium
    const bool current = m_medium.loaded && m_activeId == m_medium.id;
    switch (static_cast<Observed>(which)) {
    case Observed::EofReached:
        if (!none && *static_cast<const int *>(property.data) && current) mediaEnded();
        break;
    case Observed::Duration:
        refreshControls();
        emit mediumInfoChanged();
        break;
    case Observed::TimePos:
        // What is played marks the medium; a landing seek does not.
        if (!none && current && m_state == Playing && !m_medium.pending)
            m_medium.listen.played(currentPosition(), ListenStepSeconds);
        refreshPosition();
        break;
    case Observed::Volume:
        if (none || m_fade != 1.0) break; // a fade's volume is no setting
        m_volume = std::clamp(
            static_cast<int>(std::lround(*static_cast<const double *>(property.data))), 0, 100);
        refreshControls();
        emit volumeChanged(m_volume, m_muted);
        break;
    case Observed::Mute:
        if (none) break;
        m_muted = *static_cast<const int *>(property.data) != 0;
        refreshControls();
        emit volumeChanged(m_volume, m_muted);
        break;
    case Observed::Speed:
        if (none || m_silence.passing()) break; // a silence passed is no speed of the user's
        m_speed = *static_cast<const double *>(property.data);
        refreshControls();
        emit speedChanged(m_speed);
        break;
    case Observed::ChapterList:
        m_medium.chapters =
            none ? QList<Chapter>() : readChapters(*static_cast<const mpv_node *>(property.data));
        showChapter();
        refreshControls();
        emit mediumInfoChanged();
        break;
    case Observed::Chapter:
        m_medium.chapter =
            none ? -1 : static_cast<int>(*static_cast<const std::int64_t *>(property.data));
        showChapter();
        break;
    case Observed::TrackList:
        m_medium.tracks =
            none ? QList<Track>() : readTracks(*static_cast<const mpv_node *>(property.data));
        emit mediumInfoChanged();
        break;
    case Observed::SilenceMetadata:
        if (!none) silenceReported(*static_cast<const mpv_node *>(property.data));
        break;
    case Observed::Metadata:
        m_medium.tags =
            none ? QVariantMap() : readTags(*static_cast<const mpv_node *>(property.data));
        emit mediumInfoChanged();
        break;
    }
}

void MpvPlayer::showChapter()
{
    const int at = m_medium.chapter;
    m_controls->showChapter(
        at >= 0 && at < m_medium.chapters.size() ? m_medium.chapters.at(at).title : QString());
}

// ---- choices ------------------------------------------------------------

void MpvPlayer::setSpeed(double speed)
{
    require();
    if (!std::isfinite(speed)) return;
    // Whole hundredths, so that steps of 0.1 do not gather rounding noise.
    double value = std::clamp(std::round(speed * 100.0) / 100.0, MinSpeed, MaxSpeed);
    // The pitch is kept by the engine's time-stretching filter, in the chain
    // only while the speed is not 1.
    const bool stretch = value != 1.0;
    const bool stretching = engineProperty("af").contains(QLatin1String("@tempo"));
    if (stretch != stretching) {
        const char *args[] = {"af", stretch ? "add" : "remove",
                              stretch ? "@tempo:scaletempo2" : "@tempo", nullptr};
        check(mpv_command(m_mpv, args), "af");
    }
    m_speed = value;
    pushEngineSpeed();
    refreshControls();
}

void MpvPlayer::setMuted(bool muted)
{
    require();
    int flag = muted ? 1 : 0;
    check(mpv_set_property(m_mpv, "mute", MPV_FORMAT_FLAG, &flag), "mute");
    m_muted = muted;
    refreshControls();
}

void MpvPlayer::setCurrentChapter(int index)
{
    require();
    if (index < 0 || index >= m_medium.chapters.size()) return;
    // Through the position, so that it is reported and announced as any seek.
    setCurrentPosition(m_medium.chapters.at(index).time);
}

void MpvPlayer::selectTrack(Track::Type type, qint64 id)
{
    require();
    if (!m_medium.loaded) return;
    const char *property = type == Track::Audio ? "aid" : "sid";
    const QByteArray value = id > 0 ? QByteArray::number(id) : QByteArrayLiteral("no");
    // Another audio track is decoded from a little before the position: the
    // detector hears it anew.
    if (type == Track::Audio) restartSilence(currentPosition());
    check(mpv_set_property_string(m_mpv, property, value.constData()), property);
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
    if (!m_mpv || !m_medium.loaded || !m_medium.hasPicture || m_medium.hasVideo) return {};
    if (!m_medium.cover.isNull()) return m_medium.cover;
    // The picture the engine decoded for the cover art track.
    mpv_node shot;
    const char *args[] = {"screenshot-raw", "video", nullptr};
    if (mpv_command_ret(m_mpv, args, &shot) < 0) return {};
    const int width = static_cast<int>(nodeNumber(mapValue(shot, "w")));
    const int height = static_cast<int>(nodeNumber(mapValue(shot, "h")));
    const int stride = static_cast<int>(nodeNumber(mapValue(shot, "stride")));
    const QString format = nodeText(mapValue(shot, "format"));
    const mpv_node *pixels = mapValue(shot, "data");
    if (pixels && pixels->format == MPV_FORMAT_BYTE_ARRAY && width > 0 && height > 0 &&
        stride >= width * 4 &&
        (format == QLatin1String("bgr0") || format == QLatin1String("bgra")) &&
        pixels->u.ba->size >= static_cast<size_t>(stride) * height) {
        m_medium.cover = QImage(static_cast<const uchar *>(pixels->u.ba->data), width, height,
                                stride, QImage::Format_RGB32)
                             .copy();
    }
    mpv_free_node_contents(&shot);
    return m_medium.cover;
}

QString MpvPlayer::engineProperty(const char *name) const
{
    if (!m_mpv) return QString();
    char *text = mpv_get_property_string(m_mpv, name);
    const QString value = text ? QString::fromUtf8(text) : QString();
    mpv_free(text);
    return value;
}

void MpvPlayer::setListened(const QList<ListenedRange> &ranges)
{
    m_medium.listen.setKnown(ranges);
    m_controls->seekBar()->setListened(m_medium.listen.ranges());
}

void MpvPlayer::setMarks(const QList<Mark> &marks)
{
    m_marks = marks;
    QList<SeekBar::Tick> ticks;
    for (const Mark &mark : marks)
        ticks.append({mark.time, mark.comment});
    m_controls->seekBar()->setMarks(ticks);
}

void MpvPlayer::setRepeatStretch(std::optional<ListenedRange> stretch)
{
    m_repeat = stretch;
    m_controls->seekBar()->setRepeat(stretch);
}

// ---- the place on offer -------------------------------------------------

void MpvPlayer::offerPlace(double seconds, const QString &timeText)
{
    if (!m_medium.hasMedia) return;
    m_offeredPlace = seconds;
    m_controls->offerPlace(timeText);
    m_placeTimer->start(PlaceOfferMs);
}

bool MpvPlayer::takeOfferedPlace()
{
    if (!m_offeredPlace) return false;
    const double place = *m_offeredPlace;
    withdrawPlace();
    setCurrentPosition(place);
    play();
    return true;
}

void MpvPlayer::withdrawPlace()
{
    m_offeredPlace.reset();
    if (m_placeTimer) m_placeTimer->stop();
    if (m_controls) m_controls->offerPlace(QString());
}

// ---- the card -----------------------------------------------------------

MpvPlayer::Pictures MpvPlayer::pictures() const
{
    Pictures found;
    mpv_node tracks;
    if (mpv_get_property(m_mpv, "track-list", MPV_FORMAT_NODE, &tracks) < 0) return found;
    if (tracks.format == MPV_FORMAT_NODE_ARRAY) {
        for (int i = 0; i < tracks.u.list->num; ++i) {
            const mpv_node &track = tracks.u.list->values[i];
            if (nodeText(mapValue(track, "type")) != QLatin1String("video")) continue;
            found.picture = true;
            if (!nodeFlag(mapValue(track, "albumart"))) found.video = true;
        }
    }
    mpv_free_node_contents(&tracks);
    return found;
}

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
    if (m_surface) {
        const bool picture = m_medium.loaded && m_medium.hasPicture && !m_renderFailed;
        m_surface->setShowingVideo(picture);
        m_videoArea->setCovered(picture);
    }
    QString message;
    switch (m_failure) {
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
    const bool named = m_medium.hasMedia || m_failure != MediaFailure::None;
    m_videoArea->setCard(message, named ? displayName(m_url) : QString());
}
