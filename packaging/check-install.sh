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
# shellcheck source=tree-checks.sh
source "$(dirname "$0")/tree-checks.sh"

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install"

check_tree "$prefix" "$id"

if [ "$failures" -eq 0 ]; then
  echo "install tree complete and valid"
  exit 0
fi
exit 1
