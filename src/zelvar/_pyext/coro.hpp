// The bridge between C++20 coroutines and Python's awaitable protocol.
//
// A body is a C++ coroutine returning `py::Task`; `py::make_coroutine` wraps it in a native
// coroutine object that asyncio drives like its own. Inside a body, `co_await py::await(obj)`
// behaves as `await obj` does in Python: sends and throws go to the awaited iterator, its return
// value resumes the body, an error (CancelledError included) resumes the body by throwing
// `ErrorAlreadySet` at that `co_await` with the Python exception set, so RAII and try/catch work
// (catch, inspect, PyErr_Clear to handle it; or let it go on). A body may `co_await` another
// `py::Task` (a sub-body); both run on the same coroutine object, so a cancellation reaches the
// innermost `co_await`. Every body ends with `co_return` (a Ref, `py::none()`, or a null Ref for
// the error that is set).
//
// References: the coroutine object owns its arguments and whatever the body `keep`s, and shows them
// to the cycle collector. A C++ local that holds a reference across a `co_await` is invisible to
// it, so such locals may only hold objects that cannot lead back to the coroutine (ints, strings,
// results used at once); anything else goes through `f.keep(...)`.
//
//     // async def push(self, item):
//     //     async with self._not_full:
//     //         while self.full(): await self._not_full.wait()
//     //         self.put(item)
//     py::Task push(py::CoroFrame& f) {
//         py::Kept cond = f.keep(Ref(PyObject_GetAttrString(f.arg(0), "_not_full")));
//         co_return co_await py::async_with(cond, [&]() -> py::Task {
//             while (full(f.arg(0))) co_await py::await(Ref(PyObject_CallMethod(cond, "wait", nullptr)));
//             co_return Ref(PyObject_CallMethod(f.arg(0), "put", "O", f.arg(1)));
//         });
//     }
//     constexpr py::CoroutineDef<2> kPush{"push", "Queue.push", py::params("push", {"self", "item"}, 2), push};
//     PyObject* method = py::make_coroutine_function<kPush>(doc, "zelvar.spsc_queue");
//
// The pieces, one concern each: coro_task.hpp (Task, CoroFrame, Kept), coro_await.hpp (py::await,
// py::async_with), coro_driver.hpp (send / throw / close, after genobject.c) and coro_object.hpp
// (the Python type and make_coroutine).
#pragma once

#include "coro_await.hpp"
#include "coro_driver.hpp"
#include "coro_object.hpp"
#include "coro_task.hpp"
