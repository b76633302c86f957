#!/usr/bin/env bash
# Cross-builds the library alone (no tool, tests, benchmarks or libprotobuf)
# and installs it into PREFIX as `cmake --install` does:
#
#   scripts/cross.sh TARGET PREFIX
#
#   windows-x86_64, windows-i686   PREFIX/bin/tarv_core.dll,
#                                  PREFIX/lib/libtarv_core.dll.a (MinGW hosts),
#                                  PREFIX/lib/tarv_core.lib (MSVC hosts)
#   linux-aarch64, linux-armhf     PREFIX/lib/libtarv_core.so.2 and its .so link
#   every target                   PREFIX/include/tarv_core.h,
#                                  PREFIX/share/tarv_core/tarv_core.proto
#
# Installs the Debian cross toolchain of TARGET when it is missing. The build
# directory is build-cross/TARGET unless BUILD_DIR says otherwise.
set -euo pipefail
if (($# != 2)); then
  echo "usage: $0 windows-x86_64|windows-i686|linux-aarch64|linux-armhf PREFIX" >&2
  exit 2
fi
target=$1
prefix=$(realpath -m "$2")
cd "$(dirname "$0")/.."

case $target in
  windows-x86_64) toolchain=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64) ;;
  windows-i686) toolchain=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686) ;;
  linux-aarch64) toolchain=(crossbuild-essential-arm64) ;;
  linux-armhf) toolchain=(crossbuild-essential-armhf) ;;
  *)
    echo "cross: unknown target $target" >&2
    exit 2
    ;;
esac
scripts/setup.sh "${toolchain[@]}"

build=${BUILD_DIR:-build-cross/$target}
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/$target.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTARV_LIBRARY_ONLY=ON -DTARV_WERROR=ON \
  -DCMAKE_INSTALL_PREFIX="$prefix"
cmake --build "$build"
cmake --install "$build" --strip
