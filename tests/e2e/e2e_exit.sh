#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every road out ends with status 0 and no X error: the engine lets go of its
# window before the window goes. Closes by the close box, "終了(&X)", "現在の
# 再生位置を保存して終了(&S)", SIGTERM and SIGHUP, with a video playing,
# paused, in full screen, at its end, with sound only, with nothing loaded,
# and during the start-up notice, under a window manager.
#
# Usage: bash tests/e2e/e2e_exit.sh <pelmora> [closes]   (default 20)
source "$(dirname "$0")/lib.sh"
CLOSES=${2:-20}
start_display
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  E2E_PIDS+=("$!")
  sleep 0.5
fi
make_clip "$E2E_DIR/video.mp4" 60
make_clip "$E2E_DIR/ends.mp4" 2
ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=330:sample_rate=22050" -t 60 \
  "$E2E_DIR/sound.wav" || fail "ffmpeg could not make sound.wav"

set +e
# One close; the road picks how the program is started and ended.
one_close() { # road
  local road=$1 file="$E2E_DIR/video.mp4" caption="video - Pelmora" id rc
  rm -f "$E2E_DIR"/*.ini "$E2E_DIR"/History.db* "$E2E_DIR/Resume.journal" "$E2E_DIR/program.log"
  case $road in
    sound) file="$E2E_DIR/sound.wav" caption="sound - Pelmora" ;;
    ended) file="$E2E_DIR/ends.mp4" caption="ends - Pelmora" ;;
    nothing) file="" caption="^Pelmora$" ;;
    startup)
      printf '[Resume]\r\nFileName=%s\r\nSecond=12\r\n' "$E2E_DIR/video.mp4" >"$E2E_DIR/Resume.ini"
      file="" caption="レジューム可能なファイルがあります" ;;
  esac
  if [ -n "$file" ]; then start_program "$file"; else start_program; fi
  id=$(wait_window "$caption" 30) || { echo "no window for $road"; return 1; }
  sleep 1.5
  case $road in
    paused) focus_keys "$id" space ;;
    fullscreen) focus_keys "$id" f ;;
    ended) sleep 2 ;;
  esac
  case $road in
    exit) focus_keys "$id" alt+f; xdotool key x ;;
    saveexit) focus_keys "$id" alt+f; xdotool key s ;;
    sigterm | startup) kill -TERM "$PROGRAM_PID" ;;
    sighup) kill -HUP "$PROGRAM_PID" ;;
    *) close_window "$id" ;;
  esac
  for _ in $(seq 1 150); do
    kill -0 "$PROGRAM_PID" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$PROGRAM_PID" 2>/dev/null; then
    # Counted, and ended, so that the next close starts alone.
    echo "$road: the program did not end"
    kill -KILL "$PROGRAM_PID" 2>/dev/null
    wait "$PROGRAM_PID" 2>/dev/null
    return 1
  fi
  wait "$PROGRAM_PID"
  rc=$?
  if [ "$rc" -ne 0 ] || grep -q -E 'X Error|Timers cannot be stopped from another thread' \
    "$E2E_DIR/program.log"; then
    echo "$road: status $rc"
    grep -E 'X Error|Major opcode|Timers cannot' "$E2E_DIR/program.log" | head -n 4
    return 1
  fi
  return 0
}

roads=(closebox exit paused saveexit sigterm fullscreen sound sighup ended nothing startup)
bad=0
for i in $(seq 0 $((CLOSES - 1))); do
  road=${roads[$((i % ${#roads[@]}))]}
  one_close "$road" || bad=$((bad + 1))
done
note "$((CLOSES - bad)) of $CLOSES closes clean"
[ "$bad" -eq 0 ] || fail "$bad of $CLOSES closes ended badly"
echo "PASS"
