from ._capture import capture_records as capture_records
from ._config import StdlibHandler as StdlibHandler
from ._config import configure as configure
from ._context import BoundLogger as BoundLogger
from ._context import log_context as log_context
from .scrivo import (
    BasicConsoleHandler as BasicConsoleHandler,
)
from .scrivo import (
    CallbackHandler as CallbackHandler,
)
from .scrivo import (
    ColorScheme as ColorScheme,
)
from .scrivo import (
    ConsoleHandler as ConsoleHandler,
)
from .scrivo import (
    DailyFileHandler as DailyFileHandler,
)
from .scrivo import (
    DefaultLogger as DefaultLogger,
)
from .scrivo import (
    FileHandler as FileHandler,
)
from .scrivo import (
    JsonFileHandler as JsonFileHandler,
)
from .scrivo import (
    JsonStderrHandler as JsonStderrHandler,
)
from .scrivo import (
    JsonStdoutHandler as JsonStdoutHandler,
)
from .scrivo import (
    Level as Level,
)
from .scrivo import (
    Logger as Logger,
)
from .scrivo import (
    LogHandler as LogHandler,
)
from .scrivo import (
    PyLogHandler as PyLogHandler,
)
from .scrivo import (
    RotatingFileHandler as RotatingFileHandler,
)
from .scrivo import (
    StderrHandler as StderrHandler,
)
from .scrivo import (
    StdoutHandler as StdoutHandler,
)
from .scrivo import (
    SyslogHandler as SyslogHandler,
)
from .scrivo import (
    callback_skipped as callback_skipped,
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
