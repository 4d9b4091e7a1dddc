#include "pipe.hpp"

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/_pyext/types.hpp>

#include "module_state.hpp"
#include "ring_arguments.hpp"

namespace zelvar::ferrix {
namespace {

using Pipe = NexoPipeObject;

// Entries of a pipe without a ring (allocated, never constructed) refuse like a closed ring
// instead of touching memory.
int push(Pipe* p, const char* data, std::size_t size) {
    return has_ring(p) ? ring_table()->push(ring(p->_q), data, size) : spsc::kClosed;
}
int push_var(Pipe* p, const char* data, std::size_t size) {
    return has_ring(p) ? ring_table()->push_var(ring(p->_q), data, size) : spsc::kClosed;
}
int pop(Pipe* p, const char** data, std::size_t* size) {
    return has_ring(p) ? ring_table()->pop(ring(p->_q), data, size) : spsc::kClosed;
}
int pop_var(Pipe* p, const char** data, std::size_t* size) {
    return has_ring(p) ? ring_table()->pop_var(ring(p->_q), data, size) : spsc::kClosed;
}
void release(Pipe* p) {
    if (has_ring(p)) ring_table()->release(ring(p->_q));
}
void release_var(Pipe*) {}

const NexoPipeVTable g_pipe_table = {push, push_var, pop, pop_var, release, release_var};

PyObject* pipe_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    auto* p = reinterpret_cast<Pipe*>(self);
    p->vtab = &g_pipe_table;
    p->_q = Py_NewRef(Py_None);
    p->_push_fn = push;
    p->_pop_fn = pop;
    p->_release_fn = release;
    return self;
}

int pipe_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params =
        py::params("__init__", {"capacity", "slot_size", "zerocopy", "overwrite", "block_on_full", "variable_size"});
    decltype(params)::Values v;
    RingArguments ring_args{16384, 2048};
    int variable_size = 0;
    if (!params.bind(args, kwargs, v) || !take_size(v[0], ring_args.capacity) ||
        !take_size(v[1], ring_args.slot_size) || !take_flag(v[2], ring_args.zerocopy) ||
        !take_flag(v[3], ring_args.overwrite) || !take_flag(v[4], ring_args.block_on_full) ||
        !take_flag(v[5], variable_size))
        return -1;
    PyObject* q = make_ring(ring_args);
    if (!q) return -1;
    auto* p = reinterpret_cast<Pipe*>(self);
    Py_SETREF(p->_q, q);
    p->_push_fn = variable_size ? push_var : push;
    p->_pop_fn = variable_size ? pop_var : pop;
    p->_release_fn = variable_size ? release_var : release;
    return 0;
}

int pipe_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(reinterpret_cast<Pipe*>(self)->_q);
    return 0;
}

int pipe_clear(PyObject* self) {
    Py_SETREF(reinterpret_cast<Pipe*>(self)->_q, Py_NewRef(Py_None));
    return 0;
}

void pipe_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    Py_CLEAR(reinterpret_cast<Pipe*>(self)->_q);
    py::free_object(self);
}

PyMethodDef g_pipe_methods[] = {ZELVAR_REFUSE_PICKLE_METHODS, {nullptr, nullptr, 0, nullptr}};

}  // namespace

PyTypeObject NexoPipeType = py::make_type<Pipe>({
    .name = "zelvar.utils.ferrix.ferrix.NexoPipe",
    .flags = Py_TPFLAGS_BASETYPE,
    .doc = "NexoPipe(size_t capacity=16384, size_t slot_size=2048, bool zerocopy=False, bool overwrite=False, "
           "bool block_on_full=False, bool variable_size=False)",
    .methods = g_pipe_methods,
    .new_ = pipe_new,
    .init = pipe_init,
    .dealloc = pipe_dealloc,
    .gc = {pipe_traverse, pipe_clear},
});

bool add_pipe_type(PyObject* module) {
    return py::add_type(module, &NexoPipeType, "NexoPipe", const_cast<NexoPipeVTable*>(&g_pipe_table));
}

}  // namespace zelvar::ferrix
