// Logger (builds its own native logger) and DefaultLogger (writes through the process default).
#include "loggers.hpp"

#include <new>
#include <string>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/function.hpp>
#include <zelvar/_pyext/pickle.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/_pyext/types.hpp>
#include <zelvar/scrivo/scrivo.hpp>

#include "emission.hpp"
#include "handlers.hpp"
#include "module_constants.hpp"
#include "stdlib_bridge.hpp"

namespace zelvar::scrivo {
namespace {

constexpr int kMethods = 6;
constexpr const char* kMethodNames[kMethods] = {"trace", "debug", "info", "warn", "error", "critical"};

// What differs between the two classes, for the code shared by both.
template <class Self>
struct Traits;

template <>
struct Traits<LoggerObject> {
    using Table = LoggerVTable;
    static PyTypeObject* type() { return &LoggerType; }
    static constexpr const char* name = "Logger";
    static inline PyObject* functions[kMethods];  // attached at import; anything else is an override
    // The logger to write to, kept alive for the call.
    static std::shared_ptr<spdlog::logger> target(LoggerObject* self) { return self->logger.logger; }
};

template <>
struct Traits<DefaultLoggerObject> {
    using Table = DefaultLoggerVTable;
    static PyTypeObject* type() { return &DefaultLoggerType; }
    static constexpr const char* name = "DefaultLogger";
    static inline PyObject* functions[kMethods];
    // Looked up on every call, so a newer default is seen at once.
    static std::shared_ptr<spdlog::logger> target(DefaultLoggerObject*) { return LoggerRegistry::get_logger("", true); }
};

// Dispatch flag 0: a Python subclass's own method of that name runs instead, its result dropped.
// True when it ran (or failed, with the exception set).
bool ran_override(PyObject* self, int method, PyObject* own, PyObject* msg, int32_t fg, int32_t bg, int32_t effect) {
    py::Ref override(py::find_override(self, kMethodNames[method], own));
    if (!override) return PyErr_Occurred() != nullptr;
    py::Ref result(PyObject_CallFunction(override.get(), "Oiii", msg, fg, bg, effect));
    return true;
}

// Method N for a caller that holds the interpreter lock.
template <class Self, int N>
void log_body(Self* self, PyObject* msg, int dispatch, const LogOptions* o) {
    const int32_t fg = o && o->count >= 1 ? o->fg_color : -1;
    const int32_t bg = o && o->count >= 2 ? o->bg_color : -1;
    const int32_t effect = o && o->count >= 3 ? o->effect : -1;
    if (dispatch == py::kHonourOverride &&
        ran_override(reinterpret_cast<PyObject*>(self), N, Traits<Self>::functions[N], msg, fg, bg, effect))
        return;
    std::shared_ptr<spdlog::logger> target;
    if (py::guard([&] { return target = Traits<Self>::target(self), 0; }) < 0) return;
    log_text(target.get(), N, msg, fg, bg, effect, Traits<Self>::name, kMethodNames[N]);
}

// The native table entry of method N. Its callers are to hold the interpreter lock; a native thread
// that does not gets it taken here for the whole call rather than have Python state read under
// another thread's feet.
template <class Self, int N>
void log_entry(Self* self, PyObject* msg, int dispatch, const LogOptions* o) {
    if (holds_interpreter_lock()) return log_body<Self, N>(self, msg, dispatch, o);
    const PyGILState_STATE state = PyGILState_Ensure();
    log_body<Self, N>(self, msg, dispatch, o);
    PyGILState_Release(state);
}

SpdLogger get_spd_logger(LoggerObject* self) { return self->logger; }

const LoggerVTable g_logger_vtable = {
    get_spd_logger,
    log_entry<LoggerObject, 0>,
    log_entry<LoggerObject, 1>,
    log_entry<LoggerObject, 2>,
    log_entry<LoggerObject, 3>,
    log_entry<LoggerObject, 4>,
    log_entry<LoggerObject, 5>,
};

const DefaultLoggerVTable g_default_vtable = {
    log_entry<DefaultLoggerObject, 0>, log_entry<DefaultLoggerObject, 1>, log_entry<DefaultLoggerObject, 2>,
    log_entry<DefaultLoggerObject, 3>, log_entry<DefaultLoggerObject, 4>, log_entry<DefaultLoggerObject, 5>,
};

// The Python-visible method N: binds and converts, then calls the table entry with dispatch 1.
template <class Self, int N>
PyObject* log_method(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void*) {
    static const auto params = py::params(kMethodNames[N], {"msg", "fg_color", "bg_color", "effect"}, 1);
    if (nargs < 1 || !PyObject_TypeCheck(args[0], Traits<Self>::type())) {
        PyErr_Format(PyExc_TypeError, "descriptor '%s' requires a '%s' object", kMethodNames[N],
                     Traits<Self>::type()->tp_name);
        return nullptr;
    }
    decltype(params)::Values v;
    if (!params.bind(args + 1, nargs - 1, kwnames, v) || !py::check_str_argument(v[0], "msg")) return nullptr;
    LogOptions options{3, -1, -1, -1};
    if ((v[1] && !py::to_int32(v[1], options.fg_color)) || (v[2] && !py::to_int32(v[2], options.bg_color)) ||
        (v[3] && !py::to_int32(v[3], options.effect)))
        return nullptr;
    // Called from Python, so the lock is held: straight to the body.
    log_body<Self, N>(reinterpret_cast<Self*>(args[0]), v[0], 1, &options);
    if (PyErr_Occurred()) return nullptr;
    Py_RETURN_NONE;
}

template <class Self, std::size_t... N>
bool attach_methods(PyObject* defaults, std::index_sequence<N...>) {
    static const std::string docs[] = {(std::string(Traits<Self>::name) + "." + kMethodNames[N] +
                                        "(self, str msg, int fg_color=-1, int bg_color=-1, int effect=-1) -> void")...};
    static const std::string qualnames[] = {(std::string(Traits<Self>::name) + "." + kMethodNames[N])...};
    const py::NativeBody bodies[] = {log_method<Self, N>...};
    for (int i = 0; i < kMethods; ++i) {
        PyObject* fn = py::make_function({kMethodNames[i], qualnames[i].c_str(), docs[i].c_str(), bodies[i], nullptr,
                                          defaults},
                                         kModuleName);
        if (!fn) return false;
        Traits<Self>::functions[i] = fn;  // owned for the life of the process
        if (!py::set_type_attribute(Traits<Self>::type(), kMethodNames[i], fn)) return false;
    }
    return true;
}

// --- Logger construction ---------------------------------------------------------------------

PyObject* g_default_handlers = nullptr;  // the one list shared by every call that omits `handlers`

// The UTF-8 form of a text parameter, or the None-text error.
bool encode_text(PyObject* text, std::string& out) {
    if (text == Py_None) {
        py::set_none_text_error();
        return false;
    }
    std::string_view view;
    if (!py::utf8_view(text, view)) return false;
    out.assign(view);
    return true;
}

bool build(LoggerObject* self, PyObject* const* v) {
    PyObject* name = v[0];
    int32_t level = 0;
    if (v[1] && !py::to_level(v[1], level)) return false;
    PyObject* pattern = v[2];
    PyObject* handlers = v[3] ? v[3] : g_default_handlers;
    PyObject* scheme = v[4] ? v[4] : Py_None;
    const int set_default = v[5] ? py::truth(v[5]) : 0;
    if (set_default < 0) return false;
    const int intercept = v[6] ? py::truth(v[6]) : 1;
    if (intercept < 0) return false;
    if (!py::check_str_argument(name, "name")) return false;
    if (pattern && !py::check_str_argument(pattern, "pattern")) return false;
    if (handlers != Py_None && !PyList_CheckExact(handlers)) return py::raise_argument_type(handlers, "handlers", "list");
    if (scheme != Py_None && !PyObject_TypeCheck(scheme, &ColorSchemeType))
        return py::raise_argument_type(scheme, "color_scheme", ColorSchemeType.tp_name);
    // The name is checked before any sink exists, so a failing call creates or truncates no file.
    std::string name_text;
    if (!encode_text(name, name_text)) return false;

    if (py::guard([&] { return self->factory.set_level(static_cast<spdlog::level::level_enum>(level)), 0; }) < 0)
        return false;
    if (handlers == Py_None || PyList_GET_SIZE(handlers) == 0) {
        std::string pattern_text;
        if (!encode_text(pattern ? pattern : default_logger_pattern(), pattern_text)) return false;
        if (py::guard([&] {
                self->factory.add_basic_console_handler(true, pattern_text,
                                                        static_cast<spdlog::level::level_enum>(level));
                return 0;
            }) < 0)
            return false;
    } else {
        // Re-read the length each time: handlers appended during the walk are visited too.
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(handlers); ++i) {
            py::Ref handler = py::Ref::borrow(PyList_GET_ITEM(handlers, i));
            if (contribute_handler(handler.get(), self->factory) < 0) return false;
        }
    }
    if (scheme != Py_None && contribute_colors(scheme, self->factory) < 0) return false;
    if (py::guard([&] { return self->logger_ptr = self->factory.build(name_text, false), 0; }) < 0) return false;
    if (set_default && py::guard([&] { return LoggerRegistry::set_default(self->logger_ptr), 0; }) < 0) return false;
    self->logger = SpdLogger(self->logger_ptr);
    return !(set_default && intercept) || redirect_pylog() == 0;
}

void logger_dealloc(PyObject* self) {
    auto* lg = reinterpret_cast<LoggerObject*>(self);
    lg->factory.~LoggerFactory();
    lg->logger.~SpdLogger();
    lg->logger_ptr.~shared_ptr();
    py::free_object(self);
}

PyObject* logger_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static const auto params = py::params(
        "__cinit__",
        {"name", "level", "pattern", "handlers", "color_scheme", "set_default", "intercept_stdlib_logging"}, 1);
    decltype(params)::Values v;
    if (!params.bind(args, kwargs, v)) return nullptr;
    py::Ref self(type->tp_alloc(type, 0));
    if (!self) return nullptr;
    auto* lg = reinterpret_cast<LoggerObject*>(self.get());
    lg->vtab = &g_logger_vtable;
    new (&lg->factory) LoggerFactory();
    new (&lg->logger) SpdLogger();
    new (&lg->logger_ptr) std::shared_ptr<spdlog::logger>();
    if (!build(lg, v.data())) return nullptr;  // the half-built instance is freed here
    return self.release();
}

PyMethodDef g_logger_methods[] = {ZELVAR_REFUSE_PICKLE_METHODS, {nullptr, nullptr, 0, nullptr}};

// --- DefaultLogger -----------------------------------------------------------------------------

PyObject* default_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* self = type->tp_alloc(type, 0);
    if (self) reinterpret_cast<DefaultLoggerObject*>(self)->vtab = &g_default_vtable;
    return self;
}

const py::PickleDef kDefaultLoggerPickle{&DefaultLoggerType,
                                      "__pyx_unpickle_DefaultLogger",
                                      "__pyx_unpickle_DefaultLogger(__pyx_type, long __pyx_checksum, tuple __pyx_state)",
                                      nullptr,
                                      0,
                                      {0xe3b0c44, 0xda39a3e, 0xd41d8cd},
                                      "",
                                      module};

PyMethodDef g_default_methods[] = {ZELVAR_PICKLE_METHODS(kDefaultLoggerPickle), {nullptr, nullptr, 0, nullptr}};

}  // namespace

PyTypeObject LoggerType = py::make_type({
    .name = "zelvar.scrivo.scrivo.Logger",
    .basicsize = sizeof(LoggerObject),
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .methods = g_logger_methods,
    .new_ = logger_new,
    .dealloc = logger_dealloc,
});

PyTypeObject DefaultLoggerType = py::make_type({
    .name = "zelvar.scrivo.scrivo.DefaultLogger",
    .basicsize = sizeof(DefaultLoggerObject),
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .methods = g_default_methods,
    .new_ = default_new,
    .dealloc = py::free_object,
});

bool add_logger_types(PyObject* module) {
    return py::add_type(module, &LoggerType, "Logger", const_cast<LoggerVTable*>(&g_logger_vtable)) &&
           py::add_type(module, &DefaultLoggerType, "DefaultLogger", const_cast<DefaultLoggerVTable*>(&g_default_vtable));
}

bool attach_logging_methods(PyObject*) {
    if (!g_default_handlers && !(g_default_handlers = PyList_New(0))) return false;
    py::Ref defaults(Py_BuildValue("(iii)", -1, -1, -1));
    return defaults && attach_methods<LoggerObject>(defaults.get(), std::make_index_sequence<kMethods>()) &&
           attach_methods<DefaultLoggerObject>(defaults.get(), std::make_index_sequence<kMethods>());
}

bool add_default_logger_unpickle_function(PyObject* module) {
    static PyMethodDef defs[] = {py::unpickle_def<kDefaultLoggerPickle>(), {nullptr, nullptr, 0, nullptr}};
    return PyModule_AddFunctions(module, defs) == 0;
}

}  // namespace zelvar::scrivo
