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
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ios>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>
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
    fd_ = open_file(checked_name(filename_), truncate);
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
// most PIPE_BUF bytes between records, takes all of it in one write); the rest stays with the parent.
void FileSink::ready_for_fork(void* sink, std::chrono::steady_clock::time_point deadline) noexcept {
    auto& self = *static_cast<FileSink*>(sink);
    if (self.fd_ < 0 || self.buffer_.size() == 0 || self.buffer_.size() > kBufferSize) return;
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
    if (buffer_.size() > kBufferSize) {
        if (start > 0) write_front(start);  // the records before it, so that it starts the next write
        if (buffer_.size() > kBufferSize) write_front(buffer_.size());
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

void FileSink::reopen(bool truncate) {
    close_file();
    fd_ = open_file(filename_, truncate);
}

void FileSink::switch_to(std::string filename) {
    flush_();
    const int fd = open_file(checked_name(filename), false);
    close_file();
    fd_ = fd;
    filename_ = std::move(filename);
}

RotatingFileSink::RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files)
    : RotatingFileSink(std::move(filename), max_size, max_files, false) {}

RotatingFileSink::RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files, bool truncate)
    : RotatingFileSink(std::move(filename), max_size, max_files, truncate, false) {}

RotatingFileSink::RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files, bool truncate,
                                   bool compress)
    : FileSink(std::move(filename), truncate),
      max_size_(max_size),
      max_files_(max_files),
      current_size_(file_size()),
      compress_(compress) {
    if (compress_) resume_compression();
}

RotatingFileSink::~RotatingFileSink() = default;

std::string RotatingFileSink::rotated_name(const std::string& filename, std::size_t index) {
    if (index == 0) {
        return filename;
    }
    const auto [stem, ext] = spdlog::details::file_helper::split_by_extension(filename);
    return fmt::format("{}.{}{}", stem, index, ext);
}

void RotatingFileSink::sink_it_(const spdlog::details::log_msg& msg) {
    const Writing writing(*this);
    std::size_t start = format_record(msg);
    const std::size_t size = buffered() - start;
    std::size_t new_size = current_size_ + size;
    if (new_size > max_size_) {
        write_front(start);  // the records before it count in the file's real size
        start = 0;
        if (file_size() > 0) {
            rotate();
            new_size = size;
        }
    }
    settle(start, msg.level);
    current_size_ = new_size;
}

// log.txt -> log.1.txt -> log.2.txt ... -> dropped; then a fresh log.txt.
void RotatingFileSink::rotate() {
    close_file();
    if (compress_) {
        shift_compressed();
        return;
    }
    for (std::size_t i = max_files_; i > 0; --i) {
        const std::string src = rotated_name(filename(), i - 1);
        if (!spdlog::details::os::path_exists(src)) {
            continue;
        }
        const std::string target = rotated_name(filename(), i);
        const auto rename = [&] {
            (void)spdlog::details::os::remove(target);
            return spdlog::details::os::rename(src, target) == 0;
        };
        if (!rename()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (!rename()) {
                const int error = errno;
                reopen(true);  // truncate anyway, so the file does not grow past its limit
                current_size_ = 0;
                throw spdlog::spdlog_ex("rotating_file_sink: failed renaming " + src + " to " + target, error);
            }
        }
    }
    reopen(true);
}

namespace {

// A rotated file and its compressed companions, in the order they are moved.
std::array<std::string, 3> with_companions(const std::string& name) {
    return {name, name + kCompressedSuffixes[0], name + kCompressedSuffixes[1]};
}

}  // namespace

// As rotate() does, each index moving with its companions (a file and its older compressed copy
// are one rotated file), under the queue's lock so the compression in progress follows its file;
// then the file rotation closed is queued.
void RotatingFileSink::shift_compressed() {
    const auto names = lock_compressed_names();
    for (std::size_t i = max_files_; i > 0; --i) {
        const std::string src = rotated_name(filename(), i - 1), target = rotated_name(filename(), i);
        auto from = with_companions(src);
        if (i == 1) {  // the open file's own companions are none of this sink's
            from[1].clear();
            from[2].clear();
        }
        bool present[3] = {};
        for (std::size_t k = 0; k < 3; ++k) present[k] = !from[k].empty() && spdlog::details::os::path_exists(from[k]);
        if (!present[0] && !present[1] && !present[2]) continue;
        const auto to = with_companions(target);
        if (i == max_files_) {  // the file dropped; below it each target was vacated by the move above
            for (const std::string& name : to) (void)spdlog::details::os::remove(name);
            compressed_file_removed(target);
        }
        for (std::size_t k = 0; k < 3; ++k) {
            if (!present[k]) continue;
            if (spdlog::details::os::rename(from[k], to[k]) != 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (spdlog::details::os::rename(from[k], to[k]) != 0) {
                    const int error = errno;
                    reopen(true);  // truncate anyway, so the file does not grow past its limit
                    current_size_ = 0;
                    throw spdlog::spdlog_ex("rotating_file_sink: failed renaming " + from[k] + " to " + to[k], error);
                }
            }
        }
        compressed_file_renamed(src, target);
    }
    reopen(true);
    if (max_files_ > 0) compress_later(rotated_name(filename(), 1));
}

// What a process before this one left: rotated files not yet compressed are queued, temporaries
// without their file removed.  Rotated files are numbered without gaps, so the search stops at the
// first index with none.
void RotatingFileSink::resume_compression() {
    const auto names = lock_compressed_names();
    for (std::size_t i = 1; i <= max_files_; ++i) {
        const auto forms = with_companions(rotated_name(filename(), i));
        const bool present[3] = {spdlog::details::os::path_exists(forms[0]), spdlog::details::os::path_exists(forms[1]),
                                 spdlog::details::os::path_exists(forms[2])};
        if (!present[0] && !present[1] && !present[2]) break;
        if (present[0]) {
            compress_later(forms[0]);
        } else if (present[2] && !compression_queued(forms[0])) {
            (void)spdlog::details::os::remove(forms[2]);
        }
    }
}

}  // namespace zelvar::libscrivo
