// BoundLogger: a logger with fields bound to it, and log_context, whose ContextVar holds one: the
// fields a record carries. Its logging methods and type object are Logger's code, in loggers.cpp.
#pragma once

#include <string>
#include <string_view>

#include <zelvar/_pyext/python.hpp>
#include <zelvar/_pyext/ref.hpp>

#include "module_state.hpp"

namespace zelvar::scrivo {

// BoundLogger._watch_context(var), called by log_context: records read `var` (a ContextVar holding
// the context's BoundLogger, or None) for their context fields from now on (ModuleState::context_var).
PyObject* watch_context(PyObject*, PyObject* var);

// Whether a record with these own fields (a bound logger's) may carry any.
inline bool may_have_fields(std::string_view own) { return !own.empty() || state().context_var != nullptr; }

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

// Logger.bind (bind_logger), DefaultLogger.bind (bind_default_logger) and BoundLogger.bind (bind_bound):
// a BoundLogger through the same owner, its fields merged with later names winning; keyword arguments
// only. Each is the `bind` of its own class only: which class the owner is decides where records go.
PyObject* bind_logger(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* bind_default_logger(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* bind_bound(PyObject* self, PyObject* args, PyObject* kwargs);

// BoundLogger's collector support and deallocation: a Logger subclass's instance may hold its own
// bound logger.
int bound_traverse(PyObject* self, visitproc visit, void* arg);
int bound_clear(PyObject* self);
void bound_dealloc(PyObject* self);

}  // namespace zelvar::scrivo
