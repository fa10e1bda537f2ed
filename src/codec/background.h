// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_BACKGROUND_H
#define QUVELTA_BACKGROUND_H

#include <future>
#include <system_error>
#include <type_traits>

// A task on a thread of its own or, when no thread can be had (short of memory), deferred to
// get(). std::async with both policies means the same, but libstdc++ then runs a moved-from
// copy of the task: a task holding its data by value would find it empty. The task is copied,
// so it should hold large data through a shared pointer.
template<typename Task>
std::future<std::invoke_result_t<Task>> inBackground(const Task &task)
{
    try {
        return std::async(std::launch::async, task);
    } catch (const std::system_error &) {
        return std::async(std::launch::deferred, task);
    }
}

#endif
