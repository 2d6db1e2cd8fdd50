#!/usr/bin/env bash
# check-install.sh BUILD_DIR APPSTREAM_ID: installs BUILD_DIR into a scratch
# prefix and checks that the tree holds everything a desktop expects and that
# the desktop entry, the AppStream file and the man page pass their checkers.
# Exits 77 (skipped) when a checker is not installed.
set -uo pipefail
build=$1 id=$2

for tool in desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (./test installs it)"
    exit 77
  fi
done

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install"

for program in mirrorvane mirrorvane-cli; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is missing or not executable"
done

# The PNG header holds the width and height as 32-bit big-endian numbers at bytes 16 to 23.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $3*256+$4, $7*256+$8 }'; }
for size in 16 24 32 48 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/mirrorvane.png
  if [ ! -f "$icon" ]; then
    fail "no ${size}x${size} icon"
  elif [ "$(png_size "$icon")" != "${size}x${size}" ]; then
    fail "the ${size}x${size} icon is $(png_size "$icon")"
  fi
done

desktop=$prefix/share/applications/mirrorvane.desktop
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
  grep -qx 'Exec=mirrorvane %f' "$desktop" || fail "the desktop entry does not start mirrorvane with the file"
else
  fail "no desktop entry"
fi

metainfo=$prefix/share/metainfo/$id.metainfo.xml
if [ -f "$metainfo" ]; then
  appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli validate"
else
  fail "no AppStream file"
fi

for page in mirrorvane mirrorvane-cli; do
  manpage=$prefix/share/man/man1/$page.1
  if [ ! -f "$manpage" ]; then
    fail "no man page for $page"
  elif command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$manpage" 2>&1)
    [ -z "$warnings" ] || fail "$page man page: $warnings"
  fi
done

if [ "$failures" -eq 0 ]; then
  echo "install tree complete and valid"
  exit 0
fi
exit 1
