#ifndef QUVELTA_CORES_H
#define QUVELTA_CORES_H

#include <functional>

// The one place that decides how many threads a render uses: the processor's cores, at least
// one and at most eight (more only contend for memory).
int usableCores();

// Runs task(0) ... task(count - 1), shared out over the processor's cores (as many threads as
// can be had, the caller's among them). The first exception a task throws is rethrown here once
// every thread has stopped.
void shareOutOverCores(int count, const std::function<void(int)> &task);

#endif
