// SPDX-License-Identifier: GPL-3.0-or-later
// The player component on libmpv: its construction, the medium's machine fed
// with the caller's requests and the engine's events, and what the
// machine's commands do with the engine.
#include "player/MpvPlayer.h"

#include "persist/AppError.h"
#include "persist/LocalNames.h"
#include "player/MediaName.h"
#include "player/MpvSupport.h"
#include "player/PlayerControls.h"
#include "player/Sidecars.h"
#include "player/SilencePasser.h"
#include "player/SleepTimer.h"
#include "player/VideoArea.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace
{

namespace ev = medium::events;
namespace cmd = medium::commands;
using Event = MediumMachine::Event;
using Command = MediumMachine::Command;

// The end of a medium is reported as MediaEnded, then Stopped this much
// later. Stopping goes back to 0, which drops what the audio output still
// holds: the engine tells the end when the last sound is handed to the
// output, not when it is heard. At 50 ms the last 250 ms of every medium
// were never heard (bench/open-latency: a 4 s entry heard for 3.75 s); with
// the output's buffer (0.2 s) and the sound server's latency played out
// first, all of it is.
constexpr int EndedToStoppedMs = 450;
// How long a load waits for the video surface's GL context.
constexpr int RenderWaitMs = 1500;
// How long after a medium without a picture has loaded the picture's way
// through the video output is warmed.
constexpr int WarmPictureAfterMs = 700;

// A visitor of the machine's commands made of one lambda a command.
template <class... Carry> struct Overloaded : Carry... {
    using Carry::operator()...;
};

} // namespace

MpvPlayer::MpvPlayer(QWidget *parent, Options options) : MediaPlayer(parent)
{
    m_videoArea = new VideoArea(this);
    m_engine = new MpvEngine(m_videoArea, options, this);
    m_machine.setSurface(m_engine->surface() != nullptr);

    m_silence = new SilencePasser(
        [this] {
            SilencePasser::Playback now;
            try {
                now.position = currentPosition();
            } catch (const AppError &) {
            }
            now.playing = playState() == Playing && !m_machine.target();
            now.speed = m_speed;
            return now;
        },
        this);
    connect(m_silence, &SilencePasser::fastChanged, this, &MpvPlayer::pushEngineSpeed);
    connect(m_silence, &SilencePasser::resumeAt, this, [this](double to) {
        // What was passed counts as played.
        if (!m_silence->passed().isEmpty()) {
            const double from = m_silence->passed().constLast().start;
            m_listen.played(to, to - from + 1.0);
            logPassed(to, to - from);
        }
        const double end = playingEnd();
        if (end > 0.0 && to >= end && m_sleep->endReached()) return;
        feed(ev::SetPosition{.position = to, .origin = medium::Origin::Own, .end = end});
        emit silencePassed(to);
    });
    connect(m_silence, &SilencePasser::changed, this, &MediaPlayer::silenceSkipChanged);

    // The sleep timer counts on a steady clock.
    auto steady = std::make_shared<QElapsedTimer>();
    steady->start();
    m_sleep = new SleepTimer(
        *this, [steady] { return steady->elapsed(); }, this);
    connect(m_sleep, &SleepTimer::sleptAt, this, &MediaPlayer::fellAsleep);

    wireEngine();
    followEngineInfo();
    wireControls();
    showCard();
}

MpvPlayer::~MpvPlayer()
{
    m_engine->shutdown();
}

void MpvPlayer::shutdown()
{
    if (!m_engine->alive()) return;
    m_engine->shutdown();
    // The program ends: the medium goes, and nothing is reported as an error.
    feed(ev::Close{});
}

void MpvPlayer::require() const
{
    if (m_engine->alive()) return;
    if (!m_engine->startFailure().isEmpty()) throw AppError(m_engine->startFailure());
    throw AppError(QStringLiteral("再生エンジンが終了しています"));
}

// ---- the machine ----------------------------------------------------------

void MpvPlayer::wireEngine()
{
    connect(m_engine, &MpvEngine::fileStarted, this,
            [this](std::int64_t id) { feed(ev::FileStarted{.id = id}); });
    connect(m_engine, &MpvEngine::fileLoaded, this, [this] { feed(ev::FileLoaded{}); });
    connect(m_engine, &MpvEngine::playbackRestarted, this, [this] {
        feed(ev::PlaybackRestart{});
        // The subtitle files beside the medium, once its sound has started:
        // the engine reads each with a probe of its own, which would compete
        // with the start.
        if (std::exchange(m_sidecarsDue, false)) addSidecars();
    });
    connect(m_engine, &MpvEngine::commandReplied, this, [this](std::uint64_t userdata, int error) {
        if (userdata < SeekSerialBase) return; // not a seek's
        feed(ev::SeekReply{.serial = MediumMachine::SeekSerial{userdata - SeekSerialBase},
                           .accepted = error >= 0});
    });
    connect(m_engine, &MpvEngine::fileEnded, this, [this](std::int64_t id, int reason, int error) {
        ev::EndFile e{.id = id};
        switch (reason) {
        case MPV_END_FILE_REASON_EOF:
            e.reason = medium::EndReason::Eof;
            break;
        case MPV_END_FILE_REASON_ERROR:
            e.reason = medium::EndReason::Error;
            e.loadingFailed = error == MPV_ERROR_LOADING_FAILED;
            break;
        case MPV_END_FILE_REASON_REDIRECT:
            e.reason = medium::EndReason::Redirect;
            break;
        case MPV_END_FILE_REASON_QUIT:
            e.reason = medium::EndReason::Quit;
            break;
        default:
            e.reason = medium::EndReason::Stop;
            break;
        }
        feed(e);
    });
    connect(m_engine, &MpvEngine::eofReached, this, [this] {
        if (!m_machine.current() || playState() == MediaEnded) return;
        // The sleep timer holds the medium at its end: it pauses instead.
        try {
            if (m_sleep->endReached()) return;
        } catch (const AppError &) {
        }
        feed(ev::EofReached{});
    });
    connect(m_engine, &MpvEngine::shutDown, this, [this] { feed(ev::Shutdown{}); });
    connect(m_engine, &MpvEngine::engineStarted, this, [this] {
        if (m_videoWanted && m_machine.medium() == MediumMachine::Medium::Idle)
            m_engine->keepVideoOutput(true);
    });
    connect(m_engine, &MpvEngine::renderReady, this, [this] { feed(ev::RenderReady{}); });
    connect(m_engine, &MpvEngine::renderFailedNow, this, [this] { feed(ev::RenderFailed{}); });
    connect(m_engine, &MpvEngine::silenceReported, this, [this](double start, double end) {
        if (!m_machine.current()) return;
        // Where the pauses of the medium begin, for smart rewind.
        if (start >= 0.0 && !m_pauseStarts.contains(ListenedRange{start, start}))
            m_pauseStarts.append({start, start});
        m_silence->report(start, end);
    });
}

void MpvPlayer::feed(const Event &e)
{
    const MediumMachine::Commands commands = m_machine.handle(e);
    const bool caller = medium::fromCaller(e);
    for (const Command &c : commands) {
        try {
            carryOut(c);
        } catch (const AppError &) {
            // A call the engine refused: the caller hears of it; an engine
            // event or a timer goes on with the next command.
            if (caller) throw;
        }
    }
}

void MpvPlayer::carryOut(const Command &command)
{
    const Overloaded carry{
        [this](const cmd::QueueStartLoad &c) {
            QMetaObject::invokeMethod(
                this, [this, generation = c.generation] { startLoad(generation); },
                Qt::QueuedConnection);
        },
        [this](const cmd::WaitForRender &c) {
            QTimer::singleShot(RenderWaitMs, this, [this, generation = c.generation] {
                feed(ev::RenderWaitOver{.generation = generation});
            });
        },
        [this](const cmd::Load &c) { sendLoad(c); },
        [this](const cmd::EnableVideo &) { m_engine->setString("vid", "auto"); },
        [this](const cmd::SetPause &c) {
            check(m_engine->setFlag("pause", c.paused), "pause");
            if (c.paused) m_silence->restart(currentPosition());
        },
        [this](const cmd::SeekTo &c) { sendSeek(c.position, c.serial, c.endsStretch); },
        [this](const cmd::EndStretch &) { endListening(); },
        [this](const cmd::ArmSeekGiveUp &c) {
            QTimer::singleShot(SeekGiveUpMs, this, [this, serial = c.serial] {
                feed(ev::SeekGiveUp{.serial = serial});
            });
        },
        [this](const cmd::ArmEndSettle &c) {
            QTimer::singleShot(EndedToStoppedMs, this, [this, generation = c.generation] {
                feed(ev::EndSettled{.generation = generation});
            });
        },
        [this](const cmd::StopEngine &) {
            const char *args[] = {"stop", nullptr};
            m_engine->command(args);
        },
        [this](const cmd::Loaded &) {
            if (m_videoWanted && m_info.hasPicture) m_engine->keepVideoOutput(false);
            if (!m_info.hasPicture) warmPicturePathLater();
            // An end cut set while the medium loaded.
            if (m_endCut != m_endCutSent) {
                m_endCutSent = m_endCut;
                check(m_engine->setString("end", endOption().constData()), "end");
            }
            showCard();
            m_sidecarsDue = true;
        },
        [this](const cmd::Seeked &c) {
            emit seeked(c.position);
            emit positionChanged(c.position);
        },
        [this](const cmd::StateChanged &c) {
            if (c.state != Playing) logStopped(c.state == MediaEnded ? endOfPlay() : m_lastPlayed);
            emit playStateChanged(c.state);
        },
        [this](const cmd::Failed &c) {
            showCard();
            // Queued: the host may show a message box in its handler.
            QMetaObject::invokeMethod(
                this,
                [this, generation = c.generation] {
                    if (generation == m_machine.generation()) emit error();
                },
                Qt::QueuedConnection);
        },
        [this](const cmd::Cleared &) { forgetMedium(); },
    };
    std::visit(carry, command);
}

// The medium went: what was known and played of it goes with it.
void MpvPlayer::forgetMedium()
{
    logStopped(m_lastPlayed);
    m_sidecarsDue = false;
    m_info = Info{};
    m_listen = ListenTracker{};
    m_floor = 0.0;
    m_pauseStarts.clear();
    m_silence->newMedium();
    // A medium that loads next: the windows hear of it once it is on its
    // way to the engine (see setURL).
    if (m_opening)
        afterOpening();
    else
        emit mediumInfoChanged();
}

// What the windows show of the medium (its card, its information) follows
// on the next turn of the event loop, once: the load goes first.
void MpvPlayer::afterOpening()
{
    if (m_updateQueued) return;
    m_updateQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_updateQueued = false;
            showCard();
            emit mediumInfoChanged();
        },
        Qt::QueuedConnection);
}

// Where a medium played to its end stopped: its length, when still known.
double MpvPlayer::endOfPlay() const
{
    double length = 0.0;
    if (m_engine->getDouble("duration", &length) >= 0 && std::isfinite(length) && length > 0)
        return length;
    return m_lastPlayed;
}

void MpvPlayer::sendLoad(const medium::commands::Load &c)
{
    QStringList fileOptions;
    if (c.start) fileOptions << QStringLiteral("start=") + QString::number(*c.start, 'f', 3);
    if (c.videoOff) fileOptions << QStringLiteral("vid=no");
    // A course's outro: the engine ends the medium there, as at its end.
    // Always given, so that an end set for the medium before holds no more.
    fileOptions << QStringLiteral("end=") + QString::fromLatin1(endOption());
    m_endCutSent = m_endCut;
    std::optional<std::int64_t> id;
    // A local name goes to the engine as its own bytes.
    if (m_engine->setFlag("pause", c.paused) >= 0)
        id = m_engine->loadFile(localNameToBytes(m_target), fileOptions);
    m_silence->restart(c.start.value_or(0.0));
    m_rollFrom = c.start.value_or(0.0);
    if (id)
        feed(ev::LoadSent{.id = *id});
    else
        feed(ev::LoadRefused{});
}

void MpvPlayer::addSidecars()
{
    const MediaName name = classifyMediaName(m_target);
    if (name.kind != MediaNameKind::Local) return;
    // Without waiting: the engine reads them on its own.
    for (const QString &file : sidecarSubtitles(name.path)) {
        const QByteArray bytes = localNameToBytes(file);
        const char *args[] = {"sub-add", bytes.constData(), "auto", nullptr};
        m_engine->commandAsync(0, args);
    }
}

void MpvPlayer::sendSeek(double seconds, MediumMachine::SeekSerial serial, bool listen)
{
    // The detector is fed the sound from the target on.
    m_silence->restart(seconds);
    if (listen) {
        // A seek asked for may go back.
        m_floor = seconds;
        endListening();
        // The next stretch starts once the position moves on from there.
        m_rollFrom = seconds;
    }
    const QByteArray target = QByteArray::number(seconds, 'f', 3);
    const char *args[] = {"seek", target.constData(), "absolute+exact", nullptr};
    const int err = m_engine->commandAsync(SeekSerialBase + quint64(serial), args);
    if (err < 0) {
        feed(ev::SeekReply{.serial = serial, .accepted = false});
        refused("seek", err);
    }
}

// What was played up to here counts; seeking over a stretch does not mark it.
void MpvPlayer::endListening()
{
    const std::optional<double> played = playState() == Playing ? enginePosition() : std::nullopt;
    if (played) m_listen.played(*played, ListenStepSeconds);
    logStopped(played.value_or(m_lastPlayed));
    m_listen.interrupt();
}

// Where the medium playing ends (its length less the course's outro); 0 when
// it is not playing or its length is not known.
double MpvPlayer::playingEnd() const
{
    if (!m_machine.loaded() || playState() != Playing) return 0.0;
    double length = 0.0;
    if (m_engine->getDouble("duration", &length) < 0 || !std::isfinite(length)) return 0.0;
    return length > m_endCut ? length - m_endCut : 0.0;
}

// ---- loading ------------------------------------------------------------

void MpvPlayer::setURL(const QString &url)
{
    require();
    m_url = url;
    m_target = engineTarget(url);
    ev::Open e;
    // A missing file or a refused name: nothing is loaded, the old medium
    // is let go.
    if (m_target.isEmpty()) e.failure = whyNotLoaded(url);
    withdrawPlace();
    forgetPause();
    m_endCut = 0.0;
    // Loading, the windows are told on the next turn of the event loop.
    m_opening = e.failure == MediaFailure::None;
    const QScopeGuard opened([this] { m_opening = false; });
    feed(e);
    if (m_opening)
        afterOpening();
    else
        showCard();
}

void MpvPlayer::setEndCut(double seconds)
{
    require();
    m_endCut = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
    // A medium loaded already takes it at once; one loading, once loaded.
    if (m_machine.loaded()) check(m_engine->setString("end", endOption().constData()), "end");
}

// The engine's "end" for the course's outro: that many seconds before the
// end, or none.
QByteArray MpvPlayer::endOption() const
{
    return m_endCut > 0.0 ? "-" + QByteArray::number(m_endCut, 'f', 3) : QByteArrayLiteral("none");
}

// Once sound has started: the warming costs the output's thread about 30 ms.
void MpvPlayer::warmPicturePathLater()
{
    QTimer::singleShot(WarmPictureAfterMs, this, [this, generation = m_machine.generation()] {
        if (generation == m_machine.generation() && !m_info.hasPicture) m_engine->warmPicturePath();
    });
}

void MpvPlayer::prepareVideo()
{
    // Made once the engine runs, only while nothing is loaded; else kept once
    // a medium with a picture has made it (a lecture listened to from the
    // start makes none).
    m_videoWanted = true;
    m_engine->startSoon();
    if (m_engine->running() && m_machine.medium() == MediumMachine::Medium::Idle)
        m_engine->keepVideoOutput(true);
}

void MpvPlayer::loadNow()
{
    require();
    startLoad(m_machine.generation());
}

// The load goes, unless that medium has gone or has been sent already.
void MpvPlayer::startLoad(MediumMachine::Generation generation)
{
    feed(ev::StartLoad{.generation = generation,
                       .renderPending = m_engine->renderPending() && m_videoArea->isVisible()});
}

void MpvPlayer::closeMedia()
{
    require();
    forgetPause();
    withdrawPlace();
    feed(ev::Close{});
    showCard();
}

// ---- transport ----------------------------------------------------------

void MpvPlayer::play()
{
    require();
    // Going on after a pause: a little earlier (smart rewind).
    std::optional<double> back;
    double from = 0.0;
    if (playState() == Paused) {
        from = currentPosition();
        back = rewindAfterPause(from, m_pauseStarts);
    }
    if (back) setCurrentPosition(*back);
    feed(ev::Play{});
    if (back) emit rewound(from - *back);
}

void MpvPlayer::pause()
{
    require();
    const bool playing = playState() == Playing;
    feed(ev::Pause{});
    if (playing && playState() == Paused) notePause();
}

void MpvPlayer::stop()
{
    require();
    forgetPause();
    feed(ev::Stop{});
}
