#include "module_state.hpp"

#include <utility>

#include <zelvar/_pyext/ref.hpp>
#include <zelvar/_pyext/types.hpp>

namespace zelvar::ferrix {

py::ModuleOnce g_module_once{"ferrix", kModuleName};

namespace {

ImportedObjects g_imported;

PyObject* bool_of(int flag) { return flag ? Py_True : Py_False; }

PyTypeObject* g_ring_type = nullptr;
const spsc::SPSCQueueVTable* g_ring_table = nullptr;

}  // namespace

PyObject* module() { return g_module_once.module; }

PyObject* global(const char* name) { return py::module_global(module(), name); }

const ImportedObjects& imported() { return g_imported; }

bool bind_imported_objects() {
    py::Ref asyncio(PyImport_ImportModule("asyncio"));
    if (!asyncio) return false;
    ImportedObjects& o = g_imported;
    for (auto [field, name] :
         {std::pair{&o.get_running_loop, "get_running_loop"}, std::pair{&o.peek_running_loop, "_get_running_loop"},
          std::pair{&o.cancelled_error, "CancelledError"}, std::pair{&o.lock_type, "Lock"},
          std::pair{&o.condition_type, "Condition"}}) {
        if (!*field && !(*field = PyObject_GetAttrString(asyncio.get(), name))) return false;
    }
    if (!o.socket_module && !(o.socket_module = PyImport_ImportModule("socket"))) return false;
    for (auto [field, name] : {std::pair{&o.pop, "pop"}, std::pair{&o.done, "done"}, std::pair{&o.waiters, "_waiters"},
                               std::pair{&o.lock, "_lock"}, std::pair{&o.locked, "_locked"}}) {
        if (!*field && !(*field = PyUnicode_InternFromString(name))) return false;
    }
    return true;
}

PyTypeObject* ring_type() { return g_ring_type; }
const spsc::SPSCQueueVTable* ring_table() { return g_ring_table; }

bool bind_ring_type() {
    PyTypeObject* type = py::import_type("zelvar.spsc_queue.spsc_queue", "SPSCQueue", sizeof(SPSCQueueObject));
    if (!type) return false;
    auto* table = static_cast<const spsc::SPSCQueueVTable*>(py::get_vtable(type));
    if (!table) {
        Py_DECREF(type);
        return false;
    }
    Py_XSETREF(g_ring_type, type);
    g_ring_table = table;
    return true;
}

PyObject* make_ring(const RingArguments& a) {
    return PyObject_CallFunction(reinterpret_cast<PyObject*>(ring_type()), "KKOOO",
                                 static_cast<unsigned long long>(a.slot_size),
                                 static_cast<unsigned long long>(a.capacity), bool_of(a.overwrite), bool_of(a.zerocopy),
                                 bool_of(a.block_on_full));
}

}  // namespace zelvar::ferrix
