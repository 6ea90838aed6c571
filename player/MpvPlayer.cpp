// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/MpvPlayer.h"

#include "persist/AppError.h"
#include "player/MediaName.h"
#include "player/PlayerControls.h"
#include "player/VideoSurface.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <mpv/client.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>

namespace
{

// reply_userdata of the eof-reached observer; seeks count from SeekSerialBase.
constexpr std::uint64_t EofObserver = 1;
constexpr std::uint64_t SeekSerialBase = 1000;
constexpr int WheelVolumeStep = 5;
constexpr int RefreshMs = 250;
// The end of a medium is reported as MediaEnded, then Stopped this much later.
constexpr int EndedToStoppedMs = 50;
constexpr int SeekGiveUpMs = 5000;

[[noreturn]] void refused(const char *what, int err)
{
    throw AppError(QStringLiteral("再生エンジンが要求を受け付けませんでした（%1: %2）")
                       .arg(QString::fromLatin1(what), QString::fromUtf8(mpv_error_string(err))));
}

void check(int err, const char *what)
{
    if (err < 0) refused(what, err);
}

bool openGlAvailable()
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) return false;
    static const bool available = [] {
        QOpenGLContext probe;
        return probe.create();
    }();
    return available;
}

// What mpv is given for a URL: an existing local file as an absolute path, a
// plain network stream as it is; empty for a missing local file and for every
// name the player refuses (see player/MediaName.h).
QString mpvTarget(const QString &url)
{
    if (url.trimmed().isEmpty()) return {};
    // An existing file is a file, whatever its name looks like.
    const QFileInfo direct(url);
    if (direct.isFile()) return direct.absoluteFilePath();
    const MediaName name = classifyMediaName(url);
    switch (name.kind) {
    case MediaNameKind::Local: {
        const QFileInfo info(name.path);
        return info.isFile() ? info.absoluteFilePath() : QString();
    }
    case MediaNameKind::Network:
        return name.path;
    case MediaNameKind::None:
    case MediaNameKind::Refused:
        break;
    }
    return {};
}

const mpv_node *mapValue(const mpv_node &map, const char *key)
{
    if (map.format != MPV_FORMAT_NODE_MAP) return nullptr;
    for (int i = 0; i < map.u.list->num; ++i) {
        if (std::strcmp(map.u.list->keys[i], key) == 0) return &map.u.list->values[i];
    }
    return nullptr;
}

int shiftState(Qt::KeyboardModifiers modifiers)
{
    int state = 0;
    if (modifiers & Qt::ShiftModifier) state |= 1;
    if (modifiers & Qt::ControlModifier) state |= 2;
    if (modifiers & Qt::AltModifier) state |= 4;
    return state;
}

} // namespace

MpvPlayer::MpvPlayer(QWidget *parent, Options options) : MediaPlayer(parent), m_options(options)
{
    // libmpv works only with numbers formatted the C way.
    std::setlocale(LC_NUMERIC, "C");
    m_mpv = mpv_create();
    if (!m_mpv) throw AppError(QStringLiteral("再生エンジン（libmpv）を起動できません"));

    const bool gl = options.video && openGlAvailable();
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
        {"keep-open", "yes"},
        {"idle", "yes"},
        {"hwdec", "auto-safe"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        {"osc", "no"},
        {"volume", "50"},
        // A machine without a sound device still plays (silently).
        {"audio-fallback-to-null", "yes"},
        {"vo", gl ? "libmpv" : "null"},
        {"ao", options.audio ? "" : "null"},
    };
    for (const auto &setting : settings) {
        if (!*setting.value) continue;
        const int err = mpv_set_option_string(m_mpv, setting.name, setting.value);
        if (err < 0) {
            mpv_terminate_destroy(m_mpv);
            m_mpv = nullptr;
            refused(setting.name, err);
        }
    }
    if (const int err = mpv_initialize(m_mpv); err < 0) {
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
        refused("initialize", err);
    }
    mpv_observe_property(m_mpv, EofObserver, "eof-reached", MPV_FORMAT_FLAG);

    if (gl) {
        m_surface = new VideoSurface(m_mpv, this);
        m_videoArea = m_surface;
        connect(m_surface, &VideoSurface::renderReady, this, [this] {
            if (m_waitingForRender) {
                issueLoad();
            } else if (m_videoDeferred && m_mpv) {
                // Loaded before the render context existed: switch video on now.
                mpv_set_property_string(m_mpv, "vid", "auto");
                m_videoDeferred = false;
            }
        });
        connect(m_surface, &VideoSurface::renderFailed, this, [this] {
            m_renderFailed = true;
            if (m_mpv) mpv_set_property_string(m_mpv, "vo", "null");
            if (m_waitingForRender) issueLoad();
        });
    } else {
        m_videoArea = new QWidget(this);
        QPalette palette = m_videoArea->palette();
        palette.setColor(QPalette::Window, Qt::black);
        m_videoArea->setPalette(palette);
        m_videoArea->setAutoFillBackground(true);
    }
    m_videoArea->setObjectName(QStringLiteral("videoArea"));
    m_videoArea->setFocusPolicy(Qt::ClickFocus);
    m_videoArea->installEventFilter(this);

    m_controls = new PlayerControls(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_videoArea, 1);
    layout->addWidget(m_controls);

    connect(m_controls, &PlayerControls::playRequested, this,
            [this] { guarded(&MpvPlayer::play); });
    connect(m_controls, &PlayerControls::pauseRequested, this,
            [this] { guarded(&MpvPlayer::pause); });
    connect(m_controls, &PlayerControls::stopRequested, this,
            [this] { guarded(&MpvPlayer::stop); });
    connect(m_controls, &PlayerControls::seekRequested, this, [this](double seconds) {
        try {
            setCurrentPosition(seconds);
        } catch (const AppError &) {
            emit error();
        }
        refreshControls();
    });
    connect(m_controls, &PlayerControls::volumeRequested, this, [this](int volume) {
        try {
            setVolume(volume);
        } catch (const AppError &) {
            emit error();
        }
    });
    connect(m_controls, &PlayerControls::muteRequested, this, [this](bool muted) {
        int flag = muted ? 1 : 0;
        if (m_mpv) mpv_set_property(m_mpv, "mute", MPV_FORMAT_FLAG, &flag);
        refreshControls();
    });

    m_refresh = new QTimer(this);
    m_refresh->setInterval(RefreshMs);
    connect(m_refresh, &QTimer::timeout, this, [this] {
        if (isVisible()) refreshControls();
    });
    m_refresh->start();

    mpv_set_wakeup_callback(m_mpv, &MpvPlayer::onWakeup, this);
    refreshControls();
}

MpvPlayer::~MpvPlayer()
{
    if (m_mpv) mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
    if (m_surface) m_surface->releaseRenderContext();
    if (m_mpv) mpv_terminate_destroy(m_mpv);
    m_mpv = nullptr;
}

// ---- events -------------------------------------------------------------

// Runs on an mpv thread: only queue the drain on the GUI thread.
void MpvPlayer::onWakeup(void *self)
{
    auto *player = static_cast<MpvPlayer *>(self);
    if (!player->m_drainQueued.exchange(true))
        QMetaObject::invokeMethod(player, &MpvPlayer::drainEvents, Qt::QueuedConnection);
}

void MpvPlayer::drainEvents()
{
    m_drainQueued.store(false);
    while (m_mpv) {
        const mpv_event *event = mpv_wait_event(m_mpv, 0);
        if (event->event_id == MPV_EVENT_NONE) break;
        if (event->event_id == MPV_EVENT_SHUTDOWN) {
            // The core is going away: let go of it; later calls raise AppError.
            mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
            if (m_surface) m_surface->releaseRenderContext();
            mpv_terminate_destroy(m_mpv);
            m_mpv = nullptr;
            ++m_loadSerial;
            m_hasMedia = m_loaded = m_loadIssued = false;
            m_pending.reset();
            setState(Undefined);
            QMetaObject::invokeMethod(
                this, [this] { emit error(); }, Qt::QueuedConnection);
            break;
        }
        handleEvent(*event);
    }
}

void MpvPlayer::handleEvent(const mpv_event &event)
{
    switch (event.event_id) {
    case MPV_EVENT_START_FILE:
        m_activeId = static_cast<const mpv_event_start_file *>(event.data)->playlist_entry_id;
        break;
    case MPV_EVENT_FILE_LOADED:
        // FILE_LOADED carries no id: it belongs to the file started last.
        if (m_currentId != 0 && m_activeId == m_currentId && !m_loaded) mediaLoaded();
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        if (m_loaded && m_activeId == m_currentId && m_seekArmed) {
            m_seekArmed = false;
            m_pending.reset();
        }
        break;
    case MPV_EVENT_COMMAND_REPLY:
        // The last seek is queued in the core; the next restart is its own.
        if (event.reply_userdata == m_seekSerial && m_seekSerial != 0) {
            if (event.error < 0)
                m_pending.reset();
            else
                m_seekArmed = true;
        }
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        if (m_currentId == 0 || end->playlist_entry_id != m_currentId)
            break; // the end of a medium that has been replaced
        m_currentId = 0;
        m_loaded = m_loadIssued = false;
        m_pending.reset();
        m_seekArmed = m_seekOnLoad = false;
        if (end->reason == MPV_END_FILE_REASON_ERROR) {
            mediaFailed();
        } else if (end->reason == MPV_END_FILE_REASON_EOF) {
            // mpv let go of the medium at its end: load it again on play().
            m_reloadOnPlay = true;
            m_intent = Intent::Stop;
            if (m_state != Stopped) setState(MediaEnded);
            setState(Stopped);
        } else if (end->reason == MPV_END_FILE_REASON_REDIRECT) {
            // A playlist file (m3u, pls, an archive): mpv would go on with its
            // entries behind the host's back. It is no medium of its own.
            const char *args[] = {"stop", nullptr};
            mpv_command(m_mpv, args);
            mediaFailed();
        } else {
            m_hasMedia = false;
            setState(Undefined);
        }
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *property = static_cast<const mpv_event_property *>(event.data);
        if (event.reply_userdata == EofObserver && property->format == MPV_FORMAT_FLAG &&
            *static_cast<const int *>(property->data) && m_loaded && m_activeId == m_currentId)
            mediaEnded();
        break;
    }
    default:
        break;
    }
}

void MpvPlayer::mediaLoaded()
{
    m_loaded = true;
    m_hasVideo = trackListHasVideo();
    try {
        setPause(m_intent != Intent::Play);
        if (m_pending) {
            if (m_seekOnLoad) {
                m_seekOnLoad = false;
                issueSeek(*m_pending);
            } else {
                m_seekArmed = true; // the load's start position
            }
        }
    } catch (const AppError &) {
        m_pending.reset();
    }
    switch (m_intent) {
    case Intent::Play:
        setState(Playing);
        break;
    case Intent::Pause:
        setState(Paused);
        break;
    case Intent::Stop:
        setState(Stopped);
        break;
    }
}

void MpvPlayer::mediaEnded()
{
    if (m_state == MediaEnded) return;
    m_pending.reset();
    m_seekArmed = m_seekOnLoad = false;
    setState(MediaEnded);
    const quint64 serial = m_loadSerial;
    QTimer::singleShot(EndedToStoppedMs, this, [this, serial] {
        if (serial == m_loadSerial && m_state == MediaEnded) finishEnded();
    });
}

// After the end: stopped at 0, the medium still loaded.
void MpvPlayer::finishEnded()
{
    m_intent = Intent::Stop;
    try {
        setPause(true);
        m_pending = 0.0;
        issueSeek(0.0);
    } catch (const AppError &) {
        m_pending.reset();
    }
    setState(Stopped);
}

void MpvPlayer::mediaFailed()
{
    m_hasMedia = m_loaded = m_loadIssued = false;
    m_hasVideo = false;
    m_currentId = 0;
    m_pending.reset();
    setState(Undefined);
    // Queued: the host may show a message box in its handler.
    const quint64 serial = m_loadSerial;
    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            if (serial == m_loadSerial) emit error();
        },
        Qt::QueuedConnection);
}

bool MpvPlayer::trackListHasVideo() const
{
    mpv_node tracks;
    if (mpv_get_property(m_mpv, "track-list", MPV_FORMAT_NODE, &tracks) < 0) return false;
    bool video = false;
    if (tracks.format == MPV_FORMAT_NODE_ARRAY) {
        for (int i = 0; i < tracks.u.list->num && !video; ++i) {
            const mpv_node &track = tracks.u.list->values[i];
            const mpv_node *type = mapValue(track, "type");
            const mpv_node *albumArt = mapValue(track, "albumart");
            video = type && type->format == MPV_FORMAT_STRING &&
                    std::strcmp(type->u.string, "video") == 0 &&
                    !(albumArt && albumArt->format == MPV_FORMAT_FLAG && albumArt->u.flag);
        }
    }
    mpv_free_node_contents(&tracks);
    return video;
}

// ---- loading ------------------------------------------------------------

void MpvPlayer::setURL(const QString &url)
{
    require();
    m_url = url;
    const quint64 serial = ++m_loadSerial;
    m_hasMedia = m_loaded = m_loadIssued = false;
    m_hasVideo = m_videoDeferred = m_waitingForRender = m_reloadOnPlay = false;
    m_intent = Intent::Play;
    m_currentId = 0;
    m_pending.reset();
    m_seekOnLoad = m_seekArmed = false;
    m_target = mpvTarget(url);
    if (m_target.isEmpty()) {
        // A missing file: nothing is loaded, the old medium is let go.
        const char *args[] = {"stop", nullptr};
        check(mpv_command(m_mpv, args), "stop");
        mediaFailed();
        refreshControls();
        return;
    }
    m_hasMedia = true;
    setState(Transitioning);
    // The load is sent from the event loop, so that a position or stop()
    // given right after this call is part of it.
    QMetaObject::invokeMethod(
        this, [this, serial] { startLoad(serial); }, Qt::QueuedConnection);
    refreshControls();
}

void MpvPlayer::startLoad(quint64 serial)
{
    if (serial != m_loadSerial || !m_hasMedia || m_loadIssued || !m_mpv) return;
    if (m_surface && !m_surface->hasRenderContext() && !m_renderFailed && m_surface->isVisible()) {
        // The video surface is about to get its GL context: wait a little for
        // it rather than loading without video.
        m_waitingForRender = true;
        QTimer::singleShot(1500, this, [this, serial] {
            if (serial == m_loadSerial && m_waitingForRender) issueLoad();
        });
        return;
    }
    issueLoad();
}

void MpvPlayer::issueLoad()
{
    m_waitingForRender = false;
    if (m_loadIssued || !m_hasMedia || !m_mpv) return;
    QStringList fileOptions;
    if (m_pending) fileOptions << QStringLiteral("start=") + QString::number(*m_pending, 'f', 3);
    // Without a render context every file with video would fail: load with
    // video off and switch it on when the context exists.
    m_videoDeferred = m_surface && !m_surface->hasRenderContext() && !m_renderFailed;
    if (m_videoDeferred) fileOptions << QStringLiteral("vid=no");
    const QByteArray target = m_target.toUtf8();
    const QByteArray optionText = fileOptions.join(QLatin1Char(',')).toUtf8();
    const char *args[] = {"loadfile", target.constData(), "replace", optionText.constData(),
                          nullptr};
    mpv_node result;
    int pauseFlag = m_intent != Intent::Play ? 1 : 0;
    int err = mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &pauseFlag);
    if (err >= 0) err = mpv_command_ret(m_mpv, args, &result);
    if (err < 0) {
        mediaFailed();
        return;
    }
    const mpv_node *id = mapValue(result, "playlist_entry_id");
    m_currentId = id && id->format == MPV_FORMAT_INT64 ? id->u.int64 : 0;
    mpv_free_node_contents(&result);
    if (m_currentId == 0) {
        mediaFailed();
        return;
    }
    m_loadIssued = true;
    m_seekOnLoad = false;
}

void MpvPlayer::closeMedia()
{
    require();
    ++m_loadSerial;
    m_hasMedia = m_loaded = m_loadIssued = false;
    m_hasVideo = m_videoDeferred = m_waitingForRender = m_reloadOnPlay = false;
    m_currentId = 0;
    m_pending.reset();
    m_seekOnLoad = m_seekArmed = false;
    const char *args[] = {"stop", nullptr};
    check(mpv_command(m_mpv, args), "stop");
    setState(Undefined);
    refreshControls();
}

// ---- transport ----------------------------------------------------------

void MpvPlayer::play()
{
    require();
    if (!m_hasMedia) return;
    m_intent = Intent::Play;
    if (m_reloadOnPlay) {
        m_reloadOnPlay = false;
        setState(Transitioning);
        issueLoad();
        return;
    }
    if (!m_loaded) {
        if (m_loadIssued) setPause(false);
        return;
    }
    if (m_state == MediaEnded) finishEnded();
    setPause(false);
    setState(Playing);
}

void MpvPlayer::pause()
{
    require();
    if (!m_hasMedia) return;
    if (!m_loaded) {
        if (m_intent == Intent::Play) m_intent = Intent::Pause;
        if (m_loadIssued) setPause(true);
        return;
    }
    if (m_state != Playing && m_state != Paused) return;
    m_intent = Intent::Pause;
    setPause(true);
    setState(Paused);
}

void MpvPlayer::stop()
{
    require();
    if (!m_hasMedia) return;
    m_intent = Intent::Stop;
    if (m_reloadOnPlay) {
        setState(Stopped);
        return;
    }
    m_pending = 0.0;
    if (!m_loaded) {
        if (m_loadIssued) {
            setPause(true);
            m_seekOnLoad = true;
        }
        return;
    }
    setPause(true);
    issueSeek(0.0);
    setState(Stopped);
}

void MpvPlayer::setPause(bool paused)
{
    int flag = paused ? 1 : 0;
    check(mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &flag), "pause");
}

// ---- position -----------------------------------------------------------

double MpvPlayer::currentPosition() const
{
    require();
    if (m_pending) return *m_pending;
    if (!m_loaded) return 0.0;
    double position = 0.0;
    const int err = mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &position);
    if (err == MPV_ERROR_PROPERTY_UNAVAILABLE) return 0.0;
    check(err, "time-pos");
    return std::isfinite(position) ? std::max(position, 0.0) : 0.0;
}

void MpvPlayer::setCurrentPosition(double seconds)
{
    require();
    // Negative targets mean "from the end" to some mpv commands: land at 0.
    if (std::isnan(seconds) || seconds < 0.0) seconds = 0.0;
    seconds = std::min(seconds, 1.0e9);
    if (!m_hasMedia) return;
    if (m_state == MediaEnded) finishEnded();
    m_pending = seconds;
    if (m_reloadOnPlay || !m_loadIssued) return; // becomes the start of the load
    if (!m_loaded) {
        m_seekOnLoad = true; // sought when loaded
        return;
    }
    issueSeek(seconds);
}

void MpvPlayer::issueSeek(double seconds)
{
    m_seekSerial = std::max(m_seekSerial + 1, SeekSerialBase);
    m_seekArmed = false;
    const QByteArray target = QByteArray::number(seconds, 'f', 3);
    const char *args[] = {"seek", target.constData(), "absolute+exact", nullptr};
    const int err = mpv_command_async(m_mpv, m_seekSerial, args);
    if (err < 0) {
        m_pending.reset();
        refused("seek", err);
    }
    // Should mpv never report the landing (a seek it drops), stop reporting
    // the target after a while and show where mpv really is.
    const std::uint64_t serial = m_seekSerial;
    QTimer::singleShot(SeekGiveUpMs, this, [this, serial] {
        if (serial == m_seekSerial && m_loaded) m_pending.reset();
    });
}

double MpvPlayer::duration() const
{
    require();
    if (!m_loaded) return 0.0;
    double length = 0.0;
    const int err = mpv_get_property(m_mpv, "duration", MPV_FORMAT_DOUBLE, &length);
    if (err == MPV_ERROR_PROPERTY_UNAVAILABLE) return 0.0;
    check(err, "duration");
    return std::isfinite(length) && length > 0.0 ? length : 0.0;
}

// ---- volume -------------------------------------------------------------

int MpvPlayer::volume() const
{
    require();
    double value = 0.0;
    check(mpv_get_property(m_mpv, "volume", MPV_FORMAT_DOUBLE, &value), "volume");
    return std::clamp(int(std::lround(value)), 0, 100);
}

void MpvPlayer::setVolume(int volume)
{
    require();
    double value = std::clamp(volume, 0, 100);
    check(mpv_set_property(m_mpv, "volume", MPV_FORMAT_DOUBLE, &value), "volume");
    refreshControls();
}

// ---- state and controls -------------------------------------------------

void MpvPlayer::setState(int state)
{
    if (m_state == state) return;
    m_state = state;
    refreshControls();
    emit playStateChanged(state);
}

void MpvPlayer::require() const
{
    if (!m_mpv) throw AppError(QStringLiteral("再生エンジンが終了しています"));
}

void MpvPlayer::guarded(void (MpvPlayer::*operation)())
{
    if (!m_enabled) return;
    try {
        (this->*operation)();
    } catch (const AppError &) {
        emit error();
    }
}

void MpvPlayer::refreshControls()
{
    if (!m_controls || !m_mpv) return;
    try {
        m_controls->showProgress(currentPosition(), duration(), m_hasMedia, m_state == Playing);
        int muted = 0;
        mpv_get_property(m_mpv, "mute", MPV_FORMAT_FLAG, &muted);
        m_controls->showVolume(volume(), muted != 0);
    } catch (const AppError &) {
        // Shown again at the next refresh.
    }
}

void MpvPlayer::setPlayerEnabled(bool enabled)
{
    m_enabled = enabled;
    m_controls->setEnabled(enabled);
    if (!enabled && m_menu) m_menu->close();
}

void MpvPlayer::togglePlay()
{
    guarded(m_state == Playing ? &MpvPlayer::pause : &MpvPlayer::play);
}

void MpvPlayer::showContextMenu(const QPoint &globalPos)
{
    if (!m_menu) {
        m_menu = new QMenu(this);
    }
    m_menu->clear();
    QAction *playPause =
        m_menu->addAction(m_state == Playing ? QStringLiteral("一時停止") : QStringLiteral("再生"),
                          this, &MpvPlayer::togglePlay);
    playPause->setEnabled(m_hasMedia);
    QAction *stopAction =
        m_menu->addAction(QStringLiteral("停止"), this, [this] { guarded(&MpvPlayer::stop); });
    stopAction->setEnabled(m_hasMedia);
    m_menu->addSeparator();
    const bool full = window()->isFullScreen();
    QAction *fullScreen = m_menu->addAction(QStringLiteral("全画面表示"), this,
                                            [this, full] { emit fullScreenRequested(!full); });
    fullScreen->setCheckable(true);
    fullScreen->setChecked(full);
    m_menu->popup(globalPos);
}

bool MpvPlayer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_videoArea) return MediaPlayer::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        int button = 0;
        switch (mouse->button()) {
        case Qt::LeftButton:
            button = 1;
            break;
        case Qt::RightButton:
            button = 2;
            break;
        case Qt::MiddleButton:
            button = 4;
            break;
        default:
            break;
        }
        if (button) {
            const QPointF at = mouse->position();
            emit clicked(button, shiftState(mouse->modifiers()), at.x(), at.y());
        }
        return false;
    }
    case QEvent::MouseButtonDblClick: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_enabled && mouse->button() == Qt::LeftButton)
            emit fullScreenRequested(!window()->isFullScreen());
        return true;
    }
    case QEvent::ContextMenu:
        if (m_enabled) showContextMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    case QEvent::Wheel: {
        if (!m_enabled) return true;
        m_wheel += static_cast<QWheelEvent *>(event)->angleDelta().y();
        const int steps = m_wheel / 120;
        m_wheel -= steps * 120;
        if (steps != 0) {
            try {
                setVolume(volume() + steps * WheelVolumeStep);
            } catch (const AppError &) {
                emit error();
            }
        }
        return true;
    }
    case QEvent::KeyPress:
        if (m_enabled && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            emit fullScreenRequested(false);
            return true;
        }
        return false;
    default:
        return false;
    }
}

void MpvPlayer::keyPressEvent(QKeyEvent *event)
{
    if (m_enabled && event->key() == Qt::Key_Escape) {
        emit fullScreenRequested(false);
        return;
    }
    MediaPlayer::keyPressEvent(event);
}
