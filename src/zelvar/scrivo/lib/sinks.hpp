// The sinks and the formatter behind the file, JSON, daily and syslog handlers. Included by
// libscrivo.hpp, the header to include.
#pragma once

#include <spdlog/common.h>
#include <spdlog/formatter.h>
#include <spdlog/sinks/base_sink.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "export.hpp"

namespace spdlog_internal {

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

    // The constructor's check of a file name: throws its std::invalid_argument for a zero byte.
    static void check_name(const std::string& filename);

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
    // The same for the day that contains `when`: one reading of the clock decides both the file and
    // the next change of day (two would put a whole day into the previous day's file when the
    // change fell between them).
    DailyFileSink(std::string base_filename, int hour, int minute, std::size_t max_files,
                  spdlog::log_clock::time_point when);
    ~DailyFileSink() override;

    // The constructors' checks of their arguments, with the same exceptions.
    static void check(const std::string& base_filename, int hour, int minute);

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

// Records as syslog messages in one of two formats:
//   RFC 5424:     <PRI>1 TIMESTAMP HOSTNAME APP-NAME PROCID - - MSG
//   traditional:  <PRI>Mmm dd hh:mm:ss [HOSTNAME ]TAG[PROCID]: MSG
// The traditional one is what the C library's syslog(3) writes and what local
// daemons parse by default; it carries no HOSTNAME on the local socket (the
// daemon adds its own), and one over UDP/TCP, as RFC 3164 relays expect.  By
// default the local socket gets the traditional format and UDP/TCP collectors
// RFC 5424; `format` "rfc3164" or "rfc5424" picks one for any transport.
// PRI from the facility and the record level (trace, debug 7; info 6; warn 4;
// error 3; critical 2), TIMESTAMP local time (RFC 5424: with microseconds and
// UTC offset), APP-NAME and TAG the ident or else the logger name, PROCID the
// process id when the record is written (so right after a fork too), MSG the
// record formatted by the sink's pattern without its line ending.
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
// A forked child starts over: its own socket, count and retry interval.
// Sends wait at most kSendTimeout for a collector that does not read.
class SCRIVO_API SyslogSink final : public spdlog::sinks::base_sink<std::mutex> {
  public:
    static constexpr std::size_t kMaxDatagram = 65507;
    static constexpr int kConnectTimeoutMs = 200;
    static constexpr int kRetryIntervalMs = 200;
    static constexpr int kMaxRetryIntervalMs = 2000;
    static constexpr int kSendTimeoutMs = 1000;

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
    // Builds the message for `msg` with `text` as MSG.
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

}  // namespace spdlog_internal
