#!/usr/bin/env bash
# check-package.sh DEB APPSTREAM_ID: unpacks the Debian package DEB into a
# scratch root, checks its control fields and the tree it installs, and runs
# lintian on it when lintian is installed (errors fail; warnings are shown,
# and the README's packaging section explains each one that is expected).
set -uo pipefail
deb=$1 id=$2

if [ ! -f "$deb" ]; then
  echo "FAIL: no package at $deb"
  exit 1
fi
# shellcheck source=tree-checks.sh
source "$(dirname "$0")/tree-checks.sh"
require_tools dpkg-deb desktop-file-validate appstreamcli

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

expected_name="mirrorvane_$(dpkg-deb -f "$deb" Version)_$(dpkg-deb -f "$deb" Architecture).deb"
[ "$(basename "$deb")" = "$expected_name" ] || fail "the package is named $(basename "$deb"), not $expected_name"
[ "$(dpkg-deb -f "$deb" Package)" = mirrorvane ] || fail "the package is not called mirrorvane"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libpng16-16 libjpeg62-turbo libwebp7 libwebpdemux2; do
  case ", $depends" in
    *", $library "* | *", $library,"* | *", $library") ;;
    *) fail "Depends lacks $library: $depends" ;;
  esac
done

dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
check_tree "$root/usr" "$id"
outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$outside" ] || fail "files outside /usr: $outside"

if command -v lintian >/dev/null; then
  # Root runs lintian without complaint only when told so.
  lintian --allow-root --fail-on error --display-level '>=warning' "$deb" || fail "lintian reports errors"
else
  echo "lintian is not installed: the package was not linted"
fi

finish "package $(basename "$deb")"
