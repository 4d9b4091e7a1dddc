from contextlib import AbstractContextManager
from types import TracebackType
from typing import NoReturn, SupportsInt

from typing_extensions import Self, final

__all__ = ["BoundLogger", "log_context"]

# A logging method's exc_info, as `logging` takes it: True for the exception being handled, an
# exception, or a (type, value, traceback) tuple; a false value for none.
_ExcInfo = bool | BaseException | tuple[type[BaseException] | None, BaseException | None, TracebackType | None] | None

def log_context(**fields: object) -> AbstractContextManager[None]: ...

# Made by Logger.bind / DefaultLogger.bind; writes through that logger and adds its fields.
@final
class BoundLogger:
    @property
    def name(self) -> str: ...
    def bind(self, /, **fields: object) -> Self: ...
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
    def debug(
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
    def info(
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
    def warn(
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
    def error(
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
    def critical(
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
    def warning(
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
    def exception(
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
    def log(
        self,
        level: int | str,
        msg: str | None,
        fg_color: SupportsInt = -1,
        bg_color: SupportsInt = -1,
        effect: SupportsInt = -1,
        *,
        exc_info: _ExcInfo = None,
        stacklevel: int | None = None,
        **fields: object,
    ) -> None: ...
    def is_enabled_for(self, level: int | str, /) -> bool: ...
    def flush(self) -> None: ...
    def __reduce__(self) -> NoReturn: ...
    def __setstate__(self, state: object, /) -> NoReturn: ...
