// zelvar.utils.halyard.halyard: importable, defines nothing but an empty `__test__`. It lists
// libscrivo.so.0 as needed (the build links it without calling into it).
#include <zelvar/_pyext/module.hpp>
#include <zelvar/_pyext/ref.hpp>

namespace {

zelvar::py::ModuleOnce g_once{"halyard", "zelvar.utils.halyard.halyard"};

bool fill(PyObject* m) {
    zelvar::py::Ref test(PyDict_New());
    return test && PyModule_AddObjectRef(m, "__test__", test.get()) == 0;
}

}  // namespace

PyMODINIT_FUNC PyInit_halyard() { return zelvar::py::Module<g_once, fill>::init(); }
