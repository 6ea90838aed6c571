# SPDX-License-Identifier: GPL-3.0-or-later
# Shared steps of the end-to-end tests: a private directory holding a copy of
# the program (it keeps its files beside itself), a private Xvfb display, and
# helpers to drive the program with xdotool.
set -euo pipefail

E2E_BIN_SRC="$1"
E2E_DIR=$(mktemp -d /tmp/pelmora-e2e.XXXXXX)
E2E_BIN="$E2E_DIR/pelmora"
E2E_PIDS=()
cp "$E2E_BIN_SRC" "$E2E_BIN"
for doc in readme.txt pelmora.chm; do
  [ -f "$(dirname "$E2E_BIN_SRC")/$doc" ] && cp "$(dirname "$E2E_BIN_SRC")/$doc" "$E2E_DIR/"
done

cleanup() {
  for p in "${E2E_PIDS[@]}"; do kill -KILL "$p" 2>/dev/null || true; done
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
  if [ -n "${E2E_KEEP:-}" ]; then echo "kept $E2E_DIR"; else rm -rf "$E2E_DIR"; fi
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  # What the program said last: the cause of a failure on a machine where it
  # cannot be watched (an abort, a library's complaint).
  if [ -s "$E2E_DIR/program.log" ]; then
    echo "-- the program's last lines:" >&2
    grep -v -E '^ALSA lib|libvdpau|libcuda' "$E2E_DIR/program.log" | tail -n 15 >&2
  fi
  exit 1
}
note() { echo "-- $*"; }

start_display() {
  # -noreset: without it Xvfb resets whenever its last client leaves, and a
  # program started again during the reset cannot open the display.
  local fdfile="$E2E_DIR/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$fdfile" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 1 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
  done
  [ -s "$fdfile" ] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$fdfile")"
  export QT_QPA_PLATFORM=xcb
  unset WAYLAND_DISPLAY
  note "display $DISPLAY"
}

# Starts the program copy with its arguments; PROGRAM_PID holds its pid.
start_program() { start_program_in "$E2E_DIR" "$@"; }

# Another installation: a directory with its own copy of the program, which
# keeps its own files beside itself.
install_copy() { # dir
  mkdir -p "$1"
  cp "$E2E_BIN_SRC" "$1/pelmora"
}

# Starts the copy of the program in the directory; it logs to program.log of
# $E2E_DIR, as the first copy does.
start_program_in() { # dir args...
  local dir="$1"; shift
  ( cd "$dir" && exec "$dir/pelmora" "$@" ) >>"$E2E_DIR/program.log" 2>&1 &
  PROGRAM_PID=$!
  E2E_PIDS+=("$PROGRAM_PID")
}

# Waits for a window whose name matches; prints its id.
wait_window() {
  local name="$1" timeout="${2:-30}" id=""
  for _ in $(seq 1 $((timeout * 5))); do
    id=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# Waits for the process to end; fails after the timeout.
wait_exit() {
  local pid="$1" timeout="${2:-20}"
  for _ in $(seq 1 $((timeout * 5))); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.2
  done
  # What held it: the windows still shown, and where each thread stands.
  echo "-- windows still shown:" >&2
  for w in $(xdotool search --onlyvisible --name "." 2>/dev/null); do
    echo "   $(xdotool getwindowname "$w" 2>/dev/null)" >&2
  done
  if command -v gdb >/dev/null; then
    # The GUI thread first.
    timeout 30 gdb -p "$pid" -batch -ex "thread 1" -ex "bt 25" -ex "thread apply all bt 6" \
      2>/dev/null | grep -E "^Thread|^#" | head -n 150 >&2 || true
  fi
  fail "the program did not end within ${timeout}s"
}

focus_keys() {
  local id="$1"; shift
  xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
  sleep 0.3
  for k in "$@"; do
    xdotool key --clearmodifiers "$k"
    sleep 0.4
  done
}

ini_value() { # file section key
  awk -v s="[$2]" -v k="$3" 'BEGIN{IGNORECASE=1} {sub(/\r$/,"")} /^\[/{in_s=(tolower($0)==tolower(s))} in_s && index($0,"=") {split($0,a,"="); if (tolower(a[1])==tolower(k)) {print substr($0, length(a[1])+2); exit}}' "$1"
}

make_clip() { # path seconds
  ffmpeg -loglevel error -y -f lavfi -i "testsrc=size=160x120:rate=10" \
    -f lavfi -i "sine=frequency=440:sample_rate=8000" -t "$2" \
    -c:v libx264 -preset ultrafast -g 50 -c:a aac -b:a 32k "$1" \
    || fail "ffmpeg could not make $1"
}

shot() { import -window root "$1" 2>/dev/null || true; }

# The status bar of a window, as a picture.
status_shot() { # window-id path
  import -window "$1" "$2.full.png" 2>/dev/null || fail "cannot take a screenshot"
  convert "$2.full.png" -gravity SouthWest -crop 420x17+0+0 +repage "$2"
}

# The configuration of the tests' own session buses: no service directories,
# so nothing installed on the machine (a desktop portal) starts on them.
E2E_BUS_CONFIG="$(cd "$(dirname "${BASH_SOURCE[0]}")/../support" && pwd)/session-bus.conf"

# A private session bus (and the accessibility bus on it, for AT-SPI).
start_bus() {
  eval "$(dbus-launch --config-file="$E2E_BUS_CONFIG" --sh-syntax)"
  E2E_PIDS+=("$DBUS_SESSION_BUS_PID")
  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
  if [ -x /usr/libexec/at-spi-bus-launcher ]; then
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
    E2E_PIDS+=("$!")
  fi
}

mpris() { # method args... on the program's MPRIS object
  gdbus call --session --dest org.mpris.MediaPlayer2.pelmora \
    --object-path /org/mpris/MediaPlayer2 --method "$@"
}

# The playback rate through MPRIS, and a check of it.
rate() {
  mpris org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player Rate |
    sed -n 's/^(<\([0-9.]*\)>,)$/\1/p'
}
expect_rate() { # wanted what
  local r
  r=$(rate)
  awk -v r="$r" -v w="$1" 'BEGIN{exit !(r != "" && r - w < 0.001 && w - r < 0.001)}' ||
    fail "Rate is '$r' for $2, not $1"
  note "$2: rate $r"
}
open_uri() { # path window-name
  mpris org.mpris.MediaPlayer2.Player.OpenUri "file://$1" >/dev/null || fail "OpenUri $1"
  wait_window "$2" 10 >/dev/null || fail "no window '$2'"
  sleep 0.5
}

wait_mpris() {
  for _ in $(seq 1 100); do
    mpris org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "no MPRIS object on the bus"
}

# Asks a window to close as its close box does (WM_DELETE_WINDOW).
close_window() { # window-id
  /usr/bin/python3 - "$1" <<'PY'
import ctypes, os, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
d = x.XOpenDisplay(os.environ["DISPLAY"].encode())
class Event(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
w = int(sys.argv[1])
e = Event(type=33, send_event=1, display=d, window=w, format=32)
e.message_type = x.XInternAtom(ctypes.c_void_p(d), b"WM_PROTOCOLS", 0)
e.data[0] = x.XInternAtom(ctypes.c_void_p(d), b"WM_DELETE_WINDOW", 0)
x.XSendEvent(ctypes.c_void_p(d), ctypes.c_ulong(w), 0, ctypes.c_long(0), ctypes.byref(e))
# A round trip, not a flush: the server has taken the event before this
# connection ends (requests still unread when a client goes may be dropped,
# and the close never arrives on a busy machine).
x.XSync(ctypes.c_void_p(d), 0)
x.XCloseDisplay(ctypes.c_void_p(d))
PY
}

# AT-SPI: prints "role<TAB>name<TAB>description" of every accessible of the
# program.
accessibles() {
  timeout 20 /usr/bin/python3 - <<'PY'
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi
def walk(node):
    try:
        print(f"{node.get_role_name()}\t{node.get_name()}\t{node.get_description()}")
        for i in range(node.get_child_count()):
            walk(node.get_child_at_index(i))
    except Exception:
        pass
desktop = Atspi.get_desktop(0)
for i in range(desktop.get_child_count()):
    app = desktop.get_child_at_index(i)
    if app is not None and app.get_name() == "pelmora":
        walk(app)
PY
}

# AT-SPI: finds the accessible (a push button, or another role) whose name
# starts with the text, and then
#   at:    prints its centre on the screen, "x y";
#   press: presses it (a button with a menu opens the menu);
#   focus: gives it the keyboard focus.
accessible() { # at|press name-prefix [role]
  timeout 20 /usr/bin/python3 - "$1" "$2" "${3:-push button}" <<'PY'
import sys, gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi
what, prefix, role = sys.argv[1:4]
def find(node):
    if node.get_role_name() == role and (node.get_name() or "").startswith(prefix):
        return node
    for i in range(node.get_child_count()):
        hit = find(node.get_child_at_index(i))
        if hit:
            return hit
desktop = Atspi.get_desktop(0)
for i in range(desktop.get_child_count()):
    app = desktop.get_child_at_index(i)
    hit = find(app) if app is not None and app.get_name() == "pelmora" else None
    if not hit:
        continue
    if what == "at":
        box = hit.get_extents(Atspi.CoordType.SCREEN)
        print(box.x + box.width // 2, box.y + box.height // 2)
    elif what == "focus":
        sys.exit(0 if hit.get_component_iface().grab_focus() else 1)
    else:
        hit.get_action_iface().do_action(0)
    sys.exit(0)
sys.exit(1)
PY
}

press_button() { accessible press "$@"; }

# AT-SPI: prints "role<TAB>name" of the program's accessible that has the
# keyboard focus.
focused() {
  timeout 20 /usr/bin/python3 - <<'PY'
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi
def find(node):
    try:
        if node.get_state_set().contains(Atspi.StateType.FOCUSED):
            return node
        for i in range(node.get_child_count()):
            hit = find(node.get_child_at_index(i))
            if hit:
                return hit
    except Exception:
        return None
desktop = Atspi.get_desktop(0)
for i in range(desktop.get_child_count()):
    app = desktop.get_child_at_index(i)
    if app is not None and app.get_name() == "pelmora":
        hit = find(app)
        if hit:
            print(f"{hit.get_role_name()}\t{hit.get_name()}")
PY
}

# Clicks where the accessible lies.
click_on() { # name-prefix [role]
  local at
  at=$(accessible at "$@") || return 1
  xdotool mousemove $at click 1
}
