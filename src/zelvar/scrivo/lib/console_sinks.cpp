// The console sinks, each stream with a lock of its own, and the environment's say on colour (console_sinks.hpp).
#include <zelvar/scrivo/lib/libscrivo.hpp>

// spdlog is compiled, not header-only, in this build: its sink templates over these mutexes are
// compiled here, where the mutexes are defined.
#include <spdlog/sinks/ansicolor_sink-inl.h>
#include <spdlog/sinks/stdout_sinks-inl.h>

#include <cstdlib>
#include <cstring>

namespace zelvar::libscrivo {

std::mutex& stdout_console_mutex::mutex() {
    static std::mutex lock;
    return lock;
}

std::mutex& stderr_console_mutex::mutex() {
    static std::mutex lock;
    return lock;
}

bool colour_refused_by_environment() noexcept {
    const char* no_color = std::getenv("NO_COLOR");
    const char* term = std::getenv("TERM");
    return (no_color && *no_color) || (term && std::strcmp(term, "dumb") == 0);
}

EscapeFree::~EscapeFree() = default;

std::shared_ptr<spdlog::sinks::sink> make_console_sink(std::FILE* stream, bool color) {
    if (colour_refused_by_environment()) {
        if (stream == stderr) return std::make_shared<stderr_escape_free_sink>();
        return std::make_shared<stdout_escape_free_sink>();
    }
    if (stream == stderr) {
        if (color) return std::make_shared<stderr_color_sink>();
        return std::make_shared<stderr_plain_sink>();
    }
    if (color) return std::make_shared<stdout_color_sink>();
    return std::make_shared<stdout_plain_sink>();
}

}  // namespace zelvar::libscrivo

template class spdlog::sinks::ansicolor_sink<zelvar::libscrivo::stdout_console_mutex>;
template class spdlog::sinks::ansicolor_sink<zelvar::libscrivo::stderr_console_mutex>;
template class spdlog::sinks::ansicolor_stdout_sink<zelvar::libscrivo::stdout_console_mutex>;
template class spdlog::sinks::ansicolor_stderr_sink<zelvar::libscrivo::stderr_console_mutex>;
template class spdlog::sinks::stdout_sink_base<zelvar::libscrivo::stdout_console_mutex>;
template class spdlog::sinks::stdout_sink_base<zelvar::libscrivo::stderr_console_mutex>;
template class spdlog::sinks::stdout_sink<zelvar::libscrivo::stdout_console_mutex>;
template class spdlog::sinks::stderr_sink<zelvar::libscrivo::stderr_console_mutex>;
