#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a build tree (cpack -G DEB) and checks it:
# lintian reports no error, the desktop entry passes desktop-file-validate,
# the AppStream metadata passes `appstreamcli validate --no-net`, and the
# three agree on the program's id and icon. Usage: deb.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d /tmp/pelmora-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack could not build the package"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$work/out/pelmora_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { ls "$work/out"; fail "no $(basename "$deb")"; }
echo "-- built $(basename "$deb")"
dpkg-deb -I "$deb" | sed -n 's/^ \(Depends\|Recommends\):/  &/p'

# dpkg-shlibdeps found the libraries the program links.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libmpv2 libqt6widgets6 libc6; do
  [[ "$depends" == *"$lib "* ]] || fail "Depends lacks $lib: $depends"
done

echo "-- lintian"
status=0
lintian --fail-on error --display-info "$deb" >"$work/lintian.log" 2>&1 || status=$?
grep -v 'running with root privileges' "$work/lintian.log" || true
[ "$status" -eq 0 ] && ! grep -q '^E: ' "$work/lintian.log" || fail "lintian reports errors"

dpkg-deb -x "$deb" "$work/root"
share="$work/root/usr/share"
desktops=("$share"/applications/*.desktop)
[ ${#desktops[@]} -eq 1 ] && [ -f "${desktops[0]}" ] || fail "not exactly one desktop entry"
desktop=${desktops[0]}
id=$(basename "$desktop" .desktop)
metainfo="$share/metainfo/$id.metainfo.xml"
[ -f "$metainfo" ] || fail "no AppStream metadata named after the desktop entry $id"

echo "-- desktop-file-validate $(basename "$desktop")"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
echo "-- appstreamcli validate --no-net $(basename "$metainfo")"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"

# The metadata names this entry; the entry's icon and program are shipped.
grep -q "<id>$id</id>" "$metainfo" || fail "the metadata's id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
  || fail "the metadata does not launch $id.desktop"
icon=$(sed -n 's/^Icon=//p' "$desktop")
exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$work/root/usr/bin/$exec" ] || fail "Exec=$exec is not in /usr/bin"
for size in 16 24 32 48 64 128 256; do
  png="$share/icons/hicolor/${size}x${size}/apps/$icon.png"
  [ -f "$png" ] || fail "no ${size}x${size} icon $icon.png"
  file -b "$png" | grep -q "PNG image data, $size x $size" || fail "$png: $(file -b "$png")"
done
[ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon.svg"
for doc in readme.txt pelmora.chm; do
  [ -s "$share/pelmora/$doc" ] || fail "no $doc in /usr/share/pelmora"
done
echo "PASS"
