// Writing to a file that may not take what it is given: a pipe or socket whose reader stalled.
// Private to libscrivo.
#pragma once

#include <cstddef>

#include <time.h>

namespace zelvar::libscrivo {

// Writes `data` to `fd` without blocking for long in write(2): every write follows a poll that
// found room, and anything but a regular file is given at most PIPE_BUF bytes at a time (what a
// pipe that polls writable takes at once), cut after a line's end where one is in reach; a socket
// is sent to without waiting at all.  Stops at `until` (CLOCK_MONOTONIC) or on an error.  Returns
// the bytes written.  Async-signal-safe.
std::size_t write_polled(int fd, const char* data, std::size_t size, const struct timespec& until) noexcept;

// Writes all of `data`, giving up once the file has taken nothing for `stall_ms`.  Returns the bytes written.
std::size_t write_unless_stalled(int fd, const char* data, std::size_t size, long stall_ms) noexcept;

// CLOCK_MONOTONIC now plus `ms`; and whether `when` has passed.  Async-signal-safe.
struct timespec monotonic_after(long ms) noexcept;
bool passed(const struct timespec& when) noexcept;

// Writes `text` and `number` to standard error as one line, as far as it takes them within
// `ms` milliseconds: "<before><number><after>\n".  Async-signal-safe.
void report_line(const char* before, unsigned long long number, const char* after, long ms) noexcept;

}  // namespace zelvar::libscrivo
