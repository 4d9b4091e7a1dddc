// Fields from Python: the names and values a caller binds to a logger or sets for a block of code
// (log_context), converted once into libscrivo's encoded block, and the block a record carries.
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

// The ContextVar log_context sets, once a log_context has been entered (null before: no record can be
// inside one, and a plain logging call reads nothing more than this pointer).
extern PyObject* g_context_var;

// BoundLogger._watch_context(var), called by log_context: records read `var` (a ContextVar holding
// the context's BoundLogger, or None) for their context fields from now on.
PyObject* watch_context(PyObject*, PyObject* var);

// Whether a record with these own fields (a bound logger's) may carry any.
inline bool may_have_fields(std::string_view own) { return !own.empty() || g_context_var != nullptr; }

// The fields a record carries: those of the current log_context, then `own` (a bound logger's, or a
// standard record's name and extras), an own field winning over a context one of the same name.
class RecordFields {
  public:
    // False with an exception.
    bool gather(std::string_view own);
    std::string_view block() const { return block_; }

  private:
    py::Ref context_;  // the context's bound logger, which holds its block
    std::string merged_;
    std::string_view block_;
};

// A logger that writes through a Logger or DefaultLogger (`owner`, the same native logger, read at
// each call) and adds `fields` to each record. The collector may clear `owner` to break a cycle: a
// cleared one writes through the process default, as a DefaultLogger's would.
struct BoundLoggerObject {
    PyObject_HEAD PyObject* owner;
    bool is_default;
    std::string fields;
};

extern PyTypeObject BoundLoggerType;

// Logger.bind / DefaultLogger.bind (bind_logger) and BoundLogger.bind (bind_bound): a BoundLogger
// through the same owner, its fields merged with later names winning; keyword arguments only.
PyObject* bind_logger(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* bind_bound(PyObject* self, PyObject* args, PyObject* kwargs);

// BoundLogger's collector support and deallocation: a Logger subclass's instance may hold its own
// bound logger.
int bound_traverse(PyObject* self, visitproc visit, void* arg);
int bound_clear(PyObject* self);
void bound_dealloc(PyObject* self);

}  // namespace zelvar::scrivo
