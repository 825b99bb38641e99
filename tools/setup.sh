# Shared by ./run and ./test: installs the Debian packages that are missing
# and builds the project with CMake into build/.
# shellcheck shell=bash

PEAKFOLD_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation xvfb xauth x11-utils xdotool
  clang libclang-rt-14-dev
  libgsl-dev qt6-svg-dev desktop-file-utils
)

ensure_packages() {
  local missing=()
  for package in "${PEAKFOLD_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build_project() {
  local build_dir=${1:-build}
  shift || true
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$build_dir" -j"$(nproc)"
}

# Runs every fuzz harness of a fuzz build for the given seconds, starting
# from the seed corpus in tests/fuzz/corpus. New inputs go to the build
# folder, never into the repository; a crash's input is kept there too. An
# input that runs longer than 10 s counts as a crash, so a hang is a finding
# too: the seed inputs run in well under a second each, and the handler runs
# cancel every search long before the limit.
run_fuzzers() {
  local build_dir=$1 seconds=$2 failed=0
  for harness in "$build_dir"/tests/fuzz/*_fuzz; do
    local name seeds work
    name=$(basename "$harness" _fuzz)
    seeds=tests/fuzz/corpus/$name
    work=$build_dir/fuzz-work/$name
    mkdir -p "$work" "$build_dir/fuzz-crashes"
    echo "-- $name"
    if ! "$harness" -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=2048 -timeout=10 \
        -artifact_prefix="$build_dir/fuzz-crashes/$name-" -print_final_stats=0 \
        "$work" "$seeds" >"$build_dir/fuzz-$name.log" 2>&1; then
      echo "FAILED: $name; its input is in $build_dir/fuzz-crashes/"
      tail -n 40 "$build_dir/fuzz-$name.log"
      failed=1
    fi
  done
  return $failed
}
