#!/usr/bin/env bash
# The main job: sets up, builds the library and the tool, and runs the demo
# shift through the library.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh tarv_core tarv
exec "${BUILD_DIR:-build}/tarv" demo "$@"
