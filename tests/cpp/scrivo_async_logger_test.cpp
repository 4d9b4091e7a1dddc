// The non-blocking logger: a full queue keeps each thread's order, fork does not wait for a stuck writer.
#include "scrivo_test_helpers.hpp"

#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace scrivo_test;

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

TEST(AsyncLogger, FullSmallQueueWritesEveryRecordInEachThreadsOrder) {
    constexpr int kThreads = 4, kRecords = 5000;
    for (const std::size_t queue_size : {std::size_t{1}, std::size_t{16}}) {
        auto sink = std::make_shared<HoldingSink>();
        AsyncLogger logger(unique_name("small-queue"), {sink}, queue_size, AsyncLogger::Overflow::block);
        std::vector<std::thread> callers;
        for (int k = 0; k < kThreads; ++k) {
            callers.emplace_back([&, k] {
                for (int n = 0; n < kRecords; ++n) logger.post(level_enum::info, {}, padded(k, n), {});
            });
        }
        for (auto& t : callers) t.join();
        logger.flush();
        std::vector<int> next(kThreads, 0);
        for (const std::string& record : sink->records()) {
            const int k = std::stoi(record), n = std::stoi(record.substr(record.find(' ') + 1));
            EXPECT_EQ(n, next[k]++) << "queue_size " << queue_size;
            EXPECT_EQ(record, padded(k, n));
        }
        EXPECT_EQ(next, std::vector<int>(kThreads, kRecords)) << "queue_size " << queue_size;
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

}  // namespace
