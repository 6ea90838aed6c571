# SPDX-License-Identifier: GPL-3.0-or-later
# Two Syncthing daemons on this machine that keep one folder in sync between
# two places, as two computers would; sourced after lib.sh. Everything stays
# on 127.0.0.1: no discovery, no relays, no NAT, no reports, no upgrades.
#   syncthing_pair DIR_A DIR_B  makes both homes under $E2E_DIR, shares the
#                               folder DIR_A (one side) / DIR_B (the other),
#                               starts both and waits until they are connected
#   wait_file GLOB SECONDS      waits for a non-empty file; prints its path
#   wait_same FROM TO SECONDS   waits until every file under FROM is under TO
#                               with the same content
#   stop_syncthing              ends both daemons (lib.sh's cleanup does too)
# A failure shows the daemons' last log lines ($E2E_DIR/syncthing-[ab].log).

SYNCTHING_PIDS=()

syncthing_fail() {
  local side
  for side in a b; do
    if [ -s "$E2E_DIR/syncthing-$side.log" ]; then
      echo "-- syncthing $side, its last lines:" >&2
      tail -n 8 "$E2E_DIR/syncthing-$side.log" >&2
    fi
  done
  fail "$@"
}

# Makes the home of one daemon (its key, certificate and config); prints its
# device id.
syncthing_home() { # home
  HOME="$1" syncthing generate --home="$1" --no-default-folder --skip-port-probing \
    >"$1.generate.log" 2>&1 || { cat "$1.generate.log" >&2; fail "syncthing generate failed"; }
  syncthing --home="$1" --device-id || fail "no device id for $1"
}

# Writes the config of one side: this device and the other, each at its
# loopback address, and the one shared folder.
syncthing_config() { # home folder gui-port id-self port-self id-other port-other
  /usr/bin/python3 - "$@" <<'PY' || fail "cannot write the Syncthing config in $1"
import sys
import xml.etree.ElementTree as ET
home, folder, gui_port, me, my_port, other, other_port = sys.argv[1:8]
path = f"{home}/config.xml"
tree = ET.parse(path)
root = tree.getroot()

for old in root.findall("folder") + root.findall("device"):
    root.remove(old)

def text(parent, tag, value):
    node = parent.find(tag)
    if node is None:
        node = ET.SubElement(parent, tag)
    node.text = value

# Folders and devices come before <gui> in the file Syncthing writes.
at = list(root).index(root.find("gui"))
folder_node = ET.Element("folder", {
    "id": "pelmora-e2e", "label": "pelmora-e2e", "path": folder,
    "type": "sendreceive", "rescanIntervalS": "3600",
    "fsWatcherEnabled": "true", "fsWatcherDelayS": "1",
    "ignorePerms": "false", "autoNormalize": "true"})
text(folder_node, "filesystemType", "basic")
for device in (me, other):
    ET.SubElement(folder_node, "device", {"id": device, "introducedBy": ""})
root.insert(at, folder_node)
for i, (device, port, name) in enumerate(((me, my_port, "self"), (other, other_port, "other"))):
    node = ET.Element("device", {"id": device, "name": name, "compression": "metadata",
                                 "introducer": "false", "skipIntroductionRemovals": "false",
                                 "introducedBy": ""})
    text(node, "address", f"tcp://127.0.0.1:{port}")
    text(node, "paused", "false")
    text(node, "autoAcceptFolders", "false")
    root.insert(at + 1 + i, node)

gui = root.find("gui")
gui.set("enabled", "true")
gui.set("tls", "false")
text(gui, "address", f"127.0.0.1:{gui_port}")

options = root.find("options")
for tag, value in {
    "listenAddress": f"tcp://127.0.0.1:{my_port}",
    "globalAnnounceEnabled": "false",
    "localAnnounceEnabled": "false",
    "relaysEnabled": "false",
    "natEnabled": "false",
    "startBrowser": "false",
    "crashReportingEnabled": "false",
    "urAccepted": "-1",
    "autoUpgradeIntervalH": "0",
}.items():
    text(options, tag, value)
tree.write(path, encoding="utf-8")
PY
}

# Free TCP ports on 127.0.0.1, one a line.
free_ports() { # count
  /usr/bin/python3 - "$1" <<'PY'
import socket, sys
held = []
for _ in range(int(sys.argv[1])):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    held.append(s)
for s in held:
    print(s.getsockname()[1])
    s.close()
PY
}

# Asks one daemon's REST interface; prints the answer.
syncthing_rest() { # a|b path
  local port key
  if [ "$1" = a ]; then port=$SYNCTHING_GUI_A key=$SYNCTHING_KEY_A; else port=$SYNCTHING_GUI_B key=$SYNCTHING_KEY_B; fi
  /usr/bin/python3 - "$port" "$key" "$2" <<'PY'
import sys, urllib.request
port, key, path = sys.argv[1:4]
req = urllib.request.Request(f"http://127.0.0.1:{port}{path}", headers={"X-API-Key": key})
with urllib.request.urlopen(req, timeout=3) as answer:
    sys.stdout.write(answer.read().decode())
PY
}

# Whether this side sees the other as connected.
syncthing_connected() { # a|b other-id
  syncthing_rest "$1" /rest/system/connections 2>/dev/null |
    /usr/bin/python3 -c 'import json, sys; sys.exit(0 if json.load(sys.stdin)["connections"].get(sys.argv[1], {}).get("connected") else 1)' "$2" 2>/dev/null
}

syncthing_pair() { # folder-a folder-b
  command -v syncthing >/dev/null ||
    fail "syncthing is not installed (scripts/deps --test installs it)"
  local home_a="$E2E_DIR/syncthing-a" home_b="$E2E_DIR/syncthing-b" id_a id_b ports
  local folder
  # Syncthing adds its folder marker (.stfolder) at its first start.
  for folder in "$1" "$2"; do mkdir -p "$folder"; done
  id_a=$(syncthing_home "$home_a")
  id_b=$(syncthing_home "$home_b")
  [ -n "$id_a" ] && [ -n "$id_b" ] || fail "no Syncthing device ids"
  mapfile -t ports < <(free_ports 4)
  [ ${#ports[@]} -eq 4 ] || fail "no free ports for Syncthing"
  SYNCTHING_GUI_A=${ports[0]} SYNCTHING_GUI_B=${ports[1]}
  syncthing_config "$home_a" "$1" "${ports[0]}" "$id_a" "${ports[2]}" "$id_b" "${ports[3]}"
  syncthing_config "$home_b" "$2" "${ports[1]}" "$id_b" "${ports[3]}" "$id_a" "${ports[2]}"
  SYNCTHING_KEY_A=$(sed -n 's:.*<apikey>\(.*\)</apikey>.*:\1:p' "$home_a/config.xml")
  SYNCTHING_KEY_B=$(sed -n 's:.*<apikey>\(.*\)</apikey>.*:\1:p' "$home_b/config.xml")

  # "syncthing serve" is a monitor process that runs the daemon as its child
  # and passes SIGTERM on; a SIGKILL to the monitor alone leaves the child
  # running, so both pids are kept.
  local side home monitor child
  for side in a b; do
    home="$E2E_DIR/syncthing-$side"
    HOME="$home" STNODEFAULTFOLDER=1 STNOUPGRADE=1 STNORESTART=1 \
      syncthing serve --home="$home" --no-browser --no-restart --no-upgrade \
      >"$E2E_DIR/syncthing-$side.log" 2>&1 &
    monitor=$!
    SYNCTHING_PIDS+=("$monitor")
    E2E_PIDS+=("$monitor")
    child=""
    for _ in $(seq 1 100); do
      child=$(pgrep -P "$monitor" | head -n1 || true)
      [ -n "$child" ] && break
      kill -0 "$monitor" 2>/dev/null || break
      sleep 0.1
    done
    [ -n "$child" ] || syncthing_fail "Syncthing ($side) did not start its daemon"
    SYNCTHING_PIDS+=("$child")
    E2E_PIDS+=("$child")
  done

  local t0 i
  t0=$(date +%s.%N)
  for i in $(seq 1 150); do
    syncthing_connected a "$id_b" && syncthing_connected b "$id_a" && break
    for p in "${SYNCTHING_PIDS[@]}"; do
      kill -0 "$p" 2>/dev/null || syncthing_fail "a Syncthing daemon ended"
    done
    sleep 0.2
  done
  [ "$i" -lt 150 ] || syncthing_fail "the two Syncthing daemons did not connect within 30 s"
  note "syncthing: connected after $(awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN{printf "%.1f", b-a}') s"
}

stop_syncthing() {
  local p
  for p in "${SYNCTHING_PIDS[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  for p in "${SYNCTHING_PIDS[@]}"; do
    for _ in $(seq 1 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$p" 2>/dev/null || true
  done
  SYNCTHING_PIDS=()
}

# Files Syncthing is still writing (.syncthing.NAME.tmp) and its conflict
# copies (NAME.sync-conflict-...) are not the files themselves.
_SYNC_SKIP='(^|/)(\.syncthing\..*\.tmp|~syncthing~.*\.tmp)$|\.sync-conflict-'

wait_file() { # glob seconds
  local t0 i hit
  t0=$(date +%s.%N)
  for i in $(seq 1 $(($2 * 5))); do
    hit=$(/usr/bin/python3 - "$1" "$_SYNC_SKIP" <<'PY'
import glob, os, re, sys
skip = re.compile(sys.argv[2])
for path in sorted(glob.glob(sys.argv[1])):
    if os.path.isfile(path) and os.path.getsize(path) > 0 and not skip.search(path):
        print(path)
        break
PY
)
    if [ -n "$hit" ]; then
      note "synced after $(awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN{printf "%.1f", b-a}') s: $hit" >&2
      echo "$hit"
      return 0
    fi
    sleep 0.2
  done
  syncthing_fail "no file $1 within $2 s"
}

wait_same() { # from to seconds
  local t0 i missing
  t0=$(date +%s.%N)
  for i in $(seq 1 $(($3 * 5))); do
    missing=$(/usr/bin/python3 - "$1" "$2" "$_SYNC_SKIP" <<'PY'
import filecmp, os, re, sys
src, dst, skip = sys.argv[1], sys.argv[2], re.compile(sys.argv[3])
files = 0
for base, dirs, names in os.walk(src):
    for name in names:
        rel = os.path.relpath(os.path.join(base, name), src)
        if skip.search(rel):
            continue
        files += 1
        there = os.path.join(dst, rel)
        if not os.path.isfile(there) or not filecmp.cmp(os.path.join(src, rel), there, shallow=False):
            print(rel)
            sys.exit(0)
if files == 0:
    print("(nothing under the source)")
PY
)
    if [ -z "$missing" ]; then
      note "synced after $(awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN{printf "%.1f", b-a}') s: $1 -> $2"
      return 0
    fi
    sleep 0.2
  done
  syncthing_fail "$2 did not receive $1 within $3 s: $missing"
}
