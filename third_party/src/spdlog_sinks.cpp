// spdlog's console and file sinks over its own mutexes (SPDLOG_COMPILED_LIB). Sinks over other
// mutexes are instantiated where those mutexes are defined.
#include <spdlog/details/console_globals.h>
#include <spdlog/details/file_helper-inl.h>
#include <spdlog/details/null_mutex.h>
#include <spdlog/sinks/ansicolor_sink-inl.h>
#include <spdlog/sinks/stdout_sinks-inl.h>

#include <mutex>

template class spdlog::sinks::ansicolor_sink<spdlog::details::console_mutex>;
template class spdlog::sinks::ansicolor_stdout_sink<spdlog::details::console_mutex>;
template class spdlog::sinks::ansicolor_stderr_sink<spdlog::details::console_mutex>;
template class spdlog::sinks::stdout_sink_base<spdlog::details::console_mutex>;
template class spdlog::sinks::stdout_sink<spdlog::details::console_mutex>;
template class spdlog::sinks::stderr_sink<spdlog::details::console_mutex>;
