// What every push entry of both dispatchers checks first, and the doorbell push entries they
// publish: the ring's try-push, then the doorbell when the message was stored and the consumer may
// be asleep. `D` has `_q` (the ring or None) and
// `_state` (its ConsumerState). No interpreter lock, no Python object touched.
#pragma once

#include <cstddef>

#include "consumer.hpp"
#include "module_state.hpp"

namespace zelvar::ferrix {

// Whether a push may go into the ring: there is one, and the dispatcher was not inherited through
// a fork (relaxed: the flag is set in the child before any other thread of its own exists).
template <class D>
bool accepts_pushes(const D* d) {
    return has_ring(d) && !d->_state->closed_by_fork.load(std::memory_order_relaxed);
}

template <class D, bool Var>
int try_push_with_bell(D* d, const char* data, std::size_t size) {
    if (!accepts_pushes(d)) return spsc::kClosed;
    const int rc =
        Var ? ring_table()->try_push_var(ring(d->_q), data, size) : ring_table()->try_push(ring(d->_q), data, size);
    d->_state->after_push(rc);
    return rc;
}

}  // namespace zelvar::ferrix
