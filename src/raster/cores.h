// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_CORES_H
#define QUVELTA_CORES_H

#include <functional>

// How many threads a render uses, decided here only: the processor's cores, at least one and at
// most eight.
int usableCores();

// Runs task(0) ... task(count - 1), shared out over the processor's cores (as many threads as
// can be had, the caller's among them). The first exception a task throws is rethrown here once
// every thread has stopped.
void shareOutOverCores(int count, const std::function<void(int)> &task);

// A hot loop built twice, for AVX2 and for any x86-64, the one the processor has chosen when the
// program loads: eight floats a step where SSE2 takes four. Not FMA, which would round
// differently: both give the same bits (glibc's ifunc; elsewhere a plain function).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define QUVELTA_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QUVELTA_AVX2_CLONES
#endif

#endif
