// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player/MediaPlayer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <variant>

struct mpv_handle;
struct mpv_node;
class QThread;
class VideoArea;
class VideoSurface;

// Frees a handle with mpv_terminate_destroy: the core and its video output
// are gone when it returns.
struct MpvHandleDeleter {
    void operator()(mpv_handle *handle) const;
};
using MpvHandle = std::unique_ptr<mpv_handle, MpvHandleDeleter>;

// A node the engine filled in (a property, a command's result), freed with
// it.
class MpvNode
{
public:
    MpvNode();
    ~MpvNode();
    MpvNode(const MpvNode &) = delete;
    MpvNode &operator=(const MpvNode &) = delete;
    mpv_node *get() { return m_node.get(); }
    const mpv_node &operator*() const { return *m_node; }
    // Marks the node as filled: it is freed at the end.
    void filled() { m_filled = true; }

private:
    std::unique_ptr<mpv_node> m_node;
    bool m_filled = false;
};

// The libmpv engine: owns the handle (and nothing else frees it), sets it up,
// observes the properties the player follows, and turns each engine event
// into one typed signal, on the GUI thread. It is the one place that knows
// the lifetime of the window the video is drawn into: the engine's own
// window inside the picture area (X11, Windows), or the OpenGL render
// surface (Wayland); shutdown() takes the video output down while that
// window still exists.
class MpvEngine : public QObject
{
    Q_OBJECT

public:
    // How the picture reaches the screen.
    enum class VideoOutput { None, Embedded, RenderApi };
    struct Options {
        bool video = true; // show video where the platform can
        bool audio = true; // false: mpv's null audio output (tests)
        // Not empty: the sound is written to this WAV file, as fast as it is
        // decoded, instead of played (tests that measure it).
        QString audioFile = QString();
        // With audioFile: written at this many times real time (a filter
        // that paces the sound, first in the chain); 0: as fast as decoded.
        double audioFilePace = 0.0;
    };
    // The medium's tracks as the engine lists them.
    struct TrackList {
        QList<MediaPlayer::Track> tracks; // audio and subtitles
        bool picture = false;             // a video track, or cover art
        bool video = false;               // a video track that is no cover art
    };

    // The engine itself starts with the first call that needs it, or once
    // startSoon() has loaded libmpv (with the render surface: at once).
    MpvEngine(VideoArea *area, Options options, QObject *parent = nullptr);
    ~MpvEngine() override;

    // Not shut down: running, or to start with the next call.
    bool alive() const { return !m_startTried || m_handle != nullptr; }
    bool running() const { return m_handle != nullptr; }
    // Why the engine could not start; empty when it did or has not tried.
    const QString &startFailure() const { return m_startFailure; }
    // Loads libmpv on a thread of its own, then starts the engine on this
    // one (engineStarted()): for the time after the window has shown, so
    // that the first medium does not wait for it. A call that needs the
    // engine before then waits for the library and starts it.
    void startSoon();
    VideoOutput videoOutput() const { return m_output; }
    // The render surface (RenderApi only): whether its GL context exists,
    // or could not be made.
    bool renderPending() const;
    bool renderFailed() const { return m_renderFailed; }
    VideoSurface *surface() const { return m_surface; }
    // The window the engine draws into (Embedded only): in sight while a
    // medium with a picture is loaded, parked out of sight otherwise.
    QWidget *videoWindow() const { return m_window; }
    // The engine keeps one video output from one medium to the next, so
    // that a video does not wait for it: idle (nothing loaded), it is made
    // now, without waiting; else call it once a medium with a picture has
    // made it. Embedded only; once.
    void keepVideoOutput(bool idle);
    // With the output kept while no picture is shown (a medium without one
    // plays): has it draw once as a picture does, so that the first picture
    // of the run does not wait for the driver's first shader. Once.
    void warmPicturePath();
    // The audio filters the engine was started with (the pacing of a sound
    // file written for a test); empty for none.
    const QByteArray &ownAudioFilters() const { return m_ownFilters; }

    // Stops the engine and frees the handle: the render context first, then
    // the core with its video output, while the window it draws into still
    // exists. Safe to call more than once; afterwards alive() is false and
    // every call below fails quietly (returns an error or nothing).
    void shutdown();

    // --- calls; each returns the engine's error code (< 0: refused) ---
    int setFlag(const char *name, bool value);
    int setDouble(const char *name, double value);
    int setString(const char *name, const char *value);
    // The audio filter chain ("af"); filters that stay as they were keep
    // running, with no gap in the sound.
    int setAudioFilters(const QByteArray &chain);
    int getDouble(const char *name, double *value) const;
    QString getString(const char *name) const;
    int getNode(const char *name, MpvNode &node) const;
    int command(const char *const *args);
    int commandNode(const char *const *args, MpvNode &result);
    int commandAsync(std::uint64_t userdata, const char *const *args);
    // Loads a file in place of the current one; the playlist id of the new
    // entry, or nothing when the engine refused.
    std::optional<std::int64_t> loadFile(const QByteArray &target, const QStringList &options);

signals:
    // The engine runs: after the call that started it has returned.
    void engineStarted();
    void fileStarted(std::int64_t id);
    void fileLoaded();
    void playbackRestarted();
    void commandReplied(std::uint64_t userdata, int error);
    // reason: mpv_end_file_reason; error: the engine's error code.
    void fileEnded(std::int64_t id, int reason, int error);
    void eofReached();
    void durationChanged();
    void positionTicked(); // at most once a second while playing
    void volumeChanged(double volume);
    void muteChanged(bool muted);
    void speedChanged(double speed);
    void chaptersChanged(const QList<MediaPlayer::Chapter> &chapters);
    void chapterChanged(int index); // -1: none
    // Also reported as a medium loads, just before fileLoaded().
    void tracksChanged(const MpvEngine::TrackList &list);
    void tagsChanged(const QVariantMap &tags);
    // The silence detector's last report: the start of the last silence it
    // found and the end of the last that ended (negative: none).
    void silenceReported(double start, double end);
    // The core went away by itself: the handle is released already.
    void shutDown();
    // The render surface's GL context exists, or cannot be made.
    void renderReady();
    void renderFailedNow();

private:
    // Starts the engine unless it was tried already; whether it runs.
    bool startNow();
    bool ready() const;
    // A property set before the engine runs, set as it starts.
    struct Pending {
        using Value = std::variant<bool, double, QByteArray>;
        QByteArray name;
        Value value;
    };
    // Keeps the setting for the start, while the engine has not started;
    // whether it did.
    bool setLater(const char *name, Pending::Value value);
    void start();
    static void onWakeup(void *self);
    void drain();
    void observe();
    void propertyChanged(std::uint64_t which, const void *property);

    VideoArea *m_area = nullptr;
    Options m_options;
    QByteArray m_wid; // the window the engine draws into (Embedded)
    std::unique_ptr<QThread> m_loader;
    bool m_startTried = false;
    QString m_startFailure;
    QList<Pending> m_pending;
    MpvHandle m_handle;
    VideoOutput m_output = VideoOutput::None;
    VideoSurface *m_surface = nullptr;
    QWidget *m_window = nullptr;
    bool m_videoKept = false;
    bool m_drawnWithShader = false;
    bool m_warmPixel = false; // drawn by warmPicturePath(), not yet taken away
    static constexpr const char *WarmPixelId = "63";
    bool m_renderFailed = false;
    QByteArray m_ownFilters;
    std::atomic<bool> m_drainQueued{false};
};
