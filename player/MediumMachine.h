// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player/PlayState.h"

#include <QList>
#include <QtGlobal>

#include <cstdint>
#include <optional>

// The life of one medium in the engine, apart from the engine: what the
// player component has asked for, what the engine has reported, and what is
// to be sent next. It knows no engine call; handle() takes one event (a
// caller's request, an engine event, a timer) and returns the commands to
// carry out, in order. The player component carries them out and feeds the
// results of loads back as events.
//
// The medium: Idle (none) -> AwaitingFirstFrame (set, not yet loaded: the
// next turn of the event loop, or the video surface's first frame) ->
// Loading (load sent) -> Loaded -> Ended (reported at its end) -> Loaded
// again at 0, stopped. Released: the engine let go of it at its end; play
// loads it again. A failure or close returns to Idle.
//
// The seek: None -> Pending (a target not yet sent: the start of the load,
// or sent when the load completes) -> Sent (awaiting the engine's reply) ->
// Queued (the next playback restart is its own) -> None when it lands while
// playing, or Landed while paused or stopped: the target stays the position
// reported (a paused engine reports its audio position early), and playing
// starts exactly there. A target written is the position reported until it
// lands.
class MediumMachine : public PlayStates
{
public:
    enum class Medium { Idle, AwaitingFirstFrame, Loading, Loaded, Ended, Released };
    enum class Seek { None, Pending, Sent, Queued, Landed };
    enum class Intent { Play, Pause, Stop };
    enum class Failure { None, NotFound, Unplayable, Unreadable, Refused };

    struct Event {
        enum Kind {
            // --- the caller ---
            Open, // a medium is set; failure: it cannot be loaded at all
            Play,
            Pause,
            Stop,
            Close,       // release the medium
            SetPosition, // position; own: the component's own move (no seek asked for)
            // --- the component ---
            StartLoad,      // the turn after Open; waitForRender: the surface is about to be ready
            RenderReady,    // the video surface can show video now
            RenderFailed,   // it never will
            RenderWaitOver, // generation: waited long enough for the surface
            LoadSent,       // id: the engine took the load
            LoadRefused,    // the engine refused it
            SeekGiveUp,     // serial: a seek whose landing was never reported
            EndSettled,     // generation: the short moment after the end
            // --- the engine ---
            FileStarted, // id
            FileLoaded,
            PlaybackRestart,
            SeekReply, // serial, ok
            EndFile,   // id, reason, loadingFailed
            EofReached,
            Shutdown,
        };
        enum class EndReason { Eof, Stop, Quit, Error, Redirect };
        Kind kind;
        double position = 0.0;
        std::int64_t id = 0;
        quint64 serial = 0;
        bool flag = false; // own, waitForRender, ok, loadingFailed
        Failure failure = Failure::None;
        EndReason reason = EndReason::Eof;
    };

    struct Command {
        enum Kind {
            QueueStartLoad, // serial: generation; feed StartLoad on the next turn
            WaitForRender,  // serial: generation; feed RenderWaitOver after a while
            Load,           // position: start (when flag2); flag: paused; videoOff
            EnableVideo,    // the load was made with video off
            SetPause,       // flag
            SeekTo,         // position, serial; flag: the stretch played so far ends here
            ArmSeekGiveUp,  // serial
            ArmEndSettle,   // serial: generation
            StopEngine,
            Loaded,  // the medium is loaded: look at its pictures
            Seeked,  // position: announce a seek the caller asked for
            State,   // state: the play state changed
            Failed,  // failure, serial: generation; report the error later
            Cleared, // the medium's own data goes (a new one, or none)
        };
        Kind kind;
        double position = 0.0;
        quint64 serial = 0;
        bool flag = false;
        bool hasStart = false;
        bool videoOff = false;
        int state = 0;
        Failure failure = Failure::None;
        bool operator==(const Command &) const = default;
    };
    using Commands = QList<Command>;

    // Whether the component draws video on a surface that must be ready
    // before a medium with video is loaded.
    void setSurface(bool surface) { m_surface = surface; }

    Commands handle(const Event &event);

    Medium medium() const { return m_medium; }
    Seek seek() const { return m_seek; }
    Intent intent() const { return m_intent; }
    int state() const { return m_state; }
    Failure failure() const { return m_failure; }
    quint64 generation() const { return m_generation; }
    bool hasMedium() const { return m_medium != Medium::Idle; }
    bool loaded() const { return m_medium == Medium::Loaded || m_medium == Medium::Ended; }
    // The engine reports for this medium (its load is the one it plays).
    bool current() const { return loaded() && m_activeId == m_id; }
    // The position written last, until the engine has landed there.
    std::optional<double> target() const { return m_target; }
    bool videoDeferred() const { return m_videoDeferred; }

private:
    void reset();
    void load(Commands &out);
    void sendSeek(double position, bool listen, Commands &out);
    void loadedNow(Commands &out);
    void finishEnded(Commands &out);
    void fail(Failure why, Commands &out);
    void setState(int state, Commands &out);

    Medium m_medium = Medium::Idle;
    Seek m_seek = Seek::None;
    Intent m_intent = Intent::Play;
    std::optional<double> m_target;
    std::int64_t m_id = 0;        // the engine's playlist id of this medium's load
    std::int64_t m_activeId = -1; // the one the engine started last
    quint64 m_generation = 0;     // counts media set or released: stale timers see it
    quint64 m_seekSerial = 0;
    int m_state = Undefined;
    Failure m_failure = Failure::None;
    bool m_surface = false;
    bool m_renderReady = false;
    bool m_renderFailed = false;
    bool m_waitingForRender = false;
    bool m_videoDeferred = false;
};
