#!/usr/bin/env bash
# Installs the Debian 12 packages the library, its tests and benchmarks need.
# With --compare, also the Python peers of bench/compare.
# Idempotent: the package lists are refreshed only when something is missing.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  libfftw3-dev libzita-resampler-dev
  libsndfile1-dev qt6-charts-dev libqt6opengl6-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libfuzzer-14-dev libclang-rt-14-dev
)
# The side-by-side comparison with the tools our users would otherwise pick.
if [ "${1:-}" = "--compare" ]; then
  packages+=(python3 python3-numpy python3-scipy python3-pandas python3-bottleneck)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
