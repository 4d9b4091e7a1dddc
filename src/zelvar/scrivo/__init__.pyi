from .scrivo import (
    BasicConsoleHandler as BasicConsoleHandler,
    ColorScheme as ColorScheme,
    ConsoleHandler as ConsoleHandler,
    DefaultLogger as DefaultLogger,
    FileHandler as FileHandler,
    Level as Level,
    LogHandler as LogHandler,
    Logger as Logger,
    PyLogHandler as PyLogHandler,
    RotatingFileHandler as RotatingFileHandler,
    StderrHandler as StderrHandler,
    StdoutHandler as StdoutHandler,
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
