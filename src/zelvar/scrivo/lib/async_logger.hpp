// Writing one record to a logger's sinks, on the caller's thread or on the writer of a non-blocking
// logger. Included by libscrivo.hpp, the header to include.
#pragma once

#include "carried_libraries.hpp"  // before any spdlog or fmt header

#include <spdlog/common.h>
#include <spdlog/logger.h>
#include <spdlog/sinks/sink.h>

#include <zelvar/forced_unwind.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "export.hpp"

namespace zelvar::libscrivo {

using zelvar::rethrow_forced_unwind;

// --- writing one record to a logger's sinks ------------------------------------------------
//
// How the logging module writes a record, whether on the caller's thread or on the writer of an
// AsyncLogger: every sink whose level lets the record through gets it, spdlog's thread-safe console
// sinks (and types derived from them, looked through any depth of MaxSinkLevel) the `colored` text
// when it is not empty, unless the sink was made escape-free (EscapeFree, console_sinks.hpp); every other sink
// the `plain` one.  A sink that throws does not stop the
// others; the first failure is handed back.  The record's fields are those current on the calling
// thread (CurrentFields, record_fields.hpp).

struct SinkFailure {
    std::shared_ptr<spdlog::sinks::sink> sink;
    std::exception_ptr error;
    explicit operator bool() const { return static_cast<bool>(error); }
};

// When and on which thread a record was made.  Without one, each sink gets the current time and
// the calling thread.
struct RecordStamp {
    spdlog::log_clock::time_point time;
    std::size_t thread_id;
};

SCRIVO_API SinkFailure write_to_sinks(spdlog::logger& logger, spdlog::level::level_enum level,
                                      const spdlog::source_loc& where, std::string_view plain, std::string_view colored,
                                      const RecordStamp* stamp = nullptr) noexcept;

// True for spdlog's thread-safe console sinks, as described above.
SCRIVO_API bool is_console_sink(spdlog::sinks::sink* sink);

// Whether a record at `level` passes the logger's level and reaches at least one of its sinks
// (MaxSinkLevel bands included).  A record at `off` or above reaches none.
SCRIVO_API bool reaches_a_sink(const spdlog::logger& logger, spdlog::level::level_enum level);

// Whether a sink with `pattern` may write a record's source location: a flag of spdlog's that reads
// it (%@ %s %g %# %!, and %+, spdlog's default, as the empty pattern is) or one it does not know (a
// custom flag may read anything).
SCRIVO_API bool pattern_prints_location(std::string_view pattern) noexcept;

// Marks `sink` (a factory's, given a pattern that writes no location) as writing none, until it is
// destroyed or given another pattern through MaxSinkLevel.  A pattern given through spdlog's own
// set_pattern/set_formatter is not seen: a native module that gives a factory's sink a pattern
// with a location that way calls forget_location_free first.  Throws std::bad_alloc.
SCRIVO_API void mark_location_free(const std::shared_ptr<spdlog::sinks::sink>& sink);

// Whether a sink with `pattern` may write a record's fields: our %K, or a flag spdlog does not know.
SCRIVO_API bool pattern_prints_fields(std::string_view pattern) noexcept;

// Marks `sink` (a factory's text sink, given a pattern without fields) as writing none, as
// mark_location_free does.  Throws std::bad_alloc.
SCRIVO_API void mark_fields_free(const std::shared_ptr<spdlog::sinks::sink>& sink);

// Unmarks `sink` (its pattern changed): it may write the location and the fields.
SCRIVO_API void forget_location_free(const spdlog::sinks::sink* sink) noexcept;

// Whether any sink of `logger` may write the source location: every sink not marked location free,
// under any MaxSinkLevel, counts (JSON, the default pattern, sinks added from outside).  Taken once
// per logger and sink set by callers that cache it, together with location_generation().
SCRIVO_API bool prints_location(const spdlog::logger& logger);

// Whether any sink of `logger` may write a record's fields, as prints_location decides (JSON and
// syslog sinks, a pattern with %K, sinks added from outside).
SCRIVO_API bool prints_fields(const spdlog::logger& logger);

// Changes whenever a sink stops being marked location or fields free.
SCRIVO_API unsigned location_generation() noexcept;

// Whether a failure of `sink` is to be reported now: at most once per second per sink, so a full
// disk does not turn every record into a report.  Thread-safe; the sink is held weakly.
SCRIVO_API bool due_for_report(const std::shared_ptr<spdlog::sinks::sink>& sink) noexcept;

// A logger whose callers never wait for its sinks (unless its queue is full and it blocks).
//
// A record logged through it (spdlog's own logging calls, or post()) is captured on the calling
// thread (level, time, source location, thread id, text) into a bounded queue and written by one
// writer thread through write_to_sinks, so the output is that of a synchronous logger.  Records of
// one thread are written in the order they were logged.  When the queue holds `queue_size` records,
// Overflow::block makes the caller wait for room; Overflow::drop_oldest overwrites the oldest
// waiting record and counts it in dropped().
//
// The writer starts with the first record.  flush() returns once every record queued before the
// call has been written and the sinks flushed.  Destroying the logger writes what is queued and
// ends the writer.  At exit (stop_all, also run by an atexit handler) every writer writes what it
// holds and ends; from then on records are written on the calling thread.  A fork() waits for each
// writer to finish the record it is writing and flush its sinks, for at most kForkWait in all; in
// the child the queue is empty (the parent writes its records) and a new writer starts with the
// child's first record.  A logger whose writer did not get there in time (a sink that does not
// return) is cut off in the child: the child cannot know what of the sinks' state is whole, so its
// records there are dropped (counted in dropped()) rather than written twice or in part.  A sink
// that throws on the writer is reported on standard error at most once per second per sink; the
// writer goes on.  The queue's slots are made as records first reach them, in steps that double (16,
// 32, ... up to queue_size), so an unused capacity costs no memory.
class SCRIVO_API AsyncLogger final : public spdlog::logger, public std::enable_shared_from_this<AsyncLogger> {
  public:
    enum class Overflow { block, drop_oldest };
    static constexpr std::size_t kMaxQueueSize = std::size_t{1} << 20;
    static constexpr std::chrono::milliseconds kForkWait{500};
    static constexpr std::chrono::seconds kExitStall{2};

    // Throws std::invalid_argument for a queue_size of 0 or above kMaxQueueSize.
    AsyncLogger(std::string name, std::vector<spdlog::sink_ptr> sinks, std::size_t queue_size, Overflow overflow);
    ~AsyncLogger() override;

    // Queues a record made now on the calling thread; `colored` (may be empty) is the text for
    // console sinks.  With `wait` false a record that would have to wait for room is not queued
    // and false is returned, so the caller can let go of its own locks before waiting.  `fields`
    // (an encoded block) are copied with the record and current on the writer while it is written.
    bool post(spdlog::level::level_enum level, const spdlog::source_loc& where, std::string_view plain,
              std::string_view colored, bool wait = true, std::string_view fields = {});

    std::size_t queue_size() const noexcept;
    Overflow overflow() const noexcept;
    // Records lost to Overflow::drop_oldest so far.
    std::uint64_t dropped() const noexcept;

    // Drains every AsyncLogger and ends its writer, giving up on one whose sinks take nothing for
    // kExitStall; later records are written synchronously.  For exit.
    static void stop_all() noexcept;

    // A logger of the same kind, sinks, queue and levels under another name.
    std::shared_ptr<spdlog::logger> clone(std::string logger_name) override;

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;
    void flush_() override;

  private:
    struct State;
    friend struct ForkHandlers;
    bool post_record(spdlog::level::level_enum level, spdlog::log_clock::time_point time, std::size_t thread_id,
                     const spdlog::source_loc& where, std::string_view plain, std::string_view colored, bool wait,
                     std::string_view fields = {});
    void write_now(spdlog::level::level_enum level, const RecordStamp& stamp, const spdlog::source_loc& where,
                   std::string_view plain, std::string_view colored, std::string_view fields = {}) noexcept;
    void flush_sinks() noexcept;
    void write_out_batch() noexcept;
    void stop_within(std::chrono::milliseconds stall) noexcept;
    void give_up(std::unique_lock<std::mutex>& lock) noexcept;
    void report(const SinkFailure& failure) noexcept;
    void run() noexcept;
    void park() noexcept;
    void stop() noexcept;

    // Callers change the reference counts that make_shared puts just before the object, while the
    // writer reads the sinks at its start for every record: a line of their own for the counts.
    alignas(64) std::unique_ptr<State> state_;
};

}  // namespace zelvar::libscrivo
