"""Hostile values for the conversion tests, and a small model of each conversion rule: what a value
must give (a result, or an error of that type and text) wherever Python input is converted."""

import array
import ctypes

import pytest
from hypothesis import HealthCheck, settings
from hypothesis import strategies as st

from zelvar.scrivo.scrivo import Level

FAST = settings(max_examples=100, deadline=None, suppress_health_check=[HealthCheck.too_slow])
SLOW = settings(max_examples=25, deadline=None, suppress_health_check=[HealthCheck.too_slow])


# --- hostile values ----------------------------------------------------------------------------------


class IntSub(int):  # every protocol lies or raises: only the value may count
    __int__ = __index__ = lambda self: 7
    __lt__ = lambda self, other: False
    __gt__ = lambda self, other: True

    def __bool__(self):
        raise ArithmeticError("lying int")


def answering(protocol):
    """A class whose `protocol` method returns what the instance was made with, or raises it."""

    def answer(self):
        if isinstance(self.result, BaseException):
            raise self.result
        return self.result

    return type(
        protocol.strip("_").title() + "Answer",
        (),
        {"__init__": lambda self, r: setattr(self, "result", r), protocol: answer},
    )


ViaInt, IndexOnly, BadBool, BadBytes = map(answering, ["__int__", "__index__", "__bool__", "__bytes__"])


class StrSub(str):
    pass


class BytesSub(bytes):
    def __bytes__(self):
        return b"not the contents"


BOUNDS = [0, 1, -1, 6, 7, 2**31 - 1, 2**31, -(2**31), -(2**31) - 1, 2**63, 2**64 - 1, 2**64, -(2**64), 2**200]
TEXTS = st.one_of(st.text(max_size=20), st.sampled_from(["", "a\0b", "\ud800", "x\udfff", "é" * 300]))


def hostile(ints=st.one_of(st.sampled_from(BOUNDS), st.integers()), floats=st.floats()):
    return st.one_of(
        ints,
        ints.map(IntSub),
        st.booleans(),
        floats,
        ints.map(ViaInt),
        ints.map(IndexOnly),
        st.sampled_from(["3", 2.5, None, ValueError("no int"), ZeroDivisionError()]).map(ViaInt),
        TEXTS,
        TEXTS.map(StrSub),
        st.binary(max_size=8),
        st.binary(max_size=8).map(BytesSub),
        st.sampled_from([True, False, 1, ZeroDivisionError("no truth")]).map(BadBool),
        st.none(),
        st.builds(object),
        st.lists(st.integers(-1, 256), max_size=3),
    )


HOSTILE = hostile()
# Ring sizes in every hostile form, but only sizes whose ring is tiny or refused (no 1 GiB rings).
RING_SIZES = st.sampled_from([0, 1, 3, 8, 64, -1, 2**30 + 1, 2**40, 2**64 - 1, 2**64, -(2**70)])
RING_HOSTILE = hostile(
    RING_SIZES, st.one_of(RING_SIZES.map(float), st.sampled_from([8.9, -0.5, float("nan"), float("inf")]))
)
MESSAGES = st.one_of(
    st.binary(max_size=300),
    st.binary(max_size=70).map(bytearray),
    st.binary(max_size=70).map(BytesSub),
    st.builds(lambda b, step: memoryview(b)[::step], st.binary(max_size=12), st.integers(2, 3)),
    st.lists(st.integers(-(2**31), 2**31 - 1), max_size=20).map(lambda v: array.array("i", v)),
    st.lists(st.floats(allow_nan=False), max_size=9).map(lambda v: array.array("d", v)),
    st.lists(st.integers(0, 255), max_size=40).map(lambda v: (ctypes.c_ubyte * len(v))(*v)),
    st.lists(st.integers(-(2**15), 2**15 - 1), min_size=1, max_size=9).map(lambda v: (ctypes.c_short * len(v))(*v)),
    st.sampled_from([BadBytes(b"by method"), BadBytes("str"), BadBytes(KeyError("x"))]),
    TEXTS,
    HOSTILE,
)


# --- the model of each rule -------------------------------------------------------------------------


def tp_name(v):
    """The type name in the interpreter's messages: dotted for C types outside builtins."""
    t = type(v)
    return t.__name__ if t.__module__ in ("builtins", __name__, "ctypes") else f"{t.__module__}.{t.__name__}"


def integer(v):
    if isinstance(v, int):
        return int.__int__(v)  # by value, whatever the subclass says
    convert = getattr(type(v), "__int__", None)
    if convert is None:
        raise TypeError("an integer is required")
    r = convert(v)
    if not isinstance(r, int):
        raise TypeError(f"__int__ returned non-int (type {tp_name(r)})")
    return int.__int__(r)


def int32(v):
    n = integer(v)
    if not -(2**31) <= n < 2**31:
        raise OverflowError("value too large to convert to int")
    return n


def size(v):
    n = integer(v)
    if not 0 <= n < 2**64:
        raise OverflowError(
            "can't convert negative value to size_t" if n < 0 else "value too large to convert to size_t"
        )
    return n


def text(v, argument=None):
    if v is None or type(v) is str:
        return v
    if argument:
        raise TypeError(f"Argument '{argument}' has incorrect type (expected str, got {tp_name(v)})")
    raise TypeError(f"Expected str, got {tp_name(v)}")


def none_text(v):
    if v is None:
        raise AttributeError("'NoneType' object has no attribute 'encode'")
    return v.encode()


def level_member(n):
    if 0 <= n <= 6:
        return Level(n)
    raise ValueError(f"{n} is not a valid Level")


def simple_buffer(obj):
    try:
        view = memoryview(obj)
    except TypeError:
        raise TypeError(f"a bytes-like object is required, not '{tp_name(obj)}'") from None
    if not view.c_contiguous:
        raise BufferError("memoryview: underlying buffer is not C-contiguous")
    return view.tobytes()


def object_bytes(obj):
    if hasattr(type(obj), "__bytes__") or isinstance(obj, list | tuple):
        return bytes(obj)
    try:
        return memoryview(obj).tobytes()  # any buffer, contiguous or not
    except TypeError:
        raise TypeError(f"cannot convert '{tp_name(obj)}' object to bytes") from None


def outcome(fn, *args):
    try:
        return ("ok", fn(*args))
    except Exception as e:  # noqa: BLE001 - the outcome is the exception
        return ("error", type(e), str(e))


def raises_as(expected, fn, *args, **kwargs):
    """fn fails exactly as `expected` (an error outcome) says."""
    with pytest.raises(Exception) as info:
        fn(*args, **kwargs)
    assert (type(info.value), str(info.value)) == expected[1:]


def apply_state(rules, state, values, type_name):
    """Assigns state members in order, each kept once assigned; returns the error that stops it."""
    for i, (name, rule) in enumerate(rules):
        if i >= len(state):
            return ("error", IndexError, "tuple index out of range")
        converted = outcome(rule, state[i])
        if converted[0] == "error":
            return converted
        values[name] = converted[1]
    if len(state) > len(rules):
        truth = outcome(bool, state[len(rules)])
        if truth[0] == "error" or truth[1]:  # no instance dict to update
            return (
                truth
                if truth[0] == "error"
                else ("error", AttributeError, f"'{type_name}' object has no attribute '__dict__'")
            )
    return None
