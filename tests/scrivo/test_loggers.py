"""Logger and DefaultLogger seen from Python: construction rules, methods, tables, pickling."""

import copy
import datetime
import logging
import pickle

import pytest

from zelvar.scrivo import scrivo as s

LEVEL_METHODS = ["trace", "debug", "info", "warn", "error", "critical"]


class StrSub(str):
    pass


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        ((), {}, TypeError, "__cinit__() takes at least 1 positional argument (0 given)"),
        (
            ("a", 0, "p", None, None, False, True, 9),
            {},
            TypeError,
            "__cinit__() takes at most 7 positional arguments (8 given)",
        ),
        ((b"app",), {}, TypeError, "Argument 'name' has incorrect type (expected str, got bytes)"),
        ((StrSub("app"),), {}, TypeError, "Argument 'name' has incorrect type (expected str, got StrSub)"),
        (("app",), {"pattern": 1}, TypeError, "Argument 'pattern' has incorrect type (expected str, got int)"),
        (("app",), {"handlers": ()}, TypeError, "Argument 'handlers' has incorrect type (expected list, got tuple)"),
        (
            ("app",),
            {"color_scheme": 1},
            TypeError,
            "Argument 'color_scheme' has incorrect type (expected zelvar.scrivo.scrivo.ColorScheme, got int)",
        ),
        (("app",), {"level": "INFO"}, TypeError, "an integer is required"),
        (("app",), {"level": 2**31}, OverflowError, "value too large to convert to int"),
        (("app",), {"handlers": [object()]}, TypeError, "Unknown handler type"),
        (("app",), {"handlers": [s.LogHandler()]}, TypeError, "Unknown handler type"),
        ((None,), {}, AttributeError, "'NoneType' object has no attribute 'encode'"),
        (("app",), {"pattern": None}, AttributeError, "'NoneType' object has no attribute 'encode'"),
        (("app",), {"handlers": [s.FileHandler(None)]}, AttributeError, "'NoneType' object has no attribute 'encode'"),
        (
            ("app",),
            {"handlers": [s.StdoutHandler(pattern=None)]},
            AttributeError,
            "'NoneType' object has no attribute 'encode'",
        ),
        (("app",), {"unknown": 1}, TypeError, "__cinit__() got an unexpected keyword argument 'unknown'"),
        (("app\udc80",), {}, UnicodeEncodeError, None),
        (("app",), {"queue_size": -1}, ValueError, "queue_size must be between 0 and 1048576, not -1"),
        (("app",), {"queue_size": 2**70}, ValueError, f"queue_size must be between 0 and 1048576, not {2**70}"),
        (("app",), {"queue_size": "8"}, TypeError, "an integer is required"),
        (
            ("app",),
            {"overflow": "drop_newest"},
            ValueError,
            "overflow must be 'block' or 'drop_oldest', not 'drop_newest'",
        ),
        (
            ("app",),
            {"queue_size": 8, "overflow": None},
            ValueError,
            "overflow must be 'block' or 'drop_oldest', not None",
        ),
        (("app",), {"stacklevel": 0}, ValueError, "stacklevel must be 1 or more, not 0"),
        (("app",), {"stacklevel": -(2**70)}, ValueError, f"stacklevel must be 1 or more, not {-(2**70)}"),
        (("app",), {"stacklevel": True}, TypeError, "stacklevel must be an int, not bool"),
    ],
)
def test_constructor_errors(args, kwargs, error, message):
    with pytest.raises(error) as info:
        s.Logger(*args, **kwargs)
    if message is not None:
        assert str(info.value) == message


def test_unknown_handler_stops_the_walk(tmp_path):
    later = tmp_path / "later.log"
    with pytest.raises(TypeError, match="Unknown handler type"):
        s.Logger("walk", handlers=[s.StderrHandler(), object(), s.FileHandler(str(later))])
    assert not later.exists()


def test_none_name_creates_no_file(tmp_path):
    path = tmp_path / "kept.log"
    path.write_text("precious\n")
    fresh = tmp_path / "fresh.log"
    with pytest.raises(AttributeError, match="'NoneType' object has no attribute 'encode'"):
        s.Logger(None, handlers=[s.FileHandler(str(path), overwrite=True), s.FileHandler(str(fresh))])
    assert path.read_text() == "precious\n"
    assert not fresh.exists()


@pytest.mark.parametrize(
    "handler, error, message",
    [
        (s.RotatingFileHandler("x.log", max_size=0), ValueError, None),
        (
            type("Huge", (s.StderrHandler,), {"level": property(lambda self: 2**40)})(),
            OverflowError,
            "value too large to convert to enum spdlog::level::level_enum",
        ),
        (
            type("Neg", (s.RotatingFileHandler,), {"max_files": property(lambda self: -1)})("y.log"),
            OverflowError,
            "can't convert negative value to size_t",
        ),
        (type("Enc", (s.StdoutHandler,), {"pattern": property(lambda self: 5)})(), AttributeError, None),
        (
            type(
                "Weird",
                (s.StdoutHandler,),
                {"pattern": property(lambda self: type("T", (), {"encode": lambda self: "not bytes"})())},
            )(),
            TypeError,
            "expected bytes, str found",
        ),
    ],
)
def test_handler_values_are_read_through_attributes(tmp_path, monkeypatch, handler, error, message):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(error) as info:
        s.Logger("attrs", handlers=[handler])
    if message:
        assert str(info.value) == message


def test_file_that_cannot_be_opened_is_an_os_error(tmp_path):
    with pytest.raises(OSError):
        s.Logger("dir", handlers=[s.FileHandler(str(tmp_path))])


@pytest.mark.parametrize(
    "name, fd, instead", [("/dev/stdout", 1, "JsonStdoutHandler"), ("/dev/fd/2", 2, "JsonStderrHandler")]
)
def test_json_file_on_a_socket_stream_names_the_console_handler(child, name, fd, instead):
    # A standard stream that is a socket has no device to open by name.
    proc = child(
        f"""
        import os, socket
        import zelvar.scrivo as z
        out, (a, b) = os.dup(1), socket.socketpair()
        os.dup2(b.fileno(), {fd})
        try:
            z.Logger("j", handlers=[z.JsonFileHandler({name!r})])
        except OSError as e:
            os.write(out, str(e).encode())
        """
    )
    assert proc.stdout.decode() == (
        f"Failed opening file {name} for writing (use {instead}, which writes to the stream whatever it is): "
        "No such device or address"
    )


def named_by_property(name):
    """A handler whose file name reaches the logger through a Python property."""
    return type("Named", (s.FileHandler,), {"filename": property(lambda self: name)})("x.log", overwrite=True)


@pytest.mark.parametrize(
    "handler",
    [
        lambda name: s.FileHandler(name, overwrite=True),
        lambda name: s.RotatingFileHandler(name),
        lambda name: pickle.loads(pickle.dumps(s.FileHandler(name, overwrite=True))),
        named_by_property,
    ],
    ids=["FileHandler", "RotatingFileHandler", "unpickled", "property"],
)
def test_file_name_with_a_zero_byte_is_refused_before_any_file_is_touched(tmp_path, handler):
    precious = tmp_path / "precious"
    precious.write_text("keep\n")
    with pytest.raises(ValueError, match="^embedded null byte$"):
        s.Logger("nul-name", handlers=[handler(str(precious) + "\0.log")])
    assert precious.read_text() == "keep\n"
    assert list(tmp_path.iterdir()) == [precious]


@pytest.mark.parametrize(
    "name, last, error, message",
    [
        ("half", lambda d: s.FileHandler(str(d / "x\0.log")), ValueError, "embedded null byte"),
        ("half", lambda d: s.JsonFileHandler(str(d / "x\0.log")), ValueError, "embedded null byte"),
        ("half", lambda d: s.DailyFileHandler(str(d / "x\0.log")), ValueError, "embedded null byte"),
        (
            "half",
            lambda d: s.SyslogHandler(("localhost", 70000)),
            ValueError,
            "syslog handler: port must be in 0..65535",
        ),
        ("half", lambda d: object(), TypeError, "Unknown handler type"),
        ("", None, ValueError, "an unnamed logger denotes the process default; build it with make_default"),
        ("", lambda d: object(), TypeError, "Unknown handler type"),  # a handler's error comes before the name's
        # Past every check: the last file cannot be opened (its parent is a file); the earlier ones are
        # open by then, but none has been emptied or pruned.
        ("half", lambda d: s.FileHandler(str(d / "keep.log" / "x.log")), OSError, None),
    ],
    ids=["file-nul", "json-nul", "daily-nul", "syslog-port", "unknown", "unnamed", "unknown-unnamed", "unopenable"],
)
def test_failed_construction_leaves_every_file_as_it_was(tmp_path, name, last, error, message):
    for file, text in [("keep.log", "keep\n"), ("keep.jsonl", "{}\n"), ("app_2020-01-01.log", "old\n")]:
        (tmp_path / file).write_text(text)
    before = {p.name: p.read_bytes() for p in tmp_path.iterdir()}
    handlers = [
        s.FileHandler(str(tmp_path / "keep.log"), overwrite=True),
        s.JsonFileHandler(str(tmp_path / "keep.jsonl"), overwrite=True, max_size=100),
        s.DailyFileHandler(str(tmp_path / "app.log"), max_files=1),
    ]
    with pytest.raises(error) as info:
        s.Logger(name, handlers=handlers + ([last(tmp_path)] if last else []))
    if message:
        assert str(info.value) == message
    after = {p.name: p.read_bytes() for p in tmp_path.iterdir()}
    assert {k: v for k, v in after.items() if k in before} == before
    # Only a failure past the checks may have left the files it opened, empty.
    new = {k: v for k, v in after.items() if k not in before}
    assert new == ({f"app_{datetime.date.today()}.log": b""} if error is OSError else {})


def test_logging_method_objects():
    for cls in (s.Logger, s.DefaultLogger):
        for name in LEVEL_METHODS + ["warning", "exception", "log"]:
            fn = cls.__dict__[name]
            assert fn.__name__ == name
            assert fn.__qualname__ == f"{cls.__name__}.{name}"
            level = "level, " if name == "log" else ""
            assert fn.__doc__ == (
                f"{cls.__name__}.{name}(self, {level}str msg, int fg_color=-1, int bg_color=-1, "
                "int effect=-1) -> void"
            )
            assert fn.__defaults__ == (-1, -1, -1)
            assert fn.__module__ == "zelvar.scrivo.scrivo"
        assert "__pyx_vtable__" in cls.__dict__


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        ((None,), {}, AttributeError, "'NoneType' object has no attribute 'encode'"),
        ((b"x",), {}, TypeError, "Argument 'msg' has incorrect type (expected str, got bytes)"),
        (("x", "red"), {}, TypeError, "an integer is required"),
        (("x",), {"bg_color": 2**31}, OverflowError, "value too large to convert to int"),
        (("x", 1, 2, 3, 4), {}, TypeError, "info() takes at most 4 positional arguments (5 given)"),
        ((), {}, TypeError, "info() takes at least 1 positional argument (0 given)"),
        (("x",), {"msg": "y"}, TypeError, "info() got multiple values for keyword argument 'msg'"),
        (("x",), {"stacklevel": 0}, ValueError, "stacklevel must be 1 or more, not 0"),
        (("x",), {"stacklevel": 2.0}, TypeError, "stacklevel must be an int, not float"),
        (("\ud800",), {}, UnicodeEncodeError, None),
    ],
)
@pytest.mark.parametrize(
    "make", [lambda: s.Logger("methods", level=s.Level.OFF), s.DefaultLogger, lambda: s.DefaultLogger().bind(a=1)]
)
def test_logging_method_errors(make, args, kwargs, error, message):
    logger = make()
    with pytest.raises(error) as info:
        logger.info(*args, **kwargs)
    if message:
        assert str(info.value) == message


@pytest.mark.parametrize(
    "method, args, kwargs, error, message",
    [
        ("log", (7, "x"), {}, ValueError, "7 is not a valid Level"),
        ("log", (-1, "x"), {}, ValueError, "-1 is not a valid Level"),
        (
            "log",
            ("LOUD", "x"),
            {},
            ValueError,
            "unknown level name 'LOUD' (expected TRACE, DEBUG, INFO, WARN or WARNING, " "ERROR, CRITICAL or OFF)",
        ),
        ("log", (2,), {}, TypeError, "log() takes at least 2 positional arguments (1 given)"),
        ("log", (2, None), {}, AttributeError, "'NoneType' object has no attribute 'encode'"),
        ("warning", (b"x",), {}, TypeError, "Argument 'msg' has incorrect type (expected str, got bytes)"),
        ("warning", ("x", 1, 2, 3, 4), {}, TypeError, "warning() takes at most 4 positional arguments (5 given)"),
        ("exception", (None,), {}, AttributeError, "'NoneType' object has no attribute 'encode'"),
        ("exception", ("x",), {"stacklevel": "1"}, TypeError, "stacklevel must be an int, not str"),
        ("log", (2, "x"), {"stacklevel": -1}, ValueError, "stacklevel must be 1 or more, not -1"),
        ("info", ("x",), {"exc_info": True, "fg_color": "red"}, TypeError, "an integer is required"),
        ("is_enabled_for", (9,), {}, ValueError, "9 is not a valid Level"),
        ("is_enabled_for", (b"x",), {}, TypeError, "a level is a Level, an int 0 to 6 or a level name, not bytes"),
        ("flush", (1,), {}, TypeError, None),
    ],
)
@pytest.mark.parametrize(
    "make",
    [
        lambda: s.Logger("new-methods", level=s.Level.OFF),
        lambda: s.Logger("new-methods-nb", level=s.Level.OFF, queue_size=4),
        s.DefaultLogger,
        lambda: s.Logger("new-methods-bound", level=s.Level.OFF).bind(a=1),
    ],
)
def test_new_method_errors(make, method, args, kwargs, error, message):
    with pytest.raises(error) as info:
        getattr(make(), method)(*args, **kwargs)
    if message:
        assert str(info.value) == message


@pytest.mark.parametrize(
    "kwargs, stacklevel",
    [
        ({}, None),
        ({"queue_size": 4, "overflow": "drop_oldest", "stacklevel": 3}, 3),
        ({"stacklevel": 2**70}, 2**31 - 1),
    ],
)
def test_name_dropped_and_stacklevel_are_read_only(kwargs, stacklevel):
    lg = s.Logger("named", level=s.Level.OFF, **kwargs)
    assert (lg.name, lg.dropped, lg.stacklevel) == ("named", 0, stacklevel)
    for attribute in ("name", "dropped", "stacklevel"):
        with pytest.raises(AttributeError):
            setattr(lg, attribute, 1)


def test_disabled_level_returns_none():
    logger = s.Logger("quiet", level=s.Level.OFF)
    assert logger.critical("nothing", fg_color=31, bg_color=44, effect=1) is None
    assert s.Logger.info(logger, "unbound call") is None
    with pytest.raises(TypeError):
        s.Logger.info(s.DefaultLogger(), "wrong class")


def test_default_logger_accepts_and_ignores_arguments():
    assert isinstance(s.DefaultLogger(1, 2, key=3), s.DefaultLogger)


def test_logger_refuses_pickling():
    logger = s.Logger("nopickle", level=s.Level.OFF)
    actions = [
        lambda: pickle.dumps(logger),
        lambda: copy.copy(logger),
        lambda: copy.deepcopy(logger),
        logger.__reduce__,
        lambda: logger.__setstate__(()),
    ]
    for action in actions:
        with pytest.raises(TypeError) as info:
            action()
        assert str(info.value) == "no default __reduce__ due to non-trivial __cinit__"


def test_default_logger_pickles():
    d = s.DefaultLogger()
    assert d.__reduce__() == (s.__pyx_unpickle_DefaultLogger, (s.DefaultLogger, 0xE3B0C44, ()))
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        assert type(pickle.loads(pickle.dumps(d, protocol))) is s.DefaultLogger
    assert type(copy.deepcopy(d)) is s.DefaultLogger
    for checksum in (0xE3B0C44, 0xDA39A3E, 0xD41D8CD):
        assert type(s.__pyx_unpickle_DefaultLogger(s.DefaultLogger, checksum, ())) is s.DefaultLogger
    with pytest.raises(pickle.PickleError) as info:
        s.__pyx_unpickle_DefaultLogger(s.DefaultLogger, 1, ())
    assert str(info.value) == "Incompatible checksums (0x1 vs (0xe3b0c44, 0xda39a3e, 0xd41d8cd) = ())"


def test_routing_only_with_both_flags():
    root = logging.getLogger()
    saved = root.handlers[:], root.level
    try:
        marker = logging.NullHandler()
        root.handlers[:] = [marker]
        s.Logger("no-route", level=s.Level.OFF, set_default=True, intercept_stdlib_logging=False)
        assert root.handlers == [marker]
        s.Logger("no-default", level=s.Level.OFF)
        assert root.handlers == [marker]
        s.Logger("route", level=s.Level.OFF, set_default=True)
        assert len(root.handlers) == 1 and type(root.handlers[0]) is s.PyLogHandler
        assert root.handlers[0].level == logging.DEBUG and root.level == logging.DEBUG
    finally:
        root.handlers[:], root.level = saved
