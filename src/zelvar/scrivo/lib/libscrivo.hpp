// libscrivo: process-wide logger construction and lookup on top of spdlog.
//
// Native extension modules link against libscrivo.so.0 and log through the
// loggers this library registers, so every module in the process shares one set
// of loggers and one default logger.  spdlog and fmt (the releases carried under
// third_party/) are compiled into every binary with hidden symbols: each module
// has a private copy of them, and of spdlog's registry, so loggers are reached
// through this library, never through spdlog's globals.  An outside module uses
// them header-only (carried_libraries.hpp) and is built against the headers of
// the zelvar it runs with.
//
// Levels
//   All level arguments are spdlog::level::level_enum values that may come from
//   arbitrary ints (e.g. -1 or 42).  The library only ever compares them, so an
//   out-of-range handler level simply lets everything (below 0) or nothing
//   (above critical) through.  The records you log must still carry levels
//   trace..off, because spdlog's own formatters index tables by record level.
//
// Errors
//   Everything the library throws derives from std::exception:
//     std::invalid_argument  bad argument (null pointer, zero size, ...)
//     std::ios_base::failure a log file cannot be opened; what() is spdlog's
//                            message (file name and errno text), code() holds
//                            the errno when it could be recovered
//     other std::exception   anything else spdlog reports
//   No call throws because a logger name is already taken.
//
// Threading
//   LoggerRegistry is thread-safe, and LoggerFactory::build registers safely
//   against other builds and lookups.  A LoggerFactory object itself is not
//   synchronised: use each one from a single thread at a time.
#pragma once

#include "carried_libraries.hpp"  // before any spdlog or fmt header

#include <spdlog/common.h>
#include <spdlog/formatter.h>
#include <spdlog/logger.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/sink.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "async_logger.hpp"
#include "console_sinks.hpp"
#include "daily_file_sink.hpp"
#include "export.hpp"
#include "file_sink.hpp"
#include "json_console_sink.hpp"
#include "json_formatter.hpp"
#include "record_fields.hpp"
#include "rotating_file_sink.hpp"
#include "sinks.hpp"
#include "syslog_sink.hpp"

namespace spdlog_internal {

// A sink that forwards a record to another sink only up to a maximum level,
// giving a handler a level band [level(), max_level()].
//
// The lower bound is this sink's own spdlog level (sink::level()), which the
// logger checks before calling log(); the factory sets the wrapped sink to the
// same level.  The wrapped sink's own level is honoured as well, so wrappers
// may nest and the tightest band wins.  Type information is exported, so other
// shared objects can dynamic_cast a logger's sinks to MaxSinkLevel and reach
// the real sink through get_sink().
class SCRIVO_API MaxSinkLevel : public spdlog::sinks::sink {
  public:
    // Starts at the wrapped sink's current level.  Throws std::invalid_argument
    // if `sink` is null.
    MaxSinkLevel(std::shared_ptr<spdlog::sinks::sink> sink, spdlog::level::level_enum max_level);
    ~MaxSinkLevel() override;

    // Forwards `msg` when msg.level <= max_level() and the wrapped sink accepts it.
    void log(const spdlog::details::log_msg& msg) override;
    void flush() override;
    void set_pattern(const std::string& pattern) override;
    void set_formatter(std::unique_ptr<spdlog::formatter> sink_formatter) override;

    std::shared_ptr<spdlog::sinks::sink> get_sink() const;
    spdlog::level::level_enum max_level() const;

  private:
    std::shared_ptr<spdlog::sinks::sink> sink_;
    spdlog::level::level_enum max_level_;
};

}  // namespace spdlog_internal

namespace zelvar::libscrivo {

// The real sink under any depth of MaxSinkLevel wrappers (the sink itself when it is not wrapped).
inline spdlog::sinks::sink* innermost_sink(spdlog::sinks::sink* sink) {
    while (auto* band = dynamic_cast<spdlog_internal::MaxSinkLevel*>(sink)) sink = band->get_sink().get();
    return sink;
}

// The SGR prefix of a colour code, the one rule for per-level colours and per-message colours:
// the basic foreground codes (30-37, 90-97) stand alone, any other code is a 256-colour index
// ("38;5;"); for a background the basic codes are 40-47 and 100-107, the index prefix "48;5;".
inline const char* foreground_prefix(int code) {
    return (code >= 30 && code <= 37) || (code >= 90 && code <= 97) ? "" : "38;5;";
}
inline const char* background_prefix(int code) {
    return (code >= 40 && code <= 47) || (code >= 100 && code <= 107) ? "" : "48;5;";
}

}  // namespace zelvar::libscrivo

// Collects a level, handlers (sinks) and console colours, then builds and
// registers a logger.  Cheap to construct and move.
//
// Every add_* call creates its sinks immediately, so file errors surface there.
// What would destroy data, emptying a file (`overwrite`) or removing old
// dated files (a daily file's `max_files`), waits for build(): each add_* only
// opens its file, and build() empties and prunes once every handler's file is
// open, so a failing add_* (or a build that fails on its name) leaves the
// files of the handlers before it as they were.  A caller that can check all
// its handlers first (the check_* functions) fails before any file is touched.
// Console sinks are spdlog's console sinks over one mutex per stream
// (console_sinks.hpp): with `color` true zelvar::libscrivo::std{out,err}_color_sink
// (colour only when the stream is a terminal), otherwise
// zelvar::libscrivo::std{out,err}_plain_sink; either way the escape-free
// plain sink when the environment refuses colour as the handler is added
// (NO_COLOR set and not empty, or TERM=dumb: colour_refused_by_environment).  Each sink gets the handler's pattern
// (an empty pattern keeps spdlog's default one; %t writes the thread id as
// written_thread_id does) and the handler's level as its minimum.  Handlers
// bounded above are a MaxSinkLevel around the real sink.
class SCRIVO_API LoggerFactory {
  public:
    // Empty: no sinks, logger level trace (the handlers do the filtering), no
    // colour overrides.
    LoggerFactory();

    // The logger's own level; records below it reach no handler.
    void set_level(spdlog::level::level_enum level);

    // Standard output, records from `level` up to `max_level` inclusive.
    void add_stdout_handler(bool color, const std::string& pattern, spdlog::level::level_enum level,
                            spdlog::level::level_enum max_level);

    // Standard error, records from `level` up.
    void add_stderr_handler(bool color, const std::string& pattern, spdlog::level::level_enum level);

    // Split console; adds two sinks, in this order:
    //   1. standard output for records from `min_level` up to `max_stdout_level`
    //      (a MaxSinkLevel around the stdout sink);
    //   2. standard error for records above `max_stdout_level` that are also at
    //      least `min_level`.
    // Every record from `min_level` up goes to exactly one of the two streams.
    void add_console_handler(bool color, const std::string& pattern, spdlog::level::level_enum max_stdout_level,
                             spdlog::level::level_enum min_level);

    // One standard-output sink for every record from `level` up.
    void add_basic_console_handler(bool color, const std::string& pattern, spdlog::level::level_enum level);

    // A plain file (a zelvar::libscrivo::FileSink); `overwrite` empties it (in
    // build()), otherwise records are appended.  Missing parent directories are
    // created.  Throws std::invalid_argument for a file name with a zero byte,
    // std::ios_base::failure if the file cannot be opened.
    void add_file_handler(const std::string& filename, const std::string& pattern, spdlog::level::level_enum level,
                          bool overwrite);

    // A file rotated by size: before a record would take `filename` past
    // `max_size` bytes, it becomes "<stem>.1<ext>", older ones shift up, and at
    // most `max_files` rotated files are kept.  Appends to an existing file.
    // A zelvar::libscrivo::RotatingFileSink.  Throws std::invalid_argument if
    // max_size is 0, max_files exceeds kMaxRotatedFiles or the file name has a
    // zero byte, std::ios_base::failure if the file cannot be opened.
    void add_rotating_file_handler(const std::string& filename, unsigned long max_size, unsigned long max_files,
                                   const std::string& pattern, spdlog::level::level_enum level);
    // The same; with `compress` each rotated file is gzipped in the background ("<stem>.1<ext>.gz",
    // RotatingFileSink says how), and `max_files` counts the compressed files.
    void add_rotating_file_handler(const std::string& filename, unsigned long max_size, unsigned long max_files,
                                   const std::string& pattern, spdlog::level::level_enum level, bool compress);
    static constexpr unsigned long kMaxRotatedFiles = 200000;

    // JSON lines (a zelvar::libscrivo::JsonFormatter) to a plain file, or with
    // `max_size` > 0 to a file rotated as add_rotating_file_handler does,
    // keeping `max_files` rotated files.  `overwrite` empties it (in build()).
    // Throws as add_file_handler and add_rotating_file_handler do.
    // A file named after a standard stream ("/dev/stdout", "/dev/fd/2", ...) that cannot be opened by
    // name (standard output a socket) names in its error the handler that writes to the stream itself.
    void add_json_file_handler(const std::string& filename, spdlog::level::level_enum level, bool overwrite,
                               unsigned long max_size, unsigned long max_files);

    // JSON lines as add_json_file_handler writes them, to standard output or standard error by its
    // descriptor, whatever it is (a zelvar::libscrivo::JsonConsoleSink): every record from `level` up.
    void add_json_stdout_handler(spdlog::level::level_enum level);
    void add_json_stderr_handler(spdlog::level::level_enum level);

    // A zelvar::libscrivo::SyslogSink: to the Unix datagram socket at `address`
    // when `port` is 0, otherwise to address:port over `protocol` ("udp" or
    // "tcp").  An empty `ident` means the logger's name.  `format` "rfc3164"
    // (the traditional one) or "rfc5424"; empty: the traditional format on
    // the local socket, RFC 5424 to a collector.  Connects nothing.
    void add_syslog_handler(const std::string& address, unsigned port, const std::string& facility,
                            const std::string& ident, const std::string& protocol, const std::string& pattern,
                            spdlog::level::level_enum level, const std::string& format = {});

    // A zelvar::libscrivo::DailyFileSink: a new dated file every day at
    // hour:minute local time, at most `max_files` of them kept (0: all; the
    // older ones are removed in build()).
    // Throws std::invalid_argument for hour outside 0..23, minute outside
    // 0..59 or a file name with a zero byte, std::ios_base::failure if the
    // file cannot be opened.
    void add_daily_file_handler(const std::string& filename, int hour, int minute, unsigned long max_files,
                                const std::string& pattern, spdlog::level::level_enum level);
    // The same; with `compress` each day's file is gzipped in the background once the next day's is
    // open ("<stem>_YYYY-MM-DD<ext>.gz"), and `max_files` counts the compressed files.
    void add_daily_file_handler(const std::string& filename, int hour, int minute, unsigned long max_files,
                                const std::string& pattern, spdlog::level::level_enum level, bool compress);

    // A sink made elsewhere (the logging module's Python callback sink), added as it is, with the
    // level it has.
    void add_sink(std::shared_ptr<spdlog::sinks::sink> sink);

    // A sink made by the caller, given `pattern` and `level` as every add_*_handler gives its sinks
    // (an empty pattern keeps the sink's formatter), so a new sink needs no method of its own here.
    // Throws std::invalid_argument for a null sink (or maker, or a maker that makes none).
    void add_sink(std::shared_ptr<spdlog::sinks::sink> sink, const std::string& pattern,
                  spdlog::level::level_enum level);

    // Makes a sink that writes a file; `destroy` true: one that empties or prunes what it finds.
    using SinkMaker = std::function<std::shared_ptr<spdlog::sinks::sink>(bool destroy)>;
    // A file sink that may destroy data, added as add_file_handler adds its own: make(false) now,
    // opening the file and destroying nothing, and when `destroys`, make(true) in its place in
    // build(), once every handler's file is open.  Each gets `pattern` and `level` as add_sink gives
    // them.
    void add_sink(const SinkMaker& make, bool destroys, const std::string& pattern, spdlog::level::level_enum level);

    // The argument checks of add_file_handler, add_rotating_file_handler,
    // add_json_file_handler, add_daily_file_handler and add_syslog_handler,
    // and of build()'s name, with the same exceptions: they touch nothing.
    static void check_file_handler(const std::string& filename);
    static void check_rotating_file_handler(const std::string& filename, unsigned long max_size,
                                            unsigned long max_files);
    static void check_json_file_handler(const std::string& filename, unsigned long max_size, unsigned long max_files);
    static void check_daily_file_handler(const std::string& filename, int hour, int minute);
    static void check_syslog_handler(const std::string& address, unsigned port, const std::string& facility,
                                     const std::string& ident, const std::string& protocol,
                                     const std::string& format = {});
    static void check_name(const std::string& name, bool make_default);

    // Per-level foreground colours (trace, debug, info, warn, error, critical)
    // for every colour console sink of this logger, applied by build(), so the
    // order relative to the add_* calls does not matter.  A later call replaces
    // all six.  Meaning of a code:
    //   30..37, 90..97   plain ANSI foreground:   ESC[<n>m
    //   other 0..255     256-colour foreground:   ESC[38;5;<n>m
    //   -1, or anything outside 0..255: keep the sink's default for that level
    void set_colors(int trace, int debug, int info, int warn, int error, int critical);

    // Builds a logger from the collected sinks (in add order) and level, and
    // registers it in spdlog's registry under `name` (spdlog::get finds it).
    // A logger already registered under `name` is replaced, never an error; if
    // that logger is the process default, the new one becomes the default too.
    // `make_default` true also makes it the process default
    // (LoggerRegistry::set_default).  The empty name denotes the default, so
    // build("", false) throws std::invalid_argument.
    //
    // On success the factory hands its sinks over and returns to the empty,
    // default-constructed state, ready for reuse; on failure it is unchanged.
    std::shared_ptr<spdlog::logger> build(const std::string& name, bool make_default);
    // The same, building a zelvar::libscrivo::AsyncLogger with that queue.  Throws
    // std::invalid_argument for a queue_size of 0 or above AsyncLogger::kMaxQueueSize.
    std::shared_ptr<spdlog::logger> build(const std::string& name, bool make_default, std::size_t queue_size,
                                          zelvar::libscrivo::AsyncLogger::Overflow overflow);

  private:
    template <class Make>
    std::shared_ptr<spdlog::logger> build_with(const std::string& name, bool make_default, Make&& make);

    // Adds make(false), a sink that opens its file and destroys nothing; when `destroys`, build()
    // puts make(true) (the same file, emptied or pruned) in its place.
    void add_opened(const SinkMaker& make, bool destroys);

    spdlog::level::level_enum level_;
    std::vector<std::shared_ptr<spdlog::sinks::sink>> sinks_;
    std::vector<std::pair<std::size_t, SinkMaker>> deferred_;  // index in sinks_, maker
    std::array<int, 6> colors_;
};

// Process-wide logger lookup; all functions are thread-safe.  The process
// default is spdlog's own default logger, so spdlog::default_logger() and this
// registry always agree.
class SCRIVO_API LoggerRegistry {
  public:
    LoggerRegistry() = delete;

    // Makes `logger` the process default and registers it under its name,
    // replacing a logger of that name.  The previous default stays registered
    // under its own (non-empty) name unless `logger` took that name.  Throws
    // std::invalid_argument for a null pointer: a process without a default
    // would turn every default-logger call site into a null check.
    static void set_default(std::shared_ptr<spdlog::logger> logger);

    // The empty name means the process default; before any set_default that is
    // spdlog's initial default logger (colour standard output).  This path does
    // a single registry lookup and no allocation, so it suits per-record calls.
    //
    // A non-empty name is looked up in spdlog's registry.  If it is not there:
    // with `create_if_missing` true, a logger of that name with one colour
    // standard-output sink, logger and sink at level trace, is created once
    // (concurrent callers all get the same object), registered and returned;
    // with false, an empty pointer is returned.  The same holds for the empty
    // name if the default was dropped through spdlog directly: true installs a
    // fresh default of that kind.
    static std::shared_ptr<spdlog::logger> get_logger(const std::string& name, bool create_if_missing);

    // Changes whenever the process default is replaced (only this library reaches spdlog's
    // registry): a caller may keep the default get_logger("") gave while this stays the same.
    static unsigned default_generation() noexcept;

    // spdlog's own registry lookup (spdlog::get) done inside this library: a module built with
    // its own hidden copy of spdlog has a registry of its own, which holds none of these loggers.
    static std::shared_ptr<spdlog::logger> find(const std::string& name);

    // Unregisters `logger` if the registry holds it under its name, it is not the default and
    // nobody but the caller (with one reference) and the registry holds it, so that the caller's
    // release ends it: a logger nobody uses any more does not keep its files (and writer) for the
    // life of the process.
    static void release(const std::shared_ptr<spdlog::logger>& logger);

  private:
    friend class LoggerFactory;
    // Registers `logger` under its name, replacing any holder, and installs it
    // as the default when asked or when it replaces the default.
    static void install(std::shared_ptr<spdlog::logger> logger, bool make_default);
};

// A logger handle held by value by language bindings.  The shared pointer is
// the only state, so copies are cheap and share the logger.
struct SCRIVO_API SpdLogger {
    std::shared_ptr<spdlog::logger> logger;

    SpdLogger() = default;
    SpdLogger(std::shared_ptr<spdlog::logger> l) : logger(std::move(l)) {}

    explicit operator bool() const noexcept { return static_cast<bool>(logger); }
    spdlog::logger* get() const noexcept { return logger.get(); }
    spdlog::logger* operator->() const noexcept { return logger.get(); }
};
