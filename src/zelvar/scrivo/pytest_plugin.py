"""The pytest plugin of zelvar.scrivo (registered as the ``scrivo`` entry point): the
``scrivo_records`` fixture, the records of one test as ``capture_records()`` gives them."""

from __future__ import annotations

from collections.abc import Iterator
from typing import Any

import pytest


@pytest.fixture
def scrivo_records() -> Iterator[list[dict[str, Any]]]:
    """The dicts of the records logged during the test (see ``zelvar.scrivo.capture_records``)."""
    # Imported here: loading the plugin must not import the native module (it may be imported into
    # one interpreter only, and a test session may want it in another).
    from ._capture import capture_records

    with capture_records() as records:
        yield records
