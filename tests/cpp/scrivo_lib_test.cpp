#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <gtest/gtest.h>
#include <spdlog/details/registry.h>
#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <typeinfo>
#include <vector>

namespace {

namespace fs = std::filesystem;
using spdlog::level::level_enum;
using spdlog_internal::MaxSinkLevel;
using SinkPtr = std::shared_ptr<spdlog::sinks::sink>;

// Taken during static initialisation, before any test can touch the default.
const std::shared_ptr<spdlog::logger> g_initial_default = spdlog::default_logger();

constexpr level_enum kAllLevels[] = {spdlog::level::trace, spdlog::level::debug, spdlog::level::info,
                                     spdlog::level::warn,  spdlog::level::err,   spdlog::level::critical};

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

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Restores the process default, so tests that change it stay independent.
struct DefaultGuard {
    std::shared_ptr<spdlog::logger> saved = spdlog::default_logger();
    ~DefaultGuard() { LoggerRegistry::set_default(saved); }
};

spdlog::sinks::sink* unwrap(spdlog::sinks::sink* sink) {
    while (auto* wrapper = dynamic_cast<MaxSinkLevel*>(sink)) sink = wrapper->get_sink().get();
    return sink;
}

struct Output {
    std::string out, err;
};

Output capture(const std::function<void()>& body) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    body();
    std::fflush(stdout);
    std::fflush(stderr);
    Output o;
    o.out = testing::internal::GetCapturedStdout();
    o.err = testing::internal::GetCapturedStderr();
    return o;
}

void log_every_level(spdlog::logger& logger) {
    for (auto level : kAllLevels) logger.log(level, "x");
}

// What a "%l" handler shows for records of every level in [lo, hi].
std::string expected_band(int lo, int hi) {
    std::string s;
    for (auto level : kAllLevels) {
        if (level >= lo && level <= hi) s += std::string(spdlog::level::to_string_view(level).data()) + "\n";
    }
    return s;
}

// ---------------------------------------------------------------- sink types

enum class Stream { out, err };
struct SinkShape {
    Stream stream;
    bool bounded;
};
struct ConsoleCase {
    const char* name;
    std::function<void(LoggerFactory&, bool color)> add;
    std::vector<SinkShape> shapes;
};

const ConsoleCase kConsoleCases[] = {
    {"stdout", [](LoggerFactory& f, bool c) { f.add_stdout_handler(c, "%v", lvl(1), lvl(3)); }, {{Stream::out, true}}},
    {"stderr", [](LoggerFactory& f, bool c) { f.add_stderr_handler(c, "%v", lvl(1)); }, {{Stream::err, false}}},
    {"console",
     [](LoggerFactory& f, bool c) { f.add_console_handler(c, "%v", lvl(2), lvl(0)); },
     {{Stream::out, true}, {Stream::err, false}}},
    {"basic_console", [](LoggerFactory& f, bool c) { f.add_basic_console_handler(c, "%v", lvl(0)); },
     {{Stream::out, false}}},
};

class ConsoleSinkType : public testing::TestWithParam<std::tuple<ConsoleCase, bool>> {};

TEST_P(ConsoleSinkType, AddProducesTheDocumentedSinks) {
    const auto& [test_case, color] = GetParam();
    LoggerFactory factory;
    test_case.add(factory, color);
    auto logger = factory.build(unique_name("types"), false);
    ASSERT_EQ(logger->sinks().size(), test_case.shapes.size());
    for (std::size_t i = 0; i < test_case.shapes.size(); ++i) {
        const auto& sink = logger->sinks()[i];
        EXPECT_EQ(dynamic_cast<MaxSinkLevel*>(sink.get()) != nullptr, test_case.shapes[i].bounded) << i;
        const std::type_info& want =
            test_case.shapes[i].stream == Stream::out
                ? (color ? typeid(spdlog::sinks::ansicolor_stdout_sink_mt) : typeid(spdlog::sinks::stdout_sink_mt))
                : (color ? typeid(spdlog::sinks::ansicolor_stderr_sink_mt) : typeid(spdlog::sinks::stderr_sink_mt));
        EXPECT_EQ(typeid(*unwrap(sink.get())), want) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(All, ConsoleSinkType, testing::Combine(testing::ValuesIn(kConsoleCases), testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_color" : "_plain");
                         });

TEST(FileSinkType, FileHandlersProduceFileSinks) {
    TempDir dir;
    LoggerFactory factory;
    factory.add_file_handler((dir.path / "a.log").string(), "%v", lvl(0), false);
    factory.add_rotating_file_handler((dir.path / "b.log").string(), 1024, 3, "%v", lvl(0));
    auto logger = factory.build(unique_name("files"), false);
    ASSERT_EQ(logger->sinks().size(), 2u);
    EXPECT_NE(dynamic_cast<spdlog::sinks::basic_file_sink_mt*>(logger->sinks()[0].get()), nullptr);
    EXPECT_NE(dynamic_cast<spdlog::sinks::rotating_file_sink_mt*>(logger->sinks()[1].get()), nullptr);
}

// ---------------------------------------------------------------- filtering

struct FilterCase {
    const char* name;
    std::function<void(LoggerFactory&)> add;
    int out_lo, out_hi, err_lo, err_hi;  // bands of record levels expected on each stream
};

constexpr int kNone = 99;
const FilterCase kFilterCases[] = {
    {"stdout_band", [](LoggerFactory& f) { f.add_stdout_handler(false, "%l", lvl(2), lvl(3)); }, 2, 3, kNone, 0},
    {"stderr_from", [](LoggerFactory& f) { f.add_stderr_handler(false, "%l", lvl(4)); }, kNone, 0, 4, 5},
    {"console_split", [](LoggerFactory& f) { f.add_console_handler(false, "%l", lvl(2), lvl(1)); }, 1, 2, 3, 5},
    {"console_min_above_max", [](LoggerFactory& f) { f.add_console_handler(false, "%l", lvl(1), lvl(3)); }, kNone,
     0, 3, 5},
    {"console_max_out_of_range", [](LoggerFactory& f) { f.add_console_handler(false, "%l", lvl(42), lvl(-1)); },
     0, 5, kNone, 0},
    {"console_max_int_max", [](LoggerFactory& f) { f.add_console_handler(false, "%l", lvl(INT_MAX), lvl(4)); },
     4, 5, kNone, 0},
    {"basic_console", [](LoggerFactory& f) { f.add_basic_console_handler(false, "%l", lvl(3)); }, 3, 5, kNone, 0},
    {"stdout_out_of_range", [](LoggerFactory& f) { f.add_stdout_handler(false, "%l", lvl(-1), lvl(42)); }, 0, 5,
     kNone, 0},
    {"stderr_above_all", [](LoggerFactory& f) { f.add_stderr_handler(false, "%l", lvl(42)); }, kNone, 0, kNone, 0},
    {"logger_level",
     [](LoggerFactory& f) {
         f.set_level(lvl(4));
         f.add_basic_console_handler(false, "%l", lvl(0));
     },
     4, 5, kNone, 0},
};

// Plain sinks only: the colour sinks share the filtering path, and their
// escapes would depend on whether the test runs on a terminal.
class LevelFilter : public testing::TestWithParam<FilterCase> {};

TEST_P(LevelFilter, RecordsReachExactlyTheirStreams) {
    const auto& test_case = GetParam();
    LoggerFactory factory;
    test_case.add(factory);
    auto logger = factory.build(unique_name("filter"), false);
    const Output o = capture([&] { log_every_level(*logger); });
    EXPECT_EQ(o.out, expected_band(test_case.out_lo, test_case.out_hi));
    EXPECT_EQ(o.err, expected_band(test_case.err_lo, test_case.err_hi));
}

INSTANTIATE_TEST_SUITE_P(All, LevelFilter, testing::ValuesIn(kFilterCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MaxSinkLevelTest, NestedWrappersKeepTheTightestBandAndForwardPattern) {
    std::ostringstream os;
    auto inner = std::make_shared<spdlog::sinks::ostream_sink_mt>(os);
    inner->set_level(spdlog::level::debug);
    auto middle = std::make_shared<MaxSinkLevel>(inner, spdlog::level::err);
    auto outer = std::make_shared<MaxSinkLevel>(middle, spdlog::level::warn);
    EXPECT_EQ(outer->level(), spdlog::level::debug);
    EXPECT_EQ(outer->get_sink(), middle);
    outer->set_pattern("<%l>");
    outer->set_level(spdlog::level::trace);  // the wrapped level still applies

    spdlog::logger logger("nested", outer);
    logger.set_level(spdlog::level::trace);
    log_every_level(logger);
    EXPECT_EQ(os.str(), "<debug>\n<info>\n<warning>\n");
}

// ---------------------------------------------------------------- files

TEST(FileHandler, OverwriteTruncatesOtherwiseAppends) {
    TempDir dir;
    for (bool overwrite : {true, false}) {
        const auto path = dir.path / (overwrite ? "t.log" : "a.log");
        std::ofstream(path) << "old\n";
        LoggerFactory factory;
        factory.add_file_handler(path.string(), "%l %v", spdlog::level::warn, overwrite);
        auto logger = factory.build(unique_name("file"), false);
        logger->info("dropped");
        logger->warn("kept");
        logger->flush();
        EXPECT_EQ(read_file(path), std::string(overwrite ? "" : "old\n") + "warning kept\n") << overwrite;
    }
}

TEST(RotatingFileHandler, RotatesAtMaxSizeKeepingMaxFiles) {
    TempDir dir;
    constexpr unsigned long kMaxSize = 64, kMaxFiles = 2, kLine = 10;  // "rec-NNNNN\n"
    constexpr int kRecords = 30;
    LoggerFactory factory;
    factory.add_rotating_file_handler((dir.path / "log.txt").string(), kMaxSize, kMaxFiles, "%v", lvl(0));
    auto logger = factory.build(unique_name("rotating"), false);
    for (int i = 0; i < kRecords; ++i) logger->info("rec-{:05}", i);
    logger->flush();

    EXPECT_FALSE(fs::exists(dir.path / "log.3.txt"));
    std::vector<std::string> kept;
    for (const char* file : {"log.2.txt", "log.1.txt", "log.txt"}) {
        const auto path = dir.path / file;
        ASSERT_TRUE(fs::exists(path)) << file;
        EXPECT_LE(fs::file_size(path), kMaxSize) << file;
        auto lines = lines_of(read_file(path));
        if (std::string(file) != "log.txt") {
            EXPECT_EQ(lines.size(), kMaxSize / kLine) << file;
        }
        kept.insert(kept.end(), lines.begin(), lines.end());
    }
    // The newest records survive, in order, without gaps.
    for (std::size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept[i], fmt::format("rec-{:05}", kRecords - kept.size() + i));
    }
}

// ---------------------------------------------------------------- colours

class Colors : public testing::TestWithParam<bool> {};

TEST_P(Colors, CodesReachEveryColorSinkWhateverTheOrder) {
    const bool colors_first = GetParam();
    LoggerFactory factory;
    auto set = [&] { factory.set_colors(-1, 33, 94, 208, 300, 0); };
    if (colors_first) set();
    // stdout (wrapped) gets trace..info, stderr gets warn..critical
    factory.add_console_handler(true, "%^%l%$", spdlog::level::info, spdlog::level::trace);
    if (!colors_first) set();
    auto logger = factory.build(unique_name("colors"), false);

    using ColorSink = spdlog::sinks::ansicolor_sink<spdlog::details::console_mutex>;
    ColorSink* sinks[2] = {};
    for (std::size_t i = 0; i < 2; ++i) {
        sinks[i] = dynamic_cast<ColorSink*>(unwrap(logger->sinks()[i].get()));
        ASSERT_NE(sinks[i], nullptr);
        sinks[i]->set_color_mode(spdlog::color_mode::always);
    }
    const Output o = capture([&] { log_every_level(*logger); });
    const auto& defaults = *sinks[0];
    auto colored = [&](spdlog::string_view_t code, level_enum level) {
        return fmt::format("{}{}{}\n", code, spdlog::level::to_string_view(level), defaults.reset);
    };
    EXPECT_EQ(o.out, colored(defaults.white, spdlog::level::trace) + colored("\033[33m", spdlog::level::debug) +
                         colored("\033[94m", spdlog::level::info));
    EXPECT_EQ(o.err, colored("\033[38;5;208m", spdlog::level::warn) + colored(defaults.red_bold, spdlog::level::err) +
                         colored("\033[38;5;0m", spdlog::level::critical));
}

INSTANTIATE_TEST_SUITE_P(Order, Colors, testing::Bool());

// ---------------------------------------------------------------- build and registry

TEST(Build, RegistersByNameAndReplacesWithoutThrowing) {
    const auto name = unique_name("build");
    LoggerFactory factory;
    factory.set_level(spdlog::level::warn);
    factory.add_basic_console_handler(false, "%v", lvl(0));
    auto first = factory.build(name, false);
    EXPECT_EQ(spdlog::get(name), first);
    EXPECT_EQ(first->level(), spdlog::level::warn);

    // The factory was emptied by the first build.
    std::shared_ptr<spdlog::logger> second;
    ASSERT_NO_THROW(second = factory.build(name, false));
    EXPECT_NE(second, first);
    EXPECT_TRUE(second->sinks().empty());
    EXPECT_EQ(second->level(), spdlog::level::trace);
    EXPECT_EQ(spdlog::get(name), second);
    EXPECT_EQ(LoggerRegistry::get_logger(name, false), second);
}

TEST(Build, ReplacingTheDefaultsNameReplacesTheDefault) {
    DefaultGuard guard;
    const auto name = unique_name("default");
    auto first = LoggerFactory().build(name, true);
    EXPECT_EQ(spdlog::default_logger(), first);
    auto second = LoggerFactory().build(name, false);
    EXPECT_EQ(spdlog::default_logger(), second);
    EXPECT_EQ(LoggerRegistry::get_logger("", false), second);
    EXPECT_EQ(spdlog::get(name), second);
}

TEST(Build, ConcurrentBuildersOfOneNameNeverThrow) {
    const auto name = unique_name("race-build");
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                try {
                    LoggerFactory().build(name, false);
                } catch (const std::exception&) {
                    ++failures;
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures, 0);
    EXPECT_NE(spdlog::get(name), nullptr);
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
    const auto unopenable = (dir.path / "plain" / "x.log").string();  // parent is a regular file
    for (int kind = 0; kind < 2; ++kind) {
        try {
            if (kind == 0) factory.add_file_handler(unopenable, "%v", lvl(0), false);
            else factory.add_rotating_file_handler(unopenable, 10, 1, "%v", lvl(0));
            ADD_FAILURE() << "no exception for " << kind;
        } catch (const std::ios_base::failure& e) {
            EXPECT_NE(std::string(e.what()).find(unopenable), std::string::npos) << e.what();
            EXPECT_EQ(e.code(), std::error_code(ENOTDIR, std::generic_category())) << e.what();
        }
    }
    EXPECT_THROW(factory.build("", false), std::invalid_argument);
    // Failed calls left the factory as it was.
    EXPECT_EQ(factory.build(unique_name("errors"), false)->sinks().size(), 2u);

    EXPECT_THROW(LoggerRegistry::set_default(nullptr), std::invalid_argument);
    EXPECT_THROW(MaxSinkLevel(nullptr, spdlog::level::info), std::invalid_argument);
}

TEST(GetLogger, EmptyNameIsSpdlogsInitialDefaultUntilSetDefault) {
    auto initial = LoggerRegistry::get_logger("", true);
    ASSERT_EQ(initial, g_initial_default);
    ASSERT_EQ(initial->sinks().size(), 1u);
    EXPECT_EQ(typeid(*initial->sinks()[0]), typeid(spdlog::sinks::ansicolor_stdout_sink_mt));
    EXPECT_NE(capture([&] { initial->info("usable"); }).out.find("usable"), std::string::npos);

    DefaultGuard guard;
    auto first = LoggerFactory().build(unique_name("first"), true);
    auto second = LoggerFactory().build(unique_name("second"), false);
    LoggerRegistry::set_default(second);
    for (bool create : {true, false}) EXPECT_EQ(LoggerRegistry::get_logger("", create), second);
    EXPECT_EQ(spdlog::default_logger(), second);
    // Losing default status does not unregister a named logger.
    EXPECT_EQ(LoggerRegistry::get_logger(first->name(), false), first);
}

TEST(GetLogger, UnknownNameIsCreatedOnlyWhenAsked) {
    const auto name = unique_name("unknown");
    EXPECT_EQ(LoggerRegistry::get_logger(name, false), nullptr);
    EXPECT_EQ(spdlog::get(name), nullptr);

    auto created = LoggerRegistry::get_logger(name, true);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->name(), name);
    EXPECT_EQ(created->level(), spdlog::level::trace);
    ASSERT_EQ(created->sinks().size(), 1u);
    EXPECT_EQ(typeid(*created->sinks()[0]), typeid(spdlog::sinks::ansicolor_stdout_sink_mt));
    EXPECT_EQ(created->sinks()[0]->level(), spdlog::level::trace);
    EXPECT_EQ(spdlog::get(name), created);
    EXPECT_EQ(LoggerRegistry::get_logger(name, false), created);
}

TEST(GetLogger, ConcurrentCreationYieldsOneLogger) {
    const auto name = unique_name("race-create");
    std::vector<std::shared_ptr<spdlog::logger>> got(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < got.size(); ++i) {
        threads.emplace_back([&, i] { got[i] = LoggerRegistry::get_logger(name, true); });
    }
    for (auto& t : threads) t.join();
    for (const auto& logger : got) EXPECT_EQ(logger, spdlog::get(name));
}

TEST(GetLogger, DefaultSwappedWhileReadersLog) {
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
        while (!stop.load()) {
            LoggerRegistry::set_default(b);
            LoggerRegistry::set_default(a);
            ++swaps;
        }
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&] {
            for (int i = 0; i < kPerReader; ++i) {
                auto logger = LoggerRegistry::get_logger("", true);
                if (logger == a || logger == b) logger->info("r");
                else ++foreign;
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
    EXPECT_EQ(lines_of(read_file(dir.path / "a.log")).size() + lines_of(read_file(dir.path / "b.log")).size(),
              std::size_t{kReaders * kPerReader});
}

}  // namespace
