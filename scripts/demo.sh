#!/usr/bin/env bash
# Installs what is missing, builds the library and runs the demonstration host.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target ryx_demo
./build/demo/ryx_demo
