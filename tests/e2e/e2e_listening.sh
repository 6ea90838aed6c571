#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The listening tools as a user meets them: the speed changed through MPRIS
# Rate holds across runs for that file (not for the program: the global
# speed stays 1x); the place in the file is offered again when the
# file is opened again; the seek bar shows the stretches listened to, read
# back from the place store.
source "$(dirname "$0")/lib.sh"
start_display
start_bus
make_clip "$E2E_DIR/lecture.mp4" 300

start_program "$E2E_DIR/lecture.mp4"
win=$(wait_window "lecture - Pelmora" 30) || fail "no main window"
wait_mpris
sleep 1
mpris org.freedesktop.DBus.Properties.Set org.mpris.MediaPlayer2.Player Rate "<2.0>" >/dev/null
rate=$(mpris org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player Rate)
[ "$rate" = "(<2.0>,)" ] || fail "Rate is $rate after setting 2.0"
accessibles | grep -q "再生速度 2.0x" || fail "the speed button does not say 2.0x"
note "rate 2.0"
# About 20 s of the medium at 2x, then 60 s ahead and about 10 s more.
sleep 10
focus_keys "$win" ctrl+F1
sleep 5
close_window "$win"
wait_exit "$PROGRAM_PID" 20
[ "$(ini_value "$E2E_DIR/Pelmora.ini" Playback Speed)" = "1" ] ||
  fail "the file's speed became the global one"
[ -f "$E2E_DIR/History.db" ] || fail "no place store"

# The close box saved the position: the resume notice comes first.
start_program
notice=$(wait_window "レジューム可能なファイルがあります" 30) || fail "no resume notice"
focus_keys "$notice" Return
wait_window "^Pelmora$" 30 >/dev/null || fail "no main window at the second start"
wait_mpris
rate=$(mpris org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player Rate)
[ "$rate" = "(<1.0>,)" ] || fail "Rate is $rate after the restart, with nothing loaded"
mpris org.mpris.MediaPlayer2.Player.OpenUri "file://$E2E_DIR/lecture.mp4" >/dev/null
win=$(wait_window "lecture - Pelmora" 10) || fail "OpenUri did not open the clip"
sleep 2
rate=$(mpris org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player Rate)
[ "$rate" = "(<2.0>,)" ] || fail "Rate is $rate for the file opened again"
tree=$(accessibles)
place=$(printf '%s\n' "$tree" | sed -n 's/^push button\t続きから再生 (\([0-9:]*\)).*/\1/p' | head -n1)
[ -n "$place" ] || fail "no place offered"
seconds=$(awk -F: -v t="$place" 'BEGIN{split(t,a,":"); print a[1]*3600+a[2]*60+a[3]}')
note "offered: $place"
awk -v s="$seconds" 'BEGIN{exit !(s >= 85 && s <= 100)}' || fail "the place $place is not about 1:30"
listened=$(printf '%s\n' "$tree" | sed -n 's/^slider\t再生位置\t再生済み \(.*\)/\1/p' | head -n1)
note "listened: $listened"
[ "$(printf '%s\n' "$listened" | awk -F', ' '{print NF}')" -eq 2 ] || fail "not two listened stretches: '$listened'"
press_button "続きから再生" || fail "the place button cannot be pressed"
sleep 1
status=$(printf '%s\n' "$(accessibles)" | sed -n 's/^label\t\(00:0[0-9]:[0-9]*\) \/.*/\1/p' | head -n1)
note "after taking the place: $status"
case "$status" in 00:01:*) ;; *) fail "the place was not taken: status '$status'" ;; esac

# Two recorded positions become ticks on the seek bar; the sleep timer shows
# the time left on its button.
focus_keys "$win" alt+o r
records=$(wait_window "再生時間の記録" 10) || fail "no position record window"
focus_keys "$records" Return
focus_keys "$win" ctrl+F2
focus_keys "$records" Return alt+x
# Its menu: "オフ", then "15分".
click_on "スリープタイマー" || fail "no sleep timer button"
sleep 0.7
xdotool key Down Down Return
sleep 1
accessibles | grep -q $'push button\tスリープタイマー: おやすみ 1[45]:' || fail "the sleep timer shows no time left"
shot "$E2E_DIR/listened.png"
[ -n "${E2E_SHOTS:-}" ] && convert "$E2E_DIR/listened.png" -crop 640x470+320+170 +repage \
  "$E2E_SHOTS/listening.png"
echo "PASS"
