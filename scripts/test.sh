#!/usr/bin/env bash
# Sets up, builds and runs every test: the README's test command. Installs
# what the tests use besides the build (scripts/setup.sh --tests) and reuses
# the main job's build directory.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh --tests
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j2 "$@"
