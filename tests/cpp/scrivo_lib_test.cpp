#include <zelvar/scrivo/lib/fast_pattern_formatter.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <gtest/gtest.h>
// The library's own copy of its console sinks is hidden: the test calls them through its own.
#include <spdlog/sinks/ansicolor_sink-inl.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string_view>
#include <thread>
#include <typeinfo>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace {

namespace fs = std::filesystem;
using spdlog::level::level_enum;
using spdlog_internal::MaxSinkLevel;
using OutColorSink = spdlog::sinks::ansicolor_sink<zelvar::libscrivo::stdout_console_mutex>;
using ErrColorSink = spdlog::sinks::ansicolor_sink<zelvar::libscrivo::stderr_console_mutex>;

// Taken during static initialisation, before any test can touch the default.
const std::shared_ptr<spdlog::logger> g_initial_default = LoggerRegistry::get_logger("", false);

level_enum lvl(int value) { return static_cast<level_enum>(value); }

std::string unique_name(const std::string& prefix) {
    static std::atomic<int> counter{0};
    return prefix + "-" + std::to_string(counter++);
}

struct TempDir {
    fs::path path;
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "scrivo-test-XXXXXX").string();
        path = ::mkdtemp(tmpl.data());
    }
    ~TempDir() { fs::remove_all(path); }
};

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Restores the process default, so tests that change it stay independent.
struct DefaultGuard {
    std::shared_ptr<spdlog::logger> saved = LoggerRegistry::get_logger("", false);
    ~DefaultGuard() { LoggerRegistry::set_default(saved); }
};

spdlog::sinks::sink* unwrap(spdlog::sinks::sink* sink) {
    while (auto* wrapper = dynamic_cast<MaxSinkLevel*>(sink)) sink = wrapper->get_sink().get();
    return sink;
}

// Logs one "%l"-formatted record per level trace..critical; returns {stdout, stderr}.
std::pair<std::string, std::string> capture_every_level(spdlog::logger& logger) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (int level = spdlog::level::trace; level <= spdlog::level::critical; ++level) logger.log(lvl(level), "x");
    std::fflush(nullptr);
    auto out = testing::internal::GetCapturedStdout();
    return {out, testing::internal::GetCapturedStderr()};
}

// What capture_every_level shows on a stream that takes records of levels lo..hi.
std::string band(int lo, int hi) {
    std::string s;
    for (int level = std::max(lo, 0); level <= std::min(hi, 5); ++level) {
        s += fmt::format("{}\n", spdlog::level::to_string_view(lvl(level)));
    }
    return s;
}

// ---------------------------------------------------------------- console handlers

enum class Kind { out, err, console, basic };
struct ConsoleCase {
    const char* name;
    Kind kind;
    int a, b;  // the handler's two level arguments, in signature order
    int logger_level;
    int out_lo, out_hi, err_lo, err_hi;  // record levels expected on each stream
};

constexpr int kNone = 99;
const ConsoleCase kConsoleCases[] = {
    {"stdout_band", Kind::out, 2, 3, 0, 2, 3, kNone, 0},
    {"stdout_out_of_range", Kind::out, -1, 42, 0, 0, 5, kNone, 0},
    {"stderr_from", Kind::err, 4, 0, 0, kNone, 0, 4, 5},
    {"stderr_above_all", Kind::err, 42, 0, 0, kNone, 0, kNone, 0},
    {"console_split", Kind::console, 2, 1, 0, 1, 2, 3, 5},
    {"console_min_above_max", Kind::console, 1, 3, 0, kNone, 0, 3, 5},
    {"console_max_out_of_range", Kind::console, 42, -1, 0, 0, 5, kNone, 0},
    {"console_max_int_max", Kind::console, INT_MAX, 4, 0, 4, 5, kNone, 0},
    {"basic", Kind::basic, 3, 0, 0, 3, 5, kNone, 0},
    {"logger_level", Kind::basic, 0, 0, 4, 4, 5, kNone, 0},
};

class ConsoleHandler : public testing::TestWithParam<std::tuple<ConsoleCase, bool>> {};

TEST_P(ConsoleHandler, ProducesTheDocumentedSinksAndFilters) {
    const auto& [c, color] = GetParam();
    LoggerFactory factory;
    factory.set_level(lvl(c.logger_level));
    switch (c.kind) {
        case Kind::out:
            factory.add_stdout_handler(color, "%l", lvl(c.a), lvl(c.b));
            break;
        case Kind::err:
            factory.add_stderr_handler(color, "%l", lvl(c.a));
            break;
        case Kind::console:
            factory.add_console_handler(color, "%l", lvl(c.a), lvl(c.b));
            break;
        case Kind::basic:
            factory.add_basic_console_handler(color, "%l", lvl(c.a));
            break;
    }
    auto logger = factory.build(unique_name("console"), false);

    // {is stdout, wrapped in MaxSinkLevel} per sink, in add order
    std::vector<std::pair<bool, bool>> want;
    if (c.kind != Kind::err) want.emplace_back(true, c.kind != Kind::basic);
    if (c.kind == Kind::err || c.kind == Kind::console) want.emplace_back(false, false);
    ASSERT_EQ(logger->sinks().size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        auto* sink = logger->sinks()[i].get();
        EXPECT_EQ(dynamic_cast<MaxSinkLevel*>(sink) != nullptr, want[i].second) << i;
        const std::type_info& type = typeid(*unwrap(sink));
        if (want[i].first) {
            EXPECT_EQ(type, color ? typeid(zelvar::libscrivo::stdout_color_sink)
                                  : typeid(zelvar::libscrivo::stdout_plain_sink));
        } else {
            EXPECT_EQ(type, color ? typeid(zelvar::libscrivo::stderr_color_sink)
                                  : typeid(zelvar::libscrivo::stderr_plain_sink));
        }
        EXPECT_TRUE(zelvar::libscrivo::is_console_sink(sink));
        // Escapes would otherwise depend on whether the test runs on a terminal.
        if (auto* colored = dynamic_cast<OutColorSink*>(unwrap(sink)))
            colored->set_color_mode(spdlog::color_mode::never);
        if (auto* colored = dynamic_cast<ErrColorSink*>(unwrap(sink)))
            colored->set_color_mode(spdlog::color_mode::never);
    }
    const auto [out, err] = capture_every_level(*logger);
    EXPECT_EQ(out, band(c.out_lo, c.out_hi));
    EXPECT_EQ(err, band(c.err_lo, c.err_hi));
}

INSTANTIATE_TEST_SUITE_P(All, ConsoleHandler, testing::Combine(testing::ValuesIn(kConsoleCases), testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_color" : "");
                         });

class Colors : public testing::TestWithParam<bool> {};

TEST_P(Colors, CodesReachEveryColorSinkWhateverTheOrder) {
    LoggerFactory factory;
    auto set = [&] { factory.set_colors(-1, 37, 97, 208, 300, 0); };
    if (GetParam()) set();
    factory.add_console_handler(true, "%^%l%$", spdlog::level::info, spdlog::level::trace);
    if (!GetParam()) set();
    auto logger = factory.build(unique_name("colors"), false);

    auto* out_sink = dynamic_cast<OutColorSink*>(unwrap(logger->sinks()[0].get()));
    auto* err_sink = dynamic_cast<ErrColorSink*>(unwrap(logger->sinks()[1].get()));
    ASSERT_NE(out_sink, nullptr);
    ASSERT_NE(err_sink, nullptr);
    out_sink->set_color_mode(spdlog::color_mode::always);
    err_sink->set_color_mode(spdlog::color_mode::always);
    const auto [out, err] = capture_every_level(*logger);
    const OutColorSink& defaults = *out_sink;
    auto colored = [&](spdlog::string_view_t code, level_enum level) {
        return fmt::format("{}{}{}\n", code, spdlog::level::to_string_view(level), defaults.reset);
    };
    EXPECT_EQ(out, colored(defaults.white, spdlog::level::trace) + colored("\033[37m", spdlog::level::debug) +
                       colored("\033[97m", spdlog::level::info));
    EXPECT_EQ(err, colored("\033[38;5;208m", spdlog::level::warn) + colored(defaults.red_bold, spdlog::level::err) +
                       colored("\033[38;5;0m", spdlog::level::critical));
}

INSTANTIATE_TEST_SUITE_P(SetBeforeOrAfterAdd, Colors, testing::Bool());

// ---------------------------------------------------------------- files

// A sink handed to add_sink with a pattern and level gets them as add_file_handler's own does.
TEST(FileHandler, OverwriteTruncatesOtherwiseAppends) {
    TempDir dir;
    for (bool overwrite : {true, false})
        for (bool handed : {false, true}) {
            SCOPED_TRACE(handed ? "add_sink" : "add_file_handler");
            const auto path = dir.path / fmt::format("{}{}.log", overwrite ? "t" : "a", handed ? "h" : "");
            std::ofstream(path) << "old\n";
            LoggerFactory factory;
            if (handed) {
                const auto make = [name = path.string()](bool destroy) {
                    return std::make_shared<zelvar::libscrivo::FileSink>(name, destroy);
                };
                factory.add_sink(make, overwrite, "%l %v", spdlog::level::warn);
            } else {
                factory.add_file_handler(path.string(), "%l %v", spdlog::level::warn, overwrite);
            }
            EXPECT_EQ(read_file(path), "old\n") << overwrite;  // emptied only by build()
            auto logger = factory.build(unique_name("file"), false);
            EXPECT_NE(dynamic_cast<zelvar::libscrivo::FileSink*>(logger->sinks().at(0).get()), nullptr);
            EXPECT_FALSE(zelvar::libscrivo::prints_location(*logger));  // the pattern's marks were made
            EXPECT_FALSE(zelvar::libscrivo::prints_fields(*logger));
            EXPECT_EQ(read_file(path), overwrite ? "" : "old\n") << overwrite;
            logger->info("dropped");
            logger->warn("kept");  // written through: in the file when the call returns
            EXPECT_EQ(read_file(path), std::string(overwrite ? "" : "old\n") + "warning kept\n") << overwrite;
            zelvar::libscrivo::set_file_flush_interval(*logger, std::chrono::hours(1));
            logger->warn("held");
            EXPECT_EQ(read_file(path), std::string(overwrite ? "" : "old\n") + "warning kept\n") << overwrite;
            logger->flush();
            EXPECT_EQ(read_file(path), std::string(overwrite ? "" : "old\n") + "warning kept\nwarning held\n")
                << overwrite;
        }
}

TEST(FileHandler, RotatesAtMaxSizeKeepingMaxFiles) {
    TempDir dir;
    constexpr std::size_t kMaxSize = 64, kLine = 10;  // records are "rec-NNNNN\n"
    constexpr int kRecords = 30;
    LoggerFactory factory;
    factory.add_rotating_file_handler((dir.path / "log.txt").string(), kMaxSize, 2, "%v", lvl(0));
    auto logger = factory.build(unique_name("rotating"), false);
    EXPECT_NE(dynamic_cast<zelvar::libscrivo::RotatingFileSink*>(logger->sinks().at(0).get()), nullptr);
    for (int i = 0; i < kRecords; ++i) logger->info("rec-{:05}", i);
    logger->flush();

    EXPECT_FALSE(fs::exists(dir.path / "log.3.txt"));
    std::string kept;
    for (const char* file : {"log.2.txt", "log.1.txt", "log.txt"}) {
        const std::string text = read_file(dir.path / file);
        EXPECT_LE(text.size(), kMaxSize) << file;
        if (file != std::string("log.txt")) {
            EXPECT_EQ(text.size(), kMaxSize / kLine * kLine) << file;  // rotated files are full
        }
        kept += text;
    }
    // The newest records survive, in order, without gaps.
    std::string newest;
    for (int i = kRecords - static_cast<int>(kept.size() / kLine); i < kRecords; ++i)
        newest += fmt::format("rec-{:05}\n", i);
    EXPECT_EQ(kept, newest);
}

// ---------------------------------------------------------------- JSON lines and daily files

struct JsonCase {
    const char* name;
    std::string payload;
    const char* expected;  // the "message" value as written
};

const JsonCase kJsonCases[] = {
    {"escapes", "q\" b\\ n\n t\t r\r c\x01\x1f del\x7f",
     R"("q\" b\\ n\n t\t r\r c\u0001\u001f del)"
     "\x7f\""},
    {"zero_byte", std::string("a\0b", 3), R"("a\u0000b")"},
    {"valid_utf8", "\xC3\xA9 \xE2\x88\x91 \xF0\x9F\x98\x80", "\"\xC3\xA9 \xE2\x88\x91 \xF0\x9F\x98\x80\""},
    {"separators", "\xE2\x80\xA8\xE2\x80\xA9", R"("\u2028\u2029")"},
    {"stray_bytes",
     "a\xFF"
     "b\x80",
     "\"a\xEF\xBF\xBD"
     "b\xEF\xBF\xBD\""},
    {"truncated", "\xE2\x88", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
    {"overlong", "\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
    {"surrogate", "\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
    {"past_max", "\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
};

class Json : public testing::TestWithParam<JsonCase> {};
INSTANTIATE_TEST_SUITE_P(Formatter, Json, testing::ValuesIn(kJsonCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(Json, MessagesAreValidJsonStrings) {
    const auto& c = GetParam();
    spdlog::memory_buf_t out;
    zelvar::libscrivo::JsonFormatter::append_string(c.payload, out);
    EXPECT_EQ(std::string(out.data(), out.size()), c.expected);
}

TEST(Json, WholeRecordWithAndWithoutSourceLocation) {
    zelvar::libscrivo::JsonFormatter formatter;
    const auto when = spdlog::log_clock::time_point(std::chrono::microseconds(1765152000123456LL));
    spdlog::details::log_msg with(when, spdlog::source_loc{"dir/a\"b.cpp", 12, "f"}, "n", spdlog::level::warn, "m");
    with.thread_id = 77;
    spdlog::details::log_msg without(when, spdlog::source_loc{}, "n", spdlog::level::trace, "m");
    without.thread_id = 78;
    const std::string pid = std::to_string(::getpid());
    for (auto [msg, expected] :
         {std::pair{&with, R"({"time":"2025-12-08T00:00:00.123456Z","level":"warning","logger":"n",)"
                           R"("message":"m","file":"dir/a\"b.cpp","line":12,"thread":77,"pid":)" +
                               pid + "}\n"},
          std::pair{&without, R"({"time":"2025-12-08T00:00:00.123456Z","level":"trace","logger":"n",)"
                              R"("message":"m","file":null,"line":null,"thread":78,"pid":)" +
                                  pid + "}\n"}}) {
        spdlog::memory_buf_t out;
        formatter.format(*msg, out);
        EXPECT_EQ(std::string(out.data(), out.size()), expected);
    }
}

TEST(DailyFile, RecordsPastTheDayBoundaryStartTheNextFileAndOldOnesArePruned) {
    TempDir dir;
    const auto base = (dir.path / "app.log").string();
    // The day starts two minutes from now, so "now" still belongs to the day that began yesterday.
    const auto now = spdlog::log_clock::now();
    const std::time_t later = spdlog::log_clock::to_time_t(now + std::chrono::minutes(2));
    std::tm tm{};
    localtime_r(&later, &tm);
    zelvar::libscrivo::DailyFileSink sink(base, tm.tm_hour, tm.tm_min, 2);
    sink.set_pattern("%v");
    const auto at = [&](std::chrono::minutes offset, const char* text) {
        sink.log(spdlog::details::log_msg(now + offset, spdlog::source_loc{}, "d", spdlog::level::info, text));
    };
    at(std::chrono::minutes(0), "first day");
    at(std::chrono::minutes(3), "second day");
    at(std::chrono::hours(24) + std::chrono::minutes(3), "third day");
    sink.flush();
    const auto first = sink.file_for(now);
    const auto second = sink.file_for(now + std::chrono::minutes(3));
    const auto third = sink.file_for(now + std::chrono::hours(24) + std::chrono::minutes(3));
    EXPECT_NE(first, second);
    EXPECT_NE(second, third);
    EXPECT_FALSE(fs::exists(first));  // at most two dated files are kept
    EXPECT_EQ(read_file(second), "second day\n");
    EXPECT_EQ(read_file(third), "third day\n");
    EXPECT_EQ(sink.filename(), third);
    EXPECT_THROW(zelvar::libscrivo::DailyFileSink(base, 24, 0, 0), std::invalid_argument);
    EXPECT_THROW(zelvar::libscrivo::DailyFileSink(base, 0, 60, 0), std::invalid_argument);
}

TEST(Syslog, LongRecordIsOneDatagramCutAtAUtf8Boundary) {
    const int rx = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(rx, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(rx, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::getsockname(rx, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    timeval timeout{5, 0};
    ::setsockopt(rx, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    zelvar::libscrivo::SyslogSink sink("127.0.0.1", ntohs(addr.sin_port), "local0", "app", "udp");
    sink.set_pattern("%v");
    std::string payload = "a";
    for (int i = 0; i < 40000; ++i) payload += "\xC3\xA9";  // two bytes each: the cut must not split one
    sink.log(spdlog::details::log_msg("n", spdlog::level::warn, payload));
    sink.log(spdlog::details::log_msg("n", spdlog::level::info, "short"));
    std::string got(70000, '\0');
    for (const char* expect : {"long", "short"}) {
        const ssize_t n = ::recv(rx, got.data(), got.size(), 0);
        ASSERT_GT(n, 0) << expect;
        const std::string message = got.substr(0, static_cast<std::size_t>(n));
        const std::size_t body = message.find(" - - ") + 5;
        EXPECT_EQ(message.substr(0, 7), std::string(expect) == "long" ? "<132>1 " : "<134>1 ");
        EXPECT_NE(message.find(" app " + std::to_string(::getpid()) + " - - "), std::string::npos);
        if (std::string(expect) == "long") {
            EXPECT_LE(message.size(), zelvar::libscrivo::SyslogSink::kMaxDatagram);
            EXPECT_GE(message.size(), zelvar::libscrivo::SyslogSink::kMaxDatagram - 1);
            EXPECT_EQ((message.size() - body - 1) % 2, 0u);  // whole two-byte characters after "a"
            EXPECT_EQ(message.substr(body), payload.substr(0, message.size() - body));
        } else {
            EXPECT_EQ(message.substr(body), "short");
        }
    }
    EXPECT_EQ(sink.dropped(), 0u);
    ::close(rx);
}

// The traditional format as syslog(3) writes it (the day padded with a space), the host only to a collector.
TEST(Syslog, TraditionalFormat) {
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 5;
    when.tm_hour = 7;
    when.tm_min = 8;
    when.tm_sec = 9;
    when.tm_isdst = -1;
    spdlog::details::log_msg msg("logger", spdlog::level::err, "text");
    msg.time = std::chrono::system_clock::from_time_t(std::mktime(&when));
    const std::string pid = std::to_string(::getpid());
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    const struct {
        int port;
        const char* format;
        std::string expected;
    } cases[] = {
        {0, "", "<11>Mar  5 07:08:09 app[" + pid + "]: text"},
        {0, "rfc3164", "<11>Mar  5 07:08:09 app[" + pid + "]: text"},
        {514, "rfc3164", "<11>Mar  5 07:08:09 " + std::string(host) + " app[" + pid + "]: text"},
        {514, "", "<11>1 2026-03-05T07:08:09.000000"},
        {0, "rfc5424", "<11>1 2026-03-05T07:08:09.000000"},
    };
    for (const auto& c : cases) {
        zelvar::libscrivo::SyslogSink sink("127.0.0.1", c.port, "user", "app", "udp", c.format);
        spdlog::memory_buf_t out;
        sink.format_message(msg, "text", out);
        EXPECT_EQ(std::string(out.data(), out.size()).substr(0, c.expected.size()), c.expected) << c.format;
    }
    EXPECT_THROW(zelvar::libscrivo::SyslogSink("/dev/log", 0, "user", "app", "udp", "RFC3164"), std::invalid_argument);
}

// Records of the form "<tag> <n> <n % 97 times x>": the number of whole ones per tag, -1 for a broken line.
std::map<std::string, int> whole_records(const std::string& text) {
    std::map<std::string, int> counts;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string tag, xs;
        int n = -1;
        fields >> tag >> n >> xs;
        if (n < 0 || xs != std::string(static_cast<std::size_t>(n % 97), 'x') || !fields.eof()) return {{"broken", -1}};
        ++counts[tag];
    }
    return counts;
}

std::string record(const std::string& tag, int n) {
    return tag + " " + std::to_string(n) + " " + std::string(static_cast<std::size_t>(n % 97), 'x');
}

// The one sink of a fresh logger with a file handler on `path`.
std::shared_ptr<spdlog::sinks::sink> file_sink(const std::string& path) {
    LoggerFactory factory;
    factory.add_file_handler(path, "%v", lvl(0), false);
    return factory.build(unique_name("file-sink"), false)->sinks().at(0);
}

void write(spdlog::sinks::sink& sink, const std::string& text) {
    sink.log(spdlog::details::log_msg("w", spdlog::level::info, text));
}

TEST(FileSink, AppendersSharingAFileInterleaveWholeRecords) {
    TempDir dir;
    const auto path = (dir.path / "shared.log").string();
    constexpr int kRecords = 5000;
    std::vector<std::thread> writers;
    for (const char* tag : {"a", "b", "c"}) {
        writers.emplace_back([&, tag] {
            auto sink = file_sink(path);  // a sink of its own, as each logger on the path has
            for (int n = 0; n < kRecords; ++n) write(*sink, record(tag, n));
            sink->flush();
        });
    }
    for (auto& t : writers) t.join();
    EXPECT_EQ(whole_records(read_file(path)),
              (std::map<std::string, int>{{"a", kRecords}, {"b", kRecords}, {"c", kRecords}}));
}

TEST(FileSink, BufferedRecordsReachTheFileOnceAcrossForkAndExit) {
    TempDir dir;
    const auto path = dir.path / "fork.log";
    auto sink = file_sink(path.string());
    static_cast<zelvar::libscrivo::FileSink&>(*sink).set_flush_interval(std::chrono::hours(1));
    write(*sink, "parent");
    EXPECT_EQ(read_file(path), "");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        write(*sink, "child");
        std::exit(0);  // no destructor runs: only the exit flush can write the child's record
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    sink->flush();
    EXPECT_EQ(read_file(path), "parent\nchild\n");  // the parent's record written before the fork, once
}

// Crashes halfway through formatting a record, with the sink held by the crashing thread.
class CrashingFormatter final : public spdlog::formatter {
  public:
    void format(const spdlog::details::log_msg&, spdlog::memory_buf_t& dest) override {
        dest.append(std::string_view("half a rec"));
        ::raise(SIGSEGV);
    }
    std::unique_ptr<spdlog::formatter> clone() const override { return std::make_unique<CrashingFormatter>(); }
};

TEST(FileSink, FatalSignalWritesTheBufferedWholeRecordsOnly) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "ThreadSanitizer takes fatal signals over with handlers of its own";
#endif
    TempDir dir;
    const auto path = dir.path / "crash.log";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        auto sink = file_sink(path.string());
        static_cast<zelvar::libscrivo::FileSink&>(*sink).set_flush_interval(std::chrono::hours(1));
        write(*sink, "one");
        write(*sink, "two");
        sink->set_formatter(std::make_unique<CrashingFormatter>());
        write(*sink, "three");
        std::_Exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
    EXPECT_EQ(read_file(path), "one\ntwo\n");
}

TEST(FileSink, FailedWriteThrowsAndDropsItsRecords) {
    for (const bool buffered : {false, true}) {
        auto sink = file_sink("/dev/full");
        if (buffered) static_cast<zelvar::libscrivo::FileSink&>(*sink).set_flush_interval(std::chrono::hours(1));
        const std::string text(100, 'x');
        int failures = 0;
        for (int i = 0; i < 100; ++i) {
            try {
                write(*sink, text);
            } catch (const spdlog::spdlog_ex& e) {
                ++failures;
                EXPECT_STREQ(e.what(), "Failed writing to file /dev/full: No space left on device");
            }
        }
        // Written through, every record fails; buffered, once per full buffer (PIPE_BUF bytes).
        EXPECT_EQ(failures, buffered ? 100 * 101 / PIPE_BUF : 100);
        if (buffered) {
            EXPECT_THROW(sink->flush(), spdlog::spdlog_ex);
        }
        EXPECT_NO_THROW(sink->flush());  // dropped, not retried
    }
}

TEST(FileSink, NameWithZeroByteIsRefusedBeforeAnythingIsTouched) {
    TempDir dir;
    const auto precious = dir.path / "precious";
    std::ofstream(precious) << "keep\n";
    for (const char* suffix : {".log", "/new/x.log"}) {
        const std::string name = precious.string() + std::string(1, '\0') + suffix;
        LoggerFactory factory;
        EXPECT_THROW(factory.add_file_handler(name, "%v", lvl(0), true), std::invalid_argument);
        EXPECT_THROW(factory.add_rotating_file_handler(name, 10, 1, "%v", lvl(0)), std::invalid_argument);
    }
    EXPECT_EQ(read_file(precious), "keep\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

// ---------------------------------------------------------------- build and registry

TEST(Build, RegistersByNameAndReplacesWithoutThrowing) {
    DefaultGuard guard;
    const auto name = unique_name("build");
    LoggerFactory factory;
    factory.set_level(spdlog::level::warn);
    factory.add_basic_console_handler(false, "%v", lvl(0));
    auto first = factory.build(name, false);
    EXPECT_EQ(LoggerRegistry::find(name), first);
    EXPECT_EQ(first->level(), spdlog::level::warn);

    // The first build emptied the factory; the second replaces the first.
    std::shared_ptr<spdlog::logger> second;
    ASSERT_NO_THROW(second = factory.build(name, false));
    EXPECT_TRUE(second->sinks().empty());
    EXPECT_EQ(second->level(), spdlog::level::trace);
    EXPECT_EQ(LoggerRegistry::find(name), second);

    // Replacing the default's name replaces the default.
    auto third = LoggerFactory().build(name, true);
    EXPECT_EQ(LoggerRegistry::get_logger("", false), third);
    auto fourth = LoggerFactory().build(name, false);
    EXPECT_EQ(LoggerRegistry::get_logger("", false), fourth);
    EXPECT_EQ(LoggerRegistry::find(name), fourth);
}

TEST(Errors, BadArgumentsThrowTheDocumentedTypes) {
    TempDir dir;
    const auto rotating = (dir.path / "r.log").string();
    LoggerFactory factory;
    factory.add_basic_console_handler(false, "%v", lvl(0));
    EXPECT_THROW(factory.add_rotating_file_handler(rotating, 0, 1, "%v", lvl(0)), std::invalid_argument);
    EXPECT_THROW(factory.add_rotating_file_handler(rotating, 10, LoggerFactory::kMaxRotatedFiles + 1, "%v", lvl(0)),
                 std::invalid_argument);
    EXPECT_NO_THROW(factory.add_rotating_file_handler(rotating, 10, LoggerFactory::kMaxRotatedFiles, "%v", lvl(0)));

    std::ofstream(dir.path / "plain") << "x";
    const auto unopenable = (dir.path / "plain" / "x.log").string();  // its parent is a regular file
    const std::function<void()> opens[] = {
        [&] { factory.add_file_handler(unopenable, "%v", lvl(0), false); },
        [&] { factory.add_rotating_file_handler(unopenable, 10, 1, "%v", lvl(0)); },
    };
    for (const auto& open : opens) {
        try {
            open();
            ADD_FAILURE() << "no exception";
        } catch (const std::ios_base::failure& e) {
            EXPECT_NE(std::string(e.what()).find(unopenable), std::string::npos) << e.what();
            EXPECT_EQ(e.code(), std::error_code(ENOTDIR, std::generic_category())) << e.what();
        }
    }
    EXPECT_THROW(factory.build("", false), std::invalid_argument);
    EXPECT_EQ(factory.build(unique_name("errors"), false)->sinks().size(), 2u);  // failures added nothing

    EXPECT_THROW(LoggerRegistry::set_default(nullptr), std::invalid_argument);
    EXPECT_THROW(MaxSinkLevel(nullptr, spdlog::level::info), std::invalid_argument);
    EXPECT_THROW(factory.add_sink(nullptr, "%v", lvl(0)), std::invalid_argument);
    EXPECT_THROW(factory.add_sink([](bool) { return nullptr; }, false, "%v", lvl(0)), std::invalid_argument);
    EXPECT_THROW(factory.add_sink(LoggerFactory::SinkMaker(), false, "%v", lvl(0)), std::invalid_argument);
    EXPECT_TRUE(factory.build(unique_name("errors"), false)->sinks().empty());
}

TEST(GetLogger, EmptyNameIsTheDefault) {
    auto initial = LoggerRegistry::get_logger("", true);
    ASSERT_EQ(initial, g_initial_default);
    ASSERT_EQ(initial->sinks().size(), 1u);
    EXPECT_EQ(typeid(*initial->sinks()[0]), typeid(spdlog::sinks::ansicolor_stdout_sink_mt));

    DefaultGuard guard;
    auto first = LoggerFactory().build(unique_name("first"), true);
    auto second = LoggerFactory().build(unique_name("second"), false);
    LoggerRegistry::set_default(second);
    for (bool create : {true, false}) EXPECT_EQ(LoggerRegistry::get_logger("", create), second);
    EXPECT_EQ(LoggerRegistry::get_logger("", false), second);
    EXPECT_EQ(LoggerRegistry::get_logger(first->name(), false), first);  // still registered by name
}

TEST(GetLogger, UnknownNameIsCreatedOnlyWhenAsked) {
    const auto name = unique_name("unknown");
    EXPECT_EQ(LoggerRegistry::get_logger(name, false), nullptr);
    EXPECT_EQ(LoggerRegistry::find(name), nullptr);

    auto created = LoggerRegistry::get_logger(name, true);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(LoggerRegistry::find(name), created);
    EXPECT_EQ(created->level(), spdlog::level::trace);
    ASSERT_EQ(created->sinks().size(), 1u);
    EXPECT_EQ(typeid(*created->sinks()[0]), typeid(spdlog::sinks::ansicolor_stdout_sink_mt));
    EXPECT_EQ(created->sinks()[0]->level(), spdlog::level::trace);
}

TEST(Concurrency, BuildersNeverCollideAndCreationHappensOnce) {
    const auto built = unique_name("race-build"), created = unique_name("race-create");
    std::atomic<int> failures{0};
    std::vector<std::shared_ptr<spdlog::logger>> got(6);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < got.size(); ++t) {
        threads.emplace_back([&, t] {
            got[t] = LoggerRegistry::get_logger(created, true);
            for (int i = 0; i < 50; ++i) {
                try {
                    LoggerFactory().build(built, false);
                } catch (const std::exception&) {
                    ++failures;
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures, 0);
    for (const auto& logger : got) EXPECT_EQ(logger, LoggerRegistry::find(created));
}

TEST(Concurrency, DefaultSwappedWhileReadersLog) {
    DefaultGuard guard;
    TempDir dir;
    LoggerFactory factory;
    factory.add_file_handler((dir.path / "a.log").string(), "%v", lvl(0), true);
    auto a = factory.build(unique_name("swap-a"), true);
    factory.add_file_handler((dir.path / "b.log").string(), "%v", lvl(0), true);
    auto b = factory.build(unique_name("swap-b"), false);

    constexpr int kReaders = 4, kPerReader = 2000;
    std::atomic<bool> stop{false};
    std::atomic<int> foreign{0}, swaps{0};
    std::thread writer([&] {
        for (; !stop; ++swaps) {
            LoggerRegistry::set_default(b);
            LoggerRegistry::set_default(a);
        }
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&] {
            for (int i = 0; i < kPerReader; ++i) {
                auto logger = LoggerRegistry::get_logger("", true);
                if (logger == a || logger == b)
                    logger->info("r");
                else
                    ++foreign;
            }
        });
    }
    for (auto& t : readers) t.join();
    stop = true;
    writer.join();
    a->flush();
    b->flush();

    EXPECT_EQ(foreign, 0);
    EXPECT_GT(swaps, 0);
    const std::string both = read_file(dir.path / "a.log") + read_file(dir.path / "b.log");
    EXPECT_EQ(std::count(both.begin(), both.end(), '\n'), kReaders * kPerReader);
}

// A sink that keeps each record's text and can be held shut: a writer then stays inside it.
class HoldingSink final : public spdlog::sinks::sink {
  public:
    void log(const spdlog::details::log_msg& msg) override {
        std::unique_lock<std::mutex> lock(mutex_);
        ++entered_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !held_; });
        records_.emplace_back(msg.payload.data(), msg.payload.size());
    }
    void flush() override {}
    void set_pattern(const std::string&) override {}
    void set_formatter(std::unique_ptr<spdlog::formatter>) override {}

    void hold() {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = true;
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }
    void wait_until_entered() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return entered_ > 0; });
    }
    std::vector<std::string> records() {
        std::lock_guard<std::mutex> lock(mutex_);
        return records_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    int entered_ = 0;
    std::vector<std::string> records_;
};

using zelvar::libscrivo::AsyncLogger;

// Records that fit a queue slot, that do not, and now and then one past the buffer a slot keeps.
std::string padded(int k, int n) {
    return std::to_string(k) + " " + std::to_string(n) + " " + std::string(n % 97 == 0 ? 20000 : n % 3 * 40, '.');
}

// Callers queue without the lock while the queue has room and the writer needs no waking; a full
// queue, a drop and a flush go through it. Either way each thread's records come out in order, every
// one of them (block) or every one not counted as dropped (drop_oldest), and a flush returns only
// once the caller's own records before it are written or dropped.
TEST(AsyncLogger, ManyCallersWriteEachThreadsRecordsInOrder) {
    constexpr int kThreads = 4, kRecords = 5000, kFlushEvery = 1000;
    for (const auto overflow : {AsyncLogger::Overflow::block, AsyncLogger::Overflow::drop_oldest}) {
        for (const std::size_t queue_size : {std::size_t{1}, std::size_t{16}, std::size_t{1024}}) {
            const bool drops = overflow == AsyncLogger::Overflow::drop_oldest;
            SCOPED_TRACE("queue_size " + std::to_string(queue_size) + (drops ? " drop_oldest" : " block"));
            auto sink = std::make_shared<HoldingSink>();
            AsyncLogger logger(unique_name("many-callers"), {sink}, queue_size, overflow);
            std::atomic<int> unflushed{0};
            std::vector<std::thread> callers;
            for (int k = 0; k < kThreads; ++k) {
                callers.emplace_back([&, k] {
                    for (int n = 0; n < kRecords; ++n) {
                        const std::uint64_t dropped = logger.dropped();
                        logger.post(level_enum::info, {}, padded(k, n), {});
                        if (n % kFlushEvery != kFlushEvery - 1) continue;
                        logger.flush();
                        const auto written = sink->records();
                        if (std::find(written.begin(), written.end(), padded(k, n)) == written.end() &&
                            logger.dropped() == dropped) {
                            ++unflushed;
                        }
                    }
                });
            }
            for (auto& t : callers) t.join();
            logger.flush();
            EXPECT_EQ(unflushed, 0);
            std::vector<int> next(kThreads, 0);
            std::size_t written = 0;
            for (const std::string& record : sink->records()) {
                const int k = std::stoi(record), n = std::stoi(record.substr(record.find(' ') + 1));
                if (drops) {
                    EXPECT_GE(n, next[k]);
                    next[k] = n + 1;
                } else {
                    EXPECT_EQ(n, next[k]++);
                }
                EXPECT_EQ(record, padded(k, n));
                ++written;
            }
            EXPECT_EQ(written + logger.dropped(), std::size_t{kThreads} * kRecords);
            if (!drops) EXPECT_EQ(next, std::vector<int>(kThreads, kRecords));
        }
    }
}

TEST(AsyncLogger, ForkDoesNotWaitForAWriterStuckInItsSink) {
    auto sink = std::make_shared<HoldingSink>();
    AsyncLogger logger(unique_name("stuck"), {sink}, 8, AsyncLogger::Overflow::block);
    sink->hold();
    logger.post(level_enum::info, {}, "parent", {});
    sink->wait_until_entered();
    const auto began = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The sink may hold half a record: the child's records there are dropped, never written.
        logger.post(level_enum::info, {}, "child", {});
        logger.flush();
        std::exit(logger.dropped() == 1 ? 0 : 1);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - began, AsyncLogger::kForkWait + std::chrono::seconds(5));
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    sink->release();
    logger.flush();
    EXPECT_EQ(sink->records(), std::vector<std::string>{"parent"});
}

// --- the one-pass pattern formatter ------------------------------------------------------------------

struct PatternCase {
    const char* name;
    const char* pattern;
    bool one_pass;  // taken by the one-pass formatter, else left to spdlog's
};
void PrintTo(const PatternCase& c, std::ostream* os) { *os << '"' << c.pattern << '"'; }

const PatternCase kPatternCases[] = {
    {"handler_default", "[%Y-%m-%d %H:%M:%S.%e] [%n] [%^%l%$] %v", true},
    {"logger_default", "[%d-%m-%Y %H:%M:%S.%f] [%n] [%^%l%$] %v", true},
    {"payload_only", "%v", true},
    {"empty", "", true},
    {"text_only", "no flags at all", true},
    {"time_only", "%Y%m%d%H%M%S%e%f", true},
    {"time_split_by_record", "%H:%M %n %S.%e|%e %Y", true},
    {"short_level_thread_fields", "%^%L%$ %t %n: %v%K", true},
    {"percent_and_open_colour", "100%% %Y%% %v %^", true},
    {"colour_reversed", "%$x%^%v", true},
    {"width", "%8l %v", false},
    {"left_width", "%-5n|%v", false},
    {"centre_width", "%=10v|", false},
    {"truncated", "%3!l %v", false},
    {"thread_width", "%10t %v", false},
    {"time_zone", "%H:%M:%S %z %v", false},
    {"weekday_month", "%a %b %d %v", false},
    {"source", "%s:%# %v", false},
    {"unknown", "%Q %v", false},
    {"trailing_percent", "%v %", false},
};

struct Stamped {
    spdlog::log_clock::time_point time;
    int level;
    std::string name, payload, fields, zone;  // zone: TZ set before this record, when not empty
    std::size_t thread_id;
    bool prefix, clone;  // a buffer that already holds text; both formatters replaced by clones first
};

const char* const kZones[] = {"UTC0",          "EST5EDT,M3.2.0,M11.1.0",
                              "<+0530>-5:30",  "<+1345>-13:45<+1445>,M9.5.0/2:45,M4.1.0/3:45",
                              "Europe/Berlin", "Australia/Lord_Howe"};

std::vector<Stamped> pattern_records() {
    using namespace std::chrono;
    const auto at = [](std::int64_t secs, std::int64_t nanos) {
        return spdlog::log_clock::time_point(
            duration_cast<spdlog::log_clock::duration>(seconds(secs) + nanoseconds(nanos)));
    };
    std::string with_fields, odd_fields;
    zelvar::libscrivo::append_field(with_fields, "user", zelvar::libscrivo::FieldKind::text, "al ice");
    zelvar::libscrivo::append_field(with_fields, "n", zelvar::libscrivo::FieldKind::literal, "42");
    zelvar::libscrivo::append_field(odd_fields, "bad name", zelvar::libscrivo::FieldKind::text, "x", true);
    zelvar::libscrivo::append_field(odd_fields, "empty", zelvar::libscrivo::FieldKind::text, "");
    const std::string names[] = {"", "app", "\xC3\xBCn\xC3\xAF \xE6\x97\xA5\xE6\x9C\xAC/%Y", std::string(70, 'n')};
    const std::string payloads[] = {"", "hello", "two\nlines", "\033[31mred\033[0m %^%v", std::string(300, 'p')};
    const std::string blocks[] = {"", with_fields, odd_fields};

    std::mt19937_64 random(35);
    std::vector<Stamped> records;
    const auto add = [&](spdlog::log_clock::time_point time, std::string zone = {}, bool clone = false) {
        const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
        records.push_back(Stamped{time, static_cast<int>(pick(spdlog::level::n_levels)), names[pick(std::size(names))],
                                  payloads[pick(std::size(payloads))], blocks[pick(std::size(blocks))], std::move(zone),
                                  pick(3) == 0 ? std::size_t{1} << 40 : 1000 + pick(5), pick(3) == 0,
                                  clone || records.size() % 997 == 996});
    };
    const std::int64_t steps[] = {0, 998'000'000, 999'999'999, 1'000'000'000, 1'000'500'000, 1'001'000'000};

    // The epoch's second (which spdlog's cache starts at) and before it.
    for (const std::int64_t nanos : {0LL, 500'000'000LL, -1'500'000'000LL, 1'000'000LL}) add(at(0, nanos));
    for (const char* zone : kZones) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        add(at(1'700'000'000, 0), zone);
        // The same second read under the new zone: both keep the local time they cached, and clones
        // (which start with nothing cached) read it again.
        add(at(1'700'000'000, 400'000'000), zone == kZones[0] ? "" : kZones[0]);
        add(at(1'700'000'000, 500'000'000), "", true);
        add(at(1'700'000'001, 0), zone);
        // Local midnight, a leap day's end and year ends (1999, 2023, 2037, 2100).
        for (const auto [year, month, day] :
             {std::array{1999, 12, 31}, std::array{2023, 12, 31}, std::array{2024, 2, 29}, std::array{2037, 12, 31},
              std::array{2100, 12, 31}}) {
            std::tm tm{};
            tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
            tm.tm_hour = 23, tm.tm_min = 59, tm.tm_sec = 59, tm.tm_isdst = -1;
            const std::time_t last = std::mktime(&tm);
            for (const std::int64_t step : steps) add(at(last, step));
        }
        // Daylight saving switches (America, Europe, Lord Howe's half hour).
        for (const std::int64_t change : {1710054000LL, 1730613600LL, 1711846800LL, 1712415600LL, 1728142200LL}) {
            for (const std::int64_t step : steps) add(at(change - 1, step));
        }
        // The leap second ending 2016 as the clock gives it: 23:59:59 runs into 00:00:00, then the clock
        // is stepped back a second.
        for (const std::int64_t nanos : {0LL, 999'000'000LL, 1'000'000'000LL, 500'000'000LL, 1'250'000'000LL}) {
            add(at(1'483'228'799, nanos));
        }
    }
    // Random times to 2100, a third of them in the second before, the zone changed now and then.
    for (int i = 0; i < 20'000; ++i) {
        const auto previous = duration_cast<seconds>(records.back().time.time_since_epoch()).count();
        const std::int64_t secs = random() % 3 == 0 ? previous : static_cast<std::int64_t>(random() % 4'102'444'800);
        add(at(secs, static_cast<std::int64_t>(random() % 1'000'000'000)),
            random() % 50 == 0 ? kZones[random() % std::size(kZones)] : "");
    }
    return records;
}

class PatternFormatter : public testing::TestWithParam<PatternCase> {};
INSTANTIATE_TEST_SUITE_P(Differential, PatternFormatter, testing::ValuesIn(kPatternCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(PatternFormatter, WritesSpdlogsBytesAndColourRange) {
    const auto& c = GetParam();
    EXPECT_EQ(zelvar::libscrivo::make_fast_pattern_formatter(c.pattern) != nullptr, c.one_pass);
    const char* saved = std::getenv("TZ");
    const std::string saved_zone = saved ? saved : "";
    const auto records = pattern_records();

    ::setenv("TZ", kZones[0], 1);
    ::tzset();
    auto chosen = zelvar::libscrivo::make_pattern_formatter(c.pattern);
    auto reference = zelvar::libscrivo::make_spdlog_pattern_formatter(c.pattern);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Stamped& r = records[i];
        if (!r.zone.empty()) {
            ::setenv("TZ", r.zone.c_str(), 1);
            ::tzset();
        }
        if (r.clone) {
            chosen = chosen->clone();
            reference = reference->clone();
        }
        spdlog::details::log_msg ours(r.time, spdlog::source_loc{}, r.name, lvl(r.level), r.payload);
        ours.thread_id = r.thread_id;
        ours.color_range_start = 3, ours.color_range_end = 5;
        spdlog::details::log_msg theirs = ours;
        spdlog::memory_buf_t out, expected;
        if (r.prefix) {
            out.append(std::string_view("prefix "));
            expected.append(std::string_view("prefix "));
        }
        {
            zelvar::libscrivo::CurrentFields fields(r.fields);
            chosen->format(ours, out);
            reference->format(theirs, expected);
        }
        const auto where = [&] {
            return "record " + std::to_string(i) + " at " + std::to_string(r.time.time_since_epoch().count()) +
                   " ns, TZ " + std::getenv("TZ");
        };
        ASSERT_EQ(std::string_view(out.data(), out.size()), std::string_view(expected.data(), expected.size()))
            << where();
        ASSERT_EQ(ours.color_range_start, theirs.color_range_start) << where();
        ASSERT_EQ(ours.color_range_end, theirs.color_range_end) << where();
    }
    if (saved) {
        ::setenv("TZ", saved_zone.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

}  // namespace
