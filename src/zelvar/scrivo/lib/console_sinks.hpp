// The console sinks of the console handlers, and make_console_sink, which picks one.
#pragma once

#include "carried_libraries.hpp"  // before any spdlog or fmt header

#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "export.hpp"

namespace zelvar::libscrivo {

// spdlog's thread-safe console sinks share one mutex for both streams, so a standard output that
// nobody reads (its pipe full) would hold up every record for standard error as well.  The console
// sinks the factory makes are spdlog's, over a mutex of their own per stream instead.
struct SCRIVO_API stdout_console_mutex {
    using mutex_t = std::mutex;
    static mutex_t& mutex();
};
struct SCRIVO_API stderr_console_mutex {
    using mutex_t = std::mutex;
    static mutex_t& mutex();
};

using stdout_color_sink = spdlog::sinks::ansicolor_stdout_sink<stdout_console_mutex>;
using stderr_color_sink = spdlog::sinks::ansicolor_stderr_sink<stderr_console_mutex>;
using stdout_plain_sink = spdlog::sinks::stdout_sink<stdout_console_mutex>;
using stderr_plain_sink = spdlog::sinks::stderr_sink<stderr_console_mutex>;

// Whether the environment asks for text without ANSI escapes: NO_COLOR set to a non-empty value, or
// TERM "dumb".  Read when a console sink is made, so a logger follows the environment as it was when
// it was built.
SCRIVO_API bool colour_refused_by_environment() noexcept;

// What a console sink made while colour_refused_by_environment() is besides a plain console sink: it
// writes no colour scheme and is handed no message's own escapes (write_to_sinks).
class SCRIVO_API EscapeFree {
  public:
    virtual ~EscapeFree();
};
template <class Plain>
class escape_free_sink final : public Plain, public EscapeFree {};
using stdout_escape_free_sink = escape_free_sink<stdout_plain_sink>;
using stderr_escape_free_sink = escape_free_sink<stderr_plain_sink>;

// A console sink for standard output or standard error, colour-capable when `color` is true; an
// escape-free one, whatever `color` says, when the environment refuses colour.
SCRIVO_API std::shared_ptr<spdlog::sinks::sink> make_console_sink(std::FILE* stream, bool color);

}  // namespace zelvar::libscrivo
