// The console sinks, each stream with a lock of its own (sinks.hpp).
#include <zelvar/scrivo/lib/libscrivo.hpp>

#ifndef SPDLOG_HEADER_ONLY
// The compiled spdlog library holds these sinks only over its own console mutex.
#include <spdlog/sinks/ansicolor_sink-inl.h>
#include <spdlog/sinks/stdout_sinks-inl.h>
#endif

namespace spdlog_internal {

std::mutex& stdout_console_mutex::mutex() {
    static std::mutex lock;
    return lock;
}

std::mutex& stderr_console_mutex::mutex() {
    static std::mutex lock;
    return lock;
}

std::shared_ptr<spdlog::sinks::sink> make_console_sink(std::FILE* stream, bool color) {
    if (stream == stderr) {
        if (color) return std::make_shared<stderr_color_sink>();
        return std::make_shared<stderr_plain_sink>();
    }
    if (color) return std::make_shared<stdout_color_sink>();
    return std::make_shared<stdout_plain_sink>();
}

}  // namespace spdlog_internal

#ifdef SPDLOG_COMPILED_LIB  // exported with the system's spdlog only (sinks.hpp)
template class spdlog::sinks::ansicolor_sink<spdlog_internal::stdout_console_mutex>;
template class spdlog::sinks::ansicolor_sink<spdlog_internal::stderr_console_mutex>;
template class spdlog::sinks::ansicolor_stdout_sink<spdlog_internal::stdout_console_mutex>;
template class spdlog::sinks::ansicolor_stderr_sink<spdlog_internal::stderr_console_mutex>;
template class spdlog::sinks::stdout_sink_base<spdlog_internal::stdout_console_mutex>;
template class spdlog::sinks::stdout_sink_base<spdlog_internal::stderr_console_mutex>;
template class spdlog::sinks::stdout_sink<spdlog_internal::stdout_console_mutex>;
template class spdlog::sinks::stderr_sink<spdlog_internal::stderr_console_mutex>;
#endif
