// Everything module-wide of zelvar.utils.ferrix.ferrix, in one place: the module object, the objects
// of other modules taken once at import, and the ring type with its method table. Defined in
// module_state.cpp.
//
// One interpreter per process may import the module (py::ModuleOnce refuses a second), and the
// module object lives for the process: these objects are per process and never freed.
#pragma once

#include <cstddef>

#include <zelvar/_pyext/module.hpp>
#include <zelvar/_pyext/python.hpp>
#include <zelvar/spsc_queue/spsc_queue.hpp>
#include <zelvar/utils/ferrix/ferrix.hpp>

#include "ring_arguments.hpp"

namespace zelvar::ferrix {

// The file name the module's native functions give in tracebacks. Fixed: it is part of what users
// see, not the name of a file in this tree.
inline constexpr const char* kSourceFile = "zelvar/utils/ferrix/ferrix.cpp";

// The module's import record (its definition in ferrix_module.cpp is built on it).
extern py::ModuleOnce g_module_once;

// The module object.
PyObject* module();
// A module global looked up now (borrowed), or null with NameError. For what the module lets its
// users rebind (`asyncio` for the reader's yield, `sys`, `logger`): every use sees the binding of
// the moment.
PyObject* global(const char* name);

// Objects of other modules the bridge needs on every call, and the names it reads them by, taken
// once at import (the module lives for the process, so they do too). Never null after a successful
// import.
struct ImportedObjects {
    PyObject* get_running_loop = nullptr;   // asyncio.get_running_loop
    PyObject* peek_running_loop = nullptr;  // asyncio._get_running_loop
    PyObject* cancelled_error = nullptr;    // asyncio.CancelledError
    PyObject* lock_type = nullptr;          // asyncio.Lock
    PyObject* condition_type = nullptr;     // asyncio.Condition
    PyObject* socket_module = nullptr;      // socket (its `socket` attribute is read at each use)
    // Attribute names, interned: a lookup by C string makes and hashes a new str each time.
    PyObject* pop = nullptr;      // "pop": AsyncQueue's `async for` step
    PyObject* done = nullptr;     // "done", of a waiter future
    PyObject* waiters = nullptr;  // "_waiters", of an asyncio.Lock or Condition
    PyObject* lock = nullptr;     // "_lock", of an asyncio.Condition
    PyObject* locked = nullptr;   // "_locked", of an asyncio.Lock
};
// Read with the interpreter lock, by any thread that holds it; written only by the import.
const ImportedObjects& imported();
// Takes them (an import step).
bool bind_imported_objects();

// The ring type of zelvar.spsc_queue bound at import, and its native method table: every bridge
// type reaches its ring through them.
PyTypeObject* ring_type();
const spsc::SPSCQueueVTable* ring_table();
// Binds both (an import step).
bool bind_ring_type();

// A new SPSCQueue(slot_size, capacity, overwrite, zerocopy, block_on_full), or null with its error.
PyObject* make_ring(const RingArguments& args);

// Whether a bridge object (pipe, dispatcher, queue) holds its ring: `_q` is None before a
// successful __init__ and after the collector cleared it. Entries refuse without one.
template <class O>
bool has_ring(const O* o) {
    return o->_q != Py_None;
}

// `_q` as the ring it holds.
inline SPSCQueueObject* ring(PyObject* q) { return reinterpret_cast<SPSCQueueObject*>(q); }

// Messages waiting in `_q`'s ring: the one read that goes past the method table, which has no entry
// for it. Safe: the object's layout is the published one (its size checked when the type is bound),
// and size_approx is header code that only loads the two indexes, from any thread, under no lock.
inline std::size_t ring_size(PyObject* q) { return ring(q)->ring.size_approx(); }

}  // namespace zelvar::ferrix
