// What the bridge module's concerns share inside the module.
#pragma once

#include <zelvar/_pyext/python.hpp>
#include <zelvar/spsc_queue/spsc_queue.hpp>
#include <zelvar/utils/ferrix/ferrix.hpp>

namespace zelvar::ferrix {

inline constexpr const char* kSourceFile = "zelvar/utils/ferrix/ferrix.cpp";

// The module object (one per process, alive for the process).
PyObject* module();
// A module global looked up now (borrowed), or null with NameError. For what the module lets its
// users rebind (`asyncio` for the reader's yield, `sys`, `logger`): every use sees the binding of
// the moment.
PyObject* global(const char* name);

// Objects of other modules the bridge needs on every call, taken once at import (the module lives
// for the process, so they do too). Borrowed; never null after a successful import.
struct ImportedObjects {
    PyObject* get_running_loop = nullptr;   // asyncio.get_running_loop
    PyObject* peek_running_loop = nullptr;  // asyncio._get_running_loop
    PyObject* cancelled_error = nullptr;    // asyncio.CancelledError
    PyObject* lock_type = nullptr;          // asyncio.Lock
    PyObject* condition_type = nullptr;     // asyncio.Condition
    PyObject* socket_module = nullptr;      // socket (its `socket` attribute is read at each use)
};
const ImportedObjects& imported();
// Takes them (an import step).
bool bind_imported_objects();

// The ring type bound at import, and its native method table.
PyTypeObject* ring_type();
const spsc::SPSCQueueVTable* ring_table();
// Binds both (import step 2).
bool bind_ring_type();

// Whether a bridge object (pipe, dispatcher, queue) holds its ring: `_q` is None before a
// successful __init__ and after the collector cleared it. Entries refuse without one.
template <class O>
bool has_ring(const O* o) {
    return o->_q != Py_None;
}

// `_q` as the ring it holds.
inline SPSCQueueObject* ring(PyObject* q) { return reinterpret_cast<SPSCQueueObject*>(q); }

}  // namespace zelvar::ferrix
