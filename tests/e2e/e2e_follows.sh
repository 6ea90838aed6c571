#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What is kept follows the recording: a lecture played at 1.5x to about
# 2:00 with a position record, then its course folder renamed, offers its
# place at its speed with its record; moved to another folder under another
# name, it still offers its place; another lecture shows no record of it.
source "$(dirname "$0")/lib.sh"
start_display
start_bus
mkdir -p "$E2E_DIR/F"
make_clip "$E2E_DIR/F/第1回.mp4" 300
make_clip "$E2E_DIR/other.mp4" 61

offered() { # what
  local place
  place=$(accessibles | sed -n 's/^push button\t続きから再生 (\([0-9:]*\)).*/\1/p' | head -n1)
  [ -n "$place" ] || fail "no place offered $1"
  note "offered $1: $place"
  case "$place" in 00:01:5* | 00:02:0*) ;; *) fail "the place offered $1 is $place, not about 2:00" ;; esac
}
record_rows() {
  accessibles | awk -F'\t' '$1 == "table cell" && $2 ~ /^[0-9][0-9]:[0-9][0-9]:[0-9][0-9]$/ {print $2}'
}

start_program "$E2E_DIR/F/第1回.mp4"
win=$(wait_window "第1回 - Pelmora" 30) || fail "no main window"
wait_mpris
sleep 1
mpris org.freedesktop.DBus.Properties.Set org.mpris.MediaPlayer2.Player Rate "<1.5>" >/dev/null
mpris org.mpris.MediaPlayer2.Player.Seek 118000000 >/dev/null || fail "Seek"
sleep 1.5
focus_keys "$win" alt+o r
records=$(wait_window "再生時間の記録" 10) || fail "no position record window"
focus_keys "$records" Return
sleep 0.5
[ -n "$(record_rows)" ] || fail "no record made"
focus_keys "$records" alt+x
close_window "$win"
wait_exit "$PROGRAM_PID" 20

mv "$E2E_DIR/F" "$E2E_DIR/F 後期 2026"
start_program "$E2E_DIR/F 後期 2026/第1回.mp4"
notice=$(wait_window "レジューム可能なファイルがあります" 30) || fail "no resume notice"
focus_keys "$notice" Return
win=$(wait_window "第1回 - Pelmora" 30) || fail "no main window in the renamed folder"
wait_mpris
sleep 1.5
offered "in the renamed folder"
expect_rate 1.5 "in the renamed folder"
focus_keys "$win" alt+o r
wait_window "再生時間の記録" 10 >/dev/null || fail "no position record window"
rows=$(record_rows)
note "records: $rows"
case "$rows" in 00:01:5* | 00:02:0*) ;; *) fail "the record did not come back: '$rows'" ;; esac

mkdir -p "$E2E_DIR/moved"
mv "$E2E_DIR/F 後期 2026/第1回.mp4" "$E2E_DIR/moved/lecture-01.mp4"
mpris org.mpris.MediaPlayer2.Player.OpenUri "file://$E2E_DIR/other.mp4" >/dev/null
wait_window "other - Pelmora" 10 >/dev/null || fail "OpenUri did not open other.mp4"
sleep 1
[ -z "$(record_rows)" ] || fail "another recording shows the lecture's records"
mpris org.mpris.MediaPlayer2.Player.OpenUri "file://$E2E_DIR/moved/lecture-01.mp4" >/dev/null
wait_window "lecture-01 - Pelmora" 10 >/dev/null || fail "OpenUri did not open the moved file"
sleep 1.5
offered "moved under another name"
echo "PASS"
