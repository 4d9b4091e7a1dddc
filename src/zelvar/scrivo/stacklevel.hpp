// `stacklevel`: how many frames above a logging call the location is taken from, kept per native
// logger so that everything writing through one (its Logger, a BoundLogger, DefaultLogger once it
// is the default, the takeover of the standard package) reads the same depth.
#pragma once

#include <cstdint>
#include <memory>

#include <spdlog/logger.h>

#include <zelvar/_pyext/python.hpp>

namespace zelvar::scrivo {

// A `stacklevel=` argument: None (0, not given) or an int from 1 up (values beyond the native range
// mean the outermost frame). TypeError or ValueError naming the parameter otherwise.
bool to_stacklevel(PyObject* value, int32_t& out);

// Records `depth` (from 1 up) for `logger`; with the interpreter lock.
void set_stacklevel(const std::shared_ptr<spdlog::logger>& logger, int32_t depth);

// The depth `logger` was built with, or 0; with the interpreter lock.
int32_t stacklevel_of(const std::shared_ptr<spdlog::logger>& logger) noexcept;

}  // namespace zelvar::scrivo
