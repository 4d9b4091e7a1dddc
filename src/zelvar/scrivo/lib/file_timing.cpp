// File sinks' time limit and crash safety: one thread that writes out what every file sink has
// buffered within its flush interval, and a handler for fatal signals that writes out the buffered
// whole records before the signal goes on to the handler installed before it.
//
// The signal handler is installed when the first file sink opens, over whatever handler is there
// (faulthandler's, say, when it was enabled first); it writes, then calls that handler, or for the
// default action restores it and raises the signal again, so the process dies of the signal.  A
// handler installed later that chains to its predecessor (faulthandler does) reaches this one after
// doing its own work.  It runs on an alternate stack (crash_stack.hpp) and never blocks: a sink
// another thread holds is skipped, a file that takes nothing (a pipe nobody reads) is given up at a
// deadline, and a second fatal signal on another thread waits for the first one's writing.
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <sys/syscall.h>

#include "bounded_waits.hpp"
#include "crash_stack.hpp"
#include "polled_write.hpp"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdlib>
#include <new>
#include <thread>
#include <utility>
#include <vector>

namespace zelvar::libscrivo {

std::atomic<bool> g_flusher_running{false};

namespace {

using Clock = std::chrono::steady_clock;

struct Tracked {
    FileSink* sink;
    Clock::time_point written;   // by the thread, or when tracking began
    Clock::time_point retry_at;  // after the sink was busy
};

// Never destroyed: the thread and exit handlers may run after static destructors.
struct Flusher {
    std::mutex mutex;  // the list; held while the thread writes, so a sink is never written while it goes
    std::condition_variable wake;
    std::vector<Tracked> sinks;
    bool stop_waiting = false;
    bool exiting = false;  // the exit handler writes what is left: the thread must not hold a sink then
    bool pausing = false;  // a fork is coming: the thread ends (a forking process has no thread it did not start)
    bool missed = false;   // a record wanted the thread while it was paused: the parent starts it after the fork
    pthread_t thread{};
    bool joinable = false;

    void pause(bool on) { pausing = on; }
};

Flusher& flusher() {
    static auto* f = new Flusher;
    return *f;
}

// What the signal handler walks: no lock, no allocation.  Sinks beyond the table's size are still
// written in time, though not on a crash.
constexpr std::size_t kCrashSlots = 1024;
std::array<std::atomic<FileSink*>, kCrashSlots> crash_slots{};

constexpr std::array<int, 5> kFatalSignals{SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
std::array<struct sigaction, kFatalSignals.size()> previous_actions{};
// The thread id of the first handler to run, and whether it has written everything.
std::atomic<long> crashing_thread{0};
std::atomic<bool> crash_written{false};

// A crash waits this long in all for writers that hold sinks, writes for at most kCrashWriteMs,
// and a second crashing thread waits at most kCrashSecondMs for the first.
constexpr long kCrashLockWaitMs = 100;
constexpr long kCrashWriteMs = 1000;
constexpr long kCrashSecondMs = 2000;

void run() {
    Flusher& f = flusher();
    std::unique_lock<std::mutex> lock(f.mutex);
    while (!f.exiting && !f.pausing) {
        const auto now = Clock::now();
        auto next = Clock::time_point::max();
        for (Tracked& t : f.sinks) {
            // Every half interval: a record waits at most that long for the next write, and a
            // writer holding the sink gets another try soon.
            const auto interval = t.sink->flush_interval();
            if (interval.count() == 0) continue;  // written through
            const auto half = std::chrono::duration_cast<Clock::duration>(interval / 2);
            auto due = std::max(t.written + half, t.retry_at);
            if (now >= due) {
                if (t.sink->flush_if_idle()) {
                    t.written = now;
                    due = now + half;
                } else {
                    t.retry_at = now + std::min<Clock::duration>(half, std::chrono::milliseconds(5));
                    due = t.retry_at;
                }
            }
            next = std::min(next, due);
        }
        f.stop_waiting = false;
        if (next == Clock::time_point::max()) {
            f.wake.wait(lock, [&] { return f.stop_waiting || f.exiting || f.pausing; });
        } else {
            f.wake.wait_until(lock, next, [&] { return f.stop_waiting || f.exiting || f.pausing; });
        }
    }
    g_flusher_running.store(false, std::memory_order_relaxed);  // the next record starts another
    if (f.exiting && f.joinable) {  // nobody joins it now: a finished thread leaves nothing behind
        ::pthread_detach(f.thread);
        f.joinable = false;
    }
}

void* run_thread(void*) {
    const ScopedSignalStack stack;
    run();
    return nullptr;
}

// Before fork(), ahead of the sink locks: the thread ends, waiting at most kForkLockWait for it,
// so the process forks with no thread of this library's making (the next record into an empty
// buffer starts one again, in parent and child).  While `pausing`, this is the thread's only
// joiner: wake_flusher neither joins nor starts one.  The list's lock may take a while: the thread may
// be writing to a file that does not take it yet.
void pause_for_fork() noexcept { end_thread_for_fork(flusher(), kForkLockWait); }

// In the parent after fork(): a record that came while the thread was paused still gets its time limit.
void resume_after_fork() noexcept {
    Flusher& f = flusher();
    bool missed = false;
    {
        std::lock_guard<std::mutex> lock(f.mutex);
        missed = std::exchange(f.missed, false);
    }
    if (missed) wake_flusher();
}

void write_out_on_crash() noexcept {
    const struct timespec locks = monotonic_after(kCrashLockWaitMs), writes = monotonic_after(kCrashWriteMs);
    unsigned long long skipped = 0;
    for (auto& slot : crash_slots) {
        if (FileSink* sink = slot.load(std::memory_order_acquire)) skipped += !sink->write_out_on_crash(locks, writes);
    }
    if (skipped) {
        report_line("scrivo: fatal signal: ", skipped,
                    " file sink(s) held by another thread; their buffered records were not written", 100);
    }
}

void on_fatal_signal(int sig, siginfo_t* info, void* context) {
    const int saved_errno = errno;
    std::size_t index = 0;
    while (index < kFatalSignals.size() && kFatalSignals[index] != sig) ++index;
    const long me = ::syscall(SYS_gettid);
    long first = 0;
    if (crashing_thread.compare_exchange_strong(first, me)) {
        write_out_on_crash();
        crash_written.store(true);
    } else if (first != me) {
        // Another thread is writing the records out: its signal, or this one, ends the process after.
        const struct timespec until = monotonic_after(kCrashSecondMs);
        const struct timespec pause {
            0, 1'000'000
        };
        while (!crash_written.load() && !passed(until)) ::nanosleep(&pause, nullptr);
    }  // else the handler itself faulted on this thread: on to the signal
    const struct sigaction& before = previous_actions[index];
    if (before.sa_handler == SIG_DFL || before.sa_handler == SIG_IGN) {
        // Blocked while this handler runs: the default action comes as it returns.  An ignored
        // fatal signal from a fault would come back at once, so it gets the default action too.
        ::signal(sig, SIG_DFL);
        ::raise(sig);
    } else if (before.sa_flags & SA_SIGINFO) {
        before.sa_sigaction(sig, info, context);
    } else {
        before.sa_handler(sig);
    }
    errno = saved_errno;
}

void install_signal_handlers() noexcept {
    struct sigaction action {};
    action.sa_sigaction = on_fatal_signal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // Another fatal signal for this thread waits while it writes: it goes to another thread, or
    // comes as the handler returns.
    sigemptyset(&action.sa_mask);
    for (int sig : kFatalSignals) sigaddset(&action.sa_mask, sig);
    for (std::size_t i = 0; i < kFatalSignals.size(); ++i) {
        ::sigaction(kFatalSignals[i], &action, &previous_actions[i]);
    }
    keep_signal_stack();
}

// The thread does not exist in a forked child: the next record into an empty buffer starts one.
void forked(void*, bool) noexcept {
    Flusher& f = flusher();
    g_flusher_running.store(false, std::memory_order_relaxed);
    f.joinable = false;  // the parent's
    f.pausing = false;
    f.missed = false;
    new (&f.wake) std::condition_variable();  // its waiter stayed in the parent
}

// Registered after the exit handler that writes every open sink out, so it runs first.  The exit
// does not wait for the thread (daemon threads of the interpreter may still run at this point, and
// every moment the exit lingers is one more for them): the thread detaches itself as it ends.
void stop_at_exit() noexcept {
    Flusher& f = flusher();
    {
        std::lock_guard<std::mutex> lock(f.mutex);  // the thread is between passes
        f.exiting = true;
    }
    f.wake.notify_all();
}

}  // namespace

void track_file_sink(FileSink* sink) {
    Flusher& f = flusher();
    static std::once_flag once;
    std::call_once(once, [&] {
        guard_worker_across_fork(f, forked, pause_for_fork, resume_after_fork);
        std::atexit(stop_at_exit);
        install_signal_handlers();
    });
    {
        std::lock_guard<std::mutex> lock(f.mutex);
        f.sinks.push_back(Tracked{sink, Clock::now(), {}});
    }
    for (auto& slot : crash_slots) {
        FileSink* empty = nullptr;
        if (slot.compare_exchange_strong(empty, sink, std::memory_order_release)) break;
    }
}

void untrack_file_sink(FileSink* sink) noexcept {
    for (auto& slot : crash_slots) {
        FileSink* mine = sink;
        if (slot.compare_exchange_strong(mine, nullptr, std::memory_order_release)) break;
    }
    Flusher& f = flusher();
    std::lock_guard<std::mutex> lock(f.mutex);
    const auto it = std::find_if(f.sinks.begin(), f.sinks.end(), [&](const Tracked& t) { return t.sink == sink; });
    if (it == f.sinks.end()) return;
    *it = f.sinks.back();
    f.sinks.pop_back();
}

void wake_flusher() noexcept {
    Flusher& f = flusher();
    try {
        std::lock_guard<std::mutex> lock(f.mutex);
        if (f.pausing) {  // the fork's prepare handler is joining the thread
            f.missed = true;
            return;
        }
        if (!g_flusher_running.load(std::memory_order_relaxed) && !f.exiting) {
            if (f.joinable) ::pthread_join(f.thread, nullptr);  // one that ended while a fork did not wait
            f.joinable = false;
            if (::pthread_create(&f.thread, nullptr, run_thread, nullptr) != 0) return;
            f.joinable = true;
            g_flusher_running.store(true, std::memory_order_relaxed);
        }
        f.stop_waiting = true;
    } catch (...) {  // no thread: records wait for the buffer to fill, a flush or the exit
        rethrow_forced_unwind();
        return;
    }
    f.wake.notify_one();
}

void FileSink::set_flush_interval(std::chrono::nanoseconds interval) noexcept {
    long long ns = std::max<long long>(interval.count(), 0);
    if (ns > 0) ns = std::max<long long>(ns, std::chrono::nanoseconds(kTimerStep).count());
    flush_interval_ns_.store(ns, std::memory_order_relaxed);
    if (ns > 0) wake_flusher();
}

std::chrono::nanoseconds FileSink::flush_interval() const noexcept {
    return std::chrono::nanoseconds(flush_interval_ns_.load(std::memory_order_relaxed));
}

bool FileSink::write_out_on_crash(const struct timespec& lock_deadline,
                                  const struct timespec& write_deadline) noexcept {
    const pthread_t me = ::pthread_self();
    bool held = false;
    for (;;) {
        held = mutex_.try_lock();
        if (held) break;
        // The crashing thread was in the middle of a record: the records before it are whole.
        if (holder_.load(std::memory_order_relaxed) == me) break;
        if (passed(lock_deadline)) return false;
        const struct timespec pause {
            0, 1'000'000
        };
        ::nanosleep(&pause, nullptr);
    }
    std::atomic_signal_fence(std::memory_order_acquire);
    const std::size_t size = held ? buffer_.size() : std::min(whole_.load(std::memory_order_relaxed), buffer_.size());
    const std::size_t written = fd_ >= 0 && size > 0 ? write_polled(fd_, buffer_.data(), size, write_deadline) : 0;
    if (held) {
        // Should the process go on, nothing is written twice.
        std::memmove(buffer_.data(), buffer_.data() + written, buffer_.size() - written);
        buffer_.resize(buffer_.size() - written);
        whole_.store(buffer_.size(), std::memory_order_relaxed);
        mutex_.unlock();
    }
    return true;
}

void set_file_flush_interval(spdlog::logger& logger, std::chrono::nanoseconds interval) noexcept {
    for (const auto& sink : logger.sinks()) {
        if (auto* file = dynamic_cast<FileSink*>(innermost_sink(sink.get()))) file->set_flush_interval(interval);
    }
}

}  // namespace zelvar::libscrivo
