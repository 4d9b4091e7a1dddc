// SyslogSink, the sink of SyslogHandler.
#pragma once

#include "carried_libraries.hpp"  // before any spdlog or fmt header

#include <spdlog/common.h>
#include <spdlog/sinks/base_sink.h>

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

#include "export.hpp"

namespace zelvar::libscrivo {

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

}  // namespace zelvar::libscrivo
