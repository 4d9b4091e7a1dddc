// BoundLogger's construction, binding and collector support, and the fields a record gathers from the
// current log_context.
#include "bound_logger.hpp"

#include <new>

#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/types.hpp>

#include "record_fields.hpp"

namespace zelvar::scrivo {

PyObject* watch_context(PyObject*, PyObject* var) {
    if (!PyContextVar_CheckExact(var)) {
        PyErr_Format(PyExc_TypeError, "expected a ContextVar, not %.200s", Py_TYPE(var)->tp_name);
        return nullptr;
    }
    set_context_var(var);
    Py_RETURN_NONE;
}

bool RecordFields::gather(std::string_view own) {
    block_ = own;
    PyObject* const var = state().context_var;
    if (!var) return true;
    PyObject* value = nullptr;
    if (PyContextVar_Get(var, nullptr, &value) < 0) return false;
    if (!value) return true;
    context_.reset(value);
    if (Py_TYPE(value) != &BoundLoggerType) return true;
    const std::string_view context = reinterpret_cast<BoundLoggerObject*>(value)->fields;
    if (own.empty()) {
        block_ = context;
        return true;
    }
    return py::guard([&] { return merged_ = merge_fields(context, own), block_ = merged_, 0; }) == 0;
}

namespace {

// owner.bind(**kwargs) with `base` the fields bound already; a null `owner` (a bound logger the
// collector cleared) writes through the process default, as a DefaultLogger owner (`is_default`) does.
PyObject* make_bound(PyObject* owner, bool is_default, std::string_view base, PyObject* args, PyObject* kwargs) {
    if (args && PyTuple_GET_SIZE(args) != 0) {
        PyErr_SetString(PyExc_TypeError, "bind() takes only keyword arguments");
        return nullptr;
    }
    std::string added;
    if (kwargs && !encode_fields(kwargs, added)) return nullptr;
    py::Ref self(BoundLoggerType.tp_alloc(&BoundLoggerType, 0));
    if (!self) return nullptr;
    auto* bound = reinterpret_cast<BoundLoggerObject*>(self.get());
    new (&bound->fields) std::string();
    bound->owner = Py_XNewRef(owner);
    bound->is_default = !owner || is_default;
    if (py::guard([&] { return bound->fields = merge_fields(base, added), 0; }) < 0) return nullptr;
    return self.release();
}

}  // namespace

PyObject* bind_logger(PyObject* self, PyObject* args, PyObject* kwargs) {
    return make_bound(self, false, {}, args, kwargs);
}

PyObject* bind_default_logger(PyObject* self, PyObject* args, PyObject* kwargs) {
    return make_bound(self, true, {}, args, kwargs);
}

PyObject* bind_bound(PyObject* self, PyObject* args, PyObject* kwargs) {
    auto* bound = reinterpret_cast<BoundLoggerObject*>(self);
    return make_bound(bound->owner, bound->is_default, bound->fields, args, kwargs);
}

int bound_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(reinterpret_cast<BoundLoggerObject*>(self)->owner);
    return 0;
}

int bound_clear(PyObject* self) {
    auto* bound = reinterpret_cast<BoundLoggerObject*>(self);
    bound->is_default = true;  // before the owner goes: no call reads a freed logger
    Py_CLEAR(bound->owner);
    return 0;
}

void bound_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    bound_clear(self);
    reinterpret_cast<BoundLoggerObject*>(self)->fields.~basic_string();
    py::free_object(self);
}

}  // namespace zelvar::scrivo
