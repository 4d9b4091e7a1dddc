// Fields from Python to libscrivo's encoded block: conversion, names, merging, the current
// log_context, and the bound logger's construction, binding and collector support.
#include "record_fields.hpp"

#include <cmath>
#include <new>

#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/types.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "loggers.hpp"

namespace zelvar::scrivo {
namespace {

using libscrivo::Field;
using libscrivo::FieldKind;

constexpr std::string_view kFixedKeys[] = {"time", "level", "logger", "message", "file", "line", "thread", "pid"};

bool check_name(PyObject* key, std::string_view& name) {
    if (!PyUnicode_Check(key)) {
        PyErr_Format(PyExc_TypeError, "field names must be str, not %.200s", Py_TYPE(key)->tp_name);
        return false;
    }
    if (!py::utf8_view(key, name)) return false;
    if (PyUnicode_IsIdentifier(key) != 1) {
        if (!PyErr_Occurred()) PyErr_Format(PyExc_ValueError, "field name %R is not an identifier", key);
        return false;
    }
    if (is_fixed_key(name)) {
        PyErr_Format(PyExc_ValueError, "field name %R is one of the fixed JSON keys", key);
        return false;
    }
    return true;
}

}  // namespace

PyObject* g_context_var = nullptr;  // held for the process

PyObject* watch_context(PyObject*, PyObject* var) {
    if (!PyContextVar_CheckExact(var)) {
        PyErr_Format(PyExc_TypeError, "expected a ContextVar, not %.200s", Py_TYPE(var)->tp_name);
        return nullptr;
    }
    if (var != g_context_var) Py_XSETREF(g_context_var, Py_NewRef(var));
    Py_RETURN_NONE;
}

bool is_fixed_key(std::string_view name) {
    for (const std::string_view key : kFixedKeys) {
        if (key == name) return true;
    }
    return false;
}

bool append_value(std::string& block, std::string_view key, PyObject* value, bool free_name) {
    std::string_view literal;
    if (value == Py_None) {
        literal = "null";
    } else if (value == Py_True) {
        literal = "true";
    } else if (value == Py_False) {
        literal = "false";
    }
    FieldKind kind = FieldKind::literal;
    py::Ref text;
    if (literal.empty()) {
        if (PyLong_Check(value)) {
            text.reset(PyLong_Type.tp_repr(value));  // the number, for an int subclass too
        } else if (PyFloat_Check(value) && std::isfinite(PyFloat_AS_DOUBLE(value))) {
            text.reset(PyFloat_Type.tp_repr(value));
        } else {
            kind = FieldKind::text;
            text.reset(PyUnicode_Check(value) ? Py_NewRef(value) : PyObject_Str(value));
        }
        if (!text || !py::utf8_view(text.get(), literal)) return false;
    }
    return py::guard([&] { return libscrivo::append_field(block, key, kind, literal, free_name), 0; }) == 0;
}

bool encode_fields(PyObject* kwargs, std::string& block) {
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
        std::string_view name;
        if (!check_name(key, name) || !append_value(block, name, value)) return false;
    }
    return true;
}

std::string merge_fields(std::string_view base, std::string_view over) {
    if (base.empty()) return std::string(over);
    std::string merged;
    merged.reserve(base.size() + over.size());
    libscrivo::for_each_field(base, [&](const Field& f) {
        bool replaced = false;
        libscrivo::for_each_field(over, [&](const Field& o) { replaced = replaced || o.key == f.key; });
        if (!replaced) libscrivo::append_field(merged, f.key, f.kind, f.value, f.free_name);
    });
    merged.append(over);
    return merged;
}

bool RecordFields::gather(std::string_view own) {
    block_ = own;
    if (!g_context_var) return true;
    PyObject* value = nullptr;
    if (PyContextVar_Get(g_context_var, nullptr, &value) < 0) return false;
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
// collector cleared) writes through the process default.
PyObject* make_bound(PyObject* owner, std::string_view base, PyObject* args, PyObject* kwargs) {
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
    bound->is_default = !owner || !PyObject_TypeCheck(owner, &LoggerType);
    if (py::guard([&] { return bound->fields = merge_fields(base, added), 0; }) < 0) return nullptr;
    return self.release();
}

}  // namespace

PyObject* bind_logger(PyObject* self, PyObject* args, PyObject* kwargs) { return make_bound(self, {}, args, kwargs); }

PyObject* bind_bound(PyObject* self, PyObject* args, PyObject* kwargs) {
    auto* bound = reinterpret_cast<BoundLoggerObject*>(self);
    return make_bound(bound->owner, bound->fields, args, kwargs);
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
