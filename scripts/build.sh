#!/usr/bin/env bash
# Sets up and builds the named targets (every target when none is named) in
# the build directory that the main job and the test command share: both
# configure it with the same options, so neither rebuilds the other's work.
# BUILD_DIR chooses another directory (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARV_WERROR=ON >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$build" "${targets[@]}"
