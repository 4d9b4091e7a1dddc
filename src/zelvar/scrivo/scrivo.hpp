// zelvar.scrivo.scrivo as native code sees it: the instance layouts of the handler descriptions
// and the colour scheme (fields in declared order).
//
// A native module may read these fields directly from an object whose type it has checked with
// PyObject_TypeCheck against the class taken from the module. Text fields hold a `str` or None.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zelvar/_pyext/python.hpp>

namespace zelvar::scrivo {

struct LogHandlerObject {
    PyObject_HEAD
    bool color;
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
};

struct ColorSchemeObject {
    PyObject_HEAD
    int32_t trace_color;
    int32_t debug_color;
    int32_t info_color;
    int32_t warn_color;
    int32_t error_color;
    int32_t critical_color;
};

}  // namespace zelvar::scrivo
