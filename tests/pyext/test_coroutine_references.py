"""The native coroutine bridge, through the bodies of zelvar._testing: the references it holds. Cycles
through a running task are collected, scoped keeps are released, and a million awaits leak nothing."""

import asyncio
import gc
import os
import sys
import weakref

import pytest
from coroutine_helpers import AwaitGives, Log, Yields, done_future, finish, settle

from zelvar import _testing as t


def _argument(fut):
    log = Log()
    return t.nested(log, asyncio.sleep(0), fut), lambda: log


def _kept_object(fut):
    made = []

    def factory():
        obj = Log()
        made.append(weakref.ref(obj))
        return obj

    return t.hold(factory, fut), lambda: made[0]()


def _async_with_manager(fut):
    lock = asyncio.Lock()  # its __aexit__ does not suspend, so closing by the collector is clean
    return t.with_block(lock, fut), lambda: lock


@pytest.mark.parametrize("build", [_argument, _kept_object, _async_with_manager])
def test_cycle_through_the_running_task_is_collected(loop, build):
    fut = loop.create_future()
    coro, target = build(fut)
    task = loop.create_task(coro)
    settle(loop)
    assert not task.done()
    owned = target()
    owned.task = task  # what the coroutine owns now leads back to it
    ref = weakref.ref(owned)
    del owned, target, coro, task, fut
    gc.collect()
    assert ref() is None


def test_scoped_keep_is_released():
    assert finish(t.kept_count(object(), Yields())) == 1


def test_no_leak_over_a_million_awaits(loop):
    result = object()
    fut = done_future(loop, result)
    yielding = AwaitGives(lambda: iter([None]))
    refs = sys.getrefcount(result), sys.getrefcount(fut), sys.getrefcount(yielding)

    def rounds(n):
        assert finish(t.await_n(fut, n)) == n  # no await suspends
        assert loop.run_until_complete(t.await_n(fut, n // 10)) == n // 10
        coro, sends = t.await_n(yielding, n // 10), 0
        with pytest.raises(StopIteration):
            while True:
                coro.send(None)
                sends += 1
        assert sends == n // 10

    def rss():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")

    rounds(100_000)  # warm-up: free lists, arenas
    gc.collect()
    before = rss()
    rounds(1_000_000)
    gc.collect()
    assert (sys.getrefcount(result), sys.getrefcount(fut), sys.getrefcount(yielding)) == refs
    # Under a sanitizer freed memory sits in quarantine, so RSS says nothing there.
    if "asan" not in os.environ.get("LD_PRELOAD", ""):
        assert rss() - before < 8 * 1024 * 1024
