#!/usr/bin/env bash
# Installs what is missing, builds the demonstration host ryx-analyze and runs it
# on the built-in machine signal with its default analyses: the summary sets
# each known component of the signal beside what the analyses measured, and the
# CSV files, results.json and PNG plots go to ryx-analyze-out/.
# Extra arguments go to ryx-analyze (for example --seconds 60 or --no-plots).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target ryx-analyze
./build/tools/analyze/ryx-analyze --out ryx-analyze-out "$@"
echo "Plots: $(pwd)/ryx-analyze-out/*.png"
