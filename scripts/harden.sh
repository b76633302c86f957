#!/usr/bin/env bash
# The hardening checks, run by CI after the normal suite (scripts/test.sh):
#   asan      the C++ test suites under AddressSanitizer + UndefinedBehaviorSanitizer
#             (the suites that drive tarv serve from Python, chromium and a
#             database cluster ran in the normal suite and are not run again);
#   tsan      the concurrency test under ThreadSanitizer;
#   valgrind  the library's test binaries under valgrind memcheck: no leak, no
#             invalid access, no use of uninitialised memory;
#   fuzz      every libFuzzer target for FUZZ_SECONDS (default 25) on its seed
#             corpus.
#   scripts/harden.sh [asan] [tsan] [valgrind] [fuzz]    (none named: all four)
# Build directories: build-asan, build-tsan, build-fuzz, and for valgrind the
# normal build in $BUILD_DIR (default build), made by scripts/test.sh.
# Installs clang-19, libclang-rt-19-dev and valgrind when missing: clang-19
# is the first clang in Debian 12 whose concepts level lets libstdc++ 12
# offer <expected>.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
fuzz_seconds=${FUZZ_SECONDS:-25}
checks=("$@")
((${#checks[@]})) || checks=(asan tsan valgrind fuzz)
wanted() { [[ " ${checks[*]} " == *" $1 "* ]]; }
step() { printf '\n== harden: %s (%ds)\n' "$1" "$SECONDS"; }

scripts/setup.sh --tests clang-19 libclang-rt-19-dev valgrind
for s in llvm-symbolizer-19 llvm-symbolizer-14 llvm-symbolizer; do
  if command -v "$s" >/dev/null; then
    export ASAN_SYMBOLIZER_PATH=$(command -v "$s")
    break
  fi
done
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
# The library's own diagnostic lines, left out of the logs below.
diagnostics='^Error decoding input: \|^Missing \$req\.\|^Rollback target deserialization error: '

if wanted asan; then
  step "AddressSanitizer + UndefinedBehaviorSanitizer: the C++ test suites"
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARV_WERROR=ON \
    -DTARV_SANITIZE=address,undefined -DTARV_BENCH=OFF >/dev/null
  cmake --build build-asan
  ctest --test-dir build-asan --output-on-failure -j2 -E '^(server|fleet)\.'
fi

if wanted tsan; then
  step "ThreadSanitizer: the concurrency test"
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARV_WERROR=ON \
    -DTARV_SANITIZE=thread -DTARV_BENCH=OFF >/dev/null
  cmake --build build-tsan --target core_test
  build-tsan/core_test --gtest_filter='Concurrency.*' 2>&1 | grep -v "$diagnostics"
fi

if wanted valgrind; then
  step "valgrind memcheck: the library's test binaries"
  cmake --build "$build" --target core_test converter_test crypto_test
  # TEST SHARD SHARDS: one share of a binary's tests (gtest's sharding), so
  # that two valgrind processes keep both cores busy.
  memcheck() {
    GTEST_SHARD_INDEX=$2 GTEST_TOTAL_SHARDS=$3 valgrind --quiet --error-exitcode=99 \
      --leak-check=full --show-leak-kinds=definite,indirect,possible \
      --errors-for-leak-kinds=definite,indirect,possible --suppressions=scripts/valgrind.supp \
      --child-silent-after-fork=yes "$build/$1" --gtest_brief=1 2>&1 | grep -v "$diagnostics"
  }
  failed=0
  for pair in "core_test 0 2:core_test 1 2" "converter_test 0 1:crypto_test 0 1"; do
    memcheck ${pair%%:*} &
    first=$!
    memcheck ${pair#*:} || failed=1
    wait "$first" || failed=1
  done
  ((failed == 0))
fi

if wanted fuzz; then
  step "libFuzzer: every target for ${fuzz_seconds}s"
  CC=clang-19 CXX=clang++-19 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARV_FUZZ=ON -DTARV_SANITIZE=address,undefined -DTARV_TESTS=OFF -DTARV_BENCH=OFF \
    -DTARV_WERROR=ON >/dev/null
  cmake --build build-fuzz --target fuzzers
  work=$(mktemp -d)
  fuzz() {
    local t=$1
    mkdir -p "$work/$t"
    # The export targets grow a request by repeating one of its fields, the
    # receipt target repeats a line (requests of up to 1 MB): they take inputs
    # of up to 256 KiB. No allocation of a call needs 64 MB, and every export
    # call is held to its heap and work bounds inside the harness (fuzz/check.cc).
    local max_len=()
    [ "$t" != document ] && max_len=(-max_len=262144)
    if build-fuzz/fuzz_"$t" -max_total_time="$fuzz_seconds" "${max_len[@]}" -close_fd_mask=2 \
      -timeout=30 -rss_limit_mb=2048 -malloc_limit_mb=64 -print_final_stats=1 \
      -artifact_prefix="$work/$t-" "$work/$t" "fuzz/corpus/$t" >"$work/$t.log" 2>&1; then
      echo "fuzz_$t: $(grep -o 'number_of_executed_units: [0-9]*' "$work/$t.log" | cut -d' ' -f2) runs, no finding"
    else
      cat "$work/$t.log"
      echo "fuzz_$t: FINDING (input saved under $work)"
      return 1
    fi
  }
  failed=0
  targets=(deposit withdraw ch_withdraw sale refund rollback report order document receipt
    rollback_target)
  for ((i = 0; i < ${#targets[@]}; i += 2)); do
    fuzz "${targets[i]}" &
    first=$!
    if ((i + 1 < ${#targets[@]})); then fuzz "${targets[i + 1]}" || failed=1; fi
    wait "$first" || failed=1
  done
  ((failed == 0))
  rm -rf "$work"
fi
step "passed: ${checks[*]}"
