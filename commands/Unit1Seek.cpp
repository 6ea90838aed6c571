// SPDX-License-Identifier: GPL-3.0-or-later
// The eight seek commands: forward and back by 60, 30, 10 and 5 seconds,
// keeping the player in the state they found it in (a jump past the end of a
// playing medium ends it). They ignore the lock of the player's controls.
#include "app/Unit1.h"

#include "player/MediaPlayer.h"

void TForm1::seekBy(double step)
{
    runHandler(*this, nullptr, [&] {
        MediaPlayer *player = WindowsMediaPlayer1;
        if (player->playState() == MediaPlayer::Playing) {
            const double p = player->currentPosition();
            player->setCurrentPosition(p + step);
            // A jump past the end ended the medium: it is not started again.
            if (player->playState() == MediaPlayer::Playing) player->play();
        }
        // The state is read again: a command that found the medium playing
        // moves the position once.
        if (player->playState() == MediaPlayer::Paused) {
            const double p = player->currentPosition();
            player->setCurrentPosition(p + step);
            player->pause();
        }
    });
}

void TForm1::N60A1Click()
{
    seekBy(60);
}
void TForm1::N30B1Click()
{
    seekBy(30);
}
void TForm1::N10C1Click()
{
    seekBy(10);
}
void TForm1::N5D1Click()
{
    seekBy(5);
}
void TForm1::N60E1Click()
{
    seekBy(-60);
}
void TForm1::N30F1Click()
{
    seekBy(-30);
}
void TForm1::N10G1Click()
{
    seekBy(-10);
}
void TForm1::N5H1Click()
{
    seekBy(-5);
}
