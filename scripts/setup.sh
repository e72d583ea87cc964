#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine (run as root).
# Does nothing when everything is already there, so every make target can call it. Run by
# anyone else with something missing, it names the packages and the commands that install
# them, and fails, so that make stops before building.
set -euo pipefail

packages=(
  cmake make g++
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 wine32:i386
  xvfb xauth x11-utils
  libgl1 libgl1-mesa-dri libglx-mesa0
  libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386
  googletest
  imagemagick fonts-dejavu-core
  # The settings dialog's picture (scripts/settings-screenshot.sh): a Japanese font.
  fonts-ipafont-gothic
  python3 python3-pil
  # The reference test: an independent encoder, and Mesa's software renderer as a decoder;
  # ffmpeg and numpy as decoders of the Y'CbCr and other formats Mesa does not read.
  libnvtt-bin libosmesa6-dev nodejs ffmpeg python3-numpy
  # The native fuzzing of the DDS reader: clang, whose libFuzzer and sanitizer runtimes come
  # only as a recommendation, and llvm-profdata, llvm-cov, llvm-cxxfilt for its coverage.
  clang libclang-rt-14-dev llvm
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# The reference test's other encoder comes from the npm registry (the native build installs
# it). Node.js builds from elsewhere bundle npm and conflict with Debian's package, so only a
# machine without the command gets it.
command -v npm >/dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0

need_i386=""
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

if [ "$(id -u)" -ne 0 ]; then
  {
    echo "setup: these packages are missing: ${missing[*]}"
    echo "setup: install them as root, either with this script:"
    echo "    sudo $(cd "$(dirname "$0")" && pwd)/setup.sh"
    echo "  or by hand:"
    [ -n "$need_i386" ] && echo "    sudo dpkg --add-architecture i386"
    echo "    sudo apt-get update"
    echo "    sudo apt-get install -y --no-install-recommends ${missing[*]}"
  } >&2
  exit 1
fi
echo "setup: installing ${missing[*]}"
[ -n "$need_i386" ] && dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
