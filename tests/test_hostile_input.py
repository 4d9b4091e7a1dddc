"""Hostile values on every path that converts Python input. A small model of each conversion rule
says what must happen; every value gets exactly that error (type and text) or that result, and an
object that refuses a value keeps what it had (pickle states excepted: they apply field by field)."""
import array
import asyncio
import ctypes
import pickle
import threading

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

from zelvar import _testing as native
from zelvar.scrivo import scrivo as s
from zelvar.scrivo.scrivo import Level
from zelvar.spsc_queue.spsc_queue import SPSCQueue
from zelvar.utils.ferrix import ferrix as f

FAST = settings(max_examples=100, deadline=None, suppress_health_check=[HealthCheck.too_slow])
SLOW = settings(max_examples=25, deadline=None, suppress_health_check=[HealthCheck.too_slow])


# --- hostile values ----------------------------------------------------------------------------------

class IntSub(int):
    """An int whose every protocol lies or raises: only its value may count."""
    def __int__(self): return 7
    def __index__(self): return 7
    def __lt__(self, other): return False
    def __gt__(self, other): return True
    def __bool__(self): raise ArithmeticError("lying int")


class ViaInt:
    """__int__ returns (or raises) whatever it was made with."""
    def __init__(self, result): self.result = result
    def __int__(self):
        if isinstance(self.result, BaseException):
            raise self.result
        return self.result


class IndexOnly:
    def __init__(self, n): self.n = n
    def __index__(self): return self.n


class BadBool:
    def __init__(self, result): self.result = result
    def __bool__(self):
        if isinstance(self.result, BaseException):
            raise self.result
        return self.result


class BadBytes:
    def __init__(self, result): self.result = result
    def __bytes__(self):
        if isinstance(self.result, BaseException):
            raise self.result
        return self.result


class StrSub(str):
    pass


class BytesSub(bytes):
    def __bytes__(self): return b"not the contents"


BOUNDS = [0, 1, -1, 6, 7, 2**31 - 1, 2**31, -2**31, -2**31 - 1, 2**63, 2**64 - 1, 2**64, -2**64, 2**200]
TEXTS = st.one_of(st.text(max_size=20), st.sampled_from(["", "a\0b", "\ud800", "x\udfff", "é" * 300]))


def hostile(ints=st.one_of(st.sampled_from(BOUNDS), st.integers())):
    return st.one_of(
        ints, ints.map(IntSub), st.booleans(), st.floats(), ints.map(ViaInt), ints.map(IndexOnly),
        st.sampled_from(["3", 2.5, None, ValueError("no int"), ZeroDivisionError()]).map(ViaInt),
        TEXTS, TEXTS.map(StrSub), st.binary(max_size=8), st.binary(max_size=8).map(BytesSub),
        st.sampled_from([True, False, 1, ZeroDivisionError("no truth")]).map(BadBool),
        st.none(), st.builds(object), st.lists(st.integers(-1, 256), max_size=3),
    )


HOSTILE = hostile()
# Ring sizes: every hostile form, but only sizes whose ring is tiny or refused (no 1 GiB rings).
RING_HOSTILE = hostile(st.sampled_from([0, 1, 3, 8, 64, -1, 2**30 + 1, 2**40, 2**64 - 1, 2**64, -2**70]))


# --- the model of each rule -------------------------------------------------------------------------

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


def int32(v, message="value too large to convert to int"):
    n = integer(v)
    if not -2**31 <= n < 2**31:
        raise OverflowError(message)
    return n


def size(v):
    n = integer(v)
    if n < 0:
        raise OverflowError("can't convert negative value to size_t")
    if n >= 2**64:
        raise OverflowError("value too large to convert to size_t")
    return n


def text(v):
    if v is None or type(v) is str:
        return v
    raise TypeError(f"Expected str, got {tp_name(v)}")


def text_argument(name):
    def check(v):
        if v is None or type(v) is str:
            return v
        raise TypeError(f"Argument '{name}' has incorrect type (expected str, got {tp_name(v)})")
    return check


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
    if hasattr(type(obj), "__bytes__") or isinstance(obj, (list, tuple)):
        return bytes(obj)
    try:
        return memoryview(obj).tobytes()  # any buffer, contiguous or not
    except TypeError:
        raise TypeError(f"cannot convert '{tp_name(obj)}' object to bytes") from None


def tp_name(v):
    """The type name the interpreter's messages use: dotted for static types outside builtins."""
    t = type(v)
    if t.__module__ in ("builtins", __name__, "ctypes"):  # classes made by Python code name themselves
        return t.__name__
    return f"{t.__module__}.{t.__name__}"


def outcome(fn, *args):
    try:
        return ("ok", fn(*args))
    except Exception as e:  # noqa: BLE001 - the outcome is the exception
        return ("error", type(e), str(e))


def raises_as(expected, fn, *args, **kwargs):
    """Calls fn and checks it fails exactly as `expected` (an error outcome) says."""
    with pytest.raises(Exception) as info:
        fn(*args, **kwargs)
    assert (type(info.value), str(info.value)) == expected[1:]


# --- logging module: properties, initialisers, pickle states -------------------------------------------

RULES = {"truth": bool, "text": text, "level": int32, "size": size, "int": int32}
VIEWS = {"truth": lambda v: v, "text": lambda v: v, "level": level_member, "size": lambda v: v, "int": lambda v: v}
COLORS = ["trace_color", "debug_color", "info_color", "warn_color", "error_color", "critical_color"]
FIELDS = {
    s.LogHandler: {"color": "truth", "pattern": "text", "level": "level"},
    s.ColorScheme: dict.fromkeys(COLORS, "int"),
}
FIELDS[s.StdoutHandler] = {**FIELDS[s.LogHandler], "max_level": "level"}
FIELDS[s.StderrHandler] = FIELDS[s.BasicConsoleHandler] = FIELDS[s.LogHandler]
FIELDS[s.ConsoleHandler] = {**FIELDS[s.LogHandler], "max_stdout_level": "level", "min_level": "level"}
FIELDS[s.FileHandler] = {**FIELDS[s.LogHandler], "filename": "text", "overwrite": "truth"}
FIELDS[s.RotatingFileHandler] = {**FIELDS[s.FileHandler], "max_size": "size", "max_files": "size"}
# Constructor parameters in order; defaults of the fields a call leaves out.
PARAMS = {
    s.LogHandler: ["color", "pattern", "level"], s.StderrHandler: ["color", "pattern", "level"],
    s.BasicConsoleHandler: ["color", "pattern", "level"], s.StdoutHandler: ["color", "pattern", "level", "max_level"],
    s.ConsoleHandler: ["color", "pattern", "max_stdout_level", "min_level"],
    s.FileHandler: ["filename", "color", "pattern", "level", "overwrite"],
    s.RotatingFileHandler: ["filename", "pattern", "level", "max_size", "max_files"], s.ColorScheme: COLORS,
}
PATTERN = "[%Y-%m-%d %H:%M:%S.%e] [%n] [%^%l%$] %v"
DEFAULTS = {"color": False, "pattern": PATTERN, "level": 0, "max_level": 2, "max_stdout_level": 2, "min_level": 0,
            "filename": "app.log", "overwrite": False, "max_size": 1048576, "max_files": 3, **dict.fromkeys(COLORS, -1)}
CLASS_DEFAULTS = {s.LogHandler: {"color": True}, s.ConsoleHandler: {"color": True}, s.StderrHandler: {"level": 3}}
# Classes whose initialiser hands its level to the base as a Level member (so 0..6 only).
MEMBER_LEVEL = {s.StdoutHandler, s.StderrHandler, s.BasicConsoleHandler, s.FileHandler, s.RotatingFileHandler}


def snapshot(obj):
    return {name: outcome(getattr, obj, name) for name in FIELDS[type(obj)]}


def viewed(kind, value):
    return outcome(VIEWS[kind], value)


def customised(cls):
    """An object whose every field differs from its defaults."""
    obj = cls("old.log") if cls in (s.FileHandler, s.RotatingFileHandler) else cls()
    for name, kind in FIELDS[cls].items():
        setattr(obj, name, {"truth": True, "text": "old", "level": 4, "size": 11, "int": 5}[kind])
    return obj


@pytest.mark.parametrize("cls, name", [(cls, name) for cls in [s.LogHandler, s.StdoutHandler, s.ConsoleHandler,
                                                               s.RotatingFileHandler, s.ColorScheme]
                                       for name in FIELDS[cls]])
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
        return
    setattr(obj, name, value)
    assert snapshot(obj) == {**before, name: viewed(kind, expected[1])}
    if kind == "text":
        assert getattr(obj, name) is value


def expected_init(cls, given):
    """The fields after cls(**given), or the error: conversions in parameter order, then the text
    checks, then the level handed to the base initialiser."""
    values = {**DEFAULTS, **CLASS_DEFAULTS.get(cls, {})}
    kinds = FIELDS[cls]
    for name in PARAMS[cls]:
        if name in given and kinds[name] != "text":
            values[name] = RULES[kinds[name]](given[name])
    for name in PARAMS[cls]:
        if name in given and kinds[name] == "text":
            values[name] = text_argument(name)(given[name])
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
    given_args = {name: data.draw(HOSTILE, label=name) for name in names}
    if cls in (s.FileHandler, s.RotatingFileHandler):
        given_args.setdefault("filename", "app.log")
    obj = customised(cls)
    before = snapshot(obj)
    expected = outcome(expected_init, cls, given_args)
    if expected[0] == "error":
        raises_as(expected, cls, **given_args)
        raises_as(expected, obj.__init__, **given_args)
        assert snapshot(obj) == before  # a failed re-initialisation stores nothing
    else:
        assert snapshot(cls(**given_args)) == expected[1]
        obj.__init__(**given_args)
        assert snapshot(obj) == expected[1]


STATE = {cls: sorted(FIELDS[cls]) for cls in FIELDS}
CHECKSUMS = {
    s.LogHandler: (0xed0a034, 0x898f195, 0xda882a8), s.StdoutHandler: (0xabd6ee, 0x8fb38a4, 0x618cda8),
    s.ConsoleHandler: (0x657ea3e, 0x8438060, 0x1815032), s.FileHandler: (0x6d8a223, 0x70179c, 0x377dbcf),
    s.RotatingFileHandler: (0x2a7620a, 0xc011a13, 0x305a5e5), s.ColorScheme: (0x1f3eb33, 0x769ca9f, 0x8e69ee),
}


def apply_state(cls, values, state):
    """Fields in state order, each kept once assigned; returns the error that stopped it, if any."""
    for i, name in enumerate(STATE[cls]):
        if i >= len(state):
            return ("error", IndexError, "tuple index out of range")
        converted = outcome(RULES[FIELDS[cls][name]], state[i])
        if converted[0] == "error":
            return converted
        values[name] = viewed(FIELDS[cls][name], converted[1])
    if len(state) > len(STATE[cls]):
        truth = outcome(bool, state[len(STATE[cls])])
        if truth[0] == "error":
            return truth
        if truth[1]:
            return ("error", AttributeError, f"'{cls.__module__}.{cls.__name__}' object has no attribute '__dict__'")
    return None


def hostile_state(cls):
    n = len(STATE[cls])
    return st.one_of(st.lists(HOSTILE, min_size=n - 1, max_size=n + 1).map(tuple),
                     st.tuples(*[st.sampled_from([True, 2, "p", 3]) for _ in range(n)], HOSTILE))


@pytest.mark.parametrize("cls", list(CHECKSUMS), ids=lambda c: c.__name__)
@FAST
@given(data=st.data())
def test_setstate(cls, data):
    state = data.draw(hostile_state(cls))
    obj = customised(cls)
    expected = snapshot(obj)
    error = apply_state(cls, expected, state)
    if error:
        raises_as(error, obj.__setstate__, state)
    else:
        assert obj.__setstate__(state) is None
    assert snapshot(obj) == expected


def allocated(cls):
    values = {name: {"truth": False, "text": None, "level": 0, "size": 0, "int": 0}[kind]
              for name, kind in FIELDS[cls].items()}
    return {name: viewed(FIELDS[cls][name], v) for name, v in values.items()}


@pytest.mark.parametrize("cls", list(CHECKSUMS), ids=lambda c: c.__name__)
@FAST
@given(data=st.data())
def test_unpickle_function(cls, data):
    good = CHECKSUMS[cls]
    checksum = data.draw(st.one_of(st.sampled_from(good), st.sampled_from(good).map(IntSub),
                                   st.sampled_from(good).map(ViaInt), HOSTILE))
    state = data.draw(st.one_of(st.none(), hostile_state(cls), HOSTILE))
    unpickle = getattr(s, f"__pyx_unpickle_{cls.__name__}")
    number = outcome(integer, checksum)
    if number[0] == "ok" and not -2**63 <= number[1] < 2**63:
        with pytest.raises(OverflowError):
            unpickle(cls, checksum, state)
        return
    if number[0] == "error":
        raises_as(number, unpickle, cls, checksum, state)
        return
    if state is not None and type(state) is not tuple:
        raises_as(("error", TypeError, f"Argument '__pyx_state' has incorrect type (expected tuple, got "
                                       f"{tp_name(state)})"), unpickle, cls, checksum, state)
        return
    if number[1] not in good:
        members = ", ".join(STATE[cls])
        text_ = (f"Incompatible checksums (0x{number[1] & 0xffffffff:x} vs (0x{good[0]:x}, 0x{good[1]:x}, "
                 f"0x{good[2]:x}) = ({members}))")
        raises_as(("error", pickle.PickleError, text_), unpickle, cls, checksum, state)
        return
    expected = allocated(cls)
    error = apply_state(cls, expected, state) if state is not None else None
    if error:
        raises_as(error, unpickle, cls, checksum, state)
    else:
        assert snapshot(unpickle(cls, checksum, state)) == expected


LOGGER_PARAMS = ["name", "level", "pattern", "handlers", "color_scheme", "set_default", "intercept_stdlib_logging"]


def expected_logger(args):
    int32(args.get("level", 0))
    bool(args.get("set_default", False))
    bool(args.get("intercept_stdlib_logging", True))
    text_argument("name")(args["name"])
    if "pattern" in args:
        text_argument("pattern")(args["pattern"])
    handlers = args.get("handlers", [])
    if handlers is not None and type(handlers) is not list:
        raise TypeError(f"Argument 'handlers' has incorrect type (expected list, got {tp_name(handlers)})")
    scheme = args.get("color_scheme")
    if scheme is not None and not isinstance(scheme, s.ColorScheme):
        raise TypeError("Argument 'color_scheme' has incorrect type (expected zelvar.scrivo.scrivo.ColorScheme, "
                        f"got {tp_name(scheme)})")
    # The name is encoded first: no sink exists for a call that fails on it.
    if args["name"] is None:
        raise AttributeError("'NoneType' object has no attribute 'encode'")
    name = args["name"].encode()
    if not handlers:  # the default sink's pattern
        pattern = args.get("pattern", "")
        if pattern is None:
            raise AttributeError("'NoneType' object has no attribute 'encode'")
        pattern.encode()
    else:  # no element these tests draw has a sink kind (a plain LogHandler has none either)
        raise TypeError("Unknown handler type")
    if not name:  # refused by the build, once the sinks exist
        raise ValueError("an unnamed logger denotes the process default; build it with make_default")


@FAST
@given(data=st.data())
def test_logger_construction(data):
    names = data.draw(st.lists(st.sampled_from(LOGGER_PARAMS[1:]), max_size=3, unique=True))
    args = {"name": data.draw(st.one_of(TEXTS, HOSTILE), label="name")}
    for name in names:
        pool = {"set_default": st.sampled_from([False, 0, "", BadBool(False), BadBool(ZeroDivisionError())]),
                "handlers": st.one_of(st.sampled_from([None, [], (), [s.LogHandler()]]), HOSTILE),
                "color_scheme": st.one_of(st.builds(s.ColorScheme), HOSTILE)}.get(name, HOSTILE)
        args[name] = data.draw(pool, label=name)
    expected = outcome(expected_logger, args)
    if expected[0] == "error":
        if expected[1] is UnicodeEncodeError:
            with pytest.raises(UnicodeEncodeError):
                s.Logger(**args)
        else:
            raises_as(expected, s.Logger, **args)
    else:
        assert isinstance(s.Logger(**args), s.Logger)


QUIET = s.Logger("hostile", level=Level.OFF)  # converts and encodes everything, writes nothing


@pytest.mark.parametrize("method", ["trace", "debug", "info", "warn", "error", "critical"])
@FAST
@given(msg=st.one_of(TEXTS, HOSTILE), colours=st.lists(HOSTILE, max_size=3))
def test_log_methods(method, msg, colours):
    def model():
        text_argument("msg")(msg)
        for c in colours:
            int32(c)
        if msg is None:
            raise AttributeError("'NoneType' object has no attribute 'encode'")
        msg.encode()
    expected = outcome(model)
    call = getattr(QUIET, method)
    if expected[0] == "ok":
        assert call(msg, *colours) is None
    elif expected[1] is UnicodeEncodeError:
        with pytest.raises(UnicodeEncodeError):
            call(msg, *colours)
    else:
        raises_as(expected, call, msg, *colours)


# --- bridge: constructors ----------------------------------------------------------------------------

# Class -> its parameters (after any required ones) with their rule, and the arguments it needs.
RING_PARAMS = {
    SPSCQueue: (["slot_size", "capacity", "overwrite", "zerocopy", "block_on_full"], {}),
    f.NexoPipe: (["capacity", "slot_size", "zerocopy", "overwrite", "block_on_full", "variable_size"], {}),
    f.SyncDispatcher: (["capacity", "slot_size", "zerocopy", "overwrite", "block_on_full", "variable_size", "detach",
                        "nonblocking"], {"callback": print}),
    f.AsyncDispatcher: (["capacity", "slot_size", "overwrite", "zerocopy", "variable_size"], {"callback": print}),
    f.AsyncQueue: (["loop", "slot_size", "capacity", "overwrite", "zerocopy", "block_on_full"],
                   {"loop": asyncio.get_event_loop_policy().new_event_loop()}),
}


def expected_ring(cls, args):
    sizes = {}
    for name in RING_PARAMS[cls][0]:
        if name in ("slot_size", "capacity"):
            sizes[name] = size(args[name])
        elif name != "loop" and name in args:
            bool(args[name])
    for name in ("slot_size", "capacity"):  # the ring's own checks: zero sizes, then the total
        if sizes[name] == 0:
            raise ValueError(f"{name} must be at least 1")
    if max(sizes.values()) > 2**30:
        raise ValueError("ring too large")
    return sizes


@pytest.mark.parametrize("cls", list(RING_PARAMS), ids=lambda c: c.__name__)
@FAST
@given(data=st.data())
def test_ring_constructors(cls, data):
    params, required = RING_PARAMS[cls]
    args = {**required, "slot_size": 8, "capacity": 8}
    for name in data.draw(st.lists(st.sampled_from([p for p in params if p != "loop"]), min_size=1, max_size=2,
                                   unique=True)):
        args[name] = data.draw(RING_HOSTILE if name in ("slot_size", "capacity") else HOSTILE, label=name)
    expected = outcome(expected_ring, cls, args)
    if expected[0] == "ok":
        obj = cls(**args)
        if cls is SPSCQueue:
            assert (obj.slot_size, obj.capacity) == (expected[1]["slot_size"], 1 << (expected[1]["capacity"] - 1).bit_length())
        if cls is f.NexoPipe:
            assert native.pipe_entries(obj)[0] == ("push_var" if args.get("variable_size") else "push")
        return
    with pytest.raises(expected[1]) as info:
        cls(**args)
    assert str(info.value).startswith(expected[2])  # the ring's "too large" text goes on with the sizes
    if cls is f.AsyncQueue:  # the loop is given: a failing re-initialisation stores nothing
        q = f.AsyncQueue(loop=required["loop"], slot_size=8, capacity=8)
        before = q.__reduce__()[2]
        with pytest.raises(expected[1]):
            q.__init__(**args)
        assert all(a is b for a, b in zip(q.__reduce__()[2], before))


BAD_ARGUMENT = st.one_of(
    st.tuples(st.sampled_from(["capacity", "slot_size"]),
              st.sampled_from([-1, 0, 2**64, "8", None, 2**40, IndexOnly(8)]).map(lambda v: v)),
    st.tuples(st.sampled_from(["overwrite", "zerocopy", "variable_size"]), st.just(BadBool(ZeroDivisionError()))),
)


@pytest.mark.parametrize("cls", [f.SyncDispatcher, f.AsyncDispatcher], ids=lambda c: c.__name__)
@SLOW
@given(bad=BAD_ARGUMENT)
def test_failed_reinit_leaves_a_dispatcher_working(cls, bad):
    got, done = [], threading.Event()

    def first(msg):
        got.append(msg)
        done.set()

    async def first_async(msg):
        first(msg)

    callback = first if cls is f.SyncDispatcher else first_async
    extra = {"detach": False} if cls is f.SyncDispatcher else {}
    d = cls(callback, capacity=8, slot_size=16, **extra)
    changes = {"variable_size": True, **({"detach": True, "nonblocking": False} if extra else {})}
    with pytest.raises(Exception):
        d.__init__(lambda m: got.append(("new", m)), **{**changes, bad[0]: bad[1]})

    async def run():
        d.setup()
        assert native.push(d, b"after") == 1
        await asyncio.wait_for(asyncio.get_running_loop().run_in_executor(None, done.wait, 5), 6)

    if cls is f.SyncDispatcher:
        d.setup()
        assert native.push(d, b"after") == 1
        assert done.wait(5)
    else:
        asyncio.run(run())
    d.close()
    assert got == [b"after"]


# --- bridge: pushes and loads ------------------------------------------------------------------------

NON_CONTIGUOUS = st.builds(lambda b, step: memoryview(b)[::step], st.binary(max_size=12), st.integers(2, 3))
MESSAGES = st.one_of(
    st.binary(max_size=300), st.binary(max_size=70).map(bytearray), st.binary(max_size=70).map(BytesSub),
    NON_CONTIGUOUS, st.lists(st.integers(-2**31, 2**31 - 1), max_size=20).map(lambda v: array.array("i", v)),
    st.lists(st.floats(allow_nan=False), max_size=9).map(lambda v: array.array("d", v)),
    st.lists(st.integers(0, 255), max_size=40).map(lambda v: (ctypes.c_ubyte * len(v))(*v)),
    st.lists(st.integers(-2**15, 2**15 - 1), min_size=1, max_size=9).map(lambda v: (ctypes.c_short * len(v))(*v)),
    st.sampled_from([BadBytes(b"by method"), BadBytes("str"), BadBytes(KeyError("x"))]), TEXTS, HOSTILE,
)


@pytest.mark.parametrize("family", ["try_push", "push", "try_push_var", "push_var"])
@FAST
@given(msg=MESSAGES)
def test_ring_pushes(family, msg):
    q = SPSCQueue(64, 4)  # fixed slots of 64 bytes; a variable-size ring of 4 * 72 bytes
    expected = outcome(simple_buffer, msg)
    push = getattr(q, family)
    if expected[0] == "error":
        raises_as(expected, push, msg)
        assert q.try_pop_var() is None if "var" in family else q.try_pop() is None
        return
    limit = 280 if "var" in family else 64
    assert push(msg) == (1 if len(expected[1]) <= limit else -2)
    pop = q.try_pop_var if "var" in family else q.try_pop
    assert pop() == (expected[1] if len(expected[1]) <= limit else None)


@pytest.fixture(scope="module")
def loop():
    lp = asyncio.new_event_loop()
    yield lp
    lp.close()


def utf8(m):
    if isinstance(m, str):  # subclasses too
        return m.encode()
    raise TypeError(f"Argument 'msg' has incorrect type (expected str, got {tp_name(m)})")


@pytest.mark.parametrize("method, model", [
    ("push_str", utf8),
    ("push_obj", object_bytes), ("push_buf", simple_buffer)])
@FAST
@given(msg=MESSAGES)
def test_async_queue_pushes(loop, method, model, msg):
    expected = outcome(model, msg)

    async def run():
        q = f.AsyncQueue(slot_size=64, capacity=4)
        if expected[0] == "error" and expected[1] is UnicodeEncodeError:
            with pytest.raises(UnicodeEncodeError):
                await getattr(q, method)(msg)
        elif expected[0] == "error":
            with pytest.raises(Exception) as info:
                await getattr(q, method)(msg)
            assert (type(info.value), str(info.value)) == expected[1:]
        else:
            assert await getattr(q, method)(msg) is (len(expected[1]) <= 64)
            if len(expected[1]) <= 64:
                assert await q.pop() == expected[1]
        assert await q.push_buf(b"next") is True  # nothing was stored before it
        assert await q.pop() == b"next"

    loop.run_until_complete(run())


def load_model(kind, obj):
    if kind == 4:
        kind = 0 if isinstance(obj, bytes) else 1 if isinstance(obj, str) else 2 if outcome(memoryview, obj)[0] == "ok" else 3
    if kind == 0:
        return bytes.__bytes__(obj) if hasattr(bytes, "__bytes__") else bytes(memoryview(obj))
    if kind == 1:
        if not isinstance(obj, str):
            raise TypeError("bad argument type for built-in operation")
        return obj.encode()
    return simple_buffer(obj) if kind == 2 else object_bytes(obj)


@pytest.mark.parametrize("kind", [1, 2, 3, 4, 0])
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
    if expected[1] is UnicodeEncodeError:
        with pytest.raises(UnicodeEncodeError):
            native.load(view, obj)
    else:
        raises_as(expected, native.load, view, obj)
    null_data, size_, _, held, holder = native.view_state(view)
    assert not held and holder is None  # a failed load keeps nothing of the message
    if kind == 1 or (kind == 4 and isinstance(obj, str)):  # data is written first, size only on success
        assert null_data and size_ == before[1]


@SLOW
@given(host=st.one_of(st.sampled_from(["127.0.0.1", "localhost", "\0", "\ud800", "no such host", "::1"]),
                      TEXTS.map(StrSub), HOSTILE),
       recvbuf=st.one_of(st.sampled_from([0, -5, 4096, 2**31 - 1]), HOSTILE))
def test_dispatcher_setup_arguments(host, recvbuf):
    got, done = [], threading.Event()
    d = f.SyncDispatcher(lambda m: (got.append(m), done.set()), capacity=8, slot_size=16, detach=False)
    argument = ("error", TypeError, f"Argument 'host' has incorrect type (expected str, got {tp_name(host)})") \
        if type(host) is not str else outcome(int32, recvbuf)
    if argument[0] == "error":
        raises_as(argument, d.setup, host, recvbuf)
        d.setup()  # nothing was started: the dispatcher sets up as if new
    else:
        try:
            d.setup(host, recvbuf)
        except (OSError, TypeError):  # the socket module's own refusal of the host
            assert host not in ("127.0.0.1", "localhost")
            d.setup()
    assert native.push(d, b"bell") == 1 and done.wait(5)
    d.close()
    assert got == [b"bell"]


@FAST
@given(blocking=HOSTILE, recvbuf=st.one_of(st.sampled_from([0, -1, 65536]), HOSTILE))
def test_setup_socket_arguments(blocking, recvbuf):
    expected = outcome(lambda: (bool(blocking), int32(recvbuf)))
    if expected[0] == "error":
        raises_as(expected, f.setup_socket, blocking, recvbuf)
        return
    with f.setup_socket(blocking, recvbuf) as sock:
        assert sock.getblocking() is bool(blocking)


@FAST
@given(state=st.lists(HOSTILE, min_size=6, max_size=8).map(tuple), ring=st.one_of(st.none(), st.just("ring"), HOSTILE))
def test_async_queue_setstate(loop, state, ring):
    ring = SPSCQueue(8, 4) if ring == "ring" else ring
    state = state[:4] + (ring,) + state[4:]
    q = f.AsyncQueue(loop=loop)
    before = list(q.__reduce__()[2])
    expected = list(before)
    for i, value in enumerate(state[:7]):
        if i == 4 and value is not None and not isinstance(value, SPSCQueue):
            error = ("error", TypeError, f"Cannot convert {tp_name(value)} to zelvar.spsc_queue.spsc_queue.SPSCQueue")
            break
        result = outcome(bool, value) if i == 5 else ("ok", value)
        if result[0] == "error":
            error = result
            break
        expected[i] = result[1]
    else:
        error = ("error", IndexError, "tuple index out of range") if len(state) < 7 else None
        if error is None and len(state) > 7:
            truth = outcome(bool, state[7])
            error = truth if truth[0] == "error" else (
                ("error", AttributeError, "'zelvar.utils.ferrix.ferrix.AsyncQueue' object has no attribute '__dict__'")
                if truth[1] else None)
    if error:
        raises_as(error, q.__setstate__, state)
    else:
        q.__setstate__(state)
    after = q.__reduce__()[2]
    assert all(a is b or (i == 5 and a == b) for i, (a, b) in enumerate(zip(after, expected)))
