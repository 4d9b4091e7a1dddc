// The ring type of zelvar.spsc_queue, bound through its published layout and method table.
#include <zelvar/_pyext/types.hpp>

#include <zelvar/_pyext/ref.hpp>

#include "module_state.hpp"
#include "ring_arguments.hpp"

namespace zelvar::ferrix {
namespace {

PyObject* bool_of(int flag) { return flag ? Py_True : Py_False; }

PyTypeObject* g_ring_type = nullptr;
const spsc::SPSCQueueVTable* g_ring_table = nullptr;

}  // namespace

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
