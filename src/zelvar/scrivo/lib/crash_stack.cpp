#include "crash_stack.hpp"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace zelvar::libscrivo {
namespace {

// Room for the handler and whatever it chains to (faulthandler's dump included).
std::size_t stack_size() noexcept {
    long minimum = ::sysconf(_SC_SIGSTKSZ);
    return static_cast<std::size_t>(std::max<long>(minimum, 0)) + 64 * 1024;
}

// Installs a fresh stack if the thread has none; returns it, or null.
void* install(std::size_t size) noexcept {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_DISABLE)) return nullptr;
    // mmap, not the heap: a stack that lives as long as the process is no leak to report.
    void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = size;
    if (::sigaltstack(&stack, nullptr) != 0) {
        ::munmap(memory, size);
        return nullptr;
    }
    return memory;
}

}  // namespace

void keep_signal_stack() noexcept { (void)install(stack_size()); }

ScopedSignalStack::ScopedSignalStack() noexcept : size_(stack_size()) { stack_ = install(size_); }

ScopedSignalStack::~ScopedSignalStack() {
    if (!stack_) return;
    stack_t current{};
    if (::sigaltstack(nullptr, &current) != 0 || current.ss_sp != stack_) return;
    if (current.ss_flags & SS_ONSTACK) return;  // cannot happen outside a handler; never free a stack in use
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    if (::sigaltstack(&off, nullptr) == 0) ::munmap(stack_, size_);
}

}  // namespace zelvar::libscrivo
