# Shared by ./run, ./test and ./fuzz: make sure the build and run dependencies
# are there, then configure and build.  Sourced, not run.

# What building and running the two programs needs (./run).
MIRRORVANE_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libpng-dev libjpeg-dev libwebp-dev libdeflate-dev
  # the window's Arial is drawn in Liberation Sans; Wayland needs its own plugin
  fonts-liberation2 fonts-dejavu-core qt6-wayland
)

# What the tests, benchmarks, fuzzers and package checks add (./test, ./fuzz).
MIRRORVANE_TEST_PACKAGES=(
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth
  # fuzz targets
  clang-14 libclang-rt-14-dev
  # checks of the install tree and the Debian package
  desktop-file-utils appstream groff-base dpkg-dev file lintian
  # the shells whose completion scripts the CLI tests drive
  zsh fish
  # access lists set on a saved file's predecessor (setfacl)
  acl
  # the PNG writer's output checked by an independent reader
  pngcheck
  # the Latin-1 locale the CLI tests build with localedef
  locales
)

MIRRORVANE_FUZZERS=(read_scan text_decoder load_picture bmp_reader jpeg_markers)

mirrorvane_missing_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  echo "${missing[@]}"
}

# mirrorvane_install PACKAGE... : installs what is missing (as root), or says what to run.
mirrorvane_install() {
  local missing
  missing=$(mirrorvane_missing_packages "$@")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: $missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
  else
    echo "Missing packages. Run this once, then try again:"
    echo "  sudo apt-get install -y $missing"
    exit 1
  fi
}

# mirrorvane_build DIR [CMAKE ARGS...] : configures DIR with the arguments
# (again each time, so a folder ./run set up gets the tests ./test asks for)
# and builds everything in it.
mirrorvane_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null || return
  cmake --build "$dir" --parallel "$(nproc)"
}

# mirrorvane_build_programs DIR [CMAKE ARGS...] : configures DIR the first
# time only (a folder ./test set up keeps its settings) and builds just the
# two programs.
mirrorvane_build_programs() {
  local dir=$1; shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "$@" || return
  fi
  cmake --build "$dir" --parallel "$(nproc)" --target mirrorvane mirrorvane-cli
}

# mirrorvane_sanitizer_env: what the AddressSanitizer and UndefinedBehaviorSanitizer
# runs need: stop at the first finding, with a stack, and leave the few leaks
# that Qt's and the system libraries' own caches make out of the report.
mirrorvane_sanitizer_env() {
  export ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0"
}

# mirrorvane_build_fuzzers DIR : the libFuzzer targets, with clang, in DIR.
mirrorvane_build_fuzzers() {
  local dir=$1
  if [ ! -f "$dir/build.ninja" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DMIRRORVANE_FUZZ=ON -DMIRRORVANE_BUILD_TESTS=OFF -DMIRRORVANE_BUILD_BENCH=OFF || return
  fi
  cmake --build "$dir" --parallel "$(nproc)" --target mirrorvane_fuzzers
}

# mirrorvane_fuzz DIR TARGET WORK [LIBFUZZER ARGS...] : runs one fuzz target of
# build DIR over its committed seeds, adding what it finds to WORK/corpus and
# any crashing input to WORK; prints how many inputs it ran.
mirrorvane_fuzz() {
  local dir=$1 target=$2 work=$3; shift 3
  local log=$work/last-run.log status=0 dict=()
  mkdir -p "$work/corpus"
  [ -f "fuzzers/$target.dict" ] && dict=(-dict="fuzzers/$target.dict")
  # A picture may take up to the reader's 1024 MB allocation limit and one
  # conversion of that size; libjpeg's whole-image buffers stay within the
  # rest of a 2 GB budget.  Any single allocation beyond it is a finding.
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} "$dir/bin/fuzz_$target" -timeout=60 -rss_limit_mb=4096 -malloc_limit_mb=2100 \
    -artifact_prefix="$work/" "${dict[@]}" "$@" "$work/corpus" "fuzzers/corpus/$target" >"$log" 2>&1 || status=$?
  local runs
  runs=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 inputs in \2 s/p' "$log" | tail -1)
  if [ "$status" -eq 0 ]; then
    echo "fuzz_$target: ${runs:-? inputs}, corpus of $(find "$work/corpus" -type f | wc -l) learnt inputs, no finding"
  else
    echo "fuzz_$target: FAILED (exit $status); the log is $log, the input:"
    find "$work" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'oom-*' -o -name 'timeout-*' \)
    grep -E 'broken promise|runtime error|ERROR:|SUMMARY:' "$log" | head -10
    # The frames in our code, without the fuzzer's and the C library's own.
    grep -E '^ +#[0-9]+ .* in ' "$log" | grep -vE 'fuzzer::|__sanitizer|libc\.so|libc_start|_start |raise|abort|pthread' | head -12
  fi
  return "$status"
}
