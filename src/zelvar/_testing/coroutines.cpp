// zelvar._testing, coroutine part: bodies written with the coroutine bridge, so the tests drive it
// through asyncio exactly as the modules' own coroutine methods are driven.
#include <exception>
#include <ios>
#include <new>
#include <stdexcept>
#include <string_view>
#include <typeinfo>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/coro.hpp>
#include <zelvar/_pyext/function.hpp>
#include <zelvar/_pyext/types.hpp>

#include "testing.hpp"

namespace {

namespace py = zelvar::py;
using py::CoroFrame;
using py::Ref;
using py::Task;

constexpr const char* kModule = "zelvar._testing";

// Logs how its scope ended into a list: (label, "exit") after `done`, (label, <type name of the
// Python error>) when an exception unwinds it, (label, "destroyed") when the frame is destroyed
// while suspended. Tells the tests which co_await an exception came out of.
struct Probe {
    PyObject* log;  // borrowed from the coroutine's arguments
    const char* label;
    bool done = false;
    int uncaught = std::uncaught_exceptions();

    ~Probe() {
        PyObject *type, *value, *tb;
        PyErr_Fetch(&type, &value, &tb);
        const char* how = "destroyed";
        if (done) {
            how = "exit";
        } else if (std::uncaught_exceptions() > uncaught) {
            how = type ? reinterpret_cast<PyTypeObject*>(type)->tp_name : "C++";
        }
        if (log && PyList_Check(log)) {
            Ref entry(Py_BuildValue("(ss)", label, how));
            if (!entry || PyList_Append(log, entry.get()) < 0) PyErr_Clear();
        }
        PyErr_Restore(type, value, tb);
    }
};

// await_value(awaitable) -> await awaitable
Task await_value(CoroFrame& f) { co_return co_await py::await(f.arg(0)); }

// return_value(value) -> value, without awaiting anything
Task return_value(CoroFrame& f) { co_return Ref::borrow(f.arg(0)); }

// raise_error(exc, awaitable=None): awaits `awaitable` when given, then raises `exc`
Task raise_error(CoroFrame& f) {
    if (f.arg(1) && f.arg(1) != Py_None) co_await py::await(f.arg(1));
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(f.arg(0))), f.arg(0));
    throw py::ErrorAlreadySet{};
}

// raise_native(kind, awaitable): awaits, then throws a C++ exception named by `kind`
Task raise_native(CoroFrame& f) {
    co_await py::await(f.arg(1));
    std::string_view kind;
    if (!py::utf8_view(f.arg(0), kind)) throw py::ErrorAlreadySet{};
    if (kind == "invalid_argument") throw std::invalid_argument("bad argument");
    if (kind == "bad_alloc") throw std::bad_alloc();
    if (kind == "bad_cast") throw std::bad_cast();
    if (kind == "ios_failure") throw std::ios_base::failure("disk");
    if (kind == "out_of_range") throw std::out_of_range("past the end");
    if (kind == "overflow_error") throw std::overflow_error("too big");
    if (kind == "underflow_error") throw std::underflow_error("too small");
    if (kind == "runtime_error") throw std::runtime_error("plain");
    throw 42;
}

// await_n(awaitable, n) -> number of awaits done: awaits the same awaitable n times
Task await_n_body(CoroFrame& f, long long n) {
    long long done = 0;
    for (; done < n; ++done) co_await py::await(f.arg(0));
    co_return Ref(PyLong_FromLongLong(done));
}

// The count goes to the body as a native extra rather than as an argument.
PyObject* await_n(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void*) {
    static constexpr auto params = py::params("await_n", {"awaitable", "n"}, 2);
    decltype(params)::Values values;
    long long n = 0;
    if (!params.bind(args, nargs, kwnames, values) || !py::to_int64(values[1], n)) return nullptr;
    return py::make_coroutine("await_n", "await_n", {values[0]}, await_n_body, n);
}

// with_block(manager, awaitable) -> (entered, await awaitable), None when __aexit__ suppressed
Task with_block(CoroFrame& f) {
    co_return co_await py::async_with(f.arg(0), [&](PyObject* entered) -> Task {
        Ref result = co_await py::await(f.arg(1));
        co_return Ref(PyTuple_Pack(2, entered, result.get()));
    });
}

// condition_wait(manager, condition): async with manager: await condition.wait()
Task condition_wait(CoroFrame& f) {
    PyObject* condition = f.arg(1);
    co_return co_await py::async_with(f.arg(0), [&]() -> Task {
        co_return co_await py::await(Ref(PyObject_CallMethod(condition, "wait", nullptr)));
    });
}

// A sub-body of `nested`: awaits `awaitable` under its own probe.
Task nested_child(PyObject* log, PyObject* awaitable) {
    Probe probe{log, "child"};
    Ref result = co_await py::await(awaitable);
    probe.done = true;
    co_return result;
}

// nested(log, first, second) -> (await first, await <sub-body awaiting second>)
Task nested(CoroFrame& f) {
    PyObject* log = f.arg(0);
    Probe outer{log, "outer"};
    py::Kept first;
    {
        Probe probe{log, "first"};
        first = f.keep(co_await py::await(f.arg(1)));
        probe.done = true;
    }
    Ref second = co_await nested_child(log, f.arg(2));
    outer.done = true;
    co_return Ref(PyTuple_Pack(2, first.get(), second.get()));
}

// The sub-body of ignore_exit, under a probe when a log is given.
Task ignore_exit_child(PyObject* log, PyObject* first, PyObject* second) {
    Probe probe{log, "ignoring"};
    Ref caught = py::none();
    try {
        co_await py::await(first);
    } catch (const py::ErrorAlreadySet&) {
        caught = Ref(PyUnicode_FromString(reinterpret_cast<PyTypeObject*>(PyErr_Occurred())->tp_name));
        PyErr_Clear();
    }
    Ref result = co_await py::await(second);
    probe.done = true;
    co_return Ref(PyTuple_Pack(2, caught.get(), result.get()));
}

// ignore_exit(first, second, log=None) -> (name of the error caught from `first` or None, await second)
Task ignore_exit(CoroFrame& f) { co_return co_await ignore_exit_child(f.arg(2), f.arg(0), f.arg(1)); }

// hold(factory, awaitable) -> factory(): keeps the made object in the coroutine across the await
Task hold(CoroFrame& f) {
    py::Kept made = f.keep(Ref(PyObject_CallNoArgs(f.arg(0))));
    co_await py::await(f.arg(1));
    co_return Ref::borrow(made);
}

// kept_count(obj, awaitable) -> how many objects the coroutine keeps after a scoped keep ended
Task kept_count(CoroFrame& f) {
    py::Kept a = f.keep(f.arg(0));
    { py::Kept b = f.keep(f.arg(0)); }
    co_await py::await(f.arg(1));
    co_return Ref(PyLong_FromSsize_t(f.kept ? PyList_GET_SIZE(f.kept) : -1));
}

// ---- a small native class with a coroutine method ----------------------------------------------

struct BoxObject {
    PyObject_HEAD PyObject* value;
};

PyTypeObject g_box_type = py::make_type<BoxObject>({
    .name = "zelvar._testing.AsyncBox",
    .new_ = [](PyTypeObject* type, PyObject* args, PyObject* kwargs) -> PyObject* {
        static constexpr auto params = py::params("AsyncBox", {"value"}, 1);
        decltype(params)::Values values;
        if (!params.bind(args, kwargs, values)) return nullptr;
        PyObject* self = type->tp_alloc(type, 0);
        if (self) reinterpret_cast<BoxObject*>(self)->value = Py_NewRef(values[0]);
        return self;
    },
    .dealloc =
        [](PyObject* self) {
            PyObject_GC_UnTrack(self);
            Py_CLEAR(reinterpret_cast<BoxObject*>(self)->value);
            py::free_object(self);
        },
    .gc = {.traverse =
               [](PyObject* self, visitproc visit, void* arg) {
                   Py_VISIT(reinterpret_cast<BoxObject*>(self)->value);
                   return 0;
               },
           .clear =
               [](PyObject* self) {
                   Py_CLEAR(reinterpret_cast<BoxObject*>(self)->value);
                   return 0;
               }},
});

bool is_box(std::span<PyObject* const, 3> args) {
    if (PyObject_TypeCheck(args[0], &g_box_type)) return true;
    PyErr_Format(PyExc_TypeError, "descriptor 'get' requires a 'AsyncBox' object but received a '%.100s'",
                 Py_TYPE(args[0])->tp_name);
    return false;
}

// AsyncBox.get(self, awaitable, extra=None) -> (self.value, await awaitable, extra)
Task box_get(CoroFrame& f) {
    Ref result = co_await py::await(f.arg(1));
    PyObject* extra = f.arg(2) ? f.arg(2) : Py_None;
    co_return Ref(PyTuple_Pack(3, reinterpret_cast<BoxObject*>(f.arg(0))->value, result.get(), extra));
}

// ---- the table ------------------------------------------------------------------------------------

constexpr py::CoroutineDef<1> kAwaitValue{"await_value", "await_value", py::params("await_value", {"awaitable"}, 1),
                                          await_value};
constexpr py::CoroutineDef<1> kReturnValue{"return_value", "return_value", py::params("return_value", {"value"}, 1),
                                           return_value};
constexpr py::CoroutineDef<2> kRaiseError{"raise_error", "raise_error",
                                          py::params("raise_error", {"exc", "awaitable"}, 1), raise_error};
constexpr py::CoroutineDef<2> kRaiseNative{"raise_native", "raise_native",
                                           py::params("raise_native", {"kind", "awaitable"}, 2), raise_native};
constexpr py::CoroutineDef<2> kWithBlock{"with_block", "with_block",
                                         py::params("with_block", {"manager", "awaitable"}, 2), with_block};
constexpr py::CoroutineDef<2> kConditionWait{"condition_wait", "condition_wait",
                                             py::params("condition_wait", {"manager", "condition"}, 2), condition_wait};
constexpr py::CoroutineDef<3> kNested{"nested", "nested", py::params("nested", {"log", "first", "second"}, 3), nested};
constexpr py::CoroutineDef<3> kIgnoreExit{"ignore_exit", "ignore_exit",
                                          py::params("ignore_exit", {"first", "second", "log"}, 2), ignore_exit};
constexpr py::CoroutineDef<2> kHold{"hold", "hold", py::params("hold", {"factory", "awaitable"}, 2), hold};
constexpr py::CoroutineDef<2> kKeptCount{"kept_count", "kept_count", py::params("kept_count", {"obj", "awaitable"}, 2),
                                         kept_count};
constexpr py::CoroutineDef<3> kBoxGet{"get", "AsyncBox.get", py::params("get", {"self", "awaitable", "extra"}, 2),
                                      box_get, is_box};

template <const auto& Def>
bool add(PyObject* module) {
    Ref fn(py::make_coroutine_function<Def>(nullptr, kModule));
    return fn && PyModule_AddObjectRef(module, Def.name, fn.get()) == 0;
}

}  // namespace

bool add_coroutine_functions(PyObject* module) {
    if (!py::ready_coroutine_type()) return false;
    Ref await_n_function(py::make_coroutine_function({"await_n", "await_n", nullptr, await_n}, kModule));
    if (!await_n_function || PyModule_AddObjectRef(module, "await_n", await_n_function.get()) < 0) return false;
    if (!add<kAwaitValue>(module) || !add<kReturnValue>(module) || !add<kRaiseError>(module) ||
        !add<kRaiseNative>(module) || !add<kWithBlock>(module) || !add<kConditionWait>(module) ||
        !add<kNested>(module) || !add<kIgnoreExit>(module) || !add<kHold>(module) || !add<kKeptCount>(module)) {
        return false;
    }
    if (!py::add_type(module, &g_box_type, "AsyncBox")) return false;
    Ref get(
        py::make_coroutine_function<kBoxGet>("get(awaitable, extra=None) -> (value, await awaitable, extra)", kModule));
    return get && py::set_type_attribute(&g_box_type, "get", get.get());
}
