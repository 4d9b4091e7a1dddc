"""The native coroutine bridge, through the bodies of zelvar._testing: what a body returns or raises
reaches its awaiter, by hand (send) and through asyncio; awaiting what is not awaitable fails."""

import asyncio
import re
import types
import warnings

import pytest
from coroutine_helpers import AwaitGives, Yields, finish

from zelvar import _testing as t


@pytest.mark.parametrize("value", [42, None, (1, 2), (), (None,), ValueError("v"), StopIteration(7)], ids=repr)
@pytest.mark.parametrize("route", ["send", "next", "python await", "task", "after a yield"])
def test_return_value_survives(loop, route, value):
    async def python_await():
        return await t.return_value(value)

    if route in ("send", "next"):
        with pytest.raises(StopIteration) as stop:
            coro = t.return_value(value)
            coro.send(None) if route == "send" else next(coro)
        result = stop.value.value
    elif route == "after a yield":
        coro = t.await_value(Yields(value))
        assert coro.send(None) == "y0"
        result = finish(coro)
    else:
        result = loop.run_until_complete(python_await() if route == "python await" else t.return_value(value))
    assert result is value


@pytest.mark.parametrize("exc", [ValueError("v"), KeyError("k"), asyncio.TimeoutError()], ids=repr)
@pytest.mark.parametrize("after_await", [False, True])
def test_raised_error_propagates_and_finishes(loop, exc, after_await):
    coro = t.raise_error(exc, asyncio.sleep(0) if after_await else None)
    with pytest.raises(type(exc)) as raised:
        loop.run_until_complete(coro)
    assert raised.value is exc
    with pytest.raises(RuntimeError, match="cannot reuse already awaited coroutine"):
        coro.send(None)


def test_stop_iteration_from_body_becomes_runtime_error():
    stop = StopIteration(5)
    with pytest.raises(RuntimeError, match="coroutine raised StopIteration") as raised:
        t.raise_error(stop).send(None)
    assert raised.value.__cause__ is stop


@pytest.mark.parametrize(
    "kind, error, message",
    [
        ("invalid_argument", ValueError, "bad argument"),
        ("bad_alloc", MemoryError, None),
        ("bad_cast", TypeError, None),
        ("ios_failure", OSError, None),  # a runtime_error too: the first match of the mapping wins
        ("out_of_range", IndexError, "past the end"),
        ("overflow_error", OverflowError, "too big"),
        ("underflow_error", ArithmeticError, "too small"),
        ("runtime_error", RuntimeError, "plain"),
        ("int", RuntimeError, "Unknown exception"),
    ],
)
def test_cpp_exception_raises_mapped_error(loop, kind, error, message):
    with pytest.raises(error) as raised:
        loop.run_until_complete(t.raise_native(kind, asyncio.sleep(0)))
    assert type(raised.value) is error
    assert message is None or str(raised.value) == message


@pytest.mark.parametrize(
    "obj, message",
    [
        (1, "object int can't be used in 'await' expression"),
        (AwaitGives(lambda: t.return_value(1)), "__await__() returned a coroutine"),
        (AwaitGives(lambda: 3), "__await__() returned non-iterator of type 'int'"),
    ],
)
def test_await_of_a_non_awaitable_raises_type_error(obj, message):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)  # the coroutine __await__ returned is dropped
        with pytest.raises(TypeError, match=re.escape(message)):
            t.await_value(obj).send(None)


def test_generator_based_coroutine_is_awaited_as_it_is():
    @types.coroutine
    def legacy():
        return (yield "legacy")

    coro = t.await_value(legacy())
    assert coro.send(None) == "legacy"
    assert finish(coro, "reply") == "reply"


def test_sending():
    it = Yields("done", times=3)
    coro = t.await_value(it)
    with pytest.raises(TypeError, match="can't send non-None value to a just-started coroutine"):
        coro.send(1)
    assert [coro.send(None), coro.send("a"), coro.send("b")] == ["y0", "y1", "y2"]
    assert finish(coro, "c") == "done"
    assert it.sent == ["a", "b", "c"]


def test_awaited_twice(loop):
    coro = t.await_value(asyncio.sleep(0, "once"))
    assert loop.run_until_complete(coro) == "once"
    with pytest.raises(RuntimeError, match="cannot reuse already awaited coroutine"):
        loop.run_until_complete(coro)
    assert coro.close() is None  # closing a finished coroutine is quiet
