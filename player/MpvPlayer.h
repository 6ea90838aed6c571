// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/ListenedRanges.h"
#include "player/MediaPlayer.h"
#include "player/MediumMachine.h"
#include "player/MpvEngine.h"

#include <optional>

class PictureInput;
class PlayerControls;
class SilencePasser;
class SleepTimer;
class QTimer;
class VideoArea;

using MpvPlayerOptions = MpvEngine::Options;

// The player component on libmpv. The engine (MpvEngine) owns the handle
// and turns its events into signals; the medium's rules live in a
// MediumMachine, which this class feeds with the caller's requests and the
// engine's events and whose commands it carries out. Silence skipping and
// the sleep timer are small classes beside it; the control bar follows its
// signals, and the mouse and the context menu of the picture are a
// PictureInput's. The position written last is reported until the engine
// has landed there.
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
    int playState() const override { return m_machine.state(); }
    void play() override;
    void pause() override;
    void stop() override;
    double currentPosition() const override;
    void setCurrentPosition(double seconds) override;
    bool hasCurrentMedia() const override { return m_machine.hasMedium(); }
    double duration() const override;
    int volume() const override;
    void setVolume(int volume) override;
    bool playerEnabled() const override { return m_enabled; }
    void setPlayerEnabled(bool enabled) override;
    void closeMedia() override;
    void shutdown() override;
    bool hasVideo() const override { return hasCurrentMedia() && m_info.hasVideo; }

    double speed() const override { return m_speed; }
    void setSpeed(double speed) override;
    bool muted() const override { return m_muted; }
    void setMuted(bool muted) override;
    QList<Chapter> chapters() const override { return m_info.chapters; }
    int currentChapter() const override { return m_info.chapter; }
    void setCurrentChapter(int index) override;
    QList<Track> tracks() const override { return m_info.tracks; }
    void selectTrack(Track::Type type, qint64 id) override;
    QVariantMap tags() const override { return m_info.tags; }
    QImage coverArt() const override;
    void setFade(double factor) override;
    bool skipsSilence() const override;
    void setSkipSilence(bool on) override;
    double silenceSaved() const override;
    bool sleepsAtEnd() const override;
    void setMoreToCome(std::function<bool()> moreToCome) override;
    bool handleKey(const QKeyEvent &event) override;
    SleepTimer *sleepTimer() const { return m_sleep; }
    // The stretches of the loaded medium passed quickly as silence.
    QList<ListenedRange> skippedSilences() const;
    void offerPlace(double seconds, const QString &timeText,
                    std::optional<qint64> keptAtMs = std::nullopt) override;
    bool voiceBoost() const override { return m_boost; }
    void setEndCut(double seconds) override;
    double endCut() const override { return m_endCut; }
    void prepareVideo() override;
    void loadNow() override;
    void setVoiceBoost(bool on) override;
    bool takeOfferedPlace() override;
    QString offeredPlaceText() const override { return m_offeredText; }
    std::optional<double> offeredPlace() const override { return m_offeredPlace; }
    void forgetOfferedPlace() override;
    QList<ListenedRange> listened() const override { return m_listen.ranges(); }
    void setListened(const QList<ListenedRange> &ranges) override;
    void clearListened() override;
    QList<Mark> marks() const override { return m_marks; }
    void setMarks(const QList<Mark> &marks) override;
    std::optional<ListenedRange> repeatStretch() const override { return m_repeat; }
    void setRepeatStretch(std::optional<ListenedRange> stretch) override;

    using VideoOutput = MpvEngine::VideoOutput;
    VideoOutput videoOutput() const { return m_engine->videoOutput(); }
    // Whether a picture can be shown at all (false: audio only).
    bool showsVideo() const { return videoOutput() != VideoOutput::None; }

    // Why the last medium did not play, as the player's surface shows it
    // until the next medium loads.
    using MediaFailure = MediumMachine::Failure;
    MediaFailure failure() const { return m_machine.failure(); }

    // Whether the engine runs yet: it starts with the first call that needs
    // it, or after prepareVideo() (for tests and diagnostics).
    bool engineRunning() const { return m_engine->running(); }
    // A property of the engine as text (for tests and diagnostics).
    QString engineProperty(const char *name) const { return m_engine->getString(name); }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // --- the medium's machine and what its commands do (MpvPlayer.cpp) ---
    void feed(const MediumMachine::Event &event);
    void carryOut(const MediumMachine::Command &command);
    void startLoad(MediumMachine::Generation generation);
    void warmPicturePathLater();
    void sendLoad(const medium::commands::Load &load);
    void sendSeek(double seconds, MediumMachine::SeekSerial serial, bool listen);
    void forgetMedium();
    void endListening();
    double playingEnd() const;
    // The subtitle files beside a local medium, a huge one left out.
    void addSidecars();
    void wireEngine();
    void require() const;

    // --- the medium's properties (MpvPlayerMedium.cpp) ---
    void followEngineInfo();
    // The card of the picture area: the medium's name, and why it did not
    // play; the video surface while a medium with a picture is loaded.
    void showCard();
    void afterOpening();
    static MediaFailure whyNotLoaded(const QString &url);
    void pushEngineSpeed();
    void pushEngineVolume();
    // The engine's audio filters, made whole from what is wanted.
    struct AudioFilters {
        bool silence = false; // the silence detector
        bool stretch = false; // the time stretching (a speed other than 1)
        bool boost = false;   // voice boost
        bool operator==(const AudioFilters &) const = default;
    };
    static QByteArray audioFilterChain(const AudioFilters &wanted, const QByteArray &own);
    void setAudioFilters(AudioFilters wanted);

    // --- the position (MpvPlayerPosition.cpp) ---
    // Where the engine stands in the loaded medium, as it tells it
    // ("time-pos"); nothing when it cannot tell (error: its error code).
    std::optional<double> enginePosition(int *error = nullptr) const;

    // --- the control bar and the keys (MpvPlayerInput.cpp) ---
    void wireControls();
    void withdrawPlace();
    // Playback went on past the place on offer: it is offered no more.
    void passOffer(double position);

    MpvEngine *m_engine = nullptr;
    MediumMachine m_machine;
    VideoArea *m_videoArea = nullptr;
    PlayerControls *m_controls = nullptr;
    SilencePasser *m_silence = nullptr;
    SleepTimer *m_sleep = nullptr;
    PictureInput *m_input = nullptr;
    QTimer *m_placeTimer = nullptr; // how long the control bar offers a place
    std::optional<double> m_offeredPlace;
    std::optional<qint64> m_offeredKeptAt;
    QList<ListenedRange> m_pauseStarts; // where the medium's pauses begin, as heard
    bool m_boost = false;
    AudioFilters m_filters;      // as the engine runs them
    double m_endCut = 0.0;       // the medium ends this long before its end
    double m_endCutSent = 0.0;   // the end cut that went with the load
    bool m_videoWanted = false;  // prepareVideo() was called
    bool m_opening = false;      // within setURL() of a medium that loads
    bool m_updateQueued = false; // afterOpening() is on its way
    bool m_sidecarsDue = false;  // loaded: its subtitle files follow once it plays
    QString m_offeredText;
    QList<Mark> m_marks;
    std::optional<ListenedRange> m_repeat;

    QString m_url;
    QString m_target; // what the engine is given: an absolute path or a network URL
    bool m_enabled = true;
    double m_speed = 1.0;
    bool m_muted = false;
    int m_volume = 50;
    double m_fade = 1.0; // the sleep timer's fade on top of the volume

    // What the engine tells of the loaded medium; a new medium starts afresh.
    struct Info {
        bool hasVideo = false;
        bool hasPicture = false; // video or cover art
        QList<Chapter> chapters;
        int chapter = -1;
        QList<Track> tracks;
        QVariantMap tags;
        mutable QImage cover; // once decoded
    };
    Info m_info;
    ListenTracker m_listen;
    double m_lastPlayed = -1.0; // the last position reported while playing
    // Where the load started the medium, until its position moves on from
    // there (the medium really plays).
    std::optional<double> m_rollFrom;
    QByteArray endOption() const;
    double endOfPlay() const;
    // The highest position reported while playing forward: a read never goes
    // below it (the engine's estimate dips when the speed changes, and a
    // silence passed may end a little back). A seek the caller asks for sets
    // it.
    mutable double m_floor = 0.0;
};
