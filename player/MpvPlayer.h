// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player/MediaPlayer.h"
#include "player/SilenceSkipper.h"

#include <QElapsedTimer>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <optional>

class PlayerControls;
class SleepTimer;
class QMenu;
class QTimer;
class VideoArea;
class VideoSurface;
struct mpv_handle;
struct mpv_event;
struct mpv_event_property;
struct mpv_node;

// How MpvPlayer is set up.
struct MpvPlayerOptions {
    // Show video (where the platform can show it).
    bool video = true;
    // Play sound; false uses mpv's null audio output (tests).
    bool audio = true;
};

// The player component on libmpv. All mpv events are handled on the GUI
// thread; the position written last is reported until mpv has landed there.
// Its control bar follows the engine's observed properties and events; no
// timer runs while nothing changes.
//
// The picture: on X11 and Windows the engine draws into its own window
// inside the video area (nothing is copied); elsewhere (Wayland) through the
// OpenGL render API into a surface; without a display (the offscreen
// platform) there is none.
class MpvPlayer : public MediaPlayer
{
    Q_OBJECT

public:
    using Options = MpvPlayerOptions;
    // No video, no sound: for tests and machines without a display.
    static Options headless() { return Options{false, false}; }

    explicit MpvPlayer(QWidget *parent = nullptr, Options options = Options());
    ~MpvPlayer() override;

    QString url() const override { return m_url; }
    void setURL(const QString &url) override;
    int playState() const override { return m_state; }
    void play() override;
    void pause() override;
    void stop() override;
    double currentPosition() const override;
    void setCurrentPosition(double seconds) override;
    bool hasCurrentMedia() const override { return m_medium.hasMedia; }
    double duration() const override;
    int volume() const override;
    void setVolume(int volume) override;
    bool playerEnabled() const override { return m_enabled; }
    void setPlayerEnabled(bool enabled) override;
    void closeMedia() override;
    void shutdown() override;
    bool hasVideo() const override { return m_medium.hasMedia && m_medium.hasVideo; }

    double speed() const override { return m_speed; }
    void setSpeed(double speed) override;
    bool muted() const override { return m_muted; }
    void setMuted(bool muted) override;
    QList<Chapter> chapters() const override { return m_medium.chapters; }
    int currentChapter() const override { return m_medium.chapter; }
    void setCurrentChapter(int index) override;
    QList<Track> tracks() const override { return m_medium.tracks; }
    void selectTrack(Track::Type type, qint64 id) override;
    QVariantMap tags() const override { return m_medium.tags; }
    QImage coverArt() const override;
    void setFade(double factor) override;
    bool skipsSilence() const override { return m_skipOn; }
    void setSkipSilence(bool on) override;
    double silenceSaved() const override { return m_medium.silenceSaved; }
    bool sleepsAtEnd() const override;
    void setMoreToCome(std::function<bool()> moreToCome) override;
    bool handleKey(const QKeyEvent &event) override;
    SleepTimer *sleepTimer() const { return m_sleep; }
    // The stretches of the loaded medium passed quickly as silence.
    QList<ListenedRange> skippedSilences() const { return m_medium.skipped; }
    void offerPlace(double seconds, const QString &timeText) override;
    bool takeOfferedPlace() override;
    QList<ListenedRange> listened() const override { return m_medium.listen.ranges(); }
    void setListened(const QList<ListenedRange> &ranges) override;
    void setMarks(const QList<Mark> &marks) override;
    void setRepeatStretch(std::optional<ListenedRange> stretch) override;

    // How the picture reaches the screen.
    enum class VideoOutput { None, Embedded, RenderApi };
    VideoOutput videoOutput() const { return m_output; }
    // Whether a picture can be shown at all (false: audio only).
    bool showsVideo() const { return m_output != VideoOutput::None; }

    // Why the last medium did not play, as the player's surface shows it
    // until the next medium loads.
    enum class MediaFailure { None, NotFound, Unplayable, Unreadable, Refused };
    MediaFailure failure() const { return m_failure; }

    // A property of the engine as text (for tests and diagnostics).
    QString engineProperty(const char *name) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    enum class Intent { Play, Pause, Stop };

    static void onWakeup(void *self);
    void drainEvents();
    void handleEvent(const mpv_event &event);
    void startLoad(quint64 serial);
    void issueLoad();
    // listen: the jump ends the stretch being played (not for a silence
    // passed quickly).
    void issueSeek(double seconds, bool listen = true);
    void mediaLoaded();
    void mediaEnded();
    void mediaFailed(MediaFailure why);
    void setState(int state);
    void setPause(bool paused);
    void finishEnded();
    void require() const;
    // Stops the engine and frees its handle: the render context first, then
    // the core, which takes its video output (and its window inside the
    // video area) down before it returns.
    void releaseEngine();

    // --- the medium's properties (MpvPlayerMedium.cpp) ---
    void observeProperties();
    void propertyChanged(std::uint64_t which, const mpv_event_property &property);
    // The card of the picture area: the medium's name, and why it did not
    // play; the video surface while a medium with a picture is loaded.
    void showCard();
    struct Pictures {
        bool picture = false; // video or cover art
        bool video = false;   // a moving picture
    };
    Pictures pictures() const;
    static MediaFailure whyNotLoaded(const QString &url);

    // --- the control bar, the mouse and keys, the menu (MpvPlayerInput.cpp) ---
    void wireControls();
    // The control bar: everything, or the position only (throttled while
    // playing: at most about four times a second, only while visible).
    void refreshControls();
    void refreshPosition();
    void showContextMenu(const QPoint &globalPos);
    void togglePlay();
    void guarded(void (MpvPlayer::*operation)());
    template <class Body> void guardedCall(Body &&body);
    void withdrawPlace();
    void refreshSleep();
    void userActed();
    // The title of the chapter that plays, in the control bar.
    void showChapter();
    // --- silence skipping (MpvPlayerSilence.cpp) ---
    void silenceReported(const mpv_node &metadata);
    // The sound fed to the silence detector begins anew at `at` (see
    // SilenceSkipper::restart).
    void restartSilence(double at);
    void applySilenceStep(const SilenceSkipper::Step &step);
    void pushEngineSpeed();
    void pushEngineVolume();

    Options m_options;
    VideoOutput m_output = VideoOutput::None;
    mpv_handle *m_mpv = nullptr;
    VideoSurface *m_surface = nullptr;
    VideoArea *m_videoArea = nullptr;
    PlayerControls *m_controls = nullptr;
    QPointer<QMenu> m_menu;
    std::atomic<bool> m_drainQueued{false};
    QTimer *m_positionTimer = nullptr; // the trailing update of a throttled position
    QElapsedTimer m_sincePosition;
    QTimer *m_clickTimer = nullptr; // a single click waits for a double-click
    QPointF m_clickAt;
    int m_clickShift = 0;
    QTimer *m_placeTimer = nullptr; // how long a place is offered
    std::optional<double> m_offeredPlace;
    QList<Mark> m_marks;
    SleepTimer *m_sleep = nullptr;
    double m_fade = 1.0; // the sleep timer's fade on top of the volume
    bool m_skipOn = false;
    SilenceSkipper m_silence;
    QElapsedTimer m_steady;        // the silence skipping's clock
    QTimer *m_passLimit = nullptr; // ends a pass whose end never comes
    std::optional<ListenedRange> m_repeat;

    QString m_url;
    QString m_target; // what mpv is given: an absolute path or a network URL
    int m_wheel = 0;  // wheel movement not yet turned into volume steps
    int m_state = Undefined;
    bool m_enabled = true;
    bool m_renderFailed = false; // no render context possible: video output is off
    double m_speed = 1.0;
    bool m_muted = false;
    int m_volume = 50;
    MediaFailure m_failure = MediaFailure::None;
    quint64 m_loadSerial = 0;     // counts setURL/closeMedia, to drop stale work
    std::int64_t m_activeId = -1; // playlist id of the last START_FILE seen
    std::uint64_t m_seekSerial = 0;

    // What belongs to the current medium; a new one starts from a fresh
    // state (setURL), and so does the end of one (closeMedia, a failure).
    struct MediumState {
        bool hasMedia = false;   // set by setURL
        bool loadIssued = false; // loadfile sent
        bool loaded = false;     // FILE_LOADED seen
        bool hasVideo = false;
        bool hasPicture = false;    // video or cover art
        bool videoDeferred = false; // loaded with video off: no render context yet
        bool waitingForRender = false;
        bool reloadOnPlay = false; // mpv dropped the medium at its end
        Intent intent = Intent::Play;
        std::int64_t id = 0; // mpv playlist id
        // The position written last, reported until mpv has landed there.
        std::optional<double> pending;
        bool seekOnLoad = false; // written after loadfile, before FILE_LOADED
        bool seekArmed = false;  // the last seek is queued: its PLAYBACK_RESTART ends it
        // The last seek has landed while the medium is not playing: pending
        // stays its target (mpv reports a paused audio position early by its
        // output buffer), and playing starts exactly there.
        bool landed = false;
        // The highest position reported while playing forward: a read never
        // goes below it (the engine's estimate dips when the speed changes,
        // and a silence passed may end a little back). A seek the user asks
        // for sets it.
        mutable double floor = 0.0;
        QList<Chapter> chapters;
        int chapter = -1;
        QList<Track> tracks;
        QVariantMap tags;
        ListenTracker listen;
        QList<ListenedRange> skipped;
        double silenceSaved = 0.0;
        mutable QImage cover; // once decoded
    };
    MediumState m_medium;
};
