"""Helpers shared by the coroutine bridge tests: awaitables that yield, catch, raise or record what
they are sent, async context managers, and ways to drive a coroutine or a loop by hand."""

import asyncio

import pytest

CANCELLED = asyncio.CancelledError.__name__


def settle(loop, rounds=5):
    """Lets every ready task run until it waits on something that is not done."""
    for _ in range(rounds):
        loop.run_until_complete(asyncio.sleep(0))


def finish(coro, value=None):
    """Sends into `coro` until it returns; gives its value."""
    with pytest.raises(StopIteration) as stop:
        while True:
            coro.send(value)
    return stop.value.value


def done_future(loop, result):
    fut = loop.create_future()
    fut.set_result(result)
    return fut


class Yields:
    """Yields 'y0', 'y1', ... `times` times, then returns `value`; records what it is sent and
    whether it was closed."""

    def __init__(self, value=None, times=1):
        self.value, self.times, self.sent, self.closed = value, times, [], False

    def __await__(self):
        try:
            for i in range(self.times):
                self.sent.append((yield f"y{i}"))
        except GeneratorExit:
            self.closed = True
            raise
        return self.value


class Catches:
    """Yields once; a ValueError thrown in is answered by returning, or by yielding once more."""

    def __init__(self, reply):
        self.reply = reply

    def __await__(self):
        try:
            yield "waiting"
        except ValueError as e:
            if self.reply == "yield":
                yield f"caught {e}"
                return "after"
            return f"caught {e}"


class AwaitGives:
    """An awaitable whose __await__ returns make()."""

    def __init__(self, make):
        self.make = make

    def __await__(self):
        return self.make()


def plain_iterator():
    """An awaitable whose iterator has neither throw() nor close()."""
    return AwaitGives(lambda: iter(["plain"]))


class Raises:
    def __init__(self, exc):
        self.exc = exc

    def __await__(self):
        raise self.exc
        yield  # pragma: no cover - makes this a generator


class Recording:
    """An async context manager around another one, recording the calls it gets."""

    def __init__(self, inner):
        self.inner, self.calls = inner, []

    async def __aenter__(self):
        self.calls.append("enter")
        return await self.inner.__aenter__()

    async def __aexit__(self, typ, exc, tb):
        self.calls.append(("exit", typ))
        return await self.inner.__aexit__(typ, exc, tb)


class Manager:
    """An async context manager that suspends in both methods; __aexit__ suppresses or raises."""

    def __init__(self, suppress=False, exit_error=None):
        self.suppress, self.exit_error, self.exited = suppress, exit_error, None

    async def __aenter__(self):
        await asyncio.sleep(0)
        return "entered"

    async def __aexit__(self, typ, exc, tb):
        await asyncio.sleep(0)
        self.exited = (typ, exc, tb)
        if self.exit_error is not None:
            raise self.exit_error
        return self.suppress


class Log(list):
    """The probe log of t.nested: a list that can also be given attributes and weak references."""
