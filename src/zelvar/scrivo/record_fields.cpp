// Fields from Python to libscrivo's encoded block: conversion, names, merging; a record's exception.
#include "record_fields.hpp"

#include <charconv>
#include <cmath>

#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

namespace zelvar::scrivo {
namespace {

using libscrivo::Field;
using libscrivo::FieldKind;

constexpr std::string_view kFixedKeys[] = {"time", "level",  "logger", "message",   "file",
                                           "line", "thread", "pid",    "exception", "stack_info"};

// Containers nested deeper than this are written as their str(): a bound on the work and on the
// native stack a value can demand.
constexpr int kMaxJsonDepth = 8;

std::string_view non_finite_name(double value) {
    return std::isnan(value) ? "NaN" : value > 0 ? "Infinity" : "-Infinity";
}

// The JSON text of a list, tuple or dict value.
class JsonText {
  public:
    // False with an exception.
    bool write(PyObject* value, int depth = 1) {
        std::string_view literal;
        py::Ref text;
        if (value == Py_None) return put("null"), true;
        if (value == Py_True) return put("true"), true;
        if (value == Py_False) return put("false"), true;
        if (PyLong_Check(value)) {
            text.reset(PyLong_Type.tp_repr(value));
            return text && py::utf8_view(text.get(), literal) && (put(literal), true);
        }
        if (PyFloat_Check(value)) {
            if (!std::isfinite(PyFloat_AS_DOUBLE(value))) return put_string(non_finite_name(PyFloat_AS_DOUBLE(value)));
            text.reset(PyFloat_Type.tp_repr(value));
            return text && py::utf8_view(text.get(), literal) && (put(literal), true);
        }
        const bool sequence = PyList_Check(value) || PyTuple_Check(value);
        if ((sequence || PyDict_Check(value)) && depth <= kMaxJsonDepth && !on_path(value)) {
            path_[depth - 1] = value;
            return sequence ? write_sequence(value, depth) : write_dict(value, depth);
        }
        return write_str(value);
    }

    std::string_view view() const { return {out_.data(), out_.size()}; }

  private:
    void put(std::string_view s) { out_.append(s.data(), s.data() + s.size()); }

    bool put_string(std::string_view s) {
        libscrivo::JsonFormatter::append_string(s, out_);
        return true;
    }

    bool write_str(PyObject* value) {
        py::Ref text(PyUnicode_Check(value) ? Py_NewRef(value) : PyObject_Str(value));
        std::string_view view;
        return text && py::utf8_view(text.get(), view) && put_string(view);
    }

    bool on_path(PyObject* value) const {
        for (int i = 0; i < depth_; ++i) {
            if (path_[i] == value) return true;
        }
        return false;
    }

    // Items are held while written: an element's __str__ may change the container.
    bool write_sequence(PyObject* value, int depth) {
        const Depth in(*this, depth);
        out_.push_back('[');
        const bool list = PyList_Check(value);
        for (Py_ssize_t i = 0; i < (list ? PyList_GET_SIZE(value) : PyTuple_GET_SIZE(value)); ++i) {
            if (i) out_.push_back(',');
            py::Ref item = py::Ref::borrow(list ? PyList_GET_ITEM(value, i) : PyTuple_GET_ITEM(value, i));
            if (!write(item.get(), depth + 1)) return false;
        }
        out_.push_back(']');
        return true;
    }

    bool write_dict(PyObject* value, int depth) {
        const Depth in(*this, depth);
        py::Ref items(PyDict_Items(value));  // a copy, for the same reason
        if (!items) return false;
        out_.push_back('{');
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
            if (i) out_.push_back(',');
            PyObject* item = PyList_GET_ITEM(items.get(), i);
            if (!write_str(PyTuple_GET_ITEM(item, 0))) return false;
            out_.push_back(':');
            if (!write(PyTuple_GET_ITEM(item, 1), depth + 1)) return false;
        }
        out_.push_back('}');
        return true;
    }

    // The containers being written, outermost first.
    struct Depth {
        Depth(JsonText& t, int depth) : t(t), saved(t.depth_) { t.depth_ = depth; }
        ~Depth() { t.depth_ = saved; }
        JsonText& t;
        int saved;
    };

    spdlog::memory_buf_t out_;
    PyObject* path_[kMaxJsonDepth] = {};
    int depth_ = 0;
};

// str.isidentifier(), without the Unicode tables for an ASCII name (what nearly every field name is).
bool is_identifier(PyObject* key, std::string_view name) {
    if (!PyUnicode_IS_ASCII(key)) return PyUnicode_IsIdentifier(key) == 1;
    const auto word = [](char c, bool first) {
        return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (!first && c >= '0' && c <= '9');
    };
    if (name.empty() || !word(name[0], true)) return false;
    for (const char c : name.substr(1)) {
        if (!word(c, false)) return false;
    }
    return true;
}

}  // namespace

bool check_name(PyObject* key, std::string_view& name) {
    if (!PyUnicode_Check(key)) {
        PyErr_Format(PyExc_TypeError, "field names must be str, not %.200s", Py_TYPE(key)->tp_name);
        return false;
    }
    if (!py::utf8_view(key, name)) return false;
    if (!is_identifier(key, name)) {
        if (!PyErr_Occurred()) PyErr_Format(PyExc_ValueError, "field name %R is not an identifier", key);
        return false;
    }
    if (is_fixed_key(name)) {
        PyErr_Format(PyExc_ValueError, "field name %R is one of the fixed JSON keys", key);
        return false;
    }
    return true;
}

bool is_fixed_key(std::string_view name) {
    for (const std::string_view key : kFixedKeys) {
        if (key == name) return true;
    }
    return false;
}

bool append_value(std::string& block, std::string_view key, PyObject* value, bool free_name) {
    std::string_view literal;
    FieldKind kind = FieldKind::literal;
    py::Ref text;
    if (value == Py_None) {
        literal = "null";
    } else if (value == Py_True) {
        literal = "true";
    } else if (value == Py_False) {
        literal = "false";
    } else if (PyLong_Check(value)) {
        // The number, for an int subclass too; one that fits 64 bits without a str object.
        int overflow = 0;
        const long long n = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (overflow == 0 && !(n == -1 && PyErr_Occurred())) {
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
            return py::guard([&] {
                       return libscrivo::append_field(block, key, kind,
                                                      {digits, static_cast<std::size_t>(end - digits)}, free_name),
                              0;
                   }) == 0;
        }
        text.reset(PyLong_Type.tp_repr(value));
    } else if (PyFloat_Check(value)) {
        if (std::isfinite(PyFloat_AS_DOUBLE(value))) {
            text.reset(PyFloat_Type.tp_repr(value));
        } else {
            kind = FieldKind::text;  // JSON has no literal for them
            literal = non_finite_name(PyFloat_AS_DOUBLE(value));
        }
    } else if (PyList_Check(value) || PyTuple_Check(value) || PyDict_Check(value)) {
        return py::guard([&] {
                   JsonText json;
                   if (!json.write(value)) return -1;
                   libscrivo::append_field(block, key, FieldKind::json, json.view(), free_name);
                   return 0;
               }) == 0;
    } else {
        kind = FieldKind::text;
        text.reset(PyUnicode_Check(value) ? Py_NewRef(value) : PyObject_Str(value));
    }
    if (literal.empty() && (!text || !py::utf8_view(text.get(), literal))) return false;
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

namespace {

void append_json_string(std::string& out, std::string_view text) {
    spdlog::memory_buf_t buf;
    libscrivo::JsonFormatter::append_string(text, buf);
    out.append(buf.data(), buf.size());
}

// module.QualName of an exception's type; a builtin's by its name alone.
py::Ref type_name(PyObject* type) {
    py::Ref module(PyObject_GetAttrString(type, "__module__"));
    py::Ref qualname(module ? PyObject_GetAttrString(type, "__qualname__") : nullptr);
    if (!qualname || !PyUnicode_Check(qualname.get())) {
        PyErr_Clear();
        return py::Ref(PyUnicode_FromString(reinterpret_cast<PyTypeObject*>(type)->tp_name));
    }
    if (!PyUnicode_Check(module.get()) || PyUnicode_CompareWithASCIIString(module.get(), "builtins") == 0)
        return qualname;
    return py::Ref(PyUnicode_FromFormat("%U.%U", module.get(), qualname.get()));
}

}  // namespace

bool exception_info(PyObject* exc_info, py::Ref& info) {
    if (PyExceptionInstance_Check(exc_info)) {
        PyObject* tb = PyException_GetTraceback(exc_info);  // new reference, or null
        info.reset(Py_BuildValue("(OON)", Py_TYPE(exc_info), exc_info, tb ? tb : Py_NewRef(Py_None)));
        return static_cast<bool>(info);
    }
    if (PyTuple_Check(exc_info)) {
        info.reset(Py_NewRef(exc_info));
        return true;
    }
    const int wanted = py::truth(exc_info);
    if (wanted <= 0) return wanted == 0;
    PyObject *type, *value, *tb;
    PyErr_GetExcInfo(&type, &value, &tb);
    if (value && value != Py_None) info.reset(Py_BuildValue("(OOO)", type, value, tb ? tb : Py_None));
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(tb);
    return !PyErr_Occurred();
}

bool append_exception_members(std::string& members, PyObject* info, std::string_view traceback) {
    PyObject* value = PyTuple_GET_SIZE(info) >= 2 ? PyTuple_GET_ITEM(info, 1) : Py_None;
    PyObject* type = PyTuple_GET_SIZE(info) >= 1 && PyType_Check(PyTuple_GET_ITEM(info, 0)) && value == Py_None
                         ? PyTuple_GET_ITEM(info, 0)
                         : reinterpret_cast<PyObject*>(Py_TYPE(value));
    py::Ref name(type_name(type));
    std::string_view name_text, message_text = "<exception str() failed>";
    if (!name || !py::utf8_view(name.get(), name_text)) return false;
    py::Ref message(PyObject_Str(value));
    if (!message || !py::utf8_view(message.get(), message_text)) {
        PyErr_Clear();
        message_text = "<exception str() failed>";
    }
    return py::guard([&] {
               members += "\"exception\":{\"type\":";
               append_json_string(members, name_text);
               members += ",\"message\":";
               append_json_string(members, message_text);
               members += ",\"traceback\":";
               append_json_string(members, traceback);
               members += '}';
               return 0;
           }) == 0;
}

}  // namespace zelvar::scrivo
