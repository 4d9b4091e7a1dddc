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


@contextmanager
def log_context(**fields: object) -> Iterator[None]:
    """Adds ``fields`` to every record logged inside the block, from any logger (standard ``logging``
    calls after the takeover too). Nested blocks merge, the inner value winning; leaving restores.
    A field bound to a logger wins over a context field of the same name."""
    BoundLogger._watch_context(_fields)  # logging calls read the variable once a block has been entered
    current = _fields.get()
    token = _fields.set((current if current is not None else _root).bind(**fields))
    try:
        yield
    finally:
        _fields.reset(token)
