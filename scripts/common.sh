# Shared by ./run and ./test: make sure the build and run dependencies are
# there, then configure and build.  Sourced, not run.

MIRRORVANE_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth fonts-liberation2 fonts-dejavu-core
)

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

# mirrorvane_build DIR [CMAKE ARGS...] : configures DIR once and builds it.
mirrorvane_build() {
  local dir=$1; shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "$@"
  fi
  cmake --build "$dir" --parallel "$(nproc)"
}
