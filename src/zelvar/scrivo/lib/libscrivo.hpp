// libscrivo: process-wide logger construction and lookup on top of spdlog.
//
// Native extension modules link against libscrivo.so.0 and spdlog (the shared,
// compiled library with an external fmt) and log through the loggers this
// library registers, so every module in the process shares one set of loggers
// and one default logger.  In a wheel, spdlog and fmt are compiled in header-only
// with hidden symbols instead: each module then has a private copy (and registry),
// so loggers are reached through this library, never through spdlog's globals.
//
// Levels
//   All level arguments are spdlog::level::level_enum values that may come from
//   arbitrary ints (e.g. -1 or 42).  The library only ever compares them, so an
//   out-of-range handler level simply lets everything (below 0) or nothing
//   (above critical) through.  The records you log must still carry levels
//   trace..off, because spdlog's own formatters index tables by record level.
//
// Errors
//   Everything the library throws derives from std::exception:
//     std::invalid_argument  bad argument (null pointer, zero size, ...)
//     std::ios_base::failure a log file cannot be opened; what() is spdlog's
//                            message (file name and errno text), code() holds
//                            the errno when it could be recovered
//     other std::exception   anything else spdlog reports
//   No call throws because a logger name is already taken.
//
// Threading
//   LoggerRegistry is thread-safe, and LoggerFactory::build registers safely
//   against other builds and lookups.  A LoggerFactory object itself is not
//   synchronised: use each one from a single thread at a time.
#pragma once

#include <spdlog/common.h>
#include <spdlog/formatter.h>
#include <spdlog/logger.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/sink.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifndef SCRIVO_API
#define SCRIVO_API __attribute__((visibility("default")))
#endif

namespace spdlog_internal {

// A sink that forwards a record to another sink only up to a maximum level,
// giving a handler a level band [level(), max_level()].
//
// The lower bound is this sink's own spdlog level (sink::level()), which the
// logger checks before calling log(); the factory sets the wrapped sink to the
// same level.  The wrapped sink's own level is honoured as well, so wrappers
// may nest and the tightest band wins.  Type information is exported, so other
// shared objects can dynamic_cast a logger's sinks to MaxSinkLevel and reach
// the real sink through get_sink().
class SCRIVO_API MaxSinkLevel : public spdlog::sinks::sink {
  public:
    // Starts at the wrapped sink's current level.  Throws std::invalid_argument
    // if `sink` is null.
    MaxSinkLevel(std::shared_ptr<spdlog::sinks::sink> sink, spdlog::level::level_enum max_level);
    ~MaxSinkLevel() override;

    // Forwards `msg` when msg.level <= max_level() and the wrapped sink accepts it.
    void log(const spdlog::details::log_msg& msg) override;
    void flush() override;
    void set_pattern(const std::string& pattern) override;
    void set_formatter(std::unique_ptr<spdlog::formatter> sink_formatter) override;

    std::shared_ptr<spdlog::sinks::sink> get_sink() const;
    spdlog::level::level_enum max_level() const;

  private:
    std::shared_ptr<spdlog::sinks::sink> sink_;
    spdlog::level::level_enum max_level_;
};

// The real sink under any depth of MaxSinkLevel wrappers (the sink itself when it is not wrapped).
inline spdlog::sinks::sink* innermost_sink(spdlog::sinks::sink* sink) {
    while (auto* band = dynamic_cast<MaxSinkLevel*>(sink)) sink = band->get_sink().get();
    return sink;
}

// The SGR prefix of a colour code, the one rule for per-level colours and per-message colours:
// the basic foreground codes (30-37, 90-97) stand alone, any other code is a 256-colour index
// ("38;5;"); for a background the basic codes are 40-47 and 100-107, the index prefix "48;5;".
inline const char* foreground_prefix(int code) {
    return (code >= 30 && code <= 37) || (code >= 90 && code <= 97) ? "" : "38;5;";
}
inline const char* background_prefix(int code) {
    return (code >= 40 && code <= 47) || (code >= 100 && code <= 107) ? "" : "48;5;";
}

// A log file written in whole records, the sink of the file handlers.
//
// Records are formatted into the sink's own buffer, which reaches the file
// through write(2) in whole records only: when the next record would not fit
// (kBufferSize), on flush(), on destruction, and for every sink still open at
// exit and just before fork() (so a child does not write its parent's records
// again).  The file is opened with O_APPEND, so writers sharing it, loggers of
// this process or other processes, interleave whole lines; a record larger than
// the buffer is written alone, in one call.  A buffer of PIPE_BUF bytes keeps
// that true for a pipe as well.
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

    // Writes the buffered records out unless a writer holds the sink; for
    // exit and fork, where waiting could deadlock.  Errors are dropped.
    void flush_if_idle() noexcept;

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;
    void flush_() override;

    // For variants, with the sink's mutex held.
    // Formats `msg` at the end of the buffer and returns where it starts.
    std::size_t format_record(const spdlog::details::log_msg& msg);
    // After a record was added at `start`: writes out what no longer fits.
    void settle(std::size_t start);
    // Writes out the first `size` buffered bytes (whole records).
    void write_front(std::size_t size);
    std::size_t buffered() const;
    std::size_t file_size() const;
    void close_file() noexcept;
    void reopen(bool truncate);
    // Writes out what is buffered, then appends to `filename` from now on.
    void switch_to(std::string filename);

  private:
    std::string filename_;
    int fd_ = -1;
    spdlog::memory_buf_t buffer_;
};

// A FileSink rotated by size, as LoggerFactory::add_rotating_file_handler
// describes: before a record would take the file past `max_size` bytes
// (counting what is still buffered), the file becomes "<stem>.1<ext>", older
// ones shift up, at most `max_files` rotated files are kept, and a fresh file
// is started.  A file that is still empty is never rotated.
class SCRIVO_API RotatingFileSink final : public FileSink {
  public:
    RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files);
    // `truncate` empties the file first.
    RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files, bool truncate);
    ~RotatingFileSink() override;

    // "logs/app.txt", 3 -> "logs/app.3.txt"; index 0 is the file itself.
    static std::string rotated_name(const std::string& filename, std::size_t index);

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;

  private:
    void rotate();

    std::size_t max_size_;
    std::size_t max_files_;
    std::size_t current_size_;
};

// One JSON object per record and line, keys in this order: time (RFC 3339,
// UTC, microseconds, "Z"), level ("trace", "debug", "info", "warning",
// "error", "critical", "off"), logger, message, file and line (null without a
// source location), thread (the native thread id), pid.  Text that is not
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
class SCRIVO_API DailyFileSink final : public FileSink {
  public:
    // Throws std::invalid_argument for hour outside 0..23 or minute outside
    // 0..59, before anything is touched.
    DailyFileSink(std::string base_filename, int hour, int minute, std::size_t max_files);
    ~DailyFileSink() override;

    // The file of the day that contains `when`.
    std::string file_for(spdlog::log_clock::time_point when) const;

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;

  private:
    void prune() noexcept;

    std::string base_;
    int hour_;
    int minute_;
    std::size_t max_files_;
    spdlog::log_clock::time_point next_day_;
};

// Records as RFC 5424 syslog messages,
//   <PRI>1 TIMESTAMP HOSTNAME APP-NAME PROCID - - MSG
// PRI from the facility and the record level (trace, debug 7; info 6; warn 4;
// error 3; critical 2), TIMESTAMP local time with microseconds and UTC offset,
// APP-NAME the ident or else the logger name, PROCID the process id when the
// record is written (so right after a fork too), MSG the record formatted by the
// sink's pattern without its line ending.
//
// Transports: a Unix datagram socket (port 0: `address` is its path), or a
// remote collector at address:port over "udp" (one datagram per record, cut at
// a UTF-8 boundary to kMaxDatagram bytes) or "tcp" (RFC 6587 octet counting).
// Nothing is connected at construction, so a collector that is not up yet is no
// error.  TCP connects on a record, with a timeout of kConnectTimeoutMs; after
// a failure it tries again on a record kRetryIntervalMs later, the interval
// doubling up to kMaxRetryIntervalMs while failures go on (so an unreachable
// collector does not cost every record a connect timeout).  A record that
// cannot be delivered is dropped and counted, never thrown; the count is
// written to standard error at most once per second (and when the sink goes).
// Sends wait at most kSendTimeout for a collector that does not read.
class SCRIVO_API SyslogSink final : public spdlog::sinks::base_sink<std::mutex> {
  public:
    static constexpr std::size_t kMaxDatagram = 65507;
    static constexpr int kConnectTimeoutMs = 200;
    static constexpr int kRetryIntervalMs = 200;
    static constexpr int kMaxRetryIntervalMs = 2000;
    static constexpr int kSendTimeoutMs = 1000;

    // Throws std::invalid_argument for an unknown facility (the message lists
    // the known ones), a protocol other than "udp" or "tcp", an empty address,
    // a port above 65535 or a name with a zero byte.
    SyslogSink(std::string address, int port, const std::string& facility, std::string ident,
               const std::string& protocol);
    ~SyslogSink() override;

    // The facility's code, or -1 for an unknown name.
    static int facility_code(std::string_view name);
    // Throws the constructor's std::invalid_argument for an unknown facility or protocol.
    static void check_names(const std::string& facility, const std::string& protocol);
    // Builds the message for `msg` with `text` as MSG.
    void format_message(const spdlog::details::log_msg& msg, std::string_view text, spdlog::memory_buf_t& out) const;
    // Records dropped since the last report.
    std::size_t dropped() const;

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;
    void flush_() override;

  private:
    bool ensure_socket();
    bool deliver(const char* data, std::size_t size);
    void close_socket() noexcept;
    void report(bool force) noexcept;

    std::string address_;
    int port_;
    int facility_;
    std::string ident_;
    bool tcp_;
    std::string hostname_;
    int fd_ = -1;
    int fd_owner_ = 0;  // the process that opened fd_
    std::chrono::steady_clock::time_point retry_at_{};
    int retry_interval_ms_ = kRetryIntervalMs;
    std::chrono::steady_clock::time_point reported_at_{};
    std::size_t dropped_ = 0;
    int last_error_ = 0;
    spdlog::memory_buf_t text_;
    spdlog::memory_buf_t message_;
};

// --- writing one record to a logger's sinks ------------------------------------------------
//
// How the logging module writes a record, whether on the caller's thread or on the writer of an
// AsyncLogger: every sink whose level lets the record through gets it, spdlog's thread-safe console
// sinks (and types derived from them, looked through any depth of MaxSinkLevel) the `colored` text
// when it is not empty, every other sink the `plain` one.  A sink that throws does not stop the
// others; the first failure is handed back.

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
// writer to finish the record it is writing; in the child the queue is empty (the parent writes its
// records) and a new writer starts with the child's first record.  A sink that throws on the writer
// is reported on standard error at most once per second per sink; the writer goes on.
class SCRIVO_API AsyncLogger final : public spdlog::logger {
  public:
    enum class Overflow { block, drop_oldest };
    static constexpr std::size_t kMaxQueueSize = std::size_t{1} << 20;

    // Throws std::invalid_argument for a queue_size of 0 or above kMaxQueueSize.
    AsyncLogger(std::string name, std::vector<spdlog::sink_ptr> sinks, std::size_t queue_size, Overflow overflow);
    ~AsyncLogger() override;

    // Queues a record made now on the calling thread; `colored` (may be empty) is the text for
    // console sinks.  With `wait` false a record that would have to wait for room is not queued
    // and false is returned, so the caller can let go of its own locks before waiting.
    bool post(spdlog::level::level_enum level, const spdlog::source_loc& where, std::string_view plain,
              std::string_view colored, bool wait = true);

    std::size_t queue_size() const noexcept;
    Overflow overflow() const noexcept;
    // Records lost to Overflow::drop_oldest so far.
    std::uint64_t dropped() const noexcept;

    // Drains every AsyncLogger and ends its writer; later records are written synchronously.
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
                     const spdlog::source_loc& where, std::string_view plain, std::string_view colored, bool wait);
    void write_now(spdlog::level::level_enum level, const RecordStamp& stamp, const spdlog::source_loc& where,
                   std::string_view plain, std::string_view colored) noexcept;
    void flush_sinks() noexcept;
    void report(const SinkFailure& failure) noexcept;
    void run() noexcept;
    void stop() noexcept;

    std::unique_ptr<State> state_;
};

}  // namespace spdlog_internal

// Collects a level, handlers (sinks) and console colours, then builds and
// registers a logger.  Cheap to construct and move.
//
// Every add_* call creates its sinks immediately, so file errors surface there.
// Console sinks use spdlog's thread-safe console sinks (one process-wide console
// mutex): with `color` true spdlog::sinks::ansicolor_{stdout,stderr}_sink_mt
// (colour only when the stream is a terminal), otherwise
// spdlog::sinks::{stdout,stderr}_sink_mt.  Each sink gets the handler's pattern
// (an empty pattern keeps spdlog's default one) and the handler's level as its
// minimum.  Handlers bounded above are a MaxSinkLevel around the real sink.
class SCRIVO_API LoggerFactory {
  public:
    // Empty: no sinks, logger level trace (the handlers do the filtering), no
    // colour overrides.
    LoggerFactory();

    // The logger's own level; records below it reach no handler.
    void set_level(spdlog::level::level_enum level);

    // Standard output, records from `level` up to `max_level` inclusive.
    void add_stdout_handler(bool color, const std::string& pattern, spdlog::level::level_enum level,
                            spdlog::level::level_enum max_level);

    // Standard error, records from `level` up.
    void add_stderr_handler(bool color, const std::string& pattern, spdlog::level::level_enum level);

    // Split console; adds two sinks, in this order:
    //   1. standard output for records from `min_level` up to `max_stdout_level`
    //      (a MaxSinkLevel around the stdout sink);
    //   2. standard error for records above `max_stdout_level` that are also at
    //      least `min_level`.
    // Every record from `min_level` up goes to exactly one of the two streams.
    void add_console_handler(bool color, const std::string& pattern, spdlog::level::level_enum max_stdout_level,
                             spdlog::level::level_enum min_level);

    // One standard-output sink for every record from `level` up.
    void add_basic_console_handler(bool color, const std::string& pattern, spdlog::level::level_enum level);

    // A plain file (a spdlog_internal::FileSink); `overwrite` truncates it on
    // open, otherwise records are appended.  Missing parent directories are
    // created.  Throws std::invalid_argument for a file name with a zero byte,
    // std::ios_base::failure if the file cannot be opened.
    void add_file_handler(const std::string& filename, const std::string& pattern, spdlog::level::level_enum level,
                          bool overwrite);

    // A file rotated by size: before a record would take `filename` past
    // `max_size` bytes, it becomes "<stem>.1<ext>", older ones shift up, and at
    // most `max_files` rotated files are kept.  Appends to an existing file.
    // A spdlog_internal::RotatingFileSink.  Throws std::invalid_argument if
    // max_size is 0, max_files exceeds kMaxRotatedFiles or the file name has a
    // zero byte, std::ios_base::failure if the file cannot be opened.
    void add_rotating_file_handler(const std::string& filename, unsigned long max_size, unsigned long max_files,
                                   const std::string& pattern, spdlog::level::level_enum level);
    static constexpr unsigned long kMaxRotatedFiles = 200000;

    // JSON lines (a spdlog_internal::JsonFormatter) to a plain file, or with
    // `max_size` > 0 to a file rotated as add_rotating_file_handler does,
    // keeping `max_files` rotated files.  `overwrite` truncates on open.
    // Throws as add_file_handler and add_rotating_file_handler do.
    void add_json_file_handler(const std::string& filename, spdlog::level::level_enum level, bool overwrite,
                               unsigned long max_size, unsigned long max_files);

    // A spdlog_internal::DailyFileSink: a new dated file every day at
    // hour:minute local time, at most `max_files` of them kept (0: all).
    // Throws std::invalid_argument for hour outside 0..23, minute outside
    // 0..59 or a file name with a zero byte, std::ios_base::failure if the
    // file cannot be opened.
    // A spdlog_internal::SyslogSink: to the Unix datagram socket at `address`
    // when `port` is 0, otherwise to address:port over `protocol` ("udp" or
    // "tcp").  An empty `ident` means the logger's name.  Connects nothing.
    void add_syslog_handler(const std::string& address, unsigned port, const std::string& facility,
                            const std::string& ident, const std::string& protocol, const std::string& pattern,
                            spdlog::level::level_enum level);

    void add_daily_file_handler(const std::string& filename, int hour, int minute, unsigned long max_files,
                                const std::string& pattern, spdlog::level::level_enum level);

    // Per-level foreground colours (trace, debug, info, warn, error, critical)
    // for every colour console sink of this logger, applied by build(), so the
    // order relative to the add_* calls does not matter.  A later call replaces
    // all six.  Meaning of a code:
    //   30..37, 90..97   plain ANSI foreground:   ESC[<n>m
    //   other 0..255     256-colour foreground:   ESC[38;5;<n>m
    //   -1, or anything outside 0..255: keep the sink's default for that level
    void set_colors(int trace, int debug, int info, int warn, int error, int critical);

    // Builds a logger from the collected sinks (in add order) and level, and
    // registers it in spdlog's registry under `name` (spdlog::get finds it).
    // A logger already registered under `name` is replaced, never an error; if
    // that logger is the process default, the new one becomes the default too.
    // `make_default` true also makes it the process default
    // (LoggerRegistry::set_default).  The empty name denotes the default, so
    // build("", false) throws std::invalid_argument.
    //
    // On success the factory hands its sinks over and returns to the empty,
    // default-constructed state, ready for reuse; on failure it is unchanged.
    std::shared_ptr<spdlog::logger> build(const std::string& name, bool make_default);
    // The same, building a spdlog_internal::AsyncLogger with that queue.  Throws
    // std::invalid_argument for a queue_size of 0 or above AsyncLogger::kMaxQueueSize.
    std::shared_ptr<spdlog::logger> build(const std::string& name, bool make_default, std::size_t queue_size,
                                          spdlog_internal::AsyncLogger::Overflow overflow);

  private:
    template <class Make>
    std::shared_ptr<spdlog::logger> build_with(const std::string& name, bool make_default, Make&& make);

    spdlog::level::level_enum level_;
    std::vector<std::shared_ptr<spdlog::sinks::sink>> sinks_;
    std::array<int, 6> colors_;
};

// Process-wide logger lookup; all functions are thread-safe.  The process
// default is spdlog's own default logger, so spdlog::default_logger() and this
// registry always agree.
class SCRIVO_API LoggerRegistry {
  public:
    LoggerRegistry() = delete;

    // Makes `logger` the process default and registers it under its name,
    // replacing a logger of that name.  The previous default stays registered
    // under its own (non-empty) name unless `logger` took that name.  Throws
    // std::invalid_argument for a null pointer: a process without a default
    // would turn every default-logger call site into a null check.
    static void set_default(std::shared_ptr<spdlog::logger> logger);

    // The empty name means the process default; before any set_default that is
    // spdlog's initial default logger (colour standard output).  This path does
    // a single registry lookup and no allocation, so it suits per-record calls.
    //
    // A non-empty name is looked up in spdlog's registry.  If it is not there:
    // with `create_if_missing` true, a logger of that name with one colour
    // standard-output sink, logger and sink at level trace, is created once
    // (concurrent callers all get the same object), registered and returned;
    // with false, an empty pointer is returned.  The same holds for the empty
    // name if the default was dropped through spdlog directly: true installs a
    // fresh default of that kind.
    static std::shared_ptr<spdlog::logger> get_logger(const std::string& name, bool create_if_missing);

    // spdlog's own registry lookup (spdlog::get) done inside this library: a module built with
    // its own hidden copy of spdlog has a registry of its own, which holds none of these loggers.
    static std::shared_ptr<spdlog::logger> find(const std::string& name);

  private:
    friend class LoggerFactory;
    // Registers `logger` under its name, replacing any holder, and installs it
    // as the default when asked or when it replaces the default.
    static void install(std::shared_ptr<spdlog::logger> logger, bool make_default);
};

// A logger handle held by value by language bindings.  The shared pointer is
// the only state, so copies are cheap and share the logger.
struct SCRIVO_API SpdLogger {
    std::shared_ptr<spdlog::logger> logger;

    SpdLogger() = default;
    SpdLogger(std::shared_ptr<spdlog::logger> l) : logger(std::move(l)) {}

    explicit operator bool() const noexcept { return static_cast<bool>(logger); }
    spdlog::logger* get() const noexcept { return logger.get(); }
    spdlog::logger* operator->() const noexcept { return logger.get(); }
};
