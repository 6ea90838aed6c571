// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/MpvEngine.h"

#include "persist/AppError.h"
#include "player/MpvLibrary.h"
#include "player/MpvSupport.h"
#include "player/VideoArea.h"
#include "player/VideoSurface.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QPalette>
#include <QThread>
#include <QWidget>

#include <clocale>
#include <cmath>
#include <type_traits>
#include <utility>

namespace
{

// The reply_userdata of each observed property.
enum class Observed : std::uint64_t {
    EofReached = 1,
    Duration,
    TimePos,
    Volume,
    Mute,
    Speed,
    ChapterList,
    Chapter,
    TrackList,
    Metadata,
    SilenceMetadata,
};

bool openGlAvailable()
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) return false;
    static const bool available = [] {
        QOpenGLContext probe;
        return probe.create();
    }();
    return available;
}

MpvEngine::VideoOutput chooseOutput(bool video)
{
    if (!video) return MpvEngine::VideoOutput::None;
    const QString platform = QGuiApplication::platformName();
    // The engine's own window inside ours: no copy of each frame.
    if (platform == QLatin1String("xcb") || platform == QLatin1String("windows"))
        return MpvEngine::VideoOutput::Embedded;
    return openGlAvailable() ? MpvEngine::VideoOutput::RenderApi : MpvEngine::VideoOutput::None;
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

MpvEngine::TrackList readTracks(const mpv_node &list)
{
    MpvEngine::TrackList tracks;
    if (list.format != MPV_FORMAT_NODE_ARRAY) return tracks;
    for (int i = 0; i < list.u.list->num; ++i) {
        const mpv_node &entry = list.u.list->values[i];
        const QString type = nodeText(mapValue(entry, "type"));
        MediaPlayer::Track track;
        if (type == QLatin1String("audio")) {
            track.type = MediaPlayer::Track::Audio;
        } else if (type == QLatin1String("sub")) {
            track.type = MediaPlayer::Track::Subtitle;
        } else {
            if (type == QLatin1String("video")) {
                tracks.picture = true;
                if (!nodeFlag(mapValue(entry, "albumart"))) tracks.video = true;
            }
            continue;
        }
        track.id = static_cast<qint64>(nodeNumber(mapValue(entry, "id")));
        track.language = nodeText(mapValue(entry, "lang"));
        track.title = nodeText(mapValue(entry, "title"));
        track.selected = nodeFlag(mapValue(entry, "selected"));
        track.external = nodeFlag(mapValue(entry, "external"));
        track.codec = nodeText(mapValue(entry, "codec"));
        track.externalFile = nodeText(mapValue(entry, "external-filename"));
        if (track.external && track.title.isEmpty())
            track.title = QFileInfo(track.externalFile).fileName();
        tracks.tracks.append(track);
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

double reportedTime(const mpv_node &metadata, const char *key)
{
    bool ok = false;
    const double value = nodeText(mapValue(metadata, key)).toDouble(&ok);
    return ok && std::isfinite(value) ? value : -1.0;
}

} // namespace

void MpvHandleDeleter::operator()(mpv_handle *handle) const
{
    libmpv().mpv_terminate_destroy(handle);
}

MpvNode::MpvNode() : m_node(std::make_unique<mpv_node>()) {}

MpvNode::~MpvNode()
{
    if (m_filled) libmpv().mpv_free_node_contents(m_node.get());
}

MpvEngine::MpvEngine(VideoArea *area, Options options, QObject *parent)
    : QObject(parent), m_area(area), m_options(std::move(options))
{
    // libmpv works only with numbers formatted the C way.
    std::setlocale(LC_NUMERIC, "C");
    m_output = chooseOutput(m_options.video);
    m_ownFilters =
        !m_options.audioFile.isEmpty() && m_options.audioFilePace > 0.0
            ? "@pace:lavfi=[arealtime=speed=" + QByteArray::number(m_options.audioFilePace) + "]"
            : QByteArray();
    if (m_output == VideoOutput::Embedded) {
        // Only the picture area gets a window of its own, and inside it one
        // for the engine's: parked out of sight while no picture is shown,
        // so that the engine's video output can live on between media.
        area->setAttribute(Qt::WA_DontCreateNativeAncestors);
        area->setAttribute(Qt::WA_NativeWindow);
        m_window = new QWidget;
        m_window->setObjectName(QStringLiteral("engineWindow"));
        m_window->setAccessibleName(QStringLiteral("映像"));
        m_window->setAttribute(Qt::WA_DontCreateNativeAncestors);
        m_window->setAttribute(Qt::WA_NativeWindow);
        m_window->setAutoFillBackground(true);
        QPalette black = m_window->palette();
        black.setColor(QPalette::Window, Qt::black);
        m_window->setPalette(black);
        area->setSurface(m_window);
        area->parkSurface(true);
        // The card's words stay drawn by the area, under the engine's window.
        const bool siblings =
            QCoreApplication::testAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
        QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings, true);
        m_wid = QByteArray::number(static_cast<qulonglong>(m_window->winId()));
        QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings, siblings);
    }
    // The render surface is made with the window, before a medium loads:
    // the engine with it.
    if (m_output == VideoOutput::RenderApi) startNow();
}

void MpvEngine::startSoon()
{
    if (m_startTried || m_loader) return;
    m_loader.reset(QThread::create([] { loadMpv(); }));
    connect(m_loader.get(), &QThread::finished, this, [this] { startNow(); });
    m_loader->start();
}

bool MpvEngine::startNow()
{
    if (m_startTried) return m_handle != nullptr;
    m_startTried = true;
    try {
        // Waits for the loader thread, when it is on its way.
        if (const QString why = loadMpv(); !why.isEmpty())
            throw AppError(QStringLiteral("再生エンジン（libmpv）を起動できません（%1）").arg(why));
        m_handle.reset(libmpv().mpv_create());
        if (!m_handle) throw AppError(QStringLiteral("再生エンジン（libmpv）を起動できません"));
        start();
    } catch (const AppError &error) {
        m_startFailure = error.message();
        qWarning("%s", qUtf8Printable(m_startFailure));
        // As a core that went away: reported once the call that started it
        // has returned.
        QMetaObject::invokeMethod(this, &MpvEngine::shutDown, Qt::QueuedConnection);
        return false;
    }
    observe();
    // What was set while it was not running.
    for (const Pending &set : std::exchange(m_pending, {})) {
        const int err = std::visit(
            [&](const auto &value) {
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, bool>)
                    return setFlag(set.name, value);
                else if constexpr (std::is_same_v<T, double>)
                    return setDouble(set.name, value);
                else
                    return setString(set.name, value.constData());
            },
            set.value);
        if (err < 0)
            qWarning("libmpv: %s: %s", set.name.constData(), qUtf8Printable(mpvErrorText(err)));
    }
    if (m_output == VideoOutput::RenderApi) {
        // Always there, covering the picture area under its card; its GL
        // context is made when the window is first shown, before a medium
        // loads, so that a medium with video only plays from the start.
        m_surface = new VideoSurface(m_handle.get(), m_area);
        m_area->setSurface(m_surface);
        connect(m_surface, &VideoSurface::renderReady, this, &MpvEngine::renderReady);
        connect(m_surface, &VideoSurface::renderFailed, this, [this] {
            m_renderFailed = true;
            m_surface->hide();
            setString("vo", "null");
            emit renderFailedNow();
        });
    }
    libmpv().mpv_set_wakeup_callback(m_handle.get(), &MpvEngine::onWakeup, this);
    QMetaObject::invokeMethod(this, &MpvEngine::engineStarted, Qt::QueuedConnection);
    return true;
}

bool MpvEngine::setLater(const char *name, Pending::Value value)
{
    if (m_handle || m_startTried) return false;
    m_pending.removeIf([name](const Pending &set) { return set.name == name; });
    m_pending.append({name, std::move(value)});
    return true;
}

bool MpvEngine::ready() const
{
    // Starting the engine changes nothing a caller can see but the time the
    // call takes.
    return m_handle || const_cast<MpvEngine *>(this)->startNow();
}

// Sets the engine up with the options it was made with and starts it, drawing
// into m_wid if there is one. Raises AppError (and lets go of the handle)
// when it refuses.
void MpvEngine::start()
{
    const QByteArray audioFile = QFile::encodeName(m_options.audioFile);
    const char *vo = "null";
    if (m_output == VideoOutput::Embedded) vo = "gpu,null";
    if (m_output == VideoOutput::RenderApi) vo = "libmpv";
    const struct {
        const char *name;
        const char *value;
    } settings[] = {
        // Nothing of the user's mpv set-up is read (mpv.conf, input.conf,
        // scripts, profiles), nothing runs but the engine, and playlists
        // found inside media may name only safe sources.
        {"config", "no"},
        {"load-scripts", "no"},
        {"load-stats-overlay", "no"},
        {"load-osd-console", "no"},
        {"load-auto-profiles", "no"},
        {"load-unsafe-playlists", "no"},
        {"ytdl", "no"},
        // Subtitle files beside the medium are added by the player, a huge
        // one left out.
        {"sub-auto", "no"},
        {"keep-open", "yes"},
        {"idle", "yes"},
        {"hwdec", "auto-safe"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        // The engine's window takes no mouse input: clicks, the wheel and the
        // context menu reach the picture area underneath.
        {"input-cursor", "no"},
        {"cursor-autohide", "no"},
        {"wid", m_wid.constData()},
        // A software renderer (a machine without a GPU, Xvfb) is used too.
        {"gpu-sw", "yes"},
        // The speed keeps the pitch through the filter the player sets.
        {"audio-pitch-correction", "no"},
        {"osc", "no"},
        {"volume", "50"},
        // A machine without a sound device still plays (silently).
        {"audio-fallback-to-null", "yes"},
        {"vo", vo},
        {"ao", !m_options.audioFile.isEmpty() ? "pcm"
               : m_options.audio              ? ""
                                              : "null"},
        {"ao-pcm-file", audioFile.constData()},
        {"af", m_ownFilters.constData()},
    };
    for (const auto &setting : settings) {
        if (!*setting.value) continue;
        const int err = libmpv().mpv_set_option_string(m_handle.get(), setting.name, setting.value);
        if (err < 0) {
            m_handle.reset();
            refused(setting.name, err);
        }
    }
    if (const int err = libmpv().mpv_initialize(m_handle.get()); err < 0) {
        m_handle.reset();
        refused("initialize", err);
    }
}

MpvEngine::~MpvEngine()
{
    shutdown();
}

bool MpvEngine::renderPending() const
{
    return m_surface && !m_surface->hasRenderContext() && !m_renderFailed;
}

void MpvEngine::shutdown()
{
    // Nothing starts from now on.
    m_startTried = true;
    if (m_loader) m_loader->wait();
    if (!m_handle) return;
    libmpv().mpv_set_wakeup_callback(m_handle.get(), nullptr, nullptr);
    if (m_surface) m_surface->releaseRenderContext();
    // Blocks until the core and its video output are gone: the engine's
    // window (a child of the picture area's on X11) is unmapped and
    // destroyed while its parent still exists.
    m_handle.reset();
}

void MpvEngine::keepVideoOutput(bool idle)
{
    if (!m_handle || m_output != VideoOutput::Embedded || m_videoKept) return;
    m_videoKept = true;
    // One video output for the whole run, with or without a picture: the
    // first costs a tenth of a second in software (the GL driver is set
    // up), a video loaded later does not wait for it. While no picture is
    // shown its window is parked out of sight, where drawing costs nothing.
    const char *yes = "yes";
    libmpv().mpv_set_property_async(m_handle.get(), 0, "force-window", MPV_FORMAT_STRING, &yes);
    if (!idle) {
        m_drawnWithShader = true; // kept from the medium that made it
        return;
    }
    // Idle, the engine makes it as it comes back to idle: after a name that
    // no source knows, refused at once (no id of the player's, nothing
    // read). It is made on the engine's thread; nothing waits for it.
    const char *nothing[] = {"loadfile", "pelmora-nothing://", nullptr};
    libmpv().mpv_command_async(m_handle.get(), 0, nothing);
}

void MpvEngine::warmPicturePath()
{
    if (!m_handle || !m_videoKept || m_drawnWithShader) return;
    m_drawnWithShader = true;
    // The software GL sets up its shader compiler with the first shader it
    // compiles: about 30 ms on the output's thread, that the first picture of
    // a run would wait for. One clear pixel drawn over the parked output
    // pays it beforehand; the next load takes the pixel away.
    static const std::uint32_t clearPixel = 0;
    const QByteArray pixel = '&' + QByteArray::number(quintptr(&clearPixel));
    const char *draw[] = {"overlay-add", WarmPixelId, "0", "0",    pixel.constData(), "0", "bgra",
                          "1",           "1",         "4", nullptr};
    m_warmPixel = libmpv().mpv_command_async(m_handle.get(), 0, draw) >= 0;
}

// ---- calls ------------------------------------------------------------------

int MpvEngine::setFlag(const char *name, bool value)
{
    if (setLater(name, value)) return 0;
    if (!ready()) return MPV_ERROR_UNINITIALIZED;
    int flag = value ? 1 : 0;
    return libmpv().mpv_set_property(m_handle.get(), name, MPV_FORMAT_FLAG, &flag);
}

int MpvEngine::setDouble(const char *name, double value)
{
    if (setLater(name, value)) return 0;
    if (!ready()) return MPV_ERROR_UNINITIALIZED;
    return libmpv().mpv_set_property(m_handle.get(), name, MPV_FORMAT_DOUBLE, &value);
}

int MpvEngine::setString(const char *name, const char *value)
{
    if (setLater(name, QByteArray(value))) return 0;
    if (!ready()) return MPV_ERROR_UNINITIALIZED;
    return libmpv().mpv_set_property_string(m_handle.get(), name, value);
}

int MpvEngine::setAudioFilters(const QByteArray &chain)
{
    if (setLater("af", chain)) return 0;
    const char *args[] = {"af", "set", chain.constData(), nullptr};
    return command(args);
}

int MpvEngine::getDouble(const char *name, double *value) const
{
    if (!ready()) return MPV_ERROR_UNINITIALIZED;
    return libmpv().mpv_get_property(m_handle.get(), name, MPV_FORMAT_DOUBLE, value);
}

QString MpvEngine::getString(const char *name) const
{
    if (!ready()) return QString();
    char *text = libmpv().mpv_get_property_string(m_handle.get(), name);
    const QString value = text ? QString::fromUtf8(text) : QString();
    libmpv().mpv_free(text);
    return value;
}

int MpvEngine::getNode(const char *name, MpvNode &node) const
{
    if (!ready()) return MPV_ERROR_UNINITIALIZED;
    const int err = libmpv().mpv_get_property(m_handle.get(), name, MPV_FORMAT_NODE, node.get());
    if (err >= 0) node.filled();
    return err;
}

int MpvEngine::command(const char *const *args)
{
    if (!ready()) return MPV_ERROR_UNINITIALIZED;
    return libmpv().mpv_command(m_handle.get(), const_cast<const char **>(args));
}

int MpvEngine::commandNode(const char *const *args, MpvNode &result)
{
    if (!ready()) return MPV_ERROR_UNINITIALIZED;
    const int err =
        libmpv().mpv_command_ret(m_handle.get(), const_cast<const char **>(args), result.get());
    if (err >= 0) result.filled();
    return err;
}

int MpvEngine::commandAsync(std::uint64_t userdata, const char *const *args)
{
    if (!ready()) return MPV_ERROR_UNINITIALIZED;
    return libmpv().mpv_command_async(m_handle.get(), userdata, const_cast<const char **>(args));
}

std::optional<std::int64_t> MpvEngine::loadFile(const QByteArray &target,
                                                const QStringList &options)
{
    if (m_warmPixel) {
        m_warmPixel = false;
        const char *remove[] = {"overlay-remove", WarmPixelId, nullptr};
        commandAsync(0, remove);
    }
    const QByteArray optionText = options.join(QLatin1Char(',')).toUtf8();
    const char *args[] = {"loadfile", target.constData(), "replace", optionText.constData(),
                          nullptr};
    MpvNode result;
    if (commandNode(args, result) < 0) return std::nullopt;
    const mpv_node *id = mapValue(*result, "playlist_entry_id");
    if (!id || id->format != MPV_FORMAT_INT64 || id->u.int64 == 0) return std::nullopt;
    return id->u.int64;
}

// ---- events -------------------------------------------------------------

// Runs on an mpv thread: only queue the drain on the GUI thread.
void MpvEngine::onWakeup(void *self)
{
    auto *engine = static_cast<MpvEngine *>(self);
    if (!engine->m_drainQueued.exchange(true))
        QMetaObject::invokeMethod(engine, &MpvEngine::drain, Qt::QueuedConnection);
}

void MpvEngine::drain()
{
    m_drainQueued.store(false);
    while (m_handle) {
        const mpv_event *event = libmpv().mpv_wait_event(m_handle.get(), 0);
        switch (event->event_id) {
        case MPV_EVENT_NONE:
            return;
        case MPV_EVENT_SHUTDOWN:
            // The core is going away: let go of it.
            shutdown();
            emit shutDown();
            return;
        case MPV_EVENT_START_FILE:
            emit fileStarted(
                static_cast<const mpv_event_start_file *>(event->data)->playlist_entry_id);
            break;
        case MPV_EVENT_FILE_LOADED: {
            // What the medium holds is known as it counts as loaded: the
            // report of the observed list may come only after this event.
            MpvNode list;
            if (getNode("track-list", list) >= 0) emit tracksChanged(readTracks(*list));
            emit fileLoaded();
            break;
        }
        case MPV_EVENT_PLAYBACK_RESTART:
            emit playbackRestarted();
            break;
        case MPV_EVENT_COMMAND_REPLY:
            emit commandReplied(event->reply_userdata, event->error);
            break;
        case MPV_EVENT_END_FILE: {
            const auto *end = static_cast<const mpv_event_end_file *>(event->data);
            emit fileEnded(end->playlist_entry_id, end->reason, end->error);
            break;
        }
        case MPV_EVENT_PROPERTY_CHANGE:
            propertyChanged(event->reply_userdata, event->data);
            break;
        default:
            break;
        }
    }
}

void MpvEngine::observe()
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
        libmpv().mpv_observe_property(m_handle.get(), static_cast<std::uint64_t>(o.which), o.name,
                                      o.format);
}

void MpvEngine::propertyChanged(std::uint64_t which, const void *data)
{
    const auto &property = *static_cast<const mpv_event_property *>(data);
    const bool none = property.format == MPV_FORMAT_NONE; // unavailable: no medium
    const auto node = [&property] { return *static_cast<const mpv_node *>(property.data); };
    switch (static_cast<Observed>(which)) {
    case Observed::EofReached:
        if (!none && *static_cast<const int *>(property.data)) emit eofReached();
        break;
    case Observed::Duration:
        emit durationChanged();
        break;
    case Observed::TimePos:
        if (!none) emit positionTicked();
        break;
    case Observed::Volume:
        if (!none) emit volumeChanged(*static_cast<const double *>(property.data));
        break;
    case Observed::Mute:
        if (!none) emit muteChanged(*static_cast<const int *>(property.data) != 0);
        break;
    case Observed::Speed:
        if (!none) emit speedChanged(*static_cast<const double *>(property.data));
        break;
    case Observed::ChapterList:
        emit chaptersChanged(none ? QList<MediaPlayer::Chapter>() : readChapters(node()));
        break;
    case Observed::Chapter:
        emit chapterChanged(
            none ? -1 : static_cast<int>(*static_cast<const std::int64_t *>(property.data)));
        break;
    case Observed::TrackList:
        emit tracksChanged(none ? TrackList() : readTracks(node()));
        break;
    case Observed::Metadata:
        emit tagsChanged(none ? QVariantMap() : readTags(node()));
        break;
    case Observed::SilenceMetadata:
        if (!none)
            emit silenceReported(reportedTime(node(), "lavfi.silence_start"),
                                 reportedTime(node(), "lavfi.silence_end"));
        break;
    }
}
