// Fields from Python: the names and values a caller binds to a logger or sets for a block of code
// (log_context), converted once into libscrivo's encoded block; a record's exception as data.
#pragma once

#include <string>
#include <string_view>

#include <zelvar/_pyext/python.hpp>
#include <zelvar/_pyext/ref.hpp>

namespace zelvar::scrivo {

// Whether `name` is one of the keys a JSON record has of its own (time, level, logger, message, file,
// line, thread, pid, and exception and stack_info when it carries them).
bool is_fixed_key(std::string_view name);

// A field name as `bind` takes it: a str that is an identifier and no fixed key (ValueError), its
// UTF-8 in `name`. False with an exception.
bool check_name(PyObject* key, std::string_view& name);

// Appends one field: None, bool, int and finite float as JSON literals, NaN and the infinities as the
// strings "NaN", "Infinity", "-Infinity", list, tuple and dict as JSON (nested to a depth of 8: a part
// deeper, or one inside itself, as its str()), str as text, anything else as its str(); `free_name`
// for a name that is no identifier (Field::free_name). False with an exception.
bool append_value(std::string& block, std::string_view key, PyObject* value, bool free_name = false);

// The (type, value, traceback) a record's `exc_info` names, as the standard package reads it: an
// exception instance its own, a tuple itself, any other true value the exception being handled; a
// false value, or none being handled, leaves `info` null. False with an exception.
bool exception_info(PyObject* exc_info, py::Ref& info);

// Appends `"exception":{"type":...,"message":...,"traceback":...}` for the exception of `info` (a
// (type, value, traceback) tuple; the type as module.QualName, a builtin's by its name alone), with
// `traceback` its formatted text. A str() that raises gives a placeholder message. False with an
// exception.
bool append_exception_members(std::string& members, PyObject* info, std::string_view traceback);

// Appends the fields of a keyword-argument dict, in its order: a name must be an identifier and not
// a fixed JSON key (ValueError). False with an exception.
bool encode_fields(PyObject* kwargs, std::string& block);

// `base`'s fields whose names `over` lacks, then `over`'s.  Throws std::bad_alloc.
std::string merge_fields(std::string_view base, std::string_view over);

}  // namespace zelvar::scrivo
