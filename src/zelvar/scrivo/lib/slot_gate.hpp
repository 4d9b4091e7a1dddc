// The callers' way into a mutex-guarded queue without taking its mutex: one compare-exchange reserves
// the next slot, one release store publishes it. Internal to libscrivo (async_logger.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace zelvar::libscrivo {

// While open, callers reserve slots `count`, `count` + 1, ... up to `limit` (exclusive) of the
// owner's queue and fill them outside its mutex; everything else (a full queue, a writer to wake,
// a fork or a stop under way) goes through the mutex. The owner, holding its mutex, closes the gate
// before it reads or changes the queue, and opens it with the limit that needs nothing of it.
class SlotGate {
  public:
    // A slot's index to fill and then publish, or false when the gate lets no more through.
    bool reserve(std::uint32_t& index) noexcept {
        std::uint64_t g = word_.load(std::memory_order_relaxed);
        for (;;) {
            const auto count = static_cast<std::uint32_t>(g), limit = static_cast<std::uint32_t>(g >> 32);
            if (count >= limit) return false;
            // Acquire: the queue as the owner left it when it opened the gate.
            if (word_.compare_exchange_weak(g, g + 1, std::memory_order_acquire, std::memory_order_relaxed)) {
                index = count;
                return true;
            }
        }
    }

    // With the owner's mutex held: lets no caller through any more and returns the count the gate
    // reached (0 when it was closed already); the slots from the count it was opened with up to that
    // are the callers', to be awaited with Published::await.
    std::uint32_t close() noexcept { return static_cast<std::uint32_t>(word_.exchange(0, std::memory_order_acq_rel)); }

    // With the owner's mutex held and the gate closed: slots from `count` up to `limit` may be
    // reserved (a limit at or below the count keeps it closed).
    void open(std::uint32_t count, std::uint32_t limit) noexcept {
        word_.store(std::uint64_t{limit} << 32 | count, std::memory_order_release);
    }

  private:
    std::atomic<std::uint64_t> word_{0};  // limit << 32 | count
};

// A slot's mark that the caller who reserved it through a SlotGate has filled it. Moving a slot
// (only done with the gate closed and every mark cleared) gives a cleared mark.
class Published {
  public:
    Published() = default;
    Published(Published&&) noexcept {}
    Published& operator=(Published&&) noexcept { return *this; }

    void set() noexcept { set_.store(true, std::memory_order_release); }

    // Waits for the caller filling the slot (a few stores away unless it lost its core) and clears
    // the mark for the slot's next use.
    void await() noexcept {
        while (!set_.load(std::memory_order_acquire)) std::this_thread::yield();
        set_.store(false, std::memory_order_relaxed);
    }

  private:
    std::atomic<bool> set_{false};
};

}  // namespace zelvar::libscrivo
