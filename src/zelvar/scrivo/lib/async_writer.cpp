// A non-blocking logger's writer thread: taking the queued records in batches, writing them through
// write_to_sinks, flushing, parking for a fork; and writing a record on the caller's thread once no
// writer is left.
#include "async_logger_state.hpp"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <system_error>
#include <thread>

namespace zelvar::libscrivo {
using namespace async_queue;

void AsyncLogger::write_now(spdlog::level::level_enum level, const RecordStamp& stamp, const spdlog::source_loc& where,
                            std::string_view plain, std::string_view colored, std::string_view fields) noexcept {
    SinkFailure failure;
    if (fields.empty()) {
        failure = write_to_sinks(*this, level, where, plain, colored, &stamp);
    } else {
        const CurrentFields current(fields);
        failure = write_to_sinks(*this, level, where, plain, colored, &stamp);
    }
    if (failure) report(failure);
}

void AsyncLogger::flush_sinks() noexcept {
    for (const auto& sink : sinks()) {
        try {
            sink->flush();
        } catch (...) {
            rethrow_forced_unwind();
            report(SinkFailure{sink, std::current_exception()});
        }
    }
}

void AsyncLogger::write_out_batch() noexcept {
    for (const auto& sink : sinks()) {
        auto* file = dynamic_cast<FileSink*>(innermost_sink(sink.get()));
        if (!file) continue;
        try {
            file->write_out_batch();
        } catch (...) {
            rethrow_forced_unwind();
            report(SinkFailure{sink, std::current_exception()});
        }
    }
}

void AsyncLogger::report(const SinkFailure& failure) noexcept {
    if (!due_for_report(failure.sink)) return;
    std::string text = "scrivo: logger '" + name() + "' could not write a record: ";
    try {
        std::rethrow_exception(failure.error);
    } catch (const std::exception& e) {
        text += e.what();
    } catch (...) {
        rethrow_forced_unwind();
        text += "unknown error";
    }
    text += '\n';
    // One write(2), so the line is not interleaved with other output; nothing to do if it fails.
    if (::write(STDERR_FILENO, text.data(), text.size()) < 0) return;
}

void AsyncLogger::run() noexcept {
    State& s = *state_;
    std::unique_lock<std::mutex> lock(s.mutex);
    bool streaming = false;  // the last batch held more than one record
    for (;;) {
        // The state is announced on every sleep, so a wake-up that found nothing to do is not the last.
        // Fewer than kEagerBatch records wait for the next look rather than being taken at once: a
        // writer on the callers' heels takes the queue's lock and the records' cache lines from them
        // every few records, and callers then write into lines the writer has only just read.
        // A small queue fills sooner than a sleeping writer wakes: under a stream of records the
        // writer looks again a few times first (for kSpinTime at most, so that an idle logger's
        // record is not kept past the poll), leaving its core to the callers in between.
        // The gate is open only while the writer waits: callers then queue without the lock.
        s.close_gate();
        const auto spin_until = std::chrono::steady_clock::now() + kSpinTime;
        for (int spin = 0; streaming && spin < kSpins && s.eager < kEagerBatch && s.count < s.eager &&
                           s.flush_wanted <= s.flushed_upto && !s.stopping &&
                           !s.pause.load(std::memory_order_relaxed) && std::chrono::steady_clock::now() < spin_until;
             ++spin) {
            s.open_gate();
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
            s.close_gate();
        }
        for (bool polled = false; s.count < (polled ? 1 : s.eager) && s.flush_wanted <= s.flushed_upto && !s.stopping &&
                                  !s.pause.load(std::memory_order_relaxed);
             polled = true) {
            s.writer_state = polled ? Writer::sleeping : Writer::polling;
            s.open_gate();
            if (polled) {
                s.wake.wait(lock);
            } else {
                s.wake.wait_for(lock, kPollInterval);
            }
            s.close_gate();
        }
        s.writer_state = Writer::busy;
        if (s.pause.load(std::memory_order_relaxed)) {
            lock.unlock();
            park();
            lock.lock();
            continue;
        }
        const bool last = s.stopping;
        const bool flush = last || s.flush_wanted > s.flushed_upto;
        std::swap(s.waiting, s.taken);
        s.taken_head = s.head;
        s.taken_count = s.count;
        s.head = s.count = 0;
        const std::uint64_t end = s.posted;
        if (last) s.closing = true;
        if (s.blocked) s.room.notify_all();
        s.open_gate();
        lock.unlock();
        const std::size_t count = s.taken_count;
        streaming = count > 1;
        {
            // Locals, not the shared lines callers keep writing.
            Record* const taken = s.taken.data();
            const std::size_t capacity = s.capacity, first = s.taken_head;
            const FileSink::BatchOfRecords batch;  // one write per file for what fits its buffer
            for (std::size_t i = 0; i < count; ++i) {
                if (s.pause.load(std::memory_order_relaxed)) park();
                const std::size_t at = first + i;
                Record& r = taken[at < capacity ? at : at - capacity];
                if (r.hole) continue;
                const char* text = r.text();
                const char* file = text + r.plain + r.colored;
                const spdlog::source_loc where{r.has_file ? file : nullptr, r.line,
                                               r.has_function ? file + r.file + 1 : nullptr};
                write_now(r.level, r.stamp, where, {text, r.plain}, {text + r.plain, r.colored},
                          {file + r.file + 1 + r.function + 1, r.fields});
                if (r.spill_capacity > kKeptTextCapacity) {
                    r.spill.reset();
                    r.spill_capacity = 0;
                }
                s.progress.fetch_add(1, std::memory_order_relaxed);
            }
            s.taken_count = 0;
            if (flush) {
                flush_sinks();
            } else {
                write_out_batch();
            }
            s.progress.fetch_add(1, std::memory_order_relaxed);
        }
        lock.lock();
        s.done += count;
        if (flush) {
            s.flushed_upto = std::max(s.flushed_upto, end);
            s.flushed.notify_all();
        }
        if (last) {
            s.stopped = true;
            s.closing = false;
            s.room.notify_all();
            return;
        }
    }
}

// On the writer, between two records, while a fork waits for it.
void AsyncLogger::park() noexcept {
    State& s = *state_;
    flush_sinks();
    std::unique_lock<std::mutex> lock(s.mutex);
    s.parked = true;
    s.forking.notify_all();
    s.forking.wait(lock, [&] { return !s.pause.load(std::memory_order_relaxed); });
    s.parked = false;
}

}  // namespace zelvar::libscrivo
