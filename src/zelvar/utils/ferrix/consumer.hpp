// What a dispatcher shares with its consumer (a native thread or an asyncio reader): the run flag,
// the doorbell and the "may be asleep" announcement. Shared by reference count, so a consumer
// thread never reads memory of a dispatcher object that has been freed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <thread>

#include <zelvar/_pyext/python.hpp>
#include <zelvar/utils/ferrix/ferrix.hpp>

#include "doorbell.hpp"
#include "module_state.hpp"

namespace zelvar::ferrix {

struct ConsumerState {
    ConsumerState();
    ~ConsumerState();
    ConsumerState(const ConsumerState&) = delete;
    ConsumerState& operator=(const ConsumerState&) = delete;

    std::atomic<bool> running{true};
    Doorbell bell;
    // Raised by a consumer about to wait on the doorbell; a producer rings only while it is up, so a
    // busy consumer costs producers no system call.
    std::atomic<bool> may_sleep{false};
    // Set by a built-in consumer when it starts: it announces its sleeps in may_sleep. Until then (or
    // for a reader of a subclass, which knows nothing of the flag) every stored message rings.
    std::atomic<bool> announces_sleep{false};
    // Between a successful setup and close: re-initialising would free the ring producers push into.
    bool set_up = false;
    // Set in the child of a fork: the consumer and the doorbell's users belong to the parent.
    bool inherited = false;
    // Set in the child of a fork and never cleared: an inherited dispatcher is closed there (nothing
    // would ever deliver), so its push entries refuse as a closed ring does.
    std::atomic<bool> closed_by_fork{false};
    // The ring, kept alive by the dispatcher (for producers) and by the consumer's own reference.
    SPSCQueueObject* ring = nullptr;
    // Strong references the consumer thread holds for its whole life (dropped with the lock).
    PyObject* ring_ref = nullptr;
    PyObject* callback_ref = nullptr;
    bool consumer_started = false;
    // Messages per callback call: 0 calls with one bytes object, N > 0 with a list of up to N.
    std::size_t batch = 0;
    // The interpreter's switch interval when the consumer started: how long a consumer thread that
    // keeps the lock while messages wait may go without offering it (see the thread dispatcher).
    std::chrono::nanoseconds switch_interval{5'000'000};

    // Producer side, after a push with result `rc`: ring when the consumer may be asleep. A push
    // refused as full counts too: a variable-size push that had to wrap published a wrap marker, and
    // only a consumer that passes it makes room.
    // One bell per announced sleep: the first push to see the announcement takes it down as it
    // rings, so a producer racing a falling-asleep consumer does not pay a send per message.
    void after_push(int rc) noexcept {
        if (rc < 0) return;
        std::atomic_thread_fence(std::memory_order_seq_cst);  // the message before the flag check
        const bool ring_it =
            announces_sleep.load(std::memory_order_relaxed)
                ? may_sleep.load(std::memory_order_relaxed) && may_sleep.exchange(false, std::memory_order_relaxed)
                : rc > 0;
        if (ring_it) bell.ring();
    }

    // Consumer thread: the ring's own spin-then-yield before going to sleep on the doorbell.
    template <class Ready>
    static bool spin_until(Ready ready) {
        return spsc::detail::spin_then_yield(ready);
    }

    // A consumer holding the interpreter lock that ran the ring dry: a few polls (a microsecond or
    // so) before it gives the lock up, so a producer a moment behind costs no hand-off.
    template <class Ready>
    static bool spin_briefly(Ready ready) {
        return spsc::detail::spin_then_yield<64, 0>(ready);
    }

    // Consumer side: announce, then look once more before sleeping (the ring's own protocol, on
    // may_sleep). `retry` re-checks the ring. True when the consumer is to sleep; it then takes the
    // announcement back with woke() once it is awake.
    template <class Retry>
    bool sleep_unless(Retry retry) {
        announcement().announce();
        if (retry()) {
            woke();
            return false;
        }
        return true;
    }

    void woke() noexcept { announcement().withdraw(); }

  private:
    // The re-check is the ring's try-pop, whose loads are acquire ones.
    spsc::detail::SleepAnnouncement<bool, spsc::detail::Recheck::weaker_loads> announcement() noexcept {
        return {may_sleep};
    }
};

using SharedConsumer = std::shared_ptr<ConsumerState>;

// Consumer threads alive in the process. At interpreter exit (an atexit hook) they are stopped and
// waited for before finalisation begins, so none takes the interpreter lock while it goes away.
void register_consumer(const SharedConsumer& state);
void unregister_consumer(ConsumerState* state);
// True once the exit hook has run: a consumer must not take the interpreter lock any more.
bool process_exiting() noexcept;
// The exit hook, and the fork handler that leaves every state of a forked child without a consumer.
bool install_exit_hook(PyObject* module);
// Keeps a thread object whose thread belongs to the parent process (neither joinable nor
// destructible here) reachable for the rest of the child's life.
void keep_orphaned_thread(std::thread* thread);

}  // namespace zelvar::ferrix
