"""Native spdlog loggers driven from Python."""

from ._config import StdlibHandler, configure
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
]
