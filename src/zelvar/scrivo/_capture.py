"""capture_records(): the records logged while a block runs, as dicts."""

from __future__ import annotations

import contextlib
from collections.abc import Iterator
from typing import Any

from .scrivo import _capture_start, _capture_stop


@contextlib.contextmanager
def capture_records() -> Iterator[list[dict[str, Any]]]:
    """Yield a list that receives, while the block runs, a dict for every record that passes a
    logger's level: from every zelvar logger, the default logger, bound loggers and, after the
    takeover, the standard package's records.

    Each dict has ``logger``, ``level`` (a ``Level``), ``message``, ``file``, ``line``,
    ``function``, ``fields`` (context, bound and call fields) and ``exception`` (the dict the JSON
    handlers write, or ``None``). Records still reach the sinks; a record a logger's filter drops
    is not captured. A capture is process-wide: it sees the records of every thread and every
    asyncio task logged while it is active, and nested captures each see the records of their own
    span. A non-blocking logger's records are captured on the calling thread.
    """
    records: list[dict[str, Any]] = []
    _capture_start(records)
    try:
        yield records
    finally:
        _capture_stop(records)
