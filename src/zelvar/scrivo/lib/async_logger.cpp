// A non-blocking logger's callers: queuing a record (through the gate, or under the queue's mutex
// when it must wait, drop or wake the writer), flush() and clone().
#include "async_logger_state.hpp"

#include <spdlog/details/os.h>

#include "crash_stack.hpp"

#include <chrono>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <string>

namespace zelvar::libscrivo {
using namespace async_queue;

std::size_t AsyncLogger::queue_size() const noexcept { return state_->capacity; }
AsyncLogger::Overflow AsyncLogger::overflow() const noexcept { return state_->overflow; }
std::uint64_t AsyncLogger::dropped() const noexcept { return state_->dropped.load(std::memory_order_relaxed); }

bool AsyncLogger::post(spdlog::level::level_enum level, const spdlog::source_loc& where, std::string_view plain,
                       std::string_view colored, bool wait, std::string_view fields) {
    return post_record(level, spdlog::log_clock::now(), spdlog::details::os::thread_id(), where, plain, colored, wait,
                       fields);
}

void AsyncLogger::sink_it_(const spdlog::details::log_msg& msg) {
    post_record(msg.level, msg.time, msg.thread_id, msg.source, {msg.payload.data(), msg.payload.size()}, {}, true);
}

bool AsyncLogger::post_record(spdlog::level::level_enum level, spdlog::log_clock::time_point time,
                              std::size_t thread_id, const spdlog::source_loc& where, std::string_view plain,
                              std::string_view colored, bool wait, std::string_view fields) {
    State& s = *state_;
    const std::string_view file = where.filename ? std::string_view(where.filename) : std::string_view();
    const std::string_view function = where.funcname ? std::string_view(where.funcname) : std::string_view();
    if (plain.size() + colored.size() + file.size() + function.size() + 2 + fields.size() >
        std::numeric_limits<std::uint32_t>::max()) {
        throw std::bad_alloc();
    }
    const RecordStamp stamp{time, thread_id};
    if (std::uint32_t index = 0; s.gate.reserve(index)) {
        // The slot is this caller's until published; the writer and the gate's owner wait for it.
        Record& r = s.waiting[index];
        try {
            r.fill(level, stamp, where, file, function, plain, colored, fields);
        } catch (...) {
            r.hole = true;
            r.published.set();
            throw;
        }
        r.published.set();
        return true;
    }
    std::unique_lock<std::mutex> lock(s.mutex);
    for (int spins = 0;;) {
        s.close_gate();
        if (s.given_up) {  // at exit, behind a writer that may never come back
            s.dropped.fetch_add(1, std::memory_order_relaxed);
            return true;
        }
        if (s.closing && !s.stopped) {
            // The writer holds the last queued records: one written now would overtake them.
            s.room.wait(lock, [&] { return s.stopped || !s.closing; });
            continue;
        }
        if (!s.stopped && !s.writer) {
            try {
                s.writer = std::make_unique<std::thread>([this] {
                    const ScopedSignalStack stack;  // a crash on the writer still writes the files out
                    run();
                });
            } catch (const std::system_error&) {
                // No thread to be had: this record is written here, as nothing is queued before it.
            }
        }
        if (s.stopped || !s.writer) {
            if (s.cut_off) {
                s.dropped.fetch_add(1, std::memory_order_relaxed);
                return true;
            }
            lock.unlock();
            write_now(level, stamp, where, plain, colored, fields);
            return true;
        }
        if (s.count < s.capacity) break;
        if (s.overflow == Overflow::drop_oldest) {
            s.head = s.slot(s.head + 1);
            --s.count;
            s.dropped.fetch_add(1, std::memory_order_relaxed);
            break;
        }
        s.wake_writer();
        if (spins < kSpins) {
            // A small queue's writer makes room within microseconds: cheaper to look again than to
            // sleep (and for a Python caller, to let go of the interpreter lock and take it back).
            ++spins;
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
            continue;
        }
        if (!wait) return false;
        ++s.blocked;
        s.room.wait(lock);
        --s.blocked;
    }
    const std::size_t at = s.slot(s.head + s.count);
    if (at == s.waiting.size()) {
        // Slots fill in order from 0 (see run()); made in steps that double, callers find the next
        // ones ready behind the gate.
        s.waiting.resize(std::min(s.capacity, std::max<std::size_t>(2 * at, 16)));
    }
    s.waiting[at].fill(level, stamp, where, file, function, plain, colored, fields);
    ++s.count;
    ++s.posted;
    // The gate lets through only records that need no wake-up (see open_gate()).
    if (s.writer_state == Writer::sleeping || (s.writer_state == Writer::polling && s.count >= s.eager)) {
        s.writer_state = Writer::busy;
        s.wake.notify_one();
    }
    s.open_gate();
    return true;
}

void AsyncLogger::flush_() {
    State& s = *state_;
    std::unique_lock<std::mutex> lock(s.mutex);
    s.room.wait(lock, [&] { return !s.closing || s.stopped || s.given_up; });
    s.close_gate();
    if (s.cut_off || s.given_up) return;
    if (s.stopped || !s.writer) {
        lock.unlock();
        flush_sinks();
        return;
    }
    const std::uint64_t ticket = s.posted;
    if (s.flushed_upto >= ticket) return;
    s.flush_wanted = std::max(s.flush_wanted, ticket);
    s.wake_writer();
    s.flushed.wait(lock, [&] { return s.flushed_upto >= ticket || s.stopped; });
}

std::shared_ptr<spdlog::logger> AsyncLogger::clone(std::string logger_name) {
    auto cloned = std::make_shared<AsyncLogger>(std::move(logger_name), sinks(), state_->capacity, state_->overflow);
    cloned->set_level(level());
    cloned->flush_on(flush_level());
    return cloned;
}

}  // namespace zelvar::libscrivo
