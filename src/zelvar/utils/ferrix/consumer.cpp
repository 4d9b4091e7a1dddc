#include "consumer.hpp"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <zelvar/_pyext/ref.hpp>

namespace zelvar::ferrix {
namespace {

struct Registry {
    std::mutex mutex;
    std::condition_variable emptied;
    std::unordered_map<ConsumerState*, SharedConsumer> live;
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
    Py_BEGIN_ALLOW_THREADS
    for (auto& state : states) {
        state->running.store(false);
        if (state->ring) ring_table()->close(state->ring);
        state->bell.ring();
    }
    std::unique_lock lock(r.mutex);
    r.emptied.wait_for(lock, std::chrono::seconds(5), [&] { return r.live.empty(); });
    g_exiting.store(true);
    Py_END_ALLOW_THREADS
    Py_RETURN_NONE;
}

}  // namespace

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
    static PyMethodDef def = {"_stop_consumers", stop_consumers, METH_NOARGS, nullptr};
    py::Ref fn(PyCFunction_New(&def, nullptr));
    py::Ref atexit(fn ? PyImport_ImportModule("atexit") : nullptr);
    py::Ref done(atexit ? PyObject_CallMethod(atexit.get(), "register", "O", fn.get()) : nullptr);
    return static_cast<bool>(done);
}

}  // namespace zelvar::ferrix
