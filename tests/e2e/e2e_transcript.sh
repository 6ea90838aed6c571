#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Reading along: the key T opens the transcript of a lecture with a Japanese
# subtitle file beside it; its rows are read through AT-SPI; a word typed in
# katakana finds exactly the cue written in hiragana; Enter moves playback to
# that cue's start, read back over MPRIS.
source "$(dirname "$0")/lib.sh"
start_display
start_bus
make_clip "$E2E_DIR/lecture.mp4" 60
cat >"$E2E_DIR/lecture.ja.srt" <<'SRT'
1
00:00:01,000 --> 00:00:05,000
今日は<i>講義</i>の始めです

2
00:00:12,500 --> 00:00:16,000
かたかなの書き方を学びます

3
00:00:25,000 --> 00:00:30,000
次は漢字の話です

4
00:00:40,000 --> 00:00:45,000
カタログを見てください
SRT

start_program "$E2E_DIR/lecture.mp4"
win=$(wait_window "lecture - Pelmora" 30) || fail "no main window"
wait_mpris
status() { mpris org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player PlaybackStatus; }
for _ in $(seq 1 50); do
  [ "$(status)" = "(<'Playing'>,)" ] && break
  sleep 0.1
done
mpris org.mpris.MediaPlayer2.Player.Pause >/dev/null
sleep 0.3
[ "$(status)" = "(<'Paused'>,)" ] || fail "the lecture did not pause: $(status)"

focus_keys "$win" t
transcript=$(wait_window "文字起こし - lecture" 10) || fail "T opened no transcript window"
# The transcript's rows: list items that start with a time.
rows() { accessibles | awk -F'\t' '$1 == "list item" && $2 ~ /^[0-9]+:[0-9][0-9]:[0-9][0-9] / {print $2}'; }
for _ in $(seq 1 20); do
  [ "$(rows | wc -l)" -eq 4 ] && break
  sleep 0.2
done
listed=$(rows)
note "rows: $(printf '%s' "$listed" | tr '\n' '|')"
[ "$(printf '%s\n' "$listed" | wc -l)" -eq 4 ] || fail "not four rows"
printf '%s\n' "$listed" | grep -qx "00:00:01 今日は講義の始めです" || fail "the first row is not '00:00:01 今日は講義の始めです'"

# The search field has the focus when the window opens; typed in katakana.
[ "$(focused | cut -f2)" = "検索" ] || click_on "検索" text || fail "no search field"
xdotool type --delay 80 "カタカナ"
sleep 0.5
found=$(rows)
if [ "$found" != "00:00:12 かたかなの書き方を学びます" ]; then
  # Keyboards without kana: set the field's text as an input method would.
  note "typed: '$found'; setting the text through AT-SPI"
  timeout 20 /usr/bin/python3 - <<'PY'
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi
def find(node):
    if node.get_role_name() == "text" and node.get_name() == "検索":
        return node
    for i in range(node.get_child_count()):
        hit = find(node.get_child_at_index(i))
        if hit:
            return hit
desktop = Atspi.get_desktop(0)
for i in range(desktop.get_child_count()):
    app = desktop.get_child_at_index(i)
    if app is not None and app.get_name() == "pelmora":
        hit = find(app)
        if hit:
            hit.get_editable_text_iface().set_text_contents("カタカナ")
PY
  sleep 0.5
  found=$(rows)
fi
note "found: $found"
[ "$found" = "00:00:12 かたかなの書き方を学びます" ] || fail "katakana did not find exactly the hiragana cue"

shot "$E2E_DIR/transcript.png"
# The main window and the transcript beside it: the box around both.
if [ -n "${E2E_SHOTS:-}" ]; then
  box=$( (xdotool getwindowgeometry --shell "$win"; xdotool getwindowgeometry --shell "$transcript") |
    awk -F= 'BEGIN{n=0} /^X=/{x[n]=$2} /^Y=/{y[n]=$2} /^WIDTH=/{w[n]=$2} /^HEIGHT=/{h[n]=$2; n++}
      END{l=x[0]<x[1]?x[0]:x[1]; t=y[0]<y[1]?y[0]:y[1]; r=x[0]+w[0]>x[1]+w[1]?x[0]+w[0]:x[1]+w[1];
          b=y[0]+h[0]>y[1]+h[1]?y[0]+h[0]:y[1]+h[1]; printf "%dx%d+%d+%d", r-l, b-t, l, t}')
  convert "$E2E_DIR/transcript.png" -crop "$box" +repage "$E2E_SHOTS/transcript.png"
fi

focus_keys "$transcript" Return
sleep 0.5
position=$(mpris org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player Position |
  sed -n 's/.*int64 \([0-9]*\).*/\1/p')
note "position after Enter: $position us"
awk -v p="$position" 'BEGIN{exit !(p >= 12300000 && p <= 12700000)}' ||
  fail "Enter did not move to 12.5 s (position $position us)"
[ "$(status)" = "(<'Paused'>,)" ] || fail "the paused lecture did not stay paused: $(status)"

close_window "$win"
wait_exit "$PROGRAM_PID" 20
echo "PASS"
