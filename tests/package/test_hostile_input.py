"""Hostile values on every path that converts Python input. A small model of each conversion rule
says what must happen: every value gets exactly that error (type and text) or that result, and an
object that refuses a value keeps what it had (pickle states apply field by field, as documented)."""

import array
import asyncio
import ctypes
import gc
import pickle
import threading
import warnings

import pytest
from hypothesis import HealthCheck, example, given, settings
from hypothesis import strategies as st

from zelvar import _testing as native
from zelvar.scrivo import scrivo as s
from zelvar.scrivo.scrivo import Level
from zelvar.spsc_queue.spsc_queue import SPSCQueue
from zelvar.utils.ferrix import ferrix as f

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


# --- logging module: properties, initialisers, pickle states -------------------------------------------

RULES = {"truth": bool, "text": text, "level": int32, "size": size, "int": int32}
COLORS = ["trace_color", "debug_color", "info_color", "warn_color", "error_color", "critical_color"]
BASE = {"color": "truth", "pattern": "text", "level": "level"}
FIELDS = {
    s.LogHandler: BASE,
    s.StderrHandler: BASE,
    s.BasicConsoleHandler: BASE,
    s.StdoutHandler: {**BASE, "max_level": "level"},
    s.ConsoleHandler: {**BASE, "max_stdout_level": "level", "min_level": "level"},
    s.FileHandler: {**BASE, "filename": "text", "overwrite": "truth"},
    s.RotatingFileHandler: {
        **BASE,
        "filename": "text",
        "overwrite": "truth",
        "max_size": "size",
        "max_files": "size",
        "compress": "truth",
    },
    s.ColorScheme: dict.fromkeys(COLORS, "int"),
}
# Fields added since a class's first pickle layout: they make a wider one.
ADDED = {s.RotatingFileHandler: {"compress"}}


def first_layout(cls):
    return sorted(n for n in FIELDS[cls] if n not in ADDED.get(cls, ()))


PARAMS = {
    s.LogHandler: ["color", "pattern", "level"],
    s.StderrHandler: ["color", "pattern", "level"],
    s.BasicConsoleHandler: ["color", "pattern", "level"],
    s.StdoutHandler: ["color", "pattern", "level", "max_level"],
    s.ConsoleHandler: ["color", "pattern", "max_stdout_level", "min_level"],
    s.FileHandler: ["filename", "color", "pattern", "level", "overwrite"],
    s.RotatingFileHandler: ["filename", "pattern", "level", "max_size", "max_files", "compress"],
    s.ColorScheme: COLORS,
}
DEFAULTS = {
    "color": False,
    "compress": False,
    "pattern": "[%Y-%m-%d %H:%M:%S.%e] [%n] [%^%l%$] %v",
    "level": 0,
    "max_level": 2,
    "max_stdout_level": 2,
    "min_level": 0,
    "filename": "app.log",
    "overwrite": False,
    "max_size": 1048576,
    "max_files": 3,
    **dict.fromkeys(COLORS, -1),
}
CLASS_DEFAULTS = {s.LogHandler: {"color": True}, s.ConsoleHandler: {"color": True}, s.StderrHandler: {"level": 3}}
# Initialisers that hand their level to the base initialiser as a Level member (so 0..6 only).
MEMBER_LEVEL = {s.StdoutHandler, s.StderrHandler, s.BasicConsoleHandler, s.FileHandler, s.RotatingFileHandler}


def viewed(kind, value):
    return outcome(level_member, value) if kind == "level" else ("ok", value)


def snapshot(obj):
    return {name: outcome(getattr, obj, name) for name in FIELDS[type(obj)]}


def customised(cls):
    """An object whose every field differs from its defaults."""
    obj = cls("old.log") if "filename" in PARAMS[cls] else cls()
    for name, kind in FIELDS[cls].items():
        setattr(obj, name, {"truth": True, "text": "old", "level": 4, "size": 11, "int": 5}[kind])
    return obj


@pytest.mark.parametrize(
    "cls, name",
    [
        (c, n)
        for c in (s.LogHandler, s.StdoutHandler, s.ConsoleHandler, s.RotatingFileHandler, s.ColorScheme)
        for n in FIELDS[c]
    ],
)
@FAST
@given(value=HOSTILE)
def test_property_set(cls, name, value):
    obj = customised(cls)
    before = snapshot(obj)
    kind = FIELDS[cls][name]
    expected = outcome(RULES[kind], value)
    if expected[0] == "error":
        raises_as(expected, setattr, obj, name, value)
        assert snapshot(obj) == before
    else:
        setattr(obj, name, value)
        assert snapshot(obj) == {**before, name: viewed(kind, expected[1])}


def expected_init(cls, given):
    """Conversions in parameter order, then the text checks, then the level handed to the base."""
    values = {**DEFAULTS, **CLASS_DEFAULTS.get(cls, {})}
    kinds = FIELDS[cls]
    for name in sorted(given, key=PARAMS[cls].index):
        if kinds[name] != "text":
            values[name] = RULES[kinds[name]](given[name])
    for name in sorted(given, key=PARAMS[cls].index):
        if kinds[name] == "text":
            values[name] = text(given[name], name)
    if cls in MEMBER_LEVEL:
        level_member(values["level"])
    if cls is s.RotatingFileHandler:
        values["color"] = False
    return {name: viewed(kind, values[name]) for name, kind in kinds.items()}


@pytest.mark.parametrize("cls", list(PARAMS), ids=lambda c: c.__name__)
@FAST
@given(data=st.data())
def test_initialiser(cls, data):
    names = data.draw(st.lists(st.sampled_from(PARAMS[cls]), min_size=1, max_size=2, unique=True))
    args = {name: data.draw(HOSTILE, label=name) for name in names}
    if "filename" in PARAMS[cls]:
        args.setdefault("filename", "app.log")
    obj = customised(cls)
    before = snapshot(obj)
    expected = outcome(expected_init, cls, args)
    if expected[0] == "error":
        raises_as(expected, cls, **args)
        raises_as(expected, obj.__init__, **args)
        assert snapshot(obj) == before  # a failed re-initialisation stores nothing
    else:
        assert snapshot(cls(**args)) == expected[1]
        obj.__init__(**args)
        assert snapshot(obj) == expected[1]


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


def handler_state(cls, state, values, by_length=True):
    """`by_length`: the layout told by the state's length, as __setstate__ does (the first layout and its
    instance dict are as long as a layout one field wider); else the first layout, as its checksum says."""
    names, first = sorted(FIELDS[cls]), first_layout(cls)
    wide = (
        by_length
        and len(names) > len(first)
        and len(state) >= len(names)
        and not (len(state) == len(first) + 1 and isinstance(state[-1], dict))
    )
    rules = [(n, lambda v, k=FIELDS[cls][n]: viewed(k, RULES[k](v))) for n in (names if wide else first)]
    return apply_state(rules, state, values, f"zelvar.scrivo.scrivo.{cls.__name__}")


CHECKSUMS = {
    s.LogHandler: (0xED0A034, 0x898F195, 0xDA882A8),
    s.StdoutHandler: (0xABD6EE, 0x8FB38A4, 0x618CDA8),
    s.ConsoleHandler: (0x657EA3E, 0x8438060, 0x1815032),
    s.FileHandler: (0x6D8A223, 0x70179C, 0x377DBCF),
    s.RotatingFileHandler: (0x2A7620A, 0xC011A13, 0x305A5E5),
    s.ColorScheme: (0x1F3EB33, 0x769CA9F, 0x8E69EE),
}


def hostile_state(n):
    return st.one_of(
        st.lists(HOSTILE, min_size=n - 1, max_size=n + 1).map(tuple),
        st.tuples(*[st.sampled_from([True, 2, "p", 3]) for _ in range(n)], HOSTILE),
    )


@pytest.mark.parametrize("cls", list(CHECKSUMS), ids=lambda c: c.__name__)
@FAST
@given(data=st.data())
def test_setstate(cls, data):
    state = data.draw(hostile_state(len(FIELDS[cls])))
    obj = customised(cls)
    expected = snapshot(obj)
    error = handler_state(cls, state, expected)
    if error:
        raises_as(error, obj.__setstate__, state)
    else:
        assert obj.__setstate__(state) is None
    assert snapshot(obj) == expected


@pytest.mark.parametrize("cls", list(CHECKSUMS), ids=lambda c: c.__name__)
@FAST
@given(data=st.data())
def test_unpickle_function(cls, data):
    good = CHECKSUMS[cls]
    checksum = data.draw(
        st.one_of(st.sampled_from(good), st.sampled_from(good).map(IntSub), st.sampled_from(good).map(ViaInt), HOSTILE)
    )
    state = data.draw(st.one_of(st.none(), hostile_state(len(first_layout(cls))), HOSTILE))
    unpickle = getattr(s, f"__pyx_unpickle_{cls.__name__}")
    number = outcome(integer, checksum)
    if number[0] == "ok" and not -(2**63) <= number[1] < 2**63:
        with pytest.raises(OverflowError):
            unpickle(cls, checksum, state)
    elif number[0] == "error":
        raises_as(number, unpickle, cls, checksum, state)
    elif state is not None and type(state) is not tuple:
        raises_as(
            (
                "error",
                TypeError,
                f"Argument '__pyx_state' has incorrect type (expected tuple, got " f"{tp_name(state)})",
            ),
            unpickle,
            cls,
            checksum,
            state,
        )
    elif number[1] not in good:
        text_ = (
            f"Incompatible checksums (0x{number[1] & 0xffffffff:x} vs (0x{good[0]:x}, 0x{good[1]:x}, "
            f"0x{good[2]:x}) = ({', '.join(first_layout(cls))}))"
        )
        raises_as(("error", pickle.PickleError, text_), unpickle, cls, checksum, state)
    else:  # a fresh allocation (texts None, numbers zero), then the state
        expected = {n: viewed(k, {"text": None, "truth": False}.get(k, 0)) for n, k in FIELDS[cls].items()}
        error = handler_state(cls, state, expected, by_length=False) if state is not None else None
        if error:
            raises_as(error, unpickle, cls, checksum, state)
        else:
            assert snapshot(unpickle(cls, checksum, state)) == expected


def expected_logger(args):
    int32(args.get("level", 0))
    bool(args.get("set_default", False))
    bool(args.get("intercept_stdlib_logging", True))
    text(args["name"], "name")
    if "pattern" in args:
        text(args["pattern"], "pattern")
    handlers = args.get("handlers", [])
    if handlers is not None and type(handlers) is not list:
        raise TypeError(f"Argument 'handlers' has incorrect type (expected list, got {tp_name(handlers)})")
    scheme = args.get("color_scheme")
    if scheme is not None and not isinstance(scheme, s.ColorScheme):
        raise TypeError(
            "Argument 'color_scheme' has incorrect type (expected zelvar.scrivo.scrivo.ColorScheme, "
            f"got {tp_name(scheme)})"
        )
    filter_ = args.get("filter")
    if filter_ is not None and not callable(filter_):
        raise TypeError(f"Argument 'filter' has incorrect type (expected callable, got {tp_name(filter_)})")
    name = none_text(args["name"])  # before any sink exists
    if not handlers:
        none_text(args.get("pattern", ""))  # the default sink's pattern
    else:  # no element drawn here has a sink kind (a plain LogHandler has none either)
        raise TypeError("Unknown handler type")
    if not name:
        raise ValueError("an unnamed logger denotes the process default; build it with make_default")


@FAST
@given(data=st.data())
def test_logger_construction(data):
    names = data.draw(
        st.lists(
            st.sampled_from(
                ["level", "pattern", "handlers", "color_scheme", "set_default", "intercept_stdlib_logging", "filter"]
            ),
            max_size=3,
            unique=True,
        )
    )
    args = {"name": data.draw(st.one_of(TEXTS, HOSTILE), label="name")}
    pools = {
        "set_default": st.sampled_from([False, 0, "", BadBool(False), BadBool(ZeroDivisionError())]),
        "handlers": st.one_of(st.sampled_from([None, [], (), [s.LogHandler()]]), HOSTILE),
        "color_scheme": st.one_of(st.builds(s.ColorScheme), HOSTILE),
    }
    args.update({name: data.draw(pools.get(name, HOSTILE), label=name) for name in names})
    expected = outcome(expected_logger, args)
    if expected[0] == "error":
        raises_as(expected, s.Logger, **args)
    else:
        assert isinstance(s.Logger(**args), s.Logger)


QUIET = s.Logger("hostile", level=Level.OFF)  # converts and encodes everything, writes nothing


@pytest.mark.parametrize("method", ["trace", "debug", "info", "warn", "error", "critical"])
@FAST
@given(msg=st.one_of(TEXTS, HOSTILE), colours=st.lists(HOSTILE, max_size=3))
def test_log_methods(method, msg, colours):
    expected = outcome(lambda: (text(msg, "msg"), [int32(c) for c in colours], none_text(msg)))
    if expected[0] == "ok":
        assert getattr(QUIET, method)(msg, *colours) is None
    else:
        raises_as(expected, getattr(QUIET, method), msg, *colours)


# --- bridge: constructors ----------------------------------------------------------------------------

LOOP = asyncio.new_event_loop()  # given to AsyncQueue, never run
RING_PARAMS = {  # class -> its parameters after the required ones, and the required ones
    SPSCQueue: (["slot_size", "capacity", "overwrite", "zerocopy", "block_on_full"], {}),
    f.NexoPipe: (["capacity", "slot_size", "zerocopy", "overwrite", "block_on_full", "variable_size"], {}),
    f.SyncDispatcher: (
        ["capacity", "slot_size", "zerocopy", "overwrite", "block_on_full", "variable_size", "detach", "nonblocking"],
        {"callback": print},
    ),
    f.AsyncDispatcher: (["capacity", "slot_size", "overwrite", "zerocopy", "variable_size"], {"callback": print}),
    f.AsyncQueue: (["slot_size", "capacity", "overwrite", "zerocopy", "block_on_full"], {"loop": LOOP}),
}


def expected_ring(cls, args):
    sizes = {}
    for name in RING_PARAMS[cls][0]:
        if name in ("slot_size", "capacity"):
            sizes[name] = size(args[name])
        elif name in args:
            sizes[name] = bool(args[name])
    slot, capacity = sizes["slot_size"], sizes["capacity"]
    for name in ("slot_size", "capacity"):  # the ring's own checks: zero sizes, then its bytes
        if sizes[name] == 0:
            raise ValueError(f"{name} must be at least 1")
    slots = 1 << (capacity - 1).bit_length()  # a power of two; two at least when overwriting
    if max(slot, capacity) > 2**30 or max(slots, 2 * sizes.get("overwrite", False)) * ((slot + 15) // 8 * 8) > 2**30:
        raise ValueError("ring too large")
    return sizes


@pytest.mark.parametrize("cls", list(RING_PARAMS), ids=lambda c: c.__name__)
@FAST
@given(data=st.data())
def test_ring_constructors(cls, data):
    params, required = RING_PARAMS[cls]
    args = {**required, "slot_size": 8, "capacity": 8}
    for name in data.draw(st.lists(st.sampled_from(params), min_size=1, max_size=2, unique=True)):
        args[name] = data.draw(RING_HOSTILE if name in ("slot_size", "capacity") else HOSTILE, label=name)
    expected = outcome(expected_ring, cls, args)
    if expected[0] == "ok":
        obj = cls(**args)
        if cls is SPSCQueue:
            assert (obj.slot_size, obj.capacity) == (
                expected[1]["slot_size"],
                1 << (expected[1]["capacity"] - 1).bit_length(),
            )
        if cls is f.NexoPipe:
            assert native.pipe_entries(obj)[0] == ("push_var" if args.get("variable_size") else "push")
        return
    with pytest.raises(expected[1]) as info:
        cls(**args)
    assert str(info.value).startswith(expected[2])  # the "too large" text goes on with the sizes
    if cls in (f.AsyncQueue, f.NexoPipe):  # conversions and the ring come first: nothing is stored
        obj = cls(**{**required, "slot_size": 8, "capacity": 8})
        before = obj.__reduce__()[2] if cls is f.AsyncQueue else native.pipe_call(obj, "push", b"kept")
        with pytest.raises(expected[1]):
            obj.__init__(**args)
        if cls is f.AsyncQueue:
            assert all(a is b for a, b in zip(obj.__reduce__()[2], before, strict=False))
        else:
            assert native.pipe_call(obj, "pop") == (1, b"kept")


@pytest.mark.parametrize("cls", [f.SyncDispatcher, f.AsyncDispatcher], ids=lambda c: c.__name__)
@SLOW
@given(
    bad=st.one_of(
        st.tuples(
            st.sampled_from(["capacity", "slot_size"]), st.sampled_from([-1, 0, 2**64, "8", None, 2**40, IndexOnly(8)])
        ),
        st.tuples(st.sampled_from(["overwrite", "zerocopy", "variable_size"]), st.just(BadBool(ZeroDivisionError()))),
    )
)
def test_failed_reinit_leaves_a_dispatcher_as_it_was(cls, bad):
    got, done = [], threading.Event()

    def first(msg):
        got.append(msg)
        done.set()

    async def first_async(msg):
        first(msg)

    sync = cls is f.SyncDispatcher
    d = cls(first if sync else first_async, capacity=8, slot_size=16, **({"detach": False} if sync else {}))
    other = {"variable_size": True, **({"detach": True, "nonblocking": False} if sync else {})}
    with pytest.raises(Exception):  # noqa: B017 -- the exact errors are the constructors' (above)
        d.__init__(lambda m: got.append(("new", m)), **{**other, bad[0]: bad[1]})

    async def deliver():
        d.setup()
        assert native.push(d, b"after") == 1
        await asyncio.wait_for(asyncio.get_running_loop().run_in_executor(None, done.wait, 5), 6)

    if sync:
        d.setup()
        assert native.push(d, b"after") == 1 and done.wait(5)
    else:
        asyncio.run(deliver())
    d.close()
    assert got == [b"after"]  # same callback, same ring family, same modes


# --- bridge: pushes, loads, setup, AsyncQueue state -----------------------------------------------------


@pytest.mark.parametrize("family", ["try_push", "push", "try_push_var", "push_var"])
@FAST
@given(msg=MESSAGES)
def test_ring_pushes(family, msg):
    q = SPSCQueue(64, 4)  # fixed slots of 64 bytes; a variable-size ring of 4 x 72 bytes
    pop, limit = (q.try_pop_var, 280) if "var" in family else (q.try_pop, 64)
    expected = outcome(simple_buffer, msg)
    if expected[0] == "error":
        raises_as(expected, getattr(q, family), msg)
        assert pop() is None
        return
    fits = len(expected[1]) <= limit
    assert getattr(q, family)(msg) == (1 if fits else -2)
    assert pop() == (expected[1] if fits else None)


def utf8(m):
    if isinstance(m, str):  # subclasses too
        return m.encode()
    raise TypeError(f"Argument 'msg' has incorrect type (expected str, got {tp_name(m)})")


@pytest.mark.parametrize("method, model", [("push_str", utf8), ("push_obj", object_bytes), ("push_buf", simple_buffer)])
@FAST
@given(msg=MESSAGES)
def test_async_queue_pushes(method, model, msg):
    expected = outcome(model, msg)

    async def run():
        q = f.AsyncQueue(slot_size=64, capacity=4)
        push = getattr(q, method)
        if expected[0] == "error":
            with pytest.raises(Exception) as info:
                await push(msg)
            assert (type(info.value), str(info.value)) == expected[1:]
        else:
            fits = len(expected[1]) <= 64
            assert await push(msg) is fits
            if fits:
                assert await q.pop() == expected[1]
        assert await q.push_buf(b"next") is True  # nothing else was stored
        assert await q.pop() == b"next"

    asyncio.run(run())


def load_model(kind, obj):
    if kind == 4:
        kind = (
            0
            if isinstance(obj, bytes)
            else 1
            if isinstance(obj, str)
            else 2
            if outcome(memoryview, obj)[0] == "ok"
            else 3
        )
    if kind == 0:
        return bytes(memoryview(obj))  # the contents, never __bytes__
    if kind == 1:
        if not isinstance(obj, str):
            raise TypeError("bad argument type for built-in operation")
        return obj.encode()
    return simple_buffer(obj) if kind == 2 else object_bytes(obj)


@pytest.mark.parametrize("kind", [0, 1, 2, 3, 4])
@FAST
@given(obj=MESSAGES)
def test_buffer_view_loads(kind, obj):
    if kind == 0 and not isinstance(obj, bytes):
        return  # kind 0 trusts its caller to pass bytes
    view = f.CBufferView(kind)
    native.load(view, "before" if kind == 1 else b"before")
    before = native.view_state(view)
    expected = outcome(load_model, kind, obj)
    if expected[0] == "ok":
        assert native.load(view, obj) == expected[1]
        return
    raises_as(expected, native.load, view, obj)
    null_data, size_, _, held, holder = native.view_state(view)
    assert not held and holder is None  # a failed load keeps nothing of the message
    if kind == 1 or (kind == 4 and isinstance(obj, str)):  # data is written first, size only on success
        assert null_data and size_ == before[1]


@SLOW
@given(
    host=st.one_of(
        st.sampled_from(["127.0.0.1", "localhost", "\0", "\ud800", "no such host", "::1"]), TEXTS.map(StrSub), HOSTILE
    ),
    recvbuf=st.one_of(st.sampled_from([0, -5, 4096, 2**31 - 1]), HOSTILE),
)
@example(host="no such host", recvbuf=0)  # a socket made, its binding refused
def test_dispatcher_setup_arguments(host, recvbuf):
    got, done = [], threading.Event()
    d = f.SyncDispatcher(lambda m: (got.append(m), done.set()), capacity=8, slot_size=16, detach=False)

    def model():
        if type(host) is not str:  # None is no host either
            raise TypeError(f"Argument 'host' has incorrect type (expected str, got {tp_name(host)})")
        return int32(recvbuf)

    argument = outcome(model)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", ResourceWarning)
        if argument[0] == "error":
            raises_as(argument, d.setup, host, recvbuf)
            d.setup()  # nothing was started: the dispatcher sets up as if new
        else:
            try:
                d.setup(host, recvbuf)
            except (OSError, TypeError):  # the socket module's own refusal of the host
                assert host not in ("127.0.0.1", "localhost")
                d.setup()  # the failed binding started nothing, and its socket is closed now
        gc.collect()
    assert not [w for w in caught if issubclass(w.category, ResourceWarning)]
    assert native.push(d, b"bell") == 1 and done.wait(5)
    d.close()
    assert got == [b"bell"]


def ring_or_none(v):
    if v is None or isinstance(v, SPSCQueue):
        return v
    raise TypeError(f"Cannot convert {tp_name(v)} to zelvar.spsc_queue.spsc_queue.SPSCQueue")


def reduced_state(obj):
    """The state __reduce__ gives: the triple's third item, or inside the pair's arguments when
    nothing in it calls for __setstate__ (every object field None)."""
    reduced = obj.__reduce__()
    return reduced[2] if len(reduced) == 3 else reduced[1][2]


@FAST
@given(state=st.lists(HOSTILE, min_size=6, max_size=8).map(tuple), ring=st.one_of(st.none(), st.just("ring"), HOSTILE))
def test_async_queue_setstate(state, ring):
    state = state[:4] + (SPSCQueue(8, 4) if ring == "ring" else ring,) + state[4:]
    q = f.AsyncQueue(loop=LOOP)
    keep = lambda v: v  # noqa: E731
    rules = list(zip(range(7), [keep] * 4 + [ring_or_none, bool, keep], strict=False))
    expected = dict(enumerate(reduced_state(q)))
    error = apply_state(rules, state, expected, "zelvar.utils.ferrix.ferrix.AsyncQueue")
    if error:
        raises_as(error, q.__setstate__, state)
    else:
        assert q.__setstate__(state) is None
    after = reduced_state(q)
    assert all(after[i] is expected[i] or (i == 5 and after[i] == expected[i]) for i in range(7))
