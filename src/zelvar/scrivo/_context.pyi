from contextlib import AbstractContextManager
from types import TracebackType
from typing import NoReturn, SupportsInt

from typing_extensions import Self, final

__all__ = ["BoundLogger", "log_context"]

# A logging method's exc_info, as `logging` takes it: True for the exception being handled, an
# exception, or a (type, value, traceback) tuple; a false value for none.
_ExcInfo = bool | BaseException | tuple[type[BaseException] | None, BaseException | None, TracebackType | None] | None

# What a logger's level setter, log() and is_enabled_for() take: a Level, 0 to 6, or a level name in
# any case ("WARNING" too); a `logging` number (10 to 50), bool and float are refused.
_LevelArg = int | str

def log_context(**fields: object) -> AbstractContextManager[None]: ...

# The logging methods Logger, DefaultLogger and BoundLogger each have. Only the stub has this class:
# at run time the methods are attached to each logger class at import, and the classes share no base.
# Every one takes further keyword arguments as fields of that record (as `bind` names them; a call's
# field wins over a bound or context one) and exc_info, an exception to attach (its traceback after
# the message in text, an "exception" key in JSON) and stacklevel, how many frames above the call its
# location is taken from (1: the function that made the call; overrides the logger's).
class _LoggingMethods:
    # Every level method takes the same arguments.
    def trace(
        self,
        msg: str | None,
        fg_color: SupportsInt = -1,
        bg_color: SupportsInt = -1,
        effect: SupportsInt = -1,
        *,
        exc_info: _ExcInfo = None,
        stacklevel: int | None = None,
        **fields: object,
    ) -> None: ...
    debug = trace
    info = trace
    warn = trace
    error = trace
    critical = trace
    warning = trace
    # Error level, with the exception being handled unless exc_info names another (or a false value).
    exception = trace
    def log(
        self,
        level: _LevelArg,
        msg: str | None,
        fg_color: SupportsInt = -1,
        bg_color: SupportsInt = -1,
        effect: SupportsInt = -1,
        *,
        exc_info: _ExcInfo = None,
        stacklevel: int | None = None,
        **fields: object,
    ) -> None: ...
    def is_enabled_for(self, level: _LevelArg, /) -> bool: ...
    # Returns once everything logged before the call is written and the sinks are flushed.
    def flush(self) -> None: ...

# Made by Logger.bind / DefaultLogger.bind; writes through that logger and adds its fields.
@final
class BoundLogger(_LoggingMethods):
    @property
    def name(self) -> str: ...
    def bind(self, /, **fields: object) -> Self: ...
    def __reduce__(self) -> NoReturn: ...
    def __setstate__(self, state: object, /) -> NoReturn: ...
