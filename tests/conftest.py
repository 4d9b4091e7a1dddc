import pytest
from helpers import Child


@pytest.fixture
def child(tmp_path):
    return Child(tmp_path)
