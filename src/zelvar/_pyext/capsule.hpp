// Native functions a module publishes for other native modules: capsules in the module's
// `__pyx_capi__` dict, each named by the function's C signature so that an importer built against
// another signature is refused. Both directions are here; the import side is what an outside
// module uses (it needs only this header and the interpreter's).
#pragma once

#include "python.hpp"

namespace zelvar::py {

inline constexpr const char* kCapiKey = "__pyx_capi__";

// Publishing: `function` under `key` in the module's table `capi`, its capsule named `signature`.
inline bool export_function(PyObject* capi, const char* key, void* function, const char* signature) {
    PyObject* capsule = PyCapsule_New(function, signature, nullptr);
    if (!capsule) return false;
    const int rc = PyDict_SetItemString(capi, key, capsule);
    Py_DECREF(capsule);
    return rc == 0;
}

// The published table of `module_name` (imported if needed): a new reference, or null with the
// error set. Needs the interpreter lock.
inline PyObject* import_capi(const char* module_name) {
    PyObject* module = PyImport_ImportModule(module_name);
    if (!module) return nullptr;
    PyObject* table = PyObject_GetAttrString(module, kCapiKey);
    Py_DECREF(module);
    return table;
}

// `key` from a table of `module_name`, checked against `signature`: the function, or null with
// ImportError (not exported) or the capsule's own ValueError (another signature) set.
inline void* take_function(PyObject* capi, const char* module_name, const char* key, const char* signature) {
    PyObject* capsule = PyDict_GetItemString(capi, key);
    if (!capsule) {
        PyErr_Format(PyExc_ImportError, "%s does not export the native function %s", module_name, key);
        return nullptr;
    }
    return PyCapsule_GetPointer(capsule, signature);
}

// The two steps for a single function.
inline void* import_function(const char* module_name, const char* key, const char* signature) {
    PyObject* capi = import_capi(module_name);
    if (!capi) return nullptr;
    void* function = take_function(capi, module_name, key, signature);
    Py_DECREF(capi);
    return function;
}

}  // namespace zelvar::py
