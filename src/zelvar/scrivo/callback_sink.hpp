// The sink of a CallbackHandler: each record's dict handed to a Python callable.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include <spdlog/sinks/sink.h>

#include <zelvar/_pyext/python.hpp>

namespace zelvar::scrivo {

// Calls the callable with the record dict (record_dict.hpp) on the thread that writes the record:
// the caller's for a synchronous logger (it holds the interpreter lock), the writer's for a
// non-blocking one (the lock is taken for the call). Records it cannot hand over are counted in
// callback_skipped(): one logged on a thread already inside a callback (the callable's own logging
// reaches the other sinks only, so a callable that logs never recurses), one written by a thread
// without the lock while the interpreter is finalizing, or while the module lives in a
// sub-interpreter (the GILState API serves the main one only), and one written while the writing
// thread has a Python exception set. A callable that raises is
// reported through sys.unraisablehook and logging goes on.
class CallbackSink final : public spdlog::sinks::sink {
  public:
    // With the interpreter lock; holds a reference to `callable`.
    explicit CallbackSink(PyObject* callable);
    ~CallbackSink() override;

    void log(const spdlog::details::log_msg& msg) override;
    void flush() override {}
    void set_pattern(const std::string&) override {}
    void set_formatter(std::unique_ptr<spdlog::formatter>) override {}

  private:
    void call(const spdlog::details::log_msg& msg) noexcept;

    PyObject* callable_;
    PyInterpreterState* interpreter_;
};

// Records the CallbackHandler sinks of the process did not hand to their callables.
std::uint64_t callback_skipped() noexcept;

// callback_skipped() as the module function _callback_skipped().
bool add_callback_functions(PyObject* module);

}  // namespace zelvar::scrivo
