// Waits with a time limit, for the fork handlers (which must not wait for good): joining a thread of
// the library's own, taking a lock. Private to libscrivo.
#pragma once

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

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

}  // namespace zelvar::libscrivo
