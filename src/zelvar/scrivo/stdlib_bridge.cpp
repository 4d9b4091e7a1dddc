// PyLogHandler turns each record of the standard logging package into a native message on the
// process default logger; redirect_pylog makes it the root logger's only handler.
#include "stdlib_bridge.hpp"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/function.hpp>
#include <zelvar/_pyext/module.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>
#include <zelvar/scrivo/scrivo.hpp>

#include "bound_logger.hpp"
#include "emission.hpp"
#include "loggers.hpp"
#include "module_state.hpp"
#include "record_fields.hpp"
#include "record_hooks.hpp"
#include "stacklevel.hpp"

namespace zelvar::scrivo {
namespace {

constexpr const char* kStdLevels[] = {"DEBUG", "INFO", "WARN", "ERROR", "CRITICAL"};

// Self (args[0]) with the arguments after it bound to `v`, or null with an exception set: the
// handler's methods are plain functions, so the instance may be missing.
template <class Params>
PyObject* bind_method(const Params& params, const char* method, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames, typename Params::Values& v) {
    if (nargs < 1) {
        PyErr_Format(PyExc_TypeError, "%s() needs an instance", method);
        return nullptr;
    }
    return params.bind(args + 1, nargs - 1, kwnames, v) ? args[0] : nullptr;
}

PyObject* init_body(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void*) {
    static const auto params = py::params("__init__", {"level"}, 1);
    decltype(params)::Values v;
    PyObject* self = bind_method(params, "__init__", args, nargs, kwnames, v);
    int32_t level;
    if (!self || !py::to_level(v[0], level)) return nullptr;
    py::Ref super(PyObject_CallFunctionObjArgs(reinterpret_cast<PyObject*>(&PySuper_Type), state().py_log_handler, self,
                                               nullptr));
    py::Ref done(super ? PyObject_CallMethod(super.get(), "__init__", "i", level) : nullptr);
    if (!done) return nullptr;
    for (int i = 0; i < 5; ++i) {
        PyObject* logging = global("py_logging");
        py::Ref value(logging ? PyObject_GetAttrString(logging, kStdLevels[i]) : nullptr);
        if (!value || PyObject_SetAttr(self, state().names.thresholds[i], value.get()) < 0) return nullptr;
    }
    Py_RETURN_NONE;
}

// Native level of a record level: the first threshold (critical downwards) that it reaches. The
// thresholds are read on every record (code may change them per instance); an int one is compared
// as a native number, anything else by Python's >= against the level as an int.
int map_level(PyObject* self, int32_t levelno, int32_t& out) {
    py::Ref number;
    for (int i = 4; i >= 0; --i) {
        py::Ref threshold(PyObject_GetAttr(self, state().names.thresholds[i]));
        if (!threshold) return -1;
        int reached;
        if (PyLong_CheckExact(threshold.get())) {
            int overflow = 0;
            const long value = PyLong_AsLongAndOverflow(threshold.get(), &overflow);
            if (value == -1 && PyErr_Occurred()) return -1;
            reached = overflow ? overflow < 0 : levelno >= value;
        } else {
            if (!number) number.reset(PyLong_FromLong(levelno));
            reached = number ? PyObject_RichCompareBool(number.get(), threshold.get(), Py_GE) : -1;
        }
        if (reached < 0) return -1;
        if (reached) {
            out = i + 1;
            return 0;
        }
    }
    out = 0;
    return 0;
}

// message + "\n" + text, as a new bytes object.
bool append_line(py::Ref& message, PyObject* text) {
    std::string_view view;
    if (!py::utf8_view(text, view)) return false;
    if (message.get() == Py_None) return true;  // reported as the None message below
    py::Ref tail(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(view.size() + 1)));
    if (!tail) return false;
    PyBytes_AS_STRING(tail.get())[0] = '\n';
    std::memcpy(PyBytes_AS_STRING(tail.get()) + 1, view.data(), view.size());
    PyObject* joined = message.release();
    PyBytes_ConcatAndDel(&joined, tail.release());
    message.reset(joined);
    return static_cast<bool>(message);
}

// The record's exception after its message in the text, and as `members` for JSON.
bool append_exception(py::Ref& message, PyObject* exc_info, std::string& members) {
    py::Ref info(PySequence_Tuple(exc_info));
    py::Ref text(info ? format_exception(info.get()) : nullptr);
    std::string_view traceback;
    return text && append_line(message, text.get()) && py::utf8_view(text.get(), traceback) &&
           append_exception_members(members, info.get(), traceback);
}

bool append_stack(py::Ref& message, PyObject* stack_info, std::string& members) {
    py::Ref text(PyUnicode_CheckExact(stack_info) ? Py_NewRef(stack_info) : PyObject_Str(stack_info));
    std::string_view stack;
    if (!text || !append_line(message, text.get()) || !py::utf8_view(text.get(), stack)) return false;
    return py::guard([&] {
               spdlog::memory_buf_t json;
               libscrivo::JsonFormatter::append_string(stack, json);
               if (!members.empty()) members += ',';
               members.append("\"stack_info\":").append(json.data(), json.size());
               return 0;
           }) == 0;
}

// A record whose output could not be written goes to the handler's handleError, as the standard
// handlers do from `except Exception:`: the sink's error is the exception being handled meanwhile,
// so the standard report shows it. False with an exception when handleError itself raises.
bool handle_error(PyObject* self, PyObject* record, const SinkFailure& failure) {
    set_sink_error(failure);
    py::add_traceback("zelvar.scrivo.scrivo.PyLogHandler.emit", kSourceFile);
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    if (tb && value) PyException_SetTraceback(value, tb);
    PyObject *saved_type, *saved_value, *saved_tb;
    PyErr_GetExcInfo(&saved_type, &saved_value, &saved_tb);
    PyErr_SetExcInfo(type, value, tb);  // steals
    py::Ref handled(PyObject_CallMethod(self, "handleError", "O", record));
    PyErr_SetExcInfo(saved_type, saved_value, saved_tb);
    return static_cast<bool>(handled);
}

// The native logger a handler writes to: the process default's, or for a subclass instance whose
// `_zelvar_logger` is a Logger, that logger's (the takeover's own handler skips the lookup).
bool handler_target(PyObject* self, std::shared_ptr<spdlog::logger>& out) {
    if (Py_TYPE(self) != reinterpret_cast<PyTypeObject*>(state().py_log_handler)) {
        PyObject* routed = nullptr;
#if PY_VERSION_HEX >= 0x030D0000
        if (PyObject_GetOptionalAttr(self, state().names.zelvar_logger, &routed) < 0) return false;
#else
        routed = PyObject_GetAttr(self, state().names.zelvar_logger);
        if (!routed) {
            if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
            PyErr_Clear();
        }
#endif
        py::Ref held(routed);
        if (routed && PyObject_TypeCheck(routed, &LoggerType)) {
            out = reinterpret_cast<LoggerObject*>(routed)->logger_ptr;
            if (out) return true;
            PyErr_SetString(PyExc_RuntimeError, "no native logger");
            return false;
        }
    }
    return py::guard([&] { return out = LoggerRegistry::get_logger("", true), 0; }) == 0;
}

// A standard record's fields: its logger's name as `stdlib_logger`, then its extra attributes (those
// named as a fixed JSON key are left out; a name `bind` would refuse as no identifier is marked free,
// so the text pairs leave it out). False with an exception.
bool stdlib_fields(PyObject* record, std::string& own) {
    PyObject* const standard = state().standard_attributes;
    const AttributeNames& names = state().names;
    py::Ref name(PyObject_GetAttr(record, names.name));
    if (!name || !append_value(own, "stdlib_logger", name.get())) return false;
    py::Ref dict(PyObject_GetAttr(record, names.dict));
    if (!dict) return false;
    if (!PyDict_Check(dict.get())) return true;
    // The extra pairs, held: a value's __str__ may change the record. An exact str is tested against
    // the standard names here (no Python code runs while the dict is walked); a str subclass later.
    std::vector<std::pair<py::Ref, py::Ref>> extra;
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    while (PyDict_Next(dict.get(), &pos, &key, &value)) {
        if (!PyUnicode_Check(key)) continue;
        if (PyUnicode_CheckExact(key)) {
            const int known = PySet_Contains(standard, key);
            if (known < 0) return false;
            if (known) continue;
        }
        if (py::guard([&] { return extra.emplace_back(py::Ref::borrow(key), py::Ref::borrow(value)), 0; }) < 0)
            return false;
    }
    for (const auto& [k, v] : extra) {
        const int known = PyUnicode_CheckExact(k.get()) ? 0 : PySet_Contains(standard, k.get());
        if (known < 0) return false;
        std::string_view view;
        if (known || !py::utf8_view(k.get(), view)) {
            if (PyErr_Occurred()) return false;
            continue;
        }
        if (view.empty() || view == "stdlib_logger" || is_fixed_key(view)) continue;
        const bool free_name = PyUnicode_IsIdentifier(k.get()) != 1;
        if (PyErr_Occurred() || !append_value(own, view, v.get(), free_name)) return false;
    }
    return true;
}

// Where the record came from. A logger built with `stacklevel` keeps what the standard package
// computed (so its own `stacklevel=` counts); otherwise the walk past the package's frames.
bool record_caller(PyObject* record, const std::shared_ptr<spdlog::logger>& target, Location& where) {
    if (!needs_location(target)) return true;
    if (!stacklevel_of(target)) return find_caller(CallerRule::StandardLogging, where);
    const AttributeNames& names = state().names;
    py::Ref path(PyObject_GetAttr(record, names.pathname));
    py::Ref line(path ? PyObject_GetAttr(record, names.lineno) : nullptr);
    py::Ref function(line ? PyObject_GetAttr(record, names.func_name) : nullptr);
    return function && record_location(path.get(), line.get(), function.get(), where);
}

PyObject* emit_body(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void*) {
    static const auto params = py::params("emit", {"record"}, 1);
    decltype(params)::Values v;
    PyObject* self = bind_method(params, "emit", args, nargs, kwnames, v);
    if (!self) return nullptr;
    PyObject* record = v[0];

    const AttributeNames& names = state().names;
    py::Ref text(PyObject_CallMethodNoArgs(record, names.get_message));
    // An exact str's encode() is UTF-8, strict: called directly.
    py::Ref message(!text                              ? nullptr
                    : PyUnicode_CheckExact(text.get()) ? PyUnicode_AsUTF8String(text.get())
                                                       : PyObject_CallMethodNoArgs(text.get(), names.encode));
    if (!message) return nullptr;
    if (message.get() != Py_None && !PyBytes_CheckExact(message.get())) {
        PyErr_Format(PyExc_TypeError, "Expected %s, got %.200s", "bytes", Py_TYPE(message.get())->tp_name);
        return nullptr;
    }
    py::Ref levelno(PyObject_GetAttr(record, names.levelno));
    int32_t level;
    if (!levelno || !py::to_int32(levelno.get(), level)) return nullptr;
    py::Ref exc_info(PyObject_GetAttr(record, names.exc_info));
    py::Ref stack_info(exc_info ? PyObject_GetAttr(record, names.stack_info) : nullptr);
    if (!stack_info) return nullptr;
    // A false exc_info (logger.info("x", exc_info=False) passes False through) means no
    // exception, as the standard formatter reads it.
    const int has_exception = exc_info.get() == Py_None ? 0 : py::truth(exc_info.get());
    // JSON writes the message alone and the exception and stack as keys of their own.
    const std::size_t message_size =
        message.get() == Py_None ? 0 : static_cast<std::size_t>(PyBytes_GET_SIZE(message.get()));
    std::string members;
    if (has_exception < 0 || (has_exception && !append_exception(message, exc_info.get(), members))) return nullptr;
    if (stack_info.get() != Py_None && !append_stack(message, stack_info.get(), members)) return nullptr;
    int32_t native;
    if (map_level(self, level, native) < 0) return nullptr;
    if (message.get() == Py_None) {
        PyErr_SetString(PyExc_TypeError, "expected bytes, NoneType found");
        return nullptr;
    }

    std::shared_ptr<spdlog::logger> target;
    if (!handler_target(self, target)) return nullptr;
    const auto lvl = static_cast<spdlog::level::level_enum>(native);
    if (!target->should_log(lvl)) Py_RETURN_NONE;
    const std::string_view plain =
        cut_at_nul(PyBytes_AS_STRING(message.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(message.get())));
    Location where;
    if (!record_caller(record, target, where)) return nullptr;
    std::string own;
    RecordFields fields;
    if (!stdlib_fields(record, own) || !fields.gather(own)) return nullptr;
    std::string block;
    if (!members.empty() && py::guard([&] {
                                return block = fields.block(),
                                       libscrivo::append_exception(block, message_size, members), 0;
                            }) < 0)
        return nullptr;
    SinkFailure failure;
    if (!emit(target, lvl, where, plain, {}, failure, members.empty() ? fields.block() : block)) return nullptr;
    if (failure && !handle_error(self, record, failure)) return nullptr;
    Py_RETURN_NONE;
}

bool set_function(PyObject* ns, const py::FunctionDef& def) {
    py::Ref fn(py::make_function(def, kModuleName));
    return fn && PyDict_SetItemString(ns, def.name, fn.get()) == 0;
}

}  // namespace

bool add_py_log_handler(PyObject* m) {
    PyObject* logging = global("py_logging");
    py::Ref handler(logging ? PyObject_GetAttrString(logging, "Handler") : nullptr);
    py::Ref ns(handler ? Py_BuildValue("{ssss}", "__module__", kModuleName, "__qualname__", "PyLogHandler") : nullptr);
    if (!ns ||
        !set_function(ns.get(), {"__init__", "PyLogHandler.__init__", "PyLogHandler.__init__(self, int level) -> None",
                                 init_body}) ||
        !set_function(ns.get(), {"emit", "PyLogHandler.emit", "PyLogHandler.emit(self, record)", emit_body})) {
        return false;
    }
    py::Ref annotations(Py_BuildValue("{sO}", "return", Py_None));
    if (!annotations ||
        PyObject_SetAttrString(PyDict_GetItemString(ns.get(), "__init__"), "__annotations__", annotations.get()) < 0)
        return false;
    py::Ref cls(PyObject_CallFunction(reinterpret_cast<PyObject*>(&PyType_Type), "s(O)O", "PyLogHandler", handler.get(),
                                      ns.get()));
    if (!cls || PyModule_AddObjectRef(m, "PyLogHandler", cls.get()) < 0) return false;
    set_py_log_handler(cls.get());
    return true;
}

int redirect_pylog() {
    PyObject* logging = global("py_logging");
    py::Ref root(logging ? PyObject_CallMethod(logging, "getLogger", nullptr) : nullptr);
    py::Ref handlers(root ? PyObject_GetAttrString(root.get(), "handlers") : nullptr);
    py::Ref cleared(handlers ? PyObject_CallMethod(handlers.get(), "clear", nullptr) : nullptr);
    py::Ref debug(cleared ? PyObject_GetAttrString(logging, "DEBUG") : nullptr);
    py::Ref set(debug ? PyObject_CallMethod(root.get(), "setLevel", "O", debug.get()) : nullptr);
    PyObject* cls = set ? global("PyLogHandler") : nullptr;
    py::Ref handler(cls ? PyObject_CallOneArg(cls, debug.get()) : nullptr);
    py::Ref added(handler ? PyObject_CallMethod(root.get(), "addHandler", "O", handler.get()) : nullptr);
    if (added) return 0;
    py::add_traceback("zelvar.scrivo.scrivo.redirect_pylog", kSourceFile);
    return -1;
}

}  // namespace zelvar::scrivo
