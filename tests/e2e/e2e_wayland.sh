#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Under Wayland (weston, headless, software rendering) the video covers the
# picture area, as under X11: a red clip plays, a screenshot is taken, and
# the red must fill a box as wide as the area. The program then ends on
# SIGTERM with status 0.
source "$(dirname "$0")/lib.sh"
command -v weston >/dev/null || fail "weston is not installed (scripts/deps --test)"

export XDG_RUNTIME_DIR="$E2E_DIR/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
socket="pelmora-e2e-$$"
weston --backend=headless-backend.so --socket="$socket" --use-pixman --debug \
  --width=1024 --height=768 --idle-time=0 >"$E2E_DIR/weston.log" 2>&1 &
E2E_PIDS+=("$!")
for _ in $(seq 1 100); do
  [ -S "$XDG_RUNTIME_DIR/$socket" ] && break
  sleep 0.1
done
[ -S "$XDG_RUNTIME_DIR/$socket" ] || fail "weston did not start: $(tail -n 5 "$E2E_DIR/weston.log")"
export WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland
unset DISPLAY
note "weston on $socket"

ffmpeg -loglevel error -y -f lavfi -i "color=c=red:size=320x180:rate=10" \
  -f lavfi -i "sine=frequency=440:sample_rate=8000" -t 30 \
  -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -b:a 32k "$E2E_DIR/red.mp4" \
  || fail "ffmpeg could not make red.mp4"
start_program "$E2E_DIR/red.mp4"

# The red box on the screen: its width and height, and how much of it is red.
red_box() { # png
  convert "$1" -fuzz 20% -fill black +opaque red -fill white -opaque red \
    -trim -format "%w %h %[fx:mean]" info: 2>/dev/null
}
box=""
for _ in $(seq 1 30); do
  sleep 1
  rm -f "$E2E_DIR"/wayland-screenshot*.png
  (cd "$E2E_DIR" && weston-screenshooter >/dev/null 2>&1) || continue
  shot=$(ls "$E2E_DIR"/wayland-screenshot*.png 2>/dev/null | head -n1)
  [ -n "$shot" ] || continue
  box=$(red_box "$shot")
  read -r w h fill <<<"$box"
  [ "${w:-0}" -ge 560 ] && [ "${h:-0}" -ge 300 ] && break
done
note "red box: ${box:-none}"
read -r w h fill <<<"$box"
[ "${w:-0}" -ge 560 ] && [ "${h:-0}" -ge 300 ] ||
  fail "the video does not cover the picture area (red box ${w:-0}x${h:-0})"
awk -v f="${fill:-0}" 'BEGIN { exit !(f >= 0.9) }' || fail "the red box is only ${fill} red"
! grep -q "already has a layout" "$E2E_DIR/program.log" || fail "a second layout on the picture area"

kill -TERM "$PROGRAM_PID"
wait_exit "$PROGRAM_PID" 20
wait "$PROGRAM_PID" || fail "the program ended with status $?"
echo "PASS"
