// The doorbell push entries both dispatchers publish: the ring's try-push, then the doorbell when
// the message was stored and the consumer may be asleep. `D` has `_q` (the ring or None) and
// `_state` (its ConsumerState). No interpreter lock, no Python object touched.
#pragma once

#include <cstddef>

#include "consumer.hpp"
#include "module_state.hpp"

namespace zelvar::ferrix {

template <class D, bool Var>
int try_push_with_bell(D* d, const char* data, std::size_t size) {
    if (!has_ring(d)) return spsc::kClosed;
    const int rc =
        Var ? ring_table()->try_push_var(ring(d->_q), data, size) : ring_table()->try_push(ring(d->_q), data, size);
    d->_state->after_push(rc);
    return rc;
}

}  // namespace zelvar::ferrix
