// The ring arguments every bridge type takes, converted once and passed on to SPSCQueue.
#pragma once

#include <cstddef>

#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/python.hpp>

namespace zelvar::ferrix {

struct RingArguments {
    std::size_t capacity;
    std::size_t slot_size;
    int overwrite = 0;
    int zerocopy = 0;
    int block_on_full = 0;
};

// A given size argument by the size_t rule (the default stays when not given).
inline bool take_size(PyObject* value, std::size_t& out) { return !value || py::to_size_t(value, out); }

// A given flag by truth value.
inline bool take_flag(PyObject* value, int& out) {
    if (!value) return true;
    out = py::truth(value);
    return out >= 0;
}

}  // namespace zelvar::ferrix
