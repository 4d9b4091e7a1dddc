// The fixed family without overwrite: capacity() slots of stride bytes, each a length word and up to
// slot_size() bytes of message. Only the producer moves tail and only the consumer moves head, so
// no operation needs a read-modify-write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ring_state.hpp"

namespace zelvar::spsc::detail {

inline constexpr std::uint64_t kLengthMask = 0xffffffffu;

// A fixed slot header is (tag << 32 | length). The tag tells which index wrote the slot, so the
// consumer learns that a message is there from the slot itself, without reading tail (whose
// cache line would otherwise bounce between the cores on every message). A zeroed header
// matches no first-lap index.
inline std::uint64_t slot_header(std::uint64_t index, std::uint64_t len) noexcept {
    return std::uint64_t{static_cast<std::uint32_t>(index + 1)} << 32 | len;
}

// Producer: writes the message into slot `t` and publishes it.
inline void store_slot(RingState& s, std::uint64_t t, const char* data, std::size_t size) noexcept {
    char* p = s.slot(t);
    if (size != 0) std::memcpy(p + kHeader, data, size);
    // release: the payload before the header that announces it (read with acquire by claim).
    header(p).store(slot_header(t, size), std::memory_order_release);
    s.publish_tail(t + 1);
}

struct FixedSlots {
    // The consumer reads a message in place; release() frees the slot by moving head.
    static constexpr Hold kHold = Hold::in_place;

    [[nodiscard]] static int push(RingState& s, const char* data, std::size_t size, bool wait) {
        // relaxed: only this thread writes tail.
        const std::uint64_t t = s.prod.tail.load(std::memory_order_relaxed);
        for (;;) {
            if (s.closed()) return kClosed;
            if (s.fits(t, 1, s.cfg.limit)) break;
            if (!wait) return kFull;
            s.wait_for_room();
        }
        store_slot(s, t, data, size);
        return kOk;
    }

    // The oldest message's index and length; false when empty.
    [[nodiscard]] static bool claim(RingState& s, std::uint64_t& index, std::uint64_t& len) noexcept {
        // relaxed: only this thread writes head.
        const std::uint64_t h = s.cons.head.load(std::memory_order_relaxed);
        // acquire: pairs with store_slot's release, so the payload is visible once the tag matches.
        const std::uint64_t w = header(s.slot(h)).load(std::memory_order_acquire);
        if (w >> 32 != slot_header(h, 0) >> 32) {
            s.cons.tail_cache = h;  // as far as we know tail == h: a waiting pop waits for it to move
            return false;
        }
        index = h;
        len = w & kLengthMask;
        return true;
    }
};

// A pop of either fixed family: the message stays in its slot (`keep`) until release(), or is
// copied to the scratch buffer and its slot freed at once.
template <class Slots>
[[nodiscard]] int take_slot(RingState& s, const char** data, std::size_t* size, bool keep) {
    std::uint64_t index, len;
    if (!Slots::claim(s, index, len)) {
        // Re-check after seeing closed: pushes made before close() are then visible.
        if (!s.closed()) return kEmpty;
        if (!Slots::claim(s, index, len)) return kClosed;
    }
    const char* p = s.slot(index) + kHeader;
    s.cons.hold = Slots::kHold;
    s.cons.hold_next = index + 1;
    if (!keep) {
        if (len != 0) std::memcpy(s.cons.scratch, p, len);
        s.release_hold();
        p = s.cons.scratch;
    }
    *data = p;
    *size = static_cast<std::size_t>(len);
    return kOk;
}

}  // namespace zelvar::spsc::detail
