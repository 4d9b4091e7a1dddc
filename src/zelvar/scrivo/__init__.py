"""Native spdlog loggers driven from Python."""

from ._capture import capture_records
from ._config import StdlibHandler, configure
from ._context import BoundLogger, log_context
from .scrivo import (
    BasicConsoleHandler,
    CallbackHandler,
    ColorScheme,
    ConsoleHandler,
    DailyFileHandler,
    DefaultLogger,
    FileHandler,
    JsonFileHandler,
    JsonStderrHandler,
    JsonStdoutHandler,
    Level,
    Logger,
    LogHandler,
    PyLogHandler,
    RotatingFileHandler,
    StderrHandler,
    StdoutHandler,
    SyslogHandler,
    callback_skipped,
)

__all__ = [
    "BasicConsoleHandler",
    "BoundLogger",
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
    "StdlibHandler",
    "StdoutHandler",
    "SyslogHandler",
    "callback_skipped",
    "capture_records",
    "configure",
    "log_context",
]
