// The process default logger as DefaultLogger's calls (and a bound logger's through it) keep it.
// Inline, as it was beside its callers: every DefaultLogger call reads it.
#pragma once

#include <memory>

#include <spdlog/logger.h>

#include <zelvar/forced_unwind.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

namespace zelvar::scrivo {

// The process default as the last call through it found it, looked up again only once libscrivo
// says it was replaced. Used with the interpreter lock (one interpreter imports the module).
struct DefaultTarget {
    unsigned generation = 0;
    std::shared_ptr<spdlog::logger> logger;
};
inline DefaultTarget g_default_target;

// The process default, kept; null when the lookup failed (the caller looks it up itself, which sets
// the exception).
inline const std::shared_ptr<spdlog::logger>* default_target() noexcept {
    const unsigned now = LoggerRegistry::default_generation();
    if (!g_default_target.logger || g_default_target.generation != now) {
        try {
            // The count read first: a replacement meanwhile leaves a target that is already stale.
            g_default_target.logger = LoggerRegistry::get_logger("", true);
            g_default_target.generation = now;
        } catch (...) {
            rethrow_forced_unwind();
            g_default_target.logger.reset();
            return nullptr;
        }
    }
    return &g_default_target.logger;
}

// Lets go of the process default DefaultLogger calls keep, if it is no longer the default: a
// logger that is to leave the registry once unused must not be kept by it.
inline void drop_stale_default() noexcept {
    if (g_default_target.generation != LoggerRegistry::default_generation()) g_default_target.logger.reset();
}

}  // namespace zelvar::scrivo
