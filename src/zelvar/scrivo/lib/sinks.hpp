// What every sink shares: the pattern formatter, the guard of sink locks across fork(), and the
// thread and process ids records are written with. Included by libscrivo.hpp, the header to
// include; each sink class has its own header beside its source.
#pragma once

#include "carried_libraries.hpp"  // before any spdlog or fmt header

#include <spdlog/formatter.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "export.hpp"

namespace zelvar::libscrivo {

// The formatter for `pattern`: the one-pass formatter (fast_pattern_formatter.hpp) when the pattern
// is made only of the flags it takes, else make_spdlog_pattern_formatter's; the same bytes either way.
SCRIVO_API std::unique_ptr<spdlog::formatter> make_pattern_formatter(const std::string& pattern);
// The spdlog pattern formatter for `pattern`, its %t flag written by written_thread_id, and %K the
// record's fields as " key=value" pairs (append_logfmt).
SCRIVO_API std::unique_ptr<spdlog::formatter> make_spdlog_pattern_formatter(const std::string& pattern);

// --- fork() ------------------------------------------------------------------------------------------
//
// Sink locks: just before fork() every guarded lock is taken, waiting at most kForkLockWait in all
// for locks held by writers (a writer stuck on a pipe nobody reads must not stall the fork), and
// each sink whose lock was taken gets ready (a file sink writes out what it holds, as far as its file
// takes it without waiting).  After the fork the parent lets them go.  In the child a lock that was
// taken is let go, one that was not is made afresh (its holder does not exist there), and every sink
// first drops what it inherited unwritten (the parent writes that): so a child never sleeps on a lock
// it inherited, nor writes a record of its parent's, whole or half.  The console streams' locks are
// guarded from the start.
inline constexpr std::chrono::milliseconds kForkLockWait{100};

struct ForkHooks {
    // Before the fork, with the lock held; `deadline` bounds any wait.  May be null.
    void (*ready)(void* owner, std::chrono::steady_clock::time_point deadline) noexcept = nullptr;
    // In the child, before the lock is let go or made afresh; `held`: it was taken.  May be null.
    void (*child)(void* owner, bool held) noexcept = nullptr;
};

// Guards `lock` (a sink's, owned by `owner`) from now until unguard_across_fork.  Throws
// std::bad_alloc.
SCRIVO_API void guard_across_fork(std::mutex& lock, void* owner, ForkHooks hooks = {});
SCRIVO_API void unguard_across_fork(std::mutex& lock) noexcept;

// The thread id to write for a record stamped with `recorded`.  spdlog keeps each thread's id in a
// thread-local, so in a forked child the thread that called fork() goes on stamping its parent's id:
// that id is written as the child's own.
SCRIVO_API std::size_t written_thread_id(std::size_t recorded) noexcept;

// The process id as spdlog's os::pid() gives it, read once and again in a forked child: getpid() is
// a system call, too dear for every record.
SCRIVO_API std::size_t process_id() noexcept;

}  // namespace zelvar::libscrivo
