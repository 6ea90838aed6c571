// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The player's play states (playState) with the numbers the hosted control
// reports; the program tests 1 stopped, 2 paused and 3 playing. A base of
// MediaPlayer, so that they read MediaPlayer::Playing, and usable where the
// player itself is not (the resume journal).
struct PlayStates {
    enum PlayState {
        Undefined = 0,
        Stopped = 1,
        Paused = 2,
        Playing = 3,
        ScanForward = 4,
        ScanReverse = 5,
        Buffering = 6,
        Waiting = 7,
        MediaEnded = 8,
        Transitioning = 9,
        Ready = 10,
        Reconnecting = 11,
    };
};
