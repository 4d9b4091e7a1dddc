// A record as Python sees it (captures, filters, CallbackHandler): one dict built from what a record
// carries on its way to the sinks.
#pragma once

#include <string_view>

#include <spdlog/common.h>

#include <zelvar/_pyext/python.hpp>

namespace zelvar::scrivo {

// What a record carries: its logger's name, level, payload (for a record with an exception, the
// message followed by the traceback the text sinks print), source location (null texts: unknown)
// and libscrivo's encoded fields block.
struct RecordView {
    std::string_view logger;
    spdlog::level::level_enum level;
    std::string_view payload;
    const char* file;
    int line;
    const char* function;
    std::string_view block;
    // The str objects `file` and `function` point into, when known (a Python caller's): the function's
    // name is then used as it is, and the file's last component cached by its object.
    PyObject* file_text = nullptr;
    PyObject* function_text = nullptr;
};

// {"logger", "level" (a Level), "message", "file", "line", "function", "fields" (a dict),
// "exception" (the dict the JSON handlers write, or None)}. New reference, or null with an exception;
// with the interpreter lock.
PyObject* make_record_dict(const RecordView& record);

}  // namespace zelvar::scrivo
