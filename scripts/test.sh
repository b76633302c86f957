#!/usr/bin/env bash
# Sets up, builds and runs every test: the README's test command.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARV_WERROR=ON
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
