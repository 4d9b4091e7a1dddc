"""Native spdlog loggers driven from Python."""

from . import scrivo as _native
from ._capture import capture_records
from ._config import StdlibHandler, configure
from ._context import BoundLogger, log_context
from .scrivo import ColorScheme, DefaultLogger, Level, Logger, PyLogHandler, callback_skipped

# Every handler kind the native module defines (LogHandler and its subclasses), so a new kind needs
# no line here; the stub (__init__.pyi) takes them from scrivo.pyi's __all__.
_HANDLER_KINDS = {
    name: kind
    for name, kind in vars(_native).items()
    if isinstance(kind, type) and issubclass(kind, _native.LogHandler)
}
globals().update(_HANDLER_KINDS)

__all__ = [
    "BoundLogger",
    "ColorScheme",
    "DefaultLogger",
    "Level",
    "Logger",
    "PyLogHandler",
    "StdlibHandler",
    "callback_skipped",
    "capture_records",
    "configure",
    "log_context",
]
__all__ += _HANDLER_KINDS
__all__.sort()
