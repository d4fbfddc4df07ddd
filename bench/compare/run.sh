#!/usr/bin/env bash
# Side-by-side speed of the library and the tools its users would otherwise pick
# (SciPy, NumPy, bottleneck, pandas): installs what is missing, builds the
# benchmarks in Release and prints one table of ratios.
#   bash bench/compare/run.sh [--rounds N] [--only REGEX] [--min-time S] [--markdown]
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/install-deps.sh --compare
dir=${RYX_BENCH_DIR:-build-bench}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DRYX_BUILD_TESTS=OFF -DRYX_BUILD_DEMO=OFF \
  -DRYX_BUILD_BENCH=ON > /dev/null
targets=$(/usr/bin/python3 bench/compare/run.py --list-programs)
if [ -z "$targets" ]; then
  echo "no comparison rows (bench/compare/rows_*.py)" >&2
  exit 1
fi
# shellcheck disable=SC2086
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target $targets
exec /usr/bin/python3 bench/compare/run.py --build "$dir" "$@"
