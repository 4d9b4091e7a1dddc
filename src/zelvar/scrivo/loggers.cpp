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

#include "bound_logger.hpp"
#include "default_target.hpp"
#include "emission.hpp"
#include "handlers.hpp"
#include "logger_build.hpp"
#include "module_state.hpp"
#include "stacklevel.hpp"

namespace zelvar::scrivo {
namespace {

// The logging entries of the native tables.
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
    // The object's own logger: emit() takes a reference of its own only when the call lets go of
    // the interpreter lock (a reference count changed on every call costs a shared cache line).
    static const std::shared_ptr<spdlog::logger>* held(LoggerObject* self) { return &self->logger.logger; }
    static const std::shared_ptr<spdlog::logger>& target(LoggerObject* self) { return self->logger.logger; }
    static std::string_view fields(LoggerObject*) { return {}; }
};

template <>
struct Traits<DefaultLoggerObject> {
    using Table = DefaultLoggerVTable;
    static PyTypeObject* type() { return &DefaultLoggerType; }
    static constexpr const char* name = "DefaultLogger";
    static inline PyObject* functions[kMethods];
    // Kept until the default is replaced, so a newer default is seen at once.
    static const std::shared_ptr<spdlog::logger>* held(DefaultLoggerObject*) { return default_target(); }
    static std::shared_ptr<spdlog::logger> target(DefaultLoggerObject*) { return LoggerRegistry::get_logger("", true); }
    static std::string_view fields(DefaultLoggerObject*) { return {}; }
};

// Through its owner's logger, as the owner would write.
template <>
struct Traits<BoundLoggerObject> {
    static PyTypeObject* type() { return &BoundLoggerType; }
    static constexpr const char* name = "BoundLogger";
    static inline PyObject* functions[kMethods];
    static const std::shared_ptr<spdlog::logger>* held(BoundLoggerObject* self) {
        return self->is_default ? default_target()
                                : Traits<LoggerObject>::held(reinterpret_cast<LoggerObject*>(self->owner));
    }
    static std::shared_ptr<spdlog::logger> target(BoundLoggerObject* self) {
        const auto* own = held(self);
        return own ? *own : LoggerRegistry::get_logger("", true);
    }
    static std::string_view fields(BoundLoggerObject* self) { return self->fields; }
};

// Dispatch flag 0: a Python subclass's own method of that name runs instead, its result dropped.
// True when it ran (or failed, with the exception set).
bool ran_override(PyObject* self, int method, PyObject* own, PyObject* msg, int32_t fg, int32_t bg, int32_t effect) {
    py::Ref override(py::find_override(self, kMethodNames[method], own));
    if (!override) return PyErr_Occurred() != nullptr;
    py::Ref result(PyObject_CallFunction(override.get(), "Oiii", msg, fg, bg, effect));
    return true;
}

// A record at `level` through `self`'s logger, for a caller that holds the interpreter lock;
// `method` names the call in failure reports. A native caller's record (`with_fields` false) carries
// no fields.
template <class Self>
void log_at(Self* self, int32_t level, const char* method, PyObject* msg, int32_t fg, int32_t bg, int32_t effect,
            bool with_fields = true, const CallExtras* call = nullptr) {
    const std::string_view fields = Traits<Self>::fields(self);
    if (const std::shared_ptr<spdlog::logger>* held = Traits<Self>::held(self)) {
        log_text(*held, level, msg, fg, bg, effect, Traits<Self>::name, method, fields, with_fields, call);
        return;
    }
    std::shared_ptr<spdlog::logger> target;
    if (py::guard([&] { return target = Traits<Self>::target(self), 0; }) < 0) return;
    log_text(target, level, msg, fg, bg, effect, Traits<Self>::name, method, fields, with_fields, call);
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
    log_at(self, N, kMethodNames[N], msg, fg, bg, effect, false);
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

// --- the Python-visible logging methods ---------------------------------------------------------

// Those at a fixed level: the six of the native table, then `warning`, the same as `warn`.
struct LevelMethod {
    const char* name;
    int32_t level;
};
constexpr LevelMethod kLevelMethods[] = {{"trace", 0}, {"debug", 1},    {"info", 2},   {"warn", 3},
                                         {"error", 4}, {"critical", 5}, {"warning", 3}};
constexpr int kLevelMethodCount = static_cast<int>(std::size(kLevelMethods));

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

// The bound values from `m`, msg's index: msg (str or None), the colour codes, the options; `call`
// points at the call's own fields and exception, or is null for a call with neither.
template <std::size_t N>
bool message_arguments(const std::array<PyObject*, N>& v, std::size_t m, const py::ExtraKeywords& fields, LogOptions& o,
                       CallExtras& extras, const CallExtras*& call, PyObject* exc_info = nullptr) {
    if (!py::check_str_argument(v[m], "msg")) return false;
    o = LogOptions{3, -1, -1, -1};
    if ((v[m + 1] && !py::to_int32(v[m + 1], o.fg_color)) || (v[m + 2] && !py::to_int32(v[m + 2], o.bg_color)) ||
        (v[m + 3] && !py::to_int32(v[m + 3], o.effect)))
        return false;
    int32_t stacklevel = 0;
    if (v[m + 5] && !to_stacklevel(v[m + 5], stacklevel)) return false;
    extras = CallExtras{fields.empty() ? nullptr : &fields, v[m + 4] ? v[m + 4] : exc_info, stacklevel};
    call = extras.fields || extras.exc_info || stacklevel ? &extras : nullptr;
    return true;
}

PyObject* finished() {
    if (PyErr_Occurred()) return nullptr;
    Py_RETURN_NONE;
}

// Method M of kLevelMethods: binds and converts, then writes as the table entry does with dispatch 1.
template <class Self, int M>
PyObject* log_method(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void*) {
    constexpr LevelMethod method = kLevelMethods[M];
    static const auto params = py::params(method.name, {ZELVAR_LOG_PARAMETERS}, 1, 4);
    Self* self = instance<Self>(args, nargs, method.name);
    decltype(params)::Values v;
    py::ExtraKeywords fields;
    LogOptions o;
    CallExtras extras;
    const CallExtras* call;
    if (!self || !params.bind(args + 1, nargs - 1, kwnames, v, &fields) ||
        !message_arguments(v, 0, fields, o, extras, call))
        return nullptr;
    log_at(self, method.level, method.name, v[0], o.fg_color, o.bg_color, o.effect, true, call);
    return finished();
}

// log(level, msg, ...): a record at a level given as an argument; at OFF nothing is written.
template <class Self>
PyObject* log_any_level(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void*) {
    static const auto params = py::params("log", {"level", ZELVAR_LOG_PARAMETERS}, 2, 5);
    Self* self = instance<Self>(args, nargs, "log");
    decltype(params)::Values v;
    py::ExtraKeywords fields;
    LogOptions o;
    CallExtras extras;
    const CallExtras* call;
    int32_t level;
    if (!self || !params.bind(args + 1, nargs - 1, kwnames, v, &fields) || !py::to_level_value(v[0], level) ||
        !message_arguments(v, 1, fields, o, extras, call))
        return nullptr;
    log_at(self, level, "log", v[1], o.fg_color, o.bg_color, o.effect, true, call);
    return finished();
}

// exception(msg, ...): an error record with the exception being handled, unless exc_info says otherwise.
template <class Self>
PyObject* exception_method(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void*) {
    static const auto params = py::params("exception", {ZELVAR_LOG_PARAMETERS}, 1, 4);
    Self* self = instance<Self>(args, nargs, "exception");
    decltype(params)::Values v;
    py::ExtraKeywords fields;
    LogOptions o;
    CallExtras extras;
    const CallExtras* call;
    if (!self || !params.bind(args + 1, nargs - 1, kwnames, v, &fields) ||
        !message_arguments(v, 0, fields, o, extras, call, Py_True))
        return nullptr;
    log_at(self, spdlog::level::err, "exception", v[0], o.fg_color, o.bg_color, o.effect, true, call);
    return finished();
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

PyTypeObject LoggerType = py::make_type({
    .name = "zelvar.scrivo.scrivo.Logger",
    .basicsize = sizeof(LoggerObject),
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .methods = g_logger_methods,
    .getset = g_logger_properties,
    .new_ = logger_new,
    .dealloc = logger_dealloc,
    .traverse = logger_traverse,
    .clear = logger_clear,
});

PyTypeObject BoundLoggerType = py::make_type({
    .name = "zelvar.scrivo.BoundLogger",
    .basicsize = sizeof(BoundLoggerObject),
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC,
    .methods = g_bound_methods,
    .getset = g_bound_properties,
    .dealloc = bound_dealloc,
    .traverse = bound_traverse,
    .clear = bound_clear,
});

PyTypeObject DefaultLoggerType = py::make_type({
    .name = "zelvar.scrivo.scrivo.DefaultLogger",
    .basicsize = sizeof(DefaultLoggerObject),
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
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

bool attach_logging_methods(PyObject*) {
    py::Ref defaults(Py_BuildValue("(iii)", -1, -1, -1));
    return defaults && attach_methods<LoggerObject>(defaults.get(), std::make_index_sequence<kLevelMethodCount>()) &&
           attach_methods<DefaultLoggerObject>(defaults.get(), std::make_index_sequence<kLevelMethodCount>()) &&
           attach_methods<BoundLoggerObject>(defaults.get(), std::make_index_sequence<kLevelMethodCount>());
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
