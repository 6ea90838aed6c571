#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A check of the two-Syncthing harness (syncthing.sh) on its own, without the
# program: a file written on one side reaches the other, and back. Run by
# hand: bash tests/e2e/sync_harness.sh
source "$(dirname "$0")/lib.sh" "${1:-/bin/true}"
source "$(dirname "$0")/syncthing.sh"

t0=$(date +%s.%N)
syncthing_pair "$E2E_DIR/a/同期" "$E2E_DIR/b/同期"
mkdir -p "$E2E_DIR/a/同期/pelmora/device-a"
printf '{"n":1}\n' >"$E2E_DIR/a/同期/pelmora/device-a/places.jsonl"
got=$(wait_file "$E2E_DIR/b/同期/pelmora/*/*.jsonl" 60)
[ "$(cat "$got")" = '{"n":1}' ] || fail "the file came with other content: $(cat "$got")"
printf '{"n":2}\n' >>"$E2E_DIR/a/同期/pelmora/device-a/places.jsonl"
wait_same "$E2E_DIR/a/同期/pelmora" "$E2E_DIR/b/同期/pelmora" 60
mkdir -p "$E2E_DIR/b/同期/pelmora/device-b"
printf '{"n":3}\n' >"$E2E_DIR/b/同期/pelmora/device-b/records.jsonl"
wait_same "$E2E_DIR/b/同期/pelmora" "$E2E_DIR/a/同期/pelmora" 60
pids=("${SYNCTHING_PIDS[@]}")
stop_syncthing
for p in "${pids[@]}"; do ! kill -0 "$p" 2>/dev/null || fail "Syncthing $p still runs"; done
! ss -ltnp 2>/dev/null | grep -q syncthing || fail "Syncthing still listens"
note "all in $(awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN{printf "%.1f", b-a}') s"
echo "PASS"
