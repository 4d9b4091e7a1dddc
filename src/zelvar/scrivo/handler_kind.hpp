// The description of a handler kind (and of the colour scheme, which shares the machinery): one
// row from which its type object, properties, __init__, pickle hooks and factory call are made.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/fields.hpp>
#include <zelvar/_pyext/pickle.hpp>
#include <zelvar/_pyext/python.hpp>
#include <zelvar/_pyext/types.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "module_state.hpp"

namespace zelvar::scrivo {

// How an __init__ argument is taken: the conversion, and the native value it yields.
enum class Arg {
    truth,          // bool, by truth value
    level,          // int32_t, an int (not limited to the Level members)
    int32,          // int32_t
    bounded,        // int32_t in 0..number (ValueError naming the argument otherwise)
    size,           // std::size_t
    text,           // exactly str or None
    optional_text,  // the same; where the handler holds None, the factory call is given the empty text
    address,        // a syslog address (str, (str, int) tuple or None)
    callable,       // a callable object
};

// The handler pattern the module holds, as a text default: a mark no pattern is, told by its
// content. (Not by an array's address: with the sanitizers on, the compiler will not compare an
// object's address with null in a constant expression, which the docstrings are made in.)
inline constexpr const char* kHandlerPatternDefault = "\x01";
constexpr bool is_handler_pattern_default(const char* text) { return text && text[0] == '\x01' && !text[1]; }

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
struct InitValue {
    bool truth = false;
    int32_t int32 = 0;
    std::size_t size = 0;
    PyObject* object = nullptr;  // text kinds: borrowed from the call, or a default the call holds
};

// A factory argument: read from the handler's attribute of a parameter's name, as that parameter's
// kind says (factory_calls.cpp).
struct ReadArg {
    const char* name;
    Arg arg;
};

// The factory call's arguments, in the order they are read: the named parameters of `Params`, each
// read as its kind (`reads_of<kFooParams>({"filename", "level"})`). A name the parameters do not
// hold does not compile.
template <const auto& Params, std::size_t N>
consteval std::array<ReadArg, N> reads_of(const char* const (&names)[N]) {
    std::array<ReadArg, N> reads{};
    for (std::size_t i = 0; i < N; ++i) {
        std::size_t at = 0;
        while (at < std::size(Params) && std::string_view(Params[at].name) != names[i]) ++at;
        if (at == std::size(Params)) throw "no parameter of that name";  // not a constant expression
        reads[i] = {names[i], Params[at].arg};
    }
    return reads;
}

// A factory argument once read.
struct ReadValue {
    bool truth = false;
    int32_t int32 = 0;
    spdlog::level::level_enum level = spdlog::level::trace;
    unsigned long size = 0;
    unsigned port = 0;
    std::string text;
    std::shared_ptr<spdlog::sinks::sink> sink;
};

// Values by the names of a row's parameters or reads (`Named<kFooReads, ReadValue> a(got); a["max_size"].size`):
// the name is looked up when the row compiles, so a name the list does not hold is a compile error.
template <const auto& Names, typename Value>
class Named {
  public:
    struct Key {
        std::size_t at;
        consteval Key(const char* name) : at(index_of(name)) {}  // NOLINT: made from a literal
    };
    explicit Named(const Value* values) : values_(values) {}
    const Value& operator[](Key key) const { return values_[key.at]; }

  private:
    static consteval std::size_t index_of(std::string_view name) {
        for (std::size_t i = 0; i < std::size(Names); ++i) {
            if (name == Names[i].name) return i;
        }
        throw "no value of that name";  // not a constant expression: the row does not compile
    }
    const Value* values_;
};

struct HandlerKind {
    const char* name;  // the Python name, bound in the module
    PyTypeObject* type;
    const HandlerKind* base;            // null: allocation and deallocation are this kind's own
    std::span<const py::Field> fields;  // its own fields, in declared order: its properties
    // __init__: the first `required` parameters are required, those from `positional` on keyword-only.
    std::span<const Param> params;
    std::size_t required = 0;
    std::size_t positional = static_cast<std::size_t>(-1);  // all of them
    // The class docstring (its signature, as help() shows it) is made from the first `documented`
    // parameters: kind_doc below.
    std::size_t documented = static_cast<std::size_t>(-1);    // all of them
    std::span<const BaseArg> base_args = {};                  // with a base: what its __init__ is given
    bool (*check)(const InitValue* taken) = nullptr;          // after the conversions, before the base's __init__
    std::span<const ReadArg> reads = {};                      // the factory call's arguments, read in this order
    void (*check_call)(const ReadValue* got) = nullptr;       // throws as the factory call would, before any call
    void (*add)(LoggerFactory&, const ReadValue*) = nullptr;  // null: contributes no handler
};

// The class docstring made from a row: "Name(type name=default, ..., *, type name=default)", each
// parameter as its conversion reads (a text default quoted, a level as its Level member); an
// address or a callable has no type word. Made when the row compiles, so it cannot drift from it.
namespace kind_doc {

inline constexpr const char* kLevelNames[] = {"TRACE", "DEBUG", "INFO", "WARN", "ERROR", "CRITICAL", "OFF"};

// Counts what it is given, and copies it when it has somewhere to.
struct Writer {
    char* out = nullptr;
    std::size_t size = 0;
    constexpr void put(std::string_view s) {
        for (char c : s) {
            if (out) out[size] = c;
            ++size;
        }
    }
    constexpr void put_number(long long n) {
        if (n < 0) {
            put("-");
            n = -n;
        }
        char digits[20] = {};
        std::size_t count = 0;
        do {
            digits[count++] = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n);
        while (count) put(std::string_view(&digits[--count], 1));
    }
};

// The type word of each Arg, in the enum's order: an address or a callable has none.
inline constexpr std::string_view kTypeWords[] = {"bool ", "Level ", "int ", "int ", "size_t ", "str ", "str ", "", ""};
static_assert(std::size(kTypeWords) == static_cast<std::size_t>(Arg::callable) + 1);

constexpr void write_param(Writer& w, const Param& p, bool required) {
    w.put(kTypeWords[static_cast<std::size_t>(p.arg)]);
    w.put(p.name);
    if (required) return;
    w.put("=");
    switch (p.arg) {
        case Arg::truth:
            w.put(p.number ? "True" : "False");
            break;
        case Arg::level:
            w.put("Level.");
            w.put(kLevelNames[p.number]);
            break;
        case Arg::int32:
        case Arg::size:
            w.put_number(p.number);
            break;
        case Arg::bounded:
            w.put("0");
            break;  // `number` is the bound; the default is 0
        case Arg::text:
        case Arg::optional_text:
        case Arg::address:
        case Arg::callable:
            if (!p.text) {
                w.put("None");
                break;
            }
            w.put("'");
            w.put(is_handler_pattern_default(p.text) ? kDefaultHandlerPattern : p.text);
            w.put("'");
            break;
    }
}

constexpr void write(Writer& w, const HandlerKind& k) {
    const std::string_view name(k.name);
    w.put(name.substr(name.rfind('.') + 1));
    w.put("(");
    for (std::size_t i = 0; i < k.params.size() && i < k.documented; ++i) {
        if (i) w.put(", ");
        if (i == k.positional) w.put("*, ");
        write_param(w, k.params[i], i < k.required);
    }
    w.put(")");
}

template <const HandlerKind& K>
inline constexpr auto text = [] {
    constexpr std::size_t size = [] {
        Writer w;
        write(w, K);
        return w.size;
    }();
    std::array<char, size + 1> out{};
    Writer w{out.data()};
    write(w, K);
    return out;
}();

}  // namespace kind_doc

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
int kind_traverse(PyObject* self, visitproc visit, void* arg);
int kind_clear(PyObject* self);

// TypeError unless `v` is callable.
bool check_callable(PyObject* v, const char* name);

// A syslog address: a str (Unix socket path), an exact (str host, int port) tuple, or None;
// TypeError otherwise.
bool check_address(PyObject* v);

// Field accessors the rows use beyond py::field's: a syslog address and a callable, checked as
// __init__ checks them; a flag that joined a kind's pickle state later (an object field holding True,
// or None for False, so handlers without it are written in the first layout); a level read back as a
// Level member, through the module's `Level` as bound now.
int set_address(void* slot, PyObject* v);
int set_callable(void* slot, PyObject* v);
PyObject* get_added_flag(const void* slot);
int set_added_flag(void* slot, PyObject* v);
PyObject* get_level(const void* slot);

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

// Kind K's pickle hooks and module-level unpickle function (defined beside the rows, which hold the
// layouts).
template <const HandlerKind& K>
PyObject* reduce(PyObject* self, PyObject*);
template <const HandlerKind& K>
PyObject* set_state(PyObject* self, PyObject* state);
template <const HandlerKind& K>
PyObject* unpickle(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

template <const HandlerKind& K>
PyMethodDef g_methods[] = {{"__reduce__", reduce<K>, METH_NOARGS, nullptr},
                           {"__setstate__", set_state<K>, METH_O, nullptr},
                           {nullptr, nullptr, 0, nullptr}};

template <const HandlerKind& K>
py::Properties<K.fields.size()> g_properties(K.fields.data(), K.fields.size());

// A subclass inherits allocation and deallocation from its base.
template <const HandlerKind& K, class Object>
PyTypeObject kind_type() {
    const HandlerKind* base = K.base;  // a variable: a constant address would draw "never null" warnings
    return py::make_type<Object>({
        .name = K.name,
        .flags = Py_TPFLAGS_BASETYPE,
        .doc = kind_doc::text<K>.data(),
        .base = base ? base->type : nullptr,
        .methods = g_methods<K>,
        .getset = K.fields.empty() ? nullptr : g_properties<K>.defs,
        .new_ = base ? nullptr : kind_new,
        .init = init_kind<K>,
        .dealloc = base ? nullptr : kind_dealloc,
        .gc = {kind_traverse, kind_clear},
    });
}

}  // namespace zelvar::scrivo
