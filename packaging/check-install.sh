#!/usr/bin/env bash
# check-install.sh BUILD_DIR APPSTREAM_ID: installs BUILD_DIR into a scratch
# prefix and checks that the tree holds everything a desktop expects and that
# the desktop entry, the AppStream file and the man page pass their checkers.
# Exits 77 (skipped) when a checker is not installed.
set -uo pipefail
build=$1 id=$2

# shellcheck source=tree-checks.sh
source "$(dirname "$0")/tree-checks.sh"
require_tools desktop-file-validate appstreamcli

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install"

check_tree "$prefix" "$id"

finish "install tree"
