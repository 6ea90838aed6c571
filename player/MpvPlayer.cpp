// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/MpvPlayer.h"

#include "persist/AppError.h"
#include "persist/LocalNames.h"
#include "player/MediaName.h"
#include "player/MpvSupport.h"
#include "player/PlayerControls.h"
#include "player/SleepTimer.h"
#include "player/VideoArea.h"
#include "player/VideoSurface.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QOpenGLContext>

#include <QTimer>
#include <memory>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>

namespace
{

// The end of a medium is reported as MediaEnded, then Stopped this much later.
constexpr int EndedToStoppedMs = 50;

// Which way the picture reaches the screen on this platform.
MpvPlayer::VideoOutput chooseOutput(bool video);

bool openGlAvailable()
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) return false;
    static const bool available = [] {
        QOpenGLContext probe;
        return probe.create();
    }();
    return available;
}

MpvPlayer::VideoOutput chooseOutput(bool video)
{
    if (!video) return MpvPlayer::VideoOutput::None;
    const QString platform = QGuiApplication::platformName();
    // The engine's own window inside ours: no copy of each frame.
    if (platform == QLatin1String("xcb") || platform == QLatin1String("windows"))
        return MpvPlayer::VideoOutput::Embedded;
    return openGlAvailable() ? MpvPlayer::VideoOutput::RenderApi : MpvPlayer::VideoOutput::None;
}

} // namespace

MpvPlayer::MpvPlayer(QWidget *parent, Options options) : MediaPlayer(parent), m_options(options)
{
    // libmpv works only with numbers formatted the C way.
    std::setlocale(LC_NUMERIC, "C");
    m_mpv = mpv_create();
    if (!m_mpv) throw AppError(QStringLiteral("再生エンジン（libmpv）を起動できません"));

    m_output = chooseOutput(options.video);
    m_videoArea = new VideoArea(this);
    QByteArray wid;
    if (m_output == VideoOutput::Embedded) {
        // Only the video area gets a window of its own, for the engine's.
        m_videoArea->setAttribute(Qt::WA_DontCreateNativeAncestors);
        m_videoArea->setAttribute(Qt::WA_NativeWindow);
        wid = QByteArray::number(static_cast<qulonglong>(m_videoArea->winId()));
    }
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
        {"keep-open", "yes"},
        {"idle", "yes"},
        {"hwdec", "auto-safe"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        // The engine's window takes no mouse input: clicks, the wheel and the
        // context menu reach the video area underneath.
        {"input-cursor", "no"},
        {"cursor-autohide", "no"},
        {"wid", wid.constData()},
        // A software renderer (a machine without a GPU, Xvfb) is used too.
        {"gpu-sw", "yes"},
        // The speed keeps the pitch through the filter the player sets.
        {"audio-pitch-correction", "no"},
        {"osc", "no"},
        {"volume", "50"},
        // A machine without a sound device still plays (silently).
        {"audio-fallback-to-null", "yes"},
        {"vo", vo},
        {"ao", options.audio ? "" : "null"},
    };
    for (const auto &setting : settings) {
        if (!*setting.value) continue;
        const int err = mpv_set_option_string(m_mpv, setting.name, setting.value);
        if (err < 0) {
            releaseEngine();
            refused(setting.name, err);
        }
    }
    if (const int err = mpv_initialize(m_mpv); err < 0) {
        releaseEngine();
        refused("initialize", err);
    }
    observeProperties();

    if (m_output == VideoOutput::RenderApi) {
        // Always there, covering the picture area under its card; its GL
        // context is made when the window is first shown, before a medium
        // loads, so that a medium with video only plays from the start.
        m_surface = new VideoSurface(m_mpv, m_videoArea);
        m_videoArea->setSurface(m_surface);
        connect(m_surface, &VideoSurface::renderReady, this, [this] {
            if (m_medium.waitingForRender) {
                issueLoad();
            } else if (m_medium.videoDeferred && m_mpv) {
                // Loaded before the render context existed: switch video on now.
                mpv_set_property_string(m_mpv, "vid", "auto");
                m_medium.videoDeferred = false;
            }
        });
        connect(m_surface, &VideoSurface::renderFailed, this, [this] {
            m_renderFailed = true;
            m_surface->hide();
            if (m_mpv) mpv_set_property_string(m_mpv, "vo", "null");
            if (m_medium.waitingForRender) issueLoad();
        });
    }
    wireControls();
    m_steady.start();
    // The sleep timer counts on a steady clock.
    auto steady = std::make_shared<QElapsedTimer>();
    steady->start();
    m_sleep = new SleepTimer(
        *this, [steady] { return steady->elapsed(); }, this);
    connect(m_sleep, &SleepTimer::changed, this, &MpvPlayer::refreshSleep);
    refreshSleep();

    mpv_set_wakeup_callback(m_mpv, &MpvPlayer::onWakeup, this);
    showCard();
    refreshControls();
}

MpvPlayer::~MpvPlayer()
{
    releaseEngine();
}

void MpvPlayer::releaseEngine()
{
    if (!m_mpv) return;
    mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
    if (m_surface) m_surface->releaseRenderContext();
    // Blocks until the core and its video output are gone: the engine's
    // window (a child of the video area's on X11) is unmapped and destroyed
    // while its parent still exists.
    mpv_terminate_destroy(m_mpv);
    m_mpv = nullptr;
}

void MpvPlayer::shutdown()
{
    if (!m_mpv) return;
    ++m_loadSerial;
    releaseEngine();
    m_medium = MediumState{};
    m_silence.restart(0.0);
    setState(Undefined);
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
            releaseEngine();
            ++m_loadSerial;
            m_medium = MediumState{};
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
        if (m_medium.id != 0 && m_activeId == m_medium.id && !m_medium.loaded) mediaLoaded();
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        if (m_medium.loaded && m_activeId == m_medium.id && m_medium.seekArmed) {
            m_medium.seekArmed = false;
            if (m_medium.intent == Intent::Play)
                m_medium.pending.reset();
            else
                m_medium.landed = true;
        }
        break;
    case MPV_EVENT_COMMAND_REPLY:
        // The last seek is queued in the core; the next restart is its own.
        if (event.reply_userdata == m_seekSerial && m_seekSerial != 0) {
            if (event.error < 0)
                m_medium.pending.reset();
            else
                m_medium.seekArmed = true;
        }
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        if (m_medium.id == 0 || end->playlist_entry_id != m_medium.id)
            break; // the end of a medium that has been replaced
        if (end->reason == MPV_END_FILE_REASON_ERROR) {
            mediaFailed(end->error == MPV_ERROR_LOADING_FAILED ? MediaFailure::Unreadable
                                                               : MediaFailure::Unplayable);
        } else if (end->reason == MPV_END_FILE_REASON_EOF) {
            // mpv let go of the medium at its end: the host still has it, and
            // play() loads it again.
            MediumState released;
            released.hasMedia = true;
            released.hasVideo = m_medium.hasVideo;
            released.reloadOnPlay = true;
            released.intent = Intent::Stop;
            m_medium = released;
            if (m_state != Stopped) setState(MediaEnded);
            setState(Stopped);
        } else if (end->reason == MPV_END_FILE_REASON_REDIRECT) {
            // A playlist file (m3u, pls, an archive): mpv would go on with its
            // entries behind the host's back. It is no medium of its own.
            const char *args[] = {"stop", nullptr};
            mpv_command(m_mpv, args);
            mediaFailed(MediaFailure::Unplayable);
        } else {
            m_medium = MediumState{};
            setState(Undefined);
        }
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE:
        propertyChanged(event.reply_userdata, *static_cast<const mpv_event_property *>(event.data));
        break;
    default:
        break;
    }
}

void MpvPlayer::mediaLoaded()
{
    m_medium.loaded = true;
    const Pictures found = pictures();
    m_medium.hasVideo = found.video;
    m_medium.hasPicture = found.picture;
    showCard();
    try {
        setPause(m_medium.intent != Intent::Play);
        if (m_medium.pending) {
            if (m_medium.seekOnLoad) {
                m_medium.seekOnLoad = false;
                issueSeek(*m_medium.pending);
            } else {
                m_medium.seekArmed = true; // the load's start position
            }
        }
    } catch (const AppError &) {
        m_medium.pending.reset();
    }
    switch (m_medium.intent) {
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
    // The sleep timer holds the medium at its end: it pauses instead.
    try {
        if (m_sleep && m_sleep->endReached()) return;
    } catch (const AppError &) {
    }
    m_medium.pending.reset();
    m_medium.seekArmed = m_medium.seekOnLoad = false;
    setState(MediaEnded);
    const quint64 serial = m_loadSerial;
    QTimer::singleShot(EndedToStoppedMs, this, [this, serial] {
        if (serial == m_loadSerial && m_state == MediaEnded) finishEnded();
    });
}

// After the end: stopped at 0, the medium still loaded.
void MpvPlayer::finishEnded()
{
    m_medium.intent = Intent::Stop;
    try {
        setPause(true);
        m_medium.pending = 0.0;
        issueSeek(0.0);
    } catch (const AppError &) {
        m_medium.pending.reset();
    }
    setState(Stopped);
}

void MpvPlayer::mediaFailed(MediaFailure why)
{
    m_medium = MediumState{};
    m_failure = why;
    showCard();
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

// ---- loading ------------------------------------------------------------

void MpvPlayer::setURL(const QString &url)
{
    require();
    m_url = url;
    const quint64 serial = ++m_loadSerial;
    m_medium = MediumState{};
    m_failure = MediaFailure::None;
    restartSilence(0.0);
    m_controls->showSilenceSkip(m_skipOn, 0.0);
    m_target = engineTarget(url);
    if (m_target.isEmpty()) {
        // A missing file: nothing is loaded, the old medium is let go.
        const char *args[] = {"stop", nullptr};
        check(mpv_command(m_mpv, args), "stop");
        mediaFailed(whyNotLoaded(url));
        refreshControls();
        return;
    }
    m_medium.hasMedia = true;
    withdrawPlace();
    showCard();
    setState(Transitioning);
    // The load is sent from the event loop, so that a position or stop()
    // given right after this call is part of it.
    QMetaObject::invokeMethod(
        this, [this, serial] { startLoad(serial); }, Qt::QueuedConnection);
    refreshControls();
}

void MpvPlayer::startLoad(quint64 serial)
{
    if (serial != m_loadSerial || !m_medium.hasMedia || m_medium.loadIssued || !m_mpv) return;
    if (m_surface && !m_surface->hasRenderContext() && !m_renderFailed && m_surface->isVisible()) {
        // The video surface is about to get its GL context: wait a little for
        // it rather than loading without video.
        m_medium.waitingForRender = true;
        QTimer::singleShot(1500, this, [this, serial] {
            if (serial == m_loadSerial && m_medium.waitingForRender) issueLoad();
        });
        return;
    }
    issueLoad();
}

void MpvPlayer::issueLoad()
{
    m_medium.waitingForRender = false;
    if (m_medium.loadIssued || !m_medium.hasMedia || !m_mpv) return;
    QStringList fileOptions;
    if (m_medium.pending)
        fileOptions << QStringLiteral("start=") + QString::number(*m_medium.pending, 'f', 3);
    // Without a render context every file with video would fail: load with
    // video off and switch it on when the context exists.
    m_medium.videoDeferred = m_surface && !m_surface->hasRenderContext() && !m_renderFailed;
    if (m_medium.videoDeferred) fileOptions << QStringLiteral("vid=no");
    // A local name goes to the engine as its own bytes.
    const QByteArray target = localNameToBytes(m_target);
    const QByteArray optionText = fileOptions.join(QLatin1Char(',')).toUtf8();
    const char *args[] = {"loadfile", target.constData(), "replace", optionText.constData(),
                          nullptr};
    mpv_node result;
    int pauseFlag = m_medium.intent != Intent::Play ? 1 : 0;
    int err = mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &pauseFlag);
    if (err >= 0) err = mpv_command_ret(m_mpv, args, &result);
    if (err < 0) {
        mediaFailed(MediaFailure::Unplayable);
        return;
    }
    const mpv_node *id = mapValue(result, "playlist_entry_id");
    m_medium.id = id && id->format == MPV_FORMAT_INT64 ? id->u.int64 : 0;
    mpv_free_node_contents(&result);
    if (m_medium.id == 0) {
        mediaFailed(MediaFailure::Unplayable);
        return;
    }
    m_medium.loadIssued = true;
    m_medium.seekOnLoad = false;
}

void MpvPlayer::closeMedia()
{
    require();
    ++m_loadSerial;
    m_medium = MediumState{};
    m_failure = MediaFailure::None;
    const char *args[] = {"stop", nullptr};
    check(mpv_command(m_mpv, args), "stop");
    showCard();
    setState(Undefined);
    refreshControls();
}

// ---- transport ----------------------------------------------------------

void MpvPlayer::play()
{
    require();
    if (!m_medium.hasMedia) return;
    m_medium.intent = Intent::Play;
    if (m_medium.reloadOnPlay) {
        m_medium.reloadOnPlay = false;
        setState(Transitioning);
        issueLoad();
        return;
    }
    if (!m_medium.loaded) {
        if (m_medium.loadIssued) setPause(false);
        return;
    }
    if (m_state == MediaEnded) finishEnded();
    // A target that a paused or stopped medium was sent to: playing starts
    // there, not where the paused engine happens to report.
    if (m_medium.pending && m_medium.landed) issueSeek(*m_medium.pending);
    setPause(false);
    setState(Playing);
}

void MpvPlayer::pause()
{
    require();
    if (!m_medium.hasMedia) return;
    if (!m_medium.loaded) {
        if (m_medium.intent == Intent::Play) m_medium.intent = Intent::Pause;
        if (m_medium.loadIssued) setPause(true);
        return;
    }
    if (m_state != Playing && m_state != Paused) return;
    m_medium.intent = Intent::Pause;
    setPause(true);
    restartSilence(currentPosition());
    setState(Paused);
}

void MpvPlayer::stop()
{
    require();
    if (!m_medium.hasMedia) return;
    m_medium.intent = Intent::Stop;
    if (m_medium.reloadOnPlay) {
        setState(Stopped);
        return;
    }
    m_medium.pending = 0.0;
    if (!m_medium.loaded) {
        if (m_medium.loadIssued) {
            setPause(true);
            m_medium.seekOnLoad = true;
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

// ---- state and controls -------------------------------------------------

void MpvPlayer::setState(int state)
{
    if (m_state == state) return;
    m_state = state;
    refreshControls();
    // Stopped from the bar: the keyboard starts it again from the play button.
    if (state == Stopped && m_controls && m_controls->isAncestorOf(QApplication::focusWidget()))
        m_controls->focusPlay();
    emit playStateChanged(state);
}

void MpvPlayer::require() const
{
    if (!m_mpv) throw AppError(QStringLiteral("再生エンジンが終了しています"));
}
