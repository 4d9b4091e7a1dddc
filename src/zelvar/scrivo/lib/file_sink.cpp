#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "polled_write.hpp"

#include <spdlog/details/file_helper.h>
#include <spdlog/details/os.h>
#include <spdlog/fmt/fmt.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ios>
#include <new>
#include <stdexcept>
#include <system_error>
#include <unordered_set>

namespace zelvar::libscrivo {
namespace {

// Every file sink still open, so buffered records reach their files at exit even when a logger is
// never destroyed (a reference leaked or kept past the interpreter's finalisation). Never destroyed:
// the exit handler may run after static destructors.
struct OpenSinks {
    std::mutex mutex;
    std::unordered_set<FileSink*> sinks;
};

OpenSinks& open_sinks() {
    static auto* open = new OpenSinks;
    return *open;
}

void flush_all() noexcept {
    std::lock_guard<std::mutex> lock(open_sinks().mutex);
    for (FileSink* sink : open_sinks().sinks) sink->write_out_at_exit();
}

// The thread's batch, if one is open (FileSink::BatchOfRecords).
thread_local bool t_batching = false;

void watch(FileSink* sink) {
    static std::once_flag hooks;
    std::call_once(hooks, [] { std::atexit(flush_all); });
    std::lock_guard<std::mutex> lock(open_sinks().mutex);
    open_sinks().sinks.insert(sink);
}

void unwatch(FileSink* sink) noexcept {
    std::lock_guard<std::mutex> lock(open_sinks().mutex);
    open_sinks().sinks.erase(sink);
}

int open_file(const std::string& filename, bool truncate) {
    spdlog::details::os::create_dir(spdlog::details::os::dir_name(filename));
    const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (truncate ? O_TRUNC : 0);
    int fd;
    do {
        fd = ::open(filename.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        throw std::ios_base::failure("Failed opening file " + filename + " for writing",
                                     std::error_code(errno, std::generic_category()));
    }
    return fd;
}

const std::string& checked_name(const std::string& filename) {
    if (filename.find('\0') != std::string::npos) {
        throw std::invalid_argument("embedded null byte");  // the C API would open a shorter name
    }
    return filename;
}

}  // namespace

FileSink::FileSink(std::string filename, bool truncate) : filename_(std::move(filename)) {
    adopt(open_file(checked_name(filename_), truncate));
    try {
        buffer_.reserve(kBufferSize);
        watch(this);
        try {
            guard_across_fork(mutex_, this, {ready_for_fork, forked});
            try {
                track_file_sink(this);
            } catch (...) {
                unguard_across_fork(mutex_);
                throw;
            }
        } catch (...) {
            unwatch(this);
            throw;
        }
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

FileSink::~FileSink() {
    untrack_file_sink(this);
    unguard_across_fork(mutex_);
    unwatch(this);
    write_out_at_exit();  // a pipe nobody reads must not hold up the logger's end for good
    close_file();
}

const std::string& FileSink::filename() const { return filename_; }

void FileSink::check_name(const std::string& filename) { (void)checked_name(filename); }

bool FileSink::flush_if_idle() noexcept {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock) return false;
    try {
        flush_();
    } catch (...) {
        rethrow_forced_unwind();
    }
    return true;
}

void FileSink::write_out_at_exit() noexcept {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock || fd_ < 0 || buffer_.size() == 0) return;
    const std::size_t size = buffer_.size();
    whole_.store(0, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_release);
    const std::size_t written = write_unless_stalled(
        fd_, buffer_.data(), size, std::chrono::duration_cast<std::chrono::milliseconds>(kExitStall).count());
    if (written < size) {
        const auto lost = std::count(buffer_.data() + written, buffer_.data() + size, '\n');
        try {
            const std::string before =
                "scrivo: " + filename_ + " accepted nothing for " + std::to_string(kExitStall.count()) + " s: ";
            report_line(before.c_str(), static_cast<unsigned long long>(lost), " records not written", 1000);
        } catch (...) {
            rethrow_forced_unwind();
        }
    }
    buffer_.clear();
}

FileSink::BatchOfRecords::BatchOfRecords() noexcept : outer_(!t_batching) { t_batching = true; }

FileSink::BatchOfRecords::~BatchOfRecords() {
    if (outer_) t_batching = false;
}

void FileSink::write_out_batch() {
    if (flush_interval_ns_.load(std::memory_order_relaxed) != 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    const Writing writing(*this);
    write_front(buffer_.size());
}

FileSink::Writing::Writing(FileSink& sink) noexcept
    : holder_(sink.holder_), before_(holder_.load(std::memory_order_relaxed)) {
    holder_.store(::pthread_self(), std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

FileSink::Writing::~Writing() {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    holder_.store(before_, std::memory_order_relaxed);
}

// Writes out what the file takes without waiting (a pipe with room for the buffer, which holds at
// most PIPE_BUF bytes between records there, takes all of it in one write); the rest stays with the
// parent.
void FileSink::ready_for_fork(void* sink, std::chrono::steady_clock::time_point deadline) noexcept {
    auto& self = *static_cast<FileSink*>(sink);
    if (self.fd_ < 0 || self.buffer_.size() == 0 || self.buffer_.size() > self.capacity_) return;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd ready{self.fd_, POLLOUT, 0};
    if (::poll(&ready, 1, static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0))) != 1 ||
        (ready.revents & POLLOUT) == 0) {
        return;
    }
    try {
        self.write_front(self.buffer_.size());
    } catch (...) {
    }
}

// The parent writes what was buffered; a buffer an interrupted writer was changing is replaced whole.
void FileSink::forked(void* sink, bool held) noexcept {
    auto& self = *static_cast<FileSink*>(sink);
    if (held) {
        self.buffer_.clear();
    } else {
        new (&self.buffer_) spdlog::memory_buf_t();  // the old one's memory stays the parent's
    }
    self.whole_.store(0, std::memory_order_relaxed);
}

void FileSink::sink_it_(const spdlog::details::log_msg& msg) {
    const Writing writing(*this);
    settle(format_record(msg), msg.level);
}

void FileSink::flush_() {
    const Writing writing(*this);
    write_front(buffer_.size());
}

std::size_t FileSink::format_record(const spdlog::details::log_msg& msg) {
    const std::size_t start = buffer_.size();
    try {
        formatter_->format(msg, buffer_);
    } catch (...) {
        buffer_.resize(start);  // no half record stays behind
        throw;
    }
    return start;
}

void FileSink::settle(std::size_t start, spdlog::level::level_enum level) {
    const bool timed = flush_interval_ns_.load(std::memory_order_relaxed) != 0;
    if (level >= spdlog::level::err || (!timed && !t_batching)) {
        write_front(buffer_.size());
        return;
    }
    // The first record of a fresh buffer: the thread that writes it out in time must be running
    // (a forked child has none until then).
    if (timed && start == 0 && !g_flusher_running.load(std::memory_order_relaxed)) wake_flusher();
    if (buffer_.size() > capacity_) {
        if (start > 0) write_front(start);  // the records before it, so that it starts the next write
        if (buffer_.size() > capacity_) write_front(buffer_.size());
    }
    whole_.store(buffer_.size(), std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_release);
}

void FileSink::write_front(std::size_t size) {
    if (size == 0) return;
    // Records on their way out are the writer's: a crash meanwhile must not write them a second time.
    whole_.store(0, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_release);
    const char* data = buffer_.data();
    std::size_t left = size;
    int error = 0;
    while (left > 0) {
        const ssize_t written = ::write(fd_, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = written < 0 ? errno : EIO;
            break;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    // Written or not, these records leave the buffer: ones that cannot be written are dropped
    // rather than failing every later call again.
    const std::size_t rest = buffer_.size() - size;
    std::memmove(buffer_.data(), buffer_.data() + size, rest);
    buffer_.resize(rest);
    std::atomic_signal_fence(std::memory_order_acquire);
    whole_.store(rest, std::memory_order_relaxed);
    if (error != 0) {
        throw spdlog::spdlog_ex("Failed writing to file " + filename_, error);
    }
}

std::size_t FileSink::buffered() const { return buffer_.size(); }

std::size_t FileSink::file_size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        throw spdlog::spdlog_ex("Cannot read the size of file " + filename_, errno);
    }
    return static_cast<std::size_t>(st.st_size);
}

void FileSink::close_file() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void FileSink::adopt(int fd) noexcept {
    struct stat st {};
    fd_ = fd;
    capacity_ = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? kFileBufferSize : kBufferSize;
}

void FileSink::reopen(bool truncate) {
    close_file();
    adopt(open_file(filename_, truncate));
}

void FileSink::switch_to(std::string filename) {
    flush_();
    const int fd = open_file(checked_name(filename), false);
    close_file();
    adopt(fd);
    filename_ = std::move(filename);
}

}  // namespace zelvar::libscrivo
