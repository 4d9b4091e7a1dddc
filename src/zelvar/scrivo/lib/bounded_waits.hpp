// Waits with a time limit, for the fork handlers (which must not wait for good): joining a thread of
// the library's own, taking a lock, ending a worker thread before a fork. Private to libscrivo.
#pragma once

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "sinks.hpp"

namespace zelvar::libscrivo {

// Joins `thread` if it ends within `wait`.
inline bool join_within(pthread_t thread, std::chrono::nanoseconds wait) noexcept {
    struct timespec until {};
    ::clock_gettime(CLOCK_REALTIME, &until);
    until.tv_nsec += wait.count();
    until.tv_sec += until.tv_nsec / 1'000'000'000;
    until.tv_nsec %= 1'000'000'000;
    return ::pthread_timedjoin_np(thread, nullptr, &until) == 0;
}

// Takes `lock` if it comes free before `deadline`, looking again at growing intervals (10 us to 1 ms).
inline bool lock_before(std::mutex& lock, std::chrono::steady_clock::time_point deadline) noexcept {
    auto pause = std::chrono::microseconds(10);
    while (!lock.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(1000));
    }
    return true;
}

// Before fork(): ends `worker`'s thread, waiting at most `wait` for its lock and again for the
// thread, so the process forks with no thread of the library's making. The worker has `mutex`, `wake`,
// `thread` and `joinable`, and `pause(bool)`, called under the lock before the thread is woken and
// after it is joined: it tells the thread to end, then lets it start again.
template <class Worker>
void end_thread_for_fork(Worker& worker, std::chrono::milliseconds wait) noexcept {
    if (!lock_before(worker.mutex, std::chrono::steady_clock::now() + wait)) return;
    if (!worker.joinable) {
        worker.mutex.unlock();
        return;
    }
    worker.pause(true);
    worker.mutex.unlock();
    worker.wake.notify_all();
    const bool joined = join_within(worker.thread, wait);
    std::lock_guard<std::mutex> lock(worker.mutex);
    if (joined) worker.joinable = false;
    worker.pause(false);
}

// Guards `worker`'s lock across fork(), `forked` running in the child. Prepare handlers run last
// registered first, parent handlers first registered first: `pause` ends the thread before the
// guard takes the lock, and `resume` runs after the guard lets it go.
template <class Worker>
void guard_worker_across_fork(Worker& worker, void (*forked)(void*, bool) noexcept, void (*pause)(), void (*resume)()) {
    guard_across_fork(worker.mutex, &worker, {nullptr, forked});
    ::pthread_atfork(pause, resume, nullptr);
}

}  // namespace zelvar::libscrivo
