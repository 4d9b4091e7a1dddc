#include <zelvar/spsc_queue/ring.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_THREAD__)
#define RING_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define RING_TSAN 1
#endif
#endif

namespace {

using namespace std::chrono_literals;
using zelvar::spsc::Ring;
using Clock = std::chrono::steady_clock;

std::uint64_t messages() {
    if (const char* env = std::getenv("RING_TEST_MESSAGES")) return std::strtoull(env, nullptr, 10);
#ifdef RING_TSAN
    return 200'000;
#else
    return 10'000'000;
#endif
}

// Message `seq` (len >= 8): the sequence number, then a fixed random pattern from an offset derived
// from seq, so that a torn, stale or misplaced message is detected.
const char* pattern(std::uint64_t seq) {
    static const std::vector<char> bytes = [] {
        std::mt19937 gen(7);
        std::vector<char> v(1 << 17);
        for (char& c : v) c = static_cast<char>(gen());
        return v;
    }();
    return bytes.data() + seq % 4099;
}
std::string make(std::uint64_t seq, std::size_t len) {
    std::string s(len, '\0');
    std::memcpy(s.data(), &seq, 8);
    std::memcpy(s.data() + 8, pattern(seq), len - 8);
    return s;
}
std::uint64_t seq_of(const char* p) {
    std::uint64_t seq;
    std::memcpy(&seq, p, 8);
    return seq;
}
bool intact(const char* p, std::size_t n) { return n >= 8 && std::memcmp(p + 8, pattern(seq_of(p)), n - 8) == 0; }

// The same seeded sizes on both sides; now and then a variable message as large as the ring allows.
struct Sizes {
    Sizes(std::size_t hi, std::size_t huge) : hi(hi), huge(huge) {}
    std::mt19937_64 gen{42};
    std::size_t hi, huge;
    std::size_t next() { return gen() % 4096 == 0 ? 8 + gen() % (huge - 7) : 8 + gen() % (hi - 7); }
};

// One family's calls behind one interface, so that each behaviour is checked for both.
struct Ops {
    bool var;
    int push(Ring& r, const std::string& s) const {
        return var ? r.push_var(s.data(), s.size()) : r.push(s.data(), s.size());
    }
    int try_push(Ring& r, const std::string& s) const {
        return var ? r.try_push_var(s.data(), s.size()) : r.try_push(s.data(), s.size());
    }
    int pop(Ring& r, const char** p, std::size_t* n) const { return var ? r.pop_var(p, n) : r.pop(p, n); }
    int try_pop(Ring& r, const char** p, std::size_t* n) const { return var ? r.try_pop_var(p, n) : r.try_pop(p, n); }
    std::string take(Ring& r) const {  // "<rc>" unless a message was obtained
        const char* p = nullptr;
        std::size_t n = 0;
        const int rc = try_pop(r, &p, &n);
        return rc == 1 ? std::string(p, n) : "<" + std::to_string(rc) + ">";
    }
};

// Closes the ring before joining, so that a failed assertion cannot leave the thread blocked.
struct Joined {
    Ring& ring;
    std::thread thread;
    void join() {
        if (thread.joinable()) thread.join();
    }
    ~Joined() {
        ring.close();
        join();
    }
};

// Waits up to 10 s for `done`, so that a fault fails the test instead of hanging it.
template <class Done>
bool eventually(Done done) {
    for (const auto end = Clock::now() + 10s; !done(); std::this_thread::yield())
        if (Clock::now() > end) return false;
    return true;
}

struct Mode {
    bool var, blocking, zerocopy;
};
class Transfer : public ::testing::TestWithParam<Mode> {};

TEST_P(Transfer, RandomSizedMessagesArriveWholeAndInOrder) {
    const Mode m = GetParam();
    const Ops ops{m.var};
    const std::uint64_t count = messages();
    Ring ring(40, 64, false, m.zerocopy, m.blocking);
    const std::size_t hi = m.var ? 200 : ring.slot_size(), huge = m.var ? ring.max_var_message() : hi;
    std::atomic<bool> push_failed{false};
    Joined producer{ring, std::thread([&] {
                        Sizes sizes(hi, huge);
                        for (std::uint64_t i = 0; i < count && !push_failed; ++i) {
                            const std::string msg = make(i, sizes.next());
                            int rc;
                            while ((rc = m.blocking ? ops.push(ring, msg) : ops.try_push(ring, msg)) == 0)
                                std::this_thread::yield();
                            push_failed = rc != 1;
                        }
                        ring.close();
                    })};
    Sizes sizes(hi, huge);
    const char* p = nullptr;
    std::size_t n = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        int rc;
        while ((rc = m.blocking ? ops.pop(ring, &p, &n) : ops.try_pop(ring, &p, &n)) == 0) std::this_thread::yield();
        ASSERT_EQ(rc, 1) << "message " << i;
        ASSERT_EQ(n, sizes.next()) << "message " << i;
        ASSERT_EQ(seq_of(p), i);
        ASSERT_TRUE(intact(p, n)) << "message " << i;
        if (i % 2) ring.release();  // otherwise the next call frees it
    }
    producer.join();
    EXPECT_FALSE(push_failed);
    EXPECT_EQ(m.blocking ? ops.pop(ring, &p, &n) : ops.try_pop(ring, &p, &n), -1);
}

INSTANTIATE_TEST_SUITE_P(, Transfer,
                         ::testing::Values(Mode{false, false, true}, Mode{false, false, false}, Mode{false, true, true},
                                           Mode{true, false, true}, Mode{true, false, false}, Mode{true, true, true},
                                           Mode{true, true, false}),
                         [](const auto& info) {
                             return std::string(info.param.var ? "Var" : "Fixed") +
                                    (info.param.blocking ? "Blocking" : "Try") +
                                    (info.param.zerocopy ? "Zerocopy" : "Copy");
                         });

class PerFamily : public ::testing::TestWithParam<Ops> {};

TEST_P(PerFamily, FullRingRefusesOrWaitsAndKeepsItsContents) {
    const Ops ops = GetParam();
    for (bool block : {false, true}) {
        Ring ring(16, 4, /*overwrite, ignored by the variable family=*/ops.var, false, block);
        std::uint64_t stored = 0;
        while (ops.try_push(ring, make(stored, 16)) == 1) ++stored;
        EXPECT_TRUE(ops.var || stored == ring.capacity()) << stored;
        EXPECT_EQ(ring.size_approx(), stored);
        std::atomic<int> late{99};
        Joined pusher{ring, std::thread([&] { late = ops.push(ring, make(stored, 16)); })};
        if (block) {  // nothing was popped, so it must still be waiting
            std::this_thread::sleep_for(30ms);
            EXPECT_EQ(late, 99);
        } else {
            ASSERT_TRUE(eventually([&] { return late != 99; }));
            EXPECT_EQ(late, 0);
        }
        for (std::uint64_t i = 0; i < stored + block; ++i) {
            EXPECT_EQ(ops.take(ring), make(i, 16));
            ASSERT_TRUE(eventually([&] { return late != 99; }));
        }
        EXPECT_EQ(late, block ? 1 : 0);
        EXPECT_EQ(ops.take(ring), "<0>");
    }
}

TEST_P(PerFamily, SizeLimitsFamilyAndClose) {
    const Ops ops = GetParam(), other{!ops.var};
    Ring ring(16, 4, false, true, false);
    ring.set_wait_slice(1ms);
    const std::size_t max = ops.var ? ring.max_var_message() : ring.slot_size();
    EXPECT_EQ(ops.try_push(ring, std::string(max + 1, 'x')), -2);
    EXPECT_EQ(ops.push(ring, std::string(max + 1, 'x')), -2);
    EXPECT_EQ(ring.size_approx(), 0u);
    for (const std::string& s : {std::string(), std::string("a"), std::string(), make(1, max)}) {
        // A message as large as the ring may first need the consumer to pass the end of the buffer.
        int rc = 0;
        for (int round = 0; round < 3 && (rc = ops.try_push(ring, s)) == 0; ++round) EXPECT_EQ(ops.take(ring), "<0>");
        ASSERT_EQ(rc, 1);
        EXPECT_EQ(ops.take(ring), s);
    }
    EXPECT_EQ(ops.take(ring), "<0>");  // frees the held message, which may fill the whole ring
    const char* p = nullptr;
    std::size_t n = 0;
    ASSERT_EQ(ops.try_push(ring, "a"), 1);
    for (int rc :
         {other.try_push(ring, "x"), other.push(ring, "x"), other.try_pop(ring, &p, &n), other.pop(ring, &p, &n)})
        EXPECT_EQ(rc, -3);
    ASSERT_EQ(ops.try_push(ring, "b"), 1);
    EXPECT_EQ(ops.pop(ring, &p, &n), 1);
    EXPECT_EQ(std::string(p, n), "a");
    ring.close();
    ring.close();
    EXPECT_EQ(ops.try_push(ring, "c"), -1);
    EXPECT_EQ(ops.push(ring, "c"), -1);
    EXPECT_EQ(ops.take(ring), "b");
    EXPECT_EQ(ops.take(ring), "<-1>");
    EXPECT_EQ(ops.pop(ring, &p, &n), -1);
}

// zerocopy keeps the message in its slot until the next call; a copy frees the slot at once and
// stays intact while the producer reuses that slot.
TEST_P(PerFamily, ZerocopyHoldsTheSlotCopyFreesIt) {
    const Ops ops = GetParam();
    for (bool zerocopy : {true, false}) {
        Ring ring(16, 2, false, zerocopy, false);
        ASSERT_EQ(ops.try_push(ring, make(0, 16)), 1);
        ASSERT_EQ(ops.try_push(ring, make(1, 16)), 1);
        const char* p = nullptr;
        std::size_t n = 0;
        ASSERT_EQ(ops.try_pop(ring, &p, &n), 1);
        EXPECT_EQ(ops.try_push(ring, make(2, 16)), zerocopy ? 0 : 1);
        EXPECT_EQ(std::string(p, n), make(0, 16));
        EXPECT_EQ(ops.take(ring), make(1, 16));
        if (zerocopy) {
            EXPECT_EQ(ops.try_push(ring, make(2, 16)), 1);  // the call freed the first slot
        }
        EXPECT_EQ(ops.take(ring), make(2, 16));
    }
}

// With a wait slice of a minute, only close() itself can end these calls promptly.
TEST_P(PerFamily, CloseWakesASleepingCall) {
    const Ops ops = GetParam();
    for (bool push : {false, true}) {
        Ring ring(16, 2, false, true, true);
        ring.set_wait_slice(60s);
        while (push && ops.try_push(ring, "fill") == 1) {
        }
        std::atomic<int> rc{99};
        std::atomic<Clock::rep> returned{0};
        Joined waiter{ring, std::thread([&] {
                          const char* p = nullptr;
                          std::size_t n = 0;
                          rc = push ? ops.push(ring, "x") : ops.pop(ring, &p, &n);
                          returned = Clock::now().time_since_epoch().count();
                      })};
        std::this_thread::sleep_for(50ms);
        ASSERT_EQ(rc, 99);
        const auto closed_at = Clock::now();
        ring.close();
        waiter.join();
        EXPECT_EQ(rc, -1);
        EXPECT_LT(Clock::time_point(Clock::duration(returned.load())) - closed_at, 500ms);
    }
}

// Both sides keep going to sleep (bursts, pauses, a ring smaller than a burst); with a wait slice
// of 20 s a lost wake-up shows as a stall: pop returns 0, or a push takes seconds.
TEST_P(PerFamily, NoWakeUpIsLostAcrossBursts) {
    const Ops ops = GetParam();
    Ring ring(24, 8, false, true, true);
    ring.set_wait_slice(20s);
#ifdef RING_TSAN
    const std::uint64_t bursts = 300;
#else
    const std::uint64_t bursts = 3000;
#endif
    std::atomic<Clock::rep> slowest_push{0};
    Joined producer{ring, std::thread([&] {
                        std::mt19937 gen(3);
                        for (std::uint64_t seq = 0, b = 0; b < bursts; ++b) {
                            for (unsigned k = 1 + gen() % 20; k > 0; --k, ++seq) {
                                const auto start = Clock::now();
                                if (ops.push(ring, make(seq, 8 + seq % 17)) != 1) return;
                                slowest_push = std::max(slowest_push.load(), (Clock::now() - start).count());
                            }
                            std::this_thread::sleep_for(std::chrono::microseconds(gen() % 300));
                        }
                        ring.close();
                    })};
    std::mt19937 gen(4);
    const char* p = nullptr;
    std::size_t n = 0;
    std::uint64_t seq = 0;
    for (int rc; (rc = ops.pop(ring, &p, &n)) != -1; ++seq) {
        ASSERT_EQ(rc, 1) << "stalled after message " << seq;
        ASSERT_EQ(seq_of(p), seq);
        ASSERT_EQ(n, 8 + seq % 17);
        if (gen() % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(gen() % 500));
    }
    EXPECT_GT(seq, bursts);
    EXPECT_LT(Clock::duration(slowest_push.load()), 10s);
}

INSTANTIATE_TEST_SUITE_P(, PerFamily, ::testing::Values(Ops{false}, Ops{true}),
                         [](const auto& info) { return std::string(info.param.var ? "Var" : "Fixed"); });

TEST(FixedRing, PopHoldsUntilReleaseOrNextPop) {
    Ring ring(8, 2, false, false, false);
    for (const char* s : {"a", "b"}) ASSERT_EQ(ring.try_push(s, 1), 1);
    const char* p = nullptr;
    std::size_t n = 0;
    ASSERT_EQ(ring.pop(&p, &n), 1);
    EXPECT_EQ(ring.try_push("c", 1), 0);  // "a" is held although zerocopy is off
    ASSERT_EQ(ring.pop(&p, &n), 1);       // frees "a"
    EXPECT_EQ(std::string(p, n), "b");
    EXPECT_EQ(ring.try_push("c", 1), 1);
    EXPECT_EQ(ring.try_push("d", 1), 0);
    ring.release();
    ring.release();
    EXPECT_EQ(ring.try_push("d", 1), 1);
    ASSERT_EQ(ring.pop(&p, &n), 1);
    EXPECT_EQ(std::string(p, n), "c");
}

std::vector<std::uint64_t> drain(Ring& ring) {
    std::vector<std::uint64_t> seen;
    const char* p = nullptr;
    std::size_t n = 0;
    while (ring.try_pop(&p, &n) == 1) {
        EXPECT_TRUE(intact(p, n));
        seen.push_back(seq_of(p));
    }
    return seen;
}

TEST(FixedRing, OverwriteKeepsTheNewestAndNeverTouchesTheHeldMessage) {
    Ring ring(16, 4, true, true, false);
    auto push = [&](std::uint64_t i) {  // without block_on_full, push overwrites just like try_push
        const std::string m = make(i, 16);
        return i % 2 ? ring.try_push(m.data(), m.size()) : ring.push(m.data(), m.size());
    };
    for (std::uint64_t i = 0; i < 10; ++i) ASSERT_EQ(push(i), 1);
    EXPECT_EQ(drain(ring), (std::vector<std::uint64_t>{6, 7, 8, 9}));

    const char* held = nullptr;
    std::size_t held_n = 0;
    ASSERT_EQ(push(10), 1);
    ASSERT_EQ(ring.pop(&held, &held_n), 1);
    for (std::uint64_t i = 11; i <= 60; ++i) ASSERT_EQ(push(i), 1);
    EXPECT_EQ(std::string(held, held_n), make(10, 16));
    // The held slot may cost one place while the producer laps it; the rest is the newest, in order.
    const std::vector<std::uint64_t> seen = drain(ring);
    ASSERT_GE(seen.size(), ring.capacity() - 1);
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], 60 - (seen.size() - 1 - i));
}

TEST(FixedRing, OverwriteWithBlockOnFullWaitsOnlyInPush) {
    Ring ring(8, 1, true, true, true);
    ASSERT_EQ(ring.try_push("a", 1), 1);
    ASSERT_EQ(ring.try_push("b", 1), 1);  // never waits: drops "a"
    std::atomic<int> rc{99};
    Joined pusher{ring, std::thread([&] { rc = ring.push("c", 1); })};
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(rc, 99);
    EXPECT_EQ(Ops{false}.take(ring), "b");
    ASSERT_TRUE(eventually([&] { return rc != 99; }));
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(Ops{false}.take(ring), "c");
}

// overwrite with block_on_full: push waits for room, try_push drops the oldest. The consumer holds
// each message for a while, so the producer keeps lapping the held slot; neither side may stall.
// A stall shows as pop returning nothing for seconds, and closing the ring then frees the producer.
struct Lapping {
    bool var;
    std::size_t capacity;
};
class OverwriteBlocking : public ::testing::TestWithParam<Lapping> {};

TEST_P(OverwriteBlocking, BothSidesFinishAndEveryMessageArrivesOnceOrIsDropped) {
    const Lapping l = GetParam();
    const Ops ops{l.var};
    const std::uint64_t count = messages() / 100;
    Ring ring(24, l.capacity, /*overwrite=*/true, /*zerocopy=*/true, /*block_on_full=*/true);
    ring.set_wait_slice(5ms);
    std::atomic<std::uint64_t> overwriting_pushes{0};
    Joined producer{ring, std::thread([&] {
                        std::mt19937 gen(6);
                        for (std::uint64_t i = 0; i < count; ++i) {
                            const std::string msg = make(i, 8 + i % 17);
                            int rc = gen() % 8 == 0 ? ops.try_push(ring, msg) : 0;
                            if (rc == 1 && !l.var) ++overwriting_pushes;
                            if (rc == 0) rc = ops.push(ring, msg);
                            if (rc != 1) return;  // closed: the consumer gave up
                        }
                        ring.close();
                    })};
    std::mt19937 gen(7);
    const char* p = nullptr;
    std::size_t n = 0;
    std::uint64_t received = 0, last = 0;
    auto progress = Clock::now();
    for (int rc; (rc = ops.pop(ring, &p, &n)) != -1;) {
        if (rc == 0) {
            ASSERT_LT(Clock::now() - progress, 10s) << "stalled after " << received << " messages, the last " << last;
            continue;
        }
        ASSERT_EQ(rc, 1);
        progress = Clock::now();
        const std::uint64_t seq = seq_of(p);
        ASSERT_TRUE(received++ == 0 || seq > last) << seq << " after " << last;
        ASSERT_EQ(n, 8 + seq % 17);
        if (gen() % 4 == 0) std::this_thread::yield();  // hold it while the producer laps the ring
        ASSERT_TRUE(intact(p, n)) << "message " << seq;
        if (gen() % 8 == 0) ring.release();
        last = seq;
    }
    producer.join();
    EXPECT_EQ(last, count - 1);
    // A waiting push never drops; an overwriting one drops the oldest, and one more when it has to
    // skip the held slot on the way.
    EXPECT_GE(received + 2 * overwriting_pushes, count);
    if (l.var) {
        EXPECT_EQ(received, count);
    }
}

INSTANTIATE_TEST_SUITE_P(, OverwriteBlocking,
                         ::testing::Values(Lapping{false, 1}, Lapping{false, 2}, Lapping{false, 4}, Lapping{false, 16},
                                           Lapping{true, 1}, Lapping{true, 2}, Lapping{true, 4}, Lapping{true, 16}),
                         [](const auto& info) {
                             return std::string(info.param.var ? "Var" : "Fixed") + "Capacity" +
                                    std::to_string(info.param.capacity);
                         });

// The producer laps a consumer that holds messages for a while: everything received must be
// intact and newer than the message before, and the last message is never lost.
class OverwriteStress : public ::testing::TestWithParam<bool> {};

TEST_P(OverwriteStress, ConsumerSeesOnlyIntactIncreasingMessages) {
    const std::uint64_t count = messages() / 10;
    Ring ring(48, 8, true, /*zerocopy=*/GetParam(), false);
    Joined producer{ring, std::thread([&] {
                        for (std::uint64_t i = 0; i < count; ++i) {
                            const std::string msg = make(i, 8 + i % 41);
                            if (ring.try_push(msg.data(), msg.size()) != 1) return;
                        }
                        ring.close();
                    })};
    std::mt19937 gen(5);
    const char* p = nullptr;
    std::size_t n = 0;
    std::uint64_t last = 0, received = 0;
    for (int rc; (rc = gen() % 2 ? ring.pop(&p, &n) : ring.try_pop(&p, &n)) != -1;) {
        if (rc == 0) continue;
        const std::uint64_t seq = seq_of(p);
        ASSERT_TRUE(received++ == 0 || seq > last) << seq << " after " << last;
        ASSERT_EQ(n, 8 + seq % 41);
        if (gen() % 16 == 0) std::this_thread::yield();  // hold it while the producer laps the ring
        ASSERT_TRUE(intact(p, n)) << "message " << seq;
        last = seq;
    }
    EXPECT_EQ(last, count - 1);
}

INSTANTIATE_TEST_SUITE_P(, OverwriteStress, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Zerocopy" : "Copy"); });

TEST(Sizing, InvalidSizesAreRefusedBeforeAllocating) {
    constexpr std::size_t G = std::size_t{1} << 30;
    for (auto [slot_size, capacity] : {std::pair<std::size_t, std::size_t>{0, 8},
                                       {8, 0},
                                       {SIZE_MAX, 1},
                                       {1, SIZE_MAX},
                                       {SIZE_MAX / 2, SIZE_MAX / 2},
                                       {G, 1},
                                       {56, (G >> 6) + 1},
                                       {512, G >> 9}}) {
        SCOPED_TRACE(std::to_string(slot_size) + " x " + std::to_string(capacity));
        EXPECT_FALSE(Ring::validate(slot_size, capacity).empty());
        EXPECT_THROW(Ring(slot_size, capacity, false, false, false), std::invalid_argument);
    }
    EXPECT_TRUE(Ring::validate(56, G >> 6).empty());                     // exactly 1 GiB
    EXPECT_FALSE(Ring::validate(G / 2, 1, /*overwrite=*/true).empty());  // needs a second slot
}

TEST(Sizing, CapacityRoundsUpToAPowerOfTwo) {
    Ring ring(10, 5, false, false, false);
    EXPECT_EQ(ring.capacity(), 8u);
    EXPECT_EQ(ring.byte_capacity(), 8u * 24);
    EXPECT_EQ(ring.max_var_message(), 8u * 24 - 8);
}

}  // namespace
