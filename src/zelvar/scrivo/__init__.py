"""Native spdlog loggers driven from Python."""

from ._config import StdlibHandler, configure
from ._context import BoundLogger, log_context
from .scrivo import (
    BasicConsoleHandler,
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
)

__all__ = [
    "BasicConsoleHandler",
    "BoundLogger",
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
    "configure",
    "log_context",
]
