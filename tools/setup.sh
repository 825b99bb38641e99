# Shared by ./run and ./test: installs the Debian packages that are missing
# and builds the project with CMake into build/.
# shellcheck shell=bash

PEAKFOLD_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation xvfb xauth
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
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build_dir" -j"$(nproc)"
}
