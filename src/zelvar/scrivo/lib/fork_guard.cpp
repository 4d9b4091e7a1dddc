// Sink locks and thread ids across fork(), as sinks.hpp describes.
#include <zelvar/scrivo/lib/fast_pattern_formatter.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <spdlog/details/os.h>
#include <spdlog/fmt/fmt.h>
#include <spdlog/pattern_formatter.h>

#include "bounded_waits.hpp"

#include <pthread.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <thread>
#include <vector>

namespace zelvar::libscrivo {
namespace {

using Clock = std::chrono::steady_clock;

struct Guarded {
    std::mutex* lock;
    void* owner;
    ForkHooks hooks;
    bool held;
};

// Never destroyed: a fork may come after static destructors ran.
struct Guards {
    std::mutex mutex;
    std::vector<Guarded> entries;
};

Guards& guards() {
    static auto* g = new Guards;
    return *g;
}

// Ids a forked child writes as its own: what the forking thread stamped records with in the parent
// (spdlog's cached id, which may be a grandparent's after a second fork, and the thread's real id).
std::atomic<std::size_t> stale_cached{0}, stale_real{0}, fresh{0};
std::size_t forking_cached = 0, forking_real = 0;

std::size_t real_thread_id() { return static_cast<std::size_t>(::gettid()); }

// 0 until first read, and again in a forked child.
std::atomic<std::size_t> cached_pid{0};

void prepare() noexcept {
    forking_cached = spdlog::details::os::thread_id();
    forking_real = real_thread_id();
    Guards& g = guards();
    g.mutex.lock();
    const auto deadline = Clock::now() + kForkLockWait;
    for (Guarded& e : g.entries) {
        e.held = lock_before(*e.lock, deadline);
        if (e.held && e.hooks.ready) e.hooks.ready(e.owner, deadline);
    }
}

void parent() noexcept {
    Guards& g = guards();
    for (Guarded& e : g.entries) {
        if (e.held) e.lock->unlock();
    }
    g.mutex.unlock();
}

void child() noexcept {
    cached_pid.store(0, std::memory_order_relaxed);
    stale_cached.store(forking_cached, std::memory_order_relaxed);
    stale_real.store(forking_real, std::memory_order_relaxed);
    fresh.store(real_thread_id(), std::memory_order_release);
    Guards& g = guards();
    for (Guarded& e : g.entries) {
        if (e.hooks.child) e.hooks.child(e.owner, e.held);
        if (e.held) {
            e.lock->unlock();
        } else {
            new (e.lock) std::mutex();
        }
    }
    g.mutex.unlock();
}

// A console stream whose writer was cut off holds the start of that record in its stdio buffer.
void console_forked(void* stream, bool held) noexcept {
    if (!held) ::__fpurge(static_cast<std::FILE*>(stream));
}

// Before any other part of the library registers fork handlers: these take the sink locks last and
// let them go first.
[[maybe_unused]] const bool registered = [] {
    guard_across_fork(stdout_console_mutex::mutex(), stdout, {nullptr, console_forked});
    guard_across_fork(stderr_console_mutex::mutex(), stderr, {nullptr, console_forked});
    return ::pthread_atfork(prepare, parent, child) == 0;
}();

}  // namespace

void guard_across_fork(std::mutex& lock, void* owner, ForkHooks hooks) {
    Guards& g = guards();
    std::lock_guard<std::mutex> hold(g.mutex);
    g.entries.push_back(Guarded{&lock, owner, hooks, false});
}

void unguard_across_fork(std::mutex& lock) noexcept {
    Guards& g = guards();
    std::lock_guard<std::mutex> hold(g.mutex);
    const auto it = std::find_if(g.entries.begin(), g.entries.end(), [&](const Guarded& e) { return e.lock == &lock; });
    if (it == g.entries.end()) return;
    *it = g.entries.back();
    g.entries.pop_back();
}

std::size_t written_thread_id(std::size_t recorded) noexcept {
    const std::size_t now = fresh.load(std::memory_order_acquire);
    if (now != 0 && (recorded == stale_cached.load(std::memory_order_relaxed) ||
                     recorded == stale_real.load(std::memory_order_relaxed))) {
        return now;
    }
    return recorded;
}

std::size_t process_id() noexcept {
    std::size_t pid = cached_pid.load(std::memory_order_relaxed);
    if (pid == 0) {
        pid = spdlog::details::os::pid();
        cached_pid.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

namespace {

// %t, padded as spdlog pads its own flags.
class ThreadIdFlag final : public spdlog::custom_flag_formatter {
  public:
    void format(const spdlog::details::log_msg& msg, const std::tm&, spdlog::memory_buf_t& dest) override {
        const auto digits = fmt::format_int(written_thread_id(msg.thread_id));
        const std::size_t size = digits.size();
        const std::size_t width = padinfo_.enabled() ? padinfo_.width_ : 0;
        if (size >= width) {
            const std::size_t kept = padinfo_.truncate_ && width < size ? width : size;
            dest.append(digits.data(), digits.data() + kept);
            return;
        }
        const std::size_t pad = width - size;
        std::size_t before = 0;
        if (padinfo_.side_ == spdlog::details::padding_info::pad_side::left) {
            before = pad;
        } else if (padinfo_.side_ == spdlog::details::padding_info::pad_side::center) {
            before = pad / 2;
        }
        for (std::size_t i = 0; i < before; ++i) dest.push_back(' ');
        dest.append(digits.data(), digits.data() + size);
        for (std::size_t i = before; i < pad; ++i) dest.push_back(' ');
    }
    std::unique_ptr<spdlog::custom_flag_formatter> clone() const override { return std::make_unique<ThreadIdFlag>(); }
};

// %K: the record's fields as " key=value" pairs (nothing for a record without).
class FieldsFlag final : public spdlog::custom_flag_formatter {
  public:
    void format(const spdlog::details::log_msg&, const std::tm&, spdlog::memory_buf_t& dest) override {
        append_logfmt(current_fields(), dest);
    }
    std::unique_ptr<spdlog::custom_flag_formatter> clone() const override { return std::make_unique<FieldsFlag>(); }
};

}  // namespace

std::unique_ptr<spdlog::formatter> make_pattern_formatter(const std::string& pattern) {
    if (auto fast = make_fast_pattern_formatter(pattern)) return fast;
    return make_spdlog_pattern_formatter(pattern);
}

std::unique_ptr<spdlog::formatter> make_spdlog_pattern_formatter(const std::string& pattern) {
    spdlog::pattern_formatter::custom_flags flags;
    flags['t'] = std::make_unique<ThreadIdFlag>();
    flags['K'] = std::make_unique<FieldsFlag>();
    return std::make_unique<spdlog::pattern_formatter>(pattern, spdlog::pattern_time_type::local,
                                                       spdlog::details::os::default_eol, std::move(flags));
}

}  // namespace zelvar::libscrivo
