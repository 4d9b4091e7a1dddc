"""Handler descriptions and the colour scheme: the class tree, docs, defaults and a fresh object's
state; initialisers, their argument errors and the initialisers they call in turn."""

import pytest
from handler_tables import ALL, FIELDS, PATTERN, REQUIRED, TEXT_FIELDS, BadInt, StrSub, make, values

import zelvar.scrivo as package
from zelvar.scrivo import scrivo as s
from zelvar.scrivo.scrivo import Level

DOC_PATTERN = f"str pattern='{PATTERN}'"


DEFAULTS = {
    s.LogHandler: dict(color=True, pattern=PATTERN, level=Level.TRACE),
    s.StdoutHandler: dict(color=False, pattern=PATTERN, level=Level.TRACE, max_level=Level.INFO),
    s.StderrHandler: dict(color=False, pattern=PATTERN, level=Level.WARN),
    s.BasicConsoleHandler: dict(color=False, pattern=PATTERN, level=Level.TRACE),
    s.ConsoleHandler: dict(
        color=True, pattern=PATTERN, level=Level.TRACE, max_stdout_level=Level.INFO, min_level=Level.TRACE
    ),
    s.FileHandler: dict(color=False, pattern=PATTERN, level=Level.TRACE, filename="app.log", overwrite=False),
    s.RotatingFileHandler: dict(
        color=False,
        pattern=PATTERN,
        level=Level.TRACE,
        filename="app.log",
        overwrite=False,
        max_size=1048576,
        max_files=3,
        compress=False,
    ),
    s.JsonFileHandler: dict(
        color=False, pattern=None, level=Level.TRACE, filename="app.log", overwrite=False, max_size=0, max_files=0
    ),
    s.JsonStdoutHandler: dict(color=False, pattern=None, level=Level.TRACE),
    s.JsonStderrHandler: dict(color=False, pattern=None, level=Level.TRACE),
    s.DailyFileHandler: dict(
        color=False,
        pattern=PATTERN,
        level=Level.TRACE,
        filename="app.log",
        overwrite=False,
        hour=0,
        minute=0,
        max_files=0,
        compress=False,
    ),
    s.SyslogHandler: dict(
        color=False,
        pattern="%v",
        level=Level.TRACE,
        address="/dev/log",
        facility="user",
        ident=None,
        protocol="udp",
        format=None,
    ),
    s.CallbackHandler: dict(color=False, pattern=None, level=Level.TRACE, callable=print),
    s.ColorScheme: dict.fromkeys(FIELDS[s.ColorScheme], -1),
}
DOCS = {
    s.LogHandler: f"LogHandler(bool color=True, {DOC_PATTERN}, Level level=Level.TRACE)",
    s.StdoutHandler: f"StdoutHandler(bool color=False, {DOC_PATTERN}, Level level=Level.TRACE, "
    "Level max_level=Level.INFO)",
    s.StderrHandler: f"StderrHandler(bool color=False, {DOC_PATTERN}, Level level=Level.WARN)",
    s.BasicConsoleHandler: f"BasicConsoleHandler(bool color=False, {DOC_PATTERN}, Level level=Level.TRACE)",
    s.ConsoleHandler: f"ConsoleHandler(bool color=True, {DOC_PATTERN}, Level max_stdout_level=Level.INFO, "
    "Level min_level=Level.TRACE)",
    s.FileHandler: f"FileHandler(str filename, bool color=False, {DOC_PATTERN}, Level level=Level.TRACE, "
    "bool overwrite=False)",
    s.RotatingFileHandler: f"RotatingFileHandler(str filename, {DOC_PATTERN}, Level level=Level.TRACE, "
    "size_t max_size=1048576, size_t max_files=3)",
    s.JsonFileHandler: "JsonFileHandler(str filename, Level level=Level.TRACE, bool overwrite=False, "
    "size_t max_size=0, size_t max_files=0)",
    s.JsonStdoutHandler: "JsonStdoutHandler(Level level=Level.TRACE)",
    s.JsonStderrHandler: "JsonStderrHandler(Level level=Level.TRACE)",
    s.DailyFileHandler: f"DailyFileHandler(str filename, int hour=0, int minute=0, size_t max_files=0, {DOC_PATTERN}, "
    "Level level=Level.TRACE, *, bool compress=False)",
    s.SyslogHandler: "SyslogHandler(address='/dev/log', str facility='user', str ident=None, str protocol='udp', "
    "str pattern='%v', Level level=Level.TRACE, *, str format=None)",
    s.CallbackHandler: "CallbackHandler(callable, Level level=Level.TRACE)",
    s.ColorScheme: "ColorScheme(int trace_color=-1, int debug_color=-1, int info_color=-1, int warn_color=-1, "
    "int error_color=-1, int critical_color=-1)",
}
PROPERTY_DOCS = {
    "color": "color: 'bool'",
    "overwrite": "overwrite: 'bool'",
    "compress": "compress: 'bool'",
    "pattern": "pattern: str",
    "filename": "filename: str",
    "level": "level: 'Level'",
    "max_level": "max_level: 'Level'",
    "max_stdout_level": "max_stdout_level: 'Level'",
    "min_level": "min_level: 'Level'",
    "max_size": "max_size: 'size_t'",
    "max_files": "max_files: 'size_t'",
    "hour": "hour: 'int'",
    "minute": "minute: 'int'",
    "address": "address: object",
    "facility": "facility: str",
    "ident": "ident: str",
    "protocol": "protocol: str",
    "format": "format: str",
    "callable": "callable: object",
    **{f"{c}_color": f"{c}_color: 'int'" for c in ["trace", "debug", "info", "warn", "error", "critical"]},
}


def test_class_tree():
    for cls in [s.StdoutHandler, s.StderrHandler, s.BasicConsoleHandler, s.ConsoleHandler, s.FileHandler]:
        assert cls.__bases__ == (s.LogHandler,)
    assert s.RotatingFileHandler.__bases__ == (s.FileHandler,)
    assert s.JsonFileHandler.__bases__ == s.DailyFileHandler.__bases__ == (s.FileHandler,)
    assert (
        s.SyslogHandler.__bases__
        == s.JsonStdoutHandler.__bases__
        == s.JsonStderrHandler.__bases__
        == s.CallbackHandler.__bases__
        == (s.LogHandler,)
    )
    assert s.LogHandler.__bases__ == s.ColorScheme.__bases__ == (object,)


@pytest.mark.parametrize("cls", ALL, ids=lambda c: c.__name__)
def test_docs_module_and_defaults(cls):
    assert cls.__doc__ == DOCS[cls]
    assert cls.__module__ == "zelvar.scrivo.scrivo"
    assert getattr(package, cls.__name__) is cls and cls.__name__ in package.__all__
    assert values(make(cls)) == DEFAULTS[cls]
    for name in FIELDS[cls]:
        prop = next(vars(k)[name] for k in cls.__mro__ if name in vars(k))
        assert prop.__doc__ == PROPERTY_DOCS[name]


@pytest.mark.parametrize("cls", ALL, ids=lambda c: c.__name__)
def test_fresh_object_state(cls):
    obj = cls.__new__(cls)
    for name in FIELDS[cls]:
        expected = None if name in TEXT_FIELDS or name == "callable" else 0
        assert getattr(obj, name) == expected, name
    assert not hasattr(obj, "__dict__")

    class Sub(cls):
        pass

    sub = Sub(*REQUIRED.get(cls, ()))
    sub.extra = 1
    assert sub.__dict__ == {"extra": 1}


@pytest.mark.parametrize(
    "cls, kwargs",
    [
        (s.StdoutHandler, {"level": 42}),
        (s.StderrHandler, {"level": 7}),
        (s.BasicConsoleHandler, {"level": -1}),
        (s.FileHandler, {"level": 9}),
        (s.RotatingFileHandler, {"level": 9}),
        (s.JsonStdoutHandler, {"level": 7}),
        (s.JsonStderrHandler, {"level": -1}),
    ],
)
def test_subclass_initialisers_pass_a_level_member(cls, kwargs):
    with pytest.raises(ValueError, match="is not a valid Level"):
        make(cls, **kwargs)


def test_fixed_base_values():
    assert s.ConsoleHandler(min_level=Level.ERROR).level is Level.TRACE
    r = s.RotatingFileHandler("f", level=Level.INFO)
    assert (r.color, r.overwrite, r.level) == (False, False, Level.INFO)
    assert s.FileHandler(None).filename is None
    h = s.StdoutHandler(max_level=42)  # stored without a range test
    with pytest.raises(ValueError, match="^42 is not a valid Level$"):
        h.max_level


# One bad argument in each position: the error is raised and an existing object keeps every value.
BAD_INIT = [
    (s.LogHandler, {"color": BadInt.__new__(type("B", (), {"__bool__": lambda self: 1 / 0}))}, ZeroDivisionError),
    (s.LogHandler, {"pattern": StrSub("p")}, TypeError),
    (s.LogHandler, {"level": "x"}, TypeError),
    (s.StdoutHandler, {"max_level": 2**40}, OverflowError),
    (s.StdoutHandler, {"level": 8}, ValueError),
    (s.StderrHandler, {"pattern": 1}, TypeError),
    (s.BasicConsoleHandler, {"level": None}, TypeError),
    (s.ConsoleHandler, {"max_stdout_level": "x"}, TypeError),
    (s.ConsoleHandler, {"min_level": 2**31}, OverflowError),
    (s.ConsoleHandler, {"pattern": b"p"}, TypeError),
    (s.FileHandler, {"filename": b"f"}, TypeError),
    (s.FileHandler, {"overwrite": type("B", (), {"__bool__": lambda self: 1 / 0})()}, ZeroDivisionError),
    (s.RotatingFileHandler, {"max_size": -1}, OverflowError),
    (s.RotatingFileHandler, {"max_files": 1.5j}, TypeError),
    (s.RotatingFileHandler, {"filename": StrSub("f")}, TypeError),
    (s.RotatingFileHandler, {"compress": type("B", (), {"__bool__": lambda self: 1 / 0})()}, ZeroDivisionError),
    (s.DailyFileHandler, {"hour": 24}, ValueError),
    (s.DailyFileHandler, {"minute": -1}, ValueError),
    (s.DailyFileHandler, {"max_files": -1}, OverflowError),
    (s.DailyFileHandler, {"pattern": StrSub("p")}, TypeError),
    (s.DailyFileHandler, {"compress": type("B", (), {"__bool__": lambda self: 1 / 0})()}, ZeroDivisionError),
    (s.SyslogHandler, {"facility": "local8"}, ValueError),
    (s.SyslogHandler, {"protocol": "sctp"}, ValueError),
    (s.SyslogHandler, {"address": ("host", "514")}, TypeError),
    (s.SyslogHandler, {"ident": b"app"}, TypeError),
    (s.SyslogHandler, {"format": "rfc3339"}, ValueError),
    (s.JsonStdoutHandler, {"level": "x"}, TypeError),
    (s.JsonStderrHandler, {"level": 2**40}, OverflowError),
    (s.ColorScheme, {"critical_color": 2**31}, OverflowError),
    (s.ColorScheme, {"trace_color": "1"}, TypeError),
]


@pytest.mark.parametrize("cls, bad, error", BAD_INIT, ids=lambda x: getattr(x, "__name__", str(x)))
def test_failed_reinit_keeps_every_value(cls, bad, error):
    changed = {"pattern": "custom"}
    if cls is s.ColorScheme:
        changed = {"info_color": 7}
    elif cls in (s.JsonStdoutHandler, s.JsonStderrHandler):  # no pattern to take
        changed = {"level": Level.INFO}
    obj = make(cls, **changed)
    before = values(obj)
    args = () if "filename" in bad else REQUIRED.get(cls, ())
    with pytest.raises(error):
        obj.__init__(*args, **bad)
    assert values(obj) == before


@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({"hour": 24}, "hour must be in 0..23, got 24"),
        ({"hour": -1}, "hour must be in 0..23, got -1"),
        ({"minute": 60}, "minute must be in 0..59, got 60"),
        ({"hour": 23, "minute": 59}, None),
    ],
)
def test_daily_time_of_day_range(kwargs, message):
    if message is None:
        h = s.DailyFileHandler("d.log", **kwargs)
        assert (h.hour, h.minute) == (kwargs["hour"], kwargs["minute"])
        return
    with pytest.raises(ValueError) as info:
        s.DailyFileHandler("d.log", **kwargs)
    assert str(info.value) == message


FACILITIES = (
    "kern, user, mail, daemon, auth, syslog, lpr, news, uucp, cron, authpriv, ftp, ntp, security, "
    "console, solaris-cron, local0, local1, local2, local3, local4, local5, local6, local7"
)


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        ({"facility": "local8"}, ValueError, f"syslog handler: unknown facility 'local8'; known: {FACILITIES}"),
        ({"protocol": "TCP"}, ValueError, "syslog handler: protocol must be 'udp' or 'tcp', not 'TCP'"),
        ({"format": "RFC5424"}, ValueError, "syslog handler: format must be 'rfc3164' or 'rfc5424', not 'RFC5424'"),
        ({"format": ""}, ValueError, "syslog handler: format must be 'rfc3164' or 'rfc5424', not ''"),
        ({"format": b"rfc5424"}, TypeError, "Argument 'format' has incorrect type (expected str, got bytes)"),
        ({"address": ["h", 1]}, TypeError, "address must be a str or a (str, int) tuple, not list"),
        ({"address": ("h", 1, 2)}, TypeError, "address must be a str or a (str, int) tuple, not tuple"),
    ],
)
def test_syslog_argument_errors(kwargs, error, message):
    with pytest.raises(error) as info:
        s.SyslogHandler(**kwargs)
    assert str(info.value) == message
    h = s.SyslogHandler()
    with pytest.raises(TypeError):
        h.address = ("h", "514")
    h.address = ("collector", 6514)
    assert h.address == ("collector", 6514)
    with pytest.raises(TypeError, match=r"^__init__\(\) takes at most 6 positional arguments \(7 given\)$"):
        s.SyslogHandler("/dev/log", "user", None, "udp", "%v", Level.TRACE, "rfc3164")  # format is keyword-only
    h.format = "rfc3339"  # a property takes any str; the logger built from it checks
    with pytest.raises(ValueError, match="^syslog handler: format must be 'rfc3164' or 'rfc5424', not 'rfc3339'$"):
        s.Logger("syslog-format", handlers=[h])


@pytest.mark.parametrize(
    "cls, positional",
    [(s.RotatingFileHandler, ("f", PATTERN, 0, 1, 1)), (s.DailyFileHandler, ("f", 0, 0, 0, PATTERN, 0))],
)
def test_compress_is_keyword_only(cls, positional):
    with pytest.raises(TypeError, match=rf"^__init__\(\) takes at most {len(positional)} positional arguments"):
        cls(*positional, True)
    assert cls(*positional, compress=1).compress is True


def test_json_handler_passes_no_pattern_to_file_handler():
    calls = []

    class Spy(s.FileHandler):
        def __init__(self, *args):
            calls.append(args)
            super().__init__(*args)

    class Leaf(s.JsonFileHandler, Spy):
        pass

    Leaf("j.log", Level.WARN, True)
    assert calls == [("j.log", False, None, Level.WARN, True)]


def test_argument_type_message():
    with pytest.raises(TypeError) as info:
        s.FileHandler(1)
    assert str(info.value) == "Argument 'filename' has incorrect type (expected str, got int)"
    with pytest.raises(TypeError) as info:
        s.LogHandler(pattern=StrSub())
    assert str(info.value) == "Argument 'pattern' has incorrect type (expected str, got StrSub)"
    with pytest.raises(TypeError) as info:
        s.FileHandler()
    assert str(info.value) == "__init__() takes at least 1 positional argument (0 given)"
    with pytest.raises(TypeError) as info:
        s.LogHandler(1, 2, 3, 4)
    assert str(info.value) == "__init__() takes at most 3 positional arguments (4 given)"


def test_next_initialiser_in_the_instance_mro_is_called():
    calls = []

    class Spy(s.LogHandler):
        def __init__(self, *args):
            calls.append(args)
            super().__init__(*args)

    class Leaf(s.StdoutHandler, Spy):
        pass

    assert [k.__name__ for k in Leaf.__mro__[:4]] == ["Leaf", "StdoutHandler", "Spy", "LogHandler"]
    leaf = Leaf(True, "p", Level.INFO, Level.ERROR)
    assert calls == [(True, "p", Level.INFO)]
    assert type(calls[0][2]) is Level
    assert values(leaf) == dict(color=True, pattern="p", level=Level.INFO, max_level=Level.ERROR)

    class RotSpy(s.FileHandler):
        def __init__(self, *args):
            calls.append(args)
            super().__init__(*args)

    class RotLeaf(s.RotatingFileHandler, RotSpy):
        pass

    calls.clear()
    RotLeaf("f.log", "p", 2)
    assert calls == [("f.log", False, "p", Level.INFO, False)]
