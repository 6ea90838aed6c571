#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The main window comes up with its Japanese menu bar, opens a file named on
# the command line (caption and an advancing status bar), and exits cleanly
# through "終了(&X)".
source "$(dirname "$0")/lib.sh"
start_display
make_clip "$E2E_DIR/clip.mp4" 30

start_program "$E2E_DIR/clip.mp4"
win=$(wait_window " - Pelmora" 30) || fail "no main window named after the clip"
title=$(xdotool getwindowname "$win")
[ "$title" = "clip - Pelmora" ] || fail "caption is '$title'"
note "caption: $title"
sleep 2
shot "$E2E_DIR/first.png"
status_shot "$win" "$E2E_DIR/status1.png"
sleep 2
status_shot "$win" "$E2E_DIR/status2.png"
if compare -metric AE "$E2E_DIR/status1.png" "$E2E_DIR/status2.png" null: 2>/dev/null; then
  fail "the status bar did not change while playing"
fi
note "status bar advances"
if [ -n "${E2E_SHOTS:-}" ]; then cp "$E2E_DIR/first.png" "$E2E_SHOTS/main-playing.png"; fi

# The File menu, then 終了(&X).
focus_keys "$win" alt+f
sleep 0.5
shot "$E2E_DIR/menu.png"
if [ -n "${E2E_SHOTS:-}" ]; then cp "$E2E_DIR/menu.png" "$E2E_SHOTS/main-menu.png"; fi
xdotool key x
wait_exit "$PROGRAM_PID" 20
wait "$PROGRAM_PID" || fail "the program exited with an error status"
[ -f "$E2E_DIR/Pelmora.ini" ] || fail "no Pelmora.ini written at exit"
grep -q "File1=$E2E_DIR/clip.mp4" "$E2E_DIR/Pelmora.ini" || fail "recent list not written"
[ ! -f "$E2E_DIR/Resume.ini" ] || fail "the exit command left a resume record"
echo "PASS"
