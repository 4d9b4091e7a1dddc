// spdlog's thread pool and asynchronous logger (SPDLOG_COMPILED_LIB), which the registry refers to.
#include <spdlog/async.h>
#include <spdlog/async_logger-inl.h>
#include <spdlog/details/thread_pool-inl.h>
