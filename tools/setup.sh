#!/usr/bin/env bash
# Shared set-up of tools/run.sh and tools/test.sh: installs the Debian packages the build and the tests
# need when they are missing (through sudo when not root), then configures and builds into build/.
#   GS_WERROR=1        treat warnings as errors (CI)
#   GS_BUILD_DIR=dir   build somewhere else than build/
#   GS_CMAKE_ARGS=...  more arguments for cmake's configure step
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev libtag1-dev
  libasound2-dev libsoxr-dev libfftw3-dev alsa-utils libgtk-3-dev libpng-dev libjpeg-dev libx11-dev libxtst-dev
  xvfb xauth xdotool x11-utils imagemagick xcompmgr dbus dbus-x11 playerctl
  fonts-texgyre fonts-open-sans fonts-dejavu-core ffmpeg desktop-file-utils appstream
  dpkg-dev file lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "== installing: ${missing[*]}"
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  if ! "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
fi

build=${GS_BUILD_DIR:-$top/build}
args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
[ "${GS_WERROR:-0}" = 1 ] && args+=(-DGS_WERROR=ON)
# shellcheck disable=SC2206
[ -n "${GS_CMAKE_ARGS:-}" ] && args+=(${GS_CMAKE_ARGS})
cmake -S "$top" -B "$build" "${args[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
