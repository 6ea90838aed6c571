#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every media type the program claims (resources/mimetypes.txt) is a
# canonical name of the installed shared-mime-info: listed in its types, not
# an alias of another name, and no playlist format. Usage: mimetypes.sh SOURCE_DIR
set -euo pipefail
list="$1/resources/mimetypes.txt"
mime=${MIME_DIR:-/usr/share/mime}
[ -s "$mime/types" ] || { echo "FAIL: no shared-mime-info database in $mime"; exit 1; }

bad=0 count=0
while read -r type; do
  count=$((count + 1))
  if ! grep -qxF "$type" "$mime/types"; then
    canonical=$(awk -v t="$type" '$1 == t { print $2 }' "$mime/aliases")
    if [ -n "$canonical" ]; then
      echo "FAIL: $type is an alias of $canonical"
    else
      echo "FAIL: shared-mime-info does not know $type"
    fi
    bad=1
  fi
  # The playlist formats shared-mime-info knows (the program refuses them).
  for playlist in audio/x-mpegurl audio/x-scpls audio/x-ms-asx video/vnd.mpegurl \
                  application/vnd.apple.mpegurl application/xspf+xml audio/x-iriver-pla \
                  application/x-cue; do
    [ "$type" = "$playlist" ] && { echo "FAIL: $type is a playlist"; bad=1; }
  done
done < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' -e '/^$/d' "$list")

[ "$count" -gt 0 ] || { echo "FAIL: $list names no type"; exit 1; }
[ "$bad" -eq 0 ] || exit 1
echo "$count media types, all canonical in shared-mime-info $(cat "$mime/version" 2>/dev/null || true)"
echo "PASS"
