#!/bin/sh
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
# Configures with Ninja Multi-Config, the layout Visual Studio and Xcode use too (generated files
# per configuration), and builds the window in its Debug configuration. The configure also hides
# Google Benchmark, which must then turn the benchmark off rather than fail.
#
# Usage: scripts/check-multiconfig.sh [build-folder]   (default: build-multiconfig)
set -eu
cd "$(dirname "$0")/.."

dir=${1:-build-multiconfig}
launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"

# shellcheck disable=SC2086
cmake -S . -B "$dir" -G "Ninja Multi-Config" -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
    -DQUVELTA_TESTS=OFF $launcher
grep -q '^QUVELTA_BENCH:BOOL=OFF$' "$dir/CMakeCache.txt" || {
    echo "check-multiconfig: without Google Benchmark QUVELTA_BENCH should default to OFF"
    exit 1
}
cmake --build "$dir" --config Debug --target quvelta -j "${JOBS:-2}"
test -x "$dir/src/app/Debug/quvelta" || {
    echo "check-multiconfig: no $dir/src/app/Debug/quvelta"
    exit 1
}
echo "check-multiconfig: the window builds with Ninja Multi-Config"
