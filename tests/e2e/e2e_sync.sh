#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Two installations, "家のPC" and "ノートPC", each with its own settings and
# places, share a folder kept in sync by Syncthing. A lecture heard to about
# 2:00 at home is offered at that place on the laptop, from its own copy
# under another name, with the bar saying where it was heard; a position
# record made on the laptop is in the record window at home afterwards, and
# home's bar names the laptop.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/syncthing.sh"
start_display
start_bus

HOME_SYNC="$E2E_DIR/同期/家"
LAPTOP="$E2E_DIR/laptop"
LAPTOP_SYNC="$E2E_DIR/同期/ノート"
mkdir -p "$E2E_DIR/講義" "$LAPTOP/media"
make_clip "$E2E_DIR/講義/第1回.mp4" 300
cp "$E2E_DIR/講義/第1回.mp4" "$LAPTOP/media/lecture-01.mp4"

install_copy "$LAPTOP"
printf '[Sync]\nFolder=%s\nDeviceName=家のPC\n' "$HOME_SYNC" >"$E2E_DIR/Pelmora.ini"
printf '[Sync]\nFolder=%s\nDeviceName=ノートPC\n' "$LAPTOP_SYNC" >"$LAPTOP/Pelmora.ini"
syncthing_pair "$HOME_SYNC" "$LAPTOP_SYNC"

about_two_minutes() { # what time
  case "$2" in 00:01:5* | 00:02:0*) ;; *) fail "$1 is '$2', not about 2:00" ;; esac
}
offered() { # tree
  printf '%s\n' "$1" | sed -n 's/^push button\t続きから再生 (\([0-9:]*\)).*/\1/p' | head -n1
}
record_rows() {
  accessibles | awk -F'\t' '$1 == "table cell" && $2 ~ /^[0-9][0-9]:[0-9][0-9]:[0-9][0-9]$/ {print $2}'
}
# Past the resume notice, when the last close left a resume record.
main_window() { # name
  local id notice=""
  for _ in $(seq 1 150); do
    if [ -z "$notice" ]; then
      notice=$(xdotool search --onlyvisible --name "レジューム可能なファイルがあります" 2>/dev/null | head -n1 || true)
      [ -n "$notice" ] && focus_keys "$notice" Return
    fi
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  fail "no main window '$1'"
}

# At home: the lecture to about 2:00, then closed.
start_program "$E2E_DIR/講義/第1回.mp4"
win=$(wait_window "第1回 - Pelmora" 30) || fail "no main window at home"
wait_mpris
sleep 1
mpris org.mpris.MediaPlayer2.Player.Seek 118000000 >/dev/null || fail "Seek"
sleep 1.5
close_window "$win"
wait_exit "$PROGRAM_PID" 20

ls "$HOME_SYNC"/pelmora/*/*.jsonl >/dev/null 2>&1 || fail "nothing written under $HOME_SYNC/pelmora/ at home"
wait_file "$LAPTOP_SYNC/pelmora/*/*.jsonl" 60 >/dev/null
wait_same "$HOME_SYNC/pelmora" "$LAPTOP_SYNC/pelmora" 60

# On the laptop: its own copy offers home's place and says where it was heard.
start_program_in "$LAPTOP" "$LAPTOP/media/lecture-01.mp4"
win=$(wait_window "lecture-01 - Pelmora" 30) || fail "no main window on the laptop"
wait_mpris
sleep 1.5
tree=$(accessibles)
place=$(offered "$tree")
note "offered on the laptop: $place"
about_two_minutes "the place offered on the laptop" "$place"
heard=$(printf '%s\n' "$tree" | grep -o '家のPC で [0-9:]* まで' | head -n1 || true)
note "the bar says: $heard"
[ -n "$heard" ] || fail "the bar does not say the place was heard on 家のPC"
about_two_minutes "the time heard on 家のPC" "0${heard#家のPC で }"

press_button "続きから再生" || fail "the place button cannot be pressed"
sleep 1
focus_keys "$win" alt+o r
records=$(wait_window "再生時間の記録" 10) || fail "no position record window on the laptop"
focus_keys "$records" Return
sleep 0.5
rows=$(record_rows)
note "records on the laptop: $rows"
about_two_minutes "the record made on the laptop" "$rows"
focus_keys "$records" alt+x
close_window "$win"
wait_exit "$PROGRAM_PID" 20

wait_same "$LAPTOP_SYNC/pelmora" "$HOME_SYNC/pelmora" 60

# At home again: the laptop's record is there, and the bar names the laptop.
start_program "$E2E_DIR/講義/第1回.mp4"
win=$(main_window "第1回 - Pelmora")
wait_mpris
sleep 1.5
tree=$(accessibles)
printf '%s\n' "$tree" | grep -q 'ノートPC で [0-9:]* まで' ||
  fail "the bar at home does not say the place was heard on ノートPC"
focus_keys "$win" alt+o r
wait_window "再生時間の記録" 10 >/dev/null || fail "no position record window at home"
rows=$(record_rows)
note "records at home: $rows"
about_two_minutes "the laptop's record at home" "$rows"
echo "PASS"
