// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player/SeekBar.h"
#include "player/SleepTimer.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class MediaPlayer;
class QLabel;
class QTimer;
class QMenu;
class QSlider;
class QToolButton;

// The bar below the video: play, pause and stop buttons, the seek bar with
// the position and length, the button that offers a kept place, the menu of
// the study windows ("学習"), the speed, the mute button and the volume
// slider. It follows a player's signals
// (follow()) and reports what the user asks for; it never acts itself.
// Every control has an accessible name.
class PlayerControls : public QWidget
{
    Q_OBJECT

public:
    explicit PlayerControls(QWidget *parent = nullptr);

    // Shows what the player and its sleep timer report, from now on.
    void follow(MediaPlayer *player, SleepTimer *sleep);

    // Shows the position and length in seconds (length 0: unknown or nothing
    // loaded) and whether the medium is playing.
    void showProgress(double position, double length, bool hasMedia, bool playing);
    // Only the position, while playing.
    void showPosition(double position);
    void showVolume(int volume, bool muted);
    void showSpeed(double speed);
    // The button "続きから再生 (time)"; an empty text hides it.
    void offerPlace(const QString &timeText);
    // The sleep timer's button: its mode and the time left, if known.
    void showSleep(SleepTimer::Mode mode, int minutes, std::optional<qint64> remainingMs);
    // The silence skipping switch, and the time it saved in this medium.
    void showSilenceSkip(bool on, double savedSeconds);
    // "N秒戻しました" for RewoundShownMs: smart rewind went back.
    static constexpr int RewoundShownMs = 3000;
    void showRewound(double seconds);
    // The title of the chapter that plays, beside the time; empty: none.
    void showChapter(const QString &title);

    // The first control in the tab order, and the play button taking the
    // focus (a stopped medium: the keyboard starts it again from there).
    QWidget *firstControl() const;
    void focusPlay();
    // The focus ring of the bar's controls.
    static void paintFocusRing(QWidget *widget);

    SeekBar *seekBar() const { return m_seek; }

    // "m:ss" below an hour, "h:mm:ss" from an hour on.
    static QString timeText(double seconds, bool withHours);
    // A speed as the controls write it: "1.0x", "1.25x".
    static QString speedText(double speed);
    // The speeds the menus offer.
    static const QList<double> &speedChoices();
    // Fills a menu with the speed choices, the current one ticked, the
    // silence skipping switch and the voice boost switch.
    static void fillSpeedMenu(QMenu *menu, double current, bool skipping, bool boosting,
                              QObject *receiver, const std::function<void(double)> &choose,
                              const std::function<void(bool)> &skip,
                              const std::function<void(bool)> &boost);
    // Fills a menu with the sleep timer's choices, the current one ticked:
    // the end of the chapter when the medium has chapters, and "+15分"
    // while the timer runs.
    static void fillSleepMenu(QMenu *menu, SleepTimer::Mode mode, int minutes, bool chapters,
                              QObject *receiver,
                              const std::function<void(SleepTimer::Mode, int)> &choose,
                              const std::function<void()> &extend);

signals:
    void playRequested();
    void pauseRequested();
    void stopRequested();
    void sleepExtendRequested();
    void seekRequested(double seconds);
    void volumeRequested(int volume);
    void muteRequested(bool muted);
    void speedRequested(double speed);
    void skipSilenceRequested(bool on);
    void voiceBoostRequested(bool on);
    void sleepRequested(SleepTimer::Mode mode, int minutes);
    void placeRequested();
    // Esc on the offer's button: the place is not wanted.
    void placeDismissRequested();
    // A recorded position's tick was clicked: go there and play.
    void markRequested(double seconds);
    // Esc on a control of the bar: the focus goes back to the picture.
    void leaveRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void makeTransport();
    void makeTools();
    void layOut();
    void seekToSlider();
    void showTimes(double position);
    // From the player: everything, or the position (while playing at most
    // about four times a second, and only while visible).
    void refreshAll();
    void refreshPosition();
    void refreshMarks();

    QPointer<MediaPlayer> m_player;
    QPointer<SleepTimer> m_sleepTimer;
    QTimer *m_positionTimer = nullptr; // the trailing update of a throttled position
    QElapsedTimer m_sincePosition;

    QToolButton *m_play = nullptr;
    QToolButton *m_pause = nullptr;
    QToolButton *m_stop = nullptr;
    SeekBar *m_seek = nullptr;
    QLabel *m_time = nullptr;
    QLabel *m_chapter = nullptr;
    QToolButton *m_place = nullptr;
    QLabel *m_placeSource = nullptr;
    QToolButton *m_speed = nullptr;
    QMenu *m_speedMenu = nullptr;
    QToolButton *m_sleep = nullptr;
    QMenu *m_sleepMenu = nullptr;
    QToolButton *m_study = nullptr; // "学習": the player's study actions
    QMenu *m_studyMenu = nullptr;
    QLabel *m_saved = nullptr;
    QLabel *m_rewound = nullptr;
    QTimer *m_rewoundTimer = nullptr;
    QToolButton *m_mute = nullptr;
    QSlider *m_volume = nullptr;
    std::optional<bool> m_mutedShown; // the picture the mute button has
    double m_length = 0.0;
    double m_currentSpeed = 1.0;
    bool m_skipping = false;
    bool m_boosting = false;
    SleepTimer::Mode m_sleepMode = SleepTimer::Mode::Off;
    int m_sleepMinutes = 0;
};
