"""Native spdlog loggers driven from Python."""

from .scrivo import (
    BasicConsoleHandler,
    ColorScheme,
    ConsoleHandler,
    DefaultLogger,
    FileHandler,
    Level,
    LogHandler,
    Logger,
    PyLogHandler,
    RotatingFileHandler,
    StderrHandler,
    StdoutHandler,
)

__all__ = [
    "BasicConsoleHandler",
    "ColorScheme",
    "ConsoleHandler",
    "DefaultLogger",
    "FileHandler",
    "Level",
    "LogHandler",
    "Logger",
    "PyLogHandler",
    "RotatingFileHandler",
    "StderrHandler",
    "StdoutHandler",
]
