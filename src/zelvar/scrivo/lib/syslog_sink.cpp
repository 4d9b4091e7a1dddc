#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <spdlog/details/log_msg.h>
#include <spdlog/details/os.h>
#include <spdlog/fmt/fmt.h>

#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

namespace zelvar::libscrivo {
namespace {

using Clock = std::chrono::steady_clock;

struct Facility {
    std::string_view name;
    int code;
};

constexpr Facility kFacilities[] = {
    {"kern", 0},    {"user", 1},      {"mail", 2},     {"daemon", 3},        {"auth", 4},      {"syslog", 5},
    {"lpr", 6},     {"news", 7},      {"uucp", 8},     {"cron", 9},          {"authpriv", 10}, {"ftp", 11},
    {"ntp", 12},    {"security", 13}, {"console", 14}, {"solaris-cron", 15}, {"local0", 16},   {"local1", 17},
    {"local2", 18}, {"local3", 19},   {"local4", 20},  {"local5", 21},       {"local6", 22},   {"local7", 23},
};

// trace, debug, info, warn, error, critical, off
constexpr int kSeverity[] = {7, 7, 6, 4, 3, 2, 2};

std::string facility_names() {
    std::string names;
    for (const auto& f : kFacilities) {
        if (!names.empty()) names += ", ";
        names += f.name;
    }
    return names;
}

int checked_facility(const std::string& name) {
    const int code = SyslogSink::facility_code(name);
    if (code < 0) {
        throw std::invalid_argument("syslog handler: unknown facility '" + name + "'; known: " + facility_names());
    }
    return code;
}

bool checked_tcp(const std::string& protocol) {
    if (protocol == "tcp") return true;
    if (protocol == "udp") return false;
    throw std::invalid_argument("syslog handler: protocol must be 'udp' or 'tcp', not '" + protocol + "'");
}

// True for RFC 5424, false for the traditional format.
bool checked_rfc5424(const std::string& format) {
    if (format == "rfc5424") return true;
    if (format == "rfc3164") return false;
    throw std::invalid_argument("syslog handler: format must be 'rfc3164' or 'rfc5424', not '" + format + "'");
}

const std::string& checked_address(const std::string& address, int port) {
    if (address.empty()) throw std::invalid_argument("syslog handler: empty address");
    if (address.find('\0') != std::string::npos) throw std::invalid_argument("embedded null byte");
    if (port < 0 || port > 65535) throw std::invalid_argument("syslog handler: port must be in 0..65535");
    if (port == 0 && address.size() >= sizeof(sockaddr_un::sun_path)) {
        throw std::invalid_argument("syslog handler: socket path too long: " + address);
    }
    return address;
}

// HOSTNAME and APP-NAME are printable ASCII without spaces; anything else becomes '_'.
std::string header_field(std::string_view text, std::size_t max) {
    if (text.empty()) return "-";
    std::string out(text.substr(0, max));
    for (char& c : out) {
        if (c < 33 || c > 126) c = '_';
    }
    return out;
}

std::string host_name() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "-";
    return header_field(name, 255);
}

void set_timeout(int fd, int option, int ms) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    (void)::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

// Length of `text` cut to at most `max` bytes without splitting a UTF-8 sequence.
std::size_t utf8_cut(const char* text, std::size_t size, std::size_t max) {
    if (size <= max) return size;
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return end;
}

// The bytes `value` takes as PARAM-VALUE text: '"', ']' and the backslash are escaped with a backslash.
std::size_t param_value_size(std::string_view value) {
    std::size_t size = value.size();
    for (const char ch : value) size += ch == '"' || ch == '\\' || ch == ']';
    return size;
}

// Appends `value` as PARAM-VALUE text of at most `max` bytes, cut before a UTF-8 sequence or an escaped
// character that would pass it, never inside one. Whether it took all of `value`.
bool append_param_value(std::string_view value, std::size_t max, spdlog::memory_buf_t& out) {
    std::size_t size = 0;
    for (std::size_t i = 0; i < value.size();) {
        std::size_t n = 1;
        while (i + n < value.size() && (static_cast<unsigned char>(value[i + n]) & 0xC0) == 0x80) ++n;
        const bool escaped = value[i] == '"' || value[i] == '\\' || value[i] == ']';
        if (size + escaped + n > max) return false;
        if (escaped) out.push_back('\\');
        out.append(value.data() + i, value.data() + i + n);
        size += escaped + n;
        i += n;
    }
    return true;
}

// The record's fields as one RFC 5424 SD-ELEMENT; "-" for a record without.  A PARAM-NAME is 1 to
// 32 printable ASCII characters other than '=', ' ', ']' and '"': other bytes become '_', longer
// names are cut.  Each value is cut to at most `value_max` bytes (append_param_value); returns how
// many were.
std::size_t append_structured_data(std::string_view fields, spdlog::memory_buf_t& out,
                                   std::size_t value_max = std::string_view::npos) {
    if (!has_fields(fields)) {
        out.push_back('-');
        return 0;
    }
    const std::string_view id = SyslogSink::kFieldsId;
    out.push_back('[');
    out.append(id.data(), id.data() + id.size());
    std::size_t shortened = 0;
    for_each_field(fields, [&](const Field& f) {
        out.push_back(' ');
        for (const char ch : f.key.substr(0, 32)) {
            const auto c = static_cast<unsigned char>(ch);
            out.push_back(c < 33 || c > 126 || c == '=' || c == ']' || c == '"' ? '_' : ch);
        }
        out.push_back('=');
        out.push_back('"');
        shortened += !append_param_value(f.value, value_max, out);
        out.push_back('"');
    });
    out.push_back(']');
    return shortened;
}

constexpr std::string_view kCutId = "cut@32473";

// The fields in at most `room` bytes when the whole element does not fit: the longest values cut to
// one common length, the largest that fits, then [cut@32473 shortened="N"]; when even the names do
// not fit, only [cut@32473 dropped="N"] for the whole element.  Either says what the collector lacks.
void append_cut_structured_data(std::string_view fields, std::size_t room, spdlog::memory_buf_t& out) {
    std::vector<std::size_t> sizes;
    std::size_t fixed = 2 + SyslogSink::kFieldsId.size();  // the brackets, the SD-ID, each param but its value
    for_each_field(fields, [&](const Field& f) {
        sizes.push_back(param_value_size(f.value));
        fixed += 4 + std::min<std::size_t>(f.key.size(), 32);
    });
    const std::string count = std::to_string(sizes.size());  // no more values can be shortened than there are
    fixed += std::string_view("[ shortened=\"\"]").size() + kCutId.size() + count.size();
    const auto total = [&](std::size_t value_max) {
        std::size_t size = fixed;
        for (const std::size_t n : sizes) size += std::min(n, value_max);
        return size;
    };
    auto to = std::back_inserter(out);
    if (total(0) > room) {
        fmt::format_to(to, "[{} dropped=\"{}\"]", kCutId, count);
        return;
    }
    std::size_t fits = 0, over = *std::max_element(sizes.begin(), sizes.end());  // total(over) > room
    while (over - fits > 1) {
        const std::size_t mid = fits + (over - fits) / 2;
        if (total(mid) <= room) {
            fits = mid;
        } else {
            over = mid;
        }
    }
    const std::size_t shortened = append_structured_data(fields, out, fits);
    fmt::format_to(to, "[{} shortened=\"{}\"]", kCutId, shortened);
}

}  // namespace

int SyslogSink::facility_code(std::string_view name) {
    for (const auto& f : kFacilities) {
        if (f.name == name) return f.code;
    }
    return -1;
}

void SyslogSink::check_names(const std::string& facility, const std::string& protocol) {
    (void)checked_facility(facility);
    (void)checked_tcp(protocol);
}

void SyslogSink::check_format(const std::string& format) { (void)checked_rfc5424(format); }

SyslogSink::SyslogSink(std::string address, int port, const std::string& facility, std::string ident,
                       const std::string& protocol, const std::string& format)
    : address_(checked_address(address, port)),
      port_(port),
      facility_(checked_facility(facility)),
      ident_(std::move(ident)),
      tcp_(port != 0 && checked_tcp(protocol)),
      // Local daemons parse the traditional format by default; network collectors RFC 5424.
      rfc5424_(format.empty() ? port != 0 : checked_rfc5424(format)),
      hostname_(host_name()),
      pid_(static_cast<int>(::getpid())) {
    if (port == 0) (void)checked_tcp(protocol);  // still a known protocol, though a local socket ignores it
    guard_across_fork(mutex_, this);
}

SyslogSink::~SyslogSink() {
    unguard_across_fork(mutex_);
    follow_fork();
    report(true);
    close_socket();
}

std::size_t SyslogSink::dropped() const { return dropped_; }

void SyslogSink::format_message(const spdlog::details::log_msg& msg, std::string_view text,
                                spdlog::memory_buf_t& out) const {
    using namespace std::chrono;
    const auto level = static_cast<std::size_t>(msg.level);
    const int severity = level < std::size(kSeverity) ? kSeverity[level] : 7;
    const auto since_epoch = msg.time.time_since_epoch();
    const auto secs = duration_cast<seconds>(since_epoch);
    const std::time_t t = secs.count();
    std::tm tm{};
    localtime_r(&t, &tm);
    const std::string_view app =
        ident_.empty() ? std::string_view(msg.logger_name.data(), msg.logger_name.size()) : std::string_view(ident_);
    const int pri = facility_ * 8 + severity;
    const auto pid = process_id();
    auto to = std::back_inserter(out);
    if (rfc5424_) {
        const long offset = tm.tm_gmtoff / 60;
        fmt::format_to(to, "<{}>1 {:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:06}{}{:02}:{:02} {} {} {} - ", pri,
                       tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                       duration_cast<microseconds>(since_epoch - secs).count(), offset < 0 ? '-' : '+',
                       std::abs(offset) / 60, std::abs(offset) % 60, hostname_, header_field(app, 48), pid);
        const std::size_t header = out.size();
        const std::string_view fields = current_fields();
        append_structured_data(fields, out);
        out.push_back(' ');
        out.append(text.data(), text.data() + text.size());
        if (tcp_ || out.size() <= kMaxDatagram || !has_fields(fields)) return;
        // Too large for a datagram, which is cut at its end: the fields give way, so the element stays
        // well-formed and MSG whole (as far as MSG alone fits).
        out.resize(header);
        const std::size_t room = kMaxDatagram - std::min(kMaxDatagram, header + 1 + text.size());
        append_cut_structured_data(fields, room, out);
        out.push_back(' ');
        out.append(text.data(), text.data() + text.size());
        return;
    } else {
        // As syslog(3) writes it: English month names whatever the locale, the day padded with a space.
        static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        fmt::format_to(to, "<{}>{} {:2} {:02}:{:02}:{:02} ", pri, kMonths[tm.tm_mon], tm.tm_mday, tm.tm_hour, tm.tm_min,
                       tm.tm_sec);
        if (port_ != 0) fmt::format_to(to, "{} ", hostname_);  // the local daemon names its own host
        fmt::format_to(to, "{}[{}]: ", header_field(app, 48), pid);
    }
    out.append(text.data(), text.data() + text.size());
    append_logfmt(current_fields(), out);
}

void SyslogSink::sink_it_(const spdlog::details::log_msg& msg) {
    follow_fork();
    text_.clear();
    formatter_->format(msg, text_);
    std::size_t size = text_.size();
    while (size > 0 && (text_[size - 1] == '\n' || text_[size - 1] == '\r')) --size;
    message_.clear();
    format_message(msg, std::string_view(text_.data(), size), message_);
    bool sent = ensure_socket();
    if (sent && tcp_) {
        text_.clear();  // reused for the octet-counted frame
        fmt::format_to(std::back_inserter(text_), "{} ", message_.size());
        text_.append(message_.data(), message_.data() + message_.size());
        sent = deliver(text_.data(), text_.size());
    } else if (sent) {
        sent = deliver(message_.data(), utf8_cut(message_.data(), message_.size(), kMaxDatagram));
    }
    if (!sent) ++dropped_;
    report(false);
}

void SyslogSink::flush_() {
    follow_fork();
    report(false);
}

// A forked child must not write into its parent's stream nor report the parent's undelivered records
// again: it starts with its own socket, count and retry interval.
void SyslogSink::follow_fork() {
    const int pid = static_cast<int>(::getpid());
    if (pid == pid_) return;
    close_socket();
    pid_ = pid;
    dropped_ = 0;
    reported_at_ = {};
    retry_at_ = {};
    retry_interval_ms_ = kRetryIntervalMs;
}

// A socket for this process, connected for TCP; false (counted by the caller) while none can be had.
bool SyslogSink::ensure_socket() {
    if (fd_ >= 0 && tcp_) {
        // A collector that went away has closed its end: notice it before a send disappears into a dead stream.
        pollfd p{fd_, POLLIN, 0};
        char byte;
        if (::poll(&p, 1, 0) > 0 && ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) close_socket();
    }
    if (fd_ >= 0) return true;
    if (Clock::now() < retry_at_) return false;

    int fd = -1;
    if (port_ == 0) {
        fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) last_error_ = errno;
    } else {
        addrinfo hints{};
        hints.ai_socktype = tcp_ ? SOCK_STREAM : SOCK_DGRAM;
        addrinfo* found = nullptr;
        const std::string service = std::to_string(port_);
        const int rc = ::getaddrinfo(address_.c_str(), service.c_str(), &hints, &found);
        if (rc != 0) last_error_ = rc == EAI_SYSTEM ? errno : EHOSTUNREACH;
        for (addrinfo* ai = rc == 0 ? found : nullptr; ai && fd < 0; ai = ai->ai_next) {
            fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | (tcp_ ? SOCK_NONBLOCK : 0), 0);
            if (fd < 0) {
                last_error_ = errno;
                continue;
            }
            // UDP connects too, so the kernel filters the peer; TCP connects without blocking, then waits briefly.
            int result = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
            if (result < 0 && errno == EINPROGRESS) {
                pollfd p{fd, POLLOUT, 0};
                result = ::poll(&p, 1, kConnectTimeoutMs) == 1 ? 0 : -1;
                int error = result == 0 ? 0 : ETIMEDOUT;
                socklen_t len = sizeof error;
                if (result == 0) (void)::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
                if (error != 0) {
                    errno = error;
                    result = -1;
                }
            }
            if (result < 0) {
                last_error_ = errno;
                ::close(fd);
                fd = -1;
                continue;
            }
            if (tcp_) {
                int blocking = 0;  // sends block, bounded by SO_SNDTIMEO
                (void)::ioctl(fd, FIONBIO, &blocking);
            }
        }
        if (found) ::freeaddrinfo(found);
    }
    if (fd < 0) {
        retry_at_ = Clock::now() + std::chrono::milliseconds(retry_interval_ms_);
        retry_interval_ms_ = std::min(retry_interval_ms_ * 2, kMaxRetryIntervalMs);
        return false;
    }
    retry_interval_ms_ = kRetryIntervalMs;
    set_timeout(fd, SO_SNDTIMEO, kSendTimeoutMs);
    fd_ = fd;
    return true;
}

bool SyslogSink::deliver(const char* data, std::size_t size) {
    if (port_ == 0) {
        sockaddr_un to{};
        to.sun_family = AF_UNIX;
        std::memcpy(to.sun_path, address_.data(), address_.size());
        ssize_t sent;
        do {
            sent = ::sendto(fd_, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        } while (sent < 0 && errno == EINTR);
        if (sent < 0) last_error_ = errno;
        return sent >= 0;
    }
    while (size > 0) {
        const ssize_t sent = ::send(fd_, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) {
            last_error_ = sent < 0 ? errno : EIO;
            // A stream cut in the middle of a frame cannot continue; a datagram socket can.
            if (tcp_) close_socket();
            return false;
        }
        if (!tcp_) return true;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void SyslogSink::close_socket() noexcept {
    if (fd_ >= 0) {
        // A forked child closes only its copy; the parent's connection stays up.
        ::close(fd_);
        fd_ = -1;
    }
}

// At most once per second, the dropped count goes to standard error.
void SyslogSink::report(bool force) noexcept {
    if (dropped_ == 0) return;
    const auto now = Clock::now();
    if (!force && now - reported_at_ < std::chrono::seconds(1)) return;
    reported_at_ = now;
    try {
        const std::string where =
            port_ == 0 ? address_ : fmt::format("{}:{}/{}", address_, port_, tcp_ ? "tcp" : "udp");
        const std::string line = fmt::format("scrivo: syslog {}: {} record{} not delivered ({})\n", where, dropped_,
                                             dropped_ == 1 ? "" : "s", std::strerror(last_error_));
        (void)!::write(STDERR_FILENO, line.data(), line.size());
    } catch (...) {
        rethrow_forced_unwind();
    }
    dropped_ = 0;
}

}  // namespace zelvar::libscrivo
