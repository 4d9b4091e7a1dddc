// zelvar._testing, logging part: drives the logging module's native interfaces the way an outside
// extension module would, through the public headers only, so the tests exercise them for real.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <spdlog/logger.h>
#include <spdlog/sinks/base_sink.h>

#include <zelvar/_pyext/capsule.hpp>
#include <zelvar/scrivo/scrivo.hpp>

#include "testing.hpp"

namespace {

using zelvar::scrivo::DefaultLoggerObject;
using zelvar::scrivo::LoggerObject;
using zelvar::scrivo::LoggerOptions;
using zelvar::scrivo::LogOptions;

// The scrivo capsule `key` checked against its signature.
void* capi(const char* key, const char* signature) {
    return zelvar::py::import_function("zelvar.scrivo.scrivo", key, signature);
}

// (logger name, logger address) of a handle, or (None, 0) when it holds no logger.
PyObject* describe(const std::shared_ptr<spdlog::logger>& logger) {
    if (!logger) return Py_BuildValue("(OK)", Py_None, 0ULL);
    return Py_BuildValue("(sK)", logger->name().c_str(),
                         static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(logger.get())));
}

// Option record from (count, name, flag); `use_record` False passes a null pointer.
bool parse_options(PyObject* args, LoggerOptions& options, bool& use_record) {
    int count = 0, flag = 0, record = 1;
    PyObject* name = nullptr;
    if (!PyArg_ParseTuple(args, "|iOip", &count, &name, &flag, &record)) return false;
    options = LoggerOptions{count, name, flag};
    use_record = record != 0;
    return true;
}

// get_logger(count=0, name=None, flag=0, record=True, preset=None) -> (name, address)
// `preset` names a logger (spdlog registry) that `out` holds before the call, to show it is kept
// on failure.
PyObject* call_get_logger(PyObject*, PyObject* args) {
    PyObject* rest = PyTuple_GetSlice(args, 0, 4);
    const char* preset = nullptr;
    if (PyTuple_GET_SIZE(args) > 4 && PyTuple_GET_ITEM(args, 4) != Py_None) {
        preset = PyUnicode_AsUTF8(PyTuple_GET_ITEM(args, 4));
        if (!preset) {
            Py_DECREF(rest);
            return nullptr;
        }
    }
    LoggerOptions options{};
    bool use_record = true;
    const bool ok = parse_options(rest, options, use_record);
    Py_DECREF(rest);
    if (!ok) return nullptr;
    auto get = reinterpret_cast<zelvar::scrivo::GetLoggerFn>(capi("get_logger", zelvar::scrivo::kGetLoggerSignature));
    auto by_name = reinterpret_cast<zelvar::scrivo::GetLoggerByNameFn>(
        capi("get_logger_by_name", zelvar::scrivo::kGetLoggerByNameSignature));
    if (!get || !by_name) return nullptr;
    SpdLogger out = preset ? by_name(preset) : SpdLogger();
    get(out, use_record ? &options : nullptr);
    PyObject* result = describe(out.logger);
    if (PyErr_Occurred()) {
        // Report what `out` holds after the failure together with the error.
        PyObject *type, *value, *tb;
        PyErr_Fetch(&type, &value, &tb);
        PyErr_NormalizeException(&type, &value, &tb);
        if (value) PyObject_SetAttrString(value, "out", result);
        Py_XDECREF(result);
        PyErr_Restore(type, value, tb);
        return nullptr;
    }
    return result;
}

// get_logger_ptr(count=0, name=None, flag=0, record=True) -> (name, address)
PyObject* call_get_logger_ptr(PyObject*, PyObject* args) {
    LoggerOptions options{};
    bool use_record = true;
    if (!parse_options(args, options, use_record)) return nullptr;
    auto get = reinterpret_cast<zelvar::scrivo::GetLoggerPtrFn>(
        capi("get_logger_ptr", zelvar::scrivo::kGetLoggerPtrSignature));
    if (!get) return nullptr;
    std::shared_ptr<spdlog::logger> logger = get(use_record ? &options : nullptr);
    if (PyErr_Occurred()) {
        if (logger) PyErr_SetString(PyExc_AssertionError, "a failed get_logger_ptr returned a logger");
        return nullptr;
    }
    return describe(logger);
}

// get_logger_by_name(name or None) -> (name, address); None passes a null pointer.
PyObject* call_get_logger_by_name(PyObject*, PyObject* name) {
    const char* text = nullptr;
    if (name != Py_None && !(text = PyUnicode_AsUTF8(name))) return nullptr;
    auto get = reinterpret_cast<zelvar::scrivo::GetLoggerByNameFn>(
        capi("get_logger_by_name", zelvar::scrivo::kGetLoggerByNameSignature));
    if (!get) return nullptr;
    SpdLogger found = get(text);
    if (PyErr_Occurred()) {
        if (found) PyErr_SetString(PyExc_AssertionError, "a failed get_logger_by_name returned a logger");
        return nullptr;
    }
    return describe(found.logger);
}

// log_through(count, name, level, text): get_logger, then log and flush through spdlog itself.
PyObject* log_through(PyObject*, PyObject* args) {
    int count, level;
    PyObject* name;
    const char* text;
    if (!PyArg_ParseTuple(args, "iOis", &count, &name, &level, &text)) return nullptr;
    auto get = reinterpret_cast<zelvar::scrivo::GetLoggerFn>(capi("get_logger", zelvar::scrivo::kGetLoggerSignature));
    if (!get) return nullptr;
    LoggerOptions options{count, name, 0};
    SpdLogger out;
    get(out, &options);
    if (PyErr_Occurred()) return nullptr;
    out->log(static_cast<spdlog::level::level_enum>(level), text);
    out->flush();
    Py_RETURN_NONE;
}

// Entry `index` (0 trace .. 5 critical) of `self`'s native table, bound to it.
template <class Self>
std::function<void(PyObject*, int, const LogOptions*)> bound_entry(Self* self, int index) {
    const zelvar::scrivo::LogMethod<Self> entries[] = {self->vtab->trace, self->vtab->debug, self->vtab->info,
                                                       self->vtab->warn,  self->vtab->error, self->vtab->critical};
    return [self, entry = entries[index]](PyObject* msg, int dispatch, const LogOptions* o) {
        entry(self, msg, dispatch, o);
    };
}

// Entry `index` (0 trace .. 5 critical) of a Logger's or DefaultLogger's native table, bound to `obj`;
// empty with TypeError/IndexError set for anything else.
std::function<void(PyObject*, int, const LogOptions*)> table_entry(PyObject* obj, int index) {
    if (index < 0 || index > 5) {
        PyErr_SetString(PyExc_IndexError, "method index");
        return {};
    }
    PyObject* mro = Py_TYPE(obj)->tp_mro;
    bool is_default = false, is_logger = false;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(mro); ++i) {
        const char* n = reinterpret_cast<PyTypeObject*>(PyTuple_GET_ITEM(mro, i))->tp_name;
        is_logger |= std::string(n) == "zelvar.scrivo.scrivo.Logger";
        is_default |= std::string(n) == "zelvar.scrivo.scrivo.DefaultLogger";
    }
    if (is_logger) return bound_entry(reinterpret_cast<LoggerObject*>(obj), index);
    if (is_default) return bound_entry(reinterpret_cast<DefaultLoggerObject*>(obj), index);
    PyErr_Format(PyExc_TypeError, "not a logger: %s", Py_TYPE(obj)->tp_name);
    return {};
}

// call_method(obj, index, msg, dispatch, count=3, fg=-1, bg=-1, effect=-1, record=True): calls
// entry `index` (0 trace .. 5 critical) of a Logger's or DefaultLogger's native table.
PyObject* call_method(PyObject*, PyObject* args) {
    PyObject *obj, *msg;
    int index, dispatch, count = 3, record = 1;
    LogOptions options{3, -1, -1, -1};
    if (!PyArg_ParseTuple(args, "OiOi|iiiip", &obj, &index, &msg, &dispatch, &count, &options.fg_color,
                          &options.bg_color, &options.effect, &record))
        return nullptr;
    options.count = count;
    const auto entry = table_entry(obj, index);
    if (!entry) return nullptr;
    entry(msg, dispatch, record ? &options : nullptr);
    if (PyErr_Occurred()) return nullptr;
    Py_RETURN_NONE;
}

// call_method_from_thread(obj, index, msg): entry `index` called by a new native thread that never
// ran Python code and does not hold the interpreter lock, while this thread waits without it.
PyObject* call_method_from_thread(PyObject*, PyObject* args) {
    PyObject *obj, *msg;
    int index;
    if (!PyArg_ParseTuple(args, "OiU", &obj, &index, &msg)) return nullptr;
    const auto entry = table_entry(obj, index);
    if (!entry || !PyUnicode_AsUTF8(msg)) return nullptr;  // the text is ready before the lock is let go
    Py_BEGIN_ALLOW_THREADS std::thread([&] { entry(msg, 1, nullptr); }).join();
    Py_END_ALLOW_THREADS Py_RETURN_NONE;
}

// get_spd_logger(logger) -> (name, address) through the first entry of Logger's table.
PyObject* get_spd_logger(PyObject*, PyObject* obj) {
    auto* self = reinterpret_cast<LoggerObject*>(obj);
    SpdLogger copy = self->vtab->get_spd_logger(self);
    return describe(copy.logger);
}

// log_from_threads(logger, threads, count, tag): `threads` native threads, without the interpreter
// lock, each log `count` info records "<tag><thread> <i> <i % 97 times x>" through the Logger's
// spdlog logger (get_spd_logger), as a native module's own threads would.
PyObject* log_from_threads(PyObject*, PyObject* args) {
    PyObject* obj;
    int threads, count;
    const char* tag;
    if (!PyArg_ParseTuple(args, "Oiis", &obj, &threads, &count, &tag)) return nullptr;
    auto* self = reinterpret_cast<LoggerObject*>(obj);
    SpdLogger logger = self->vtab->get_spd_logger(self);
    const std::string prefix(tag);
    Py_BEGIN_ALLOW_THREADS std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            for (int i = 0; i < count; ++i) logger->info("{}{} {} {}", prefix, t, i, std::string(i % 97, 'x'));
        });
    }
    for (auto& thread : pool) thread.join();
    Py_END_ALLOW_THREADS Py_RETURN_NONE;
}

// A sink that holds every record at a gate until it is opened, keeping their texts: a stalled
// disk, under the test's control.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened_cv;
    bool opened = false;
    std::vector<std::string> records;
};

Gate& gate() {
    static auto* g = new Gate();
    return *g;
}

class GateSink final : public spdlog::sinks::base_sink<std::mutex> {
  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        std::unique_lock<std::mutex> lock(gate().mutex);
        gate().opened_cv.wait(lock, [] { return gate().opened; });
        gate().records.emplace_back(msg.payload.data(), msg.payload.size());
    }
    void flush_() override {}
};

// add_gate_sink(logger): closes the gate and adds a gate sink to a Logger that has logged nothing yet.
PyObject* add_gate_sink(PyObject*, PyObject* obj) {
    auto* self = reinterpret_cast<LoggerObject*>(obj);
    SpdLogger logger = self->vtab->get_spd_logger(self);
    {
        std::lock_guard<std::mutex> lock(gate().mutex);
        gate().opened = false;
        gate().records.clear();
    }
    logger->sinks().push_back(std::make_shared<GateSink>());
    Py_RETURN_NONE;
}

// open_gate() -> None: lets the held records and all later ones through.
PyObject* open_gate(PyObject*, PyObject*) {
    std::lock_guard<std::mutex> lock(gate().mutex);
    gate().opened = true;
    gate().opened_cv.notify_all();
    Py_RETURN_NONE;
}

// gate_records() -> [str]: what the gate sink has written, in order.
PyObject* gate_records(PyObject*, PyObject*) {
    std::lock_guard<std::mutex> lock(gate().mutex);
    PyObject* list = PyList_New(0);
    for (const auto& text : gate().records) {
        PyObject* item =
            list ? PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())) : nullptr;
        if (!item || PyList_Append(list, item) < 0) {
            Py_XDECREF(item);
            Py_XDECREF(list);
            return nullptr;
        }
        Py_DECREF(item);
    }
    return list;
}

// noop(*args): the cheapest native call, the floor the logging methods are measured against.
PyObject* noop(PyObject*, PyObject* const*, Py_ssize_t) { Py_RETURN_NONE; }

// overflow_stack(): recurses until the thread's stack runs out, as runaway recursion does.
[[gnu::noinline]] unsigned long long recurse(unsigned long long depth) {
    volatile char frame[512];
    frame[depth % sizeof frame] = static_cast<char>(depth);
    if (depth == ~0ULL) return 0;          // never: the stack runs out long before
    return recurse(depth + 1) + frame[0];  // not a tail call: every level keeps its frame
}

PyObject* overflow_stack(PyObject*, PyObject*) {
    (void)recurse(0);
    Py_RETURN_NONE;
}

PyMethodDef g_methods[] = {
    {"overflow_stack", overflow_stack, METH_NOARGS, nullptr},
    {"noop", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(noop)), METH_FASTCALL, nullptr},
    {"get_logger", call_get_logger, METH_VARARGS, nullptr},
    {"get_logger_ptr", call_get_logger_ptr, METH_VARARGS, nullptr},
    {"get_logger_by_name", call_get_logger_by_name, METH_O, nullptr},
    {"log_through", log_through, METH_VARARGS, nullptr},
    {"call_method", call_method, METH_VARARGS, nullptr},
    {"call_method_from_thread", call_method_from_thread, METH_VARARGS, nullptr},
    {"get_spd_logger", get_spd_logger, METH_O, nullptr},
    {"log_from_threads", log_from_threads, METH_VARARGS, nullptr},
    {"add_gate_sink", add_gate_sink, METH_O, nullptr},
    {"open_gate", open_gate, METH_NOARGS, nullptr},
    {"gate_records", gate_records, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

bool add_logging_functions(PyObject* module) { return PyModule_AddFunctions(module, g_methods) == 0; }
