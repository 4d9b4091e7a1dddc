// Building loggers and the registry: names, replacement, argument errors, the default, concurrency.
#include "scrivo_test_helpers.hpp"

#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <functional>
#include <thread>
#include <typeinfo>
#include <vector>

namespace {

using namespace scrivo_test;

using spdlog_internal::MaxSinkLevel;

// Taken during static initialisation, before any test can touch the default.
const std::shared_ptr<spdlog::logger> g_initial_default = LoggerRegistry::get_logger("", false);

// Restores the process default, so tests that change it stay independent.
struct DefaultGuard {
    std::shared_ptr<spdlog::logger> saved = LoggerRegistry::get_logger("", false);
    ~DefaultGuard() { LoggerRegistry::set_default(saved); }
};

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

}  // namespace
