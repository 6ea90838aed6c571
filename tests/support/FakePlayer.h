// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player/MediaPlayer.h"

class PictureInput;
class SleepTimer;

#include <QSet>
#include <QStringList>

#include <optional>

// The player double: follows the MediaPlayer contract with simulated time.
// Media are "playable" unless their name is listed as missing/unplayable;
// their length is set per name (default 600 s). Time passes only by advance().
// Its own widget is its picture: the mouse and the context menu are the real
// player's (PictureInput).
class FakePlayer : public MediaPlayer
{
    Q_OBJECT

public:
    explicit FakePlayer(QWidget *parent = nullptr);

    QString url() const override { return m_url; }
    void setURL(const QString &url) override;
    int playState() const override { return m_state; }
    void play() override;
    void pause() override;
    void stop() override;
    double currentPosition() const override;
    void setCurrentPosition(double seconds) override;
    bool hasCurrentMedia() const override { return m_loaded; }
    double duration() const override;
    int volume() const override { return m_volume; }
    void setVolume(int volume) override;
    bool playerEnabled() const override { return m_enabled; }
    void setPlayerEnabled(bool enabled) override;
    void closeMedia() override;
    bool hasVideo() const override { return m_loaded && m_video; }
    double speed() const override { return m_speed; }
    void setSpeed(double speed) override;
    bool muted() const override { return m_muted; }
    void setMuted(bool muted) override;
    QList<Chapter> chapters() const override { return m_loaded ? m_chapters : QList<Chapter>(); }
    int currentChapter() const override;
    void setCurrentChapter(int index) override;
    void offerPlace(double seconds, const QString &timeText,
                    std::optional<qint64> keptAtMs = std::nullopt) override;
    bool voiceBoost() const override { return m_boost; }
    void setVoiceBoost(bool on) override
    {
        if (on == m_boost) return;
        m_boost = on;
        emit voiceBoostChanged(on);
    }
    void setEndCut(double seconds) override { m_endCut = std::max(0.0, seconds); }
    double endCut() const override { return m_endCut; }
    // The pauses of the medium that the silence detector would know.
    void setPauseStarts(const QList<ListenedRange> &starts) { m_pauseStarts = starts; }
    bool takeOfferedPlace() override;
    QList<ListenedRange> listened() const override { return m_listen.ranges(); }
    void setListened(const QList<ListenedRange> &ranges) override { m_listen.setKnown(ranges); }
    void clearListened() override
    {
        m_listen.clear();
        emit listenedCleared();
    }
    void setMarks(const QList<Mark> &marks) override { m_marks = marks; }
    void setRepeatStretch(std::optional<ListenedRange> stretch) override { m_stretch = stretch; }
    // What the seek bar would show.
    QList<Mark> marks() const override { return m_marks; }
    std::optional<ListenedRange> repeatStretch() const override { return m_stretch; }
    void setFade(double factor) override { m_fade = factor; }
    double fade() const { return m_fade; }
    bool skipsSilence() const override { return m_skipSilence; }
    void setSkipSilence(bool on) override
    {
        if (on == m_skipSilence) return;
        m_skipSilence = on;
        emit silenceSkipChanged(on, 0.0);
    }
    bool sleepsAtEnd() const override;
    void setMoreToCome(std::function<bool()> moreToCome) override;
    bool handleKey(const QKeyEvent &event) override;
    // The sleep timer, on the double's simulated clock (advance() moves it).
    SleepTimer *sleepTimer() const { return m_sleep; }
    // The study log's wall clock at simulated time 0: 2026-12-01 09:00 UTC.
    static constexpr qint64 WallClockStartMs = 1796115600000;
    qint64 clockMs() const { return m_clockMs; }
    std::optional<double> offeredPlace() const override { return m_offered; }
    QString offeredPlaceText() const override { return m_offered ? m_offeredText : QString(); }
    void forgetOfferedPlace() override;

    // --- test controls ---
    // Lets simulated time pass: while playing, the position moves; at the
    // end of the medium the state becomes MediaEnded, then Stopped at 0.
    void advance(double seconds);
    // Completes a pending load (Transitioning -> Playing/Stopped) without
    // letting time pass.
    void finishLoading();
    // The component passes a silence quickly: the position moves on to `to`
    // by the component's own doing (silencePassed, no seeked).
    void passSilence(double to);
    void setMediaDuration(const QString &url, double seconds) { m_durations[url] = seconds; }
    void setDefaultDuration(double seconds) { m_defaultDuration = seconds; }
    void setUnplayable(const QString &url) { m_unplayable.insert(url); }
    void setVideo(bool video) { m_video = video; }
    void setChapters(const QList<Chapter> &chapters) { m_chapters = chapters; }
    // Forces a state, as an engine could report it (buffering, ready...).
    void forceState(int state) { setState(state); }
    // Makes the next calls of the named operation fail with an AppError
    // ("play", "pause", "stop", "setURL", "setCurrentPosition", "setVolume",
    // "currentPosition", "duration").
    void failOn(const QString &operation) { m_failing.insert(operation); }
    void clearFailures() { m_failing.clear(); }
    // Every call made, in order, e.g. "setURL:/a.mp4", "play", "pos=110.4".
    QStringList calls;
    // What reached the engine: the local path or network URL of every name
    // that the player did not refuse.
    QStringList engineLoads;

private:
    void setState(int state);
    void moveOn(double seconds);
    void check(const char *operation) const;

    QString m_url;
    int m_state = Undefined;
    bool m_loaded = false;
    bool m_loading = false;
    bool m_video = true;
    double m_position = 0.0;
    double m_duration = 0.0;
    double m_defaultDuration = 600.0;
    int m_volume = 50;
    bool m_enabled = true;
    bool m_startPaused = false;
    bool m_muted = false;
    double m_speed = 1.0;
    QList<Chapter> m_chapters;
    std::optional<double> m_offered;
    std::optional<qint64> m_offeredKeptAt;
    QString m_offeredText;
    QList<ListenedRange> m_pauseStarts;
    bool m_boost = false;
    double m_endCut = 0.0;
    ListenTracker m_listen;
    QList<Mark> m_marks;
    std::optional<ListenedRange> m_stretch;
    double m_fade = 1.0;
    bool m_skipSilence = false;
    SleepTimer *m_sleep = nullptr;
    PictureInput *m_input = nullptr;
    qint64 m_clockMs = 0;
    QHash<QString, double> m_durations;
    QSet<QString> m_unplayable;
    QSet<QString> m_failing;
};
