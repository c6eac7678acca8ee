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
  libsdl2-dev libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0 mesa-utils xvfb xauth xdotool
  zip unzip 7zip libarchive-tools zenity time netpbm libnvtt-bin x11-apps
  clang libclang-rt-14-dev
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
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# kx_build DIR [cmake options...]
kx_build() {
  local dir=$1; shift
  local launcher=()
  # A compiler cache, where the machine has one, makes rebuilds of a fresh checkout quick.
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$KX_ROOT" -B "$KX_ROOT/$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
  cmake --build "$KX_ROOT/$dir" -j "$KX_JOBS"
}

# Tests that open a window need an X server: give them a virtual one when there is none.
kx_with_display() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}
