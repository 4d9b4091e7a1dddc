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

#include <linux/futex.h>
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

namespace zelvar::spsc {

inline constexpr int kOk = 1;
inline constexpr int kNone = 0;  // push: full; pop: empty or timed out
inline constexpr int kClosed = -1;
inline constexpr int kTooLarge = -2;
inline constexpr int kWrongFamily = -3;

enum class Family : int { unset = 0, fixed = 1, variable = 2 };

namespace detail {

inline void cpu_relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

// std::atomic::wait has no timeout, so sleep on the futex directly.
inline void futex_wait(std::atomic<std::uint32_t>& word, std::uint32_t expected,
                       std::chrono::nanoseconds timeout) noexcept {
  const auto ns = timeout.count();
  timespec ts{static_cast<std::time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAIT_PRIVATE, expected, &ts,
          nullptr, 0);
}

inline void futex_wake_all(std::atomic<std::uint32_t>& word) noexcept {
  syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAKE_PRIVATE, INT_MAX,
          nullptr, nullptr, 0);
}

// Heavy half of an asymmetric fence: when it returns, every other running thread of the process
// has passed a full memory barrier. It lets the hot side publish with plain release stores.
inline bool process_barrier_available() noexcept {
  static const bool ok = syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
  return ok;
}

inline void process_barrier() noexcept { syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0); }

}  // namespace detail

class Ring {
 public:
  static constexpr std::size_t kHeader = 8;
  static constexpr std::size_t kMaxBytes = std::size_t{1} << 30;

  // Empty when the sizes are acceptable, otherwise why not.
  static std::string validate(std::size_t slot_size, std::size_t capacity, bool overwrite = false) {
    if (slot_size == 0) return "slot_size must be at least 1";
    if (capacity == 0) return "capacity must be at least 1";
    Geometry g;
    if (!geometry(slot_size, capacity, overwrite, g))
      return "ring too large: capacity " + std::to_string(capacity) + " (rounded up to a power of two) x slot_size " +
             std::to_string(slot_size) + " (+8, rounded up to 8) exceeds 1 GiB";
    return {};
  }

  Ring(std::size_t slot_size, std::size_t capacity, bool overwrite, bool zerocopy, bool block_on_full) {
    if (std::string err = validate(slot_size, capacity, overwrite); !err.empty()) throw std::invalid_argument(err);
    Geometry g;
    geometry(slot_size, capacity, overwrite, g);
    slot_size_ = slot_size;
    limit_ = g.limit;
    mask_ = g.slots - 1;
    stride_ = g.stride;
    bytes_ = g.limit * g.stride;
    overwrite_ = overwrite;
    zerocopy_ = zerocopy;
    block_on_full_ = block_on_full;
    // Zeroed, so that no slot header carries a valid tag before its first write; calloc gets
    // large zeroed blocks from the kernel without touching them.
    raw_ = std::calloc(g.slots * g.stride + 63, 1);
    if (raw_ == nullptr) throw std::bad_alloc();
    buf_ = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(raw_) + 63) & ~std::uintptr_t{63});
    if (!zerocopy_) {
      scratch_ = static_cast<char*>(std::malloc(bytes_ - kHeader));  // the largest message of either family
      if (scratch_ == nullptr) {
        std::free(raw_);
        throw std::bad_alloc();
      }
    }
  }

  ~Ring() {
    std::free(raw_);
    std::free(scratch_);
  }

  Ring(const Ring&) = delete;
  Ring& operator=(const Ring&) = delete;

  // ---- producer ---------------------------------------------------------------------------
  int try_push(const char* data, std::size_t size) { return push_fixed(data, size, false); }
  int push(const char* data, std::size_t size) { return push_fixed(data, size, block_on_full_); }
  int try_push_var(const char* data, std::size_t size) { return push_bytes(data, size, false); }
  int push_var(const char* data, std::size_t size) { return push_bytes(data, size, block_on_full_); }

  // ---- consumer ---------------------------------------------------------------------------
  int try_pop(const char** data, std::size_t* size) {
    if (!adopt(Family::fixed)) return kWrongFamily;
    release();
    return take_fixed(data, size, zerocopy_);
  }

  int pop(const char** data, std::size_t* size) {
    if (!adopt(Family::fixed)) return kWrongFamily;
    release();
    Clock::time_point deadline{};
    for (;;) {
      if (int r = take_fixed(data, size, true); r != kNone) return r;
      if (!wait_for_data(deadline)) return kNone;
    }
  }

  int try_pop_var(const char** data, std::size_t* size) {
    if (!adopt(Family::variable)) return kWrongFamily;
    release();
    return take_bytes(data, size);
  }

  int pop_var(const char** data, std::size_t* size) {
    if (!adopt(Family::variable)) return kWrongFamily;
    release();
    Clock::time_point deadline{};
    for (;;) {
      if (int r = take_bytes(data, size); r != kNone) return r;
      if (!wait_for_data(deadline)) return kNone;
    }
  }

  // Frees the message the consumer holds, if any.
  void release() {
    switch (hold_) {
      case Hold::none: return;
      case Hold::in_place: publish_head(hold_next_); break;
      case Hold::claimed: held_.store(kNoHold, std::memory_order_release); break;
      case Hold::bytes:
        head_pos_ = hold_pos_;
        publish_head(hold_next_);
        break;
    }
    hold_ = Hold::none;
  }

  // ---- any thread -------------------------------------------------------------------------
  void close() noexcept {
    closed_.store(true, std::memory_order_seq_cst);
    wake(cons_sleeping_);
    wake(prod_sleeping_);
  }

  // Longest single sleep; pop / pop_var return 0 after one slice with nothing. Default 50 ms.
  void set_wait_slice(std::chrono::milliseconds slice) noexcept {
    wait_slice_ns_.store(std::chrono::nanoseconds(slice).count(), std::memory_order_relaxed);
  }

  bool closed() const noexcept { return closed_.load(std::memory_order_acquire); }
  Family family() const noexcept { return static_cast<Family>(family_.load(std::memory_order_acquire)); }
  std::size_t slot_size() const noexcept { return slot_size_; }
  std::size_t capacity() const noexcept { return limit_; }  // rounded up to a power of two
  std::size_t byte_capacity() const noexcept { return bytes_; }
  std::size_t max_var_message() const noexcept { return bytes_ - kHeader; }
  bool overwrite() const noexcept { return overwrite_; }
  bool zerocopy() const noexcept { return zerocopy_; }
  bool block_on_full() const noexcept { return block_on_full_; }

  // Messages stored and not yet taken (a fixed overwrite ring may count a skipped slot).
  std::size_t size_approx() const noexcept {
    if (family() == Family::variable) {
      const auto popped = var_popped_.load(std::memory_order_acquire);
      const auto pushed = var_pushed_.load(std::memory_order_acquire);
      return pushed > popped ? pushed - popped : 0;
    }
    const auto head = head_.load(std::memory_order_acquire);
    const auto tail = tail_.load(std::memory_order_acquire);
    return tail > head ? tail - head : 0;
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Geometry {
    std::size_t stride = 0, limit = 0, slots = 0;
  };
  enum class Hold : unsigned char { none, in_place, claimed, bytes };

  static constexpr std::uint64_t kNoHold = ~std::uint64_t{0};
  static constexpr std::uint64_t kSkip = 0xffffffffu;            // fixed: slot carries no message
  static constexpr std::uint64_t kWrap = ~std::uint64_t{0} - 1;  // variable: rest of the lap unused
  static constexpr int kSpins = 256;
  static constexpr int kYields = 8;

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

  static std::atomic_ref<std::uint64_t> header(char* p) noexcept {
    return std::atomic_ref<std::uint64_t>(*reinterpret_cast<std::uint64_t*>(p));
  }
  char* slot(std::uint64_t index) const noexcept { return buf_ + (index & mask_) * stride_; }

  // A fixed slot header is (tag << 32 | length). The tag tells which index wrote the slot, so the
  // consumer learns that a message is there from the slot itself, without reading tail_ (whose
  // cache line would otherwise bounce between the cores on every message). A zeroed header
  // matches no first-lap index.
  static std::uint64_t slot_header(std::uint64_t index, std::uint64_t len) noexcept {
    return std::uint64_t{static_cast<std::uint32_t>(index + 1)} << 32 | len;
  }

  bool adopt(Family f) noexcept {
    int cur = family_.load(std::memory_order_relaxed);
    if (cur == static_cast<int>(f)) return true;
    if (cur == 0 && family_.compare_exchange_strong(cur, static_cast<int>(f))) return true;
    return cur == static_cast<int>(f);
  }

  // ---- waiting ------------------------------------------------------------------------------
  // The sleeper announces itself in `flag`, then re-checks; the other side publishes its index,
  // then reads the flag. A full barrier on each side between the two steps makes one of them see
  // the other, so no wake-up is lost. The publisher's barrier comes from the sleeper's
  // process_barrier(), so publishing stays a release store and costs no system call; without
  // membarrier both sides fall back to seq_cst.
  template <class Ready>
  bool wait_until(std::atomic<std::uint32_t>& flag, Ready ready, Clock::time_point& deadline) {
    for (int i = 0; i < kSpins; ++i) {
      if (ready()) return true;
      detail::cpu_relax();
    }
    for (int i = 0; i < kYields; ++i) {
      if (ready()) return true;
      std::this_thread::yield();
    }
    const std::chrono::nanoseconds slice(wait_slice_ns_.load(std::memory_order_relaxed));
    if (deadline == Clock::time_point{}) deadline = Clock::now() + slice;
    for (;;) {
      flag.store(1, std::memory_order_seq_cst);
      if (light_wake_) detail::process_barrier();
      if (ready()) break;
      const auto now = Clock::now();
      if (now >= deadline) break;
      detail::futex_wait(flag, 1, std::min<std::chrono::nanoseconds>(deadline - now, slice));
    }
    flag.store(0, std::memory_order_relaxed);
    return ready();
  }

  bool wait_for_data(Clock::time_point& deadline) {
    const std::uint64_t seen = tail_cache_;
    return wait_until(
        cons_sleeping_,
        [&] { return tail_.load(std::memory_order_seq_cst) != seen || closed_.load(std::memory_order_seq_cst); },
        deadline);
  }

  void wait_for_room() {
    const std::uint64_t seen = head_cache_;
    for (;;) {
      Clock::time_point deadline{};
      if (wait_until(
              prod_sleeping_,
              [&] { return head_.load(std::memory_order_seq_cst) != seen || closed_.load(std::memory_order_seq_cst); },
              deadline))
        return;
    }
  }

  static void wake(std::atomic<std::uint32_t>& flag) noexcept {
    flag.store(0, std::memory_order_seq_cst);
    detail::futex_wake_all(flag);
  }

  void publish(std::atomic<std::uint64_t>& index, std::uint64_t value, std::atomic<std::uint32_t>& sleeper) noexcept {
    if (light_wake_) {
      index.store(value, std::memory_order_release);
      std::atomic_signal_fence(std::memory_order_seq_cst);  // keep the flag read after the store
    } else {
      index.store(value, std::memory_order_seq_cst);
    }
    wake_sleeper(sleeper);
  }

  void wake_sleeper(std::atomic<std::uint32_t>& sleeper) noexcept {  // after publishing an index
    if (sleeper.load(light_wake_ ? std::memory_order_relaxed : std::memory_order_seq_cst) != 0) wake(sleeper);
  }

  void publish_tail(std::uint64_t t) noexcept { publish(tail_, t, cons_sleeping_); }

  void publish_head(std::uint64_t h) noexcept {
    if (block_on_full_) {
      publish(head_, h, prod_sleeping_);
    } else {  // the producer never sleeps
      head_.store(h, std::memory_order_release);
    }
  }

  // ---- fixed family ---------------------------------------------------------------------------
  int push_fixed(const char* data, std::size_t size, bool wait) {
    if (!adopt(Family::fixed)) return kWrongFamily;
    if (size > slot_size_) return kTooLarge;
    std::uint64_t t = tail_.load(std::memory_order_relaxed);
    for (;;) {
      if (closed_.load(std::memory_order_acquire)) return kClosed;
      if (t - head_cache_ >= limit_) {
        head_cache_ = head_.load(std::memory_order_acquire);
        if (t - head_cache_ >= limit_) {
          if (wait) {
            wait_for_room();
          } else if (!overwrite_) {
            return kNone;
          } else {  // drop the oldest unread; fails only if the consumer claimed it meanwhile
            std::uint64_t h = head_cache_;
            if (head_.compare_exchange_strong(h, h + 1, std::memory_order_acq_rel, std::memory_order_acquire))
              ++h;
            head_cache_ = h;
          }
          continue;
        }
      }
      char* s = slot(t);
      if (overwrite_) {
        // The consumer may still hold a message in this slot from an earlier lap: leave it alone.
        const std::uint64_t held = held_.load(std::memory_order_acquire);
        if (held != kNoHold && ((held ^ t) & mask_) == 0) {
          // Published on its own: a push that now has to wait for room gets it only once the
          // consumer has passed the marker, and the consumer waits for tail_ to move.
          header(s).store(slot_header(t, kSkip), std::memory_order_relaxed);
          publish_tail(++t);
          continue;
        }
      }
      if (size != 0) std::memcpy(s + kHeader, data, size);
      header(s).store(slot_header(t, size), std::memory_order_release);
      publish_tail(t + 1);
      return kOk;
    }
  }

  // Takes the oldest message; false when empty.
  bool claim_fixed(std::uint64_t& index, std::uint64_t& len) {
    if (!overwrite_) {  // only the consumer moves head_: the slot is freed on release
      const std::uint64_t h = head_.load(std::memory_order_relaxed);
      const std::uint64_t w = header(slot(h)).load(std::memory_order_acquire);
      if (w >> 32 != slot_header(h, 0) >> 32) {
        tail_cache_ = h;  // as far as we know tail_ == h: wait for it to move
        return false;
      }
      index = h;
      len = w & 0xffffffffu;
      return true;
    }
    // The producer may drop the oldest concurrently, so claim it with a CAS, having first
    // published which index we are taking so the producer will not write into its slot.
    for (;;) {
      std::uint64_t h = head_.load(std::memory_order_acquire);
      if (h >= tail_cache_ && h >= (tail_cache_ = tail_.load(std::memory_order_acquire))) {
        held_.store(kNoHold, std::memory_order_release);
        return false;
      }
      held_.store(h, std::memory_order_release);
      const std::uint64_t n = header(slot(h)).load(std::memory_order_relaxed) & 0xffffffffu;  // valid if the CAS wins
      if (!head_.compare_exchange_strong(h, h + 1, std::memory_order_seq_cst, std::memory_order_relaxed)) continue;
      if (block_on_full_) wake_sleeper(prod_sleeping_);
      if (n == kSkip) continue;
      index = h;
      len = n;
      return true;
    }
  }

  int take_fixed(const char** data, std::size_t* size, bool keep) {
    std::uint64_t index, len;
    if (!claim_fixed(index, len)) {
      // Re-check after seeing closed: pushes made before close() are then visible.
      if (!closed_.load(std::memory_order_acquire)) return kNone;
      if (!claim_fixed(index, len)) return kClosed;
    }
    const char* p = slot(index) + kHeader;
    hold_ = overwrite_ ? Hold::claimed : Hold::in_place;
    hold_next_ = index + 1;
    if (!keep) {
      if (len != 0) std::memcpy(scratch_, p, len);
      release();
      p = scratch_;
    }
    *data = p;
    *size = static_cast<std::size_t>(len);
    return kOk;
  }

  // ---- variable family ------------------------------------------------------------------------
  int push_bytes(const char* data, std::size_t size, bool wait) {
    if (!adopt(Family::variable)) return kWrongFamily;
    if (size > bytes_ - kHeader) return kTooLarge;
    const std::uint64_t need = kHeader + ((size + 7) & ~std::size_t{7});
    std::uint64_t t = tail_.load(std::memory_order_relaxed);
    for (;;) {
      if (closed_.load(std::memory_order_acquire)) return kClosed;
      const std::uint64_t to_end = bytes_ - tail_pos_;
      const std::uint64_t want = need <= to_end ? need : to_end;  // the record, or a wrap marker first
      if (t - head_cache_ + want > bytes_) {
        head_cache_ = head_.load(std::memory_order_acquire);
        if (t - head_cache_ + want > bytes_) {
          if (!wait) return kNone;
          wait_for_room();
          continue;
        }
      }
      char* p = buf_ + tail_pos_;
      if (want < need) {
        // Published on its own so that even a record as large as the whole ring fits once the
        // consumer has passed the marker and drained the ring.
        header(p).store(kWrap, std::memory_order_relaxed);
        t += want;
        tail_pos_ = 0;
        publish_tail(t);
        continue;
      }
      header(p).store(size, std::memory_order_relaxed);
      if (size != 0) std::memcpy(p + kHeader, data, size);
      t += need;
      tail_pos_ = tail_pos_ + need == bytes_ ? 0 : tail_pos_ + need;
      var_pushed_.store(var_pushed_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
      publish_tail(t);
      return kOk;
    }
  }

  int take_bytes(const char** data, std::size_t* size) {
    std::uint64_t h = head_.load(std::memory_order_relaxed);
    for (bool closed_seen = false;;) {
      if (h == tail_cache_ && h == (tail_cache_ = tail_.load(std::memory_order_acquire))) {
        if (closed_seen) return kClosed;
        if (!closed_.load(std::memory_order_acquire)) return kNone;
        closed_seen = true;  // re-check: pushes made before close() are now visible
        continue;
      }
      const std::uint64_t len = header(buf_ + head_pos_).load(std::memory_order_relaxed);
      if (len == kWrap) {
        h += bytes_ - head_pos_;
        head_pos_ = 0;
        publish_head(h);
        continue;
      }
      const std::uint64_t rec = kHeader + ((len + 7) & ~std::uint64_t{7});
      const char* p = buf_ + head_pos_ + kHeader;
      hold_ = Hold::bytes;
      hold_next_ = h + rec;
      hold_pos_ = head_pos_ + rec == bytes_ ? 0 : head_pos_ + rec;
      var_popped_.store(var_popped_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
      if (!zerocopy_) {
        if (len != 0) std::memcpy(scratch_, p, len);
        release();
        p = scratch_;
      }
      *data = p;
      *size = static_cast<std::size_t>(len);
      return kOk;
    }
  }

  // ---- state ------------------------------------------------------------------------------
  // Three groups kept on separate cache lines by explicit padding: alignas would be unsound, as
  // the ring may live inside memory that is only 16-byte aligned.

  // Set at construction (family_ and closed_ change once), read by both sides.
  void* raw_ = nullptr;
  char* buf_ = nullptr;
  std::size_t slot_size_ = 0, limit_ = 0, mask_ = 0, stride_ = 0, bytes_ = 0;
  bool overwrite_ = false, zerocopy_ = false, block_on_full_ = false;
  std::atomic<bool> closed_{false};
  std::atomic<int> family_{0};
  std::atomic<std::int64_t> wait_slice_ns_{50'000'000};
  bool light_wake_ = detail::process_barrier_available();
  [[maybe_unused]] char pad0_[64];

  // Producer side. cons_sleeping_ is read on every push and written only by a consumer going to sleep.
  std::atomic<std::uint64_t> tail_{0};
  std::uint64_t head_cache_ = 0;
  std::uint64_t tail_pos_ = 0;  // variable family: byte offset of tail_ in the buffer
  std::atomic<std::uint64_t> var_pushed_{0};
  std::atomic<std::uint32_t> cons_sleeping_{0};
  [[maybe_unused]] char pad1_[64];

  // Consumer side.
  std::atomic<std::uint64_t> head_{0};
  std::uint64_t tail_cache_ = 0;
  std::atomic<std::uint64_t> held_{kNoHold};  // fixed overwrite: index the consumer is taking or holds
  std::uint64_t head_pos_ = 0;
  std::atomic<std::uint64_t> var_popped_{0};
  Hold hold_ = Hold::none;
  std::uint64_t hold_next_ = 0, hold_pos_ = 0;
  char* scratch_ = nullptr;
  std::atomic<std::uint32_t> prod_sleeping_{0};
  [[maybe_unused]] char pad2_[64];
};

}  // namespace zelvar::spsc
