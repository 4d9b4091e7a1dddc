// JsonConsoleSink: JSON lines to standard output or standard error by descriptor (json_console_sink.hpp).
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <spdlog/common.h>
#include <spdlog/details/log_msg.h>

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace zelvar::libscrivo {
namespace {

// Each thread formats into its own buffer, kept between records: nothing of it is shared, so a
// forked child has no half-written line of another thread's to drop.
thread_local spdlog::memory_buf_t t_line;
// A buffer grown past this by one large record is not kept for the thread's life.
constexpr std::size_t kKeptCapacity = 64 * 1024;

// Writes all of `data`; false with errno set when the descriptor refuses it.
bool write_whole(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written > 0) {
            data += written;
            size -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Someone made the descriptor non-blocking (it may be shared with other processes): the
            // record waits for room as it would on a blocking one.
            pollfd ready{fd, POLLOUT, 0};
            if (::poll(&ready, 1, -1) < 0 && errno != EINTR) return false;
            continue;
        }
        if (written == 0) errno = EIO;
        return false;
    }
    return true;
}

}  // namespace

JsonConsoleSink::JsonConsoleSink(std::FILE* stream)
    : fd_(stream == stderr ? STDERR_FILENO : STDOUT_FILENO),
      lock_(stream == stderr ? stderr_console_mutex::mutex() : stdout_console_mutex::mutex()),
      formatter_(std::make_unique<JsonFormatter>()) {}

JsonConsoleSink::~JsonConsoleSink() = default;

void JsonConsoleSink::log(const spdlog::details::log_msg& msg) {
    spdlog::memory_buf_t& line = t_line;
    if (line.capacity() > kKeptCapacity) line = spdlog::memory_buf_t();
    line.clear();
    std::lock_guard<std::mutex> hold(lock_);  // the formatter's per-second cache is shared
    formatter_->format(msg, line);
    if (!write_whole(fd_, line.data(), line.size())) {
        throw spdlog::spdlog_ex(
            fd_ == STDERR_FILENO ? "Failed writing to standard error" : "Failed writing to standard output", errno);
    }
}

void JsonConsoleSink::flush() {}  // nothing is kept

void JsonConsoleSink::set_pattern(const std::string& pattern) { set_formatter(make_pattern_formatter(pattern)); }

void JsonConsoleSink::set_formatter(std::unique_ptr<spdlog::formatter> formatter) {
    std::lock_guard<std::mutex> hold(lock_);
    formatter_ = std::move(formatter);
}

}  // namespace zelvar::libscrivo
