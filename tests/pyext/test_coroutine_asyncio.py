"""The native coroutine bridge, through the bodies of zelvar._testing, under asyncio: cancellation at
the exact await (locks, conditions, async with), bodies that catch it, and async with itself."""

import asyncio

import pytest
from coroutine_helpers import CANCELLED, Log, Manager, Raises, Recording, done_future, finish, settle

from zelvar import _testing as t

# ---- cancellation -----------------------------------------------------------------------------------


@pytest.mark.parametrize("kind", ["pending future", "asyncio.sleep", "python coroutine", "native coroutine"])
def test_cancel_reaches_the_exact_await(loop, kind):
    log, fut = Log(), loop.create_future()

    async def python_coroutine():
        return await fut

    second = {
        "pending future": lambda: fut,
        "asyncio.sleep": lambda: asyncio.sleep(10),
        "python coroutine": python_coroutine,
        "native coroutine": lambda: t.await_value(fut),
    }[kind]()
    task = loop.create_task(t.nested(log, asyncio.sleep(0, "a"), second))
    settle(loop)
    assert log == [("first", "exit")]
    task.cancel()
    with pytest.raises(asyncio.CancelledError):
        loop.run_until_complete(task)
    assert log == [("first", "exit"), ("child", CANCELLED), ("outer", CANCELLED)]
    assert fut.cancelled() or kind == "asyncio.sleep"


def test_cancel_while_waiting_for_a_lock_held_elsewhere(loop):
    lock = asyncio.Lock()
    loop.run_until_complete(lock.acquire())
    manager = Recording(lock)
    task = loop.create_task(t.with_block(manager, done_future(loop, None)))
    settle(loop)
    task.cancel()
    with pytest.raises(asyncio.CancelledError):
        loop.run_until_complete(task)
    assert manager.calls == ["enter"]  # never entered, so no __aexit__
    lock.release()
    loop.run_until_complete(asyncio.wait_for(lock.acquire(), 1))


@pytest.mark.parametrize("primitive", ["lock", "condition wait", "wait_for timeout"])
def test_cancel_inside_async_with_runs_aexit(loop, primitive):
    lock = asyncio.Condition() if primitive == "condition wait" else asyncio.Lock()
    manager = Recording(lock)
    coro = (
        t.condition_wait(manager, lock)
        if primitive == "condition wait"
        else t.with_block(manager, loop.create_future())
    )
    if primitive == "wait_for timeout":
        with pytest.raises(asyncio.TimeoutError):
            loop.run_until_complete(asyncio.wait_for(coro, 0.01))
    else:
        task = loop.create_task(coro)
        settle(loop)
        assert lock.locked() == (primitive == "lock")  # Condition.wait() released it
        task.cancel()
        with pytest.raises(asyncio.CancelledError):
            loop.run_until_complete(task)
    assert manager.calls == ["enter", ("exit", asyncio.CancelledError)]
    assert not lock.locked()


def test_condition_notify_wakes_the_body(loop):
    condition = asyncio.Condition()

    async def notify():
        async with condition:
            condition.notify_all()

    task = loop.create_task(t.condition_wait(condition, condition))
    settle(loop)
    loop.run_until_complete(notify())
    assert loop.run_until_complete(task) is True
    assert not condition.locked()


def test_body_may_catch_cancellation_and_go_on(loop):
    task = loop.create_task(t.ignore_exit(loop.create_future(), asyncio.sleep(0, "went on")))
    settle(loop)
    task.cancel()
    assert loop.run_until_complete(task) == (CANCELLED, "went on")
    assert not task.cancelled()


# ---- async with -----------------------------------------------------------------------------------


def test_async_with_passes_the_entered_value_and_frees_a_lock(loop):
    manager = Manager()
    assert loop.run_until_complete(t.with_block(manager, asyncio.sleep(0, "r"))) == ("entered", "r")
    assert manager.exited == (None, None, None)
    lock = asyncio.Lock()  # a free lock and a done future: nothing suspends
    assert finish(t.with_block(lock, done_future(loop, "inner"))) == (None, "inner")
    assert not lock.locked()


@pytest.mark.parametrize("suppress", [False, True])
def test_async_with_error_reaches_aexit(loop, suppress):
    manager, exc = Manager(suppress=suppress), ValueError("inner")
    if suppress:
        assert loop.run_until_complete(t.with_block(manager, Raises(exc))) is None
    else:
        with pytest.raises(ValueError) as raised:
            loop.run_until_complete(t.with_block(manager, Raises(exc)))
        assert raised.value is exc
    typ, value, tb = manager.exited
    assert (typ, value) == (ValueError, exc)
    newest = exc.__traceback__  # later frames go in front of the one __aexit__ saw
    while newest is not None and newest is not tb:
        newest = newest.tb_next
    assert newest is tb is not None


def test_async_with_error_from_aexit_is_chained(loop):
    inner, outer = ValueError("inner"), KeyError("exit")
    with pytest.raises(KeyError) as raised:
        loop.run_until_complete(t.with_block(Manager(exit_error=outer), Raises(inner)))
    assert raised.value is outer and outer.__context__ is inner


def test_async_with_needs_a_context_manager(loop):
    with pytest.raises(TypeError, match="'int' object does not support the asynchronous context manager protocol"):
        loop.run_until_complete(t.with_block(1, done_future(loop, None)))
