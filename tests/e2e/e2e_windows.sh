#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every secondary window comes up from the main menu with its Japanese text:
# the A-B repeat window, the position record window, the about box, the
# playlist and the recent files. With E2E_SHOTS set to a directory, their
# pictures are kept there (the README shows them).
source "$(dirname "$0")/lib.sh"
start_display
make_clip "$E2E_DIR/lecture.mp4" 120

start_program "$E2E_DIR/lecture.mp4"
main=$(wait_window "lecture - Pelmora" 30) || fail "no main window"
sleep 2

open_window() { # name keys...
  local name="$1"; shift
  focus_keys "$main" "$@"
  local id
  id=$(wait_window "$name" 10) || fail "the window '$name' did not come up"
  sleep 0.6
  echo "$id"
}

keep() { [ -n "${E2E_SHOTS:-}" ] && cp "$1" "$E2E_SHOTS/$2" || true; }

shot "$E2E_DIR/main.png"; keep "$E2E_DIR/main.png" main-playing.png

id=$(open_window "A-Bリピート" alt+p r)
import -window "$id" "$E2E_DIR/abrepeat.png"; keep "$E2E_DIR/abrepeat.png" abrepeat.png
id=$(open_window "再生時間の記録" alt+o r)
import -window "$id" "$E2E_DIR/records.png"; keep "$E2E_DIR/records.png" records.png
id=$(open_window "バージョン情報" alt+h a)
import -window "$id" "$E2E_DIR/about.png"; keep "$E2E_DIR/about.png" about.png
id=$(open_window "プレイリスト" alt+p l)
import -window "$id" "$E2E_DIR/playlist.png"; keep "$E2E_DIR/playlist.png" playlist.png
id=$(open_window "最近開いたファイル" alt+f r)
import -window "$id" "$E2E_DIR/recent.png"; keep "$E2E_DIR/recent.png" recent.png

# Each picture holds more than one colour (text was drawn).
for p in abrepeat records about playlist recent; do
  colours=$(convert "$E2E_DIR/$p.png" -format %k info:)
  [ "$colours" -gt 8 ] || fail "$p looks empty ($colours colours)"
done
kill -TERM "$PROGRAM_PID"
wait_exit "$PROGRAM_PID" 20
echo "PASS"
