// zelvar::spsc::Ring: a lock-free ring carrying whole messages from one producer thread to one
// consumer thread. Pushes belong to the producer, pops and release() to the consumer; close(),
// set_wait_slice() and the read-only helpers may be called from any thread. The ring must not be
// destroyed while a call is in progress.
//
// Sizes: capacity is rounded up to a power of two; a slot takes stride = round_up(8 + slot_size, 8)
// bytes (an overwriting ring of capacity 1 keeps two slots). Ring(...) throws std::invalid_argument
// (validate() returns the reason) for a zero size or a buffer above 1 GiB.
//
// Families: the first push or pop fixes the family for the life of the ring.
//   fixed     try_push / push / try_pop / pop / release: capacity() slots of slot_size() bytes.
//   variable  try_push_var / push_var / try_pop_var / pop_var: one byte ring of byte_capacity()
//             (= capacity() x stride) bytes holding 8-byte headers plus payloads padded to 8 bytes.
//   An operation of the other family returns kWrongFamily (-3) and changes nothing.
//
// Results:
//   push*  1 stored; 0 full, not stored; -1 closed; -2 too large; -3 wrong family.
//   pop*   1 message obtained; 0 nothing (try_*: empty; pop/pop_var: nothing within one wait
//          slice, 50 ms by default, so the caller can check its own state and call again);
//          -1 closed and empty; -3 wrong family.
//
// Too large: the fixed family refuses size > slot_size(), the variable family size >
//   max_var_message() (= byte_capacity() - 8). The ring is left untouched. Any message up to
//   that limit is stored once the consumer has drained enough of the ring.
// block_on_full: push / push_var wait for room or close() instead of returning 0. try_push* never
//   waits. Without block_on_full, push* behaves exactly like try_push*.
// overwrite (fixed family only): when full, a push that does not wait drops the oldest unread
//   message, stores the new one and returns 1. A message the consumer holds is never dropped nor
//   written; while the producer laps it, its slot is skipped, so the ring briefly holds one
//   message fewer. The variable family ignores overwrite: a full variable ring returns 0 (or waits).
// zerocopy: try_pop / try_pop_var / pop_var return a pointer into the ring; the message stays
//   in its slot until the consumer's next call on the ring. When false they copy it into a
//   consumer-side scratch buffer and free the slot at once; the copy is valid until the next call.
//   pop is always zero-copy: valid until release() or the next consumer call, both of which free it.
// close(): idempotent, callable from any thread; wakes every waiter at once. Afterwards pushes
//   return -1 and pops drain what is left, then return -1.
// Waiting calls spin briefly, then sleep on a futex; the other side makes a system call only when
// a sleeper has announced itself.
#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "ring_bytes.hpp"
#include "ring_fixed.hpp"
#include "ring_overwrite.hpp"
#include "ring_state.hpp"
#include "ring_wait.hpp"

namespace zelvar::spsc {

// The ring: the contract above over the families' algorithms. The fixed family runs FixedSlots
// or OverwriteSlots (chosen at construction), the variable family ByteRing; all share RingState.
class Ring {
  public:
    static constexpr std::size_t kHeader = detail::kHeader;
    static constexpr std::size_t kMaxBytes = std::size_t{1} << 30;

    // Empty when the sizes are acceptable, otherwise why not.
    static std::string validate(std::size_t slot_size, std::size_t capacity, bool overwrite = false) {
        if (slot_size == 0) return "slot_size must be at least 1";
        if (capacity == 0) return "capacity must be at least 1";
        Geometry g;
        if (!geometry(slot_size, capacity, overwrite, g))
            return "ring too large: capacity " + std::to_string(capacity) +
                   " (rounded up to a power of two) x slot_size " + std::to_string(slot_size) +
                   " (+8, rounded up to 8) exceeds 1 GiB";
        return {};
    }

    Ring(std::size_t slot_size, std::size_t capacity, bool overwrite, bool zerocopy, bool block_on_full) {
        if (std::string err = validate(slot_size, capacity, overwrite); !err.empty()) throw std::invalid_argument(err);
        Geometry g;
        geometry(slot_size, capacity, overwrite, g);
        detail::Config& c = s_.cfg;
        c.slot_size = slot_size;
        c.limit = g.limit;
        c.mask = g.slots - 1;
        c.stride = g.stride;
        c.bytes = g.limit * g.stride;
        c.overwrite = overwrite;
        c.zerocopy = zerocopy;
        c.block_on_full = block_on_full;
        // Zeroed, so that no slot header carries a valid tag before its first write; calloc gets
        // large zeroed blocks from the kernel without touching them.
        c.raw = std::calloc(g.slots * g.stride + detail::kCacheLine - 1, 1);
        if (c.raw == nullptr) throw std::bad_alloc();
        c.buf = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(c.raw) + detail::kCacheLine - 1) &
                                        ~std::uintptr_t{detail::kCacheLine - 1});
        if (!zerocopy) {
            s_.cons.scratch =
                static_cast<char*>(std::malloc(c.bytes - kHeader));  // the largest message of either family
            if (s_.cons.scratch == nullptr) {
                std::free(c.raw);
                throw std::bad_alloc();
            }
        }
    }

    ~Ring() {
        std::free(s_.cfg.raw);
        std::free(s_.cons.scratch);
    }

    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;

    // ---- producer -------------------------------------------------------------------------------
    [[nodiscard]] int try_push(const char* data, std::size_t size) { return push_fixed(data, size, false); }
    [[nodiscard]] int push(const char* data, std::size_t size) { return push_fixed(data, size, s_.cfg.block_on_full); }
    [[nodiscard]] int try_push_var(const char* data, std::size_t size) { return push_bytes(data, size, false); }
    [[nodiscard]] int push_var(const char* data, std::size_t size) {
        return push_bytes(data, size, s_.cfg.block_on_full);
    }

    // ---- consumer -------------------------------------------------------------------------------
    [[nodiscard]] int try_pop(const char** data, std::size_t* size) {
        if (!s_.adopt(Family::fixed)) return kWrongFamily;
        release();
        return take_fixed(data, size, s_.cfg.zerocopy);
    }

    [[nodiscard]] int pop(const char** data, std::size_t* size) {
        if (!s_.adopt(Family::fixed)) return kWrongFamily;
        release();
        detail::Clock::time_point deadline{};
        for (;;) {
            if (const int r = take_fixed(data, size, true); r != kEmpty) return r;
            if (!s_.wait_for_data(deadline)) return kEmpty;
        }
    }

    [[nodiscard]] int try_pop_var(const char** data, std::size_t* size) {
        if (!s_.adopt(Family::variable)) return kWrongFamily;
        release();
        return detail::ByteRing::take(s_, data, size);
    }

    [[nodiscard]] int pop_var(const char** data, std::size_t* size) {
        if (!s_.adopt(Family::variable)) return kWrongFamily;
        release();
        detail::Clock::time_point deadline{};
        for (;;) {
            if (const int r = detail::ByteRing::take(s_, data, size); r != kEmpty) return r;
            if (!s_.wait_for_data(deadline)) return kEmpty;
        }
    }

    // Frees the message the consumer holds, if any.
    void release() { s_.release_hold(); }

    // ---- any thread -----------------------------------------------------------------------------
    void close() noexcept {
        // seq_cst: ordered before the wakes' flag stores, so a woken sleeper's re-check sees it.
        s_.cfg.closed.store(true, std::memory_order_seq_cst);
        detail::wake(s_.prod.cons_sleeping);
        detail::wake(s_.cons.prod_sleeping);
    }

    // Longest single sleep; pop / pop_var return 0 after one slice with nothing. Default 50 ms.
    void set_wait_slice(std::chrono::milliseconds slice) noexcept {
        // relaxed: a tuning value, read at the start of each wait.
        s_.cfg.wait_slice_ns.store(std::chrono::nanoseconds(slice).count(), std::memory_order_relaxed);
    }

    bool closed() const noexcept { return s_.closed(); }
    // acquire: pairs with the family's first adoption.
    Family family() const noexcept { return static_cast<Family>(s_.cfg.family.load(std::memory_order_acquire)); }
    std::size_t slot_size() const noexcept { return s_.cfg.slot_size; }
    std::size_t capacity() const noexcept { return s_.cfg.limit; }  // rounded up to a power of two
    std::size_t byte_capacity() const noexcept { return s_.cfg.bytes; }
    std::size_t max_var_message() const noexcept { return s_.cfg.bytes - kHeader; }
    bool overwrite() const noexcept { return s_.cfg.overwrite; }
    bool zerocopy() const noexcept { return s_.cfg.zerocopy; }
    bool block_on_full() const noexcept { return s_.cfg.block_on_full; }

    // Messages stored and not yet taken (a fixed overwrite ring may count a skipped slot). Acquire
    // loads: a snapshot from any thread, consumer's count first so the difference never goes negative
    // for a consistent pair.
    std::size_t size_approx() const noexcept {
        if (family() == Family::variable) {
            const auto popped = s_.cons.var_popped.load(std::memory_order_acquire);
            const auto pushed = s_.prod.var_pushed.load(std::memory_order_acquire);
            return pushed > popped ? pushed - popped : 0;
        }
        const auto head = s_.cons.head.load(std::memory_order_acquire);
        const auto tail = s_.prod.tail.load(std::memory_order_acquire);
        return tail > head ? tail - head : 0;
    }

  private:
    struct Geometry {
        std::size_t stride = 0, limit = 0, slots = 0;
    };

    static bool geometry(std::size_t slot_size, std::size_t capacity, bool overwrite, Geometry& g) {
        // Both bounds keep the arithmetic below far from overflow; the product is checked anyway.
        if (slot_size > kMaxBytes || capacity > kMaxBytes) return false;
        g.stride = (kHeader + slot_size + 7) & ~std::size_t{7};
        g.limit = std::bit_ceil(capacity);
        // An overwriting ring needs a slot to write while the consumer holds the other one.
        g.slots = overwrite ? std::max<std::size_t>(g.limit, 2) : g.limit;
        std::size_t bytes = 0;
        return !__builtin_mul_overflow(g.slots, g.stride, &bytes) && bytes <= kMaxBytes;
    }

    int push_fixed(const char* data, std::size_t size, bool wait) {
        if (!s_.adopt(Family::fixed)) return kWrongFamily;
        if (size > s_.cfg.slot_size) return kTooLarge;
        return s_.cfg.overwrite ? detail::OverwriteSlots::push(s_, data, size, wait)
                                : detail::FixedSlots::push(s_, data, size, wait);
    }

    int take_fixed(const char** data, std::size_t* size, bool keep) {
        return s_.cfg.overwrite ? detail::take_slot<detail::OverwriteSlots>(s_, data, size, keep)
                                : detail::take_slot<detail::FixedSlots>(s_, data, size, keep);
    }

    int push_bytes(const char* data, std::size_t size, bool wait) {
        if (!s_.adopt(Family::variable)) return kWrongFamily;
        if (size > s_.cfg.bytes - kHeader) return kTooLarge;
        return detail::ByteRing::push(s_, data, size, wait);
    }

    detail::RingState s_;
};

// The ring lives inside a Python object whose layout native modules read.
static_assert(std::is_standard_layout_v<Ring>);

}  // namespace zelvar::spsc
