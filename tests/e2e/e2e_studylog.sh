#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The study log and the sleep timer as a user meets them: a 6-second clip
# played twice at 2x reads in "学習記録" (opened from the picture's context
# menu) as about 6 s heard in about 6 s spent, 6 s saved by the speed; a
# sleep timer at the end of the file pauses it and leaves a "おやすみ" row in
# the position record window.
source "$(dirname "$0")/lib.sh"
start_display
start_bus
make_clip "$E2E_DIR/short.mp4" 6
printf '[Playback]\r\nSpeed=2\r\n' >"$E2E_DIR/Pelmora.ini"

status() { mpris org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player PlaybackStatus; }
wait_status() { # status seconds
  for _ in $(seq 1 $(($2 * 10))); do
    [ "$(status)" = "(<'$1'>,)" ] && return 0
    sleep 0.1
  done
  fail "not $1 within $2 s but $(status)"
}
seconds_of() { awk -F: '{print $1 * 3600 + $2 * 60 + $3}'; }
# The figure after a word in the totals' label "すべて: 再生 h:mm:ss、内容 ...".
figure() { # label word
  printf '%s\n' "$1" | sed -n "s/.*$2 \([0-9]*:[0-9]*:[0-9]*\).*/\1/p" | seconds_of
}

start_program "$E2E_DIR/short.mp4"
win=$(wait_window "short - Pelmora" 30) || fail "no main window"
wait_mpris
wait_status Playing 10
wait_status Stopped 15
mpris org.mpris.MediaPlayer2.Player.Play >/dev/null
wait_status Playing 5
wait_status Stopped 15
note "played twice"

focus_keys "$win" shift+F10 g
wait_window "学習記録" 10 >/dev/null || fail "no study log window"
sleep 1
all=$(accessibles | grep -m1 $'^label\tすべて:' || true)
note "$all"
wall=$(figure "$all" 再生) heard=$(figure "$all" 内容) speed=$(figure "$all" 速度)
awk -v w="$wall" -v h="$heard" -v s="$speed" \
  'BEGIN{exit !(h >= 5 && h <= 6 && w >= 5 && w <= 7 && s >= 5 && s <= 6)}' ||
  fail "the totals are not honest: spent $wall, heard $heard, saved by speed $speed"

# "このファイルの終わりで" is the seventh choice of the sleep timer's menu.
click_on "スリープタイマー" || fail "no sleep timer button"
sleep 0.7
xdotool key Down Down Down Down Down Down Down Return
sleep 0.5
mpris org.mpris.MediaPlayer2.Player.Play >/dev/null
wait_status Paused 10
focus_keys "$win" alt+o r
wait_window "再生時間の記録" 10 >/dev/null || fail "no position record window"
sleep 0.5
accessibles | grep -q "おやすみ [0-9][0-9]:[0-9][0-9]" || fail "no おやすみ record"
echo "PASS"
