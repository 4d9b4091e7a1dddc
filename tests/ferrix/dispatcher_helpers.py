"""Helpers shared by the dispatcher tests: ring modes, callbacks that collect what they are given (one
message per call or lists of them), and waits bounded in time, on a thread or on the event loop."""

import asyncio
import time

import pytest

from zelvar import _testing as native
from zelvar.utils.ferrix import ferrix as f


def wait_for(predicate, timeout=10.0):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.002)
    return True


MODES = [
    pytest.param(dict(nonblocking=True, variable_size=False), id="doorbell-fixed"),
    pytest.param(dict(nonblocking=True, variable_size=True), id="doorbell-variable"),
    pytest.param(dict(nonblocking=False, variable_size=False), id="ring-fixed"),
    pytest.param(dict(nonblocking=False, variable_size=True), id="ring-variable"),
]


class Batches:
    """A batch callback: keeps every message and the length of every list it was given."""

    def __init__(self):
        self.got, self.lengths = [], []

    def __call__(self, msgs):
        self.lengths.append(len(msgs) if type(msgs) is list else None)
        self.got.extend(msgs)


def receiver(batch):
    """(callback, list of messages received) for one message per call or for lists of `batch`."""
    if not batch:
        got = []
        return got.append, got
    batches = Batches()
    return batches, batches.got


AD = f.AsyncDispatcher


def reader_tasks():
    return [t for t in asyncio.all_tasks() if t.get_coro().__qualname__.startswith("AsyncDispatcher.__reader")]


async def until(predicate, timeout=10.0):
    loop = asyncio.get_running_loop()
    deadline = loop.time() + timeout
    while not predicate():
        assert loop.time() < deadline, "timed out"
        await asyncio.sleep(0.001)


async def produce(d, threads, count, sizes, retry=True):
    return await asyncio.get_running_loop().run_in_executor(None, native.produce, d, threads, count, sizes, retry)


class Collector:
    def __init__(self):
        self.got = []

    async def __call__(self, msg):
        self.got.append(msg)


class BatchCollector:
    def __init__(self):
        self.got, self.lengths = [], []

    async def __call__(self, msgs):
        self.lengths.append(len(msgs) if type(msgs) is list else None)
        self.got.extend(msgs)
