// CallbackSink: the record dict to a Python callable, on whichever thread writes the record.
#include "callback_sink.hpp"

#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/interpreter_lock.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "record_dict.hpp"

namespace zelvar::scrivo {
namespace {

std::atomic<std::uint64_t> g_skipped{0};

// Set while this thread runs a callback: what the callable logs skips every callback sink.
thread_local bool t_in_callback = false;

bool finalizing() {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing();
#else
    return _Py_IsFinalizing();
#endif
}

// Whether a thread without the lock may take it for `interpreter`: the GILState API serves the main
// interpreter only, and a finalizing interpreter ends a thread that takes its lock.
bool may_take_lock(PyInterpreterState* interpreter) {
    return Py_IsInitialized() && !finalizing() && interpreter == PyInterpreterState_Main();
}

PyObject* skipped_function(PyObject*, PyObject*) { return PyLong_FromUnsignedLongLong(callback_skipped()); }

}  // namespace

CallbackSink::CallbackSink(PyObject* callable)
    : callable_(Py_NewRef(callable)), interpreter_(PyInterpreterState_Get()) {}

CallbackSink::~CallbackSink() {
    if (py::holds_interpreter_lock()) {
        Py_DECREF(callable_);
    } else if (may_take_lock(interpreter_)) {
        const PyGILState_STATE state = PyGILState_Ensure();
        Py_DECREF(callable_);
        PyGILState_Release(state);
    }
    // Otherwise the reference is left: the interpreter is gone or going.
}

void CallbackSink::log(const spdlog::details::log_msg& msg) {
    if (t_in_callback) {
        g_skipped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (py::holds_interpreter_lock()) return call(msg);
    if (!may_take_lock(interpreter_)) {
        g_skipped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const PyGILState_STATE state = PyGILState_Ensure();
    call(msg);
    PyGILState_Release(state);
}

void CallbackSink::call(const spdlog::details::log_msg& msg) noexcept {
    // Python code may not run while an exception is set (a native caller's record, written in the
    // middle of its own failure): such a record is skipped.
    if (PyErr_Occurred()) {
        g_skipped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    t_in_callback = true;
    const RecordView view{{msg.logger_name.data(), msg.logger_name.size()},
                          msg.level,
                          {msg.payload.data(), msg.payload.size()},
                          msg.source.filename,
                          msg.source.line,
                          msg.source.funcname,
                          libscrivo::current_fields()};
    py::Ref record(make_record_dict(view));
    py::Ref held = py::Ref::borrow(callable_);
    py::Ref result(record ? PyObject_CallOneArg(held.get(), record.get()) : nullptr);
    if (!result) py::hand_to_unraisablehook("zelvar.scrivo.scrivo.CallbackHandler callable");
    t_in_callback = false;
}

std::uint64_t callback_skipped() noexcept { return g_skipped.load(std::memory_order_relaxed); }

bool add_callback_functions(PyObject* module) {
    static PyMethodDef defs[] = {
        {"callback_skipped", skipped_function, METH_NOARGS,
         "callback_skipped()\n--\n\nRecords CallbackHandler sinks did not hand to their callables: those logged "
         "from inside a callback (written to the other sinks only), and those written by a thread without the "
         "interpreter lock while the interpreter was finalizing."},
        {nullptr, nullptr, 0, nullptr},
    };
    return PyModule_AddFunctions(module, defs) == 0;
}

}  // namespace zelvar::scrivo
