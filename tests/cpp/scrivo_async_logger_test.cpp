// The non-blocking logger: a full queue keeps each thread's order, fork does not wait for a stuck writer.
#include "scrivo_test_helpers.hpp"

#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <atomic>
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

}  // namespace
