// Messages per second from one producer thread to one consumer thread: the ring (try_push /
// try_pop spinning) against a mutex + std::deque<std::string> queue bounded to the same capacity.
// Both sides retry a refused call after `pauses` CPU pause instructions, the same for all queues.
//
//   ring_bench [runs=5] [seconds_per_run=0.3] [capacity=4096] [pauses=8]
#include <zelvar/spsc_queue/ring.hpp>

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using zelvar::spsc::Ring;
using Clock = std::chrono::steady_clock;

int g_pauses = 8;
void backoff() {
    for (int i = 0; i < g_pauses; ++i) zelvar::spsc::detail::cpu_relax();
}

void pin(std::thread& t, int cpu) {
    if (std::thread::hardware_concurrency() < 2) return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    pthread_setaffinity_np(t.native_handle(), sizeof set, &set);
}

class MutexQueue {
  public:
    explicit MutexQueue(std::size_t cap) : cap_(cap) {}
    bool try_push(const char* p, std::size_t n) {
        std::lock_guard lock(mu_);
        if (q_.size() >= cap_) return false;
        q_.emplace_back(p, n);
        return true;
    }
    bool try_pop(std::string& out) {
        std::lock_guard lock(mu_);
        if (q_.empty()) return false;
        out = std::move(q_.front());
        q_.pop_front();
        return true;
    }

  private:
    std::mutex mu_;
    std::deque<std::string> q_;
    std::size_t cap_;
};

enum class Kind { baseline, fixed, fixed_copy, var, var_copy };
const char* name(Kind k) {
    switch (k) {
        case Kind::baseline:
            return "mutex+deque";
        case Kind::fixed:
            return "fixed zerocopy";
        case Kind::fixed_copy:
            return "fixed copy";
        case Kind::var:
            return "var zerocopy";
        case Kind::var_copy:
            return "var copy";
    }
    return "?";
}

// Runs `count` messages of `size` bytes; returns messages per second. Each message carries its
// sequence number, which the consumer checks, so neither side can be optimised away. Each thread
// keeps what it touches per message in its own locals, and the queues live in cache-line-aligned
// heap blocks of their own: a flag the consumer writes per message next to what the producer reads
// per message (both once sat in this frame) would make every message a cache-line round trip,
// which smaller, faster messages suffer most.
double run(Kind kind, std::size_t size, std::uint64_t count, std::size_t capacity) {
    const bool zc = kind == Kind::fixed || kind == Kind::var;
    const bool var = kind == Kind::var || kind == Kind::var_copy;
    struct alignas(64) Queues {
        Queues(std::size_t size, std::size_t capacity, bool zc)
            : ring(size, capacity, false, zc, false), mq(capacity) {}
        Ring ring;
        alignas(64) MutexQueue mq;
    };
    auto queues = std::make_unique<Queues>(size, capacity, zc);
    Ring& ring = queues->ring;
    MutexQueue& mq = queues->mq;
    std::atomic<bool> ok{true};

    std::thread consumer([&ring, &mq, &ok, kind, var, size, count] {
        std::string s;
        bool good = true;
        for (std::uint64_t i = 0; i < count; ++i) {
            const char* p = nullptr;
            std::size_t n = 0;
            if (kind == Kind::baseline) {
                while (!mq.try_pop(s)) backoff();
                p = s.data();
                n = s.size();
            } else if (var) {
                while (ring.try_pop_var(&p, &n) != 1) backoff();
            } else {
                while (ring.try_pop(&p, &n) != 1) backoff();
            }
            std::uint64_t seq;
            std::memcpy(&seq, p, sizeof seq);
            good &= seq == i && n == size;
        }
        ok.store(good);
    });
    pin(consumer, 1);

    const auto start = Clock::now();
    std::thread producer([&ring, &mq, kind, var, size, count] {
        std::vector<char> msg(size, 'x');
        for (std::uint64_t i = 0; i < count; ++i) {
            std::memcpy(msg.data(), &i, sizeof i);
            if (kind == Kind::baseline) {
                while (!mq.try_push(msg.data(), size)) backoff();
            } else if (var) {
                while (ring.try_push_var(msg.data(), size) != 1) backoff();
            } else {
                while (ring.try_push(msg.data(), size) != 1) backoff();
            }
        }
    });
    pin(producer, 0);
    producer.join();
    consumer.join();
    const double secs = std::chrono::duration<double>(Clock::now() - start).count();
    if (!ok.load()) {
        std::fprintf(stderr, "%s: messages arrived damaged or out of order\n", name(kind));
        std::exit(1);
    }
    return static_cast<double>(count) / secs;
}

// One-way cache-line handoff between the two threads' CPUs. On a virtual machine it changes with
// where the host places the vCPUs, and every number below scales with it, so it is printed too.
double handoff_ns() {
    alignas(64) std::atomic<std::uint64_t> turn{0};
    constexpr std::uint64_t kRounds = 1000000;
    auto play = [&](std::uint64_t first) {
        for (std::uint64_t i = first; i < kRounds; i += 2) {
            while (turn.load(std::memory_order_acquire) != i) zelvar::spsc::detail::cpu_relax();
            turn.store(i + 1, std::memory_order_release);
        }
    };
    const auto start = Clock::now();
    std::thread other(play, 1);
    pin(other, 1);
    std::thread self(play, 0);
    pin(self, 0);
    self.join();
    other.join();
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kRounds;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 0.3;
    const std::size_t capacity = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 4096;
    if (argc > 4) g_pauses = std::max(1, std::atoi(argv[4]));
    const Kind kinds[] = {Kind::baseline, Kind::fixed, Kind::fixed_copy, Kind::var, Kind::var_copy};

    std::printf("SPSC throughput, %d runs per cell (median [min..max]), capacity %zu, %d pauses per retry, %u CPUs\n",
                runs, capacity, g_pauses, std::thread::hardware_concurrency());
    std::printf("core-to-core handoff before: %.0f ns\n", handoff_ns());
    std::printf("%-6s %-15s %28s %10s\n", "bytes", "queue", "M msg/s", "x mutex");
    constexpr std::size_t kKinds = std::size(kinds);
    for (std::size_t size : {16, 64, 512}) {
        // Size each run from a short calibration so every cell takes about `seconds`, then interleave
        // the queues run by run so that a change of machine state hits all of them alike.
        std::uint64_t count[kKinds];
        for (std::size_t k = 0; k < kKinds; ++k)
            count[k] = static_cast<std::uint64_t>(std::max(1e5, run(kinds[k], size, 200000, capacity) * seconds));
        std::vector<double> r[kKinds];
        for (int i = 0; i < runs; ++i)
            for (std::size_t k = 0; k < kKinds; ++k) r[k].push_back(run(kinds[k], size, count[k], capacity) / 1e6);
        double base = 0;
        for (std::size_t k = 0; k < kKinds; ++k) {
            std::sort(r[k].begin(), r[k].end());
            const double med = r[k][r[k].size() / 2];
            if (kinds[k] == Kind::baseline) base = med;
            std::printf("%-6zu %-15s %8.2f [%7.2f..%7.2f] %10.1f\n", size, name(kinds[k]), med, r[k].front(),
                        r[k].back(), med / base);
        }
    }
    std::printf("core-to-core handoff after: %.0f ns\n", handoff_ns());
    return 0;
}
