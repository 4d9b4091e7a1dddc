from typing import Any

from .scrivo import DefaultLogger, Logger, PyLogHandler

__all__ = ["StdlibHandler", "configure"]

def configure(config: dict[str, Any]) -> dict[str, Logger]: ...

class StdlibHandler(PyLogHandler):
    def __init__(self, level: int | str = 0, *, logger: Logger | DefaultLogger | None = None) -> None: ...
