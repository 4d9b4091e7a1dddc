#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <spdlog/details/console_globals.h>
#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <algorithm>
#include <climits>
#include <ios>
#include <stdexcept>
#include <string>
#include <utility>

namespace lib = zelvar::libscrivo;

namespace {

using spdlog::level::level_enum;
using SinkPtr = std::shared_ptr<spdlog::sinks::sink>;
using ColorSink = spdlog::sinks::ansicolor_sink<spdlog::details::console_mutex>;

constexpr int kNoColor = -1;

SinkPtr make_stdout_sink(bool color) { return lib::make_console_sink(stdout, color); }

SinkPtr make_stderr_sink(bool color) { return lib::make_console_sink(stderr, color); }

std::string color_code(int code) {
    return "\033[" + std::string(lib::foreground_prefix(code)) + std::to_string(code) + "m";
}

// An empty pattern would print empty lines; keep spdlog's default instead.
SinkPtr configured(SinkPtr sink, const std::string& pattern, level_enum level) {
    if (!pattern.empty()) {
        sink->set_formatter(lib::make_pattern_formatter(pattern));
        if (!lib::pattern_prints_location(pattern)) lib::mark_location_free(sink);
        if (!lib::pattern_prints_fields(pattern) && !dynamic_cast<lib::SyslogSink*>(sink.get()))
            lib::mark_fields_free(sink);  // structured data carries them whatever the pattern
    }
    sink->set_level(level);
    return sink;
}

// The wrapper takes over the wrapped sink's level as its lower bound.
SinkPtr bounded(SinkPtr sink, level_enum max_level) {
    return std::make_shared<spdlog_internal::MaxSinkLevel>(std::move(sink), max_level);
}

// Sets the colour of `level` on a colour console sink; false for any other sink.
bool set_sink_color(spdlog::sinks::sink* sink, level_enum level, const std::string& code) {
    sink = lib::innermost_sink(sink);
    if (auto* out = dynamic_cast<spdlog::sinks::ansicolor_sink<lib::stdout_console_mutex>*>(sink)) {
        out->set_color(level, code);
    } else if (auto* err = dynamic_cast<spdlog::sinks::ansicolor_sink<lib::stderr_console_mutex>*>(sink)) {
        err->set_color(level, code);
    } else if (auto* shared = dynamic_cast<ColorSink*>(sink)) {
        shared->set_color(level, code);
    } else {
        return false;
    }
    return true;
}

}  // namespace

LoggerFactory::LoggerFactory()
    : level_(spdlog::level::trace), colors_{kNoColor, kNoColor, kNoColor, kNoColor, kNoColor, kNoColor} {}

void LoggerFactory::set_level(level_enum level) { level_ = level; }

void LoggerFactory::add_stdout_handler(bool color, const std::string& pattern, level_enum level, level_enum max_level) {
    sinks_.push_back(bounded(configured(make_stdout_sink(color), pattern, level), max_level));
}

void LoggerFactory::add_stderr_handler(bool color, const std::string& pattern, level_enum level) {
    sinks_.push_back(configured(make_stderr_sink(color), pattern, level));
}

void LoggerFactory::add_console_handler(bool color, const std::string& pattern, level_enum max_stdout_level,
                                        level_enum min_level) {
    // Wide arithmetic: max_stdout_level may be INT_MAX, and no level lies above that.
    const long long above_stdout = static_cast<long long>(max_stdout_level) + 1;
    const auto err_level =
        static_cast<level_enum>(std::min<long long>(std::max<long long>(min_level, above_stdout), INT_MAX));
    // Both sinks exist before either is added, so a failure adds neither.
    auto out = bounded(configured(make_stdout_sink(color), pattern, min_level), max_stdout_level);
    auto err = configured(make_stderr_sink(color), pattern, err_level);
    sinks_.reserve(sinks_.size() + 2);
    sinks_.push_back(std::move(out));
    sinks_.push_back(std::move(err));
}

void LoggerFactory::add_basic_console_handler(bool color, const std::string& pattern, level_enum level) {
    sinks_.push_back(configured(make_stdout_sink(color), pattern, level));
}

void LoggerFactory::add_sink(std::shared_ptr<spdlog::sinks::sink> sink) { sinks_.push_back(std::move(sink)); }

namespace {

SinkPtr non_null(SinkPtr sink) {
    if (!sink) throw std::invalid_argument("LoggerFactory::add_sink: null sink");
    return sink;
}

}  // namespace

void LoggerFactory::add_sink(std::shared_ptr<spdlog::sinks::sink> sink, const std::string& pattern, level_enum level) {
    sinks_.push_back(configured(non_null(std::move(sink)), pattern, level));
}

void LoggerFactory::add_sink(const SinkMaker& make, bool destroys, const std::string& pattern, level_enum level) {
    if (!make) throw std::invalid_argument("LoggerFactory::add_sink: no sink maker");
    add_opened([=](bool destroy) { return configured(non_null(make(destroy)), pattern, level); }, destroys);
}

void LoggerFactory::add_opened(const SinkMaker& make, bool destroys) {
    if (destroys) deferred_.reserve(deferred_.size() + 1);  // nothing can fail once the sink is added
    sinks_.push_back(make(false));
    if (destroys) deferred_.emplace_back(sinks_.size() - 1, make);
}

void LoggerFactory::check_file_handler(const std::string& filename) { lib::FileSink::check_name(filename); }

void LoggerFactory::add_file_handler(const std::string& filename, const std::string& pattern, level_enum level,
                                     bool overwrite) {
    check_file_handler(filename);
    add_sink([=](bool destroy) { return std::make_shared<lib::FileSink>(filename, destroy); }, overwrite, pattern,
             level);
}

void LoggerFactory::check_rotating_file_handler(const std::string& filename, unsigned long max_size,
                                                unsigned long max_files) {
    if (max_size == 0) {
        throw std::invalid_argument("rotating file handler: max_size must be greater than 0");
    }
    if (max_files > kMaxRotatedFiles) {
        throw std::invalid_argument("rotating file handler: max_files must not exceed " +
                                    std::to_string(kMaxRotatedFiles));
    }
    lib::FileSink::check_name(filename);
}

void LoggerFactory::add_rotating_file_handler(const std::string& filename, unsigned long max_size,
                                              unsigned long max_files, const std::string& pattern, level_enum level) {
    add_rotating_file_handler(filename, max_size, max_files, pattern, level, false);
}

void LoggerFactory::add_rotating_file_handler(const std::string& filename, unsigned long max_size,
                                              unsigned long max_files, const std::string& pattern, level_enum level,
                                              bool compress) {
    check_rotating_file_handler(filename, max_size, max_files);
    sinks_.push_back(configured(std::make_shared<lib::RotatingFileSink>(filename, max_size, max_files, false, compress),
                                pattern, level));
}

void LoggerFactory::check_json_file_handler(const std::string& filename, unsigned long max_size,
                                            unsigned long max_files) {
    if (max_size > 0 && max_files > kMaxRotatedFiles) {
        throw std::invalid_argument("json file handler: max_files must not exceed " + std::to_string(kMaxRotatedFiles));
    }
    lib::FileSink::check_name(filename);
}

namespace {

// The handler that writes JSON lines to the standard stream `filename` names, or null.
const char* json_console_handler_for(const std::string& filename) {
    for (const char* name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
        if (filename == name) return "JsonStdoutHandler";
    }
    for (const char* name : {"/dev/stderr", "/dev/fd/2", "/proc/self/fd/2"}) {
        if (filename == name) return "JsonStderrHandler";
    }
    return nullptr;
}

}  // namespace

void LoggerFactory::add_json_file_handler(const std::string& filename, level_enum level, bool overwrite,
                                          unsigned long max_size, unsigned long max_files) {
    check_json_file_handler(filename, max_size, max_files);
    add_opened(
        [=](bool destroy) {
            SinkPtr sink;
            try {
                if (max_size > 0) {
                    sink = std::make_shared<lib::RotatingFileSink>(filename, max_size, max_files, destroy);
                } else {
                    sink = std::make_shared<lib::FileSink>(filename, destroy);
                }
            } catch (const std::ios_base::failure& e) {
                // A stream that is a socket has no device to open by name; its own handler writes to it.
                const char* instead = json_console_handler_for(filename);
                if (!instead) throw;
                std::string text = e.what();
                const std::string reason = ": " + e.code().message();
                if (text.ends_with(reason)) text.resize(text.size() - reason.size());
                throw std::ios_base::failure(text + " (use " + instead + ", which writes to the stream whatever it is)",
                                             e.code());
            }
            sink->set_formatter(std::make_unique<lib::JsonFormatter>());
            sink->set_level(level);
            return sink;
        },
        overwrite);
}

void LoggerFactory::add_json_stdout_handler(level_enum level) {
    SinkPtr sink = std::make_shared<lib::JsonConsoleSink>(stdout);
    sink->set_level(level);
    sinks_.push_back(std::move(sink));
}

void LoggerFactory::add_json_stderr_handler(level_enum level) {
    SinkPtr sink = std::make_shared<lib::JsonConsoleSink>(stderr);
    sink->set_level(level);
    sinks_.push_back(std::move(sink));
}

void LoggerFactory::check_syslog_handler(const std::string& address, unsigned port, const std::string& facility,
                                         const std::string& ident, const std::string& protocol,
                                         const std::string& format) {
    // The sink connects nothing when it is made, so making one is its check.
    (void)lib::SyslogSink(address, port > 65535 ? -1 : static_cast<int>(port), facility, ident, protocol, format);
}

void LoggerFactory::add_syslog_handler(const std::string& address, unsigned port, const std::string& facility,
                                       const std::string& ident, const std::string& protocol,
                                       const std::string& pattern, level_enum level, const std::string& format) {
    const int checked_port = port > 65535 ? -1 : static_cast<int>(port);  // the sink refuses it
    sinks_.push_back(configured(
        std::make_shared<lib::SyslogSink>(address, checked_port, facility, ident, protocol, format), pattern, level));
}

void LoggerFactory::check_daily_file_handler(const std::string& filename, int hour, int minute) {
    lib::DailyFileSink::check(filename, hour, minute);
}

void LoggerFactory::add_daily_file_handler(const std::string& filename, int hour, int minute, unsigned long max_files,
                                           const std::string& pattern, level_enum level) {
    add_daily_file_handler(filename, hour, minute, max_files, pattern, level, false);
}

void LoggerFactory::add_daily_file_handler(const std::string& filename, int hour, int minute, unsigned long max_files,
                                           const std::string& pattern, level_enum level, bool compress) {
    check_daily_file_handler(filename, hour, minute);
    const auto when = spdlog::log_clock::now();  // the opened file and the pruning one are the same day's
    add_opened(
        [=](bool destroy) {
            return configured(
                std::make_shared<lib::DailyFileSink>(filename, hour, minute, destroy ? max_files : 0, when, compress),
                pattern, level);
        },
        max_files > 0);
}

void LoggerFactory::set_colors(int trace, int debug, int info, int warn, int error, int critical) {
    colors_ = {trace, debug, info, warn, error, critical};
}

std::shared_ptr<spdlog::logger> LoggerFactory::build(const std::string& name, bool make_default) {
    return build_with(name, make_default,
                      [&] { return std::make_shared<spdlog::logger>(name, sinks_.begin(), sinks_.end()); });
}

std::shared_ptr<spdlog::logger> LoggerFactory::build(const std::string& name, bool make_default, std::size_t queue_size,
                                                     lib::AsyncLogger::Overflow overflow) {
    return build_with(name, make_default,
                      [&] { return std::make_shared<lib::AsyncLogger>(name, sinks_, queue_size, overflow); });
}

void LoggerFactory::check_name(const std::string& name, bool make_default) {
    if (name.empty() && !make_default) {
        throw std::invalid_argument("an unnamed logger denotes the process default; build it with make_default");
    }
}

template <class Make>
std::shared_ptr<spdlog::logger> LoggerFactory::build_with(const std::string& name, bool make_default, Make&& make) {
    check_name(name, make_default);

    // Every handler's file is open: now the ones that empty or prune files take their place.
    for (const auto& [index, remake] : deferred_) sinks_[index] = remake(true);
    deferred_.clear();

    // Re-applying colours is idempotent, so doing it before anything that can
    // fail keeps a failed build retryable.
    for (const auto& sink : sinks_) {
        for (int lvl = spdlog::level::trace; lvl <= spdlog::level::critical; ++lvl) {
            const int code = colors_[static_cast<std::size_t>(lvl)];
            if (code >= 0 && code <= 255 &&
                !set_sink_color(sink.get(), static_cast<level_enum>(lvl), color_code(code))) {
                break;
            }
        }
    }

    std::shared_ptr<spdlog::logger> logger = make();
    logger->set_level(level_);
    LoggerRegistry::install(logger, make_default);
    *this = LoggerFactory();
    return logger;
}
