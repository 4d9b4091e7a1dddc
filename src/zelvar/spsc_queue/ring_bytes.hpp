// The variable family: one byte ring of byte_capacity() bytes holding records, each an 8-byte
// length word and the payload padded to 8 bytes. A record never straddles the end: a wrap marker
// fills the rest of the lap instead. Indexes count bytes over all laps; tail_pos / head_pos are
// their offsets in the buffer. No read-modify-write: each index has one writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ring_state.hpp"

namespace zelvar::spsc::detail {

inline constexpr std::uint64_t kWrap = ~std::uint64_t{0} - 1;  // the rest of the lap is unused

inline std::uint64_t record_size(std::uint64_t len) noexcept { return kHeader + ((len + 7) & ~std::uint64_t{7}); }

struct ByteRing {
    [[nodiscard]] static int push(RingState& s, const char* data, std::size_t size, bool wait) {
        const std::uint64_t need = record_size(size);
        const std::uint64_t room = s.cfg.bytes;
        // relaxed: only this thread writes tail.
        std::uint64_t t = s.prod.tail.load(std::memory_order_relaxed);
        for (;;) {
            if (s.closed()) return kClosed;
            const std::uint64_t to_end = room - s.prod.tail_pos;
            const std::uint64_t want = need <= to_end ? need : to_end;  // the record, or a wrap marker first
            if (!s.fits(t, want, room)) {
                if (!wait) return kFull;
                s.wait_for_room();
                continue;
            }
            char* p = s.cfg.buf + s.prod.tail_pos;
            if (want < need) {
                // Published on its own so that even a record as large as the whole ring fits once
                // the consumer has passed the marker and drained the ring. Relaxed: publish_tail's
                // release orders it.
                header(p).store(kWrap, std::memory_order_relaxed);
                t += want;
                s.prod.tail_pos = 0;
                s.publish_tail(t);
                continue;
            }
            // Relaxed: publish_tail's release store orders the length and the payload.
            header(p).store(size, std::memory_order_relaxed);
            if (size != 0) std::memcpy(p + kHeader, data, size);
            t += need;
            s.prod.tail_pos = s.prod.tail_pos + need == room ? 0 : s.prod.tail_pos + need;
            // release: read by size_approx from any thread; one writer, so no read-modify-write.
            s.prod.var_pushed.store(s.prod.var_pushed.load(std::memory_order_relaxed) + 1, std::memory_order_release);
            s.publish_tail(t);
            return kOk;
        }
    }

    [[nodiscard]] static int take(RingState& s, const char** data, std::size_t* size) {
        // relaxed: only this thread writes head.
        std::uint64_t h = s.cons.head.load(std::memory_order_relaxed);
        for (bool closed_seen = false;;) {
            // acquire on tail: the records below it are written.
            if (h == s.cons.tail_cache && h == (s.cons.tail_cache = s.prod.tail.load(std::memory_order_acquire))) {
                if (closed_seen) return kClosed;
                if (!s.closed()) return kEmpty;
                closed_seen = true;  // re-check: pushes made before close() are now visible
                continue;
            }
            // relaxed: the acquire load of tail above ordered it.
            const std::uint64_t len = header(s.cfg.buf + s.cons.head_pos).load(std::memory_order_relaxed);
            if (len == kWrap) {
                h += s.cfg.bytes - s.cons.head_pos;
                s.cons.head_pos = 0;
                s.publish_head(h);
                continue;
            }
            const std::uint64_t rec = record_size(len);
            const char* p = s.cfg.buf + s.cons.head_pos + kHeader;
            s.cons.hold = Hold::bytes;
            s.cons.hold_next = h + rec;
            s.cons.hold_pos = s.cons.head_pos + rec == s.cfg.bytes ? 0 : s.cons.head_pos + rec;
            // release: read by size_approx from any thread; one writer, so no read-modify-write.
            s.cons.var_popped.store(s.cons.var_popped.load(std::memory_order_relaxed) + 1, std::memory_order_release);
            if (!s.cfg.zerocopy) {
                if (len != 0) std::memcpy(s.cons.scratch, p, len);
                s.release_hold();
                p = s.cons.scratch;
            }
            *data = p;
            *size = static_cast<std::size_t>(len);
            return kOk;
        }
    }
};

}  // namespace zelvar::spsc::detail
