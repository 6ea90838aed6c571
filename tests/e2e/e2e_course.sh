#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A speed per course: a.mp4 in folder F played at 1.7x (the key "]" seven
# times), then c.mp4 in folder G, never played, at the global 1.0x; b.mp4 in
# F, opened for the first time, takes F's 1.7x, and c.mp4 opened again keeps
# its own 1.0x. The rate is read through MPRIS.
source "$(dirname "$0")/lib.sh"
start_display
start_bus
mkdir -p "$E2E_DIR/F" "$E2E_DIR/G"
# Three lectures, each its own recording (copies would share one record).
make_clip "$E2E_DIR/F/a.mp4" 60
make_clip "$E2E_DIR/F/b.mp4" 61
make_clip "$E2E_DIR/G/c.mp4" 62

start_program "$E2E_DIR/F/a.mp4"
win=$(wait_window "a - Pelmora" 30) || fail "no main window"
wait_mpris
sleep 1
expect_rate 1.0 "a.mp4 at first"
focus_keys "$win" bracketright bracketright bracketright bracketright bracketright \
  bracketright bracketright
expect_rate 1.7 "a.mp4 after seven ]"
open_uri "$E2E_DIR/G/c.mp4" "c - Pelmora"
expect_rate 1.0 "c.mp4 in a folder never played"
open_uri "$E2E_DIR/F/b.mp4" "b - Pelmora"
expect_rate 1.7 "b.mp4 opened for the first time in F"
open_uri "$E2E_DIR/G/c.mp4" "c - Pelmora"
expect_rate 1.0 "c.mp4 opened again"
echo "PASS"
