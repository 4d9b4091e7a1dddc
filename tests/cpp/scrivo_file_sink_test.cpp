// The file sink: appenders sharing a file, fork, exit and fatal signals, failed writes and bad names.
#include "scrivo_test_helpers.hpp"

#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace {

using namespace scrivo_test;

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

}  // namespace
