#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under ASan/UBSan (in build-fuzz/) and
# runs each for a bounded time from its seed corpus in tests/fuzz/corpus.
#   scripts/fuzz.sh [seconds per target, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

bash scripts/install-deps.sh

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DRYX_FUZZ=ON -DRYX_SANITIZE=ON \
  -DRYX_BUILD_TESTS=OFF -DRYX_BUILD_BENCH=OFF -DRYX_BUILD_DEMO=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
targets=(fuzz_channel_load fuzz_set_parameter fuzz_instant_settings fuzz_dsp_params fuzz_spectra_settings fuzz_acquisition_settings fuzz_dual_settings fuzz_moving_corr fuzz_analyze_input)
cmake --build build-fuzz -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in "${targets[@]}"; do
  work=build-fuzz/corpus/$t
  mkdir -p "$work"
  echo "== $t (${seconds} s)"
  ./build-fuzz/tests/fuzz/$t -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/ "$work" "tests/fuzz/corpus/$t"
done
