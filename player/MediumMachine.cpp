// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/MediumMachine.h"

namespace
{
using Command = MediumMachine::Command;

Command command(Command::Kind kind)
{
    Command c;
    c.kind = kind;
    return c;
}

Command pauseCommand(bool paused)
{
    Command c = command(Command::SetPause);
    c.flag = paused;
    return c;
}

} // namespace

void MediumMachine::reset()
{
    m_medium = Medium::Idle;
    m_seek = Seek::None;
    m_intent = Intent::Play;
    m_target.reset();
    m_id = 0;
    m_waitingForRender = false;
    m_videoDeferred = false;
}

void MediumMachine::setState(int state, Commands &out)
{
    if (m_state == state) return;
    m_state = state;
    Command c = command(Command::State);
    c.state = state;
    out << c;
}

void MediumMachine::fail(Failure why, Commands &out)
{
    reset();
    m_failure = why;
    out << command(Command::Cleared);
    setState(Undefined, out);
    Command c = command(Command::Failed);
    c.failure = why;
    c.serial = m_generation;
    out << c;
}

void MediumMachine::load(Commands &out)
{
    m_waitingForRender = false;
    if (m_medium != Medium::AwaitingFirstFrame && m_medium != Medium::Released) return;
    Command c = command(Command::Load);
    c.hasStart = m_target.has_value();
    c.position = m_target.value_or(0.0);
    c.flag = m_intent != Intent::Play;
    // Without the surface's GL context every medium with video would fail:
    // loaded with video off, switched on when the surface is ready.
    m_videoDeferred = m_surface && !m_renderReady && !m_renderFailed;
    c.videoOff = m_videoDeferred;
    out << c;
}

void MediumMachine::sendSeek(double position, bool listen, Commands &out)
{
    m_seek = Seek::Sent;
    Command c = command(Command::SeekTo);
    c.position = position;
    c.serial = ++m_seekSerial;
    c.flag = listen;
    out << c;
    Command giveUp = command(Command::ArmSeekGiveUp);
    giveUp.serial = c.serial;
    out << giveUp;
}

void MediumMachine::loadedNow(Commands &out)
{
    m_medium = Medium::Loaded;
    out << command(Command::Loaded);
    out << pauseCommand(m_intent != Intent::Play);
    // A target written while the load was under way goes now; one given
    // with the load is its start, landed by the next restart.
    if (m_seek == Seek::Pending && m_target) sendSeek(*m_target, true, out);
    switch (m_intent) {
    case Intent::Play:
        setState(Playing, out);
        break;
    case Intent::Pause:
        setState(Paused, out);
        break;
    case Intent::Stop:
        setState(Stopped, out);
        break;
    }
}

// After the end: stopped at 0, the medium still loaded.
void MediumMachine::finishEnded(Commands &out)
{
    m_intent = Intent::Stop;
    m_medium = Medium::Loaded;
    out << pauseCommand(true);
    m_target = 0.0;
    sendSeek(0.0, true, out);
    setState(Stopped, out);
}

MediumMachine::Commands MediumMachine::handle(const Event &event)
{
    Commands out;
    using E = Event;
    switch (event.kind) {
    case E::Open:
        ++m_generation;
        reset();
        m_failure = Failure::None;
        out << command(Command::Cleared);
        if (event.failure != Failure::None) {
            // Nothing is loaded; the old medium is let go.
            out << command(Command::StopEngine);
            fail(event.failure, out);
            break;
        }
        m_medium = Medium::AwaitingFirstFrame;
        setState(Transitioning, out);
        {
            // From the event loop, so that a position or stop() given right
            // after is part of the load.
            Command c = command(Command::QueueStartLoad);
            c.serial = m_generation;
            out << c;
        }
        break;

    case E::StartLoad:
        if (event.serial != m_generation || m_medium != Medium::AwaitingFirstFrame ||
            m_waitingForRender)
            break;
        if (event.flag && m_surface && !m_renderReady && !m_renderFailed) {
            // The video surface is about to get its GL context: wait a little
            // for it rather than loading without video.
            m_waitingForRender = true;
            Command c = command(Command::WaitForRender);
            c.serial = m_generation;
            out << c;
            break;
        }
        load(out);
        break;

    case E::RenderReady:
        m_renderReady = true;
        if (m_waitingForRender) {
            load(out);
        } else if (m_videoDeferred && (m_medium == Medium::Loading || loaded())) {
            m_videoDeferred = false;
            out << command(Command::EnableVideo);
        }
        break;

    case E::RenderFailed:
        m_renderFailed = true;
        if (m_waitingForRender) load(out);
        break;

    case E::RenderWaitOver:
        if (event.serial == m_generation && m_waitingForRender) load(out);
        break;

    case E::LoadSent:
        m_medium = Medium::Loading;
        m_id = event.id;
        // The target went with the load as its start.
        m_seek = m_target ? Seek::Queued : Seek::None;
        break;

    case E::LoadRefused:
        fail(Failure::Unplayable, out);
        break;

    case E::Play:
        if (m_medium == Medium::Idle) break;
        m_intent = Intent::Play;
        if (m_medium == Medium::Released) {
            setState(Transitioning, out);
            load(out);
            break;
        }
        if (m_medium == Medium::AwaitingFirstFrame) break;
        if (m_medium == Medium::Loading) {
            out << pauseCommand(false);
            break;
        }
        if (m_medium == Medium::Ended) finishEnded(out), m_intent = Intent::Play;
        // A target that a paused or stopped medium was sent to: playing
        // starts there, not where the paused engine happens to report.
        if (m_seek == Seek::Landed && m_target) sendSeek(*m_target, true, out);
        out << pauseCommand(false);
        setState(Playing, out);
        break;

    case E::Pause:
        if (m_medium == Medium::Idle) break;
        if (!loaded()) {
            if (m_intent == Intent::Play) m_intent = Intent::Pause;
            if (m_medium == Medium::Loading) out << pauseCommand(true);
            break;
        }
        if (m_state != Playing && m_state != Paused) break;
        m_intent = Intent::Pause;
        out << pauseCommand(true);
        setState(Paused, out);
        break;

    case E::Stop:
        if (m_medium == Medium::Idle) break;
        m_intent = Intent::Stop;
        if (m_medium == Medium::Released) {
            setState(Stopped, out);
            break;
        }
        m_target = 0.0;
        if (m_medium == Medium::AwaitingFirstFrame) {
            m_seek = Seek::Pending;
            break;
        }
        if (m_medium == Medium::Loading) {
            out << pauseCommand(true);
            m_seek = Seek::Pending;
            break;
        }
        m_medium = Medium::Loaded;
        out << pauseCommand(true);
        sendSeek(0.0, true, out);
        setState(Stopped, out);
        break;

    case E::Close:
        ++m_generation;
        reset();
        m_failure = Failure::None;
        out << command(Command::Cleared);
        out << command(Command::StopEngine);
        setState(Undefined, out);
        break;

    case E::SetPosition:
        if (m_medium == Medium::Idle) break;
        if (m_medium == Medium::Ended) finishEnded(out);
        m_target = event.position;
        if (m_medium == Medium::Released || m_medium == Medium::AwaitingFirstFrame ||
            m_medium == Medium::Loading) {
            // The start of the load, or sent when it completes.
            m_seek = Seek::Pending;
            break;
        }
        sendSeek(event.position, !event.flag, out);
        if (!event.flag) {
            Command c = command(Command::Seeked);
            c.position = event.position;
            out << c;
        }
        break;

    case E::SeekGiveUp:
        // Should the engine never report the landing (a seek it drops), the
        // target stops being reported and the engine's position shows.
        if (event.serial == m_seekSerial && loaded() && m_seek != Seek::Landed) {
            m_target.reset();
            if (m_seek != Seek::Pending) m_seek = Seek::None;
        }
        break;

    case E::EndSettled:
        if (event.serial == m_generation && m_medium == Medium::Ended) finishEnded(out);
        break;

    case E::FileStarted:
        m_activeId = event.id;
        break;

    case E::FileLoaded:
        // FILE_LOADED carries no id: it belongs to the file started last.
        if (m_id != 0 && m_activeId == m_id && m_medium == Medium::Loading) loadedNow(out);
        break;

    case E::PlaybackRestart:
        if (current() && m_seek == Seek::Queued) {
            if (m_intent == Intent::Play) {
                m_target.reset();
                m_seek = Seek::None;
            } else {
                m_seek = Seek::Landed;
            }
        }
        break;

    case E::SeekReply:
        // The last seek is queued in the core; the next restart is its own.
        if (event.serial != m_seekSerial || m_seek != Seek::Sent) break;
        if (event.flag) {
            m_seek = Seek::Queued;
        } else {
            m_seek = Seek::None;
            m_target.reset();
        }
        break;

    case E::EndFile:
        if (m_id == 0 || event.id != m_id) break; // the end of a medium that was replaced
        switch (event.reason) {
        case E::EndReason::Error:
            fail(event.flag ? Failure::Unreadable : Failure::Unplayable, out);
            break;
        case E::EndReason::Eof:
            // The engine let go of the medium at its end: the component still
            // has it, and play loads it again.
            m_medium = Medium::Released;
            m_seek = Seek::None;
            m_target.reset();
            m_intent = Intent::Stop;
            m_id = 0;
            if (m_state != Stopped) setState(MediaEnded, out);
            setState(Stopped, out);
            break;
        case E::EndReason::Redirect:
            // A playlist file (m3u, pls, an archive): the engine would go on
            // with its entries behind the component's back. It is no medium.
            out << command(Command::StopEngine);
            fail(Failure::Unplayable, out);
            break;
        case E::EndReason::Stop:
        case E::EndReason::Quit:
            ++m_generation;
            reset();
            out << command(Command::Cleared);
            setState(Undefined, out);
            break;
        }
        break;

    case E::EofReached:
        if (!current() || m_state == MediaEnded) break;
        m_target.reset();
        m_seek = Seek::None;
        m_medium = Medium::Ended;
        setState(MediaEnded, out);
        {
            Command c = command(Command::ArmEndSettle);
            c.serial = m_generation;
            out << c;
        }
        break;

    case E::Shutdown:
        ++m_generation;
        reset();
        out << command(Command::Cleared);
        setState(Undefined, out);
        {
            Command c = command(Command::Failed);
            c.failure = Failure::None;
            c.serial = m_generation;
            out << c;
        }
        break;
    }
    return out;
}
