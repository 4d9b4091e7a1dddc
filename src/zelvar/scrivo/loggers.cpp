// Logger (builds its own native logger) and DefaultLogger (writes through the process default).
#include "loggers.hpp"

#include <array>
#include <iterator>
#include <new>
#include <string>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/function.hpp>
#include <zelvar/_pyext/interpreter_lock.hpp>
#include <zelvar/_pyext/pickle.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/_pyext/types.hpp>
#include <zelvar/scrivo/scrivo.hpp>

#include "handlers.hpp"
#include "logger_build.hpp"
#include "logging_methods.hpp"

namespace zelvar::scrivo {
namespace {

// Dispatch flag 0: a Python subclass's own method of that name runs instead, its result dropped.
// True when it ran (or failed, with the exception set).
bool ran_override(PyObject* self, int method, PyObject* own, PyObject* msg, int32_t fg, int32_t bg, int32_t effect) {
    py::Ref override(py::find_override(self, kLevelMethods[method].name, own));
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
    log_at(self, N, kLevelMethods[N].name, msg, fg, bg, effect, false);
}

// The native table entry of method N. Its callers are to hold the interpreter lock; a native thread
// that does not gets it taken here for the whole call rather than have Python state read under
// another thread's feet.
template <class Self, int N>
void log_entry(Self* self, PyObject* msg, int dispatch, const LogOptions* o) {
    if (py::holds_interpreter_lock()) return log_body<Self, N>(self, msg, dispatch, o);
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

// The native logger a call on `self` writes through; false with an exception.
template <class Self>
bool current_target(PyObject* self, std::shared_ptr<spdlog::logger>& out) {
    return py::guard([&] { return out = Traits<Self>::target(reinterpret_cast<Self*>(self)), 0; }) == 0;
}

// is_enabled_for(level): whether a record at that level would reach at least one sink.
template <class Self>
PyObject* is_enabled_for(PyObject* self, PyObject* value) {
    int32_t level;
    if (!py::to_level_value(value, level)) return nullptr;
    std::shared_ptr<spdlog::logger> target;
    if (!current_target<Self>(self, target)) return nullptr;
    return PyBool_FromLong(target && libscrivo::reaches_a_sink(*target, static_cast<spdlog::level::level_enum>(level)));
}

// flush(): everything logged before the call written and the sinks flushed, without the lock.
template <class Self>
PyObject* flush(PyObject* self, PyObject*) {
    std::shared_ptr<spdlog::logger> target;
    if (!current_target<Self>(self, target)) return nullptr;
    if (target) {
        Py_BEGIN_ALLOW_THREADS target->flush();  // reports a failing sink itself
        Py_END_ALLOW_THREADS
    }
    Py_RETURN_NONE;
}

constexpr const char* kBindDoc =
    "bind($self, /, **fields)\n--\n\nA logger that writes through this one (same sinks, same level) and adds "
    "`fields` to each record; binding a bound logger merges, later names winning.";

constexpr const char* kIsEnabledForDoc =
    "is_enabled_for($self, level, /)\n--\n\nWhether a record at `level` (a Level, 0 to 6 or a level name) would "
    "reach at least one sink.";
constexpr const char* kFlushDoc =
    "flush($self, /)\n--\n\nReturns once every record logged before the call is written and the sinks are flushed.";

// --- Logger construction (the arguments' checks and the build are in logger_build.cpp) ---------

PyObject* logger_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static const auto params =
        py::params("__cinit__",
                   {"name", "level", "pattern", "handlers", "color_scheme", "set_default", "intercept_stdlib_logging",
                    "queue_size", "overflow", "flush_interval", "stacklevel", "filter"},
                   1, 7);
    decltype(params)::Values v;
    if (!params.bind(args, kwargs, v)) return nullptr;
    py::Ref self(type->tp_alloc(type, 0));
    if (!self) return nullptr;
    auto* lg = reinterpret_cast<LoggerObject*>(self.get());
    lg->vtab = &g_logger_vtable;
    new (&lg->factory) LoggerFactory();
    new (&lg->logger) SpdLogger();
    new (&lg->logger_ptr) std::shared_ptr<spdlog::logger>();
    if (!build_logger(lg, v.data())) return nullptr;  // the half-built instance is freed here
    return self.release();
}

// Logger._open_files(handlers): opens the files of `handlers` as a logger's construction does before
// it empties or prunes any, then closes them. configure() runs it for every logger before it builds
// the first, so a file that cannot be opened fails the whole configuration before anything is lost.
PyObject* open_files(PyObject*, PyObject* handlers) {
    if (!PyList_CheckExact(handlers)) return py::raise_argument_type(handlers, "handlers", "list"), nullptr;
    LoggerFactory factory;  // its sinks, and so the files, close when it goes
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(handlers); ++i) {
        py::Ref handler = py::Ref::borrow(PyList_GET_ITEM(handlers, i));
        HandlerCall call;
        if (prepare_handler(handler.get(), call) < 0 || py::guard([&] { return call(factory), 0; }) < 0) return nullptr;
    }
    Py_RETURN_NONE;
}

PyMethodDef g_logger_methods[] = {
    {"is_enabled_for", is_enabled_for<LoggerObject>, METH_O, kIsEnabledForDoc},
    {"_open_files", open_files, METH_O | METH_STATIC, nullptr},
    {"flush", flush<LoggerObject>, METH_NOARGS, kFlushDoc},
    {"bind", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(bind_logger)), METH_VARARGS | METH_KEYWORDS,
     kBindDoc},
    ZELVAR_REFUSE_PICKLE_METHODS,
    {nullptr, nullptr, 0, nullptr},
};

// --- DefaultLogger -----------------------------------------------------------------------------

PyObject* default_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* self = type->tp_alloc(type, 0);
    if (self) reinterpret_cast<DefaultLoggerObject*>(self)->vtab = &g_default_vtable;
    return self;
}

// No state: its layout, made at import, is the empty one.
py::PickleDef g_default_logger_pickle{
    &DefaultLoggerType,
    "__pyx_unpickle_DefaultLogger",
    "__pyx_unpickle_DefaultLogger(__pyx_type, long __pyx_checksum, tuple __pyx_state)",
    nullptr,
    0,
    {},
    "",
    module};
py::LayoutStore g_default_logger_layout;

// The level of the native logger the call writes through: the process default's at that moment.
PyObject* default_level(PyObject* self, void*) {
    std::shared_ptr<spdlog::logger> target;
    return current_target<DefaultLoggerObject>(self, target) ? native_level(target) : nullptr;
}

int set_default_level(PyObject* self, PyObject* value, void*) {
    std::shared_ptr<spdlog::logger> target;
    return current_target<DefaultLoggerObject>(self, target) ? set_native_level(target, value) : -1;
}

PyGetSetDef g_default_properties[] = {
    {"level", default_level, set_default_level, "The process default logger's own level (a Level), as Logger.level.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef g_default_methods[] = {
    {"is_enabled_for", is_enabled_for<DefaultLoggerObject>, METH_O, kIsEnabledForDoc},
    {"flush", flush<DefaultLoggerObject>, METH_NOARGS, kFlushDoc},
    {"bind", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(bind_default_logger)),
     METH_VARARGS | METH_KEYWORDS, kBindDoc},
    ZELVAR_PICKLE_METHODS(g_default_logger_pickle),
    {nullptr, nullptr, 0, nullptr},
};

// --- BoundLogger -------------------------------------------------------------------------------

PyObject* bound_name(PyObject* self, void*) {
    std::shared_ptr<spdlog::logger> target;
    if (!current_target<BoundLoggerObject>(self, target)) return nullptr;
    if (!target) Py_RETURN_NONE;
    return PyUnicode_DecodeUTF8(target->name().data(), static_cast<Py_ssize_t>(target->name().size()), "replace");
}

PyGetSetDef g_bound_properties[] = {
    {"name", bound_name, nullptr, "The name of the native logger it writes through.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef g_bound_methods[] = {
    {"is_enabled_for", is_enabled_for<BoundLoggerObject>, METH_O, kIsEnabledForDoc},
    {"flush", flush<BoundLoggerObject>, METH_NOARGS, kFlushDoc},
    {"bind", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(bind_bound)), METH_VARARGS | METH_KEYWORDS,
     kBindDoc},
    {"_watch_context", watch_context, METH_O | METH_STATIC, nullptr},
    ZELVAR_REFUSE_PICKLE_METHODS,
    {nullptr, nullptr, 0, nullptr},
};

// atexit: every non-blocking logger writes what it holds before the interpreter is finalised; later
// records (daemon threads) are written on their own threads.
PyObject* stop_writers(PyObject*, PyObject*) {
    Py_BEGIN_ALLOW_THREADS libscrivo::AsyncLogger::stop_all();
    Py_END_ALLOW_THREADS Py_RETURN_NONE;
}

}  // namespace

PyTypeObject LoggerType = py::make_type<LoggerObject>({
    .name = "zelvar.scrivo.scrivo.Logger",
    .flags = Py_TPFLAGS_BASETYPE,
    .methods = g_logger_methods,
    .getset = g_logger_properties,
    .new_ = logger_new,
    .dealloc = logger_dealloc,
    .gc = {logger_traverse, logger_clear},
});

PyTypeObject BoundLoggerType = py::make_type<BoundLoggerObject>({
    .name = "zelvar.scrivo.BoundLogger",
    .methods = g_bound_methods,
    .getset = g_bound_properties,
    .dealloc = bound_dealloc,
    .gc = {bound_traverse, bound_clear},
});

PyTypeObject DefaultLoggerType = py::make_type<DefaultLoggerObject>({
    .name = "zelvar.scrivo.scrivo.DefaultLogger",
    .flags = Py_TPFLAGS_BASETYPE,
    .methods = g_default_methods,
    .getset = g_default_properties,
    .new_ = default_new,
    .dealloc = py::free_object,
});

bool add_logger_types(PyObject* module) {
    // BoundLogger stays out of the module's namespace: the package names it.
    return py::add_type(module, &LoggerType, "Logger", const_cast<LoggerVTable*>(&g_logger_vtable)) &&
           py::add_type(module, &DefaultLoggerType, "DefaultLogger",
                        const_cast<DefaultLoggerVTable*>(&g_default_vtable)) &&
           PyType_Ready(&BoundLoggerType) == 0;
}

bool add_exit_hook(PyObject*) {
    // The main interpreter's exit drains the writers before finalisation. A sub-interpreter may still
    // be alive when the process ends and then never runs its atexit callbacks (one registered there
    // only keeps objects alive); libscrivo's own exit handler drains what is left after finalisation.
    if (PyInterpreterState_Get() != PyInterpreterState_Main()) return true;
    static PyMethodDef def = {"_stop_writers", stop_writers, METH_NOARGS, nullptr};
    py::Ref fn(PyCFunction_New(&def, nullptr));
    py::Ref atexit(fn ? PyImport_ImportModule("atexit") : nullptr);
    py::Ref done(atexit ? PyObject_CallMethod(atexit.get(), "register", "O", fn.get()) : nullptr);
    return static_cast<bool>(done);
}

bool add_default_logger_unpickle_function(PyObject* module) {
    static const bool made = (py::make_layout(g_default_logger_pickle, g_default_logger_layout, {}), true);
    (void)made;
    static PyMethodDef defs[] = {py::unpickle_def<g_default_logger_pickle>(), {nullptr, nullptr, 0, nullptr}};
    return PyModule_AddFunctions(module, defs) == 0;
}

}  // namespace zelvar::scrivo
