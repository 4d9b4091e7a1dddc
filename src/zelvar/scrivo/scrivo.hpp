// zelvar.scrivo.scrivo as native code sees it: the instance layouts of the handler descriptions,
// the colour scheme and the two loggers, the loggers' native method tables, and the native
// functions published in the module's `__pyx_capi__` dict.
//
// A native module may read fields directly from an object whose type it has checked with
// PyObject_TypeCheck against the class taken from the module. Text fields hold a `str` or None.
//
// Logging through a logger object (the table sits in a capsule, name NULL, under
// "__pyx_vtable__" in the type's dict; the interpreter lock must be held):
//
//     auto* lg = reinterpret_cast<zelvar::scrivo::LoggerObject*>(obj);
//     zelvar::scrivo::LogOptions opts{1, 31};          // one optional argument: fg_color 31
//     lg->vtab->warn(lg, message, 0, &opts);           // 0: a Python override of `warn` is honoured
//     if (PyErr_Occurred()) { ... }
//
// Reaching the registry's loggers: take a function from `__pyx_capi__` by name with its capsule's
// name checked against the signature below (zelvar/_pyext/capsule.hpp), and cast its pointer:
//
//     auto get = reinterpret_cast<zelvar::scrivo::GetLoggerFn>(zelvar::py::import_function(
//         "zelvar.scrivo.scrivo", "get_logger", zelvar::scrivo::kGetLoggerSignature));
//     SpdLogger out;
//     get(out, nullptr);                               // the process default logger
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <zelvar/_pyext/python.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

namespace zelvar::scrivo {

struct LogHandlerObject {
    PyObject_HEAD bool color;
    PyObject* pattern;  // str or None
    int32_t level;      // an spdlog level, not limited to the Level members
};

struct StdoutHandlerObject {
    LogHandlerObject base;
    int32_t max_level;
};

struct StderrHandlerObject {
    LogHandlerObject base;
};

struct BasicConsoleHandlerObject {
    LogHandlerObject base;
};

struct ConsoleHandlerObject {
    LogHandlerObject base;
    int32_t max_stdout_level;
    int32_t min_level;
};

struct FileHandlerObject {
    LogHandlerObject base;
    PyObject* filename;  // str or None
    bool overwrite;
};

struct RotatingFileHandlerObject {
    FileHandlerObject base;
    std::size_t max_size;
    std::size_t max_files;
    PyObject* compress;  // True, or None for False (a pickle without it reads as before it)
};

struct JsonFileHandlerObject {
    FileHandlerObject base;  // pattern None, color False: the records are JSON
    std::size_t max_size;    // 0: no rotation
    std::size_t max_files;
};

// JSON lines to a standard stream: pattern None, color False.
struct JsonStdoutHandlerObject {
    LogHandlerObject base;
};

struct JsonStderrHandlerObject {
    LogHandlerObject base;
};

struct DailyFileHandlerObject {
    FileHandlerObject base;
    int32_t hour;
    int32_t minute;
    std::size_t max_files;  // 0: all kept
    PyObject* compress;     // True, or None for False
};

struct SyslogHandlerObject {
    LogHandlerObject base;  // color False
    PyObject* address;      // str (a Unix socket path), (host, port) tuple, or None
    PyObject* facility;     // str or None
    PyObject* ident;        // str or None (the logger's name)
    PyObject* protocol;     // str or None: "udp" or "tcp"
    PyObject* format;       // str or None (by transport): "rfc3164" or "rfc5424"
};

// Records to a Python callable: pattern None, color False.
struct CallbackHandlerObject {
    LogHandlerObject base;
    PyObject* callable;
};

struct ColorSchemeObject {
    PyObject_HEAD int32_t trace_color;
    int32_t debug_color;
    int32_t info_color;
    int32_t warn_color;
    int32_t error_color;
    int32_t critical_color;
};

// Optional arguments of a logging method: `count` of the three codes that follow were given; the
// rest (or a null record) count as -1.
struct LogOptions {
    int32_t count;
    int32_t fg_color;
    int32_t bg_color;
    int32_t effect;
};

struct LoggerObject;
struct DefaultLoggerObject;

template <class Self>
using LogMethod = void (*)(Self* self, PyObject* msg, int dispatch, const LogOptions* options);

// Native method tables. A logging entry leaves a Python exception set on failure. With dispatch 0
// a Python subclass's override of the method is called instead.
struct LoggerVTable {
    SpdLogger (*get_spd_logger)(LoggerObject* self);
    LogMethod<LoggerObject> trace, debug, info, warn, error, critical;
};

struct DefaultLoggerVTable {
    LogMethod<DefaultLoggerObject> trace, debug, info, warn, error, critical;
};

struct LoggerObject {
    PyObject_HEAD const LoggerVTable* vtab;
    LoggerFactory factory;
    SpdLogger logger;
    std::shared_ptr<spdlog::logger> logger_ptr;
    PyObject* filter;  // the `filter` callable, or null
};

struct DefaultLoggerObject {
    PyObject_HEAD const DefaultLoggerVTable* vtab;
};

// Options of get_logger / get_logger_ptr: `count` of the fields that follow were given. `name`
// is a borrowed str (default: the empty name, the process default logger).
struct LoggerOptions {
    int32_t count;
    PyObject* name;
    int32_t flag;
};

// The `__pyx_capi__` functions, their keys and their capsule names (exact signature strings).
using GetLoggerByNameFn = SpdLogger (*)(const char* name);
using GetLoggerPtrFn = std::shared_ptr<spdlog::logger> (*)(LoggerOptions* options);
using GetLoggerFn = void (*)(SpdLogger& out, LoggerOptions* options);

inline constexpr const char* kGetLoggerByNameSignature = "SpdLogger (char const *)";
inline constexpr const char* kGetLoggerPtrSignature =
    "std::shared_ptr<spdlog::logger>  &(struct __pyx_opt_args_6zelvar_6scrivo_6scrivo_get_logger_ptr "
    "*__pyx_optional_args)";
inline constexpr const char* kGetLoggerSignature =
    "void (SpdLogger &, struct __pyx_opt_args_6zelvar_6scrivo_6scrivo_get_logger *__pyx_optional_args)";

}  // namespace zelvar::scrivo
