// The factory's handlers: console sinks and their levels and colours, files, JSON lines, daily files
// and syslog.
#include "scrivo_test_helpers.hpp"

#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <gtest/gtest.h>
// The library's own copy of its console sinks is hidden: the test calls them through its own.
#include <spdlog/sinks/ansicolor_sink-inl.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <typeinfo>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace scrivo_test;

using spdlog_internal::MaxSinkLevel;
using OutColorSink = spdlog::sinks::ansicolor_sink<zelvar::libscrivo::stdout_console_mutex>;
using ErrColorSink = spdlog::sinks::ansicolor_sink<zelvar::libscrivo::stderr_console_mutex>;

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

}  // namespace
