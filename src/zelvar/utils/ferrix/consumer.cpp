#include "consumer.hpp"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <zelvar/_pyext/ref.hpp>

namespace zelvar::ferrix {
namespace {

struct Registry {
    std::mutex mutex;
    std::condition_variable emptied;
    std::unordered_map<ConsumerState*, SharedConsumer> live;  // states with a running consumer thread
    std::unordered_set<ConsumerState*> all;                   // every state, for the fork handler
    std::vector<std::thread*> orphaned_threads;               // a forked child's inherited thread objects
    std::vector<SharedConsumer> orphaned_states;              // ... and the states their threads held
};

Registry& registry() {
    static auto* r = new Registry();  // never destroyed: threads may outlive static destruction
    return *r;
}

std::atomic<bool> g_exiting{false};

// atexit: stop every consumer and wait (without the lock, so they can finish a delivery and drop
// their references) until they have all ended, for a bounded time.
PyObject* stop_consumers(PyObject*, PyObject*) {
    Registry& r = registry();
    std::vector<SharedConsumer> states;
    {
        std::lock_guard lock(r.mutex);
        for (auto& [_, state] : r.live) states.push_back(state);
    }
    Py_BEGIN_ALLOW_THREADS for (auto& state : states) {
        state->running.store(false);
        if (state->ring) ring_table()->close(state->ring);
        state->bell.ring();
    }
    std::unique_lock lock(r.mutex);
    r.emptied.wait_for(lock, std::chrono::seconds(5), [&] { return r.live.empty(); });
    g_exiting.store(true);
    Py_END_ALLOW_THREADS Py_RETURN_NONE;
}

// Fork: the registry's lock is held across fork() so the child never inherits it locked. In the
// child no consumer thread exists: every state is left closed, without a consumer, its doorbell
// unarmed (the descriptor is shared with the parent, which must keep its doorbell working), and
// the exit hook has nobody to wait for.
void before_fork() { registry().mutex.lock(); }
void after_fork_in_parent() { registry().mutex.unlock(); }
void after_fork_in_child() {
    Registry& r = registry();
    for (ConsumerState* state : r.all) {
        state->running.store(false);
        state->may_sleep.store(false);
        state->consumer_started = false;
        state->inherited = true;
        state->closed_by_fork.store(true, std::memory_order_relaxed);
        state->bell.forget();
    }
    for (auto& [_, state] : r.live) r.orphaned_states.push_back(std::move(state));
    r.live.clear();
    r.mutex.unlock();
}

}  // namespace

ConsumerState::ConsumerState() {
    std::lock_guard lock(registry().mutex);
    registry().all.insert(this);
}

ConsumerState::~ConsumerState() {
    std::lock_guard lock(registry().mutex);
    registry().all.erase(this);
}

void keep_orphaned_thread(std::thread* thread) {
    std::lock_guard lock(registry().mutex);
    registry().orphaned_threads.push_back(thread);
}

void register_consumer(const SharedConsumer& state) {
    std::lock_guard lock(registry().mutex);
    registry().live.emplace(state.get(), state);
}

void unregister_consumer(ConsumerState* state) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.live.erase(state);
    if (r.live.empty()) r.emptied.notify_all();
}

bool process_exiting() noexcept { return g_exiting.load(); }

bool install_exit_hook(PyObject*) {
    static const bool fork_handler = pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child) == 0;
    if (!fork_handler) {
        PyErr_SetString(PyExc_RuntimeError, "could not install the bridge's fork handler");
        return false;
    }
    static PyMethodDef def = {"_stop_consumers", stop_consumers, METH_NOARGS, nullptr};
    py::Ref fn(PyCFunction_New(&def, nullptr));
    py::Ref atexit(fn ? PyImport_ImportModule("atexit") : nullptr);
    py::Ref done(atexit ? PyObject_CallMethod(atexit.get(), "register", "O", fn.get()) : nullptr);
    return static_cast<bool>(done);
}

}  // namespace zelvar::ferrix
