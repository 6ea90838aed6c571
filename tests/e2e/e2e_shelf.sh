#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The course shelf as a student meets it: of a course of three recordings,
# 第1回 is heard to its end, 第2回 left at about 1:00 and 第10回 begun. The
# shelf, opened from the control bar's "学習" menu, reads through AT-SPI
# "1 of 3 heard" and the next recording, 第2回 at its place (natural order:
# 第2回 before 第10回), and the exam set a month ahead in the folder
# settings with the time per day; Enter there opens 第2回 at that place
# (MPRIS).
source "$(dirname "$0")/lib.sh"
start_display
start_bus
course="$E2E_DIR/民法講座"
mkdir -p "$course"
make_clip "$course/第1回.mp4" 3
make_clip "$course/第2回.mp4" 120
make_clip "$course/第10回.mp4" 90 # (not the same recording as 第2回)

status() { mpris org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player PlaybackStatus; }
wait_status() { # status seconds
  for _ in $(seq 1 $(($2 * 10))); do
    [ "$(status)" = "(<'$1'>,)" ] && return 0
    sleep 0.1
  done
  fail "not $1 within $2 s but $(status)"
}
position() { # seconds, whole
  mpris org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player Position |
    sed -n 's/^(<\(int64 \)\{0,1\}\([0-9]*\)>,)$/\2/p' | awk '{printf "%d", $1 / 1000000}'
}
playing_url() {
  mpris org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player Metadata |
    sed -n "s/.*'xesam:url': <'\([^']*\)'>.*/\1/p" |
    /usr/bin/python3 -c 'import sys, urllib.parse; print(urllib.parse.unquote(sys.stdin.read().strip()))'
}

start_program "$course/第1回.mp4"
win=$(wait_window "第1回 - Pelmora" 30) || fail "no main window"
wait_mpris
wait_status Playing 10
wait_status Stopped 15
note "第1回 heard to its end"
open_uri "$course/第2回.mp4" "第2回 - Pelmora"
wait_status Playing 10
mpris org.mpris.MediaPlayer2.Player.Seek 60000000 >/dev/null
sleep 1
mpris org.mpris.MediaPlayer2.Player.Pause >/dev/null
wait_status Paused 5
left=$(position)
note "第2回 left at $left s"
open_uri "$course/第10回.mp4" "第10回 - Pelmora"
sleep 2

# Tab from the picture to the control bar's "学習" button.
to_study() {
  focus_keys "$win" Escape
  for _ in $(seq 1 14); do
    [ "$(focused)" = $'push button\t学習' ] && return 0
    focus_keys "$win" Tab
  done
  fail "Tab never reached the 学習 button"
}
# The course's exam: "試験日を決める" in the folder settings (the fourth
# entry) gives a date a month ahead; OK keeps it.
to_study
focus_keys "$win" Return Down Down Down Down Return
settings=$(wait_window "^このフォルダーの再生設定" 10) || fail "no folder settings"
sleep 0.5
focus_keys "$settings" Tab Tab Tab Tab Tab space Return
sleep 0.5
# The shelf: the fifth entry.
to_study
focus_keys "$win" Return Down Down Down Down Down Return
shelf=$(wait_window "^講座一覧" 10) || fail "the 学習 menu did not open 講座一覧"
sleep 1.5
cells=$(accessibles | grep -E $'^table cell\t' || true)
note "$(cut -f2 <<<"$cells" | tr '\n' '|')"
grep -q $'\t講座 民法講座' <<<"$cells" || fail "no row of the course"
grep -q $'\t3 ファイル中 1 ファイルを聞き終えました' <<<"$cells" ||
  fail "the row does not say 1 of 3 heard"
next=$(grep -m1 $'\t次のファイル ' <<<"$cells" | cut -f2 || true)
grep -q "第2回.mp4（0:01:[0-9][0-9] から）" <<<"$next" ||
  fail "the next recording is not 第2回 at its place: '$next'"

exam=$(grep -m1 $'\t試験まで ' <<<"$cells" | cut -f2 || true)
grep -qE '^試験まで (28|29|30|31) 日、1 日 [0-9]+ 分$' <<<"$exam" ||
  fail "the row does not tell the exam a month ahead: '$exam'"

# The README's picture of the window (E2E_SHOTS: where it goes).
if [ -n "${E2E_SHOTS:-}" ]; then
  import -window "$shelf" "$E2E_SHOTS/shelf.png" 2>/dev/null || fail "cannot take a screenshot"
fi
focus_keys "$shelf" Return
wait_window "第2回 - Pelmora" 10 >/dev/null || fail "Enter did not open 第2回"
sleep 1
url=$(playing_url)
[ "$url" = "file://$course/第2回.mp4" ] || fail "MPRIS plays '$url', not 第2回"
at=$(position)
note "continued at $at s"
[ "$at" -ge $((left - 12)) ] && [ "$at" -le $((left + 3)) ] ||
  fail "第2回 went on at $at s, not at its place ($left s)"
close_window "$win"
wait_exit "$PROGRAM_PID" 20
echo "PASS"
