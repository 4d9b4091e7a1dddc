"""Fixtures of the toolkit's tests."""

import asyncio

import pytest


@pytest.fixture
def loop():
    loop = asyncio.new_event_loop()
    loop.set_exception_handler(lambda loop, context: None)  # tasks dropped while pending are expected
    yield loop
    loop.close()
