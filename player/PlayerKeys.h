// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class MediaPlayer;
class QKeyEvent;

// The player component's own keys:
// - Left / Right: 5 s back / forward; with Shift 1 s. A playing medium goes
//   on playing, a paused one stays paused; in other states nothing moves.
// - Up / Down: volume +5 / -5. M: mute on and off.
// - F: full screen on and off (Esc leaves it, as the video area has it).
// - Page Up / Page Down: the previous / next chapter.
// - "[" / "]": speed -0.1 / +0.1; Backspace: speed 1.0.
// - R: continue at the place on offer, while one is.
// - V: voice boost on and off.
// - T: the transcript window (MediaPlayer::transcriptRequested).
// - L: the course shelf (MediaPlayer::shelfRequested).
// Returns true when the key is one of these; while the player is disabled
// they are taken and ignored. Other modifiers than Shift (and the keypad's)
// leave the key alone.
bool applyPlayerKey(MediaPlayer &player, const QKeyEvent &event);

// The listening settings as the user switches them (a key, a menu, the
// control bar): set on the player, and what they became told on the
// picture (MediaPlayer::tell): "速度 1.7x", "声を聞きやすく: オン",
// "無音をスキップ: オフ".
void userSetSpeed(MediaPlayer &player, double speed);
void userSetVoiceBoost(MediaPlayer &player, bool on);
void userSetSkipSilence(MediaPlayer &player, bool on);
