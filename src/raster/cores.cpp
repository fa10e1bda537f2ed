// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "cores.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

int usableCores()
{
    return std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
}

void shareOutOverCores(int count, const std::function<void(int)> &task)
{
    std::atomic<int> next { 0 };
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto work = [&] {
        try {
            for (int i = next++; i < count; i = next++)
                task(i);
        } catch (...) {
            next = count; // the others stop at their next task
            const std::lock_guard<std::mutex> lock(failureLock);
            if (!failure)
                failure = std::current_exception();
        }
    };
    const int threads = usableCores();
    std::vector<std::thread> pool;
    try {
        for (int t = 1; t < std::min(threads, count); ++t)
            pool.emplace_back(work);
    } catch (const std::system_error &) {
        // No more threads to be had: the ones there are do the work.
    }
    work();
    for (std::thread &thread : pool)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
}
