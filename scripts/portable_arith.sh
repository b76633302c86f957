#!/usr/bin/env bash
# The crypto tests and the rollback tests on the portable arithmetic (32-bit
# limbs with 64-bit products, the path of armhf and i686), forced on this
# machine: the results must equal those of the 64-bit path. Build directory:
# build-portable (only the two test binaries are built).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests
build=build-portable
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARV_WERROR=ON \
  -DTARV_PORTABLE_ARITH=ON -DTARV_BENCH=OFF >/dev/null
cmake --build "$build" --target crypto_test core_test
"$build/crypto_test" --gtest_brief=1
"$build/core_test" --gtest_brief=1 --gtest_filter='Rollback.*:Concurrency.*'
