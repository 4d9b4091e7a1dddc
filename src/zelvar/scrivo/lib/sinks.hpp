// The sinks and the formatter behind the file, JSON, daily and syslog handlers. Included by
// libscrivo.hpp, the header to include.
#pragma once

#include <spdlog/common.h>
#include <spdlog/formatter.h>
#include <spdlog/logger.h>
#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
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
// the file in whole records only: when the next record would not fit (kBufferSize), with a record
// at error or above, within the flush interval, on flush(), on destruction, for every sink still
// open at exit, on a fatal signal (see write_out_on_crash), and just before fork() as far as the
// file takes them without waiting (see guard_across_fork: a forked child drops what it inherited
// unwritten).  A thread inside a BatchOfRecords buffers in either mode until the batch ends.  The
// file is opened with O_APPEND, so writers sharing it, loggers of this process or other processes,
// interleave whole lines; a record larger than the buffer is written alone, in one call.  A buffer
// of PIPE_BUF bytes keeps that true for a pipe as well.
//
// A failed write throws spdlog::spdlog_ex ("Failed writing to file <name>:
// <strerror>"); the records of that write are dropped, never retried.
class SCRIVO_API FileSink : public spdlog::sinks::base_sink<std::mutex> {
  public:
    static constexpr std::size_t kBufferSize = 4096;

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
    // buffers (up to kBufferSize) until write_out_batch: the non-blocking logger's writer hands a
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
    void reopen(bool truncate);
    // Writes out what is buffered, then appends to `filename` from now on.
    void switch_to(std::string filename);

  private:
    static void ready_for_fork(void* sink, std::chrono::steady_clock::time_point deadline) noexcept;
    static void forked(void* sink, bool held) noexcept;

    std::string filename_;
    int fd_ = -1;
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

// Internal to the compressing sinks (compression.cpp): a closed file "x" becomes "x.gz" on one
// background thread, written as "x.gz.tmp" and renamed when whole, "x" removed after.  Every rename
// or removal of a file that may be queued, with its ".gz" and ".gz.tmp" companions, is made while
// holding lock_compressed_names() and told to the queue; the other calls need the lock held too.
// compress_later throws std::bad_alloc; a job whose file cannot be read, or whose compression fails
// (a full disk), leaves the file as it is.
std::unique_lock<std::mutex> lock_compressed_names();
void compress_later(const std::string& path);
bool compression_queued(const std::string& path) noexcept;
void compressed_file_renamed(const std::string& from, const std::string& to) noexcept;
void compressed_file_removed(const std::string& path) noexcept;
// The suffixes of a compressed file and of its temporary.
inline constexpr const char* kCompressedSuffixes[] = {".gz", ".gz.tmp"};

// A FileSink rotated by size, as LoggerFactory::add_rotating_file_handler
// describes: before a record would take the file past `max_size` bytes
// (counting what is still buffered), the file becomes "<stem>.1<ext>", older
// ones shift up, at most `max_files` rotated files are kept, and a fresh file
// is started.  A file that is still empty is never rotated.
//
// With `compress`, each file rotation closes is gzipped in the background
// (compress_later) into "<stem>.1<ext>.gz"; the rotated files shift with their
// ".gz" (and any ".gz.tmp") companions, and `max_files` counts them whichever
// form they are in.  The constructor queues every rotated file found
// uncompressed (a compression a previous process did not finish) and removes
// temporaries left without one.
class SCRIVO_API RotatingFileSink final : public FileSink {
  public:
    RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files);
    // `truncate` empties the file first.
    RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files, bool truncate);
    RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files, bool truncate, bool compress);
    ~RotatingFileSink() override;

    // "logs/app.txt", 3 -> "logs/app.3.txt"; index 0 is the file itself.
    static std::string rotated_name(const std::string& filename, std::size_t index);

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;

  private:
    void rotate();
    void shift_compressed();
    void resume_compression();

    std::size_t max_size_;
    std::size_t max_files_;
    std::size_t current_size_;
    bool compress_ = false;
};

// One JSON object per record and line, keys in this order: time (RFC 3339,
// UTC, microseconds, "Z"), level ("trace", "debug", "info", "warning",
// "error", "critical", "off"), logger, message, file and line (null without a
// source location), thread (the native thread id), pid; then the record's
// fields (record_fields.hpp) in their order.  Text that is not
// valid UTF-8 is written with U+FFFD in place of each bad byte, so every line
// parses whatever the message holds.
class SCRIVO_API JsonFormatter final : public spdlog::formatter {
  public:
    void format(const spdlog::details::log_msg& msg, spdlog::memory_buf_t& dest) override;
    std::unique_ptr<spdlog::formatter> clone() const override;

    // Appends `text` as a JSON string, quotes included.
    static void append_string(std::string_view text, spdlog::memory_buf_t& dest);

  private:
    long long cached_second_ = -1;
    spdlog::memory_buf_t cached_time_;
};

// A FileSink that starts a new file every day at hour:minute local time.
// Each file is named after the local date on which its day began:
// "logs/app.log" -> "logs/app_2026-12-08.log".  Opening a file (at
// construction and at each change of day) removes the oldest of the dated
// files beyond `max_files` (0: keep all).  The change of day follows the
// records' own time stamps.
//
// With `compress`, each day's file is gzipped in the background once the
// next day's is open ("logs/app_2026-12-08.log.gz", as RotatingFileSink
// compresses), and `max_files` counts the days whichever form their file is
// in.  The constructor queues the dated files of other days found
// uncompressed and removes temporaries left without one.
class SCRIVO_API DailyFileSink final : public FileSink {
  public:
    // Throws std::invalid_argument for hour outside 0..23 or minute outside
    // 0..59, before anything is touched.
    DailyFileSink(std::string base_filename, int hour, int minute, std::size_t max_files);
    // The same for the day that contains `when`: one reading of the clock decides both the file and
    // the next change of day (two would put a whole day into the previous day's file when the
    // change fell between them).
    DailyFileSink(std::string base_filename, int hour, int minute, std::size_t max_files,
                  spdlog::log_clock::time_point when);
    DailyFileSink(std::string base_filename, int hour, int minute, std::size_t max_files,
                  spdlog::log_clock::time_point when, bool compress);
    ~DailyFileSink() override;

    // The constructors' checks of their arguments, with the same exceptions.
    static void check(const std::string& base_filename, int hour, int minute);

    // The file of the day that contains `when`.
    std::string file_for(spdlog::log_clock::time_point when) const;

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;

  private:
    void prune() noexcept;
    void resume_compression() noexcept;

    std::string base_;
    int hour_;
    int minute_;
    std::size_t max_files_;
    spdlog::log_clock::time_point next_day_;
    bool compress_ = false;
};

// Records as syslog messages in one of two formats:
//   RFC 5424:     <PRI>1 TIMESTAMP HOSTNAME APP-NAME PROCID - SD MSG
//   traditional:  <PRI>Mmm dd hh:mm:ss [HOSTNAME ]TAG[PROCID]: MSG[ key=value...]
// The traditional one is what the C library's syslog(3) writes and what local
// daemons parse by default; it carries no HOSTNAME on the local socket (the
// daemon adds its own), and one over UDP/TCP, as RFC 3164 relays expect.  By
// default the local socket gets the traditional format and UDP/TCP collectors
// RFC 5424; `format` "rfc3164" or "rfc5424" picks one for any transport.
// PRI from the facility and the record level (trace, debug 7; info 6; warn 4;
// error 3; critical 2), TIMESTAMP local time (RFC 5424: with microseconds and
// UTC offset), APP-NAME and TAG the ident or else the logger name, PROCID the
// process id when the record is written (so right after a fork too), MSG the
// record formatted by the sink's pattern without its line ending.  The record's
// fields (record_fields.hpp): RFC 5424 SD one element [fields@32473 key="value" ...]
// ("-" without fields; 32473 is the private enterprise number RFC 5612 sets aside
// for documentation, the SD-ID form RFC 5424 gives private IDs), the traditional
// format " key=value" pairs after MSG as the pattern flag %K writes them.
//
// Transports: a Unix datagram socket (port 0: `address` is its path), or a
// remote collector at address:port over "udp" (one datagram per record, cut at
// a UTF-8 boundary to kMaxDatagram bytes; in RFC 5424 the fields give way
// first: values cut, or the element left out, and [cut@32473 shortened="N"] or
// [cut@32473 dropped="N"] added, so SD stays well-formed and MSG whole) or
// "tcp" (RFC 6587 octet counting).
// Nothing is connected at construction, so a collector that is not up yet is no
// error.  TCP connects on a record, with a timeout of kConnectTimeoutMs; after
// a failure it tries again on a record kRetryIntervalMs later, the interval
// doubling up to kMaxRetryIntervalMs while failures go on (so an unreachable
// collector does not cost every record a connect timeout).  A record that
// cannot be delivered is dropped and counted, never thrown; the count is
// written to standard error at most once per second (and when the sink goes).
// A forked child starts over: its own socket, count and retry interval.
// Sends wait at most kSendTimeout for a collector that does not read.
class SCRIVO_API SyslogSink final : public spdlog::sinks::base_sink<std::mutex> {
  public:
    static constexpr std::size_t kMaxDatagram = 65507;
    static constexpr int kConnectTimeoutMs = 200;
    static constexpr int kRetryIntervalMs = 200;
    static constexpr int kMaxRetryIntervalMs = 2000;
    static constexpr int kSendTimeoutMs = 1000;
    static constexpr std::string_view kFieldsId = "fields@32473";

    // Throws std::invalid_argument for an unknown facility (the message lists
    // the known ones), a protocol other than "udp" or "tcp", a format other
    // than "rfc3164", "rfc5424" or empty (by transport), an empty address, a
    // port above 65535 or a name with a zero byte.
    SyslogSink(std::string address, int port, const std::string& facility, std::string ident,
               const std::string& protocol, const std::string& format = {});
    ~SyslogSink() override;

    // The facility's code, or -1 for an unknown name.
    static int facility_code(std::string_view name);
    // Throws the constructor's std::invalid_argument for an unknown facility or protocol.
    static void check_names(const std::string& facility, const std::string& protocol);
    // Throws the constructor's std::invalid_argument unless `format` is "rfc3164" or "rfc5424".
    static void check_format(const std::string& format);
    // Builds the message for `msg` with `text` as MSG (for a datagram, its fields cut to fit).
    void format_message(const spdlog::details::log_msg& msg, std::string_view text, spdlog::memory_buf_t& out) const;
    // Records dropped since the last report.
    std::size_t dropped() const;

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;
    void flush_() override;

  private:
    void follow_fork();
    bool ensure_socket();
    bool deliver(const char* data, std::size_t size);
    void close_socket() noexcept;
    void report(bool force) noexcept;

    std::string address_;
    int port_;
    int facility_;
    std::string ident_;
    bool tcp_;
    bool rfc5424_;
    std::string hostname_;
    int pid_;  // the process the socket, the count and the retry state below belong to
    int fd_ = -1;
    std::chrono::steady_clock::time_point retry_at_{};
    int retry_interval_ms_ = kRetryIntervalMs;
    std::chrono::steady_clock::time_point reported_at_{};
    std::size_t dropped_ = 0;
    int last_error_ = 0;
    spdlog::memory_buf_t text_;
    spdlog::memory_buf_t message_;
};

// --- console sinks -------------------------------------------------------------------------------
//
// spdlog's thread-safe console sinks share one mutex for both streams, so a standard output that
// nobody reads (its pipe full) would hold up every record for standard error as well.  The console
// sinks the factory makes are spdlog's, over a mutex of their own per stream instead.
struct SCRIVO_API stdout_console_mutex {
    using mutex_t = std::mutex;
    static mutex_t& mutex();
};
struct SCRIVO_API stderr_console_mutex {
    using mutex_t = std::mutex;
    static mutex_t& mutex();
};

using stdout_color_sink = spdlog::sinks::ansicolor_stdout_sink<stdout_console_mutex>;
using stderr_color_sink = spdlog::sinks::ansicolor_stderr_sink<stderr_console_mutex>;
using stdout_plain_sink = spdlog::sinks::stdout_sink<stdout_console_mutex>;
using stderr_plain_sink = spdlog::sinks::stderr_sink<stderr_console_mutex>;

// Whether the environment asks for text without ANSI escapes: NO_COLOR set to a non-empty value, or
// TERM "dumb".  Read when a console sink is made, so a logger follows the environment as it was when
// it was built.
SCRIVO_API bool colour_refused_by_environment() noexcept;

// What a console sink made while colour_refused_by_environment() is besides a plain console sink: it
// writes no colour scheme and is handed no message's own escapes (write_to_sinks).
class SCRIVO_API EscapeFree {
  public:
    virtual ~EscapeFree();
};
template <class Plain>
class escape_free_sink final : public Plain, public EscapeFree {};
using stdout_escape_free_sink = escape_free_sink<stdout_plain_sink>;
using stderr_escape_free_sink = escape_free_sink<stderr_plain_sink>;

// A console sink for standard output or standard error, colour-capable when `color` is true; an
// escape-free one, whatever `color` says, when the environment refuses colour.
SCRIVO_API std::shared_ptr<spdlog::sinks::sink> make_console_sink(std::FILE* stream, bool color);

// JSON lines (a JsonFormatter) to standard output or standard error by its file descriptor, whatever
// that is: a terminal, a pipe, a socket or a file.  Each record is one write(2) of one whole line
// before log() returns (taken up again after a partial write or a signal, and after waiting for room
// on a non-blocking descriptor), under the stream's console lock: the records of every sink of this
// process on one stream never interleave, and a pipe takes a line of up to PIPE_BUF bytes whole
// against other processes too.  A reader that stalls holds up the caller, as any write to a full
// pipe does.  A failed write throws spdlog::spdlog_ex ("Failed writing to standard output:
// <strerror>"); the record is dropped.
class SCRIVO_API JsonConsoleSink final : public spdlog::sinks::sink {
  public:
    // `stream` is stdout or stderr.
    explicit JsonConsoleSink(std::FILE* stream);
    ~JsonConsoleSink() override;

    void log(const spdlog::details::log_msg& msg) override;
    void flush() override;
    void set_pattern(const std::string& pattern) override;
    void set_formatter(std::unique_ptr<spdlog::formatter> formatter) override;

  private:
    int fd_;
    std::mutex& lock_;
    std::unique_ptr<spdlog::formatter> formatter_;  // guarded by lock_
};

// The formatter for `pattern`: the one-pass formatter (fast_pattern_formatter.hpp) when the pattern
// is made only of the flags it takes, else make_spdlog_pattern_formatter's; the same bytes either way.
SCRIVO_API std::unique_ptr<spdlog::formatter> make_pattern_formatter(const std::string& pattern);
// The spdlog pattern formatter for `pattern`, its %t flag written by written_thread_id, and %K the
// record's fields as " key=value" pairs (append_logfmt).
SCRIVO_API std::unique_ptr<spdlog::formatter> make_spdlog_pattern_formatter(const std::string& pattern);

// --- fork() ------------------------------------------------------------------------------------------
//
// Sink locks: just before fork() every guarded lock is taken, waiting at most kForkLockWait in all
// for locks held by writers (a writer stuck on a pipe nobody reads must not stall the fork), and
// each sink whose lock was taken gets ready (a file sink writes out what it holds, as far as its file
// takes it without waiting).  After the fork the parent lets them go.  In the child a lock that was
// taken is let go, one that was not is made afresh (its holder does not exist there), and every sink
// first drops what it inherited unwritten (the parent writes that): so a child never sleeps on a lock
// it inherited, nor writes a record of its parent's, whole or half.  The console streams' locks are
// guarded from the start.
inline constexpr std::chrono::milliseconds kForkLockWait{100};

struct ForkHooks {
    // Before the fork, with the lock held; `deadline` bounds any wait.  May be null.
    void (*ready)(void* owner, std::chrono::steady_clock::time_point deadline) noexcept = nullptr;
    // In the child, before the lock is let go or made afresh; `held`: it was taken.  May be null.
    void (*child)(void* owner, bool held) noexcept = nullptr;
};

// Guards `lock` (a sink's, owned by `owner`) from now until unguard_across_fork.  Throws
// std::bad_alloc.
SCRIVO_API void guard_across_fork(std::mutex& lock, void* owner, ForkHooks hooks = {});
SCRIVO_API void unguard_across_fork(std::mutex& lock) noexcept;

// The thread id to write for a record stamped with `recorded`.  spdlog keeps each thread's id in a
// thread-local, so in a forked child the thread that called fork() goes on stamping its parent's id:
// that id is written as the child's own.
SCRIVO_API std::size_t written_thread_id(std::size_t recorded) noexcept;

// The process id as spdlog's os::pid() gives it, read once and again in a forked child: getpid() is
// a system call, too dear for every record.
SCRIVO_API std::size_t process_id() noexcept;

}  // namespace zelvar::libscrivo
