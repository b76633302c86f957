#!/usr/bin/env bash
# Sets up, builds and runs every test: the README's test command. Reuses the
# main job's build directory.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j2
