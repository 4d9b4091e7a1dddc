// The description of a handler kind (and of the colour scheme, which shares the machinery): one
// row from which its type object, properties, __init__, pickle hooks and factory call are made.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/fields.hpp>
#include <zelvar/_pyext/pickle.hpp>
#include <zelvar/_pyext/python.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

namespace zelvar::scrivo {

// How an __init__ argument is taken: the conversion, and the native value it yields.
enum class Arg {
    truth,     // bool, by truth value
    level,     // int32_t, an int (not limited to the Level members)
    int32,     // int32_t
    bounded,   // int32_t in 0..number (ValueError naming the argument otherwise)
    size,      // std::size_t
    text,      // exactly str or None
    address,   // a syslog address (str, (str, int) tuple or None)
    callable,  // a callable object
};

// The handler pattern the module holds, as a text default: told by its address, which an array
// (unlike a pointer to a literal, whose copies each file may keep apart) has once in the program.
inline constexpr char kHandlerPatternDefault[] = "\x01";

// One __init__ parameter: its default is `number` for a numeric kind; for a text kind `text` made
// into a fresh str each call, the module's handler pattern (kHandlerPatternDefault), or None.
struct Param {
    const char* name;
    Arg arg;
    long long number = 0;
    const char* text = nullptr;
};

// One argument handed to the base's __init__: the parameter named `param`, or (null) the constant
// `number` of kind `arg` (truth: a bool, level: a Level member, text: None).
struct BaseArg {
    const char* param;
    Arg arg = Arg::text;
    long long number = 0;
};

// An __init__ argument once taken: the native value of its kind, or the object.
struct Taken {
    bool truth = false;
    int32_t int32 = 0;
    std::size_t size = 0;
    PyObject* object = nullptr;  // text kinds: borrowed from the call, or a default the call holds
};

// How a factory argument is read from the handler's attribute of the same name.
enum class Read {
    truth,          // bool
    text,           // attribute.encode() (bytes or bytearray), zero bytes kept
    optional_text,  // the same; None: the empty text
    level,          // spdlog level
    int32,          // int32_t
    size,           // unsigned long
    address,        // a str (Unix socket path, port 0) or a (host, port) tuple; a port over 65535 reads 65536
    callback,       // a callable: the sink that calls it, made now
};

struct ReadArg {
    const char* name;
    Read read;
};

// A factory argument once read.
struct Got {
    bool truth = false;
    int32_t int32 = 0;
    spdlog::level::level_enum level = spdlog::level::trace;
    unsigned long size = 0;
    unsigned port = 0;
    std::string text;
    std::shared_ptr<spdlog::sinks::sink> sink;
};

struct HandlerKind {
    const char* name;  // the Python name, bound in the module
    PyTypeObject* type;
    const HandlerKind* base;  // null: allocation and deallocation are this kind's own
    const char* doc;
    std::span<const py::Field> fields;  // its own fields, in declared order: its properties
    // __init__: the first `required` parameters are required, those from `positional` on keyword-only.
    std::span<const Param> params;
    std::size_t required = 0;
    std::size_t positional = static_cast<std::size_t>(-1);  // all of them
    std::span<const BaseArg> base_args = {};                // with a base: what its __init__ is given
    bool (*check)(const Taken* taken) = nullptr;            // after the conversions, before the base's __init__
    std::span<const ReadArg> reads = {};                    // the factory call's arguments, read in this order
    void (*check_call)(const Got* got) = nullptr;           // throws as the factory call would, before any call
    void (*add)(LoggerFactory&, const Got*) = nullptr;      // null: contributes no handler
};

// Every row, registered in this order; a handler matches the first kind it is an instance of, so a
// kind comes before its base.
std::span<const HandlerKind* const> handler_kinds();

// Each kind's pickle layouts (made at import) and its unpickle function's name and doc.
struct KindPickle {
    py::PickleDef def{};
    py::PickleDef wider{};
    py::LayoutStore layout, wider_layout;
    std::string unpickle_name, unpickle_doc;
};

// Fills `out` for `kind`: the state is every field, its bases' included; fields marked `added`
// make a wider layout.
void make_pickle(const HandlerKind& kind, KindPickle& out);

// The allocation and deallocation of a kind without a base (its subclasses inherit them): object
// fields start as None and are released.
PyObject* kind_new(PyTypeObject* type, PyObject* args, PyObject* kwargs);
void kind_dealloc(PyObject* self);

// TypeError unless `v` is callable.
bool check_callable(PyObject* v, const char* name);

// A syslog address: a str (Unix socket path), an exact (str host, int port) tuple, or None;
// TypeError otherwise.
bool check_address(PyObject* v);

// The most parameters a kind's __init__ takes.
inline constexpr std::size_t kMaxParams = 8;

// The rest of `kind`'s __init__ once its arguments are bound (`given`: one per parameter, null when
// not given): conversions, defaults, checks, the base's __init__, then its own fields.
int init_bound(const HandlerKind& kind, PyObject* self, PyObject* const* given);

template <const HandlerKind& K>
int init_kind(PyObject* self, PyObject* args, PyObject* kwargs) {
    constexpr std::size_t n = K.params.size();
    static_assert(n <= kMaxParams);
    static const auto params = [] {
        py::Params<n> p{"__init__", {}, K.required, K.positional < n ? K.positional : n};
        for (std::size_t i = 0; i < n; ++i) p.names[i] = K.params[i].name;
        return p;
    }();
    typename py::Params<n>::Values given;
    if (!params.bind(args, kwargs, given)) return -1;
    return init_bound(K, self, given.data());
}

}  // namespace zelvar::scrivo
