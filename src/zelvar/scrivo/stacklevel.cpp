#include "stacklevel.hpp"

#include <climits>
#include <vector>

namespace zelvar::scrivo {
namespace {

// Few loggers are built with a depth; an empty table costs the lookup one test. Held weakly, so a
// logger made later at a freed address never reads an older one's depth.
struct Depth {
    std::weak_ptr<spdlog::logger> logger;
    int32_t depth;
};
std::vector<Depth> g_depths;  // used with the interpreter lock

bool same_owner(const std::weak_ptr<spdlog::logger>& a, const std::shared_ptr<spdlog::logger>& b) {
    return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

bool to_stacklevel(PyObject* value, int32_t& out) {
    out = 0;
    if (value == Py_None) return true;
    if (!PyLong_Check(value) || PyBool_Check(value)) {
        PyErr_Format(PyExc_TypeError, "stacklevel must be an int, not %.200s", Py_TYPE(value)->tp_name);
        return false;
    }
    int overflow = 0;
    const long n = PyLong_AsLongAndOverflow(value, &overflow);
    if (n == -1 && PyErr_Occurred()) return false;
    if (overflow < 0 || (!overflow && n < 1)) {
        PyErr_Format(PyExc_ValueError, "stacklevel must be 1 or more, not %R", value);
        return false;
    }
    out = overflow || n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
    return true;
}

void set_stacklevel(const std::shared_ptr<spdlog::logger>& logger, int32_t depth) {
    std::erase_if(g_depths, [](const Depth& d) { return d.logger.expired(); });
    g_depths.push_back({logger, depth});
}

int32_t stacklevel_of(const std::shared_ptr<spdlog::logger>& logger) noexcept {
    for (const Depth& d : g_depths)
        if (same_owner(d.logger, logger)) return d.depth;
    return 0;
}

}  // namespace zelvar::scrivo
