// The Python-visible logging methods of Logger, DefaultLogger and BoundLogger: binding, conversion,
// then the record written as the native tables write it.
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/function.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/_pyext/types.hpp>

#include "loggers.hpp"
#include "logging_methods.hpp"
#include "stacklevel.hpp"

namespace zelvar::scrivo {
namespace {

// The instance a method was called on (args[0]), or null with TypeError.
template <class Self>
Self* instance(PyObject* const* args, Py_ssize_t nargs, const char* method) {
    if (nargs >= 1 && PyObject_TypeCheck(args[0], Traits<Self>::type())) return reinterpret_cast<Self*>(args[0]);
    PyErr_Format(PyExc_TypeError, "descriptor '%s' requires a '%s' object", method, Traits<Self>::type()->tp_name);
    return nullptr;
}

// The parameters every Python logging method has after its own (`log`'s level): msg and the colour
// codes, then keyword-only the options; any other keyword is a field of the record.
#define ZELVAR_LOG_PARAMETERS "msg", "fg_color", "bg_color", "effect", "exc_info", "stacklevel"

// Binds a logging method's arguments after the instance (args[0]), converts them in parameter order
// (`level` first when the method takes one, then msg (str or None), the colour codes, the options)
// and writes the record at `level` or, for `log`, at the level given; `exc_info` is what the call
// carries when its own exc_info is not given. Every other keyword is a field of the record.
template <class Self, std::size_t N>
PyObject* logged_call(const py::Params<N>& params, const char* method, std::optional<int32_t> level,
                      PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject* exc_info = nullptr) {
    Self* self = instance<Self>(args, nargs, method);
    typename py::Params<N>::Values v;
    py::ExtraKeywords fields;
    if (!self || !params.bind(args + 1, nargs - 1, kwnames, v, &fields)) return nullptr;
    const std::size_t m = level ? 0 : 1;  // msg's index
    int32_t at = level.value_or(0);
    if (!level && !py::to_level_value(v[0], at)) return nullptr;
    if (!py::check_str_argument(v[m], "msg")) return nullptr;
    LogOptions o{3, -1, -1, -1};
    if ((v[m + 1] && !py::to_int32(v[m + 1], o.fg_color)) || (v[m + 2] && !py::to_int32(v[m + 2], o.bg_color)) ||
        (v[m + 3] && !py::to_int32(v[m + 3], o.effect)))
        return nullptr;
    int32_t stacklevel = 0;
    if (v[m + 5] && !to_stacklevel(v[m + 5], stacklevel)) return nullptr;
    const CallExtras extras{fields.empty() ? nullptr : &fields, v[m + 4] ? v[m + 4] : exc_info, stacklevel};
    const CallExtras* call = extras.fields || extras.exc_info || stacklevel ? &extras : nullptr;
    log_at(self, at, method, v[m], o.fg_color, o.bg_color, o.effect, true, call);
    if (PyErr_Occurred()) return nullptr;
    Py_RETURN_NONE;
}

// Method M of kLevelMethods: binds and converts, then writes as the table entry does with dispatch 1.
template <class Self, int M>
PyObject* log_method(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void*) {
    constexpr LevelMethod method = kLevelMethods[M];
    static const auto params = py::params(method.name, {ZELVAR_LOG_PARAMETERS}, 1, 4);
    return logged_call<Self>(params, method.name, method.level, args, nargs, kwnames);
}

// log(level, msg, ...): a record at a level given as an argument; at OFF nothing is written.
template <class Self>
PyObject* log_any_level(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void*) {
    static const auto params = py::params("log", {"level", ZELVAR_LOG_PARAMETERS}, 2, 5);
    return logged_call<Self>(params, "log", std::nullopt, args, nargs, kwnames);
}

// exception(msg, ...): an error record with the exception being handled, unless exc_info says otherwise.
template <class Self>
PyObject* exception_method(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void*) {
    static const auto params = py::params("exception", {ZELVAR_LOG_PARAMETERS}, 1, 4);
    return logged_call<Self>(params, "exception", spdlog::level::err, args, nargs, kwnames, Py_True);
}

#undef ZELVAR_LOG_PARAMETERS

template <class Self, std::size_t... M>
bool attach_methods(PyObject* defaults, std::index_sequence<M...>) {
    static const std::string docs[] = {(std::string(Traits<Self>::name) + "." + kLevelMethods[M].name +
                                        "(self, str msg, int fg_color=-1, int bg_color=-1, int effect=-1) -> void")...};
    static const std::string qualnames[] = {(std::string(Traits<Self>::name) + "." + kLevelMethods[M].name)...};
    const py::NativeBody bodies[] = {log_method<Self, M>...};
    static const std::string exception_doc = std::string(Traits<Self>::name) +
                                             ".exception(self, str msg, int fg_color=-1, int bg_color=-1, "
                                             "int effect=-1) -> void";
    static const std::string exception_qualname = std::string(Traits<Self>::name) + ".exception";
    static const std::string log_doc = std::string(Traits<Self>::name) +
                                       ".log(self, level, str msg, int fg_color=-1, int bg_color=-1, int effect=-1) "
                                       "-> void";
    static const std::string log_qualname = std::string(Traits<Self>::name) + ".log";
    for (int i = 0; i <= kLevelMethodCount + 1; ++i) {
        const bool level_method = i < kLevelMethodCount;
        const bool exception = i == kLevelMethodCount;
        const py::FunctionDef def =
            level_method ? py::FunctionDef{kLevelMethods[i].name,
                                           qualnames[i].c_str(),
                                           docs[i].c_str(),
                                           bodies[i],
                                           nullptr,
                                           defaults}
            : exception
                ? py::FunctionDef{"exception",
                                  exception_qualname.c_str(),
                                  exception_doc.c_str(),
                                  exception_method<Self>,
                                  nullptr,
                                  defaults}
                : py::FunctionDef{"log", log_qualname.c_str(), log_doc.c_str(), log_any_level<Self>, nullptr, defaults};
        PyObject* fn = py::make_function(def, kModuleName);
        if (!fn) return false;
        if (i < kMethods) Traits<Self>::functions[i] = fn;  // owned for the life of the process
        if (!py::set_type_attribute(Traits<Self>::type(), def.name, fn)) return false;
        if (i >= kMethods) Py_DECREF(fn);  // the type's dict holds it
    }
    return true;
}

}  // namespace

bool attach_logging_methods(PyObject*) {
    py::Ref defaults(Py_BuildValue("(iii)", -1, -1, -1));
    return defaults && attach_methods<LoggerObject>(defaults.get(), std::make_index_sequence<kLevelMethodCount>()) &&
           attach_methods<DefaultLoggerObject>(defaults.get(), std::make_index_sequence<kLevelMethodCount>()) &&
           attach_methods<BoundLoggerObject>(defaults.get(), std::make_index_sequence<kLevelMethodCount>());
}

}  // namespace zelvar::scrivo
