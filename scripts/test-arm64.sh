#!/bin/sh
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
# Cross-builds Quvelta for 64-bit Arm Linux (AArch64) and runs its tests under qemu-user: the
# pixels, hashes and files must come out as on x86-64.
#
# qemu-user cannot start processes for QProcess, so only the tests labelled "emulated" run as
# AArch64 programs; the others (those that run the command line or an outside reader) run from
# the host build, against the AArch64 command line through the emulator: its files are then
# checked by the same tests, and compared with the host's own renders.
#
# Usage: scripts/test-arm64.sh [build-dir]   (default build-arm64; the host build is "build")
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-arm64}
jobs=${JOBS:-2}

sh scripts/install-deps.sh arm64
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
    -DCMAKE_BUILD_TYPE=Release -DQUVELTA_BENCH=OFF
cmake --build "$build" -j "$jobs"
emulated=$(cd "$build" && pwd)/tests/quvelta-render-emulated
make build
# Emulated, a test takes several times as long as on the host.
(cd "$build" && ctest --output-on-failure -j "$jobs" --timeout 3000 -L emulated)
(cd build && QUVELTA_RENDER="$emulated" \
    ctest --output-on-failure -j "$jobs" --timeout 3000 -LE emulated -E licence_lines)
