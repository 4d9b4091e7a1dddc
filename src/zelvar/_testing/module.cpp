// The zelvar._testing module: the functions of every part, bound at import.
#include "testing.hpp"

namespace {

int exec_module(PyObject* m) {
    return add_logging_functions(m) && add_coroutine_functions(m) && add_bridge_functions(m) ? 0 : -1;
}

PyModuleDef_Slot g_slots[] = {{Py_mod_exec, reinterpret_cast<void*>(exec_module)}, {0, nullptr}};

PyModuleDef g_def = {PyModuleDef_HEAD_INIT, "_testing", nullptr, 0, nullptr, g_slots, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__testing() { return PyModuleDef_Init(&g_def); }
