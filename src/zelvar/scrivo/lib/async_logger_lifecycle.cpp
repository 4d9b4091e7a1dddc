// An AsyncLogger's life: construction, the end of its writer (at destruction, at exit, or given up
// on), and the fork and exit handlers every living one is registered with.
#include "async_logger_state.hpp"

#include <pthread.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

namespace zelvar::libscrivo {
using namespace async_queue;

namespace {

// Every AsyncLogger alive, for the exit and fork handlers. Never destroyed: the exit handler may
// run after static destructors.
struct Live {
    std::mutex mutex;
    std::unordered_set<AsyncLogger*> loggers;
};

Live& live() {
    static auto* l = new Live();
    return *l;
}

}  // namespace

namespace {
void stop_all_at_exit() { AsyncLogger::stop_all(); }
}  // namespace

// Fork: each writer parks between two records after flushing its sinks (so the child does not write
// the parent's buffered records again), and its queue is locked, so the child inherits neither a
// sink nor a queue in the middle of a change. Only the writer touches its sinks, so a sink that does
// not return holds up the fork for kForkWait at most; that logger is cut off in the child.
struct ForkHandlers {
    static void prepare() {
        live().mutex.lock();
        const auto deadline = std::chrono::steady_clock::now() + AsyncLogger::kForkWait;
        for (AsyncLogger* logger : live().loggers) {
            State& s = *logger->state_;
            std::unique_lock<std::mutex> lock(s.mutex);
            s.close_gate();  // no caller mid-record in the queue the child inherits
            s.pause.store(true);
            s.whole = true;
            if (s.writer && !s.stopped) {
                s.wake_writer();
                s.whole = s.forking.wait_until(lock, deadline, [&] { return s.parked; });
            }
            s.close_gate();
            (void)lock.release();  // held across the fork
        }
    }
    static void parent() {
        for (AsyncLogger* logger : live().loggers) {
            State& s = *logger->state_;
            s.pause.store(false);
            s.forking.notify_all();
            s.mutex.unlock();
        }
        live().mutex.unlock();
    }
    static void child() {
        for (AsyncLogger* logger : live().loggers) {
            State& s = *logger->state_;
            if (!s.whole) {
                // The sinks may hold the record the parent's writer was in: never written, flushed
                // or destroyed (which flushes) here.
                try {
                    static auto* kept = new std::vector<spdlog::sink_ptr>();
                    kept->insert(kept->end(), logger->sinks().begin(), logger->sinks().end());
                } catch (...) {
                    rethrow_forced_unwind();
                }
            }
            s.reset_in_child();
        }
        new (&live().mutex) std::mutex();
    }
    using State = AsyncLogger::State;
};

AsyncLogger::AsyncLogger(std::string name, std::vector<spdlog::sink_ptr> sinks, std::size_t queue_size,
                         Overflow overflow)
    : spdlog::logger(std::move(name), sinks.begin(), sinks.end()) {
    if (queue_size == 0 || queue_size > kMaxQueueSize) {
        throw std::invalid_argument("queue size must be between 1 and " + std::to_string(kMaxQueueSize));
    }
    state_ = std::make_unique<State>(queue_size, overflow);
    static std::once_flag hooks;
    std::call_once(hooks, [] {
        std::atexit(stop_all_at_exit);
        pthread_atfork(ForkHandlers::prepare, ForkHandlers::parent, ForkHandlers::child);
    });
    std::lock_guard<std::mutex> lock(live().mutex);
    live().loggers.insert(this);
}

AsyncLogger::~AsyncLogger() {
    {
        std::lock_guard<std::mutex> lock(live().mutex);
        live().loggers.erase(this);
    }
    if (state_->given_up) {
        // Its writer may never return from its sink: the state it uses stays, and so does the thread.
        state_->writer->detach();
        (void)state_.release();
        return;
    }
    stop();
}

void AsyncLogger::stop() noexcept { stop_within(std::chrono::milliseconds::zero()); }

void AsyncLogger::stop_within(std::chrono::milliseconds stall) noexcept {
    State& s = *state_;
    std::lock_guard<std::mutex> life(s.life);
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        s.close_gate();  // and closed for good: nothing is queued past the stop
        if (s.stopped || s.given_up) return;
        if (!s.writer) {
            s.stopped = true;  // nothing can be queued without a writer
            return;
        }
        s.stopping = true;
        s.wake_writer();
        auto seen = s.progress.load(std::memory_order_relaxed);
        auto moved = std::chrono::steady_clock::now();
        while (!s.stopped) {
            s.room.wait_for(lock, std::chrono::milliseconds(50));
            const auto now = std::chrono::steady_clock::now();
            if (const auto p = s.progress.load(std::memory_order_relaxed); p != seen) {
                seen = p;
                moved = now;
            } else if (!s.stopped && stall.count() > 0 && now - moved >= stall) {
                give_up(lock);
                return;
            }
        }
    }
    s.writer->join();
}

// At exit, on a writer whose sinks took nothing for the stall limit: the process ends without it.
void AsyncLogger::give_up(std::unique_lock<std::mutex>& lock) noexcept {
    State& s = *state_;
    s.given_up = true;
    const std::uint64_t lost = s.posted - s.done - std::min(s.posted - s.done, s.dropped.load());
    lock.unlock();
    try {
        // Kept for good: the stalled writer may go on one day, and must find its logger there.
        static auto* kept = new std::vector<std::shared_ptr<AsyncLogger>>();
        if (auto self = weak_from_this().lock()) kept->push_back(std::move(self));
        std::string text = "scrivo: logger '" + name() + "': its sinks accepted nothing for " +
                           std::to_string(kExitStall.count()) + " s at exit; up to " + std::to_string(lost) +
                           " records not written\n";
        if (::write(STDERR_FILENO, text.data(), text.size()) < 0) return;
    } catch (...) {
        rethrow_forced_unwind();
    }
}

void AsyncLogger::stop_all() noexcept {
    std::lock_guard<std::mutex> lock(live().mutex);
    for (AsyncLogger* logger : live().loggers) logger->stop_within(kExitStall);
}

}  // namespace zelvar::libscrivo
