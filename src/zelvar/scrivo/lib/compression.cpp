// Rotated files gzipped on one thread of the library's own, so no logging call waits for zlib.
//
// A file "x" becomes "x.gz" by way of "x.gz.tmp": the temporary is written whole and synced, then
// renamed over "x.gz", and only then is "x" removed, so a process killed at any point leaves "x"
// whole (with at most a stale temporary beside it, which the next sink over those files redoes).
// The sinks rename and remove their rotated files while the compression runs; every such name
// change goes through the lock of this queue and tells it (compressed_file_renamed / _removed), so
// the job in progress always finishes under the names its file has by then.
//
// The thread starts with the first job and waits for more.  Before fork() it stops between two
// chunks (the job in progress starts over later) so a process forks with no thread of ours: the
// parent starts it again for what is left, the child drops the parent's jobs.  At exit it stops
// between two chunks as well, and is not waited for: what is left is redone on the next start.
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "compression.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <utility>

#include "bounded_waits.hpp"
#include "crash_stack.hpp"

namespace zelvar::libscrivo {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kChunk = 64 * 1024;  // a stop request waits for at most one chunk's deflate

struct Job {
    std::string source;
    bool cancelled = false;  // its files were removed while it ran
};

// Never destroyed: the thread and the exit handler may run after static destructors.
struct Compressor {
    std::mutex mutex;  // the queue, and the names of every file in it
    std::condition_variable wake;
    std::deque<std::string> queued;
    std::optional<Job> current;
    int in_fd = -1, out_fd = -1;    // the current job's, for a forked child to close its copies
    std::atomic<bool> stop{false};  // exiting or pausing: the thread ends after the chunk at hand
    bool exiting = false;
    bool pausing = false;
    bool running = false;
    bool joinable = false;
    pthread_t thread{};

    // Under the lock: a fork is coming (the thread ends after its chunk), or has been made.
    void pause(bool on) {
        pausing = on;
        stop.store(on || exiting, std::memory_order_relaxed);
    }
};

Compressor& compressor() {
    static auto* c = new Compressor;
    return *c;
}

std::string temporary_of(const std::string& source) { return source + ".gz.tmp"; }
std::string compressed_of(const std::string& source) { return source + ".gz"; }

int open_retrying(const char* name, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(name, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool write_all(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

enum class Outcome { done, failed, stopped };

// Deflates `in` into `out` as one gzip member, chunk by chunk, until the end of `in` or a stop request.
Outcome deflate_file(int in, int out, const std::atomic<bool>& stop) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return Outcome::failed;
    }
    std::unique_ptr<unsigned char[]> buffers(new (std::nothrow) unsigned char[2 * kChunk]);
    unsigned char* const input = buffers.get();
    unsigned char* const output = buffers ? input + kChunk : nullptr;
    Outcome outcome = buffers ? Outcome::done : Outcome::failed;
    for (int flush = Z_NO_FLUSH; outcome == Outcome::done && flush != Z_FINISH;) {
        if (stop.load(std::memory_order_relaxed)) {
            outcome = Outcome::stopped;
            break;
        }
        ssize_t got;
        do {
            got = ::read(in, input, kChunk);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            outcome = Outcome::failed;
            break;
        }
        flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = input;
        z.avail_in = static_cast<uInt>(got);
        do {
            z.next_out = output;
            z.avail_out = kChunk;
            (void)deflate(&z, flush);  // no error is possible with these buffers and this flush order
            if (!write_all(out, output, kChunk - z.avail_out)) {
                outcome = Outcome::failed;
                break;
            }
        } while (z.avail_out == 0);
        if (outcome != Outcome::done) break;
    }
    deflateEnd(&z);
    return outcome;
}

void close_job_files(Compressor& c) noexcept {
    if (c.in_fd >= 0) ::close(c.in_fd);
    if (c.out_fd >= 0) ::close(c.out_fd);
    c.in_fd = c.out_fd = -1;
}

// Takes the next job and opens its files, with the lock held; false when the job is gone.
bool start_job(Compressor& c) {
    c.current = Job{std::move(c.queued.front())};
    c.queued.pop_front();
    const std::string& source = c.current->source;
    c.in_fd = open_retrying(source.c_str(), O_RDONLY);
    struct stat st {};
    if (c.in_fd >= 0 && ::fstat(c.in_fd, &st) == 0) {
        c.out_fd = open_retrying(temporary_of(source).c_str(), O_WRONLY | O_CREAT | O_TRUNC, st.st_mode & 0777);
    }
    if (c.out_fd >= 0) return true;
    close_job_files(c);  // the file is gone, or cannot be compressed here: it stays as it is
    c.current.reset();
    return false;
}

// With the lock held: the compressed file takes the name of the finished job's file.
void finish_job(Compressor& c, Outcome outcome) noexcept {
    close_job_files(c);
    const Job job = std::move(*c.current);
    c.current.reset();
    if (job.cancelled) return;  // its names were removed with it
    switch (outcome) {
        case Outcome::done:
            if (::rename(temporary_of(job.source).c_str(), compressed_of(job.source).c_str()) == 0) {
                ::unlink(job.source.c_str());
            } else {
                ::unlink(temporary_of(job.source).c_str());
            }
            break;
        case Outcome::failed:  // a full disk, say: the file stays uncompressed rather than half
            ::unlink(temporary_of(job.source).c_str());
            break;
        case Outcome::stopped:  // a fork: it starts over in the parent (at exit: on the next start)
            try {
                if (!c.exiting) c.queued.push_front(job.source);
            } catch (...) {
                rethrow_forced_unwind();
            }
            break;
    }
}

void run() {
    Compressor& c = compressor();
    std::unique_lock<std::mutex> lock(c.mutex);
    while (!c.exiting && !c.pausing) {
        if (c.queued.empty()) {
            c.wake.wait(lock, [&] { return !c.queued.empty() || c.exiting || c.pausing; });
            continue;
        }
        bool started = false;
        try {
            started = start_job(c);
        } catch (...) {
            rethrow_forced_unwind();
        }
        if (!started) continue;
        const int in = c.in_fd, out = c.out_fd;
        lock.unlock();
        const Outcome outcome = deflate_file(in, out, c.stop);
        lock.lock();
        finish_job(c, outcome);
    }
    c.running = false;
    if (c.exiting && c.joinable) {  // nobody joins it now
        ::pthread_detach(c.thread);
        c.joinable = false;
    }
}

void* run_thread(void*) {
    // Below the threads that log: on a busy machine the compression waits, never the logging call.
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
    const ScopedSignalStack stack;
    run();
    return nullptr;
}

// With the lock held.
void start_thread(Compressor& c) noexcept {
    if (c.running || c.exiting || c.pausing) return;
    if (c.joinable) ::pthread_join(c.thread, nullptr);  // one that ended while a fork did not wait
    c.joinable = false;
    if (::pthread_create(&c.thread, nullptr, run_thread, nullptr) != 0) return;  // the next job tries again
    c.joinable = c.running = true;
}

// Before fork(), ahead of the fork guard's locks: the thread ends after its chunk (the queue's lock is
// held only for renames and queue changes).
void pause_for_fork() noexcept { end_thread_for_fork(compressor(), kForkLockWait); }

void resume_after_fork() noexcept {
    Compressor& c = compressor();
    std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.queued.empty()) start_thread(c);
}

// The jobs are the parent's, and so are the files the thread had open.
void forked(void*, bool held) noexcept {
    Compressor& c = compressor();
    if (held) {
        close_job_files(c);
        c.queued.clear();
        c.current.reset();
    } else {  // the parent's thread was changing them: fresh ones, the old memory left alone
        c.in_fd = c.out_fd = -1;
        new (&c.queued) std::deque<std::string>();
        new (&c.current) std::optional<Job>();
    }
    c.running = c.joinable = c.pausing = false;
    c.stop.store(c.exiting, std::memory_order_relaxed);
    new (&c.wake) std::condition_variable();
}

void stop_at_exit() noexcept {
    Compressor& c = compressor();
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        c.exiting = true;
        c.stop.store(true, std::memory_order_relaxed);
    }
    c.wake.notify_all();
}

bool is_queued(const Compressor& c, const std::string& path) {
    return (c.current && !c.current->cancelled && c.current->source == path) ||
           std::find(c.queued.begin(), c.queued.end(), path) != c.queued.end();
}

}  // namespace

std::unique_lock<std::mutex> lock_compressed_names() {
    Compressor& c = compressor();
    static std::once_flag once;
    std::call_once(once, [&] {
        guard_worker_across_fork(c, forked, pause_for_fork, resume_after_fork);
        std::atexit(stop_at_exit);
    });
    return std::unique_lock<std::mutex>(c.mutex);
}

void compress_later(const std::string& path) {
    Compressor& c = compressor();
    if (is_queued(c, path)) return;
    c.queued.push_back(path);
    start_thread(c);
    c.wake.notify_one();
}

bool compression_queued(const std::string& path) noexcept { return is_queued(compressor(), path); }

void compressed_file_renamed(const std::string& from, const std::string& to) noexcept {
    Compressor& c = compressor();
    try {
        if (c.current && c.current->source == from) c.current->source = to;
        std::replace(c.queued.begin(), c.queued.end(), from, to);
    } catch (...) {
        rethrow_forced_unwind();  // a copy of a file name: the job keeps the old one and finds nothing
    }
}

void compressed_file_removed(const std::string& path) noexcept {
    Compressor& c = compressor();
    if (c.current && c.current->source == path) c.current->cancelled = true;
    c.queued.erase(std::remove(c.queued.begin(), c.queued.end(), path), c.queued.end());
}

}  // namespace zelvar::libscrivo
