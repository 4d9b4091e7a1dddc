#include "emission.hpp"

#include <cstring>
#include <typeinfo>

#include <zelvar/_pyext/errors.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "module_constants.hpp"

namespace zelvar::scrivo {
namespace {

// The frame's code object's name and file, read from its fields (the walk runs on every call;
// an attribute lookup per field cost more than the rest of the walk).
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

// The directory of the imported standard `logging` package, with its trailing "/" (null when the
// package has no file name: then no frame is the package's).
PyObject* g_logging_dir = nullptr;

// Whether the frame runs code of the standard package: its file lies in the package's directory.
// Matching the directory itself keeps a user's own "mylogging/__init__.py" out.
int is_logging_package(PyFrameObject* frame) {
    if (!g_logging_dir) return 0;
    py::Ref file = code_filename(frame);
    if (!file) return -1;
    if (!PyUnicode_Check(file.get())) return 0;
    const Py_ssize_t match = PyUnicode_Tailmatch(file.get(), g_logging_dir, 0, PY_SSIZE_T_MAX, -1);
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

}  // namespace

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

namespace {

void append_code(std::string& codes, const char* prefix, int32_t value) {
    if (!codes.empty()) codes += ';';
    codes += prefix;
    codes += std::to_string(value);
}

}  // namespace

bool set_standard_logging_package(PyObject* logging) {
    py::Ref file(PyObject_GetAttrString(logging, "__file__"));
    if (!file) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        return true;
    }
    if (!PyUnicode_Check(file.get())) return true;
    const Py_ssize_t slash = PyUnicode_FindChar(file.get(), '/', 0, PyUnicode_GET_LENGTH(file.get()), -1);
    if (slash == -2) return false;
    if (slash < 0) return true;
    PyObject* dir = PyUnicode_Substring(file.get(), 0, slash + 1);
    if (!dir) return false;
    Py_XSETREF(g_logging_dir, dir);
    return true;
}

bool holds_interpreter_lock() {
#if PY_VERSION_HEX >= 0x030D0000
    return PyThreadState_GetUnchecked() != nullptr;
#elif PY_VERSION_HEX >= 0x030C0000
    return _PyThreadState_UncheckedGet() != nullptr;  // this thread's own, attached thread state
#else
    // Before 3.12 the current thread state is that of whichever thread holds the lock.
    PyThreadState* current = _PyThreadState_UncheckedGet();
    if (!current) return false;
    PyThreadState* own = PyGILState_GetThisThreadState();
    if (current == own) return true;
    if (!own) return false;  // a thread that never ran Python code
    // A thread running a sub-interpreter holds the lock with that interpreter's thread state, while
    // the one the GILState API knows for it belongs to the interpreter it started in.
    return PyThreadState_GetInterpreter(current) != PyThreadState_GetInterpreter(own);
#endif
}

std::string color_wrap(std::string_view text, int32_t fg, int32_t bg, int32_t effect) {
    std::string codes;
    if ((effect >= 1 && effect <= 7) || effect == 9) append_code(codes, "", effect);
    if (fg >= 0 && fg <= 255) append_code(codes, spdlog_internal::foreground_prefix(fg), fg);
    if (bg >= 0 && bg <= 255) append_code(codes, spdlog_internal::background_prefix(bg), bg);
    if (codes.empty()) return codes;
    std::string out;
    out.reserve(text.size() + codes.size() + 7);
    out += "\033[";
    out += codes;
    out += 'm';
    out += text;
    out += "\033[0m";
    return out;
}

spdlog_internal::AsyncLogger* as_async(spdlog::logger* logger) {
    // The class is final: comparing the dynamic type is enough, and cheaper than a dynamic_cast.
    return logger && typeid(*logger) == typeid(spdlog_internal::AsyncLogger)
               ? static_cast<spdlog_internal::AsyncLogger*>(logger)
               : nullptr;
}

bool emit(const std::shared_ptr<spdlog::logger>& logger, spdlog::level::level_enum level, const Location& where,
          std::string_view plain, std::string_view colored, SinkFailure& failure) {
    const spdlog::source_loc loc{where.file, where.line, where.function};
    spdlog_internal::AsyncLogger* queue = as_async(logger.get());
    if (!queue) {
        failure = spdlog_internal::write_to_sinks(*logger, level, loc, plain, colored);
        return true;
    }
    return py::guard([&] {
               if (queue->post(level, loc, plain, colored, false)) return 0;
               // Full, and records wait for room: other Python threads may run meanwhile, and may
               // replace the logger `logger` refers to (every text handed over is kept alive by the
               // caller).
               const std::shared_ptr<spdlog::logger> pinned = logger;
               PyThreadState* saved = PyEval_SaveThread();
               try {
                   queue->post(level, loc, plain, colored, true);
               } catch (...) {
                   py::rethrow_forced_unwind();
                   PyEval_RestoreThread(saved);
                   throw;
               }
               PyEval_RestoreThread(saved);
               return 0;
           }) == 0;
}

void set_sink_error(const SinkFailure& failure) noexcept {
    try {
        std::rethrow_exception(failure.error);
    } catch (...) {
        py::rethrow_forced_unwind();
        py::set_error_from_current_exception();
    }
}

namespace {

void report_sink_failure(const SinkFailure& failure, const char* cls, const char* method) {
    if (!spdlog_internal::due_for_report(failure.sink)) return;
    set_sink_error(failure);
    py::Ref context(PyUnicode_FromFormat("%s.%s.%s", kModuleName, cls, method));
    PyErr_WriteUnraisable(context ? context.get() : Py_None);
}

}  // namespace

int log_text(const std::shared_ptr<spdlog::logger>& logger, int32_t level, PyObject* msg, int32_t fg, int32_t bg,
             int32_t effect, const char* cls, const char* method) {
    if (msg == Py_None) {
        py::set_none_text_error();
        return -1;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(msg, &size);
    if (!data) return -1;
    if (!logger) {
        PyErr_SetString(PyExc_RuntimeError, "no native logger");
        return -1;
    }
    const auto lvl = static_cast<spdlog::level::level_enum>(level);
    if (lvl >= spdlog::level::off || !logger->should_log(lvl)) return 0;  // a record at OFF is never written
    const std::string_view plain = cut_at_nul(data, static_cast<std::size_t>(size));
    std::string colored;
    if (py::guard([&] { return colored = color_wrap(plain, fg, bg, effect), 0; }) < 0) return -1;
    Location where;
    if (!find_caller(CallerRule::Direct, where)) return -1;
    SinkFailure failure;
    if (!emit(logger, lvl, where, plain, colored, failure)) return -1;
    if (failure) report_sink_failure(failure, cls, method);
    return 0;
}

}  // namespace zelvar::scrivo
