// One rule for every `catch (...)` in the package, in the Python toolkit and in the native library
// alike: a thread ended by pthread_exit (the interpreter ends a thread that takes its lock back
// during finalisation that way) unwinds its stack with an exception that must go on, or the
// process aborts. Plain C++: no Python headers.
#pragma once

#include <cxxabi.h>

namespace zelvar {

// The first statement of every `catch (...)`. Whatever else is being handled stays handled.
inline void rethrow_forced_unwind() {
    try {
        throw;
    } catch (const abi::__forced_unwind&) {
        throw;
    } catch (...) {
    }
}

}  // namespace zelvar
