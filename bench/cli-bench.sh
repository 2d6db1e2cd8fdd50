#!/usr/bin/env bash
# Whole-process figures of mirrorvane-cli on uncompressed BMP files, each as
# a ratio against the cheapest thing the machine does with the same file, in
# one run:
#   reveal (no message)          / cat FILE > /dev/null   at most 1.5
#   reveal (1,000,000 characters) / cat FILE > /dev/null  at most 1.5
#   hide 1,000,000 characters     / cp FILE               at most 2
#   peak resident memory of hide and reveal, 24 MP and 20000 x 20000 (1.2 GB):
#                                                          under 64 MB
# Usage: bench/cli-bench.sh [BUILD_DIR] [--no-large]
#   CLI=PROGRAM measures another program with the same hide and reveal
#   command line (build/bin/mirrorvane-stream-driver: the streaming code alone).
# Needs hyperfine and /usr/bin/time (Debian: hyperfine, time).  The files go
# to $TMPDIR (the large one takes 1.2 GB there, twice for a moment).
set -euo pipefail

build=build
large=yes
for arg in "$@"; do
  case $arg in
    --no-large) large=no ;;
    *) build=$arg ;;
  esac
done
cli=$(realpath "${CLI:-$build/bin/mirrorvane-cli}")
for tool in hyperfine /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "cli-bench: $tool is needed" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/mirrorvane-cli-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# le32 VALUE: four little-endian bytes as printf escapes.
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
le16() { printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)); }

# make_bmp WIDTH HEIGHT FILE: a 24-bit bottom-up BMP of random pixels.
make_bmp() {
  local w=$1 h=$2 file=$3
  local stride=$(((w * 3 + 3) / 4 * 4))
  local size=$((54 + stride * h))
  # shellcheck disable=SC2059
  printf "BM$(le32 $size)$(le32 0)$(le32 54)$(le32 40)$(le32 "$w")$(le32 "$h")$(le16 1)$(le16 24)$(le32 0)$(le32 $((stride * h)))$(le32 2835)$(le32 2835)$(le32 0)$(le32 0)" >"$file"
  head -c $((stride * h)) /dev/urandom >>"$file"
}

# ratio A B: A / B to two places.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# mean_of JSON: the mean run time in seconds from hyperfine's JSON export.
mean_of() { sed -n 's/.*"mean": *\([0-9.e+-]*\).*/\1/p' "$1" | head -1; }

# peak_mb COMMAND...: the command's peak resident memory in MB.
peak_mb() {
  /usr/bin/time -v "$@" 2>"$work/time.txt" >/dev/null || true
  awk '/Maximum resident set size/ { printf "%.1f", $NF / 1024 }' "$work/time.txt"
}

photo=$work/photo.bmp
marked=$work/marked.bmp
text=$work/text.txt
make_bmp 6000 4000 "$photo"
# A million characters of prose in CR LF lines.
# (yes ends on the broken pipe, which pipefail would count as a failure.)
yes 'every letter of the message hidden between the lines of the picture here.' | head -c 1100000 >"$text.lf" || true
sed 's/$/\r/' "$text.lf" | head -c 1000000 >"$text" || true
"$cli" hide "$photo" "$marked" --text-file "$text" --raw

bench() {  # bench NAME COMMAND: mean seconds
  hyperfine --warmup 2 --min-runs 10 --style none --export-json "$work/$1.json" "$2" >/dev/null
  mean_of "$work/$1.json"
}

cat_photo=$(bench cat "cat '$photo' > /dev/null")
cp_photo=$(bench cp "cp '$photo' '$work/copy.bmp'")
reveal_plain=$(bench reveal-plain "'$cli' reveal '$photo' > /dev/null || true")
reveal_marked=$(bench reveal-marked "'$cli' reveal '$marked' --raw > /dev/null")
hide=$(bench hide "'$cli' hide '$photo' '$work/out.bmp' --text-file '$text' --raw")

echo "24 MP BMP ($(stat -c %s "$photo") bytes), mean of at least 10 runs:"
printf '  reveal, no message:          %8.1f ms / cat %8.1f ms = %s (goal <= 1.5)\n' \
  "$(ratio "$reveal_plain" 0.001)" "$(ratio "$cat_photo" 0.001)" "$(ratio "$reveal_plain" "$cat_photo")"
printf '  reveal, 1,000,000 characters: %7.1f ms / cat %8.1f ms = %s (goal <= 1.5)\n' \
  "$(ratio "$reveal_marked" 0.001)" "$(ratio "$cat_photo" 0.001)" "$(ratio "$reveal_marked" "$cat_photo")"
printf '  hide 1,000,000 characters:   %8.1f ms / cp  %8.1f ms = %s (goal <= 2)\n' \
  "$(ratio "$hide" 0.001)" "$(ratio "$cp_photo" 0.001)" "$(ratio "$hide" "$cp_photo")"
echo "Peak resident memory (goal < 64 MB):"
echo "  reveal 24 MP: $(peak_mb "$cli" reveal "$marked" --raw) MB"
echo "  hide 24 MP:   $(peak_mb "$cli" hide "$photo" "$work/out.bmp" --text-file "$text" --raw) MB"

if [ "$large" = yes ]; then
  rm -f "$marked" "$work/out.bmp" "$work/copy.bmp"
  big=$work/big.bmp
  make_bmp 20000 20000 "$big"
  echo "  hide 20000 x 20000 ($(stat -c %s "$big") bytes): $(peak_mb "$cli" hide "$big" "$work/big-out.bmp" --text-file "$text" --raw) MB"
  if cmp -s <("$cli" reveal "$work/big-out.bmp" --raw) "$text"; then found="message read back"; else found="MESSAGE NOT READ BACK"; fi
  echo "  reveal 20000 x 20000: $(peak_mb "$cli" reveal "$work/big-out.bmp" --raw) MB, $found"
fi
