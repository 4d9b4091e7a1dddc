"""The native coroutine bridge, through the bodies of zelvar._testing: the coroutine object and its
functions as asyncio and inspect see them (type checks, bound methods, argument checks, names,
cr_await and state), in tasks and gather."""

import asyncio
import collections.abc
import gc
import inspect
import re
import warnings

import pytest
from coroutine_helpers import Yields, done_future, finish
from helpers import is_coroutine_function

from zelvar import _testing as t


def test_recognised_by_asyncio_and_inspect():
    coro = t.await_value(Yields())
    assert asyncio.iscoroutine(coro) and inspect.isawaitable(coro)
    assert isinstance(coro, collections.abc.Coroutine) and coro.__await__() is coro
    coro.close()
    for function in (t.await_value, t.AsyncBox.get, t.AsyncBox(1).get):
        assert is_coroutine_function(function)


def test_coroutine_method_binds_self_and_arguments(loop):
    box = t.AsyncBox("boxed")
    assert loop.run_until_complete(box.get(asyncio.sleep(0, "r"), extra=3)) == ("boxed", "r", 3)
    assert loop.run_until_complete(t.AsyncBox.get(box, asyncio.sleep(0, "r"))) == ("boxed", "r", None)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: t.await_value(), "await_value() takes exactly 1 positional argument (0 given)"),
        (lambda: t.await_value(1, 2), "await_value() takes exactly 1 positional argument (2 given)"),
        (lambda: t.AsyncBox.get(5, 1), "descriptor 'get' requires a 'AsyncBox' object but received a 'int'"),
    ],
)
def test_arguments_are_checked_at_the_call(call, message):
    with warnings.catch_warnings():
        warnings.simplefilter("error", RuntimeWarning)  # no coroutine may be left unawaited
        with pytest.raises(TypeError, match=re.escape(message)):
            call()
        gc.collect()


@pytest.mark.parametrize(
    "make, name, qualname",
    [
        (lambda: t.await_value(Yields()), "await_value", "await_value"),
        (lambda: t.AsyncBox(1).get(Yields()), "get", "AsyncBox.get"),
    ],
)
def test_names(make, name, qualname):
    coro = make()
    assert (coro.__name__, coro.__qualname__) == (name, qualname)
    assert qualname in repr(coro)
    coro.__qualname__ = "Other.name"
    assert coro.__qualname__ == "Other.name"
    with pytest.raises(TypeError, match="__name__ must be set to a string object"):
        coro.__name__ = 1
    coro.close()


def test_cr_await_and_state():
    seen = []

    async def python_coroutine():
        return await Yields("p")

    class Observes:
        def __await__(self):
            seen.append((coro.cr_running, coro.cr_suspended))
            return (yield)

    pc = python_coroutine()
    coro = t.await_value(pc)
    assert coro.cr_await is None and not coro.cr_suspended
    coro.send(None)
    assert coro.cr_await is pc and coro.cr_suspended and not coro.cr_running
    assert finish(coro) == "p"
    assert coro.cr_await is None and not coro.cr_suspended and coro.cr_frame is None

    coro = t.await_value(Observes())
    coro.send(None)
    assert seen == [(True, False)]
    coro.close()


def test_tasks_and_gather(loop):
    async def main():
        fut = done_future(asyncio.get_running_loop(), "f")
        task = asyncio.get_running_loop().create_task(t.await_value(asyncio.sleep(0.001, "t")))
        await asyncio.sleep(0)
        assert "await_value" in repr(task) and task.get_stack() == []
        return await asyncio.gather(
            t.await_value(asyncio.sleep(0, 1)), t.return_value(2), t.await_n(fut, 3), t.await_value(fut), task
        )

    assert loop.run_until_complete(main()) == [1, 2, 3, "f", "t"]
