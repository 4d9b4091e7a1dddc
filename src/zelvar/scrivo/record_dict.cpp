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

// A record dict's start: a copy of the module's shape, which holds every key (None each): one
// allocation of the final size where inserting the keys one by one would grow the table on the way.
PyObject* new_record() { return PyDict_Copy(state().record_keys.shape); }

// The Level member of `level`, through the module's `Level` as bound now; the members of the class
// last seen are kept (an enum's attribute lookup runs Python code).
PyObject* level_member(int32_t level) {
    static PyObject* seen_class = nullptr;  // strong references, replaced when `Level` is rebound
    static PyObject* members[7] = {};
    PyObject* level_class = PyDict_GetItemWithError(PyModule_GetDict(module()), state().names.level_class);
    if (level < 0 || level > 6 || !level_class || level_class != seen_class) {
        if (PyErr_Occurred()) return nullptr;
        PyObject* member = level_to_python(level);
        if (!member || level < 0 || level > 6 || !level_class) return member;
        Py_XSETREF(seen_class, Py_NewRef(level_class));
        for (PyObject*& m : members) Py_CLEAR(m);
        members[level] = member;
        return Py_NewRef(member);
    }
    if (!members[level]) members[level] = level_to_python(level);
    return Py_XNewRef(members[level]);
}

// The last component a caller's file name had, by the str it came from: a record's file repeats.
PyObject* file_name(const RecordView& r) {
    static PyObject* holder = nullptr;  // strong: the pointer into it stays valid while it is held
    static const char* at = nullptr;
    static PyObject* value = nullptr;
    if (r.file_text && r.file_text == holder && r.file == at) return Py_NewRef(value);
    PyObject* made = PyUnicode_DecodeFSDefault(r.file ? r.file : "<unknown>");
    if (made && r.file_text) {
        Py_XSETREF(holder, Py_NewRef(r.file_text));
        Py_XSETREF(value, Py_NewRef(made));
        at = r.file;
    }
    return made;
}

PyObject* function_name(const RecordView& r) {
    if (r.function_text && PyUnicode_Check(r.function_text) && r.function == PyUnicode_AsUTF8(r.function_text))
        return Py_NewRef(r.function_text);
    PyErr_Clear();
    return text(r.function ? r.function : "<module>");
}

// The logger's name: the last one made is kept.
PyObject* logger_name(std::string_view name) {
    static std::string last;
    static PyObject* value = nullptr;
    if (value && name == last) return Py_NewRef(value);
    PyObject* made = text(name);
    if (made && py::guard([&] { return last.assign(name), 0; }) == 0) {
        Py_XSETREF(value, Py_NewRef(made));
    } else {
        Py_CLEAR(value);
        PyErr_Clear();
    }
    return made;
}

bool set(PyObject* dict, PyObject* key, PyObject* value) {
    py::Ref held(value);
    return held && PyDict_SetItem(dict, key, held.get()) == 0;
}

}  // namespace

PyObject* make_record_dict(const RecordView& r) {
    libscrivo::RecordException exception;
    const bool has_exception = libscrivo::find_exception(r.block, exception);
    std::string_view message = r.payload;
    if (has_exception && exception.message_size <= message.size()) message = message.substr(0, exception.message_size);
    py::Ref dict(new_record());
    if (!dict) return nullptr;
    PyObject* d = dict.get();
    const RecordKeys& k = state().record_keys;
    const bool ok = set(d, k.logger, logger_name(r.logger)) &&
                    set(d, k.level, level_member(static_cast<int32_t>(r.level))) && set(d, k.message, text(message)) &&
                    set(d, k.file, file_name(r)) && set(d, k.line, PyLong_FromLong(r.line)) &&
                    set(d, k.function, function_name(r)) &&
                    set(d, k.fields, r.block.empty() ? PyDict_New() : fields_dict(r.block)) &&
                    (!has_exception || set(d, k.exception, exception_dict(exception.members)));
    return ok ? dict.release() : nullptr;
}

}  // namespace zelvar::scrivo
