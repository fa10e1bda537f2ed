#!/bin/sh
# Cross-builds Quvelta for 64-bit Arm Linux (AArch64) and runs the whole test suite there under
# qemu-user: the pixels, hashes and files must come out as on x86-64.
#
# Usage: scripts/test-arm64.sh [build-dir]   (default build-arm64)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-arm64}

sh scripts/install-deps.sh arm64
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
    -DCMAKE_BUILD_TYPE=Release -DQUVELTA_BENCH=OFF
cmake --build "$build" -j "${JOBS:-2}"
# Emulated, every test takes several times as long as on the host.
cd "$build" && ctest --output-on-failure -j "${JOBS:-2}" --timeout 1500
