// Whether the calling thread holds the interpreter lock, asked without taking it: a native caller
// that may or may not hold it (a logging call from a foreign thread) takes it only when it lacks it.
#pragma once

#include "python.hpp"

namespace zelvar::py {

inline bool holds_interpreter_lock() {
#if PY_VERSION_HEX >= 0x030D0000
    return PyThreadState_GetUnchecked() != nullptr;
#elif PY_VERSION_HEX >= 0x030C0000
    return _PyThreadState_UncheckedGet() != nullptr;  // this thread's own, attached thread state
#else
    // Before 3.12 the current thread state is that of whichever thread holds the lock.
    PyThreadState* current = _PyThreadState_UncheckedGet();
    if (!current) return false;
    PyThreadState* own = PyGILState_GetThisThreadState();
    if (current == own) return true;
    if (!own) return false;  // a thread that never ran Python code
    // A thread running a sub-interpreter holds the lock with that interpreter's thread state, while
    // the one the GILState API knows for it belongs to the interpreter it started in.
    return PyThreadState_GetInterpreter(current) != PyThreadState_GetInterpreter(own);
#endif
}

}  // namespace zelvar::py
