// Multi-phase initialisation shared by every zelvar module: one interpreter per process, one
// module object per process, one execution, and the build-time version check.
#pragma once

#include <cstdint>
#include <cstdio>

#include "python.hpp"
#include "ref.hpp"

namespace zelvar::py {

// Per-module record of what has happened in this process. The module object is kept alive for
// the life of the process: the module owns static types and native state that cannot be
// rebuilt.
struct ModuleOnce {
    const char* short_name;  // "scrivo"
    const char* full_name;   // "zelvar.scrivo.scrivo"
    int64_t interpreter_id = -1;
    PyObject* module = nullptr;
    PyObject* executed_for = nullptr;
    void* state = nullptr;  // the module object's state block as of the last execution
};

// A global of `module` as bound now (borrowed), or null with NameError, as the module's own Python
// code would see it: a rebinding (a user's replacement, a test's patch) is honoured.
inline PyObject* module_global(PyObject* module, const char* name) {
    PyObject* value = PyDict_GetItemString(PyModule_GetDict(module), name);
    if (!value) PyErr_Format(PyExc_NameError, "name '%s' is not defined", name);
    return value;
}

namespace detail {

inline bool copy_spec_attribute(PyObject* module_spec, PyObject* module, const char* from, const char* to,
                                bool allow_none) {
    Ref value(PyObject_GetAttrString(module_spec, from));
    if (!value) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        return true;
    }
    if (value.get() == Py_None && !allow_none) return true;
    return PyObject_SetAttrString(module, to, value.get()) == 0;
}

}  // namespace detail

// The Py_mod_create slot.
inline PyObject* create_module(PyObject* module_spec, ModuleOnce& once) {
    const int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) return nullptr;
    if (once.interpreter_id == -1) {
        once.interpreter_id = id;
    } else if (once.interpreter_id != id) {
        PyErr_SetString(PyExc_ImportError,
                        "Interpreter change detected - this module can only be loaded into one interpreter per "
                        "process.");
        return nullptr;
    }
    if (once.module) return Py_NewRef(once.module);
    Ref name(PyObject_GetAttrString(module_spec, "name"));
    if (!name) return nullptr;
    Ref module(PyModule_NewObject(name.get()));
    if (!module) return nullptr;
    if (!detail::copy_spec_attribute(module_spec, module.get(), "loader", "__loader__", true) ||
        !detail::copy_spec_attribute(module_spec, module.get(), "origin", "__file__", true) ||
        !detail::copy_spec_attribute(module_spec, module.get(), "parent", "__package__", true) ||
        !detail::copy_spec_attribute(module_spec, module.get(), "submodule_search_locations", "__path__", false)) {
        return nullptr;
    }
    once.module = module.new_ref();
    return module.release();
}

// The runtime version as (major, minor), read from the version text.
inline void runtime_version(int& major, int& minor) {
    major = minor = 0;
    std::sscanf(Py_GetVersion(), "%d.%d", &major, &minor);
}

// When Py_mod_create hands back the existing module object, the interpreter resets the object's
// state pointer and the execution that follows allocates a new block (m_size 0: one byte, never
// used). Nothing refers to the old block any more: free it, or every re-import leaks one.
inline void adopt_state(PyObject* module, ModuleOnce& once) {
    void* state = PyModule_GetState(module);
    if (once.state && once.state != state) PyMem_Free(once.state);
    once.state = state;
}

// Start of the Py_mod_exec slot: 1 = run the body, 0 = already done for this module, -1 = error.
inline int begin_exec(PyObject* module, ModuleOnce& once) {
    if (module == once.module) adopt_state(module, once);
    if (once.executed_for) {
        if (once.executed_for == module) return 0;
        PyErr_Format(PyExc_RuntimeError, "Module '%s' has already been imported. Re-initialisation is not supported.",
                     once.short_name);
        return -1;
    }
    int major, minor;
    runtime_version(major, minor);
    if ((major != PY_MAJOR_VERSION || minor != PY_MINOR_VERSION) &&
        PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                         "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                         PY_MAJOR_VERSION, PY_MINOR_VERSION, once.full_name, "does not match", major, minor) < 0) {
        return -1;
    }
    once.executed_for = module;
    return 1;
}

// A failed body leaves the module executable again, so the import can be retried.
inline void exec_failed(ModuleOnce& once) { once.executed_for = nullptr; }

// The module definition of a zelvar module: `Body` fills the namespace once per process.
//     PyMODINIT_FUNC PyInit_halyard() { return py::Module<g_once, fill>::init(); }
template <ModuleOnce& Once, bool (*Body)(PyObject*)>
struct Module {
    static PyObject* create(PyObject* module_spec, PyModuleDef*) { return create_module(module_spec, Once); }
    static int exec(PyObject* m) {
        const int begin = begin_exec(m, Once);
        if (begin <= 0) return begin;
        if (!Body(m)) {
            exec_failed(Once);
            return -1;
        }
        return 0;
    }
    static inline PyModuleDef_Slot slots[] = {
        {Py_mod_create, reinterpret_cast<void*>(create)},
        {Py_mod_exec, reinterpret_cast<void*>(exec)},
        {0, nullptr},
    };
    static inline PyModuleDef def = {
        PyModuleDef_HEAD_INIT, Once.short_name, nullptr, 0, nullptr, slots, nullptr, nullptr, nullptr,
    };
    static PyObject* init() { return PyModuleDef_Init(&def); }
};

}  // namespace zelvar::py
