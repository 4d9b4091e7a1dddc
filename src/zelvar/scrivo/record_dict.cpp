// The record dict: a record's fixed parts, its fields decoded from the encoded block (text as str,
// literals and JSON as the values they spell) and its exception as the JSON handlers write it.
#include "record_dict.hpp"

#include <string>

#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "module_state.hpp"

namespace zelvar::scrivo {
namespace {

using libscrivo::Field;
using libscrivo::FieldKind;

PyObject* text(std::string_view s) {
    return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace");
}

// json.loads(text); the module is imported once, on the first record that needs it.
PyObject* json_value(std::string_view s) {
    static PyObject* loads = nullptr;  // held for the process
    if (!loads) {
        py::Ref json(PyImport_ImportModule("json"));
        loads = json ? PyObject_GetAttrString(json.get(), "loads") : nullptr;
        if (!loads) return nullptr;
    }
    py::Ref arg(text(s));
    return arg ? PyObject_CallOneArg(loads, arg.get()) : nullptr;
}

// A literal without the json module for what nearly every one is: null, true, false, an integer.
PyObject* literal_value(std::string_view s) {
    if (s == "null") Py_RETURN_NONE;
    if (s == "true") Py_RETURN_TRUE;
    if (s == "false") Py_RETURN_FALSE;
    bool integer = !s.empty() && s.size() < 40;
    for (std::size_t i = 0; integer && i < s.size(); ++i)
        integer = (s[i] >= '0' && s[i] <= '9') || (i == 0 && s[i] == '-' && s.size() > 1);
    if (!integer) return json_value(s);
    char digits[41];
    s.copy(digits, s.size());
    digits[s.size()] = '\0';
    return PyLong_FromString(digits, nullptr, 10);
}

PyObject* field_value(const Field& f) {
    switch (f.kind) {
        case FieldKind::text:
            return text(f.value);
        case FieldKind::literal:
            return literal_value(f.value);
        default:
            return json_value(f.value);
    }
}

PyObject* fields_dict(std::string_view block) {
    py::Ref dict(PyDict_New());
    if (!dict) return nullptr;
    bool ok = true;
    libscrivo::for_each_field(block, [&](const Field& f) {
        if (!ok) return;
        py::Ref key(text(f.key));
        py::Ref value(key ? field_value(f) : nullptr);
        ok = value && PyDict_SetItem(dict.get(), key.get(), value.get()) == 0;
    });
    return ok ? dict.release() : nullptr;
}

// The "exception" member of `members` (`"exception":{...}`, maybe with `"stack_info":...`), or None.
PyObject* exception_dict(std::string_view members) {
    std::string text;
    if (py::guard([&] { return text.append(1, '{').append(members).append(1, '}'), 0; }) < 0) return nullptr;
    py::Ref object(json_value(text));
    if (!object) return nullptr;
    PyObject* exception = PyDict_Check(object.get()) ? PyDict_GetItemString(object.get(), "exception") : nullptr;
    return Py_NewRef(exception ? exception : Py_None);
}

bool set(PyObject* dict, const char* key, PyObject* value) {
    py::Ref held(value);
    return held && PyDict_SetItemString(dict, key, held.get()) == 0;
}

}  // namespace

PyObject* make_record_dict(const RecordView& r) {
    libscrivo::RecordException exception;
    const bool has_exception = libscrivo::find_exception(r.block, exception);
    std::string_view message = r.payload;
    if (has_exception && exception.message_size <= message.size()) message = message.substr(0, exception.message_size);
    py::Ref dict(PyDict_New());
    if (!dict) return nullptr;
    PyObject* d = dict.get();
    const bool ok =
        set(d, "logger", text(r.logger)) && set(d, "level", level_to_python(static_cast<int32_t>(r.level))) &&
        set(d, "message", text(message)) && set(d, "file", PyUnicode_DecodeFSDefault(r.file ? r.file : "<unknown>")) &&
        set(d, "line", PyLong_FromLong(r.line)) &&
        set(d, "function", text(r.function ? r.function : "<module>")) && set(d, "fields", fields_dict(r.block)) &&
        set(d, "exception", has_exception ? exception_dict(exception.members) : Py_NewRef(Py_None));
    return ok ? dict.release() : nullptr;
}

}  // namespace zelvar::scrivo
