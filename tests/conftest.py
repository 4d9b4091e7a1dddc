import os

import pytest
from helpers import Child

# The tests check colour themselves: an environment that turns it off (NO_COLOR, TERM=dumb) must not
# reach the interpreters they start.
os.environ.pop("NO_COLOR", None)
if os.environ.get("TERM") == "dumb":
    del os.environ["TERM"]


@pytest.fixture
def child(tmp_path):
    return Child(tmp_path)
