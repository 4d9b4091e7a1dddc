// The state every ring family shares: the buffer and its geometry, the two indexes with each side's
// cached copy of the other's, the sleep flags, and the index operations built on them (publishing
// an index, waiting for the other side to move its index, adopting a family). The families
// (ring_fixed.hpp, ring_overwrite.hpp, ring_bytes.hpp) are algorithms over this state.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "ring_wait.hpp"

namespace zelvar::spsc {

inline constexpr int kOk = 1;
inline constexpr int kFull = 0;   // push: not stored, no room
inline constexpr int kEmpty = 0;  // pop: nothing there (or nothing within one wait slice)
inline constexpr int kNone = 0;   // either of the two above, for callers that treat them alike
inline constexpr int kClosed = -1;
inline constexpr int kTooLarge = -2;
inline constexpr int kWrongFamily = -3;

enum class Family : int { unset = 0, fixed = 1, variable = 2 };

namespace detail {

inline constexpr std::size_t kCacheLine = 64;
inline constexpr std::size_t kHeader = 8;  // a slot's or a record's length word

// What the consumer holds until its next call (or release()).
enum class Hold : unsigned char { none, in_place, claimed, bytes };

inline constexpr std::uint64_t kNoHold = ~std::uint64_t{0};

// The length word of a slot or record, read and written atomically in place.
inline std::atomic_ref<std::uint64_t> header(char* p) noexcept {
    return std::atomic_ref<std::uint64_t>(*reinterpret_cast<std::uint64_t*>(p));
}

// Three groups kept on separate cache lines by explicit padding: alignas would be unsound, as the
// ring may live inside memory that is only 16-byte aligned (a Python object's).

// Set at construction (family and closed change once), read by both sides.
struct Config {
    void* raw = nullptr;
    char* buf = nullptr;
    std::size_t slot_size = 0, limit = 0, mask = 0, stride = 0, bytes = 0;
    bool overwrite = false, zerocopy = false, block_on_full = false;
    std::atomic<bool> closed{false};
    std::atomic<int> family{0};
    std::atomic<std::int64_t> wait_slice_ns{50'000'000};
    bool light_wake = process_barrier_available();
    [[maybe_unused]] char pad[kCacheLine];
};

// Written by the producer. The first line holds what the consumer reads too (cons_sleeping is read
// on every push and written only by a consumer going to sleep); the producer's own copies sit on a
// line of their own.
struct ProducerLine {
    std::atomic<std::uint64_t> tail{0};
    std::atomic<std::uint64_t> var_pushed{0};
    std::atomic<std::uint32_t> cons_sleeping{0};
    [[maybe_unused]] char split[kCacheLine];
    std::uint64_t head_cache = 0;
    std::uint64_t tail_pos = 0;  // byte ring: offset of tail in the buffer
    [[maybe_unused]] char pad[kCacheLine];
};

// Written by the consumer, split the same way. A producer facing a full ring re-reads head on every
// attempt; with the consumer's own state on that line, each of those reads would cost the consumer
// a miss on its next pop.
struct ConsumerLine {
    std::atomic<std::uint64_t> head{0};
    std::atomic<std::uint64_t> held{kNoHold};  // overwrite family: the index the consumer takes or holds
    std::atomic<std::uint64_t> var_popped{0};
    std::atomic<std::uint32_t> prod_sleeping{0};
    [[maybe_unused]] char split[kCacheLine];
    std::uint64_t tail_cache = 0;
    std::uint64_t head_pos = 0;  // byte ring: offset of head in the buffer
    Hold hold = Hold::none;
    std::uint64_t hold_next = 0, hold_pos = 0;
    char* scratch = nullptr;
    [[maybe_unused]] char pad[kCacheLine];
};

// Each group (and each half of the two sides) ends in a full line of padding, so no field of the
// next one shares a line with it.
static_assert(sizeof(Config) - offsetof(Config, pad) >= kCacheLine);
static_assert(offsetof(ProducerLine, head_cache) - offsetof(ProducerLine, split) >= kCacheLine);
static_assert(sizeof(ProducerLine) - offsetof(ProducerLine, pad) >= kCacheLine);
static_assert(offsetof(ConsumerLine, tail_cache) - offsetof(ConsumerLine, split) >= kCacheLine);
static_assert(sizeof(ConsumerLine) - offsetof(ConsumerLine, pad) >= kCacheLine);
static_assert(std::atomic<std::uint64_t>::is_always_lock_free && std::atomic<std::uint32_t>::is_always_lock_free);

struct RingState {
    using Clock = detail::Clock;

    Config cfg;
    ProducerLine prod;
    ConsumerLine cons;

    char* slot(std::uint64_t index) const noexcept { return cfg.buf + (index & cfg.mask) * cfg.stride; }

    // The first push or pop fixes the family; afterwards this is one relaxed load and a compare,
    // with no read-modify-write. Relaxed: the family guards no data, only which calls are accepted.
    bool adopt(Family f) noexcept {
        int cur = cfg.family.load(std::memory_order_relaxed);
        if (cur == static_cast<int>(f)) return true;
        if (cur == 0 && cfg.family.compare_exchange_strong(cur, static_cast<int>(f))) return true;
        return cur == static_cast<int>(f);
    }

    // acquire: a push made before close() is visible to whoever sees closed.
    bool closed() const noexcept { return cfg.closed.load(std::memory_order_acquire); }

    // Producer: whether `want` more units fit after index `t` in a ring of `room` units. The
    // consumer's index is re-read (acquire: its frees happen before our writes into the space)
    // only when the cached copy says no.
    bool fits(std::uint64_t t, std::uint64_t want, std::uint64_t room) noexcept {
        if (t - prod.head_cache + want <= room) return true;
        prod.head_cache = cons.head.load(std::memory_order_acquire);
        return t - prod.head_cache + want <= room;
    }

    // ---- publishing an index, and waking a sleeper on the other side -----------------------------

    void publish(std::atomic<std::uint64_t>& index, std::uint64_t value, std::atomic<std::uint32_t>& sleeper) noexcept {
        if (cfg.light_wake) {
            // release: the message (or the freed space) before the index. The sleeper's
            // process_barrier() supplies the full fence; the signal fence keeps the compiler from
            // moving the flag read above the store.
            index.store(value, std::memory_order_release);
            std::atomic_signal_fence(std::memory_order_seq_cst);
        } else {
            index.store(value, std::memory_order_seq_cst);  // the full fence of the publisher's side
        }
        wake_sleeper(sleeper);
    }

    // After publishing an index: wake the other side only when it announced a sleep.
    void wake_sleeper(std::atomic<std::uint32_t>& sleeper) noexcept {
        if (sleeper.load(cfg.light_wake ? std::memory_order_relaxed : std::memory_order_seq_cst) != 0) wake(sleeper);
    }

    void publish_tail(std::uint64_t t) noexcept { publish(prod.tail, t, prod.cons_sleeping); }

    void publish_head(std::uint64_t h) noexcept {
        if (cfg.block_on_full) {
            publish(cons.head, h, cons.prod_sleeping);
        } else {
            // release: the freed slot is read before the producer may write it again. The producer
            // never sleeps, so there is nobody to wake.
            cons.head.store(h, std::memory_order_release);
        }
    }

    // Consumer: frees what it holds, if anything.
    void release_hold() noexcept {
        switch (cons.hold) {
            case Hold::none:
                return;
            case Hold::in_place:
                publish_head(cons.hold_next);
                break;
            // release: our reads of the slot are done before the producer may write into it.
            case Hold::claimed:
                cons.held.store(kNoHold, std::memory_order_release);
                break;
            case Hold::bytes:
                cons.head_pos = cons.hold_pos;
                publish_head(cons.hold_next);
                break;
        }
        cons.hold = Hold::none;
    }

    // ---- waiting for the other side --------------------------------------------------------------

    std::chrono::nanoseconds wait_slice() const noexcept {
        // relaxed: a tuning value; a sleep that starts with the old slice is harmless.
        return std::chrono::nanoseconds(cfg.wait_slice_ns.load(std::memory_order_relaxed));
    }

    // Consumer: until tail moves past what it last saw, close(), or the deadline (set on first use).
    // seq_cst loads: the re-check after the sleep announcement (see sleep_until).
    bool wait_for_data(Clock::time_point& deadline) {
        const std::uint64_t seen = cons.tail_cache;
        return sleep_until(
            prod.cons_sleeping,
            [&] {
                return prod.tail.load(std::memory_order_seq_cst) != seen || cfg.closed.load(std::memory_order_seq_cst);
            },
            deadline, wait_slice(), cfg.light_wake);
    }

    // Producer: until head moves past what it last saw, or close(); no deadline.
    void wait_for_room() {
        const std::uint64_t seen = prod.head_cache;
        for (;;) {
            Clock::time_point deadline{};
            if (sleep_until(
                    cons.prod_sleeping,
                    [&] {
                        return cons.head.load(std::memory_order_seq_cst) != seen ||
                               cfg.closed.load(std::memory_order_seq_cst);
                    },
                    deadline, wait_slice(), cfg.light_wake))
                return;
        }
    }
};

}  // namespace detail
}  // namespace zelvar::spsc
