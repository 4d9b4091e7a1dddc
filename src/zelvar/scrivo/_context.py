"""Fields for every record logged inside a block of code, and the bound logger's class."""

from __future__ import annotations

import contextvars
from collections.abc import Iterator
from contextlib import contextmanager

from .scrivo import DefaultLogger

__all__ = ["BoundLogger", "log_context"]

_root = DefaultLogger()

# The fields in effect, as a logger bound to them (None: none); the native logging calls read it,
# and tasks and threads started with a copy of the context inherit it.
_fields: contextvars.ContextVar[BoundLogger | None] = contextvars.ContextVar("zelvar.scrivo.log_context", default=None)

BoundLogger = type(_root.bind())


class _Block:
    """An entered log_context: the logger bound to the fields in effect inside it, and the block it
    was entered in (None: none)."""

    __slots__ = ("bound", "outer")

    def __init__(self, bound: BoundLogger, outer: _Block | None) -> None:
        self.bound = bound
        self.outer = outer


# The innermost block entered in this context, set with `_fields`.
_block: contextvars.ContextVar[_Block | None] = contextvars.ContextVar("zelvar.scrivo.log_block", default=None)


@contextmanager
def log_context(**fields: object) -> Iterator[None]:
    """Adds ``fields`` to every record logged inside the block, from any logger (standard ``logging``
    calls after the takeover too). Nested blocks merge, the inner value winning; leaving restores.
    A field bound to a logger wins over a context field of the same name."""
    BoundLogger._watch_context(_fields)  # logging calls read the variable once a block has been entered
    outer = _block.get()
    block = _Block((outer.bound if outer is not None else _root).bind(**fields), outer)
    _block.set(block)
    _fields.set(block.bound)
    try:
        yield
    finally:
        # A generator's block may be left out of order, or in another context (an abandoned async
        # generator closed by the loop): only a block this context is still inside restores the
        # state it was entered in, and blocks entered inside it go with it.
        current = _block.get()
        while current is not None and current is not block:
            current = current.outer
        if current is block:
            _block.set(block.outer)
            _fields.set(block.outer.bound if block.outer is not None else None)
