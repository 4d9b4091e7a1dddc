// The logging module's constants (its name, source file, default patterns) and the few module-wide
// accessors built on them: the module object and the level conversion through its `Level` global.
#pragma once

#include <cstdint>

#include <zelvar/_pyext/python.hpp>

namespace zelvar::scrivo {

inline constexpr const char* kModuleName = "zelvar.scrivo.scrivo";
inline constexpr const char* kSourceFile = "zelvar/scrivo/scrivo.cpp";

inline constexpr const char* kDefaultHandlerPattern = "[%Y-%m-%d %H:%M:%S.%e] [%n] [%^%l%$] %v";
inline constexpr const char* kDefaultLoggerPattern = "[%d-%m-%Y %H:%M:%S.%f] [%n] [%^%l%$] %v";

// The default handler pattern as an interned str (made at import).
PyObject* default_handler_pattern();
PyObject* default_logger_pattern();

// The module object (one per process, alive for the process).
PyObject* module();

// Level-to-Python through the module global `Level` as bound at the time of the call, so a
// rebinding of the attribute is seen. New reference, or null with an exception.
PyObject* level_to_python(int32_t level);

}  // namespace zelvar::scrivo
