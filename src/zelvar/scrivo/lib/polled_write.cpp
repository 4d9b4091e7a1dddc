#include "polled_write.hpp"

#include <errno.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace zelvar::libscrivo {

struct timespec monotonic_after(long ms) noexcept {
    struct timespec when {};
    ::clock_gettime(CLOCK_MONOTONIC, &when);
    when.tv_sec += ms / 1000;
    when.tv_nsec += (ms % 1000) * 1'000'000;
    if (when.tv_nsec >= 1'000'000'000) {
        when.tv_sec += 1;
        when.tv_nsec -= 1'000'000'000;
    }
    return when;
}

namespace {

long ms_until(const struct timespec& when) noexcept {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const long long ms = (when.tv_sec - now.tv_sec) * 1000LL + (when.tv_nsec - now.tv_nsec) / 1'000'000;
    return ms < 0 ? 0 : static_cast<long>(ms);
}

}  // namespace

bool passed(const struct timespec& when) noexcept {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec > when.tv_sec || (now.tv_sec == when.tv_sec && now.tv_nsec >= when.tv_nsec);
}

std::size_t write_polled(int fd, const char* data, std::size_t size, const struct timespec& until) noexcept {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return 0;
    const bool regular = S_ISREG(st.st_mode), socket = S_ISSOCK(st.st_mode);
    std::size_t done = 0;
    while (done < size) {
        std::size_t chunk = size - done;
        if (!regular) {
            pollfd ready{fd, POLLOUT, 0};
            const int polled = ::poll(&ready, 1, static_cast<int>(ms_until(until)));
            if (polled < 0 && errno == EINTR) continue;
            if (polled != 1 || (ready.revents & POLLOUT) == 0) break;
            if (chunk > PIPE_BUF) {
                chunk = PIPE_BUF;
                // Whole lines where they fit, so a reader that gets only part sees whole records.
                for (std::size_t end = chunk; end > 0; --end) {
                    if (data[done + end - 1] == '\n') {
                        chunk = end;
                        break;
                    }
                }
            }
        }
        const ssize_t written =
            socket ? ::send(fd, data + done, chunk, MSG_DONTWAIT | MSG_NOSIGNAL) : ::write(fd, data + done, chunk);
        if (written < 0 && (errno == EINTR || errno == EAGAIN)) {
            if (passed(until)) break;
            continue;
        }
        if (written <= 0) break;
        done += static_cast<std::size_t>(written);
    }
    return done;
}

std::size_t write_unless_stalled(int fd, const char* data, std::size_t size, long stall_ms) noexcept {
    std::size_t done = 0;
    while (done < size) {
        const std::size_t written = write_polled(fd, data + done, size - done, monotonic_after(stall_ms));
        if (written == 0) break;
        done += written;
    }
    return done;
}

void report_line(const char* before, unsigned long long number, const char* after, long ms) noexcept {
    char line[512];
    std::size_t at = 0;
    const auto append = [&](const char* text, std::size_t n) {
        n = n < sizeof line - at ? n : sizeof line - at;
        std::memcpy(line + at, text, n);
        at += n;
    };
    append(before, std::strlen(before));
    char digits[24];
    std::size_t count = 0;
    do {
        digits[sizeof digits - ++count] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    append(digits + sizeof digits - count, count);
    append(after, std::strlen(after));
    if (at == sizeof line) --at;
    line[at++] = '\n';
    (void)write_polled(STDERR_FILENO, line, at, monotonic_after(ms));
}

}  // namespace zelvar::libscrivo
