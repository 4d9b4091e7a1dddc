import enum
import logging
import traceback as traceback
from collections.abc import Callable
from typing import Any, Literal, NoReturn, SupportsInt

from typing_extensions import Self, disjoint_base

from ._context import BoundLogger, _LevelArg, _LoggingMethods

# What the package re-exports, every handler kind among it: zelvar/scrivo/__init__.pyi takes the
# whole list. The module itself has none (tools/stubtest-allowlist.txt).
__all__ = [
    "BasicConsoleHandler",
    "CallbackHandler",
    "ColorScheme",
    "ConsoleHandler",
    "DailyFileHandler",
    "DefaultLogger",
    "FileHandler",
    "JsonFileHandler",
    "JsonStderrHandler",
    "JsonStdoutHandler",
    "Level",
    "LogHandler",
    "Logger",
    "PyLogHandler",
    "RotatingFileHandler",
    "StderrHandler",
    "StdoutHandler",
    "SyslogHandler",
    "callback_skipped",
]

_LevelLike = SupportsInt

class Level(enum.IntEnum):
    TRACE = 0
    DEBUG = 1
    INFO = 2
    WARN = 3
    ERROR = 4
    CRITICAL = 5
    OFF = 6

@disjoint_base
class LogHandler:
    color: bool
    pattern: str | None
    @property
    def level(self) -> Level: ...
    @level.setter
    def level(self, value: _LevelLike) -> None: ...
    def __init__(self, color: object = True, pattern: str | None = ..., level: _LevelLike = ...) -> None: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __setstate__(self, state: tuple[Any, ...], /) -> None: ...

@disjoint_base
class StdoutHandler(LogHandler):
    @property
    def max_level(self) -> Level: ...
    @max_level.setter
    def max_level(self, value: _LevelLike) -> None: ...
    def __init__(
        self, color: object = False, pattern: str | None = ..., level: _LevelLike = ..., max_level: _LevelLike = ...
    ) -> None: ...

class StderrHandler(LogHandler):
    def __init__(self, color: object = False, pattern: str | None = ..., level: _LevelLike = ...) -> None: ...

class BasicConsoleHandler(LogHandler):
    def __init__(self, color: object = False, pattern: str | None = ..., level: _LevelLike = ...) -> None: ...

@disjoint_base
class ConsoleHandler(LogHandler):
    @property
    def max_stdout_level(self) -> Level: ...
    @max_stdout_level.setter
    def max_stdout_level(self, value: _LevelLike) -> None: ...
    @property
    def min_level(self) -> Level: ...
    @min_level.setter
    def min_level(self, value: _LevelLike) -> None: ...
    def __init__(
        self,
        color: object = True,
        pattern: str | None = ...,
        max_stdout_level: _LevelLike = ...,
        min_level: _LevelLike = ...,
    ) -> None: ...

@disjoint_base
class FileHandler(LogHandler):
    filename: str | None
    overwrite: bool
    def __init__(
        self,
        filename: str | None,
        color: object = False,
        pattern: str | None = ...,
        level: _LevelLike = ...,
        overwrite: object = False,
    ) -> None: ...

@disjoint_base
class RotatingFileHandler(FileHandler):
    max_size: int
    max_files: int
    # Each rotated file gzipped in the background ("<stem>.1<suffix>.gz"); max_files counts them.
    compress: bool
    def __init__(
        self,
        filename: str | None,
        pattern: str | None = ...,
        level: _LevelLike = ...,
        max_size: SupportsInt = 1048576,
        max_files: SupportsInt = 3,
        *,
        compress: object = False,
    ) -> None: ...

# JSON lines: pattern is None and color False; max_size > 0 rotates like RotatingFileHandler.
@disjoint_base
class JsonFileHandler(FileHandler):
    max_size: int
    max_files: int
    def __init__(
        self,
        filename: str | None,
        level: _LevelLike = ...,
        overwrite: object = False,
        max_size: SupportsInt = 0,
        max_files: SupportsInt = 0,
    ) -> None: ...

# The same JSON lines to standard output or standard error by descriptor (a pipe, a socket, a file):
# one write of one whole line per record. pattern is None and color False.
class JsonStdoutHandler(LogHandler):
    def __init__(self, level: _LevelLike = ...) -> None: ...

class JsonStderrHandler(LogHandler):
    def __init__(self, level: _LevelLike = ...) -> None: ...

# One dated file per day, "<stem>_YYYY-MM-DD<suffix>", started at hour:minute local time.
@disjoint_base
class DailyFileHandler(FileHandler):
    hour: int
    minute: int
    max_files: int
    # Each day's file gzipped in the background once the next one is open ("..._YYYY-MM-DD<suffix>.gz").
    compress: bool
    def __init__(
        self,
        filename: str | None,
        hour: SupportsInt = 0,
        minute: SupportsInt = 0,
        max_files: SupportsInt = 0,
        pattern: str | None = ...,
        level: _LevelLike = ...,
        *,
        compress: object = False,
    ) -> None: ...

# Syslog messages to a Unix datagram socket (a str address) or a (host, port) collector over udp or tcp:
# the traditional format (syslog(3)'s) on the socket, RFC 5424 to a collector, unless `format` picks one.
@disjoint_base
class SyslogHandler(LogHandler):
    @property
    def address(self) -> str | tuple[str, int] | None: ...
    @address.setter
    def address(self, value: str | tuple[str, int] | None) -> None: ...
    facility: str | None
    ident: str | None
    protocol: str | None
    format: str | None
    def __init__(
        self,
        address: str | tuple[str, int] = "/dev/log",
        facility: str = "user",
        ident: str | None = None,
        protocol: str = "udp",
        pattern: str | None = "%v",
        level: _LevelLike = ...,
        *,
        format: Literal["rfc3164", "rfc5424"] | None = None,
    ) -> None: ...

# Each record's dict (see capture_records) to `callable`, on the thread that writes the record.
@disjoint_base
class CallbackHandler(LogHandler):
    @property
    def callable(self) -> Callable[[dict[str, Any]], object]: ...
    @callable.setter
    def callable(self, value: Callable[[dict[str, Any]], object]) -> None: ...
    def __init__(self, callable: Callable[[dict[str, Any]], object], level: _LevelLike = ...) -> None: ...

@disjoint_base
class ColorScheme:
    trace_color: int
    debug_color: int
    info_color: int
    warn_color: int
    error_color: int
    critical_color: int
    def __init__(
        self,
        trace_color: SupportsInt = -1,
        debug_color: SupportsInt = -1,
        info_color: SupportsInt = -1,
        warn_color: SupportsInt = -1,
        error_color: SupportsInt = -1,
        critical_color: SupportsInt = -1,
    ) -> None: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __setstate__(self, state: tuple[Any, ...], /) -> None: ...

# The logging methods (trace to log, is_enabled_for, flush) are _LoggingMethods' in _context.pyi.
@disjoint_base
class Logger(_LoggingMethods):
    def __new__(
        cls,
        name: str | None,
        level: _LevelLike = 0,
        pattern: str | None = ...,
        handlers: list[LogHandler] | None = ...,
        color_scheme: ColorScheme | None = None,
        set_default: object = False,
        intercept_stdlib_logging: object = True,
        *,
        queue_size: SupportsInt = 0,  # > 0: non-blocking, a writer thread and a queue of that many records
        overflow: Literal["block", "drop_oldest"] = "block",
        flush_interval: float = 0.0,  # seconds a file record may wait in its buffer; 0: written at once
        stacklevel: int | None = None,  # the location that many frames up (1: the caller); None: the default rule
        filter: Callable[[dict[str, Any]], object] | None = None,  # a false result drops the record
    ) -> Self: ...
    @property
    def name(self) -> str: ...
    @property
    def filter(self) -> Callable[[dict[str, Any]], object] | None: ...
    # A level outside 0..6 that the constructor took reads back as an int.
    @property
    def level(self) -> Level | int: ...
    @level.setter
    def level(self, value: _LevelArg) -> None: ...
    @property
    def dropped(self) -> int: ...
    @property
    def stacklevel(self) -> int | None: ...
    # A logger through this one that adds `fields` to each record (values converted when bound).
    def bind(self, /, **fields: object) -> BoundLogger: ...
    # A logger is not picklable: both hooks raise TypeError.
    def __reduce__(self) -> NoReturn: ...
    def __setstate__(self, state: object, /) -> NoReturn: ...

@disjoint_base
class DefaultLogger(_LoggingMethods):
    def __new__(cls, *args: object, **kwargs: object) -> Self: ...
    @property
    def level(self) -> Level | int: ...
    @level.setter
    def level(self, value: _LevelArg) -> None: ...
    # A logger through this one that adds `fields` to each record (values converted when bound).
    def bind(self, /, **fields: object) -> BoundLogger: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __setstate__(self, state: tuple[Any, ...], /) -> None: ...

class PyLogHandler(logging.Handler):
    _debug: int
    _info: int
    _warn: int
    _error: int
    _critical: int
    def __init__(self, level: _LevelLike) -> None: ...
    def emit(self, record: logging.LogRecord) -> None: ...

__pyx_capi__: dict[str, Any]

def callback_skipped() -> int: ...
def _capture_start(records: list[dict[str, Any]], /) -> None: ...
def _capture_stop(records: list[dict[str, Any]], /) -> None: ...
def __pyx_unpickle_LogHandler(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> LogHandler: ...
def __pyx_unpickle_StdoutHandler(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> StdoutHandler: ...
def __pyx_unpickle_StderrHandler(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> StderrHandler: ...
def __pyx_unpickle_BasicConsoleHandler(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> BasicConsoleHandler: ...
def __pyx_unpickle_ConsoleHandler(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> ConsoleHandler: ...
def __pyx_unpickle_FileHandler(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> FileHandler: ...
def __pyx_unpickle_RotatingFileHandler(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> RotatingFileHandler: ...
def __pyx_unpickle_JsonFileHandler(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> JsonFileHandler: ...
def __pyx_unpickle_JsonStdoutHandler(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> JsonStdoutHandler: ...
def __pyx_unpickle_JsonStderrHandler(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> JsonStderrHandler: ...
def __pyx_unpickle_DailyFileHandler(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> DailyFileHandler: ...
def __pyx_unpickle_SyslogHandler(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> SyslogHandler: ...
def __pyx_unpickle_CallbackHandler(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> CallbackHandler: ...
def __pyx_unpickle_ColorScheme(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> ColorScheme: ...
def __pyx_unpickle_DefaultLogger(
    __pyx_type: type, __pyx_checksum: int, __pyx_state: tuple[Any, ...] | None
) -> DefaultLogger: ...
