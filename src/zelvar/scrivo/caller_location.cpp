// The Python caller of a logging call: the walk up the calling thread's frames to the first one that
// is not module-level code (and, for a record of the standard package, not the package's own).
#include "caller_location.hpp"

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include <frameobject.h>

#include <zelvar/forced_unwind.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "module_state.hpp"

namespace zelvar::scrivo {
namespace {

// The frame's code object's name and file, read from its fields where the interpreter's layout is
// known (converted once per code object below).
PyCodeObject* frame_code(PyFrameObject* frame) {
    PyCodeObject* code = PyFrame_GetCode(frame);  // never null; the frame keeps it alive
    Py_DECREF(code);
    return code;
}

#if ZELVAR_PRIVATE_API
py::Ref code_name(PyCodeObject* code) { return py::Ref::borrow(code->co_name); }

py::Ref code_filename(PyCodeObject* code) { return py::Ref::borrow(code->co_filename); }
#else
py::Ref code_attribute(PyCodeObject* code, const char* name) {
    return py::Ref(PyObject_GetAttrString(reinterpret_cast<PyObject*>(code), name));
}

py::Ref code_name(PyCodeObject* code) { return code_attribute(code, "co_name"); }

py::Ref code_filename(PyCodeObject* code) { return code_attribute(code, "co_filename"); }
#endif

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

// The file's last path component, kept alive in `keep` (unchanged when `path` is no str).
bool file_name(py::Ref path, py::Ref& keep, const char*& out) {
    if (!PyUnicode_Check(path.get())) return true;
    const char* text = native_text(std::move(path), keep);
    if (!text) return false;
    const char* slash = std::strrchr(text, '/');
    out = slash ? slash + 1 : text;
    return true;
}

bool function_name(py::Ref name, py::Ref& keep, const char*& out) {
    if (!PyUnicode_Check(name.get())) return true;
    const char* text = native_text(std::move(name), keep);
    if (text) out = text;
    return text != nullptr;
}

// What the walk and the sinks read of a code object, converted once: every logging call from the
// same function would otherwise re-read and re-convert the same names.
struct CodeNames {
    py::Ref code;  // strong: an address freed and reused by another code object cannot alias
    py::Ref file_text, function_text;
    const char* file = "<unknown>";
    const char* function = "<module>";
    bool module_level = false;
    bool logging_package = false;  // its file lies in the standard package's directory

    bool fill(PyCodeObject* of) {
        py::Ref filename = code_filename(of), name = filename ? code_name(of) : py::Ref();
        if (!name) return false;
        module_level = PyUnicode_Check(name.get()) && PyUnicode_CompareWithASCIIString(name.get(), "<module>") == 0;
        // Matching the directory itself keeps a user's own "mylogging/__init__.py" out.
        if (PyObject* dir = state().logging_dir; dir && PyUnicode_Check(filename.get())) {
            const Py_ssize_t match = PyUnicode_Tailmatch(filename.get(), dir, 0, PY_SSIZE_T_MAX, -1);
            if (match < 0) return false;
            logging_package = match > 0;
        }
        if (!file_name(std::move(filename), file_text, file) ||
            !function_name(std::move(name), function_text, function))
            return false;
        code = py::Ref::borrow(reinterpret_cast<PyObject*>(of));
        return true;
    }
};

// Direct-mapped by the code object's address; used with the interpreter lock, and only by the
// interpreter that first used it (another one converts every time rather than share its objects).
// Never destroyed: the process's exit must not release Python objects after finalisation.
std::array<CodeNames, 64>& g_code_names = *new std::array<CodeNames, 64>();
PyInterpreterState* g_code_names_owner = nullptr;
// The last entry evicted, released at the next miss before anything is read: releasing a code
// object may run Python code (a weak reference's callback) that logs and replaces entries.
CodeNames& g_retired = *new CodeNames();

[[gnu::noinline]] const CodeNames* refill(CodeNames& slot, PyCodeObject* code) {
    while (g_retired.code) CodeNames dropped = std::move(g_retired);
    CodeNames fresh;
    if (!fresh.fill(code)) return nullptr;
    g_retired = std::move(slot);
    slot = std::move(fresh);
    return &slot;
}

// The names of `code`: valid until the next lookup, or for another interpreter's call held in
// `own`. Null with an exception.
const CodeNames* names_of(PyCodeObject* code, std::optional<CodeNames>& own) {
    PyInterpreterState* now = PyInterpreterState_Get();
    if (!g_code_names_owner) g_code_names_owner = now;
    if (g_code_names_owner != now) return own.emplace().fill(code) ? &*own : nullptr;
    const auto key = reinterpret_cast<std::uintptr_t>(code) * UINT64_C(0x9E3779B97F4A7C15);
    CodeNames& slot = g_code_names[key >> (64 - 6)];
    if (slot.code.get() == reinterpret_cast<PyObject*>(code)) return &slot;
    return refill(slot, code);
}

bool describe(PyFrameObject* frame, Location& out) {
    std::optional<CodeNames> own;
    const CodeNames* names = names_of(frame_code(frame), own);
    if (!names) return false;
    out.file = names->file;
    out.function = names->function;
    out.file_text = py::Ref::borrow(names->file_text.get());
    out.function_text = py::Ref::borrow(names->function_text.get());
    out.line = PyFrame_GetLineNumber(frame);
    return true;
}

// -1 on error, else whether the frame runs module-level code (`skip_logging`: or the standard
// package's own code).
int skipped(PyFrameObject* frame, bool logging_package) {
    std::optional<CodeNames> own;
    const CodeNames* names = names_of(frame_code(frame), own);
    if (!names) return -1;
    return logging_package ? names->logging_package : names->module_level;
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

bool find_caller(CallerRule rule, Location& out, int32_t stacklevel) {
    PyFrameObject* innermost = PyEval_GetFrame();
    if (!innermost) return true;  // "<unknown>", 0, "<module>"
    if (stacklevel > 0) {
        // As the standard package counts: 1 is the calling frame; past the outermost, the outermost.
        py::Ref at = py::Ref::borrow(reinterpret_cast<PyObject*>(innermost));
        for (int32_t up = 1; up < stacklevel; ++up) {
            py::Ref next = parent(as_frame(at));
            if (!next) break;
            at = std::move(next);
        }
        return describe(as_frame(at), out);
    }
    py::Ref p = parent(innermost);
    // Where the walk ends up when it runs off the stack: the calling frame itself, or for a record
    // of the standard package the first frame outside it (the package's own frame would name
    // logging/__init__.py as the caller of every module-level logging call).
    py::Ref fallback = py::Ref::borrow(reinterpret_cast<PyObject*>(innermost));
    if (rule == CallerRule::StandardLogging) {
        while (p) {
            const int skip = skipped(as_frame(p), true);
            if (skip < 0) return false;
            if (!skip) break;
            p = parent(as_frame(p));
        }
        if (p) fallback = py::Ref::borrow(p.get());
    }
    while (p) {
        const int module_level = skipped(as_frame(p), false);
        if (module_level < 0) return false;
        if (!module_level) return describe(as_frame(p), out);
        p = parent(as_frame(p));
    }
    if (PyErr_Occurred()) return false;
    return describe(as_frame(fallback), out);
}

bool record_location(PyObject* pathname, PyObject* lineno, PyObject* func_name, Location& out) {
    if (!file_name(py::Ref::borrow(pathname), out.file_text, out.file) ||
        !function_name(py::Ref::borrow(func_name), out.function_text, out.function))
        return false;
    if (PyLong_Check(lineno)) {
        int overflow = 0;
        const long line = PyLong_AsLongAndOverflow(lineno, &overflow);
        if (line == -1 && PyErr_Occurred()) return false;
        out.line = overflow || line < INT_MIN || line > INT_MAX ? 0 : static_cast<int>(line);
    }
    return true;
}

}  // namespace zelvar::scrivo
