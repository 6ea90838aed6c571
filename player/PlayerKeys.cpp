// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/PlayerKeys.h"

#include "player/MediaPlayer.h"
#include "player/PlayerControls.h"

#include <QKeyEvent>

#include <algorithm>
#include <cmath>

namespace
{

constexpr double SpeedStep = 0.1;
constexpr int VolumeStep = 5;

void seekBy(MediaPlayer &player, double step)
{
    const int state = player.playState();
    if (state != MediaPlayer::Playing && state != MediaPlayer::Paused) return;
    player.setCurrentPosition(std::max(0.0, player.currentPosition() + step));
}

void stepChapter(MediaPlayer &player, int direction)
{
    const int count = static_cast<int>(player.chapters().size());
    if (count == 0) return;
    const int target = player.currentChapter() + direction;
    if (target >= 0 && target < count) player.setCurrentChapter(target);
}

QString switchText(const QString &name, bool on)
{
    return name + (on ? QStringLiteral(": オン") : QStringLiteral(": オフ"));
}

} // namespace

bool applyPlayerKey(MediaPlayer &player, const QKeyEvent &event)
{
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    if (mods & ~Qt::ShiftModifier) return false;
    const bool shift = mods & Qt::ShiftModifier;
    const int key = event.key();
    const bool ours =
        key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down ||
        key == Qt::Key_M || key == Qt::Key_F || key == Qt::Key_PageUp || key == Qt::Key_PageDown ||
        key == Qt::Key_BracketLeft || key == Qt::Key_BracketRight || key == Qt::Key_Backspace ||
        key == Qt::Key_R || key == Qt::Key_V || key == Qt::Key_T || key == Qt::Key_L;
    if (!ours) return false;
    if (!player.playerEnabled()) return true;
    switch (key) {
    case Qt::Key_Left:
        seekBy(player, shift ? -1.0 : -5.0);
        break;
    case Qt::Key_Right:
        seekBy(player, shift ? 1.0 : 5.0);
        break;
    case Qt::Key_Up:
        player.setVolume(player.volume() + VolumeStep);
        break;
    case Qt::Key_Down:
        player.setVolume(player.volume() - VolumeStep);
        break;
    case Qt::Key_M:
        player.setMuted(!player.muted());
        break;
    case Qt::Key_F:
        emit player.fullScreenRequested(!player.window()->isFullScreen());
        break;
    case Qt::Key_PageUp:
        stepChapter(player, -1);
        break;
    case Qt::Key_PageDown:
        stepChapter(player, 1);
        break;
    case Qt::Key_BracketLeft:
        userSetSpeed(player, player.speed() - SpeedStep);
        break;
    case Qt::Key_BracketRight:
        userSetSpeed(player, player.speed() + SpeedStep);
        break;
    case Qt::Key_Backspace:
        userSetSpeed(player, 1.0);
        break;
    case Qt::Key_R:
        player.takeOfferedPlace();
        break;
    case Qt::Key_V:
        userSetVoiceBoost(player, !player.voiceBoost());
        break;
    case Qt::Key_T:
        emit player.transcriptRequested();
        break;
    case Qt::Key_L:
        emit player.shelfRequested();
        break;
    }
    return true;
}

void userSetSpeed(MediaPlayer &player, double speed)
{
    player.setSpeed(speed);
    player.tell(QStringLiteral("速度 ") + PlayerControls::speedText(player.speed()));
}

void userSetVoiceBoost(MediaPlayer &player, bool on)
{
    player.setVoiceBoost(on);
    player.tell(switchText(QStringLiteral("声を聞きやすく"), player.voiceBoost()));
}

void userSetSkipSilence(MediaPlayer &player, bool on)
{
    player.setSkipSilence(on);
    player.tell(switchText(QStringLiteral("無音をスキップ"), player.skipsSilence()));
}
