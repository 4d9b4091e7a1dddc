// FileSink, the sink of the file handlers and the base of the rotating and daily ones.
#pragma once

#include "carried_libraries.hpp"  // before any spdlog or fmt header

#include <spdlog/common.h>
#include <spdlog/logger.h>
#include <spdlog/sinks/base_sink.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

#include <pthread.h>
#include <time.h>

#include "export.hpp"

namespace zelvar::libscrivo {

// A log file written in whole records, the sink of the file handlers.
//
// By default every record reaches the file through one write(2) before the logging call returns
// (no stdio layer): a kill, a crash or a worker's exit loses nothing already logged.  A positive
// flush interval (set_flush_interval) keeps records in the sink's own buffer instead, which reaches
// the file in whole records only: when the next record would not fit (see below), with a record
// at error or above, within the flush interval, on flush(), on destruction, for every sink still
// open at exit, on a fatal signal (see write_out_on_crash), and just before fork() as far as the
// file takes them without waiting (see guard_across_fork: a forked child drops what it inherited
// unwritten).  A thread inside a BatchOfRecords buffers in either mode until the batch ends.  The
// file is opened with O_APPEND, so writers sharing it, loggers of this process or other processes,
// interleave whole lines; a record larger than the buffer is written alone, in one call.  The
// buffer of a regular file holds kFileBufferSize bytes (appends to a regular file do not tear
// however large); that of anything else kBufferSize, PIPE_BUF, which keeps lines whole in a pipe.
//
// A failed write throws spdlog::spdlog_ex ("Failed writing to file <name>:
// <strerror>"); the records of that write are dropped, never retried.
class SCRIVO_API FileSink : public spdlog::sinks::base_sink<std::mutex> {
  public:
    static constexpr std::size_t kBufferSize = 4096;
    static constexpr std::size_t kFileBufferSize = 64 * 1024;

    // Opens `filename` for appending (creating missing parent directories);
    // `truncate` empties it first.  Throws std::invalid_argument ("embedded
    // null byte") for a name with a zero byte, before anything is touched, and
    // std::ios_base::failure if the file cannot be opened.
    FileSink(std::string filename, bool truncate);
    ~FileSink() override;

    const std::string& filename() const;

    // The constructor's check of a file name: throws its std::invalid_argument for a zero byte.
    static void check_name(const std::string& filename);

    // Writes the buffered records out unless a writer holds the sink; for
    // the flush timer, where waiting could deadlock.  Errors are dropped.
    // Returns whether it could take the sink.
    bool flush_if_idle() noexcept;

    // For exit: writes the buffered records out unless a writer holds the sink, giving up on a file
    // that accepts nothing for kExitStall (a pipe nobody reads); what is given up is counted in one
    // line on standard error.  Errors are dropped.
    void write_out_at_exit() noexcept;
    static constexpr std::chrono::seconds kExitStall{2};

    // Positive: records wait in the buffer, reaching the file at most `interval` after they were
    // logged, written by one thread shared by every file sink of the process (started with the
    // first record, and again in a forked child); rounded up to kTimerStep.  Zero (the default):
    // every record is written before the logging call returns.
    void set_flush_interval(std::chrono::nanoseconds interval) noexcept;
    std::chrono::nanoseconds flush_interval() const noexcept;
    static constexpr std::chrono::milliseconds kTimerStep{1};

    // For a fatal signal's handler, with async-signal-safe calls only: writes the buffered whole
    // records, as far as the file takes them before `write_deadline` (CLOCK_MONOTONIC) without
    // blocking in write(2).  Waits until `lock_deadline` for a writer that holds the sink; past it a
    // sink held by another thread is skipped (it may be writing that very buffer) and false is
    // returned, while the crashing thread's own record in progress is left out.
    bool write_out_on_crash(const struct timespec& lock_deadline, const struct timespec& write_deadline) noexcept;

    // While one lives on a thread, the file sinks that thread writes to keep its records in their
    // buffers (up to their size) until write_out_batch: the non-blocking logger's writer hands a
    // drained batch over in as few writes as it fits in.
    class SCRIVO_API BatchOfRecords {
      public:
        BatchOfRecords() noexcept;
        ~BatchOfRecords();
        BatchOfRecords(const BatchOfRecords&) = delete;
        BatchOfRecords& operator=(const BatchOfRecords&) = delete;

      private:
        bool outer_;
    };
    // Writes out a write-through sink's batch (nothing for one with a flush interval, whose timer does).
    void write_out_batch();

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;
    void flush_() override;

    // Marks the calling thread as the sink's writer while the sink's mutex is held, so a crash on
    // that very thread can tell its own unfinished record from another thread's write.
    class Writing {
      public:
        explicit Writing(FileSink& sink) noexcept;
        ~Writing();

      private:
        std::atomic<pthread_t>& holder_;
        pthread_t before_;
    };

    // For variants, with the sink's mutex held.
    // Formats `msg` at the end of the buffer and returns where it starts.
    std::size_t format_record(const spdlog::details::log_msg& msg);
    // After a record at `level` was added at `start`: writes out what no longer fits, or all of
    // it for an urgent record or a zero flush interval.
    void settle(std::size_t start, spdlog::level::level_enum level);
    // Writes out the first `size` buffered bytes (whole records).
    void write_front(std::size_t size);
    std::size_t buffered() const;
    std::size_t file_size() const;
    void close_file() noexcept;
    // Takes `fd` as the file, sizing the buffer for its kind.
    void adopt(int fd) noexcept;
    void reopen(bool truncate);
    // Writes out what is buffered, then appends to `filename` from now on.
    void switch_to(std::string filename);

  private:
    static void ready_for_fork(void* sink, std::chrono::steady_clock::time_point deadline) noexcept;
    static void forked(void* sink, bool held) noexcept;

    std::string filename_;
    int fd_ = -1;
    // What buffer_ holds before it is written out: by the kind of file fd_ is (see the class).
    std::size_t capacity_ = kBufferSize;
    spdlog::memory_buf_t buffer_;
    // The leading bytes of buffer_ that are whole records and not being written, for
    // write_out_on_crash.
    std::atomic<std::size_t> whole_{0};
    std::atomic<long long> flush_interval_ns_{0};
    std::atomic<pthread_t> holder_{};  // see Writing
};

// Every file sink of `logger` (under any band wrappers) gets `interval` (FileSink::set_flush_interval).
SCRIVO_API void set_file_flush_interval(spdlog::logger& logger, std::chrono::nanoseconds interval) noexcept;

// Internal to the file sinks: the flusher thread's and the fatal signal handler's list.  track
// throws std::bad_alloc; the first call starts both.  wake_flusher starts the thread if it is not
// running (so after a fork).
void track_file_sink(FileSink* sink);
void untrack_file_sink(FileSink* sink) noexcept;
void wake_flusher() noexcept;
extern std::atomic<bool> g_flusher_running;

}  // namespace zelvar::libscrivo
