// The Python caller of a logging call: the walk up the calling thread's frames to the first one that
// is not module-level code (and, for a record of the standard package, not the package's own).
#include "caller_location.hpp"

#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include <frameobject.h>

#include <zelvar/forced_unwind.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "module_state.hpp"

namespace zelvar::scrivo {
namespace {

// The frame's code object's name and file, read from its fields: the walk runs on every logging call,
// and an attribute lookup per field would cost more than the rest of the walk.
PyCodeObject* frame_code(PyFrameObject* frame) {
    PyCodeObject* code = PyFrame_GetCode(frame);  // never null; the frame keeps it alive
    Py_DECREF(code);
    return code;
}

#if ZELVAR_PRIVATE_API
py::Ref code_name(PyFrameObject* frame) { return py::Ref::borrow(frame_code(frame)->co_name); }

py::Ref code_filename(PyFrameObject* frame) { return py::Ref::borrow(frame_code(frame)->co_filename); }
#else
py::Ref code_attribute(PyFrameObject* frame, const char* name) {
    return py::Ref(PyObject_GetAttrString(reinterpret_cast<PyObject*>(frame_code(frame)), name));
}

py::Ref code_name(PyFrameObject* frame) { return code_attribute(frame, "co_name"); }

py::Ref code_filename(PyFrameObject* frame) { return code_attribute(frame, "co_filename"); }
#endif

// -1 on error, else whether the frame runs module-level code.
int is_module_level(PyFrameObject* frame) {
    py::Ref name = code_name(frame);
    if (!name) return -1;
    return PyUnicode_Check(name.get()) && PyUnicode_CompareWithASCIIString(name.get(), "<module>") == 0;
}

// Whether the frame runs code of the standard package: its file lies in the package's directory.
// Matching the directory itself keeps a user's own "mylogging/__init__.py" out.
int is_logging_package(PyFrameObject* frame) {
    PyObject* logging_dir = state().logging_dir;
    if (!logging_dir) return 0;
    py::Ref file = code_filename(frame);
    if (!file) return -1;
    if (!PyUnicode_Check(file.get())) return 0;
    const Py_ssize_t match = PyUnicode_Tailmatch(file.get(), logging_dir, 0, PY_SSIZE_T_MAX, -1);
    return match < 0 ? -1 : match > 0;
}

py::Ref parent(PyFrameObject* frame) { return py::Ref(reinterpret_cast<PyObject*>(PyFrame_GetBack(frame))); }
PyFrameObject* as_frame(const py::Ref& r) { return reinterpret_cast<PyFrameObject*>(r.get()); }

// The bytes a code object's name stands for, kept alive in `keep`: its UTF-8 form (cached in the
// str), or for a name with undecodable bytes (a file name's surrogate escapes) the original bytes,
// as the file system encoding gives them back. Null with an exception.
const char* native_text(py::Ref text, py::Ref& keep) {
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size)) {
        keep = std::move(text);
        return utf8;
    }
    if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return nullptr;
    PyErr_Clear();
    keep.reset(PyUnicode_EncodeFSDefault(text.get()));
    if (!keep && PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) {
        // A surrogate no decoder makes (set on the code object by hand): the location is only a label.
        PyErr_Clear();
        keep.reset(PyUnicode_AsEncodedString(text.get(), "utf-8", "replace"));
    }
    return keep ? PyBytes_AS_STRING(keep.get()) : nullptr;
}

bool describe(PyFrameObject* frame, Location& out) {
    py::Ref file = code_filename(frame);
    py::Ref function = file ? code_name(frame) : py::Ref();
    if (!function) return false;
    if (PyUnicode_Check(file.get())) {
        const char* path = native_text(std::move(file), out.file_text);
        if (!path) return false;
        const char* slash = std::strrchr(path, '/');
        out.file = slash ? slash + 1 : path;
    }
    if (PyUnicode_Check(function.get())) {
        const char* name = native_text(std::move(function), out.function_text);
        if (!name) return false;
        out.function = name;
    }
    out.line = PyFrame_GetLineNumber(frame);
    return true;
}

template <class T>
bool same_owner(const std::weak_ptr<T>& a, const std::shared_ptr<T>& b) {
    return !a.owner_before(b) && !b.owner_before(a);
}

// A logger's sinks as prints_location and wants_fields last saw them. The weak references keep the control blocks,
// so a logger or sink made later can never pass for one seen here.
struct LocationUse {
    std::weak_ptr<spdlog::logger> logger;
    std::vector<std::weak_ptr<spdlog::sinks::sink>> sinks;
    unsigned generation = 0;
    bool prints = true, fields = true;

    bool matches(const std::shared_ptr<spdlog::logger>& l, unsigned now) const {
        if (!same_owner(logger, l) || generation != now) return false;
        const auto& current = l->sinks();
        if (current.size() != sinks.size()) return false;
        for (std::size_t i = 0; i < sinks.size(); ++i)
            if (!same_owner(sinks[i], current[i])) return false;
        return true;
    }
};

std::array<LocationUse, 4> g_location_use;  // used with the interpreter lock
std::size_t g_location_next = 0;

// The entry for `logger` and its sinks as they are now, or null (no memory: the caller assumes both
// are printed).
const LocationUse* sink_use(const std::shared_ptr<spdlog::logger>& logger) noexcept {
    // Read before the sinks are: a change meanwhile leaves an entry that is already stale.
    const unsigned now = libscrivo::location_generation();
    for (const LocationUse& use : g_location_use)
        if (use.matches(logger, now)) return &use;
    try {
        LocationUse& use = g_location_use[g_location_next++ % g_location_use.size()];
        use = {};
        use.prints = libscrivo::prints_location(*logger);
        use.fields = libscrivo::prints_fields(*logger);
        use.sinks.assign(logger->sinks().begin(), logger->sinks().end());
        use.generation = now;
        use.logger = logger;
        return &use;
    } catch (...) {
        rethrow_forced_unwind();
        return nullptr;
    }
}

}  // namespace

bool prints_location(const std::shared_ptr<spdlog::logger>& logger) noexcept {
    const LocationUse* use = sink_use(logger);
    return !use || use->prints;
}

bool wants_fields(const std::shared_ptr<spdlog::logger>& logger) noexcept {
    const LocationUse* use = sink_use(logger);
    return !use || use->fields;
}

bool find_caller(CallerRule rule, Location& out) {
    PyFrameObject* innermost = PyEval_GetFrame();
    if (!innermost) return true;  // "<unknown>", 0, "<module>"
    py::Ref p = parent(innermost);
    // Where the walk ends up when it runs off the stack: the calling frame itself, or for a record
    // of the standard package the first frame outside it (the package's own frame would name
    // logging/__init__.py as the caller of every module-level logging call).
    py::Ref fallback = py::Ref::borrow(reinterpret_cast<PyObject*>(innermost));
    if (rule == CallerRule::StandardLogging) {
        while (p) {
            const int skip = is_logging_package(as_frame(p));
            if (skip < 0) return false;
            if (!skip) break;
            p = parent(as_frame(p));
        }
        if (p) fallback = py::Ref::borrow(p.get());
    }
    while (p) {
        const int module_level = is_module_level(as_frame(p));
        if (module_level < 0) return false;
        if (!module_level) return describe(as_frame(p), out);
        p = parent(as_frame(p));
    }
    if (PyErr_Occurred()) return false;
    return describe(as_frame(fallback), out);
}

}  // namespace zelvar::scrivo
