#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The playlist filled as a student does: "フォルダーを追加(&D)..." adds a
# course's recordings in natural order (lesson 2 before lesson 10), and
# "開く..." reads an M3U playlist, its relative names taken from its folder
# and a missing one skipped and counted in the main window's status bar.
source "$(dirname "$0")/lib.sh"
start_display
start_bus
mkdir -p "$E2E_DIR/course" "$E2E_DIR/lists"
for n in 10 2 1; do printf 'x' >"$E2E_DIR/course/lesson $n.mp3"; done
printf 'x' >"$E2E_DIR/course/notes.txt"
printf '#EXTM3U\n#EXTINF:60,two\n../course/lesson 2.mp3\nmissing.mp3\n' >"$E2E_DIR/lists/week.m3u8"

start_program
main=$(wait_window "^Pelmora$" 30) || fail "no main window"
sleep 1
focus_keys "$main" alt+p l
list=$(wait_window "プレイリスト" 10) || fail "no playlist window"

# Types a path into the file dialog that came up (the visible window that
# was not there before), and accepts it.
windows() { xdotool search --onlyvisible --name '.' 2>/dev/null | sort; }
choose() { # windows-before path
  local dialog=""
  for _ in $(seq 1 50); do
    dialog=$(comm -13 <(printf '%s\n' "$1") <(windows) | head -n1)
    [ -n "$dialog" ] && break
    sleep 0.2
  done
  [ -n "$dialog" ] || fail "no file dialog came up"
  sleep 0.5
  xdotool windowfocus --sync "$dialog" 2>/dev/null || xdotool windowfocus "$dialog"
  xdotool type --delay 20 "$2"
  sleep 0.3
  xdotool key Return
  sleep 1
}
entries() { accessibles | sed -n 's/^list item\t\(.*\)\t.*/\1/p'; }

before=$(windows)
focus_keys "$list" alt+d
choose "$before" "$E2E_DIR/course"
got=$(entries | grep -c lesson || true)
[ "$got" -eq 3 ] || fail "not the three lessons in the list: $(entries | tr '\n' ',')"
[ "$(entries | grep lesson | sed 's/.*lesson \([0-9]*\).*/\1/' | tr '\n' ' ')" = "1 2 10 " ] ||
  fail "not in natural order: $(entries | tr '\n' ',')"
note "a folder in natural order"

# "開く..." by the keyboard: the focus there, then Space.
before=$(windows)
xdotool windowfocus --sync "$list" 2>/dev/null || true
accessible focus "開く..." || fail "the open button takes no focus"
xdotool key space
choose "$before" "$E2E_DIR/lists/week.m3u8"
[ "$(entries | tr '\n' '|')" = "$E2E_DIR/course/lesson 2.mp3|" ] ||
  fail "the M3U playlist did not read as one lesson: $(entries | tr '\n' ',')"
accessibles | grep -q "week.m3u8: 1 行を読み飛ばしました" || fail "the skipped line is not told"
note "an M3U playlist, one line skipped and told"
kill -TERM "$PROGRAM_PID"
wait_exit "$PROGRAM_PID" 20
echo "PASS"
