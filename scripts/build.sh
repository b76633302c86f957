#!/usr/bin/env bash
# Sets up and builds the named targets (every target when none is named) in
# the build directory that the main job and the test command share: both
# configure it with the same compile options, so neither rebuilds the
# other's work. BUILD_DIR chooses another directory (default build).
#   scripts/build.sh [--tests] [TARGET...]
# Without --tests a new build directory leaves out the tests and the
# benchmarks (their packages need not be there); an existing one keeps what
# it was configured with.
set -euo pipefail
cd "$(dirname "$0")/.."
tests=OFF
if [ "${1:-}" = --tests ]; then
  tests=ON
  shift
fi
build=${BUILD_DIR:-build}
if [ $tests = ON ]; then scripts/setup.sh --tests; else scripts/setup.sh; fi
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARV_WERROR=ON)
if [ $tests = ON ] || [ ! -f "$build/CMakeCache.txt" ]; then
  options+=(-DTARV_TESTS=$tests -DTARV_BENCH=$tests)
fi
cmake -S . -B "$build" -G Ninja "${options[@]}" >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$build" "${targets[@]}"
