// The Python side of a native coroutine: its type and how one is made. What each mirrors in CPython:
//   coro_send / coro_iternext / coro_am_send   gen_send / gen_iternext / gen_am_send
//   coro_throw                                 gen_throw (argument checks, then _gen_throw)
//   coro_finalize / coro_dealloc               _PyGen_Finalize ("never awaited" warning) / gen_dealloc
//   coro_traverse / coro_clear                 gen_traverse and the frame's clearing
//   the getters                                coro_get_cr_await, gen_getrunning, gen_getsuspended, ...
//   coro_type                                  PyCoro_Type, registered as collections.abc.Coroutine
//   make_coroutine                             _Py_MakeCoro: a coroutine object around a new body
//   make_coroutine_function                    an `async def` function (see function.hpp)
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <type_traits>

#include "args.hpp"
#include "coro_driver.hpp"
#include "coro_task.hpp"
#include "errors.hpp"
#include "function.hpp"
#include "python.hpp"
#include "ref.hpp"
#include "types.hpp"

namespace zelvar::py {

namespace detail {

inline PyObject* coro_send(PyObject* self, PyObject* arg) { return send_or_stop(as_frame(self), arg, false, false); }

inline PyObject* coro_iternext(PyObject* self) {
    PyObject* result;
    if (send_ex(as_frame(self), nullptr, false, false, &result) == PYGEN_RETURN) {
        if (result != Py_None) set_stop_iteration(result);
        Py_CLEAR(result);
    }
    return result;
}

inline PySendResult coro_am_send(PyObject* self, PyObject* arg, PyObject** presult) {
    return send_ex(as_frame(self), arg, false, false, presult);
}

inline PyObject* coro_throw(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs < 1 || nargs > 3) {
        if (nargs < 1) {
            PyErr_Format(PyExc_TypeError, "throw expected at least 1 argument, got %zd", nargs);
        } else {
            PyErr_Format(PyExc_TypeError, "throw expected at most 3 arguments, got %zd", nargs);
        }
        return nullptr;
    }
#if PY_VERSION_HEX >= 0x030C0000
    if (nargs > 1 && PyErr_WarnEx(PyExc_DeprecationWarning,
                                  "the (type, exc, tb) signature of throw() is deprecated, "
                                  "use the single-arg signature instead.",
                                  1) < 0) {
        return nullptr;
    }
#endif
    return throw_into(as_frame(self), args[0], nargs > 1 ? args[1] : nullptr, nargs > 2 ? args[2] : nullptr);
}

inline PyObject* coro_await(PyObject* self) { return Py_NewRef(self); }

inline void coro_finalize(PyObject* self) {
    CoroFrame* c = as_frame(self);
    if (c->state == CoroFrame::kFinished) return;
    PreserveError keep_error;
    if (c->state == CoroFrame::kCreated) {
        PyObject* qualname = c->qualname;
        const int w =
            qualname ? PyErr_WarnFormat(PyExc_RuntimeWarning, 1, "coroutine '%U' was never awaited", qualname)
                     : PyErr_WarnFormat(PyExc_RuntimeWarning, 1, "coroutine '%s' was never awaited", c->c_qualname);
        if (w < 0) PyErr_WriteUnraisable(self);
        return;
    }
    Ref result(coro_close(self));
    if (!result) PyErr_WriteUnraisable(self);
}

inline int coro_traverse(PyObject* self, visitproc visit, void* arg) {
    CoroFrame* c = as_frame(self);
    Py_VISIT(c->awaiting);
    Py_VISIT(c->sent);
    Py_VISIT(c->kept);
    Py_VISIT(c->name);
    Py_VISIT(c->qualname);
    for (std::size_t i = 0; i < c->nargs(); ++i) Py_VISIT(c->args[i]);
    return 0;
}

inline int coro_clear(PyObject* self) {
    CoroFrame* c = as_frame(self);
    if (!c->running) clear_body(c);
    Py_CLEAR(c->name);
    Py_CLEAR(c->qualname);
    return 0;
}

inline void coro_dealloc(PyObject* self) {
    CoroFrame* c = as_frame(self);
    PyObject_GC_UnTrack(self);
    if (c->weakrefs) PyObject_ClearWeakRefs(self);
    PyObject_GC_Track(self);
    if (PyObject_CallFinalizerFromDealloc(self) < 0) return;  // resurrected
    PyObject_GC_UnTrack(self);
    clear_body(c);
    Py_CLEAR(c->name);
    Py_CLEAR(c->qualname);
    PyObject_GC_Del(self);
}

inline PyObject* coro_repr(PyObject* self) {
    CoroFrame* c = as_frame(self);
    if (c->qualname) return PyUnicode_FromFormat("<native coroutine object %U at %p>", c->qualname, self);
    return PyUnicode_FromFormat("<native coroutine object %s at %p>", c->c_qualname, self);
}

template <std::size_t Offset>
PyObject*& text_slot(PyObject* self) {
    return *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + Offset);
}

template <std::size_t Offset, std::size_t SourceOffset>
PyObject* get_text(PyObject* self, void*) {
    PyObject*& slot = text_slot<Offset>(self);
    if (!slot) {
        const char* source = *reinterpret_cast<const char**>(reinterpret_cast<char*>(self) + SourceOffset);
        slot = PyUnicode_FromString(source);
    }
    return Py_XNewRef(slot);
}

template <std::size_t Offset>
int set_text(PyObject* self, PyObject* value, void* what) {
    if (!value || !PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s must be set to a string object", static_cast<const char*>(what));
        return -1;
    }
    PyObject*& slot = text_slot<Offset>(self);
    PyObject* old = slot;
    slot = Py_NewRef(value);
    Py_XDECREF(old);
    return 0;
}

inline PyObject* get_cr_await(PyObject* self, void*) {
    PyObject* it = as_frame(self)->awaiting;
    return Py_NewRef(it ? it : Py_None);
}

inline PyObject* get_cr_running(PyObject* self, void*) { return PyBool_FromLong(as_frame(self)->running); }

inline PyObject* get_cr_suspended(PyObject* self, void*) {
    CoroFrame* c = as_frame(self);
    return PyBool_FromLong(c->state == CoroFrame::kStarted && !c->running);
}

// No interpreter frame, code object or origin exists for a native body.
inline PyObject* get_none(PyObject*, void*) { Py_RETURN_NONE; }

inline PyMethodDef coro_methods[] = {
    {"send", coro_send, METH_O,
     "send(arg) -> send 'arg' into coroutine,\nreturn next iterated value or raise StopIteration."},
    {"throw", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coro_throw)), METH_FASTCALL,
     "throw(value)\nthrow(type[,value[,traceback]])\n\nRaise exception in coroutine, return next iterated value or "
     "raise\nStopIteration."},
    {"close", coro_close, METH_NOARGS, "close() -> raise GeneratorExit inside coroutine."},
    {nullptr, nullptr, 0, nullptr},
};

inline PyGetSetDef coro_getset[] = {
    {"__name__", get_text<offsetof(CoroFrame, name), offsetof(CoroFrame, c_name)>, set_text<offsetof(CoroFrame, name)>,
     nullptr, const_cast<char*>("__name__")},
    {"__qualname__", get_text<offsetof(CoroFrame, qualname), offsetof(CoroFrame, c_qualname)>,
     set_text<offsetof(CoroFrame, qualname)>, nullptr, const_cast<char*>("__qualname__")},
    {"cr_await", get_cr_await, nullptr, "object being awaited on, or None", nullptr},
    {"cr_running", get_cr_running, nullptr, nullptr, nullptr},
    {"cr_suspended", get_cr_suspended, nullptr, nullptr, nullptr},
    {"cr_frame", get_none, nullptr, nullptr, nullptr},
    {"cr_code", get_none, nullptr, nullptr, nullptr},
    {"cr_origin", get_none, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

inline PyAsyncMethods coro_as_async = {coro_await, nullptr, nullptr, coro_am_send};

inline PyTypeObject coro_type = make_type<CoroFrame>({
    .name = "zelvar.native_coroutine",
    .basicsize = offsetof(CoroFrame, args),
    .itemsize = sizeof(PyObject*),
    .methods = coro_methods,
    .getset = coro_getset,
    .dealloc = coro_dealloc,
    .finalize = coro_finalize,
    .gc = {coro_traverse, coro_clear},
    .repr = coro_repr,
    .iternext = coro_iternext,
    .as_async = &coro_as_async,
    .weaklistoffset = offsetof(CoroFrame, weakrefs),
});

inline bool is_native_coroutine(PyObject* o) noexcept { return Py_IS_TYPE(o, &coro_type); }

}  // namespace detail

// Readies the native coroutine type of this module and registers it with
// collections.abc.Coroutine, so asyncio.iscoroutine and create_task accept its objects. Done on
// first use; a module may call it at import to fail early.
inline bool ready_coroutine_type() {
    static bool ready = false;
    if (ready) return true;
    if (PyType_Ready(&detail::coro_type) < 0) return false;
    Ref abc(PyImport_ImportModule("collections.abc"));
    Ref coroutine(abc ? PyObject_GetAttrString(abc.get(), "Coroutine") : nullptr);
    Ref done(coroutine ? PyObject_CallMethod(coroutine.get(), "register", "O", &detail::coro_type) : nullptr);
    if (!done) return false;
    ready = true;
    return true;
}

// A new coroutine object running `body(frame, extra...)`; nothing runs before the first send.
// `name` and `qualname` must outlive the object (literals); `args` are borrowed (null = not
// given) and owned by the object. `extra` values are copied into the C++ frame, so they must not be
// Python references.
template <class... Extra>
PyObject* make_coroutine(const char* name, const char* qualname, std::span<PyObject* const> args,
                         Task (*body)(CoroFrame&, Extra...), std::type_identity_t<Extra>... extra) {
    if (!ready_coroutine_type()) return nullptr;
    const auto n = static_cast<Py_ssize_t>(args.size());
    CoroFrame* c = PyObject_GC_NewVar(CoroFrame, &detail::coro_type, n);
    if (!c) return nullptr;
    c->body = {};
    c->resume_point = {};
    c->awaiting = c->sent = c->kept = c->name = c->qualname = c->weakrefs = nullptr;
    c->c_name = name;
    c->c_qualname = qualname;
    c->state = CoroFrame::kFinished;  // until the body exists: nothing to close or warn about
    c->running = false;
    for (Py_ssize_t i = 0; i < n; ++i) c->args[i] = Py_XNewRef(args[static_cast<std::size_t>(i)]);
    Ref self(c->object());
    PyObject_GC_Track(c->object());
    try {
        c->body = body(*c, extra...).release();
    } catch (...) {
        rethrow_forced_unwind();
        set_error_from_current_exception();
        return nullptr;
    }
    c->body.promise().frame = c;
    c->resume_point = c->body;
    c->state = CoroFrame::kCreated;
    return self.release();
}

template <class... Extra>
PyObject* make_coroutine(const char* name, const char* qualname, std::initializer_list<PyObject*> args,
                         Task (*body)(CoroFrame&, Extra...), std::type_identity_t<Extra>... extra) {
    return make_coroutine(name, qualname, std::span<PyObject* const>(args.begin(), args.size()), body, extra...);
}

// A coroutine method: its names, its parameters and its body. `check` (optional) vets the bound
// arguments before the coroutine exists, e.g. the type of self.
template <std::size_t N>
struct CoroutineDef {
    const char* name;
    const char* qualname;
    Params<N> params;
    Task (*body)(CoroFrame&);
    bool (*check)(std::span<PyObject* const, N> args) = nullptr;
};

// The NativeBody of a coroutine method (see make_coroutine_function in function.hpp): binds the
// call's arguments by `Def.params` and returns a new coroutine running `Def.body` with them.
template <const auto& Def>
PyObject* coroutine_entry(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, void*) {
    typename std::remove_cvref_t<decltype(Def.params)>::Values values;
    if (!Def.params.bind(args, nargs, kwnames, values)) return nullptr;
    if (Def.check && !Def.check(values)) return nullptr;
    return make_coroutine(Def.name, Def.qualname, std::span<PyObject* const>(values), Def.body);
}

// The coroutine method of `Def`, marked for asyncio.iscoroutinefunction.
template <const auto& Def>
PyObject* make_coroutine_function(const char* doc, const char* module_name) {
    return make_coroutine_function(FunctionDef{Def.name, Def.qualname, doc, coroutine_entry<Def>}, module_name);
}

}  // namespace zelvar::py
