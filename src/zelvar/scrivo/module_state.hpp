// Everything module-wide of zelvar.scrivo.scrivo, in one place: its constants, the module object, and
// the objects made or looked up once at import. Defined in module_state.cpp.
//
// One interpreter per process may import the module (py::ModuleOnce refuses a second), and the
// module object lives for the process: these objects are per process and never freed.
#pragma once

#include <cstdint>

#include <zelvar/_pyext/module.hpp>
#include <zelvar/_pyext/python.hpp>

namespace zelvar::scrivo {

inline constexpr const char* kModuleName = "zelvar.scrivo.scrivo";
// The file name the module's native functions give in tracebacks. Fixed: it is part of what users
// see, not the name of a file in this tree.
inline constexpr const char* kSourceFile = "zelvar/scrivo/scrivo.cpp";

inline constexpr const char* kDefaultHandlerPattern = "[%Y-%m-%d %H:%M:%S.%e] [%n] [%^%l%$] %v";
inline constexpr const char* kDefaultLoggerPattern = "[%d-%m-%Y %H:%M:%S.%f] [%n] [%^%l%$] %v";

// The module's import record (its definition in scrivo_module.cpp is built on it).
extern py::ModuleOnce g_module_once;

// The attribute names the standard package's records and handlers are read by, interned once: a
// lookup by C string makes and hashes a new str each time and misses the type's attribute cache.
struct AttributeNames {
    PyObject* get_message = nullptr;  // "getMessage"
    PyObject* encode = nullptr;
    PyObject* levelno = nullptr;
    PyObject* exc_info = nullptr;
    PyObject* stack_info = nullptr;
    PyObject* name = nullptr;
    PyObject* dict = nullptr;  // "__dict__"
    PyObject* pathname = nullptr;
    PyObject* lineno = nullptr;
    PyObject* func_name = nullptr;      // "funcName"
    PyObject* zelvar_logger = nullptr;  // "_zelvar_logger"
    PyObject* thresholds[5] = {};       // "_debug" .. "_critical"
    PyObject* level_class = nullptr;    // "Level", the module global levels are given out as
};

// The keys of a record dict (capture_records, filters, CallbackHandler), interned, and `shape`: a dict
// holding every key (None each) that each record dict starts as a copy of.
struct RecordKeys {
    PyObject* logger = nullptr;
    PyObject* level = nullptr;
    PyObject* message = nullptr;
    PyObject* file = nullptr;
    PyObject* line = nullptr;
    PyObject* function = nullptr;
    PyObject* fields = nullptr;
    PyObject* exception = nullptr;
    PyObject* shape = nullptr;
};

// Strong references, set during the import and kept for the process. Every member is read and
// written with the interpreter lock held; all but `context_var` are written only by the import.
struct ModuleState {
    AttributeNames names;
    RecordKeys record_keys;
    PyObject* default_handler_pattern = nullptr;  // kDefaultHandlerPattern, interned
    PyObject* default_logger_pattern = nullptr;   // kDefaultLoggerPattern, interned
    // The one list every Logger() call that omits `handlers` shares.
    PyObject* default_handlers = nullptr;
    // The directory of the imported standard `logging` package, with its trailing "/": a frame whose
    // file lies in it is the package's own. Null when the package has no file name.
    PyObject* logging_dir = nullptr;
    // PyLogHandler, for its __init__'s super().
    PyObject* py_log_handler = nullptr;
    // The names of a fresh standard record's attributes and those the standard formatter adds (a
    // set): a record's other attributes came from `extra` or a filter.
    PyObject* standard_attributes = nullptr;
    // The ContextVar log_context keeps its fields in: null until the first log_context registers it
    // (BoundLogger._watch_context; no record can be inside a block before that, and a plain logging
    // call reads nothing more than this pointer). Every logging call reads it.
    PyObject* context_var = nullptr;
};

const ModuleState& state();

// Import steps: the constants, the record keys and the default handler list; the standard `logging`
// and `traceback` modules bound as the globals `py_logging` and `traceback`, the logging package's
// directory and its records' attribute names;
// PyLogHandler once the class exists. False with an exception.
bool make_module_state();
bool bind_standard_modules(PyObject* module);
void set_py_log_handler(PyObject* cls);
void set_context_var(PyObject* var);

// The module object.
PyObject* module();

// A module global as bound now (borrowed), or null with NameError: what the module lets its users
// rebind (`py_logging`, `traceback`, `PyLogHandler`) is seen as rebound.
PyObject* global(const char* name);

// Level-to-Python through the module global `Level` as bound at the time of the call, so a
// rebinding of the attribute is seen. New reference, or null with an exception.
PyObject* level_to_python(int32_t level);

}  // namespace zelvar::scrivo
