// Joining a thread of the library's own with a time limit (fork handlers must not wait for good).
// Private to libscrivo.
#pragma once

#include <pthread.h>
#include <time.h>

#include <chrono>

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

}  // namespace zelvar::libscrivo
