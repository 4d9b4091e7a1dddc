from collections.abc import Iterator
from typing import Any

def scrivo_records() -> Iterator[list[dict[str, Any]]]: ...
