# Sourced by check-install.sh and check-package.sh: checks that an installed
# tree (a prefix such as /usr) holds everything a desktop expects and that
# the desktop entry, the AppStream file and the man pages pass their
# checkers.  Counts problems in $failures through fail().

MIRRORVANE_MANPAGES=(mirrorvane.1 mirrorvane-cli.1)

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# require_tools TOOL... : exits 77 (skipped) when a checker is not installed.
require_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIP: $tool is not installed (./test installs it)"
      exit 77
    fi
  done
}

# finish WHAT : the script's verdict.
finish() {
  if [ "$failures" -eq 0 ]; then
    echo "$1 complete and valid"
    exit 0
  fi
  exit 1
}

# The PNG header holds the width and height as 32-bit big-endian numbers at bytes 16 to 23.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $3*256+$4, $7*256+$8 }'; }

# check_tree PREFIX APPSTREAM_ID
check_tree() {
  local prefix=$1 id=$2 program size icon desktop metainfo page manpage warnings
  for program in mirrorvane mirrorvane-cli; do
    [ -x "$prefix/bin/$program" ] || fail "bin/$program is missing or not executable"
  done

  # The tool finds its codecs module where the tree put it: a PNG needs it.
  local capacity
  capacity=$("$prefix/bin/mirrorvane-cli" capacity "$prefix/share/icons/hicolor/16x16/apps/mirrorvane.png" 2>&1)
  [ "$capacity" = 61 ] || fail "mirrorvane-cli cannot decode a PNG from the tree: $capacity"

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
    grep -q '^Exec=mirrorvane\b' "$desktop" || fail "the desktop entry does not start mirrorvane"
    # Claiming text would make Mirrorvane the desktop's text editor (and give
    # it a mailcap line), and a large .txt it hands on would come back to it.
    grep -q '^MimeType=.*text/' "$desktop" && fail "the desktop entry claims a text type"
  else
    fail "no desktop entry"
  fi

  metainfo=$prefix/share/metainfo/$id.metainfo.xml
  if [ -f "$metainfo" ]; then
    appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli validate"
    grep -q '<mediatype>text/' "$metainfo" && fail "the AppStream file claims a text type"
  else
    fail "no AppStream file"
  fi

  for page in "${MIRRORVANE_MANPAGES[@]}"; do
    manpage=$prefix/share/man/man1/$page.gz
    if [ ! -f "$manpage" ]; then
      fail "no man page $page"
    elif command -v groff >/dev/null; then
      warnings=$(zcat "$manpage" | groff -man -Tutf8 -ww -z 2>&1)
      [ -z "$warnings" ] || fail "man page $page: $warnings"
    fi
    if [ -f "$manpage" ]; then
      zcat "$manpage" | grep -q '^\.B MIRRORVANE_VERBOSE' || fail "man page $page: no MIRRORVANE_VERBOSE in ENVIRONMENT"
      # What older versions did and the README no longer says.
      zcat "$manpage" | grep -q -e 'always saved as BMP' -e 'written as ANSI' && fail "man page $page: out of date"
    fi
  done

  local completion
  for completion in bash-completion/completions/mirrorvane-cli zsh/vendor-completions/_mirrorvane-cli \
                    fish/vendor_completions.d/mirrorvane-cli.fish; do
    [ -s "$prefix/share/$completion" ] || fail "no shell completion share/$completion"
  done

  [ -f "$prefix/share/doc/mirrorvane/copyright" ] || fail "no copyright file"
  zcat "$prefix/share/doc/mirrorvane/changelog.gz" >/dev/null 2>&1 || fail "no changelog.gz"
}
