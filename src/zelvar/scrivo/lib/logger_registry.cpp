#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <spdlog/details/console_globals.h>
#include <spdlog/details/registry.h>
#include <spdlog/sinks/ansicolor_sink.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace {

// Serialises every multi-step change to spdlog's registry (drop + register,
// default swap + re-register), so concurrent builders never collide on a name
// and lookups that miss can re-check in a consistent state.
std::mutex& registry_mutex() {
    static std::mutex mutex;
    return mutex;
}

// A colour standard-output sink, or the plain one a logger built now would get when the environment
// refuses colour.
std::shared_ptr<spdlog::sinks::sink> make_fallback_sink() {
    std::shared_ptr<spdlog::sinks::sink> sink;
    if (zelvar::libscrivo::colour_refused_by_environment()) {
        sink = zelvar::libscrivo::make_console_sink(stdout, true);
    } else {
        sink = std::make_shared<spdlog::sinks::ansicolor_stdout_sink_mt>();
    }
    sink->set_level(spdlog::level::trace);
    return sink;
}

// spdlog's initial default logger, made before any of ours, follows the environment as the library
// finds it at load.
[[maybe_unused]] const bool initial_default_follows_environment = [] {
    if (!zelvar::libscrivo::colour_refused_by_environment()) return false;
    if (auto initial = spdlog::details::registry::instance().default_logger())
        initial->sinks() = {make_fallback_sink()};
    return true;
}();

// Bumped after each replacement of the default, so a reader that saw the old count and then the
// new default only looks it up once more.
std::atomic<unsigned> g_default_generation{0};

void default_replaced() { g_default_generation.fetch_add(1, std::memory_order_release); }

std::shared_ptr<spdlog::logger> make_fallback_logger(const std::string& name) {
    auto sink = make_fallback_sink();
    auto logger = std::make_shared<spdlog::logger>(name, std::move(sink));
    logger->set_level(spdlog::level::trace);
    return logger;
}

// Caller holds registry_mutex().
void set_default_locked(std::shared_ptr<spdlog::logger> logger) {
    auto& registry = spdlog::details::registry::instance();
    auto previous = registry.default_logger();
    const std::string& name = logger->name();
    // Hold the logger this pushes out of the registry so that, if this was its last
    // reference, it is destroyed (its sinks flushed, a writer thread joined) after
    // the registry's lock is released, never under it.
    const auto displaced = registry.get(name);
    registry.set_default_logger(logger);
    default_replaced();
    // spdlog unregisters the outgoing default's name; a named logger should not
    // vanish just because it stopped being the default.  The empty name only
    // ever means "the default", so spdlog's unnamed initial logger stays gone.
    if (previous && previous != logger && !previous->name().empty() && previous->name() != name) {
        try {
            registry.register_logger(std::move(previous));
        } catch (const spdlog::spdlog_ex&) {
            // Someone registered that name through spdlog directly meanwhile; theirs wins.
        }
    }
}

}  // namespace

void LoggerRegistry::set_default(std::shared_ptr<spdlog::logger> logger) {
    if (!logger) {
        throw std::invalid_argument("the default logger must not be null");
    }
    std::lock_guard<std::mutex> lock(registry_mutex());
    set_default_locked(std::move(logger));
}

void LoggerRegistry::install(std::shared_ptr<spdlog::logger> logger, bool make_default) {
    auto& registry = spdlog::details::registry::instance();
    std::lock_guard<std::mutex> lock(registry_mutex());
    const auto current = registry.default_logger();
    // Dropping the default's name would also clear spdlog's default, so a
    // replacement of the default is done as a default swap instead.
    if (make_default || (current && current->name() == logger->name())) {
        set_default_locked(std::move(logger));
        return;
    }
    // Held for the same reason as in set_default_locked.
    const auto replaced = registry.get(logger->name());
    registry.drop(logger->name());
    registry.register_logger(std::move(logger));
}

std::shared_ptr<spdlog::logger> LoggerRegistry::get_logger(const std::string& name, bool create_if_missing) {
    auto& registry = spdlog::details::registry::instance();
    if (name.empty()) {
        // The default is swapped atomically inside spdlog, so a null here is real.
        auto current = registry.default_logger();
        if (current || !create_if_missing) {
            return current;
        }
    } else if (auto found = registry.get(name)) {
        return found;
    }

    // A named lookup can miss transiently while a writer holds the mutex
    // between drop and register; re-checking under it makes the answer (and a
    // creation) consistent.
    std::lock_guard<std::mutex> lock(registry_mutex());
    if (name.empty()) {
        auto current = registry.default_logger();
        if (!current) {
            current = make_fallback_logger(name);
            registry.set_default_logger(current);
            default_replaced();
        }
        return current;
    }
    auto found = registry.get(name);
    if (found || !create_if_missing) {
        return found;
    }
    auto fresh = make_fallback_logger(name);
    registry.register_logger(fresh);
    return fresh;
}

void LoggerRegistry::release(const std::shared_ptr<spdlog::logger>& logger) {
    if (!logger) return;
    auto& registry = spdlog::details::registry::instance();
    std::lock_guard<std::mutex> lock(registry_mutex());
    if (registry.default_logger() == logger) return;
    // Held for the same reason as in set_default_locked.
    const auto held = registry.get(logger->name());
    // The caller's reference, the registry's and `held`: anyone else still uses it.
    if (held != logger || held.use_count() > 3) return;
    registry.drop(logger->name());
}

std::shared_ptr<spdlog::logger> LoggerRegistry::find(const std::string& name) {
    return spdlog::details::registry::instance().get(name);
}

unsigned LoggerRegistry::default_generation() noexcept { return g_default_generation.load(std::memory_order_acquire); }
