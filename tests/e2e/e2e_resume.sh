#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Leave in the middle, come back to the same place: a 10-minute clip started
# from the command line, moved on with Ctrl+F1, saved through
# "現在の再生位置を保存して終了(&S)"; the next start offers it, and
# "レジューム(&P)" continues there. A SIGTERM while playing saves too, and one
# while the resume notice is open ends the program in order, keeping the record.
# MPRIS does not act behind the notice: OpenUri and Quit then fail.
source "$(dirname "$0")/lib.sh"
start_display
start_bus
make_clip "$E2E_DIR/talk.mp4" 600

# First run: play, step forward 60 s, save and exit through the menu.
start_program "$E2E_DIR/talk.mp4"
win=$(wait_window "talk - Pelmora" 30) || fail "no main window"
sleep 3
focus_keys "$win" ctrl+F1
sleep 1
focus_keys "$win" alt+f s
wait_exit "$PROGRAM_PID" 20
saved=$(ini_value "$E2E_DIR/Resume.ini" Resume Second)
file=$(ini_value "$E2E_DIR/Resume.ini" Resume FileName)
note "saved $file at $saved s"
[ "$file" = "$E2E_DIR/talk.mp4" ] || fail "FileName is '$file'"
awk -v s="$saved" 'BEGIN{exit !(s >= 61 && s < 75)}' || fail "Second=$saved is not about 60 s on"

# Second run: the notice names the clip and the time; resume continues there.
make_clip "$E2E_DIR/other.mp4" 20
start_program
notice=$(wait_window "レジューム可能なファイルがあります" 30) || fail "no resume notice"
shot "$E2E_DIR/notice.png"
[ -n "${E2E_SHOTS:-}" ] && cp "$E2E_DIR/notice.png" "$E2E_SHOTS/resume-notice.png"
! mpris org.mpris.MediaPlayer2.Player.OpenUri "file://$E2E_DIR/other.mp4" >/dev/null 2>&1 ||
  fail "MPRIS opened a file behind the resume notice"
! mpris org.mpris.MediaPlayer2.Quit >/dev/null 2>&1 || fail "MPRIS quit behind the resume notice"
sleep 0.5
[ "$(ini_value "$E2E_DIR/Resume.ini" Resume FileName)" = "$E2E_DIR/talk.mp4" ] ||
  fail "the record offered was overwritten behind the notice"
kill -0 "$PROGRAM_PID" 2>/dev/null || fail "the program ended behind the notice"
focus_keys "$notice" Return
win=$(wait_window "^Pelmora$" 30) || fail "no main window after the notice"
t0=$(date +%s.%N)
focus_keys "$win" alt+r p
wait_window "talk - Pelmora" 10 >/dev/null || fail "resume did not load the clip"
sleep 2
t1=$(date +%s.%N)
kill -TERM "$PROGRAM_PID"
wait_exit "$PROGRAM_PID" 20
resumed=$(ini_value "$E2E_DIR/Resume.ini" Resume Second)
note "after resuming and about $(awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.1f", b-a}') s: $resumed s"
awk -v s="$saved" -v r="$resumed" -v a="$t0" -v b="$t1" \
  'BEGIN{el=b-a; exit !(r >= s && r <= s + el + 1.5)}' \
  || fail "resumed position $resumed does not continue from $saved"

# Third run: SIGTERM while the notice is open. The box goes, the close query
# runs (the volume is written), the record stays, the status is 0.
rm -f "$E2E_DIR/Pelmora.ini"
start_program
wait_window "レジューム可能なファイルがあります" 30 >/dev/null || fail "no resume notice"
kill -TERM "$PROGRAM_PID"
wait_exit "$PROGRAM_PID" 20
wait "$PROGRAM_PID" || fail "SIGTERM during the notice: exit status $?"
[ "$(ini_value "$E2E_DIR/Pelmora.ini" Volume Value)" = "50" ] || fail "the close query did not run"
[ "$(ini_value "$E2E_DIR/Resume.ini" Resume Second)" = "$resumed" ] || fail "the record was lost"
echo "PASS"
