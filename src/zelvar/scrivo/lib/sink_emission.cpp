// One record to a logger's sinks, as the logging module writes it on the caller's thread and an
// AsyncLogger's writer writes it on its own.
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <spdlog/details/console_globals.h>
#include <spdlog/details/log_msg.h>
#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace zelvar::libscrivo {
namespace {

using spdlog::details::console_mutex;

template <class Sink>
bool is_a(spdlog::sinks::sink* sink) {
    return dynamic_cast<Sink*>(sink) != nullptr;
}

}  // namespace

bool is_console_sink(spdlog::sinks::sink* sink) {
    sink = innermost_sink(sink);
    return is_a<spdlog::sinks::ansicolor_stdout_sink<console_mutex>>(sink) ||
           is_a<spdlog::sinks::ansicolor_stderr_sink<console_mutex>>(sink) ||
           is_a<spdlog::sinks::stdout_sink<console_mutex>>(sink) ||
           is_a<spdlog::sinks::stderr_sink<console_mutex>>(sink) || is_a<stdout_color_sink>(sink) ||
           is_a<stderr_color_sink>(sink) || is_a<stdout_plain_sink>(sink) || is_a<stderr_plain_sink>(sink);
}

namespace {

// A console sink made while the environment refused colour is handed no message's escapes either.
bool takes_escapes(spdlog::sinks::sink* sink) {
    return is_console_sink(sink) && dynamic_cast<EscapeFree*>(innermost_sink(sink)) == nullptr;
}

}  // namespace

SinkFailure write_to_sinks(spdlog::logger& logger, spdlog::level::level_enum level, const spdlog::source_loc& where,
                           std::string_view plain, std::string_view colored, const RecordStamp* stamp) noexcept {
    SinkFailure failure;
    for (const auto& sink : logger.sinks()) {
        try {
            if (!sink->should_log(level)) continue;
            const std::string_view text = !colored.empty() && takes_escapes(sink.get()) ? colored : plain;
            spdlog::details::log_msg msg(stamp ? stamp->time : spdlog::log_clock::now(), where, logger.name(), level,
                                         spdlog::string_view_t(text.data(), text.size()));
            if (stamp) msg.thread_id = stamp->thread_id;
            sink->log(msg);
        } catch (...) {
            rethrow_forced_unwind();
            if (!failure) {
                failure.sink = sink;
                failure.error = std::current_exception();
            }
        }
    }
    return failure;
}

bool reaches_a_sink(const spdlog::logger& logger, spdlog::level::level_enum level) {
    if (level >= spdlog::level::off || !logger.should_log(level)) return false;
    for (const auto& sink : logger.sinks()) {
        spdlog::sinks::sink* s = sink.get();
        while (s && s->should_log(level)) {
            auto* wrapper = dynamic_cast<spdlog_internal::MaxSinkLevel*>(s);
            if (!wrapper) return true;
            if (level > wrapper->max_level()) break;
            s = wrapper->get_sink().get();
        }
    }
    return false;
}

namespace {

// What a sink's pattern is known not to write.
enum Mark : unsigned char { kNoLocation = 1, kNoFields = 2 };

// The one T, made on first use with its `mutex` guarded across fork, and never destroyed.
template <class T>
T& never_destroyed() {
    static T* const made = [] {
        auto* t = new T();
        guard_across_fork(t->mutex, t);
        return t;
    }();
    return *made;
}

// Marked sinks. Held weakly: a sink made later at a freed one's address is not marked.
struct Marked {
    std::weak_ptr<spdlog::sinks::sink> sink;
    unsigned char marks = 0;
    bool expired() const { return sink.expired(); }
};

struct LocationFree {
    std::mutex mutex;
    std::unordered_map<const spdlog::sinks::sink*, Marked> sinks;
    std::atomic<unsigned> generation{0};
};

// Never destroyed: sinks may be destroyed during static destruction.
LocationFree& location_free() { return never_destroyed<LocationFree>(); }

// spdlog's flags that read msg.source, and the ones it knows that do not (its own and our custom %t
// and %K); anything else may be a custom flag.
bool flag_reads_location(char flag) {
    static constexpr std::string_view kWithout = "nlLtvaAbhBcCYDxmdHIMSefFEprRTXzP^$%uioOK";
    return kWithout.find(flag) == std::string_view::npos;
}

// Our %K writes the record's fields; spdlog's own flags do not, a custom one may.
bool flag_reads_fields(char flag) {
    static constexpr std::string_view kWithout = "nlLtvaAbhBcCYDxmdHIMSefFEprRTXzP^$%uioO@sg#!";
    return kWithout.find(flag) == std::string_view::npos;
}

// Whether a flag of `pattern` passes `reads`, as spdlog's pattern_formatter::compile_pattern_ and
// handle_padspec_ read a pattern.
bool any_flag(std::string_view pattern, bool (*reads)(char)) {
    const char* it = pattern.data();
    const char* end = it + pattern.size();
    while (it != end) {
        if (*it++ != '%') continue;
        if (it != end && (*it == '-' || *it == '=')) ++it;
        if (it != end && *it >= '0' && *it <= '9') {
            while (it != end && *it >= '0' && *it <= '9') ++it;
            if (it != end && *it == '!') ++it;
        }
        if (it == end) break;
        if (reads(*it++)) return true;
    }
    return false;
}

void mark(const std::shared_ptr<spdlog::sinks::sink>& sink, Mark m) {
    LocationFree& l = location_free();
    std::lock_guard<std::mutex> lock(l.mutex);
    std::erase_if(l.sinks, [](const auto& entry) { return entry.second.expired(); });
    Marked& entry = l.sinks[sink.get()];
    if (entry.expired()) entry = Marked{sink, 0};
    entry.marks |= m;
}

// Whether a sink of `logger` lacks mark `m`.
bool any_unmarked(const spdlog::logger& logger, Mark m) {
    LocationFree& l = location_free();
    std::lock_guard<std::mutex> lock(l.mutex);
    for (const auto& sink : logger.sinks()) {
        const auto found = l.sinks.find(innermost_sink(sink.get()));
        if (found == l.sinks.end() || found->second.expired() || !(found->second.marks & m)) return true;
    }
    return false;
}

}  // namespace

bool pattern_prints_location(std::string_view pattern) noexcept {
    if (pattern.empty()) return true;  // spdlog's default, %+
    return any_flag(pattern, flag_reads_location);
}

bool pattern_prints_fields(std::string_view pattern) noexcept { return any_flag(pattern, flag_reads_fields); }

void mark_location_free(const std::shared_ptr<spdlog::sinks::sink>& sink) { mark(sink, kNoLocation); }

void mark_fields_free(const std::shared_ptr<spdlog::sinks::sink>& sink) { mark(sink, kNoFields); }

void forget_location_free(const spdlog::sinks::sink* sink) noexcept {
    LocationFree& l = location_free();
    std::lock_guard<std::mutex> lock(l.mutex);
    if (l.sinks.erase(sink)) l.generation.fetch_add(1, std::memory_order_release);
}

bool prints_location(const spdlog::logger& logger) { return any_unmarked(logger, kNoLocation); }

bool prints_fields(const spdlog::logger& logger) { return any_unmarked(logger, kNoFields); }

unsigned location_generation() noexcept { return location_free().generation.load(std::memory_order_acquire); }

namespace {

// When each failing sink was last reported. The sink is held weakly, so a new sink that happens to
// reuse a freed one's address is not silenced.
struct Reported {
    std::weak_ptr<spdlog::sinks::sink> sink;
    std::chrono::steady_clock::time_point at;
};

struct Reports {
    std::mutex mutex;
    std::unordered_map<const spdlog::sinks::sink*, Reported> last;
};

// Never destroyed: writers may report during static destruction.
Reports& reports() { return never_destroyed<Reports>(); }

}  // namespace

bool due_for_report(const std::shared_ptr<spdlog::sinks::sink>& sink) noexcept {
    const auto now = std::chrono::steady_clock::now();
    try {
        Reports& r = reports();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto [it, inserted] = r.last.try_emplace(sink.get(), Reported{sink, now});
        if (inserted) {
            std::erase_if(r.last, [](const auto& entry) { return entry.second.sink.expired(); });
            return true;
        }
        Reported& last = it->second;
        if (last.sink.owner_before(sink) || sink.owner_before(last.sink) || now - last.at >= std::chrono::seconds(1)) {
            last = Reported{sink, now};
            return true;
        }
        return false;
    } catch (...) {  // no memory for the bookkeeping: report anyway
        rethrow_forced_unwind();
        return true;
    }
}

}  // namespace zelvar::libscrivo
