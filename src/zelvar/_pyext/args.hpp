// One argument binder for positional-or-keyword parameters, with the interpreter's usual messages.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "python.hpp"

namespace zelvar::py {

// Keyword arguments that name no parameter, for a callable that also takes **kwargs: borrowed
// (name, value) pairs in call order, the first few without an allocation.
class ExtraKeywords {
  public:
    struct Keyword {
        PyObject* name;
        PyObject* value;
    };

    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    Keyword operator[](std::size_t i) const { return i < kInline ? inline_[i] : more_[i - kInline]; }

    // Throws std::bad_alloc.
    void add(PyObject* name, PyObject* value) {
        if (size_ < kInline) {
            inline_[size_] = {name, value};
        } else {
            more_.push_back({name, value});
        }
        ++size_;
    }

  private:
    static constexpr std::size_t kInline = 8;
    Keyword inline_[kInline];  // left uninitialised: a call without them pays nothing
    std::size_t size_ = 0;
    std::vector<Keyword> more_;
};

namespace detail {

inline void raise_arg_count(const char* func, Py_ssize_t min, Py_ssize_t max, Py_ssize_t found) {
    const bool exact = min == max;
    const Py_ssize_t expected = found < min ? min : max;
    const char* more_or_less = exact ? "exactly" : (found < min ? "at least" : "at most");
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)", func, more_or_less,
                 expected, expected == 1 ? "" : "s", found);
}

}  // namespace detail

// Parameters of one callable: `func` names it in messages, the first `required` are required and
// those from `positional` on are keyword-only. Bound values are borrowed (null when not given); the
// caller applies defaults.
template <std::size_t N>
struct Params {
    const char* func;
    std::array<const char*, N> names;
    std::size_t required = 0;
    std::size_t positional = N;

    using Values = std::array<PyObject*, N>;

    // Vectorcall form: `nargs` positional values then one value per name in `kwnames`. With `extra`,
    // keywords that name no parameter are collected there instead of refused.
    bool bind(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Values& out,
              ExtraKeywords* extra = nullptr) const {
        out.fill(nullptr);
        if (!check_positional(nargs)) return false;
        for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
        const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            if (!place_keyword(PyTuple_GET_ITEM(kwnames, k), args[nargs + k], out, extra)) return false;
        }
        return check_required(nargs, out);
    }

    // Classic form: a tuple and an optional dict.
    bool bind(PyObject* args, PyObject* kwargs, Values& out) const {
        out.fill(nullptr);
        const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
        if (!check_positional(nargs)) return false;
        for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = PyTuple_GET_ITEM(args, i);
        if (kwargs) {
            Py_ssize_t pos = 0;
            PyObject *key, *value;
            while (PyDict_Next(kwargs, &pos, &key, &value)) {
                if (!place_keyword(key, value, out)) return false;
            }
        }
        return check_required(nargs, out);
    }

  private:
    bool check_positional(Py_ssize_t nargs) const {
        if (nargs <= static_cast<Py_ssize_t>(positional)) return true;
        detail::raise_arg_count(func, static_cast<Py_ssize_t>(required), static_cast<Py_ssize_t>(positional), nargs);
        return false;
    }

    // Keyword names are compact ASCII strings nearly always: compared by length and bytes, which a
    // call with fields does for every parameter of every keyword.
    static bool same_name(PyObject* key, const char* name) {
        if (!PyUnicode_IS_COMPACT_ASCII(key)) return PyUnicode_CompareWithASCIIString(key, name) == 0;
        const auto* data = static_cast<const char*>(PyUnicode_DATA(key));
        const auto size = static_cast<std::size_t>(PyUnicode_GET_LENGTH(key));
        // strlen last: a key with a zero byte inside may match `name` up to its end.
        return name[0] == data[0] && std::strncmp(name, data, size) == 0 && std::strlen(name) == size;
    }

    bool place_keyword(PyObject* key, PyObject* value, Values& out, ExtraKeywords* extra = nullptr) const {
        if (!PyUnicode_Check(key)) {
            PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", func);
            return false;
        }
        for (std::size_t i = 0; i < N; ++i) {
            if (same_name(key, names[i])) {
                if (out[i]) {
                    PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'", func, key);
                    return false;
                }
                out[i] = value;
                return true;
            }
        }
        if (extra) {
            try {
                extra->add(key, value);
                return true;
            } catch (const std::bad_alloc&) {
                PyErr_NoMemory();
                return false;
            }
        }
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", func, key);
        return false;
    }

    bool check_required(Py_ssize_t nargs, const Values& out) const {
        for (std::size_t i = static_cast<std::size_t>(nargs); i < required; ++i) {
            if (!out[i]) {
                detail::raise_arg_count(func, static_cast<Py_ssize_t>(required), static_cast<Py_ssize_t>(positional),
                                        static_cast<Py_ssize_t>(i));
                return false;
            }
        }
        return true;
    }
};

// Deduces N from the name list: `Params<3> p = params("f", {"a", "b", "c"}, 1);`; with
// `positional` 2, "c" is keyword-only.
template <std::size_t N>
constexpr Params<N> params(const char* func, const char* const (&names)[N], std::size_t required = 0,
                           std::size_t positional = N) {
    Params<N> p{func, {}, required, positional};
    for (std::size_t i = 0; i < N; ++i) p.names[i] = names[i];
    return p;
}

}  // namespace zelvar::py
