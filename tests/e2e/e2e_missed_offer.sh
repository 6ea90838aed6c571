#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A missed offer never costs the place: a 10-minute lecture left at about
# 2:00, opened again (it starts at 0:00 and offers the place), played on past
# the 15 s of the bar's button, paused and closed. The resume record holds
# the position; the next opening offers the place again, and R, pressed long
# after the bar's button went, goes there. The position is read through MPRIS.
source "$(dirname "$0")/lib.sh"
start_display
start_bus
make_clip "$E2E_DIR/lecture.mp4" 600

position() { # seconds, whole
  mpris org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player Position |
    sed -n 's/^(<\(int64 \)\{0,1\}\([0-9]*\)>,)$/\2/p' | awk '{printf "%d", $1 / 1000000}'
}
# Past the resume notice of a run that follows a saving close.
past_notice() {
  local notice
  notice=$(wait_window "レジューム可能なファイルがあります" 30) || fail "no resume notice"
  focus_keys "$notice" Return
  wait_window "^Pelmora$" 30 || fail "no main window after the notice"
}
open_lecture() {
  mpris org.mpris.MediaPlayer2.Player.OpenUri "file://$E2E_DIR/lecture.mp4" >/dev/null ||
    fail "OpenUri"
  wait_window "lecture - Pelmora" 10 || fail "the lecture did not open"
}

# First run: the place, about 2:00 (Ctrl+F1 twice), kept by the close.
start_program "$E2E_DIR/lecture.mp4"
win=$(wait_window "lecture - Pelmora" 30) || fail "no main window"
wait_mpris
sleep 2
focus_keys "$win" ctrl+F1 ctrl+F1
sleep 1
kept=$(position)
note "left at $kept s"
[ "$kept" -ge 120 ] && [ "$kept" -lt 140 ] || fail "the place is $kept s, not about 2:00"
close_window "$win"
wait_exit "$PROGRAM_PID" 20

# Second run: opened again, the offer is missed; a pause and a close.
start_program
win=$(past_notice)
wait_mpris
win=$(open_lecture)
sleep 17
focus_keys "$win" space
sleep 1
close_window "$win"
wait_exit "$PROGRAM_PID" 20
second=$(ini_value "$E2E_DIR/Resume.ini" Resume Second)
note "the resume record: $second s"
awk -v s="$second" 'BEGIN{exit !(s >= 10 && s < 40)}' ||
  fail "the resume record holds $second s, not the position of the pause"

# Third run: opened again, the place is offered; R takes it after 16 s.
start_program
win=$(past_notice)
wait_mpris
win=$(open_lecture)
sleep 16
focus_keys "$win" r
sleep 1.5
now=$(position)
note "after R: $now s"
[ "$now" -ge $((kept - 25)) ] && [ "$now" -le $((kept + 5)) ] ||
  fail "R went to $now s, not to the place kept ($kept s)"
close_window "$win"
wait_exit "$PROGRAM_PID" 20
echo "PASS"
