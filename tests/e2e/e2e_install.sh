#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# An installation under any prefix finds its own help and readme: the build
# is installed into a temporary prefix, the installed program is started from
# an empty directory, and "ヘルプ(&H)" and "Readme(&R)" of the Help menu hand
# the installed documents to the desktop's opener. Qt hands a local file to
# the first xdg-open on PATH (the desktop portal only inside Flatpak or
# Snap), so a stand-in xdg-open there records what it is asked to open. The
# program's MPRIS DesktopEntry names the installed desktop entry.
source "$(dirname "$0")/lib.sh"
build=$(dirname "$E2E_BIN_SRC")
prefix="$E2E_DIR/prefix"
cmake --install "$build" --prefix "$prefix" >"$E2E_DIR/install.log" 2>&1 \
  || { cat "$E2E_DIR/install.log"; fail "cmake --install failed"; }
docs="$prefix/share/pelmora"
[ -f "$docs/readme.txt" ] && [ -f "$docs/pelmora.chm" ] || fail "help and readme not installed"
# Only the installed copy carries this line, so a help page made from it is
# told from one made from the build tree's.
echo "<!-- installed in $prefix -->" >>"$docs/pelmora.chm"

# The stand-in opener, first on PATH.
mkdir -p "$E2E_DIR/stub" "$E2E_DIR/home/.cache" "$E2E_DIR/home/.config" "$E2E_DIR/cwd"
opened="$E2E_DIR/opened.txt"
: >"$opened"
cat >"$E2E_DIR/stub/xdg-open" <<EOF
#!/bin/sh
for arg in "\$@"; do printf '%s\n' "\$arg" >>"$opened"; done
EOF
chmod +x "$E2E_DIR/stub/xdg-open"
export PATH="$E2E_DIR/stub:$PATH"
export HOME="$E2E_DIR/home" XDG_CACHE_HOME="$E2E_DIR/home/.cache" XDG_CONFIG_HOME="$E2E_DIR/home/.config"
unset SNAP

# A private session bus, for the MPRIS look-up.
dbus-daemon --config-file="$E2E_BUS_CONFIG" --fork --nosyslog --print-address=3 --print-pid=4 \
  3>"$E2E_DIR/bus.address" 4>"$E2E_DIR/bus.pid" || fail "no session bus"
E2E_PIDS+=("$(cat "$E2E_DIR/bus.pid")")
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$E2E_DIR/bus.address")
export DBUS_SESSION_BUS_ADDRESS

start_display
( cd "$E2E_DIR/cwd" && exec "$prefix/bin/pelmora" ) >>"$E2E_DIR/program.log" 2>&1 &
PROGRAM_PID=$!
E2E_PIDS+=("$PROGRAM_PID")
main=$(wait_window "^Pelmora$" 30) || fail "no main window"
sleep 1

# The n-th thing the opener was given, as a local path.
opened_path() { # n timeout
  local line=""
  for _ in $(seq 1 $(($2 * 5))); do
    line=$(sed -n "$1p" "$opened")
    [ -n "$line" ] && break
    sleep 0.2
  done
  [ -n "$line" ] || return 1
  line=${line#file://}
  printf '%b\n' "${line//%/\\x}"
}

focus_keys "$main" alt+h h
help=$(opened_path 1 10) || fail "ヘルプ(&H) opened nothing (log: $(cat "$E2E_DIR/program.log"))"
note "help handed over as $help"
[[ "$help" == "$XDG_CACHE_HOME"/* && "$help" == *.html ]] \
  || fail "the help is not an .html copy in the cache: $help"
cmp -s "$help" "$docs/pelmora.chm" || fail "$help is not a copy of the installed help"

focus_keys "$main" alt+h r
readme=$(opened_path 2 10) || fail "Readme(&R) opened nothing"
note "readme handed over as $readme"
[ "$(realpath "$readme")" = "$(realpath "$docs/readme.txt")" ] \
  || fail "the readme handed over is not the installed one: $readme"

entry=$(dbus-send --session --print-reply=literal --dest=org.mpris.MediaPlayer2.pelmora \
          /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Get \
          string:org.mpris.MediaPlayer2 string:DesktopEntry | awk '{print $NF}') \
  || fail "no MPRIS DesktopEntry"
note "MPRIS DesktopEntry $entry"
[ -f "$prefix/share/applications/$entry.desktop" ] \
  || fail "DesktopEntry '$entry' names no installed desktop entry"

kill -TERM "$PROGRAM_PID"
wait_exit "$PROGRAM_PID" 20
echo "PASS"
