#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A course's speed never reaches a new course: a.mp4 in folder F played at
# 1.7x (the key "]" seven times), and the program closed there. The settings
# file keeps the global 1x; in the next run n.mp4 in folder N, never played,
# opens at 1.0x, and b.mp4 in F takes F's 1.7x. The rate is read through
# MPRIS.
source "$(dirname "$0")/lib.sh"
start_display
start_bus
mkdir -p "$E2E_DIR/F" "$E2E_DIR/N"
# Three recordings of their own (copies would share one record).
make_clip "$E2E_DIR/F/a.mp4" 60
make_clip "$E2E_DIR/F/b.mp4" 61
make_clip "$E2E_DIR/N/n.mp4" 62

start_program "$E2E_DIR/F/a.mp4"
win=$(wait_window "a - Pelmora" 30) || fail "no main window"
wait_mpris
sleep 1
focus_keys "$win" bracketright bracketright bracketright bracketright bracketright \
  bracketright bracketright
expect_rate 1.7 "a.mp4 after seven ]"
close_window "$win"
wait_exit "$PROGRAM_PID" 20
speed=$(ini_value "$E2E_DIR/Pelmora.ini" Playback Speed)
note "Pelmora.ini: Speed=$speed"
[ "$speed" = "1" ] || fail "the close made the course's speed global: Speed=$speed"

# The next run: past the resume notice, a new course, then F again.
start_program
notice=$(wait_window "レジューム可能なファイルがあります" 30) || fail "no resume notice"
focus_keys "$notice" Return
wait_window "^Pelmora$" 30 >/dev/null || fail "no main window after the notice"
wait_mpris
open_uri "$E2E_DIR/N/n.mp4" "n - Pelmora"
expect_rate 1.0 "n.mp4 in a course never played"
open_uri "$E2E_DIR/F/b.mp4" "b - Pelmora"
expect_rate 1.7 "b.mp4 in F"
echo "PASS"
