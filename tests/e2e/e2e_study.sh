#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The study tools as a student finds them: Tab from the picture reaches the
# control bar's "学習" button, whose menu opens each study window; V says on
# the picture what it switched, and a screen reader reads it (an alert,
# through AT-SPI); at the next start, with nothing loaded, the picture
# offers the last recording, and pressing the offer opens it.
source "$(dirname "$0")/lib.sh"
start_display
start_bus
make_clip "$E2E_DIR/lesson.mp4" 120

start_program "$E2E_DIR/lesson.mp4"
win=$(wait_window "lesson - Pelmora" 30) || fail "no main window"
wait_mpris
sleep 1

# Tab from the picture until the focus is on "学習".
to_study() {
  focus_keys "$win" Escape
  for _ in $(seq 1 14); do
    [ "$(focused)" = $'push button\t学習' ] && return 0
    focus_keys "$win" Tab
  done
  fail "Tab never reached the 学習 button; the focus is on '$(focused)'"
}
# Each entry of its menu, by the keyboard, opens its window.
entry=0
for title in "文字起こし" "再生時間の記録" "学習記録" "このフォルダーの再生設定" "講座一覧"; do
  to_study
  keys=(Return)
  for _ in $(seq 0 "$entry"); do keys+=(Down); done
  keys+=(Return)
  focus_keys "$win" "${keys[@]}"
  opened=$(wait_window "^$title" 10) || fail "the 学習 menu did not open '$title'"
  close_window "$opened"
  sleep 0.5
  note "学習 → $title"
  entry=$((entry + 1))
done

# V: the word on the picture, an alert a screen reader reads; its name
# change is announced (an AT-SPI event a screen reader listens for).
timeout 20 /usr/bin/python3 - >"$E2E_DIR/events" 2>/dev/null <<'PY' &
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib
def heard(event):
    try:
        source = event.source
        print(f"{event.type}\t{source.get_role_name()}\t{source.get_name()}", flush=True)
    except Exception:
        pass
listener = Atspi.EventListener.new(heard)
listener.register("object:property-change:accessible-name")
GLib.timeout_add(5000, lambda: Atspi.event_quit())
Atspi.event_main()
PY
listening=$!
sleep 1.5
focus_keys "$win" Escape v
sleep 0.3
accessibles | grep -q $'^alert\t声を聞きやすく: オン' ||
  fail "no alert '声を聞きやすく: オン': $(accessibles | grep -i alert || true)"
focus_keys "$win" bracketright
sleep 0.3
accessibles | grep -q $'^alert\t速度 1.1x' || fail "no alert '速度 1.1x'"
wait "$listening" || true
grep -q $'accessible-name\talert\t声を聞きやすく: オン' "$E2E_DIR/events" ||
  fail "no announcement of '声を聞きやすく: オン': $(cat "$E2E_DIR/events")"
note "V and ] are told"
close_window "$win"
wait_exit "$PROGRAM_PID" 20

# The next start, nothing named: the picture offers the last recording.
start_program
notice=$(wait_window "レジューム可能なファイルがあります" 30) || fail "no resume notice"
focus_keys "$notice" Return
win=$(wait_window "^Pelmora$" 30) || fail "no main window at the second start"
offer=""
for _ in $(seq 1 25); do
  offer=$(accessibles | sed -n 's/^push button\t\(前回の[^\t]*\).*/\1/p' | head -n1)
  [ -n "$offer" ] && break
  sleep 0.2
done
[ -n "$offer" ] || fail "no offer of the last recording"
note "offered: $offer"
case "$offer" in *lesson*) ;; *) fail "the offer names no lesson: '$offer'" ;; esac
accessibles | grep -q $'^label\tCtrl+O でファイルを開く' || fail "no hint how to begin"
press_button "前回の" || fail "the offer cannot be pressed"
wait_window "lesson - Pelmora" 10 >/dev/null || fail "pressing the offer did not open the lesson"
sleep 1.5
at=$(accessibles | sed -n 's/^label\t\(00:0[0-9]:[0-9]*\) \/.*/\1/p' | head -n1)
note "opened at $at"
[ "$(printf '%s' "$at" | awk -F: '{print $2 * 60 + $3}')" -ge 30 ] || fail "not opened at its place: '$at'"
close_window "$win"
wait_exit "$PROGRAM_PID" 20
echo "PASS"
