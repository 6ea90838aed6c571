// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player/PlayState.h"

#include <QList>
#include <QtGlobal>

#include <cstdint>
#include <optional>
#include <variant>

// What MediumMachine is told and what it asks for: each event and each
// command is a type of its own, with the fields that it carries.
namespace medium
{

enum class Failure { None, NotFound, Unplayable, Unreadable, Refused };

// Counts the media set or released; a timer armed for an older one is stale.
enum class Generation : quint64 {};
// Counts the seeks sent; a reply or a give-up for an older one is stale.
enum class SeekSerial : quint64 {};

// Who moves the position: the caller (a seek asked for: announced, and the
// stretch played so far ends there), or the component on its own (passing a
// silence).
enum class Origin { Caller, Own };

// Why the engine let go of a file.
enum class EndReason { Eof, Stop, Quit, Error, Redirect };

namespace events
{
// --- the caller ---

// A medium is set; with a failure, it cannot be loaded at all.
struct Open {
    Failure failure = Failure::None;
};
struct Play {
};
struct Pause {
};
struct Stop {
};
// The medium is released.
struct Close {
};
struct SetPosition {
    double position = 0.0;
    Origin origin = Origin::Caller;
    // Where the medium ends while it plays (its length less a course's
    // outro); 0: not known. A position there or beyond is its end.
    double end = 0.0;
};

// --- the component ---

// The turn of the event loop after Open.
struct StartLoad {
    Generation generation{};
    bool renderPending = false; // the video surface is about to be ready
};
// The video surface can show video now.
struct RenderReady {
};
// It never will.
struct RenderFailed {
};
// Waited long enough for the surface.
struct RenderWaitOver {
    Generation generation{};
};
// The engine took the load.
struct LoadSent {
    std::int64_t id = 0;
};
// The engine refused it.
struct LoadRefused {
};
// A seek whose landing was never reported.
struct SeekGiveUp {
    SeekSerial serial{};
};
// The short moment after the end is over.
struct EndSettled {
    Generation generation{};
};

// --- the engine ---

struct FileStarted {
    std::int64_t id = 0;
};
struct FileLoaded {
};
struct PlaybackRestart {
};
struct SeekReply {
    SeekSerial serial{};
    bool accepted = false; // queued in the engine's core
};
struct EndFile {
    std::int64_t id = 0;
    EndReason reason = EndReason::Eof;
    bool loadingFailed = false; // with an error: the file could not be read
};
struct EofReached {
};
struct Shutdown {
};
} // namespace events

using Event =
    std::variant<events::Open, events::Play, events::Pause, events::Stop, events::Close,
                 events::SetPosition, events::StartLoad, events::RenderReady, events::RenderFailed,
                 events::RenderWaitOver, events::LoadSent, events::LoadRefused, events::SeekGiveUp,
                 events::EndSettled, events::FileStarted, events::FileLoaded,
                 events::PlaybackRestart, events::SeekReply, events::EndFile, events::EofReached,
                 events::Shutdown>;

// Whether the event is one of the caller's requests (the caller hears of an
// engine call refused while carrying it out).
bool fromCaller(const Event &event);

namespace commands
{
// Feed StartLoad on the next turn of the event loop.
struct QueueStartLoad {
    Generation generation{};
};
// Feed RenderWaitOver after a while.
struct WaitForRender {
    Generation generation{};
};
struct Load {
    std::optional<double> start; // where playing starts, when not at 0
    bool paused = false;
    bool videoOff = false; // switched on by EnableVideo
};
// The load was made with video off; the surface is ready now.
struct EnableVideo {
};
struct SetPause {
    bool paused = false;
};
struct SeekTo {
    double position = 0.0;
    SeekSerial serial{};
    bool endsStretch = false; // the stretch played so far ends here
};
// The stretch played so far ends where playback stands (a jump to the end).
struct EndStretch {
};
// Feed SeekGiveUp after a while.
struct ArmSeekGiveUp {
    SeekSerial serial{};
};
// Feed EndSettled after the short moment after the end.
struct ArmEndSettle {
    Generation generation{};
};
struct StopEngine {
};
// The medium is loaded: look at its pictures.
struct Loaded {
};
// Announce a seek the caller asked for.
struct Seeked {
    double position = 0.0;
};
struct StateChanged {
    int state = PlayStates::Undefined;
};
// Report the error later, unless another medium was set meanwhile.
struct Failed {
    Failure failure = Failure::None;
    Generation generation{};
};
// The medium's own data goes (a new one, or none).
struct Cleared {
};
} // namespace commands

using Command = std::variant<commands::QueueStartLoad, commands::WaitForRender, commands::Load,
                             commands::EnableVideo, commands::SetPause, commands::SeekTo,
                             commands::EndStretch, commands::ArmSeekGiveUp, commands::ArmEndSettle,
                             commands::StopEngine, commands::Loaded, commands::Seeked,
                             commands::StateChanged, commands::Failed, commands::Cleared>;
using Commands = QList<Command>;

} // namespace medium

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
// lands. A target at or beyond the end while playing is the end of the
// medium, as playing into it: MediaEnded, then stopped at 0.
class MediumMachine : public PlayStates
{
public:
    enum class Medium { Idle, AwaitingFirstFrame, Loading, Loaded, Ended, Released };
    enum class Seek { None, Pending, Sent, Queued, Landed };
    enum class Intent { Play, Pause, Stop };
    using Failure = medium::Failure;
    using Generation = medium::Generation;
    using SeekSerial = medium::SeekSerial;
    using Event = medium::Event;
    using Command = medium::Command;
    using Commands = medium::Commands;

    // Whether the component draws video on a surface that must be ready
    // before a medium with video is loaded.
    void setSurface(bool surface) { m_surface = surface; }

    Commands handle(const Event &event);

    Medium medium() const { return m_medium; }
    Seek seek() const { return m_seek; }
    Intent intent() const { return m_intent; }
    int state() const { return m_state; }
    Failure failure() const { return m_failure; }
    Generation generation() const { return m_generation; }
    bool hasMedium() const { return m_medium != Medium::Idle; }
    bool loaded() const { return m_medium == Medium::Loaded || m_medium == Medium::Ended; }
    // The engine reports for this medium (its load is the one it plays).
    bool current() const { return loaded() && m_activeId == m_id; }
    // The position written last, until the engine has landed there.
    std::optional<double> target() const { return m_target; }
    bool videoDeferred() const { return m_videoDeferred; }

private:
    // The caller's requests.
    void on(const medium::events::Open &open, Commands &out);
    void on(const medium::events::Play &, Commands &out);
    void on(const medium::events::Pause &, Commands &out);
    void on(const medium::events::Stop &, Commands &out);
    void on(const medium::events::Close &, Commands &out);
    void on(const medium::events::SetPosition &set, Commands &out);
    // The component's own events: the load, the video surface, the timers.
    void on(const medium::events::StartLoad &start, Commands &out);
    void on(const medium::events::RenderReady &, Commands &out);
    void on(const medium::events::RenderFailed &, Commands &out);
    void on(const medium::events::RenderWaitOver &over, Commands &out);
    void on(const medium::events::LoadSent &sent, Commands &out);
    void on(const medium::events::LoadRefused &, Commands &out);
    void on(const medium::events::SeekGiveUp &giveUp, Commands &out);
    void on(const medium::events::EndSettled &settled, Commands &out);
    // The engine's events.
    void on(const medium::events::FileStarted &started, Commands &out);
    void on(const medium::events::FileLoaded &, Commands &out);
    void on(const medium::events::PlaybackRestart &, Commands &out);
    void on(const medium::events::SeekReply &reply, Commands &out);
    void on(const medium::events::EndFile &end, Commands &out);
    void on(const medium::events::EofReached &, Commands &out);
    void on(const medium::events::Shutdown &, Commands &out);

    void reset();
    void newGeneration(Commands &out);
    void load(Commands &out);
    void sendSeek(double position, bool endsStretch, Commands &out);
    void loadedNow(Commands &out);
    void finishEnded(Commands &out);
    void endNow(Commands &out);
    void fail(Failure why, Commands &out);
    void setState(int state, Commands &out);

    Medium m_medium = Medium::Idle;
    Seek m_seek = Seek::None;
    Intent m_intent = Intent::Play;
    std::optional<double> m_target;
    std::int64_t m_id = 0;        // the engine's playlist id of this medium's load
    std::int64_t m_activeId = -1; // the one the engine started last
    Generation m_generation{};
    SeekSerial m_seekSerial{};
    int m_state = Undefined;
    Failure m_failure = Failure::None;
    bool m_surface = false;
    bool m_renderReady = false;
    bool m_renderFailed = false;
    bool m_waitingForRender = false;
    bool m_videoDeferred = false;
};
