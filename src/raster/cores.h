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

#endif
