"""Hostile values on every path of the logging module that converts Python input: handler and colour
scheme properties, initialisers and pickle states, the logger's constructor and its logging
methods. Each value gets exactly the error (type and text) or result the model in hostile_model
says, and an object that refuses a value keeps what it had (pickle states apply field by field, as
documented)."""

import pickle

import pytest
from hostile_model import (
    FAST,
    HOSTILE,
    TEXTS,
    BadBool,
    IntSub,
    ViaInt,
    apply_state,
    int32,
    integer,
    level_member,
    none_text,
    outcome,
    raises_as,
    size,
    text,
    tp_name,
)
from hypothesis import given
from hypothesis import strategies as st

from zelvar.scrivo import scrivo as s
from zelvar.scrivo.scrivo import Level

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
