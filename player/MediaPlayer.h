// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/ListenedRanges.h"
#include "player/PlayState.h"
#include "player/PlayerKeys.h"
#include "player/StretchRecorder.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QString>
#include <QVariantMap>
#include <QWidget>

#include <algorithm>
#include <exception>
#include <functional>
#include <optional>

class QAction;
class QKeyEvent;

// The player component hosted by the main window. The windows know only these
// operations; the libmpv engine (MpvPlayer) and the test double (FakePlayer)
// both follow the same contract:
//
// - setURL() loads a medium and starts playing it by itself; the state is
//   Transitioning until the medium is loaded, then Playing.
// - setCurrentPosition() written right after setURL() and before play() is
//   honoured. A read right after a write returns the value written, until the
//   engine has landed there. Targets below 0 land at 0; targets beyond the end
//   do not fail.
// - stop() keeps the medium loaded, at position 0, state Stopped; closeMedia()
//   releases it: afterwards hasCurrentMedia() is false.
// - The end of a medium is reported as MediaEnded and then Stopped, with the
//   medium still loaded; play() then starts it again from 0.
// - volume() is 0..100; values outside are clamped.
// - A missing or unplayable medium emits error(); it never crashes.
// - A call that the engine refuses raises AppError.
// - Beyond the hosted control: the playback speed (0.5 to 3.0, pitch kept),
//   mute, the medium's chapters, tracks and tags. Every change of position
//   that a caller asks for while a medium is loaded is announced by seeked()
//   at once, one signal per call; loading a medium announces none.
class MediaPlayer : public QWidget, public PlayStates
{
    Q_OBJECT

public:
    explicit MediaPlayer(QWidget *parent = nullptr) : QWidget(parent) {}
    ~MediaPlayer() override = default;

    // URL
    virtual QString url() const = 0;
    virtual void setURL(const QString &url) = 0;
    // playState
    virtual int playState() const = 0;
    // controls.play / pause / stop
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    // controls.currentPosition, in seconds
    virtual double currentPosition() const = 0;
    virtual void setCurrentPosition(double seconds) = 0;
    // currentMedia (absent while nothing is loaded) and currentMedia.duration
    virtual bool hasCurrentMedia() const = 0;
    virtual double duration() const = 0;
    // settings.volume, 0..100
    virtual int volume() const = 0;
    virtual void setVolume(int volume) = 0;
    // enabled: false makes the component's own controls, and its reactions to
    // mouse and keys, ignore the user.
    virtual bool playerEnabled() const = 0;
    virtual void setPlayerEnabled(bool enabled) = 0;
    // close: releases the medium
    virtual void closeMedia() = 0;
    // The program ends: the engine stops and lets go of the window it draws
    // into, while that window still exists. Called once the close is
    // allowed; afterwards every operation that needs the engine raises
    // AppError. Safe to call more than once.
    virtual void shutdown() {}

    // True when the loaded medium has a video track (used to hold off the
    // screen saver only while a video plays).
    virtual bool hasVideo() const { return false; }

    // The playback speed, MinSpeed to MaxSpeed (values outside are clamped),
    // with the pitch kept. It holds from one medium to the next.
    static constexpr double MinSpeed = 0.5;
    static constexpr double MaxSpeed = 3.0;
    virtual double speed() const { return 1.0; }
    virtual void setSpeed(double speed) { Q_UNUSED(speed); }
    virtual bool muted() const { return false; }
    virtual void setMuted(bool muted) { Q_UNUSED(muted); }

    // The loaded medium's chapters, in order, and the current one (-1: none).
    struct Chapter {
        double time = 0.0;
        QString title;
    };
    virtual QList<Chapter> chapters() const { return {}; }
    virtual int currentChapter() const { return -1; }
    virtual void setCurrentChapter(int index) { Q_UNUSED(index); }

    // The loaded medium's audio and subtitle tracks (subtitle files beside
    // it included) and the choice of one; id 0 chooses no subtitles.
    struct Track {
        enum Type { Audio, Subtitle } type = Audio;
        qint64 id = 0;
        QString language;
        QString title;
        bool selected = false;
        bool external = false;
        QString codec;        // the engine's name of its format ("subrip", "mov_text", ...)
        QString externalFile; // the file beside the medium it was read from, if any
    };
    virtual QList<Track> tracks() const { return {}; }
    virtual void selectTrack(Track::Type type, qint64 id)
    {
        Q_UNUSED(type);
        Q_UNUSED(id);
    }

    // A fade (0 to 1) of the sound on top of the volume setting, which it
    // leaves as it is: volume() and the settings file never see it.
    virtual void setFade(double factor) { Q_UNUSED(factor); }
    // Stretches of silence are passed quickly (the engine's silence
    // detection); the time it saved in the loaded medium, in seconds.
    virtual bool skipsSilence() const { return false; }
    virtual void setSkipSilence(bool on) { Q_UNUSED(on); }
    virtual double silenceSaved() const { return 0.0; }
    // The sleep timer of the component holds the loaded medium at its end:
    // the playlist must not open its next entry.
    virtual bool sleepsAtEnd() const { return false; }
    // Tells the component whether the playlist will open another entry after
    // the loaded medium (for the sleep timer's "at the end of the playlist").
    virtual void setMoreToCome(std::function<bool()> moreToCome) { Q_UNUSED(moreToCome); }

    // The medium's tags as it names them: "title", "artist", "album".
    virtual QVariantMap tags() const { return {}; }
    // The medium's cover art (an audio medium's embedded picture); null when
    // it has none, or it is not decoded yet.
    virtual QImage coverArt() const { return {}; }

    // The component's own keys while the main window is active and no text
    // field has the focus (player/PlayerKeys.h); true when the key is one of
    // them. While the component is disabled they ignore the user.
    virtual bool handleKey(const QKeyEvent &event) { return applyPlayerKey(*this, event); }

    // Offers to continue the loaded medium at a kept place: the control bar
    // shows a button with the time text for a while; the offer itself stands
    // while the medium stays loaded, until it is taken (the button, the key R
    // or the context menu: it moves there and plays), dismissed
    // (forgetOfferedPlace: Esc on the button, the context menu) or played
    // past.
    static constexpr int PlaceOfferMs = 15000;
    // keptAtMs: when the place was kept (UTC ms), if known: taking it goes
    // on a little earlier after a long time (smart rewind).
    virtual void offerPlace(double seconds, const QString &timeText,
                            std::optional<qint64> keptAtMs = std::nullopt)
    {
        Q_UNUSED(seconds);
        Q_UNUSED(timeText);
        Q_UNUSED(keptAtMs);
    }
    // Takes the place on offer; false when none is.
    virtual bool takeOfferedPlace() { return false; }
    // The time text of the place on offer; empty when none is.
    virtual QString offeredPlaceText() const { return {}; }
    // The place on offer, while the offer stands.
    virtual std::optional<double> offeredPlace() const { return std::nullopt; }
    // The user dismisses the place on offer (offeredPlaceForgotten tells the
    // host, which then keeps it no longer).
    virtual void forgetOfferedPlace() {}

    // The stretches of the loaded medium that have been played (at any
    // speed; seeking over a stretch does not mark it), merged, with those of
    // earlier runs given by setListened(). The seek bar shades them.
    virtual QList<ListenedRange> listened() const { return {}; }
    virtual void setListened(const QList<ListenedRange> &ranges) { Q_UNUSED(ranges); }
    // The user clears the record of what was played of the loaded medium;
    // listenedCleared() tells the host.
    virtual void clearListened() {}
    // Ticks on the seek bar for recorded positions, with their comments; a
    // click on one moves there and plays.
    struct Mark {
        double time = 0.0;
        QString comment;
    };
    virtual void setMarks(const QList<Mark> &marks) { Q_UNUSED(marks); }
    virtual QList<Mark> marks() const { return {}; }
    // The A-B repeat's stretch, drawn on the seek bar while it repeats.
    virtual void setRepeatStretch(std::optional<ListenedRange> stretch) { Q_UNUSED(stretch); }
    virtual std::optional<ListenedRange> repeatStretch() const { return std::nullopt; }

    // Voice boost: the speech is evened out and made clearer (loudness
    // levelled, low rumble cut, presence lifted, peaks limited). It holds
    // from one medium to the next.
    virtual bool voiceBoost() const { return false; }
    virtual void setVoiceBoost(bool on) { Q_UNUSED(on); }

    // The loaded medium ends this many seconds before its real end (a
    // course's outro): reaching that point is its end, as MediaEnded. A new
    // URL clears it; set it right after setURL().
    virtual void setEndCut(double seconds) { Q_UNUSED(seconds); }
    virtual double endCut() const { return 0.0; }

    // Makes ready, without waiting, what showing video needs, so that the
    // first medium with video starts as fast as the next. Called once the
    // window is on screen; a component that needs nothing ignores it.
    virtual void prepareVideo() {}

    // The medium set by setURL() goes to the engine now, with the position
    // and the play or stop given since, rather than on the next turn of the
    // event loop: what the caller does next does not hold the sound up.
    virtual void loadNow() {}

    // Smart rewind: play() after a pause of a minute or more goes on a
    // little earlier (SmartRewind), and so does the place on offer after a
    // long time; rewound() tells how far. A position that a caller sets
    // while paused is gone to exactly: the pause no longer counts.
    void setRewindAfterPause(bool on) { m_rewindOn = on; }
    bool rewindsAfterPause() const { return m_rewindOn; }
    // The clock smart rewind measures pauses and the age of a kept place
    // on, UTC ms since 1970 (the system's unless set).
    void setRewindClock(std::function<qint64()> nowMs) { m_rewindClock = std::move(nowMs); }
    qint64 rewindNowMs() const;

    // The starts of the transcript's lines that match a search, drawn as thin
    // marks on the seek bar while the search is on (empty: none).
    void setFoundTimes(QList<double> times)
    {
        m_foundTimes = std::move(times);
        emit marksChanged();
    }
    const QList<double> &foundTimes() const { return m_foundTimes; }

    // The program's own items in the picture's context menu (PictureInput:
    // its windows and tools), after the component's own ones, before full
    // screen; the actions stay the caller's.
    void addMenuAction(QAction *action) { m_menuActions << action; }
    const QList<QAction *> &menuActions() const { return m_menuActions; }
    // The program's study windows, the entries of the control bar's "学習"
    // menu in the order added (an action may also be a menu item); the
    // actions stay the caller's.
    void addStudyAction(QAction *action) { m_studyActions << action; }
    // Where the place on offer was kept when that was another computer
    // ("ノートPC で 0:41:10 まで"; empty: here), shown beside the offer.
    void setPlaceSource(const QString &text)
    {
        m_placeSource = text;
        emit placeSourceChanged(text);
    }
    const QString &placeSource() const { return m_placeSource; }
    const QList<QAction *> &studyActions() const { return m_studyActions; }

    // A short word on the picture for a moment, also told to screen
    // readers: what the user just switched ("速度 1.7x").
    void tell(const QString &text) { emit told(text); }

    // With nothing loaded the picture says how to begin (hint) and may offer
    // the last recording (offer: the button's caption; empty: none); the
    // user taking it is startOfferTaken().
    void setStartHint(const QString &hint, const QString &offer)
    {
        m_startHint = hint;
        m_startOffer = offer;
        emit startHintChanged();
    }
    const QString &startHint() const { return m_startHint; }
    const QString &startOffer() const { return m_startOffer; }

    // The study log: the stretches really played come out by stretchPlayed,
    // placed on the calendar by the wall clock (UTC ms) and their time spent
    // measured on the steady one (ms from any start); the system's unless
    // set.
    void setStudyClock(std::function<qint64()> wallMs, std::function<qint64()> steadyMs)
    {
        m_studyClock = std::move(wallMs);
        m_studySteady = std::move(steadyMs);
    }
    // The stretch playing now, as it stands (nothing when none).
    std::optional<Stretch> openStretch() const { return m_recorder.current(); }
    // Ends the stretch playing now (the program closes).
    void endStretch() { logStopped(m_recorder.open() ? safePosition() : 0.0); }

protected:
    // For the implementations: the medium plays at position (each report of
    // the position while playing); silence skipping passed to `to`; playback
    // stopped moving on (a pause, a stop, the end, a seek asked for, a change
    // of speed or medium), at position where it stood before.
    void logPlaying(double position)
    {
        if (auto closed = m_recorder.playing(url(), position, speed(), studyNow()))
            emit stretchPlayed(*closed);
    }
    // The medium began to move from `from` (a load's start, where it sat
    // while the engine got ready) and plays at position now: the stretch
    // starts at `from`, as long ago as the speed took to get here.
    void logRolling(double from, double position)
    {
        const StretchRecorder::Now now = studyNow();
        const double speed = this->speed() > 0 ? this->speed() : 1.0;
        const auto back = static_cast<qint64>(std::max(0.0, position - from) / speed * 1000.0);
        if (auto closed =
                m_recorder.playing(url(), from, speed, {now.wallMs - back, now.steadyMs - back}))
            emit stretchPlayed(*closed);
        logPlaying(position);
    }
    void logPassed(double to, double skipped) { m_recorder.passed(to, skipped, studyNow()); }
    void logStopped(double position)
    {
        if (auto closed = m_recorder.stop(position, studyNow())) emit stretchPlayed(*closed);
    }

signals:
    // OnClick: nButton 1 is the left button, 2 the right, 4 the middle.
    void clicked(int nButton, int nShiftState, double fX, double fY);
    // OnError
    void error();
    // OnDisconnect
    void disconnected(int result);
    // The play state changed (for the desktop integration and the journal).
    void playStateChanged(int state);
    // A change of position that a caller asked for; the position is the
    // target.
    void seeked(double position);
    // The component itself moved the position: the end of a silence passed
    // quickly. No action of the user's.
    void silencePassed(double position);
    // The position moved: about once a second while playing, and at once
    // when a caller moves it. The stretches listened to change with it.
    void positionChanged(double position);
    // The recorded positions or the repeated stretch to show changed.
    void marksChanged();
    // Silence skipping switched, or the time it saved in the medium changed.
    void silenceSkipChanged(bool on, double savedSeconds);
    // The control bar's button for the place on offer shows (its time
    // text), or no longer (empty); the offer may stand longer.
    void placeOfferChanged(const QString &timeText);
    void placeSourceChanged(const QString &text);
    // The user dismissed the place on offer.
    void offeredPlaceForgotten();
    // The component's own controls follow the user, or ignore them.
    void enabledChanged(bool enabled);
    void speedChanged(double speed);
    void volumeChanged(int volume, bool muted);
    // The duration, chapters, tracks or tags of the medium became known or
    // changed.
    void mediumInfoChanged();
    // The user cleared the record of what was played of this medium.
    void listenedCleared();
    // Smart rewind went back this many seconds on going on.
    void rewound(double seconds);
    // Voice boost was switched.
    void voiceBoostChanged(bool on);
    // The user asked for full screen (double-click on the video) or to leave
    // it (Esc).
    void fullScreenRequested(bool on);
    // The sleep timer paused playback at position, where its fade began
    // agoMs ago.
    void fellAsleep(double position, qint64 agoMs);
    // A stretch of the medium was played through (for the study log).
    void stretchPlayed(const Stretch &stretch);
    // The user asked for the transcript of the medium (the key T).
    void transcriptRequested();
    // The user asked for the course shelf (the key L).
    void shelfRequested();
    // A word for the picture (tell()).
    void told(const QString &text);
    // The hint or the offer shown with nothing loaded changed; the user took
    // the offer.
    void startHintChanged();
    void startOfferTaken();

protected:
    // For the components: playback was paused (from playing) now; a caller
    // set the position or another medium came (the pause no longer counts).
    void notePause();
    void forgetPause() { m_pausedAtMs.reset(); }
    // Where play() goes on from `position` after the pause noted, with the
    // silences known in the medium; nothing when it goes on where it is.
    // Forgets the pause.
    std::optional<double> rewindAfterPause(double position, const QList<ListenedRange> &silences);
    // Where a place kept at keptAtMs is gone on from.
    double rewindPlace(double place, std::optional<qint64> keptAtMs) const;

private:
    double safePosition() const
    {
        try {
            return currentPosition();
        } catch (const std::exception &) {
            return -1.0;
        }
    }
    QList<QAction *> m_menuActions;
    QList<QAction *> m_studyActions;
    QString m_placeSource;
    QString m_startHint;
    QString m_startOffer;
    StretchRecorder m_recorder;
    std::function<qint64()> m_studyClock = [] { return QDateTime::currentMSecsSinceEpoch(); };
    std::function<qint64()> m_studySteady = [] { return steadyNowMs(); };
    StretchRecorder::Now studyNow() const { return {m_studyClock(), m_studySteady()}; }
    static qint64 steadyNowMs();
    bool m_rewindOn = true;
    std::function<qint64()> m_rewindClock;
    std::optional<qint64> m_pausedAtMs;
    QList<double> m_foundTimes;
};
