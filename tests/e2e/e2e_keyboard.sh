#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The control bar from the keyboard: Tab from the picture reaches every
# control of the bar (read through the AT-SPI focus), Enter presses a focused
# button, a stopped medium leaves the focus on the play button, and Esc
# takes the focus back to the picture.
source "$(dirname "$0")/lib.sh"
start_display
start_bus
make_clip "$E2E_DIR/talk.mp4" 120

start_program "$E2E_DIR/talk.mp4"
win=$(wait_window "talk - Pelmora" 30) || fail "no main window"
wait_mpris
sleep 1
status() { mpris org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player PlaybackStatus; }

# Tab along the bar, once while playing and once paused (a disabled button
# is passed over), noting what takes the focus.
reached=""
walk() {
  for _ in $(seq 1 12); do
    focus_keys "$win" Tab
    reached+="$(focused | cut -f2)"$'\n'
  done
}
walk
focus_keys "$win" Escape
[ "$(focused | cut -f1)" != "push button" ] || fail "Esc left the focus on a button"
focus_keys "$win" space
[ "$(status)" = "(<'Paused'>,)" ] || fail "space did not pause: $(status)"
walk
for name in 再生 一時停止 停止 再生位置 "再生速度 1.0x" "スリープタイマー: オフ" ミュート 音量; do
  printf '%s\n' "$reached" | grep -qx -- "$name" || fail "Tab never reached '$name'; reached: $(printf '%s' "$reached" | sort -u | tr '\n' ',')"
done
note "Tab reaches every control of the bar"

# Enter on the focused stop button stops; the focus is then on play, and
# Enter there plays again.
focus_keys "$win" Escape
for _ in $(seq 1 12); do
  [ "$(focused | cut -f2)" = "停止" ] && break
  focus_keys "$win" Tab
done
[ "$(focused | cut -f2)" = "停止" ] || fail "the stop button takes no focus"
focus_keys "$win" Return
sleep 0.5
[ "$(status)" = "(<'Stopped'>,)" ] || fail "Enter on stop did not stop: $(status)"
[ "$(focused | cut -f2)" = "再生" ] || fail "stopped, the focus is on '$(focused | cut -f2)', not on play"
focus_keys "$win" Return
sleep 0.5
[ "$(status)" = "(<'Playing'>,)" ] || fail "Enter on play did not play: $(status)"
note "Enter presses the focused button"
focus_keys "$win" Escape
[ "$(focused | cut -f1)" != "push button" ] || fail "Esc did not leave the bar"
close_window "$win"
wait_exit "$PROGRAM_PID" 20
echo "PASS"
