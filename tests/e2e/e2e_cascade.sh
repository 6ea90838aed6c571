#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A second running program opens its main window down and to the right of the
# first one's, not on top of it; a third steps on again. The place of a
# program that was killed is taken by the next one.
source "$(dirname "$0")/lib.sh"
start_display
# The programs of this test see only each other.
export XDG_RUNTIME_DIR="$E2E_DIR/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

position() { # window-id
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "$X $Y"
}

windows=()
pids=()
# Starts one more program; its window's id is appended to windows.
start_one() {
  local n=$((${#windows[@]} + 1)) found=()
  start_program
  pids+=("$PROGRAM_PID")
  for _ in $(seq 1 150); do
    mapfile -t found < <(xdotool search --onlyvisible --name "^Pelmora$" 2>/dev/null || true)
    [ "${#found[@]}" -ge "$n" ] && break
    sleep 0.2
  done
  [ "${#found[@]}" -ge "$n" ] || fail "the window of program $n did not come up"
  for id in "${found[@]}"; do
    [[ " ${windows[*]} " == *" $id "* ]] || windows+=("$id")
  done
}
start_one
start_one
start_one

read -r x1 y1 < <(position "${windows[0]}")
read -r x2 y2 < <(position "${windows[1]}")
read -r x3 y3 < <(position "${windows[2]}")
note "windows at $x1,$y1  $x2,$y2  $x3,$y3"
[ "$x2" -gt "$x1" ] && [ "$y2" -gt "$y1" ] || fail "the second window is not below and right of the first"
[ "$x3" -gt "$x2" ] && [ "$y3" -gt "$y2" ] || fail "the third window is not below and right of the second"

# The first one is killed: the next program opens where it was.
kill -KILL "${pids[0]}"
wait_exit "${pids[0]}" 20
windows=("${windows[@]:1}")
start_one
read -r x4 y4 < <(position "${windows[2]}")
note "after the first was killed: $x4,$y4"
[ "$x4" -eq "$x1" ] && [ "$y4" -eq "$y1" ] || fail "the killed program's place was not taken again"

for p in "${pids[@]:1}"; do kill -TERM "$p"; done
for p in "${pids[@]:1}"; do wait_exit "$p" 20; done
echo "PASS"
