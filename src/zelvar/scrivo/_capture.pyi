from contextlib import AbstractContextManager
from typing import Any

def capture_records() -> AbstractContextManager[list[dict[str, Any]]]: ...
