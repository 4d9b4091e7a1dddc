"""What the handler tests know of every handler kind and the colour scheme: their fields, the
arguments they need, a maker and a reader of their values, and values that refuse conversion.
A new handler kind joins HANDLERS and FIELDS here (REQUIRED too if it takes a required argument),
and DEFAULTS and DOCS in test_handlers.py."""

from zelvar.scrivo import scrivo as s

PATTERN = "[%Y-%m-%d %H:%M:%S.%e] [%n] [%^%l%$] %v"


HANDLERS = [
    s.LogHandler,
    s.StdoutHandler,
    s.StderrHandler,
    s.BasicConsoleHandler,
    s.ConsoleHandler,
    s.FileHandler,
    s.RotatingFileHandler,
    s.JsonFileHandler,
    s.JsonStdoutHandler,
    s.JsonStderrHandler,
    s.DailyFileHandler,
    s.SyslogHandler,
    s.CallbackHandler,
]
ALL = HANDLERS + [s.ColorScheme]

# Class -> (fields, positional arguments needed, defaults after construction).
FIELDS = {
    s.LogHandler: ["color", "pattern", "level"],
    s.StdoutHandler: ["color", "pattern", "level", "max_level"],
    s.StderrHandler: ["color", "pattern", "level"],
    s.BasicConsoleHandler: ["color", "pattern", "level"],
    s.ConsoleHandler: ["color", "pattern", "level", "max_stdout_level", "min_level"],
    s.FileHandler: ["color", "pattern", "level", "filename", "overwrite"],
    s.RotatingFileHandler: ["color", "pattern", "level", "filename", "overwrite", "max_size", "max_files", "compress"],
    s.JsonFileHandler: ["color", "pattern", "level", "filename", "overwrite", "max_size", "max_files"],
    s.JsonStdoutHandler: ["color", "pattern", "level"],
    s.JsonStderrHandler: ["color", "pattern", "level"],
    s.DailyFileHandler: [
        "color",
        "pattern",
        "level",
        "filename",
        "overwrite",
        "hour",
        "minute",
        "max_files",
        "compress",
    ],
    s.SyslogHandler: ["color", "pattern", "level", "address", "facility", "ident", "protocol", "format"],
    s.CallbackHandler: ["color", "pattern", "level", "callable"],
    s.ColorScheme: ["trace_color", "debug_color", "info_color", "warn_color", "error_color", "critical_color"],
}
REQUIRED = {
    s.FileHandler: ("app.log",),
    s.RotatingFileHandler: ("app.log",),
    s.JsonFileHandler: ("app.log",),
    s.DailyFileHandler: ("app.log",),
    s.CallbackHandler: (print,),
}


TEXT_FIELDS = {"pattern", "filename", "address", "facility", "ident", "protocol", "format"}


def make(cls, **kwargs):
    return cls(*REQUIRED.get(cls, ()), **kwargs)


def values(obj):
    return {
        name: getattr(obj, name)
        for name in FIELDS[type(obj).__mro__[0] if type(obj) in FIELDS else type(obj).__mro__[1]]
    }


class BadInt:
    def __int__(self):
        raise ArithmeticError("boom")


class StrSub(str):
    pass
