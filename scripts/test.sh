#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole test suite.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UBSan build in build-asan/
#   scripts/test.sh --tsan       ThreadSanitizer build in build-tsan/ of the tests
#                                that run several threads
#   scripts/test.sh --all        all three, then every fuzz target for 20 s
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--all" ]; then
  bash scripts/test.sh
  bash scripts/test.sh --sanitize
  bash scripts/test.sh --tsan
  bash scripts/fuzz.sh 20
  exit 0
fi

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  flags=(-DRYX_SANITIZE=ON -DRYX_BUILD_BENCH=OFF -DRYX_BUILD_DEMO=OFF -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
elif [ "${1:-}" = "--tsan" ]; then
  # Every report fails the run; no suppressions.
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  cmake -S . -B build-tsan -DRYX_TSAN=ON -DRYX_BUILD_BENCH=OFF -DRYX_BUILD_DEMO=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
  threaded=(test_core test_threads test_instant test_fftw)
  cmake --build build-tsan -j "$jobs" --target "${threaded[@]}"
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -R "^($(IFS='|'; echo "${threaded[*]}"))\$"
  exit 0
else
  dir=build
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi

cmake -S . -B "$dir" "${flags[@]}"
cmake --build "$dir" -j "$jobs"
ctest --test-dir "$dir" --output-on-failure -j "$jobs"
