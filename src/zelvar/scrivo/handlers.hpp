// The handler descriptions and the colour scheme: extension types with fixed fields, one row each
// (handlers.cpp).
#pragma once

#include <functional>

#include <zelvar/_pyext/python.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

namespace zelvar::scrivo {

extern PyTypeObject ColorSchemeType;

// Readies and binds the types in their import order.
bool add_handler_types(PyObject* module);
// Binds the module-level unpickle functions of these types.
bool add_handler_unpickle_functions(PyObject* module);

// One handler's factory call, with the values it was read with.
using HandlerCall = std::function<void(LoggerFactory&)>;
// Prepares the one factory call of `handler`'s kind, reading its values through ordinary attribute
// access and checking them as that call would, so that a logger checks all its handlers before
// any opens a file; TypeError "Unknown handler type" for anything else. 0 or -1 with an exception.
int prepare_handler(PyObject* handler, HandlerCall& call);
// LoggerFactory::set_colors with the scheme's stored codes.
int contribute_colors(PyObject* scheme, LoggerFactory& factory);

}  // namespace zelvar::scrivo
