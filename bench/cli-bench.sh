#!/usr/bin/env bash
# Whole-process figures of mirrorvane-cli on uncompressed BMP files, each as
# a ratio against the cheapest thing the machine does with the same file, in
# one run:
#   reveal (no message)          / cat FILE > /dev/null   at most 1.5
#   reveal (1,000,000 characters) / dd if=FILE bs=4M      at most 0.5
#                                   (it needs an eighth of the file's bytes)
#   hide 1,000,000 characters     / cp FILE               at most 1.5
#   peak resident memory of hide and reveal, 24 MP and 20000 x 20000 (1.2 GB):
#                                                          under 64 MB
#   check (no message) of the BMP, capacity of the BMP, PNG and JPEG
#                                 / mirrorvane-cli --version  at most 1.5
#   hide to PNG                   / hide to BMP           at most 4
#                                   (of the same decoded picture: random
#                                   pixels, the compressor's worst case)
#   reveal of a PNG carrying 100,000 characters / hide of that PNG to BMP
#                                   (a whole decode and a BMP write; the
#                                   whole decode alone is BM_DecodePng in
#                                   mirrorvane-bench), and its peak memory
# Usage: bench/cli-bench.sh [BUILD_DIR] [--no-large]
#   CLI=PROGRAM measures another program with the same hide and reveal
#   command line (an older build of mirrorvane-cli, say).
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

# This machine's timings drift by a fifth from one minute to the next, so
# each ratio is taken within a round, with its baseline measured just
# before, and the median of three rounds is reported.  Each figure in a
# round is the median of 15 runs.
rounds=3
medians_of() { grep -o '"median": *[0-9.e+-]*' "$1" | sed 's/.*: *//'; }
median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }
commands=(
  "cat '$photo' > /dev/null"
  "'$cli' reveal '$photo' > /dev/null || true"
  "'$cli' reveal '$marked' --raw > /dev/null"
  "cp '$photo' '$work/copy.bmp'"
  "'$cli' hide '$photo' '$work/out.bmp' --text-file '$text' --raw"
  "dd if='$marked' of=/dev/null bs=4M status=none"
)
declare -a cat_ms plain_ms marked_ms cp_ms hide_ms dd_ms plain_r marked_r hide_r
for ((round = 0; round < rounds; ++round)); do
  hyperfine --warmup 2 --runs 15 --style none --export-json "$work/round.json" "${commands[@]}" >/dev/null
  mapfile -t m < <(medians_of "$work/round.json")
  cat_ms+=("$(ratio "${m[0]}" 0.001)") plain_ms+=("$(ratio "${m[1]}" 0.001)") marked_ms+=("$(ratio "${m[2]}" 0.001)")
  cp_ms+=("$(ratio "${m[3]}" 0.001)") hide_ms+=("$(ratio "${m[4]}" 0.001)") dd_ms+=("$(ratio "${m[5]}" 0.001)")
  plain_r+=("$(ratio "${m[1]}" "${m[0]}")") marked_r+=("$(ratio "${m[2]}" "${m[5]}")") hide_r+=("$(ratio "${m[4]}" "${m[3]}")")
done

echo "24 MP BMP ($(stat -c %s "$photo") bytes); per round: median of 15 runs, ms; ratio: median of $rounds rounds"
printf '  reveal, no message           %s / cat %s  ratio %s (goal <= 1.5)\n' \
  "${plain_ms[*]}" "${cat_ms[*]}" "$(median3 "${plain_r[@]}")"
printf '  reveal, 1,000,000 characters %s / dd  %s  ratio %s (goal <= 0.5)\n' \
  "${marked_ms[*]}" "${dd_ms[*]}" "$(median3 "${marked_r[@]}")"
printf '  hide 1,000,000 characters    %s / cp  %s  ratio %s (goal <= 1.5)\n' \
  "${hide_ms[*]}" "${cp_ms[*]}" "$(median3 "${hide_r[@]}")"
# Answers from the headers or the first pixels, against start-up alone;
# PNG output against BMP output of the same hide.
png=$work/photo.png jpeg=$work/photo.jpg
head -c 100000 "$text" >"$work/text100k.txt"
"$cli" hide "$photo" "$png" --text-file "$work/text100k.txt" --raw
have_jpeg=no
command -v convert >/dev/null && convert "$photo" -quality 90 "$jpeg" && have_jpeg=yes
quick=(
  "'$cli' --version"
  "'$cli' check '$photo' || true"
  "'$cli' capacity '$photo'"
  "'$cli' capacity '$png'"
  "'$cli' hide '$png' '$work/out.bmp' --text x"
  "'$cli' hide '$png' '$work/out.png' --text x"
  "'$cli' reveal '$png' --raw > /dev/null"
)
[ "$have_jpeg" = yes ] && quick+=("'$cli' capacity '$jpeg'")
declare -a quick_r=()
for ((round = 0; round < rounds; ++round)); do
  hyperfine --warmup 2 --runs 15 --style none --export-json "$work/round.json" "${quick[@]}" >/dev/null
  mapfile -t m < <(medians_of "$work/round.json")
  quick_r+=("$(ratio "${m[1]}" "${m[0]}") $(ratio "${m[2]}" "${m[0]}") $(ratio "${m[3]}" "${m[0]}") $(ratio "${m[5]}" "${m[4]}") $(ratio "${m[7]:-0}" "${m[0]}") $(ratio "${m[6]}" "${m[4]}")")
done
column_of() { printf '%s\n' "${quick_r[@]}" | awk -v c="$1" '{ print $c }' | sort -g | sed -n 2p; }
echo "Against mirrorvane-cli --version (goal <= 1.5), median of $rounds rounds:"
echo "  check of the BMP $(column_of 1), capacity of the BMP $(column_of 2), of a PNG $(column_of 3)$([ "$have_jpeg" = yes ] && echo ", of a JPEG $(column_of 5)")"
echo "hide to PNG / hide to BMP: $(column_of 4) (goal <= 4); PNG $(stat -c %s "$work/out.png") bytes"
echo "reveal of the PNG carrying 100,000 characters / hide of it to BMP: $(column_of 6);" \
  "peak $(peak_mb "$cli" reveal "$png" --raw) MB (goal < 64 MB)"
rm -f "$png" "$jpeg" "$work/out.png"

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
