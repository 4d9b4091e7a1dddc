// Conversions between Python values and native ones, each with its exact messages. Every
// property setter, initialiser, pickle state and constructor goes through these.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>

#include "python.hpp"
#include "ref.hpp"

namespace zelvar::py {

inline constexpr const char* kIntOverflow = "value too large to convert to int";
inline constexpr const char* kLevelEnumOverflow = "value too large to convert to enum spdlog::level::level_enum";

namespace detail {

// An `int` (or subclass) as a new reference; other objects through their type's __int__
// (a float truncates), which must return an int.
inline Ref integer_of(PyObject* o) {
    if (PyLong_Check(o)) return Ref::borrow(o);
    PyNumberMethods* nb = Py_TYPE(o)->tp_as_number;
    if (!nb || !nb->nb_int) {
        PyErr_SetString(PyExc_TypeError, "an integer is required");
        return Ref();
    }
    Ref r(nb->nb_int(o));
    if (r && !PyLong_Check(r.get())) {
        PyErr_Format(PyExc_TypeError, "__int__ returned non-int (type %.200s)", Py_TYPE(r.get())->tp_name);
        return Ref();
    }
    return r;
}

// The sign of the value itself: an int subclass's own comparison operators are not asked.
inline bool is_negative(PyObject* integer) {
    Ref zero(PyLong_FromLong(0));
    Ref less(zero ? PyLong_Type.tp_richcompare(integer, zero.get(), Py_LT) : nullptr);
    return less.get() == Py_True;
}

}  // namespace detail

// Signed 32-bit by the level rule: int (subclasses by value, bool included), else __int__;
// anything else "an integer is required"; outside the range `overflow_message`.
inline bool to_int32(PyObject* o, int32_t& out, const char* overflow_message = kIntOverflow) {
    Ref v = detail::integer_of(o);
    if (!v) return false;
    int overflow = 0;
    const long long x = PyLong_AsLongLongAndOverflow(v.get(), &overflow);
    if (x == -1 && PyErr_Occurred()) return false;
    if (overflow || x < INT32_MIN || x > INT32_MAX) {
        PyErr_SetString(PyExc_OverflowError, overflow_message);
        return false;
    }
    out = static_cast<int32_t>(x);
    return true;
}

// Signed 64-bit by the same rule, with the interpreter's own overflow message.
inline bool to_int64(PyObject* o, long long& out) {
    Ref v = detail::integer_of(o);
    if (!v) return false;
    out = PyLong_AsLongLong(v.get());
    return !(out == -1 && PyErr_Occurred());
}

// A native level from Python (no range check against the members).
inline bool to_level(PyObject* o, int32_t& out) { return to_int32(o, out, kIntOverflow); }

// The same rule where a level is read out of a handler for the native library.
inline bool to_level_enum(PyObject* o, int32_t& out) { return to_int32(o, out, kLevelEnumOverflow); }

// Unsigned machine word: negative values and values beyond 2**64-1 are overflows.
inline bool to_size_t(PyObject* o, std::size_t& out) {
    Ref v = detail::integer_of(o);
    if (!v) return false;
    const unsigned long long x = PyLong_AsUnsignedLongLong(v.get());
    if (x == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
        PyErr_Clear();
        const bool negative = detail::is_negative(v.get());
        if (PyErr_Occurred()) return false;
        PyErr_SetString(PyExc_OverflowError,
                        negative ? "can't convert negative value to size_t" : "value too large to convert to size_t");
        return false;
    }
    static_assert(sizeof(unsigned long long) == sizeof(std::size_t));
    out = static_cast<std::size_t>(x);
    return true;
}

// A count given by keyword (`batch=`): an int (not a bool) from 0 up, each failure with a message
// naming the parameter.
inline bool to_count(PyObject* o, const char* argname, std::size_t& out) {
    if (!PyLong_Check(o) || PyBool_Check(o)) {
        PyErr_Format(PyExc_TypeError, "%s must be an int, not %.200s", argname, Py_TYPE(o)->tp_name);
        return false;
    }
    const bool negative = detail::is_negative(o);
    if (PyErr_Occurred()) return false;
    if (negative) {
        PyErr_Format(PyExc_ValueError, "%s must be 0 or more, not %R", argname, o);
        return false;
    }
    return to_size_t(o, out);
}

// Truth value; -1 with the exception of __bool__/__len__ set.
inline int truth(PyObject* o) { return PyObject_IsTrue(o); }

// Parameters typed `str`: exactly str or None.
inline bool is_exact_str_or_none(PyObject* o) { return o == Py_None || PyUnicode_CheckExact(o); }

// The message of a typed parameter given a value of another type.
inline bool raise_argument_type(PyObject* o, const char* argname, const char* expected) {
    PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", argname,
                 expected, Py_TYPE(o)->tp_name);
    return false;
}

inline bool check_str_argument(PyObject* o, const char* argname) {
    return is_exact_str_or_none(o) || raise_argument_type(o, argname, "str");
}

// Setter form of the same check ("Expected str, got int").
inline bool check_str_value(PyObject* o) {
    if (is_exact_str_or_none(o)) return true;
    PyErr_Format(PyExc_TypeError, "Expected %s, got %.200s", "str", Py_TYPE(o)->tp_name);
    return false;
}

// Exact type check for other typed parameters, e.g. `tuple state`.
inline bool check_exact_type_value(PyObject* o, PyTypeObject* type, const char* type_name) {
    if (Py_IS_TYPE(o, type)) return true;
    PyErr_Format(PyExc_TypeError, "Expected %s, got %.200s", type_name, Py_TYPE(o)->tp_name);
    return false;
}

// The UTF-8 form of a str (strict), cached in the object: valid while `o` lives.
inline bool utf8_view(PyObject* o, std::string_view& out) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(o, &size);
    if (!data) return false;
    out = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

// The seven level names in value order.
inline constexpr const char* kLevelNames[] = {"TRACE", "DEBUG", "INFO", "WARN", "ERROR", "CRITICAL", "OFF"};

// Native level to a member of `level_class`.
inline PyObject* level_to_python(PyObject* level_class, int32_t level) {
    if (level < 0 || level > 6) {
        PyErr_Format(PyExc_ValueError, "%d is not a valid Level", static_cast<int>(level));
        return nullptr;
    }
    return PyObject_GetAttrString(level_class, kLevelNames[level]);
}

// A level as the newer interfaces take it (a logger's level setter, log(), is_enabled_for()): a
// Level or an int 0 to 6, or a level name in any case ("WARNING" too). A number of the standard
// `logging` package would pass an int check and silently mean something else (20 is not INFO), so
// it is refused with the spelling to use; bool and float are not levels either.
inline bool to_level_value(PyObject* o, int32_t& out) {
    if (PyUnicode_Check(o)) {
        std::string_view name;
        if (!utf8_view(o, name)) PyErr_Clear();  // a lone surrogate names no level either
        std::string upper(name);
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (upper == "WARNING") upper = "WARN";
        for (int i = 0; i < 7; ++i) {
            if (upper == kLevelNames[i]) {
                out = i;
                return true;
            }
        }
        PyErr_Format(PyExc_ValueError,
                     "unknown level name %R (expected TRACE, DEBUG, INFO, WARN or WARNING, ERROR, CRITICAL or OFF)", o);
        return false;
    }
    if (!PyLong_Check(o) || PyBool_Check(o)) {
        PyErr_Format(PyExc_TypeError, "a level is a Level, an int 0 to 6 or a level name, not %.200s",
                     Py_TYPE(o)->tp_name);
        return false;
    }
    int overflow = 0;
    const long long x = PyLong_AsLongLongAndOverflow(o, &overflow);
    if (x == -1 && PyErr_Occurred()) return false;
    if (!overflow && x >= 0 && x <= 6) {
        out = static_cast<int32_t>(x);
        return true;
    }
    if (!overflow && x >= 10 && x <= 50 && x % 10 == 0) {
        const char* name = kLevelNames[x / 10];  // DEBUG 10 .. CRITICAL 50
        PyErr_Format(PyExc_ValueError, "%lld is a level number of the logging package: write Level.%s or \"%s\"", x,
                     name, name);
        return false;
    }
    Ref value(PyNumber_Long(o));  // its own digits, whatever an int subclass's repr says
    if (value) PyErr_Format(PyExc_ValueError, "%S is not a valid Level", value.get());
    return false;
}

}  // namespace zelvar::py
