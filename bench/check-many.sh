#!/usr/bin/env bash
# One `check` call over 1,000 mixed photos of 2 to 24 MP, beside `reveal` of
# the same files in a shell loop, each reported as pictures a second, for
# the whole mix and for each kind in it.
#   Mix: 810 JPEGs (730 baseline of 2, 6, 12 and 24 MP, 4:2:0 and 4:4:4;
#   80 progressive), 60 PNGs, 60 BMPs, 40 GIFs and 30 WebPs; 10 of the PNGs
#   and BMPs carry a message.
# To keep the disk use near 300 MB, the 1,000 names are hard links to
# sixteen distinct pictures; the file cache holds them all after the first
# pass, so the figures are of decoding, not of the disk.
# Usage: bench/check-many.sh [BUILD_DIR]   (CLI=PROGRAM for another build)
# Needs ImageMagick (convert) and cwebp; the files go to $TMPDIR.
set -euo pipefail

build=${1:-build}
cli=$(realpath "${CLI:-$build/bin/mirrorvane-cli}")
for tool in convert cwebp; do
  command -v "$tool" >/dev/null || { echo "check-many: $tool is needed" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/mirrorvane-check-many.XXXXXX")
trap 'rm -rf "$work"' EXIT
src=$work/distinct
mkdir -p "$src" "$work/photos"

# photo W H FILE [convert options...]: a smooth, noisy picture that compresses
# as a photo does (a small plasma enlarged, with grain).
photo() {
  local w=$1 h=$2 file=$3
  shift 3
  convert -size $((w / 8))x$((h / 8)) plasma:fractal -resize "${w}x${h}!" -attenuate 0.4 +noise Gaussian "$@" "$file"
}

echo "check-many: making the distinct pictures in $work" >&2
photo 1632 1224 "$src/p2.jpg" -quality 90 -sampling-factor 2x2
photo 3000 2000 "$src/p6.jpg" -quality 90 -sampling-factor 2x2
photo 4240 2832 "$src/p12.jpg" -quality 90 -sampling-factor 2x2
photo 6000 4000 "$src/p24.jpg" -quality 90 -sampling-factor 2x2
photo 3000 2000 "$src/p6-444.jpg" -quality 95 -sampling-factor 1x1
photo 4240 2832 "$src/p12-444.jpg" -quality 95 -sampling-factor 1x1
photo 3000 2000 "$src/p6-prog.jpg" -quality 90 -interlace JPEG
photo 4240 2832 "$src/p12-prog.jpg" -quality 90 -interlace JPEG
photo 1632 1224 "$src/p2.png"
photo 4240 2832 "$src/p12.png"
photo 1632 1224 BMP3:"$src/p2.bmp" -type TrueColor
photo 6000 4000 BMP3:"$src/p24.bmp" -type TrueColor
photo 1632 1224 "$src/p2.gif"
photo 3000 2000 "$src/p6.png"
cwebp -quiet -q 90 "$src/p6.png" -o "$src/p6.webp"
rm "$src/p6.png"
text="Meet at the old mill at noon."
"$cli" hide "$src/p2.png" "$src/m2.png" --text "$text"
"$cli" hide "$src/p24.bmp" "$src/m24.bmp" --text "$text"

# kind GROUP COUNT FILE...: COUNT hard links in GROUP, cycling through the files.
n=0
kind() {
  local group=$1 count=$2
  shift 2
  local files=("$@")
  mkdir -p "$work/photos/$group"
  for ((i = 0; i < count; ++i)); do
    local from=${files[i % ${#files[@]}]}
    n=$((n + 1))
    ln "$from" "$work/photos/$group/$(printf '%04d' $n)-$(basename "$from")"
  done
}
kind jpeg 730 "$src/p2.jpg" "$src/p6.jpg" "$src/p12.jpg" "$src/p24.jpg" "$src/p6-444.jpg" "$src/p12-444.jpg"
kind progressive 80 "$src/p6-prog.jpg" "$src/p12-prog.jpg"
kind png 55 "$src/p2.png" "$src/p12.png"
kind png 5 "$src/m2.png"
kind bmp 55 "$src/p2.bmp" "$src/p24.bmp"
kind bmp 5 "$src/m24.bmp"
kind gif 40 "$src/p2.gif"
kind webp 30 "$src/p6.webp"
mapfile -t photos < <(find "$work/photos" -type f | sort)
echo "check-many: ${#photos[@]} pictures, $(du -sh "$src" | cut -f1) on disk" >&2

now() { date +%s.%N; }
rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.1f", n / s }'; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

# Warm the file cache, and make sure the answer is right.
found=$("$cli" check "${photos[@]}" | wc -l)
[[ $found == 10 ]] || { echo "check-many: check named $found pictures, not 10" >&2; exit 1; }

a=$(now)
"$cli" check "${photos[@]}" >/dev/null || true
b=$(now)
check_all=$(seconds "$a" "$b")

# Each kind alone, check in one call beside reveal in a loop; the loops'
# times add up to the whole loop's.
printf '%-12s %6s %18s %18s %8s\n' kind count "check pictures/s" "reveal pictures/s" ratio
reveal_all=0
for group in jpeg progressive png bmp gif webp; do
  files=("$work/photos/$group"/*)
  a=$(now)
  "$cli" check "${files[@]}" >/dev/null || true
  b=$(now)
  for photo in "${files[@]}"; do
    "$cli" reveal "$photo" >/dev/null 2>&1 || true
  done
  c=$(now)
  check_s=$(seconds "$a" "$b") reveal_s=$(seconds "$b" "$c")
  reveal_all=$(awk -v a="$reveal_all" -v b="$reveal_s" 'BEGIN { print a + b }')
  printf '%-12s %6d %18s %18s %8s\n' "$group" ${#files[@]} "$(rate ${#files[@]} "$check_s")" \
    "$(rate ${#files[@]} "$reveal_s")" "$(awk -v a="$reveal_s" -v b="$check_s" 'BEGIN { printf "%.1f", a / b }')"
done
printf '%-12s %6d %18s %18s %8s\n' all ${#photos[@]} "$(rate ${#photos[@]} "$check_all")" \
  "$(rate ${#photos[@]} "$reveal_all")" "$(awk -v a="$reveal_all" -v b="$check_all" 'BEGIN { printf "%.1f", a / b }')"
echo "(check of all: one call, $check_all s; reveal of all: $reveal_all s; ratio: reveal time / check time)"
