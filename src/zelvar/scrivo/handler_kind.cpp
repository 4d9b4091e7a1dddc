// What every kind shares, made from its row: allocation, pickle layouts, and the __init__ whose
// row says which arguments it takes, how each is converted and defaulted, what the base's __init__
// is given and which fields it stores itself.
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/_pyext/types.hpp>

#include "handler_kind.hpp"
#include "module_state.hpp"

namespace zelvar::scrivo {
namespace {

// Arguments kept as objects.
bool is_text(Arg arg) {
    return arg == Arg::text || arg == Arg::optional_text || arg == Arg::address || arg == Arg::callable;
}

// The native value of a numeric argument (its default when not given).
bool take_number(const Param& p, PyObject* v, InitValue& out) {
    switch (p.arg) {
        case Arg::truth: {
            if (!v) {
                out.truth = p.number != 0;
                return true;
            }
            const int t = py::truth(v);
            out.truth = t > 0;
            return t >= 0;
        }
        case Arg::level:
            out.int32 = static_cast<int32_t>(p.number);
            return !v || py::to_level(v, out.int32);
        case Arg::int32:
            out.int32 = static_cast<int32_t>(p.number);
            return !v || py::to_int32(v, out.int32);
        case Arg::bounded:
            out.int32 = 0;
            if (v && !py::to_int32(v, out.int32)) return false;
            if (out.int32 < 0 || out.int32 > p.number) {
                PyErr_Format(PyExc_ValueError, "%s must be in 0..%d, got %d", p.name, static_cast<int>(p.number),
                             static_cast<int>(out.int32));
                return false;
            }
            return true;
        case Arg::size:
            out.size = static_cast<std::size_t>(p.number);
            return !v || py::to_size_t(v, out.size);
        case Arg::text:
        case Arg::optional_text:
        case Arg::address:
        case Arg::callable:
            break;
    }
    return true;
}

// A text argument's object: the one given, or its default (a new reference kept in `owned`).
bool take_text(const Param& p, PyObject* v, py::Ref& owned, InitValue& out) {
    if (v) {
        out.object = v;
    } else if (!p.text) {
        out.object = Py_None;
    } else if (is_handler_pattern_default(p.text)) {
        out.object = state().default_handler_pattern;
    } else {
        owned.reset(PyUnicode_FromString(p.text));
        out.object = owned.get();
    }
    return out.object != nullptr;
}

bool check_text(const Param& p, PyObject* v) {
    if (p.arg == Arg::callable) return check_callable(v, p.name);
    return p.arg == Arg::address ? check_address(v) : py::check_str_argument(v, p.name);
}

// A taken value as an argument of the base's __init__: a new reference.
PyObject* as_argument(Arg arg, const InitValue& t) {
    switch (arg) {
        case Arg::truth:
            return Py_NewRef(t.truth ? Py_True : Py_False);
        case Arg::level:
            return level_to_python(t.int32);
        default:
            return Py_NewRef(t.object ? t.object : Py_None);
    }
}

std::size_t param_index(const HandlerKind& kind, const char* name) {
    std::size_t i = 0;
    while (i < kind.params.size() && std::strcmp(kind.params[i].name, name) != 0) ++i;
    return i;
}

// The base's arguments, in the base's parameter order.
PyObject* base_arguments(const HandlerKind& kind, const InitValue* taken) {
    py::Ref args(PyTuple_New(static_cast<Py_ssize_t>(kind.base_args.size())));
    if (!args) return nullptr;
    for (std::size_t i = 0; i < kind.base_args.size(); ++i) {
        const BaseArg& b = kind.base_args[i];
        InitValue constant;
        constant.truth = b.number != 0;
        constant.int32 = static_cast<int32_t>(b.number);
        const std::size_t at = b.param ? param_index(kind, b.param) : kind.params.size();
        PyObject* item = b.param ? as_argument(kind.params[at].arg, taken[at]) : as_argument(b.arg, constant);
        if (!item) return nullptr;
        PyTuple_SET_ITEM(args.get(), static_cast<Py_ssize_t>(i), item);
    }
    return args.release();
}

// Calls the initialiser after `own` in the instance's method resolution order.
bool init_next(PyTypeObject* own, PyObject* self, PyObject* args) {
    if (!args) return false;
    py::Ref super(PyObject_CallFunctionObjArgs(reinterpret_cast<PyObject*>(&PySuper_Type), own, self, nullptr));
    py::Ref init(super ? PyObject_GetAttrString(super.get(), "__init__") : nullptr);
    py::Ref result(init ? PyObject_Call(init.get(), args, nullptr) : nullptr);
    return static_cast<bool>(result);
}

// Stores the kind's own fields from the arguments of the same names.
void store_own(const HandlerKind& kind, PyObject* self, const InitValue* taken) {
    for (const py::Field& f : kind.fields) {
        const std::size_t at = param_index(kind, f.name);
        const InitValue& t = taken[at];
        void* slot = py::slot_of(self, f);
        switch (kind.params[at].arg) {
            case Arg::truth:
                if (f.object) {  // a flag that joined the pickle state later (True, or None for False)
                    py::field::store_object(slot, t.truth ? Py_True : Py_None);
                } else {
                    *static_cast<bool*>(slot) = t.truth;
                }
                break;
            case Arg::level:
            case Arg::int32:
            case Arg::bounded:
                *static_cast<int32_t*>(slot) = t.int32;
                break;
            case Arg::size:
                *static_cast<std::size_t*>(slot) = t.size;
                break;
            case Arg::text:
            case Arg::optional_text:
            case Arg::address:
            case Arg::callable:
                py::field::store_object(slot, t.object);
                break;
        }
    }
}

// Every field of the kind, its bases' included.
std::vector<const py::Field*> all_fields(const HandlerKind& kind, bool added) {
    std::vector<const py::Field*> out;
    for (const HandlerKind* k = &kind; k; k = k->base) {
        for (const py::Field& f : k->fields) {
            if (added || !f.added) out.push_back(&f);
        }
    }
    return out;
}

}  // namespace

void make_pickle(const HandlerKind& kind, KindPickle& p) {
    const char* name = std::strrchr(kind.name, '.') + 1;
    p.unpickle_name = std::string("__pyx_unpickle_") + name;
    p.unpickle_doc = p.unpickle_name + "(__pyx_type, long __pyx_checksum, tuple __pyx_state)";
    for (py::PickleDef* def : {&p.def, &p.wider}) {
        def->type = kind.type;
        def->unpickle_name = p.unpickle_name.c_str();
        def->unpickle_doc = p.unpickle_doc.c_str();
        def->module = module;
    }
    std::vector<const py::Field*> first = all_fields(kind, false), every = all_fields(kind, true);
    const bool wider = every.size() != first.size();
    p.def.wider = wider ? &p.wider : nullptr;
    py::make_layout(p.def, p.layout, std::move(first));
    if (wider) py::make_layout(p.wider, p.wider_layout, std::move(every));
}

// Fresh objects: text fields None, everything else zero (tp_alloc zeroes the memory).
PyObject* kind_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    for (const HandlerKind* kind : handler_kinds()) {
        if (!PyType_IsSubtype(type, kind->type)) continue;
        for (const py::Field& f : kind->fields) {
            if (f.object) *static_cast<PyObject**>(py::slot_of(self, f)) = Py_NewRef(Py_None);
        }
    }
    return self;
}

// Calls `visit` with each object field `self` holds, of every kind it is an instance of.
template <typename Visit>
void for_each_object_field(PyObject* self, Visit&& visit) {
    for (const HandlerKind* kind : handler_kinds()) {
        if (!PyObject_TypeCheck(self, kind->type)) continue;
        for (const py::Field& f : kind->fields) {
            if (f.object) visit(*static_cast<PyObject**>(py::slot_of(self, f)));
        }
    }
}

void kind_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    for_each_object_field(self, [](PyObject*& field) { Py_CLEAR(field); });
    py::free_object(self);
}

// A CallbackHandler's callable may refer back to its handler: the collector sees the fields. (A
// Python subclass's traversal visits its type before it calls this.)
int kind_traverse(PyObject* self, visitproc visit, void* arg) {
    int result = 0;
    for_each_object_field(self, [&](PyObject* field) {
        if (!result && field) result = visit(field, arg);
    });
    return result;
}

// Fields left None, as a fresh object's, for what may still read them while the cycle is freed.
int kind_clear(PyObject* self) {
    for_each_object_field(self, [](PyObject*& field) {
        if (field != Py_None) Py_XSETREF(field, Py_NewRef(Py_None));
    });
    return 0;
}

bool check_callable(PyObject* v, const char* name) {
    return PyCallable_Check(v) || py::raise_argument_type(v, name, "callable");
}

bool check_address(PyObject* v) {
    if (v == Py_None || PyUnicode_CheckExact(v)) return true;
    if (PyTuple_CheckExact(v) && PyTuple_GET_SIZE(v) == 2 && PyUnicode_CheckExact(PyTuple_GET_ITEM(v, 0)) &&
        PyLong_Check(PyTuple_GET_ITEM(v, 1)))
        return true;
    PyErr_Format(PyExc_TypeError, "address must be a str or a (str, int) tuple, not %.200s", Py_TYPE(v)->tp_name);
    return false;
}

// Numbers are converted first, in parameter order; then the texts are defaulted and checked, in
// parameter order, so the first bad argument of each group names itself.
int init_bound(const HandlerKind& kind, PyObject* self, PyObject* const* given) {
    const std::size_t n = kind.params.size();
    InitValue taken[kMaxParams];
    py::Ref owned[kMaxParams];
    for (std::size_t i = 0; i < n; ++i) {
        if (!is_text(kind.params[i].arg) && !take_number(kind.params[i], given[i], taken[i])) return -1;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (is_text(kind.params[i].arg) && !take_text(kind.params[i], given[i], owned[i], taken[i])) return -1;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (is_text(kind.params[i].arg) && !check_text(kind.params[i], taken[i].object)) return -1;
    }
    if (kind.check && !kind.check(taken)) return -1;
    if (kind.base && !init_next(kind.type, self, py::Ref(base_arguments(kind, taken)).get())) return -1;
    store_own(kind, self, taken);
    return 0;
}

int set_address(void* slot, PyObject* v) {
    if (!v) v = Py_None;
    if (!check_address(v)) return -1;
    py::field::store_object(slot, v);
    return 0;
}

int set_callable(void* slot, PyObject* v) {
    if (!v) return py::field::no_delete();
    if (!check_callable(v, "callable")) return -1;
    py::field::store_object(slot, v);
    return 0;
}

PyObject* get_added_flag(const void* slot) {
    PyObject* o = *static_cast<PyObject* const*>(slot);
    return PyBool_FromLong(o && o != Py_None);
}
int set_added_flag(void* slot, PyObject* v) {
    if (!v) return py::field::no_delete();
    const int t = py::truth(v);
    if (t < 0) return -1;
    py::field::store_object(slot, t ? Py_True : Py_None);
    return 0;
}

PyObject* get_level(const void* slot) { return level_to_python(*static_cast<const int32_t*>(slot)); }

}  // namespace zelvar::scrivo
