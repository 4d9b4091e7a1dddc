// The fixed family with overwrite: when full, a push that does not wait drops the oldest unread
// message. Head then has two writers (the consumer taking, the producer dropping), so both move it
// with a compare-and-swap; the consumer first publishes the index it takes (`held`), and the
// producer skips that slot while it laps it instead of writing under the reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ring_fixed.hpp"
#include "ring_state.hpp"

namespace zelvar::spsc::detail {

inline constexpr std::uint64_t kSkip = kLengthMask;  // a slot that carries no message

struct OverwriteSlots {
    // The consumer's claim is its `held` index; release() clears it.
    static constexpr Hold kHold = Hold::claimed;

    [[nodiscard]] static int push(RingState& s, const char* data, std::size_t size, bool wait) {
        // relaxed: only this thread writes tail.
        std::uint64_t t = s.prod.tail.load(std::memory_order_relaxed);
        for (;;) {
            if (s.closed()) return kClosed;
            if (!s.fits(t, 1, s.cfg.limit)) {
                if (wait) {
                    s.wait_for_room();
                } else {
                    drop_oldest(s);
                }
                continue;
            }
            // acquire: pairs with the consumer's release of `held`, so its claim is seen before
            // we decide to write into the slot.
            const std::uint64_t held = s.cons.held.load(std::memory_order_acquire);
            if (held != kNoHold && ((held ^ t) & s.cfg.mask) == 0) {
                // The consumer still holds a message in this slot from an earlier lap: skip it.
                // Published on its own: a push that now has to wait for room gets it only once
                // the consumer has passed the marker. Relaxed: publish_tail's release orders it.
                header(s.slot(t)).store(slot_header(t, kSkip), std::memory_order_relaxed);
                s.publish_tail(++t);
                continue;
            }
            store_slot(s, t, data, size);
            return kOk;
        }
    }

    // Moves head past the oldest unread message; fails only if the consumer claimed it meanwhile
    // (then head has moved anyway). acq_rel: our later write into the slot follows the consumer's
    // frees that the exchange observed.
    static void drop_oldest(RingState& s) noexcept {
        std::uint64_t h = s.prod.head_cache;
        if (s.cons.head.compare_exchange_strong(h, h + 1, std::memory_order_acq_rel, std::memory_order_acquire)) ++h;
        s.prod.head_cache = h;
    }

    // Claims the oldest message with a compare-and-swap on head, having first published which index
    // it takes so that the producer will not write into its slot. False when empty.
    [[nodiscard]] static bool claim(RingState& s, std::uint64_t& index, std::uint64_t& len) noexcept {
        for (;;) {
            // acquire: a drop by the producer is seen with the writes that preceded it.
            std::uint64_t h = s.cons.head.load(std::memory_order_acquire);
            // acquire on tail: the slots below it are written.
            if (h >= s.cons.tail_cache && h >= (s.cons.tail_cache = s.prod.tail.load(std::memory_order_acquire))) {
                s.cons.held.store(kNoHold, std::memory_order_release);
                return false;
            }
            // release: the claim is visible to the producer before it could lap into this slot.
            s.cons.held.store(h, std::memory_order_release);
            // relaxed: valid only if the exchange below wins, which proves the slot was not rewritten.
            const std::uint64_t n = header(s.slot(h)).load(std::memory_order_relaxed) & kLengthMask;
            // seq_cst: orders the `held` store before the producer's reading of head and held.
            if (!s.cons.head.compare_exchange_strong(h, h + 1, std::memory_order_seq_cst, std::memory_order_relaxed))
                continue;
            if (s.cfg.block_on_full) s.wake_sleeper(s.cons.prod_sleeping);
            if (n == kSkip) continue;
            index = h;
            len = n;
            return true;
        }
    }
};

}  // namespace zelvar::spsc::detail
