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
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>

namespace
{

using Event = MediumMachine::Event;
using Command = MediumMachine::Command;

// The end of a medium is reported as MediaEnded, then Stopped this much later.
constexpr int EndedToStoppedMs = 50;
// How long a load waits for the video surface's GL context.
constexpr int RenderWaitMs = 1500;

Event machineEvent(Event::Kind kind)
{
    Event e;
    e.kind = kind;
    return e;
}

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
        feed({Event::SetPosition, to, 0, 0, true});
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
    feed(machineEvent(Event::Close));
}

void MpvPlayer::require() const
{
    if (!m_engine->alive()) throw AppError(QStringLiteral("再生エンジンが終了しています"));
}

// ---- the machine ----------------------------------------------------------

void MpvPlayer::wireEngine()
{
    connect(m_engine, &MpvEngine::fileStarted, this, [this](std::int64_t id) {
        Event e = machineEvent(Event::FileStarted);
        e.id = id;
        feed(e);
    });
    connect(m_engine, &MpvEngine::fileLoaded, this,
            [this] { feed(machineEvent(Event::FileLoaded)); });
    connect(m_engine, &MpvEngine::playbackRestarted, this,
            [this] { feed(machineEvent(Event::PlaybackRestart)); });
    connect(m_engine, &MpvEngine::commandReplied, this, [this](std::uint64_t userdata, int error) {
        if (userdata < SeekSerialBase) return; // not a seek's
        Event e = machineEvent(Event::SeekReply);
        e.serial = userdata - SeekSerialBase;
        e.flag = error >= 0;
        feed(e);
    });
    connect(m_engine, &MpvEngine::fileEnded, this, [this](std::int64_t id, int reason, int error) {
        Event e = machineEvent(Event::EndFile);
        e.id = id;
        switch (reason) {
        case MPV_END_FILE_REASON_EOF:
            e.reason = Event::EndReason::Eof;
            break;
        case MPV_END_FILE_REASON_ERROR:
            e.reason = Event::EndReason::Error;
            e.flag = error == MPV_ERROR_LOADING_FAILED;
            break;
        case MPV_END_FILE_REASON_REDIRECT:
            e.reason = Event::EndReason::Redirect;
            break;
        case MPV_END_FILE_REASON_QUIT:
            e.reason = Event::EndReason::Quit;
            break;
        default:
            e.reason = Event::EndReason::Stop;
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
        feed(machineEvent(Event::EofReached));
    });
    connect(m_engine, &MpvEngine::shutDown, this, [this] { feed(machineEvent(Event::Shutdown)); });
    connect(m_engine, &MpvEngine::renderReady, this,
            [this] { feed(machineEvent(Event::RenderReady)); });
    connect(m_engine, &MpvEngine::renderFailedNow, this,
            [this] { feed(machineEvent(Event::RenderFailed)); });
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
    const bool caller = e.kind <= Event::SetPosition;
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

void MpvPlayer::carryOut(const Command &c)
{
    switch (c.kind) {
    case Command::QueueStartLoad:
        QMetaObject::invokeMethod(
            this,
            [this, serial = c.serial] {
                Event e = machineEvent(Event::StartLoad);
                e.serial = serial;
                e.flag = m_engine->renderPending() && m_videoArea->isVisible();
                feed(e);
            },
            Qt::QueuedConnection);
        break;
    case Command::WaitForRender:
        QTimer::singleShot(RenderWaitMs, this, [this, serial = c.serial] {
            Event e = machineEvent(Event::RenderWaitOver);
            e.serial = serial;
            feed(e);
        });
        break;
    case Command::Load:
        sendLoad(c);
        break;
    case Command::EnableVideo:
        m_engine->setString("vid", "auto");
        break;
    case Command::SetPause:
        check(m_engine->setFlag("pause", c.flag), "pause");
        if (c.flag) m_silence->restart(currentPosition());
        break;
    case Command::SeekTo:
        sendSeek(c.position, c.serial, c.flag);
        break;
    case Command::ArmSeekGiveUp:
        QTimer::singleShot(SeekGiveUpMs, this, [this, serial = c.serial] {
            Event e = machineEvent(Event::SeekGiveUp);
            e.serial = serial;
            feed(e);
        });
        break;
    case Command::ArmEndSettle:
        QTimer::singleShot(EndedToStoppedMs, this, [this, serial = c.serial] {
            Event e = machineEvent(Event::EndSettled);
            e.serial = serial;
            feed(e);
        });
        break;
    case Command::StopEngine: {
        const char *args[] = {"stop", nullptr};
        m_engine->command(args);
        break;
    }
    case Command::Loaded:
        showCard();
        addSidecars();
        break;
    case Command::Seeked:
        emit seeked(c.position);
        emit positionChanged(c.position);
        break;
    case Command::State:
        if (c.state != Playing) logStopped(c.state == MediaEnded ? endOfPlay() : m_lastPlayed);
        emit playStateChanged(c.state);
        break;
    case Command::Failed:
        showCard();
        // Queued: the host may show a message box in its handler.
        QMetaObject::invokeMethod(
            this,
            [this, serial = c.serial] {
                if (serial == m_machine.generation()) emit error();
            },
            Qt::QueuedConnection);
        break;
    case Command::Cleared:
        forgetMedium();
        break;
    }
}

// The medium went: what was known and played of it goes with it.
void MpvPlayer::forgetMedium()
{
    logStopped(m_lastPlayed);
    m_info = Info{};
    m_listen = ListenTracker{};
    m_floor = 0.0;
    m_pauseStarts.clear();
    m_silence->newMedium();
    emit mediumInfoChanged();
}

// Where a medium played to its end stopped: its length, when still known.
double MpvPlayer::endOfPlay() const
{
    double length = 0.0;
    if (m_engine->getDouble("duration", &length) >= 0 && std::isfinite(length) && length > 0)
        return length;
    return m_lastPlayed;
}

void MpvPlayer::sendLoad(const Command &c)
{
    QStringList fileOptions;
    if (c.hasStart) fileOptions << QStringLiteral("start=") + QString::number(c.position, 'f', 3);
    if (c.videoOff) fileOptions << QStringLiteral("vid=no");
    // A course's outro: the engine ends the medium there, as at its end.
    // Always given, so that an end set for the medium before holds no more.
    fileOptions << QStringLiteral("end=") + QString::fromLatin1(endOption());
    std::optional<std::int64_t> id;
    // A local name goes to the engine as its own bytes.
    if (m_engine->setFlag("pause", c.flag) >= 0)
        id = m_engine->loadFile(localNameToBytes(m_target), fileOptions);
    Event e = machineEvent(id ? Event::LoadSent : Event::LoadRefused);
    e.id = id.value_or(0);
    m_silence->restart(c.hasStart ? c.position : 0.0);
    feed(e);
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

void MpvPlayer::sendSeek(double seconds, quint64 serial, bool listen)
{
    // The detector is fed the sound from the target on.
    m_silence->restart(seconds);
    if (listen) {
        // A seek asked for may go back.
        m_floor = seconds;
        // What was played up to here counts; seeking over a stretch does not
        // mark it.
        const std::optional<double> played =
            playState() == Playing ? enginePosition() : std::nullopt;
        if (played) m_listen.played(*played, ListenStepSeconds);
        logStopped(played.value_or(m_lastPlayed));
        m_listen.interrupt();
    }
    const QByteArray target = QByteArray::number(seconds, 'f', 3);
    const char *args[] = {"seek", target.constData(), "absolute+exact", nullptr};
    const int err = m_engine->commandAsync(SeekSerialBase + serial, args);
    if (err < 0) {
        Event e = machineEvent(Event::SeekReply);
        e.serial = serial;
        e.flag = false;
        feed(e);
        refused("seek", err);
    }
}

// ---- loading ------------------------------------------------------------

void MpvPlayer::setURL(const QString &url)
{
    require();
    m_url = url;
    m_target = engineTarget(url);
    Event e = machineEvent(Event::Open);
    // A missing file or a refused name: nothing is loaded, the old medium
    // is let go.
    if (m_target.isEmpty()) e.failure = whyNotLoaded(url);
    withdrawPlace();
    forgetPause();
    m_endCut = 0.0;
    feed(e);
    showCard();
}

void MpvPlayer::setEndCut(double seconds)
{
    require();
    m_endCut = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
    // A medium loaded already takes it at once.
    if (m_machine.loaded()) check(m_engine->setString("end", endOption().constData()), "end");
}

// The engine's "end" for the course's outro: that many seconds before the
// end, or none.
QByteArray MpvPlayer::endOption() const
{
    return m_endCut > 0.0 ? "-" + QByteArray::number(m_endCut, 'f', 3) : QByteArrayLiteral("none");
}

void MpvPlayer::closeMedia()
{
    require();
    forgetPause();
    feed(machineEvent(Event::Close));
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
    feed(machineEvent(Event::Play));
    if (back) emit rewound(from - *back);
}

void MpvPlayer::pause()
{
    require();
    const bool playing = playState() == Playing;
    feed(machineEvent(Event::Pause));
    if (playing && playState() == Paused) notePause();
}

void MpvPlayer::stop()
{
    require();
    forgetPause();
    feed(machineEvent(Event::Stop));
}
