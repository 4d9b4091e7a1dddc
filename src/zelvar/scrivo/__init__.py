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
