# Sourced by scripts/run and scripts/test: installs what a fresh Debian 12 machine
# lacks (checking first, so a second run installs nothing) and configures builds.
set -euo pipefail

KX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
KX_JOBS=$(nproc 2>/dev/null || echo 4)

KX_PACKAGES=(
  build-essential cmake ninja-build pkg-config git python3
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  zlib1g-dev libpng-dev libminizip-dev libsquish-dev libmd-dev libmimalloc-dev libarchive-dev liblzma-dev libdw-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libsdl2-dev libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0 mesa-utils xvfb xauth xdotool x11-xkb-utils xkb-data
  zip unzip 7zip libarchive-tools zenity time netpbm libnvtt-bin x11-apps
  clang libclang-rt-14-dev
  nginx-light tinyproxy
)

kx_install_missing() {
  local missing=() p
  for p in "${KX_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" = 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    # The tests start their own HTTP servers and proxy on free loopback ports; the
    # packages must not start system ones, whose start can fail the install (port 80
    # taken, no IPv6). Where no policy forbids service starts already, one does so for
    # the length of the install.
    local policy=/usr/sbin/policy-rc.d own_policy="" rc=0
    if [ ! -e "$policy" ]; then
      printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null && $sudo chmod 755 "$policy" && own_policy=1
      # An install that is interrupted must not leave the machine refusing service starts.
      # shellcheck disable=SC2064
      [ -n "$own_policy" ] && trap "$sudo rm -f $policy" EXIT
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" || rc=$?
    if [ -n "$own_policy" ]; then $sudo rm -f "$policy"; trap - EXIT; fi
    return "$rc"
  fi
}

# kx_configure DIR [cmake options...]
kx_configure() {
  local dir=$1; shift
  local launcher=()
  # A compiler cache, where the machine has one, makes rebuilds of a fresh checkout quick.
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$KX_ROOT" -B "$KX_ROOT/$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
}

# kx_build DIR [cmake options...]: configures and builds everything, tests included.
kx_build() {
  kx_configure "$@"
  cmake --build "$KX_ROOT/$1" -j "$KX_JOBS"
}

# Tests that open a window need an X server: give them a virtual one when there is none.
kx_with_display() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}
