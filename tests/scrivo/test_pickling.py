"""Pickling and copying of handler descriptions and colour schemes."""

import copy
import hashlib
import pickle

import pytest

from zelvar.scrivo import scrivo as s
from zelvar.scrivo.scrivo import Level

STATE_FIELDS = {
    s.LogHandler: ["color", "level", "pattern"],
    s.StderrHandler: ["color", "level", "pattern"],
    s.BasicConsoleHandler: ["color", "level", "pattern"],
    s.StdoutHandler: ["color", "level", "max_level", "pattern"],
    s.ConsoleHandler: ["color", "level", "max_stdout_level", "min_level", "pattern"],
    s.FileHandler: ["color", "filename", "level", "overwrite", "pattern"],
    s.RotatingFileHandler: ["color", "filename", "level", "max_files", "max_size", "overwrite", "pattern"],
    s.JsonFileHandler: ["color", "filename", "level", "max_files", "max_size", "overwrite", "pattern"],
    s.JsonStdoutHandler: ["color", "level", "pattern"],
    s.JsonStderrHandler: ["color", "level", "pattern"],
    s.DailyFileHandler: ["color", "filename", "hour", "level", "max_files", "minute", "overwrite", "pattern"],
    s.SyslogHandler: ["address", "color", "facility", "ident", "level", "pattern", "protocol"],
    s.CallbackHandler: ["callable", "color", "level", "pattern"],
    s.ColorScheme: ["critical_color", "debug_color", "error_color", "info_color", "trace_color", "warn_color"],
}
CLASSES = list(STATE_FIELDS)
SAMPLES = {
    s.LogHandler: lambda: s.LogHandler(False, "%v", Level.ERROR),
    s.StderrHandler: lambda: s.StderrHandler(True, "%l %v", Level.CRITICAL),
    s.BasicConsoleHandler: lambda: s.BasicConsoleHandler(True, "%v", Level.INFO),
    s.StdoutHandler: lambda: s.StdoutHandler(True, "%v", Level.DEBUG, Level.WARN),
    s.ConsoleHandler: lambda: s.ConsoleHandler(False, "%v", Level.ERROR, Level.DEBUG),
    s.FileHandler: lambda: s.FileHandler("a.log", True, "%v", Level.WARN, True),
    s.RotatingFileHandler: lambda: s.RotatingFileHandler("r.log", "%v", Level.INFO, 2**64 - 1, 7),
    s.JsonFileHandler: lambda: s.JsonFileHandler("j.log", Level.ERROR, True, 4096, 5),
    s.JsonStdoutHandler: lambda: s.JsonStdoutHandler(Level.INFO),
    s.JsonStderrHandler: lambda: s.JsonStderrHandler(level=Level.ERROR),
    s.DailyFileHandler: lambda: s.DailyFileHandler("d.log", 23, 59, 7, "%v", Level.WARN),
    s.SyslogHandler: lambda: s.SyslogHandler(("logs.example", 6514), "local5", "app", "tcp", "%l %v", Level.INFO),
    s.CallbackHandler: lambda: s.CallbackHandler(print, Level.WARN),
    s.ColorScheme: lambda: s.ColorScheme(1, 2, 3, 4, 5, 6),
}


def digests(cls):
    text = " ".join(STATE_FIELDS[cls]).encode()
    return tuple(int(hashlib.new(algo, text).hexdigest()[:7], 16) for algo in ("sha256", "sha1", "md5"))


def unpickler(cls):
    return getattr(s, f"__pyx_unpickle_{cls.__name__}")


def state_of(obj, cls):
    return tuple(getattr(obj, name) for name in STATE_FIELDS[cls])


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_checksums_are_the_digests_of_the_field_names(cls):
    written, *_ = accepted = digests(cls)
    assert SAMPLES[cls]().__reduce__()[1][1] == written
    for checksum in accepted:
        assert type(unpickler(cls)(cls, checksum, None)) is cls
    with pytest.raises(pickle.PickleError) as info:
        unpickler(cls)(cls, 0x1234, None)
    expected = "Incompatible checksums (0x1234 vs (0x%x, 0x%x, 0x%x) = (%s))" % (
        *accepted,
        ", ".join(STATE_FIELDS[cls]),
    )
    assert str(info.value) == expected


def test_log_handler_checksums_literally():
    assert digests(s.LogHandler) == (0xED0A034, 0x898F195, 0xDA882A8)


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_reduce_forms(cls):
    obj = SAMPLES[cls]()
    reduced = obj.__reduce__()
    state = state_of(obj, cls)
    if cls is s.ColorScheme:
        assert reduced == (unpickler(cls), (cls, digests(cls)[0], state))
    else:
        if obj.pattern is not None:  # the JSON console handlers hold no text at all
            assert reduced == (unpickler(cls), (cls, digests(cls)[0], None), state)
            obj.pattern = None
        for name in ("filename", "address", "facility", "ident", "protocol"):
            if name in STATE_FIELDS[cls] and getattr(obj, name) is not None:
                assert len(obj.__reduce__()) == 3  # any text still asks for __setstate__
                setattr(obj, name, None)
        if cls is s.CallbackHandler:  # a callable, like a text, asks for __setstate__
            assert obj.__reduce__() == (unpickler(cls), (cls, digests(cls)[0], None), state_of(obj, cls))
        else:
            assert obj.__reduce__() == (unpickler(cls), (cls, digests(cls)[0], state_of(obj, cls)))


def test_color_scheme_state_order():
    assert s.ColorScheme(1, 2, 3, 4, 5, 6).__reduce__()[1][2] == (6, 2, 5, 3, 1, 4)


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_round_trips(cls, protocol):
    obj = SAMPLES[cls]()
    for clone in (pickle.loads(pickle.dumps(obj, protocol)), copy.copy(obj), copy.deepcopy(obj)):
        assert type(clone) is cls and clone is not obj
        assert state_of(clone, cls) == state_of(obj, cls)


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_python_subclass_keeps_type_and_attributes(cls):
    sub_cls = type("Sub" + cls.__name__, (cls,), {"__module__": __name__})
    globals()[sub_cls.__name__] = sub_cls  # picklable by reference
    obj = sub_cls.__new__(sub_cls)
    obj.__setstate__(state_of(SAMPLES[cls](), cls))
    obj.note = {"kept": [1, 2]}
    clone = pickle.loads(pickle.dumps(obj))
    assert type(clone) is sub_cls
    assert clone.note == {"kept": [1, 2]}
    assert state_of(clone, cls) == state_of(obj, cls)
    assert copy.deepcopy(obj).note == obj.note


def test_no_initialiser_runs_on_load():
    calls = []

    class Counting(s.LogHandler):
        def __init__(self, *args):
            calls.append(args)
            super().__init__(*args)

    globals()["Counting"] = Counting
    Counting.__qualname__ = "Counting"
    h = Counting()
    calls.clear()
    assert pickle.loads(pickle.dumps(h)).pattern == h.pattern
    assert calls == []


def test_unpickled_level_outside_members_and_reduce_error():
    h = s.LogHandler(level=9)
    with pytest.raises(ValueError, match="^9 is not a valid Level$"):
        pickle.dumps(h)


@pytest.mark.parametrize(
    "state, error, message",
    [
        (None, TypeError, "cannot pass None into a C function argument that is declared 'not None'"),
        ([True, 1, "p"], TypeError, "Expected tuple, got list"),
        ((True, 1), IndexError, "tuple index out of range"),
        ((True, "x", "p"), TypeError, "an integer is required"),
        ((True, 1, b"p"), TypeError, "Expected str, got bytes"),
    ],
)
def test_setstate_errors(state, error, message):
    h = s.LogHandler(False, "old", Level.ERROR)
    with pytest.raises(error) as info:
        h.__setstate__(state)
    assert str(info.value) == message


def test_setstate_stops_at_the_failing_field():
    h = s.LogHandler(False, "old", Level.ERROR)
    with pytest.raises(TypeError):
        h.__setstate__((True, Level.INFO, 5))
    assert (h.color, h.level, h.pattern) == (True, Level.INFO, "old")


def test_setstate_extra_element():
    h = s.LogHandler()
    with pytest.raises(AttributeError):
        h.__setstate__((True, 1, "p", {"x": 1}))  # no instance dict to update
    h.__setstate__((True, 1, "p", {}))  # a falsy extra element is ignored
    assert h.level is Level.DEBUG


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        (
            (s.LogHandler, 0xED0A034, []),
            {},
            TypeError,
            "Argument '__pyx_state' has incorrect type (expected tuple, got list)",
        ),
        (
            (s.LogHandler, 0xED0A034),
            {},
            TypeError,
            "__pyx_unpickle_LogHandler() takes exactly 3 positional arguments (2 given)",
        ),
        ((s.LogHandler, "x", None), {}, TypeError, "an integer is required"),
        ((), {"__pyx_type": s.LogHandler, "__pyx_checksum": 0xED0A034, "__pyx_state": (0, 1, "k")}, None, None),
        ((s.ColorScheme, 0xED0A034, None), {}, TypeError, None),  # not a subtype of LogHandler
    ],
)
def test_unpickle_function_arguments(args, kwargs, error, message):
    if error is None:
        h = s.__pyx_unpickle_LogHandler(*args, **kwargs)
        assert (h.color, h.level, h.pattern) == (False, Level.DEBUG, "k")
        return
    with pytest.raises(error) as info:
        s.__pyx_unpickle_LogHandler(*args, **kwargs)
    if message:
        assert str(info.value) == message


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_unpickle_function_docstrings(cls):
    name = f"__pyx_unpickle_{cls.__name__}"
    assert unpickler(cls).__doc__ == f"{name}(__pyx_type, long __pyx_checksum, tuple __pyx_state)"
    assert unpickler(cls).__module__ == "zelvar.scrivo.scrivo"


# SyslogHandler('/dev/log', 'local5', 'app', 'udp', '%l %v', Level.INFO), pickled before `format` existed.
STORED_SYSLOG = (
    b"\x80\x04\x95\xc0\x00\x00\x00\x00\x00\x00\x00\x8c\x14zelvar.scrivo.scrivo\x94\x8c\x1c__pyx_unpickle_SyslogHandler"
    b"\x94\x93\x94\x8c\x14zelvar.scrivo.scrivo\x94\x8c\rSyslogHandler\x94\x93\x94J\xb7\xf7\xb9\x0eN\x87\x94R\x94(\x8c"
    b"\x08/dev/log\x94\x89\x8c\x06local5\x94\x8c\x03app\x94\x8c\x14zelvar.scrivo.scrivo\x94\x8c\x05Level\x94\x93\x94K"
    b"\x02\x85\x94R\x94\x8c\x05%l %v\x94\x8c\x03udp\x94t\x94b."
)


# A chosen format widens the state by its field (and changes the checksum); without one, the state is
# the one written before the field existed, so older readers load it. Both layouts load, with or
# without an instance dict after them.
@pytest.mark.parametrize("sub", [False, True], ids=["own", "subclass"])
@pytest.mark.parametrize("fmt", [None, "rfc3164", "rfc5424"])
def test_syslog_format_state(sub, fmt):
    cls = s.SyslogHandler
    if sub:
        cls = globals()["SubSyslogHandler"] = type("SubSyslogHandler", (cls,), {"__module__": __name__})
    stored = pickle.loads(STORED_SYSLOG)
    assert state_of(stored, s.SyslogHandler) == ("/dev/log", False, "local5", "app", Level.INFO, "%l %v", "udp")
    assert stored.format is None
    obj = cls("/dev/log", "local5", "app", "udp", "%l %v", Level.INFO, format=fmt)
    names = STATE_FIELDS[s.SyslogHandler] + ["format"] * (fmt is not None)
    names.sort()
    note = {"note": 1} if sub else None
    if note:
        obj.__dict__.update(note)
    unpickle_fn, (_, checksum, _), state = obj.__reduce__()
    text = " ".join(names).encode()
    assert checksum == int(hashlib.sha256(text).hexdigest()[:7], 16)
    assert state == tuple(getattr(obj, n) for n in names) + ((note,) if note else ())
    for clone in (pickle.loads(pickle.dumps(obj)), copy.deepcopy(obj)):
        assert type(clone) is cls and clone.format == fmt and getattr(clone, "__dict__", None) == note
        assert state_of(clone, s.SyslogHandler) == state_of(stored, s.SyslogHandler)
    for algo in ("sha256", "sha1", "md5"):
        loaded = unpickle_fn(cls, int(hashlib.new(algo, text).hexdigest()[:7], 16), state[: len(names)])
        assert loaded.format == fmt and state_of(loaded, s.SyslogHandler) == state_of(obj, s.SyslogHandler)


# Pickled in the layout written before `compress` existed (the Rotating checksum is 0x2a7620a):
# RotatingFileHandler('r.log', '%v', Level.INFO, 4096, 2) and DailyFileHandler('d.log', 1, 30, 7, '%v', Level.WARN).
STORED_FILES = {
    s.RotatingFileHandler: (
        b'\x80\x04\x95\xb7\x00\x00\x00\x00\x00\x00\x00\x8c\x14zelvar.scrivo.scrivo\x94\x8c"__pyx_unpickle_RotatingFile'
        b"Handler\x94\x93\x94\x8c\x14zelvar.scrivo.scrivo\x94\x8c\x13RotatingFileHandler\x94\x93\x94J\nb\xa7\x02N\x87"
        b"\x94R\x94(\x89\x8c\x05r.log\x94\x8c\x14zelvar.scrivo.scrivo\x94\x8c\x05Level\x94\x93\x94K\x02\x85\x94R\x94K"
        b"\x02M\x00\x10\x89\x8c\x02%v\x94t\x94b."
    ),
    s.DailyFileHandler: (
        b"\x80\x04\x95\xb2\x00\x00\x00\x00\x00\x00\x00\x8c\x14zelvar.scrivo.scrivo\x94\x8c\x1f__pyx_unpickle_DailyFile"
        b"Handler\x94\x93\x94\x8c\x14zelvar.scrivo.scrivo\x94\x8c\x10DailyFileHandler\x94\x93\x94J\xfbI\x1c\tN\x87\x94R"
        b"\x94(\x89\x8c\x05d.log\x94K\x01\x8c\x14zelvar.scrivo.scrivo\x94\x8c\x05Level\x94\x93\x94K\x03\x85\x94R\x94K"
        b"\x07K\x1e\x89\x8c\x02%v\x94t\x94b."
    ),
}


# compress=True widens the state by the field (and changes the checksum); without it the state and
# bytes are those written before it existed, and those load with compress False.
@pytest.mark.parametrize("compress", [False, True])
@pytest.mark.parametrize("cls", list(STORED_FILES), ids=lambda c: c.__name__)
def test_compress_state(cls, compress):
    stored = pickle.loads(STORED_FILES[cls])
    assert stored.compress is False and stored.max_files in (2, 7)
    obj = copy.copy(stored)
    obj.compress = compress
    assert (pickle.dumps(obj, 4) == STORED_FILES[cls]) is not compress
    names = sorted(STATE_FIELDS[cls] + ["compress"] * compress)
    text = " ".join(names).encode()
    unpickle_fn, (_, checksum, _), state = obj.__reduce__()
    assert checksum == int(hashlib.sha256(text).hexdigest()[:7], 16)
    assert state == tuple(getattr(obj, n) for n in names)
    for algo in ("sha256", "sha1", "md5"):
        loaded = unpickle_fn(cls, int(hashlib.new(algo, text).hexdigest()[:7], 16), state)
        assert loaded.compress is compress and state_of(loaded, cls) == state_of(stored, cls)
