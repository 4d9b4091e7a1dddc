// The SPSCQueue extension type of zelvar.spsc_queue.spsc_queue, as native code sees it.
//
// A native user imports the module, takes the type's method table from the capsule stored under
// "__pyx_vtable__" in the type's dict (capsule name NULL) and calls the operations with the
// queue object first:
//
//     auto* q = reinterpret_cast<zelvar::spsc::SPSCQueueObject*>(obj);
//     if (q->vtab->try_push(q, data, size) > 0) { /* stored */ }
//
// Operations never need the interpreter lock: one producer thread and one consumer thread may
// call them at the same time, without the lock. Results are those of zelvar::spsc::Ring
// (ring.hpp): a push has stored its message when its result is above 0, a pop has obtained one
// when its result is exactly 1.
//
// The table's entries do not check who calls them: a second thread on the same side corrupts
// the ring. Only the Python-level methods refuse such a caller (RuntimeError), and only against
// each other; they cost one atomic exchange per call, which the native path does not pay.
#pragma once

#include <atomic>
#include <cstddef>
#include <type_traits>

#include <zelvar/_pyext/python.hpp>
#include <zelvar/spsc_queue/ring.hpp>

namespace zelvar::spsc {

struct SPSCQueueObject;

// The native method table, in slot order.
struct SPSCQueueVTable {
    int (*push)(SPSCQueueObject* self, const char* data, std::size_t size);           // 0
    int (*try_push)(SPSCQueueObject* self, const char* data, std::size_t size);       // 1
    int (*push_var)(SPSCQueueObject* self, const char* data, std::size_t size);       // 2
    int (*try_push_var)(SPSCQueueObject* self, const char* data, std::size_t size);   // 3
    int (*closed)(SPSCQueueObject* self);                                             // 4: 1 once closed
    int (*pop)(SPSCQueueObject* self, const char** data, std::size_t* size);          // 5
    void (*release)(SPSCQueueObject* self);                                           // 6
    int (*try_pop)(SPSCQueueObject* self, const char** data, std::size_t* size);      // 7
    int (*pop_var)(SPSCQueueObject* self, const char** data, std::size_t* size);      // 8
    int (*try_pop_var)(SPSCQueueObject* self, const char** data, std::size_t* size);  // 9
    void (*close)(SPSCQueueObject* self);                                             // 10
};

// Instance layout. The ring lives inside the object; `ready` is false only while a failed
// construction is being torn down. `py_pushing` / `py_popping` are set while a Python-level
// method is on that side; native code leaves them alone. They sit in the padding before the ring,
// so the size and every offset are those of the layout without them: a module compiled without the
// flags reads the same object.
struct SPSCQueueObject {
    PyObject_HEAD const SPSCQueueVTable* vtab;
    bool ready;
    bool py_pushing;
    bool py_popping;
    Ring ring;
};

// One side of the ring taken by a Python-level caller for the length of a call, by an atomic
// exchange on that side's flag (`py_pushing` / `py_popping`). Python-level methods release the
// interpreter lock while the ring works or waits, so without this a second Python thread could
// enter the same side and corrupt it; a caller finding the side taken gets RuntimeError `busy`.
// Acquire/release on the flag also hands the side's private state over between threads taking turns.
class Side {
  public:
    Side(bool& flag, const char* busy) : flag_(flag), entered_(!flag_.exchange(true, std::memory_order_acquire)) {
        if (!entered_) PyErr_SetString(PyExc_RuntimeError, busy);
    }
    ~Side() {
        if (entered_) flag_.store(false, std::memory_order_release);
    }
    Side(const Side&) = delete;
    Side& operator=(const Side&) = delete;
    explicit operator bool() const { return entered_; }

  private:
    std::atomic_ref<bool> flag_;
    bool entered_;
};

namespace detail {
struct SPSCQueueObjectBase {  // the layout without the flags
    PyObject_HEAD const SPSCQueueVTable* vtab;
    bool ready;
    Ring ring;
};
}  // namespace detail
static_assert(std::is_standard_layout_v<SPSCQueueObject>);
static_assert(sizeof(SPSCQueueObject) == sizeof(detail::SPSCQueueObjectBase));
static_assert(offsetof(SPSCQueueObject, ring) == offsetof(detail::SPSCQueueObjectBase, ring));

}  // namespace zelvar::spsc
