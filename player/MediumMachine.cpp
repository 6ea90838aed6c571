// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/MediumMachine.h"

namespace ev = medium::events;
namespace cmd = medium::commands;

bool medium::fromCaller(const Event &event)
{
    return std::holds_alternative<ev::Open>(event) || std::holds_alternative<ev::Play>(event) ||
           std::holds_alternative<ev::Pause>(event) || std::holds_alternative<ev::Stop>(event) ||
           std::holds_alternative<ev::Close>(event) ||
           std::holds_alternative<ev::SetPosition>(event);
}

MediumMachine::Commands MediumMachine::handle(const Event &event)
{
    Commands out;
    std::visit([&](const auto &e) { on(e, out); }, event);
    return out;
}

// ---- the steps the events share -----------------------------------------

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

// The medium goes (a new one follows, or none): timers armed for it are stale
// from now on.
void MediumMachine::newGeneration(Commands &out)
{
    m_generation = Generation{quint64(m_generation) + 1};
    reset();
    out << cmd::Cleared{};
}

void MediumMachine::setState(int state, Commands &out)
{
    if (m_state == state) return;
    m_state = state;
    out << cmd::StateChanged{.state = state};
}

void MediumMachine::fail(Failure why, Commands &out)
{
    reset();
    m_failure = why;
    out << cmd::Cleared{};
    setState(Undefined, out);
    out << cmd::Failed{.failure = why, .generation = m_generation};
}

void MediumMachine::load(Commands &out)
{
    m_waitingForRender = false;
    if (m_medium != Medium::AwaitingFirstFrame && m_medium != Medium::Released) return;
    // Without the surface's GL context every medium with video would fail:
    // loaded with video off, switched on when the surface is ready.
    m_videoDeferred = m_surface && !m_renderReady && !m_renderFailed;
    out << cmd::Load{
        .start = m_target, .paused = m_intent != Intent::Play, .videoOff = m_videoDeferred};
}

void MediumMachine::sendSeek(double position, bool endsStretch, Commands &out)
{
    m_seek = Seek::Sent;
    m_seekSerial = SeekSerial{quint64(m_seekSerial) + 1};
    out << cmd::SeekTo{.position = position, .serial = m_seekSerial, .endsStretch = endsStretch};
    out << cmd::ArmSeekGiveUp{.serial = m_seekSerial};
}

void MediumMachine::loadedNow(Commands &out)
{
    m_medium = Medium::Loaded;
    out << cmd::Loaded{};
    out << cmd::SetPause{.paused = m_intent != Intent::Play};
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
    out << cmd::SetPause{.paused = true};
    m_target = 0.0;
    sendSeek(0.0, true, out);
    setState(Stopped, out);
}

// ---- the caller ---------------------------------------------------------

void MediumMachine::on(const ev::Open &opened, Commands &out)
{
    newGeneration(out);
    m_failure = Failure::None;
    if (opened.failure != Failure::None) {
        // Nothing is loaded; the old medium is let go.
        out << cmd::StopEngine{};
        fail(opened.failure, out);
        return;
    }
    m_medium = Medium::AwaitingFirstFrame;
    setState(Transitioning, out);
    // From the event loop, so that a position or stop() given right after is
    // part of the load.
    out << cmd::QueueStartLoad{.generation = m_generation};
}

void MediumMachine::on(const ev::Play &, Commands &out)
{
    if (m_medium == Medium::Idle) return;
    m_intent = Intent::Play;
    if (m_medium == Medium::Released) {
        setState(Transitioning, out);
        load(out);
        return;
    }
    if (m_medium == Medium::AwaitingFirstFrame) return;
    if (m_medium == Medium::Loading) {
        out << cmd::SetPause{.paused = false};
        return;
    }
    if (m_medium == Medium::Ended) {
        finishEnded(out);
        m_intent = Intent::Play;
    }
    // A target that a paused or stopped medium was sent to: playing starts
    // there, not where the paused engine happens to report.
    if (m_seek == Seek::Landed && m_target) sendSeek(*m_target, true, out);
    out << cmd::SetPause{.paused = false};
    setState(Playing, out);
}

void MediumMachine::on(const ev::Pause &, Commands &out)
{
    if (m_medium == Medium::Idle) return;
    if (!loaded()) {
        if (m_intent == Intent::Play) m_intent = Intent::Pause;
        if (m_medium == Medium::Loading) out << cmd::SetPause{.paused = true};
        return;
    }
    if (m_state != Playing && m_state != Paused) return;
    m_intent = Intent::Pause;
    out << cmd::SetPause{.paused = true};
    setState(Paused, out);
}

void MediumMachine::on(const ev::Stop &, Commands &out)
{
    if (m_medium == Medium::Idle) return;
    m_intent = Intent::Stop;
    if (m_medium == Medium::Released) {
        setState(Stopped, out);
        return;
    }
    m_target = 0.0;
    if (m_medium == Medium::AwaitingFirstFrame) {
        m_seek = Seek::Pending;
        return;
    }
    if (m_medium == Medium::Loading) {
        out << cmd::SetPause{.paused = true};
        m_seek = Seek::Pending;
        return;
    }
    m_medium = Medium::Loaded;
    out << cmd::SetPause{.paused = true};
    sendSeek(0.0, true, out);
    setState(Stopped, out);
}

void MediumMachine::on(const ev::Close &, Commands &out)
{
    newGeneration(out);
    m_failure = Failure::None;
    out << cmd::StopEngine{};
    setState(Undefined, out);
}

void MediumMachine::on(const ev::SetPosition &set, Commands &out)
{
    if (m_medium == Medium::Idle) return;
    if (m_medium == Medium::Loaded && m_state == Playing && set.end > 0.0 &&
        set.position >= set.end) {
        // The end while playing (a jump past it, the last silence passed):
        // as playing into it, so that what follows the medium goes on.
        out << cmd::EndStretch{};
        out << cmd::SetPause{.paused = true};
        if (set.origin == medium::Origin::Caller) out << cmd::Seeked{.position = set.end};
        endNow(out);
        m_target = set.end; // the position reported until it stops at 0
        return;
    }
    if (m_medium == Medium::Ended) finishEnded(out);
    m_target = set.position;
    if (m_medium == Medium::Released || m_medium == Medium::AwaitingFirstFrame ||
        m_medium == Medium::Loading) {
        // The start of the load, or sent when it completes.
        m_seek = Seek::Pending;
        return;
    }
    const bool asked = set.origin == medium::Origin::Caller;
    sendSeek(set.position, asked, out);
    if (asked) out << cmd::Seeked{.position = set.position};
}

// ---- the component: the load, the video surface, the timers -------------

void MediumMachine::on(const ev::StartLoad &start, Commands &out)
{
    if (start.generation != m_generation || m_medium != Medium::AwaitingFirstFrame ||
        m_waitingForRender)
        return;
    if (start.renderPending && m_surface && !m_renderReady && !m_renderFailed) {
        // The video surface is about to get its GL context: wait a little for
        // it rather than loading without video.
        m_waitingForRender = true;
        out << cmd::WaitForRender{.generation = m_generation};
        return;
    }
    load(out);
}

void MediumMachine::on(const ev::RenderReady &, Commands &out)
{
    m_renderReady = true;
    if (m_waitingForRender) {
        load(out);
    } else if (m_videoDeferred && (m_medium == Medium::Loading || loaded())) {
        m_videoDeferred = false;
        out << cmd::EnableVideo{};
    }
}

void MediumMachine::on(const ev::RenderFailed &, Commands &out)
{
    m_renderFailed = true;
    if (m_waitingForRender) load(out);
}

void MediumMachine::on(const ev::RenderWaitOver &over, Commands &out)
{
    if (over.generation == m_generation && m_waitingForRender) load(out);
}

void MediumMachine::on(const ev::LoadSent &sent, Commands &)
{
    m_medium = Medium::Loading;
    m_id = sent.id;
    // The target went with the load as its start.
    m_seek = m_target ? Seek::Queued : Seek::None;
}

void MediumMachine::on(const ev::LoadRefused &, Commands &out)
{
    fail(Failure::Unplayable, out);
}

void MediumMachine::on(const ev::SeekGiveUp &giveUp, Commands &)
{
    // Should the engine never report the landing (a seek it drops), the
    // target stops being reported and the engine's position shows.
    if (giveUp.serial == m_seekSerial && loaded() && m_seek != Seek::Landed) {
        m_target.reset();
        if (m_seek != Seek::Pending) m_seek = Seek::None;
    }
}

void MediumMachine::on(const ev::EndSettled &settled, Commands &out)
{
    if (settled.generation == m_generation && m_medium == Medium::Ended) finishEnded(out);
}

// ---- the engine ---------------------------------------------------------

void MediumMachine::on(const ev::FileStarted &started, Commands &)
{
    m_activeId = started.id;
}

void MediumMachine::on(const ev::FileLoaded &, Commands &out)
{
    // FILE_LOADED carries no id: it belongs to the file started last.
    if (m_id != 0 && m_activeId == m_id && m_medium == Medium::Loading) loadedNow(out);
}

void MediumMachine::on(const ev::PlaybackRestart &, Commands &)
{
    if (!current() || m_seek != Seek::Queued) return;
    if (m_intent == Intent::Play) {
        m_target.reset();
        m_seek = Seek::None;
    } else {
        m_seek = Seek::Landed;
    }
}

void MediumMachine::on(const ev::SeekReply &reply, Commands &)
{
    // The last seek is queued in the core; the next restart is its own.
    if (reply.serial != m_seekSerial || m_seek != Seek::Sent) return;
    if (reply.accepted) {
        m_seek = Seek::Queued;
    } else {
        m_seek = Seek::None;
        m_target.reset();
    }
}

void MediumMachine::on(const ev::EndFile &end, Commands &out)
{
    if (m_id == 0 || end.id != m_id) return; // the end of a medium that was replaced
    switch (end.reason) {
    case medium::EndReason::Error:
        fail(end.loadingFailed ? Failure::Unreadable : Failure::Unplayable, out);
        break;
    case medium::EndReason::Eof:
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
    case medium::EndReason::Redirect:
        // A playlist file (m3u, pls, an archive): the engine would go on with
        // its entries behind the component's back. It is no medium.
        out << cmd::StopEngine{};
        fail(Failure::Unplayable, out);
        break;
    case medium::EndReason::Stop:
    case medium::EndReason::Quit:
        newGeneration(out);
        setState(Undefined, out);
        break;
    }
}

void MediumMachine::on(const ev::EofReached &, Commands &out)
{
    if (!current() || m_state == MediaEnded) return;
    endNow(out);
}

// The medium is at its end: reported as MediaEnded, then stopped at 0 a
// moment later.
void MediumMachine::endNow(Commands &out)
{
    m_target.reset();
    m_seek = Seek::None;
    m_medium = Medium::Ended;
    setState(MediaEnded, out);
    out << cmd::ArmEndSettle{.generation = m_generation};
}

void MediumMachine::on(const ev::Shutdown &, Commands &out)
{
    newGeneration(out);
    setState(Undefined, out);
    out << cmd::Failed{.failure = Failure::None, .generation = m_generation};
}
