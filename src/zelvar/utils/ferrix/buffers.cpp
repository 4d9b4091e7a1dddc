// The four ways a Python message becomes (data, size), as capsules and as CBufferView loads.
#include "buffers.hpp"

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/capsule.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/_pyext/types.hpp>

#include "module_state.hpp"

namespace zelvar::ferrix {

// --- the conversion functions ------------------------------------------------------------------

int obj_to_cbuf(PyObject* obj, PyObject** holder, const char** data, std::size_t* size) {
    *holder = PyObject_Bytes(obj);
    if (!*holder) return -1;
    *data = PyBytes_AS_STRING(*holder);
    *size = static_cast<std::size_t>(PyBytes_GET_SIZE(*holder));
    return 0;
}

int buf_to_cbuf(PyObject* obj, Py_buffer* view, const char** data, std::size_t* size) {
    if (PyObject_GetBuffer(obj, view, PyBUF_SIMPLE) < 0) return -1;
    *data = static_cast<const char*>(view->buf);
    *size = static_cast<std::size_t>(view->len);
    return 0;
}

int bytes_to_cbuf(PyObject* obj, const char** data, std::size_t* size) {
    *data = PyBytes_AS_STRING(obj);
    *size = static_cast<std::size_t>(PyBytes_GET_SIZE(obj));
    return 0;
}

int str_to_cbuf(PyObject* obj, const char** data, std::size_t* size) {
    Py_ssize_t n = 0;
    *data = PyUnicode_AsUTF8AndSize(obj, &n);
    if (!*data) return -1;
    *size = static_cast<std::size_t>(n);
    return 0;
}

namespace {

// --- CBufferView ---------------------------------------------------------------------------------

using View = CBufferViewObject;

int failed(const char* qualname) {
    py::add_traceback(qualname, kSourceFile);
    return -1;
}

int load_bytes(View* self, PyObject* obj) { return bytes_to_cbuf(obj, &self->data, &self->size); }

void release_view(View* self) {
    if (self->view.buf) PyBuffer_Release(&self->view);
    self->view.buf = nullptr;
}

int load_buf(View* self, PyObject* obj) {
    release_view(self);
    if (buf_to_cbuf(obj, &self->view, &self->data, &self->size) == 0) return 0;
    self->view.buf = nullptr;  // not held
    return failed("zelvar.utils.ferrix.ferrix.CBufferView._load_buf");
}

int load_str(View* self, PyObject* obj) {
    if (str_to_cbuf(obj, &self->data, &self->size) == 0) return 0;
    return failed("zelvar.utils.ferrix.ferrix.CBufferView._load_str");
}

int load_obj(View* self, PyObject* obj) {
    Py_CLEAR(self->holder);
    const char* data;
    std::size_t size;
    if (obj_to_cbuf(obj, &self->holder, &data, &size) < 0)
        return failed("zelvar.utils.ferrix.ferrix.CBufferView._load_obj");
    self->data = data;
    self->size = size;
    return 0;
}

int load_auto(View* self, PyObject* obj) {
    int rc;
    if (PyBytes_Check(obj)) {
        rc = load_bytes(self, obj);
    } else if (PyUnicode_Check(obj)) {
        rc = load_str(self, obj);
    } else if (PyObject_CheckBuffer(obj)) {
        rc = load_buf(self, obj);
    } else {
        rc = load_obj(self, obj);
    }
    return rc == 0 ? 0 : failed("zelvar.utils.ferrix.ferrix.CBufferView._load");
}

const CBufferViewVTable g_view_table = {load_bytes, load_buf, load_str, load_obj, load_auto};

LoadFn loader_of(int kind) {
    switch (kind) {
        case 0:
            return load_bytes;
        case 1:
            return load_str;
        case 2:
            return load_buf;
        case 3:
            return load_obj;
        default:
            return load_auto;
    }
}

PyObject* view_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    auto* v = reinterpret_cast<View*>(self);
    v->vtab = &g_view_table;
    // A view used before its constructor ran loads automatically: the one load that checks types.
    v->loader = load_auto;
    return self;
}

int view_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const auto params = py::params("__init__", {"msg_kind"});
    decltype(params)::Values v;
    int32_t kind = 4;
    if (!params.bind(args, kwargs, v) || (v[0] && !py::to_int32(v[0], kind))) return -1;
    auto* view = reinterpret_cast<View*>(self);
    view->msg_kind = kind;
    view->loader = loader_of(kind);
    return 0;
}

void view_dealloc(PyObject* self) {
    auto* v = reinterpret_cast<View*>(self);
    release_view(v);
    Py_CLEAR(v->holder);
    py::free_object(self);
}

PyMethodDef g_view_methods[] = {ZELVAR_REFUSE_PICKLE_METHODS, {nullptr, nullptr, 0, nullptr}};

}  // namespace

PyTypeObject CBufferViewType = py::make_type<View>({
    .name = "zelvar.utils.ferrix.ferrix.CBufferView",
    .flags = Py_TPFLAGS_BASETYPE,
    .doc = "CBufferView(int msg_kind=4) -> None",
    .methods = g_view_methods,
    .new_ = view_new,
    .init = view_init,
    .dealloc = view_dealloc,
});

bool add_buffer_capi(PyObject* capi) {
    return py::export_function(capi, "obj_to_cbuf", reinterpret_cast<void*>(obj_to_cbuf), kObjToCbufSignature) &&
           py::export_function(capi, "buf_to_cbuf", reinterpret_cast<void*>(buf_to_cbuf), kBufToCbufSignature) &&
           py::export_function(capi, "bytes_to_cbuf", reinterpret_cast<void*>(bytes_to_cbuf), kBytesToCbufSignature) &&
           py::export_function(capi, "str_to_cbuf", reinterpret_cast<void*>(str_to_cbuf), kStrToCbufSignature);
}

bool add_buffer_view_type(PyObject* module) {
    return py::add_type(module, &CBufferViewType, "CBufferView", const_cast<CBufferViewVTable*>(&g_view_table));
}

}  // namespace zelvar::ferrix
