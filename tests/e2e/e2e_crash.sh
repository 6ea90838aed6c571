#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The place survives a crash: the built program plays a 10-minute clip under
# Xvfb, is killed with SIGKILL after about 12 seconds, and the next start
# must offer the clip within 5 seconds of where it was. A second program
# started while the first plays offers nothing: a live journal is no crash.
#
# Usage: bash tests/e2e/e2e_crash.sh <path to the built pelmora>
set -u

BIN=${1:-}
NOTICE_CAPTION='レジューム可能なファイルがあります'
PLAY_SECONDS=12
TOLERANCE=5       # the journal is written every 5 s
LATE_MARGIN=1.5   # the loading time between the window appearing and playback

log() { printf 'e2e_crash: %s\n' "$*"; }
fail() {
    printf 'e2e_crash: FAIL: %s\n' "$*" >&2
    exit 1
}

[[ -n "$BIN" && -x "$BIN" ]] || fail "usage: $0 <path to the built pelmora> (got '${BIN}')"
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/pelmora-e2e-crash.XXXXXX") || fail "cannot create a temp dir"
PIDS=()
cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The program keeps its files beside its executable: run a copy in the temp
# dir.
cp "$BIN" "$WORK/pelmora" || fail "cannot copy $BIN"
PROGRAM="$WORK/pelmora"

# --- the clip -------------------------------------------------------------
make_wav() { # 10 minutes of silence, 8 kHz mono 16 bit, without ffmpeg
    local out=$1 rate=8000 seconds=600
    local bytes=$((rate * 2 * seconds))
    le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x$(printf %02x $((($1 >> 16) & 255)))\\x$(printf %02x $((($1 >> 24) & 255)))"; }
    {
        printf 'RIFF'; le32 $((36 + bytes)); printf 'WAVEfmt '
        le32 16; printf '\x01\x00\x01\x00'; le32 $rate; le32 $((rate * 2)); printf '\x02\x00\x10\x00'
        printf 'data'; le32 $bytes
        head -c "$bytes" /dev/zero
    } >"$out"
}

CLIP="$WORK/clip.mp4"
if command -v ffmpeg >/dev/null &&
    ffmpeg -nostdin -loglevel error -y \
        -f lavfi -i testsrc=size=160x120:rate=10 -f lavfi -i sine=frequency=440 -t 600 \
        -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -b:a 32k "$CLIP"; then
    log "made a 10-minute video clip"
else
    CLIP="$WORK/clip.wav"
    make_wav "$CLIP"
    log "ffmpeg unusable: made a 10-minute WAV instead"
fi

# --- the display ----------------------------------------------------------
exec {DISPLAY_FD}>"$WORK/display"
Xvfb -displayfd "$DISPLAY_FD" -screen 0 1024x768x24 -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
PIDS+=($!)
exec {DISPLAY_FD}>&-
for _ in $(seq 100); do
    [[ -s "$WORK/display" ]] && break
    sleep 0.1
done
[[ -s "$WORK/display" ]] || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
export DISPLAY=":$(head -n1 "$WORK/display")"
export QT_QPA_PLATFORM=xcb
export LC_ALL=C.UTF-8
# No session bus: the desktop integration must stay silently absent, and the
# test must not touch the user's own desktop.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$WORK/no-bus"
unset SESSION_MANAGER
log "Xvfb on $DISPLAY"

now() { date +%s.%N; }
# Waits up to $2 seconds for a window whose name matches $1.
wait_window() {
    local pattern=$1 limit=$2 start
    start=$(now)
    while awk -v s="$start" -v n="$(now)" -v l="$limit" 'BEGIN { exit !(n - s < l) }'; do
        xdotool search --name "$pattern" >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    return 1
}
ini_value() { # file section key
    awk -v sec="[$2]" -v key="$3" '
        { sub(/\r$/, "") }
        /^\[/ { in_sec = (tolower($0) == tolower(sec)); next }
        in_sec && index($0, "=") { k = substr($0, 1, index($0, "=") - 1)
                                   if (tolower(k) == tolower(key)) { print substr($0, index($0, "=") + 1); exit } }
    ' "$1"
}

# --- first run: play, then die --------------------------------------------
CLIP_NAME=$(basename "$CLIP")
"$PROGRAM" "$CLIP" >"$WORK/run1.log" 2>&1 &
RUN1=$!
PIDS+=($RUN1)
# Playback starts as the window shows its caption "<name> - Pelmora".
wait_window "^${CLIP_NAME%.*} - Pelmora\$" 60 ||
    fail "the first run showed no window playing the clip: $(tail -n 20 "$WORK/run1.log")"
T0=$(now)
log "playing; killing in ${PLAY_SECONDS} s"
sleep 6
[[ -f "$WORK/Resume.journal" ]] || fail "no journal after 6 s of playing"
# --- meanwhile, a second program: no notice, its own main window ----------
"$PROGRAM" >"$WORK/run-b.log" 2>&1 &
RUNB=$!
PIDS+=($RUNB)
wait_window "^Pelmora\$" 30 || fail "the second program showed no main window: $(tail -n 20 "$WORK/run-b.log")"
! wait_window "$NOTICE_CAPTION" 1 || fail "the second program offered the first one's live journal"
[[ ! -f "$WORK/Resume.ini" ]] || fail "the second program made a resume record of a live journal"
kill -TERM "$RUNB"
wait "$RUNB" 2>/dev/null
[[ -f "$WORK/Resume.journal" ]] || fail "the second program removed the first one's journal"
log "a second program started meanwhile offers nothing"
sleep $((PLAY_SECONDS - 6))
[[ -f "$WORK/Resume.journal" ]] || fail "no journal after ${PLAY_SECONDS} s of playing"
kill -0 "$RUN1" 2>/dev/null || fail "the first run ended by itself: $(tail -n 20 "$WORK/run1.log")"
kill -KILL "$RUN1"
T1=$(now)
wait "$RUN1" 2>/dev/null
PLAYED=$(awk -v a="$T0" -v b="$T1" 'BEGIN { printf "%.2f", b - a }')
log "killed after ${PLAYED} s of playing"
[[ ! -f "$WORK/Resume.ini" ]] || fail "Resume.ini exists although no close ran"

# --- second run: the notice offers the place -------------------------------
"$PROGRAM" >"$WORK/run2.log" 2>&1 &
RUN2=$!
PIDS+=($RUN2)
wait_window "$NOTICE_CAPTION" 60 ||
    fail "no window named '$NOTICE_CAPTION' after the restart: $(tail -n 20 "$WORK/run2.log")"
log "the resume notice is shown"

[[ -f "$WORK/Resume.ini" ]] || fail "the journal was not moved into Resume.ini"
[[ ! -f "$WORK/Resume.journal" ]] || fail "the journal is still there after the recovery"
FILE=$(ini_value "$WORK/Resume.ini" Resume FileName)
SECOND=$(ini_value "$WORK/Resume.ini" Resume Second)
log "Resume.ini: FileName=$FILE Second=$SECOND"
[[ "$FILE" == "$CLIP" ]] || fail "FileName is '$FILE', expected '$CLIP'"
[[ "$SECOND" =~ ^[0-9]+(\.[0-9]+)?$ ]] || fail "Second is not a number: '$SECOND'"
# The journal lags playback by up to its interval; playback started at most
# LATE_MARGIN after the window showed, and never before.
awk -v s="$SECOND" -v p="$PLAYED" -v t="$TOLERANCE" -v m="$LATE_MARGIN" \
    'BEGIN { exit !(s <= p + 0.5 && s >= p - t - m) }' ||
    fail "Second=$SECOND is not within ${TOLERANCE} s of the ${PLAYED} s played"

log "PASS: the next start offers $CLIP_NAME at ${SECOND} s (played ${PLAYED} s)"
exit 0
