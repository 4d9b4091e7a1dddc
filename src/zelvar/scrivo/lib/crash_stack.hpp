// Alternate signal stacks, so the fatal-signal handler of the file sinks runs even on a thread whose
// own stack overflowed.  Private to libscrivo.
#pragma once

#include <cstddef>

namespace zelvar::libscrivo {

// Gives the calling thread an alternate signal stack for the rest of its life, unless it has one
// (faulthandler's, say).  For the thread that installs the handler.
void keep_signal_stack() noexcept;

// The same for a thread the library starts, for as long as this object lives on it: freed when it
// goes (a stack someone else set up meanwhile is left alone).
class ScopedSignalStack {
  public:
    ScopedSignalStack() noexcept;
    ~ScopedSignalStack();
    ScopedSignalStack(const ScopedSignalStack&) = delete;
    ScopedSignalStack& operator=(const ScopedSignalStack&) = delete;

  private:
    void* stack_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace zelvar::libscrivo
