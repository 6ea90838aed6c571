// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player/PlayState.h"

#include <QString>
#include <QWidget>

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

    // True when the loaded medium has a video track (used to hold off the
    // screen saver only while a video plays).
    virtual bool hasVideo() const { return false; }

signals:
    // OnClick: nButton 1 is the left button, 2 the right, 4 the middle.
    void clicked(int nButton, int nShiftState, double fX, double fY);
    // OnError
    void error();
    // OnDisconnect
    void disconnected(int result);
    // The play state changed (for the desktop integration and the journal).
    void playStateChanged(int state);
    // The user asked for full screen (double-click on the video) or to leave
    // it (Esc).
    void fullScreenRequested(bool on);
};
