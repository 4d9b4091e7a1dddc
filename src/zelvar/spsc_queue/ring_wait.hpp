// Waiting pieces of the ring, shared by both sides and every family: the CPU pause, the
// spin-then-yield phase before sleeping, the futex, and the process-wide barrier that lets the hot
// side publish with plain release stores.
#pragma once

#include <linux/futex.h>
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <ctime>
#include <thread>

namespace zelvar::spsc::detail {

inline void cpu_relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// A short spin, then a few yields: a peer a moment behind then costs neither side a system call.
// True as soon as `ready()` is; false when the caller should go on to sleep.
template <int kSpins = 256, int kYields = 8, class Ready>
bool spin_then_yield(Ready ready) {
    for (int i = 0; i < kSpins; ++i) {
        if (ready()) return true;
        cpu_relax();
    }
    for (int i = 0; i < kYields; ++i) {
        if (ready()) return true;
        std::this_thread::yield();
    }
    return false;
}

// std::atomic::wait has no timeout, so sleep on the futex directly.
inline void futex_wait(std::atomic<std::uint32_t>& word, std::uint32_t expected,
                       std::chrono::nanoseconds timeout) noexcept {
    const auto ns = timeout.count();
    timespec ts{static_cast<std::time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAIT_PRIVATE, expected, &ts, nullptr, 0);
}

inline void futex_wake_all(std::atomic<std::uint32_t>& word) noexcept {
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

// Heavy half of an asymmetric fence: when it returns, every other running thread of the process
// has passed a full memory barrier. It lets the hot side publish with plain release stores.
inline bool process_barrier_available() noexcept {
    static const bool ok = syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
    return ok;
}

inline void process_barrier() noexcept { syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0); }

// "Announce sleep, then re-check": the protocol of every sleeper of the package on its "I may be
// asleep" flag (the ring's sides on their futex words, a bridge consumer before its doorbell). The
// sleeper raises the flag, then looks for work once more; the other side publishes its work, then
// reads the flag. A full barrier on each side between its two steps makes one of them see the
// other, so no wake-up is lost.
//
// `Recheck` says how the sleeper's re-check loads: seq_cst loads are ordered after the seq_cst
// announcement by themselves; weaker ones need a full fence between the two.
enum class Recheck { seq_cst_loads, weaker_loads };

template <class T, Recheck kRecheck>
struct SleepAnnouncement {
    std::atomic<T>& flag;

    // The sleeper's first step, ordered before the re-check that follows.
    void announce() const noexcept {
        flag.store(static_cast<T>(1), std::memory_order_seq_cst);
        if constexpr (kRecheck == Recheck::weaker_loads) std::atomic_thread_fence(std::memory_order_seq_cst);
    }

    // The sleeper takes its announcement back once it found work or woke. Relaxed: only the sleeper
    // raises the flag, and a stale raised flag costs the other side one spare wake-up.
    void withdraw() const noexcept { flag.store(static_cast<T>(0), std::memory_order_relaxed); }
};

// The ring's sleep on its futex word `flag`. With `light` the publisher's barrier comes from the
// sleeper's process_barrier(), so publishing stays a release store and costs no system call;
// without membarrier both sides use seq_cst.
using Clock = std::chrono::steady_clock;

template <class Ready>
bool sleep_until(std::atomic<std::uint32_t>& flag, Ready ready, Clock::time_point& deadline,
                 std::chrono::nanoseconds slice, bool light) {
    if (spin_then_yield(ready)) return true;
    if (deadline == Clock::time_point{}) deadline = Clock::now() + slice;
    const SleepAnnouncement<std::uint32_t, Recheck::seq_cst_loads> sleeper{flag};
    for (;;) {
        sleeper.announce();
        if (light) process_barrier();  // the publisher's barrier, paid here instead of on every publish
        if (ready()) break;
        const auto now = Clock::now();
        if (now >= deadline) break;
        futex_wait(flag, 1, std::min<std::chrono::nanoseconds>(deadline - now, slice));
    }
    sleeper.withdraw();
    return ready();
}

// Clears the flag and wakes whoever sleeps on it. seq_cst: ordered against close()'s store of the
// closed flag, so a sleeper that re-checks after the wake sees it.
inline void wake(std::atomic<std::uint32_t>& flag) noexcept {
    flag.store(0, std::memory_order_seq_cst);
    futex_wake_all(flag);
}

}  // namespace zelvar::spsc::detail
