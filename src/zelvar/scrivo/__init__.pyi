from ._capture import capture_records as capture_records
from ._config import StdlibHandler as StdlibHandler
from ._config import configure as configure
from ._context import BoundLogger as BoundLogger
from ._context import log_context as log_context

# The native module's names the package re-exports, handler kinds included, listed once in its stub.
from .scrivo import *  # noqa: F403
from .scrivo import __all__ as __all__

__all__ += ["BoundLogger", "StdlibHandler", "capture_records", "configure", "log_context"]
