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

// Message `seq` of `len` >= 8 bytes: the sequence number, then bytes of a fixed random pattern
// starting at an offset derived from seq, so a torn, stale or misplaced message is detected.
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

// Same seeded sequence on both sides; now and then a variable message as large as the ring allows.
struct Sizes {
  Sizes(std::size_t hi, std::size_t huge) : hi(hi), huge(huge) {}
  std::mt19937_64 gen{42};
  std::size_t hi, huge;
  std::size_t next() { return gen() % 4096 == 0 ? 8 + gen() % (huge - 7) : 8 + gen() % (hi - 7); }
};

// One family's calls behind one interface, so each behaviour is checked for both.
struct Ops {
  bool var;
  int push(Ring& r, const std::string& s) const { return var ? r.push_var(s.data(), s.size()) : r.push(s.data(), s.size()); }
  int try_push(Ring& r, const std::string& s) const {
    return var ? r.try_push_var(s.data(), s.size()) : r.try_push(s.data(), s.size());
  }
  int try_pop(Ring& r, const char** p, std::size_t* n) const { return var ? r.try_pop_var(p, n) : r.try_pop(p, n); }
  int pop(Ring& r, const char** p, std::size_t* n) const { return var ? r.pop_var(p, n) : r.pop(p, n); }
  int try_pop(Ring& r, std::string& out) const {
    const char* p = nullptr;
    std::size_t n = 0;
    const int rc = try_pop(r, &p, &n);
    if (rc == 1) out.assign(p, n);
    return rc;
  }
};
const Ops kFixed{false}, kVar{true};

// Closes the ring before joining, so a failed assertion cannot leave a thread blocked.
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

// ---- transfer -------------------------------------------------------------------------------------

struct Mode {
  bool var, blocking, zerocopy;
};
class Transfer : public ::testing::TestWithParam<Mode> {};

TEST_P(Transfer, RandomSizedMessagesArriveWholeAndInOrder) {
  const Mode m = GetParam();
  const Ops ops{m.var};
  const std::uint64_t count = messages();
  Ring ring(40, 64, false, m.zerocopy, m.blocking);
  const std::size_t hi = m.var ? 200 : ring.slot_size();
  std::atomic<bool> push_failed{false};
  Joined producer{ring, std::thread([&] {
                    Sizes sizes(hi, m.var ? ring.max_var_message() : hi);
                    for (std::uint64_t i = 0; i < count; ++i) {
                      const std::string msg = make(i, sizes.next());
                      int rc;
                      while ((rc = m.blocking ? ops.push(ring, msg) : ops.try_push(ring, msg)) == 0) std::this_thread::yield();
                      if (rc != 1) {
                        push_failed = true;
                        return;
                      }
                    }
                    ring.close();
                  })};
  Sizes sizes(hi, m.var ? ring.max_var_message() : hi);
  const char* p = nullptr;
  std::size_t n = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    int rc;
    while ((rc = m.blocking ? ops.pop(ring, &p, &n) : ops.try_pop(ring, &p, &n)) == 0) {
    }
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

// ---- behaviour shared by both families ----------------------------------------------------------------

class PerFamily : public ::testing::TestWithParam<Ops> {};

TEST_P(PerFamily, FullRingRefusesAndKeepsItsContents) {
  const Ops ops = GetParam();
  Ring ring(16, 4, /*overwrite (ignored by the variable family)=*/ops.var, true, false);
  std::uint64_t stored = 0;
  while (ops.try_push(ring, make(stored, 16)) == 1) ++stored;
  if (!ops.var) {
    EXPECT_EQ(stored, ring.capacity());
  }
  EXPECT_EQ(ops.push(ring, make(99, 16)), 0);  // without block_on_full push does not wait
  EXPECT_EQ(ring.size_approx(), stored);
  std::string got;
  for (std::uint64_t i = 0; i < stored; ++i) {
    ASSERT_EQ(ops.try_pop(ring, got), 1);
    EXPECT_EQ(got, make(i, 16));
  }
  EXPECT_EQ(ops.try_pop(ring, got), 0);
}

TEST_P(PerFamily, FullRingWaitsForRoomWithBlockOnFull) {
  const Ops ops = GetParam();
  Ring ring(16, 2, false, false, true);
  std::uint64_t stored = 0;
  while (ops.try_push(ring, make(stored, 16)) == 1) ++stored;
  std::atomic<int> late{99};
  {
    Joined pusher{ring, std::thread([&] { late = ops.push(ring, make(stored, 16)); })};
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(late, 99);  // still waiting: nothing was popped
    std::string got;
    ASSERT_EQ(ops.try_pop(ring, got), 1);
    EXPECT_EQ(got, make(0, 16));
    while (late == 99) std::this_thread::yield();
    EXPECT_EQ(late, 1);
    for (std::uint64_t i = 1; i <= stored; ++i) {
      ASSERT_EQ(ops.try_pop(ring, got), 1);
      EXPECT_EQ(got, make(i, 16));
    }
  }
}

TEST_P(PerFamily, SizeLimitsAndZeroLength) {
  const Ops ops = GetParam();
  Ring ring(16, 4, false, true, false);
  const std::size_t max = ops.var ? ring.max_var_message() : ring.slot_size();
  EXPECT_EQ(ops.try_push(ring, std::string(max + 1, 'x')), -2);
  EXPECT_EQ(ops.push(ring, std::string(max + 1, 'x')), -2);
  EXPECT_EQ(ring.size_approx(), 0u);
  std::string got;
  for (const std::string& s : {std::string(), std::string("a"), std::string(), make(1, max)}) {
    // A message as large as the ring may first need the consumer to pass the end of the buffer.
    int rc = 0;
    for (int round = 0; round < 3 && (rc = ops.try_push(ring, s)) == 0; ++round) EXPECT_EQ(ops.try_pop(ring, got), 0);
    ASSERT_EQ(rc, 1);
    ASSERT_EQ(ops.try_pop(ring, got), 1);
    EXPECT_EQ(got, s);
  }
}

TEST_P(PerFamily, OtherFamilyIsRefusedWithoutEffect) {
  const Ops ops = GetParam(), other{!ops.var};
  Ring ring(16, 4, false, true, false);
  ASSERT_EQ(ops.try_push(ring, "abc"), 1);
  const char* p = nullptr;
  std::size_t n = 0;
  EXPECT_EQ(other.try_push(ring, "x"), -3);
  EXPECT_EQ(other.push(ring, "x"), -3);
  EXPECT_EQ(other.try_pop(ring, &p, &n), -3);
  EXPECT_EQ(other.pop(ring, &p, &n), -3);
  EXPECT_EQ(ring.size_approx(), 1u);
  std::string got;
  ASSERT_EQ(ops.try_pop(ring, got), 1);
  EXPECT_EQ(got, "abc");
}

TEST_P(PerFamily, CloseRefusesPushesAndDrains) {
  const Ops ops = GetParam();
  Ring ring(16, 4, false, true, false);
  ring.set_wait_slice(1ms);
  ASSERT_EQ(ops.try_push(ring, "a"), 1);
  ASSERT_EQ(ops.try_push(ring, "b"), 1);
  const char* p = nullptr;
  std::size_t n = 0;
  EXPECT_EQ(ops.pop(ring, &p, &n), 1);
  EXPECT_EQ(ops.pop(ring, &p, &n), 1);
  EXPECT_EQ(std::string(p, n), "b");
  EXPECT_EQ(ops.pop(ring, &p, &n), 0);  // empty and open: one wait slice, then nothing
  ring.close();
  ring.close();
  EXPECT_EQ(ops.try_push(ring, "c"), -1);
  EXPECT_EQ(ops.push(ring, "c"), -1);
  EXPECT_EQ(ops.try_pop(ring, &p, &n), -1);
  EXPECT_EQ(ops.pop(ring, &p, &n), -1);
}

// zerocopy: the message stays in the ring (its slot occupied) until the next call; a copy frees
// the slot at once and stays intact while the producer reuses that slot.
TEST_P(PerFamily, ZerocopyHoldsTheSlotCopyFreesIt) {
  const Ops ops = GetParam();
  for (bool zerocopy : {true, false}) {
    Ring ring(16, 2, false, zerocopy, false);
    ASSERT_EQ(ops.try_push(ring, make(0, 16)), 1);
    ASSERT_EQ(ops.try_push(ring, make(1, 16)), 1);
    const char* p = nullptr;
    std::size_t n = 0;
    ASSERT_EQ(ops.try_pop(ring, &p, &n), 1);
    const bool in_ring = ops.try_push(ring, make(2, 16)) == 0;
    EXPECT_EQ(in_ring, zerocopy);
    EXPECT_EQ(std::string(p, n), make(0, 16));
    ASSERT_EQ(ops.try_pop(ring, &p, &n), 1);
    EXPECT_EQ(std::string(p, n), make(1, 16));
    if (in_ring) {
      EXPECT_EQ(ops.try_push(ring, make(2, 16)), 1);  // the first slot was freed by the call
    }
    ASSERT_EQ(ops.try_pop(ring, &p, &n), 1);
    EXPECT_EQ(std::string(p, n), make(2, 16));
  }
}

// A producer and a blocking consumer that both keep going to sleep: every message must arrive
// within the (long) wait slice, so a lost wake-up on either side shows as a stall.
TEST_P(PerFamily, NoWakeUpIsLostAcrossBursts) {
  const Ops ops = GetParam();
  Ring ring(24, 8, false, true, true);
  ring.set_wait_slice(20s);
#ifdef RING_TSAN
  const int bursts = 300;
#else
  const int bursts = 3000;
#endif
  std::atomic<std::int64_t> slowest_push_ms{0};
  Joined producer{ring, std::thread([&] {
                    std::mt19937 gen(3);
                    for (std::uint64_t seq = 0, b = 0; b < static_cast<std::uint64_t>(bursts); ++b) {
                      for (unsigned k = 1 + gen() % 20; k > 0; --k, ++seq) {
                        const auto start = Clock::now();
                        if (ops.push(ring, make(seq, 8 + seq % 17)) != 1) return;
                        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
                        if (ms > slowest_push_ms) slowest_push_ms = ms;
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
    if (gen() % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(gen() % 500));  // let the producer fill up
  }
  EXPECT_GT(seq, static_cast<std::uint64_t>(bursts));
  EXPECT_LT(slowest_push_ms, 10'000);
}

INSTANTIATE_TEST_SUITE_P(, PerFamily, ::testing::Values(kFixed, kVar),
                         [](const auto& info) { return std::string(info.param.var ? "Var" : "Fixed"); });

// close() must wake a call sleeping in the futex; the long wait slice means only the wake can end it.
struct Blocked {
  const char* name;
  bool var, push;
};
class CloseWakes : public ::testing::TestWithParam<Blocked> {};

TEST_P(CloseWakes, SleepingCallReturnsClosedPromptly) {
  const Blocked b = GetParam();
  const Ops ops{b.var};
  Ring ring(16, 2, false, true, true);
  ring.set_wait_slice(60s);
  if (b.push)
    while (ops.try_push(ring, "fill") == 1) {
    }
  std::atomic<int> rc{99};
  std::atomic<Clock::rep> returned{0};
  Joined waiter{ring, std::thread([&] {
                  const char* p = nullptr;
                  std::size_t n = 0;
                  rc = b.push ? ops.push(ring, "x") : ops.pop(ring, &p, &n);
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

INSTANTIATE_TEST_SUITE_P(, CloseWakes,
                         ::testing::Values(Blocked{"Pop", false, false}, Blocked{"PopVar", true, false},
                                           Blocked{"Push", false, true}, Blocked{"PushVar", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- fixed family only ------------------------------------------------------------------------------

TEST(FixedRing, PopHoldsUntilReleaseOrNextPop) {
  Ring ring(8, 2, false, false, false);
  for (const char* s : {"a", "b"}) ASSERT_EQ(ring.try_push(s, 1), 1);
  const char* p = nullptr;
  std::size_t n = 0;
  ASSERT_EQ(ring.pop(&p, &n), 1);
  EXPECT_EQ(ring.try_push("c", 1), 0);  // "a" is held even though zerocopy is off
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
  auto push = [&](std::uint64_t i) {  // push without block_on_full overwrites just like try_push
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
  const char* p = nullptr;
  std::size_t n = 0;
  ASSERT_EQ(ring.try_pop(&p, &n), 1);
  EXPECT_EQ(std::string(p, n), "b");
  while (rc == 99) std::this_thread::yield();
  EXPECT_EQ(rc, 1);
  ASSERT_EQ(ring.try_pop(&p, &n), 1);
  EXPECT_EQ(std::string(p, n), "c");
}

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
    ASSERT_TRUE(received == 0 || seq > last) << seq << " after " << last;
    ASSERT_EQ(n, 8 + seq % 41);
    if (gen() % 16 == 0) std::this_thread::yield();  // hold it while the producer laps the ring
    ASSERT_TRUE(intact(p, n)) << "message " << seq;
    last = seq;
    ++received;
  }
  EXPECT_EQ(last, count - 1);
}

INSTANTIATE_TEST_SUITE_P(, OverwriteStress, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Zerocopy" : "Copy"); });

// ---- construction --------------------------------------------------------------------------------------

struct Sizing {
  std::size_t slot_size, capacity;
};
class InvalidSizes : public ::testing::TestWithParam<Sizing> {};

TEST_P(InvalidSizes, AreRefusedBeforeAllocating) {
  const auto [slot_size, capacity] = GetParam();
  EXPECT_FALSE(Ring::validate(slot_size, capacity).empty());
  EXPECT_THROW(Ring(slot_size, capacity, false, false, false), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(, InvalidSizes,
                         ::testing::Values(Sizing{0, 8}, Sizing{8, 0}, Sizing{SIZE_MAX, 1}, Sizing{1, SIZE_MAX},
                                           Sizing{SIZE_MAX / 2, SIZE_MAX / 2}, Sizing{std::size_t{1} << 30, 1},
                                           Sizing{56, (std::size_t{1} << 24) + 1}, Sizing{512, std::size_t{1} << 21}));

TEST(Construction, CapacityRoundsUpToAPowerOfTwoWithinTheLimit) {
  EXPECT_TRUE(Ring::validate(56, std::size_t{1} << 24).empty());  // exactly 1 GiB
  Ring ring(10, 5, false, false, false);
  EXPECT_EQ(ring.capacity(), 8u);
  EXPECT_EQ(ring.byte_capacity(), 8u * 24);
}

}  // namespace
