"""The native coroutine bridge, driven through the bodies of zelvar._testing: by hand (send, throw,
close) and by asyncio (tasks, cancellation, wait_for, gather, collection of cycles)."""

import asyncio
import collections.abc
import gc
import inspect
import os
import re
import sys
import types
import warnings
import weakref

import pytest

from zelvar import _testing as t

CANCELLED = asyncio.CancelledError.__name__


@pytest.fixture
def loop():
    loop = asyncio.new_event_loop()
    loop.set_exception_handler(lambda loop, context: None)  # tasks dropped while pending are expected
    yield loop
    loop.close()


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


# ---- values and errors ------------------------------------------------------------------------


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
        ("int", RuntimeError, "Unknown exception"),
    ],
)
def test_cpp_exception_raises_mapped_error(loop, kind, error, message):
    with pytest.raises(error) as raised:
        loop.run_until_complete(t.raise_native(kind, asyncio.sleep(0)))
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


# ---- close and finalization ------------------------------------------------------------------------


def test_close_before_start_runs_nothing_and_does_not_warn():
    log = Log()
    coro = t.nested(log, Yields(), Yields())
    with warnings.catch_warnings():
        warnings.simplefilter("error", RuntimeWarning)
        assert coro.close() is None
        del coro
        gc.collect()
    assert log == []


@pytest.mark.parametrize("how", ["close", "drop"])
def test_close_while_suspended_unwinds_the_innermost_await(how):
    log, second = Log(), Yields()
    coro = t.nested(log, Yields("a"), second)
    assert coro.send(None) == coro.send(None) == "y0"  # the second one inside the sub-body
    if how == "close":
        assert coro.close() is None
    else:
        del coro
        gc.collect()
    assert second.closed
    assert log == [("first", "exit"), ("child", "GeneratorExit"), ("outer", "GeneratorExit")]


def test_ignored_generator_exit():
    coro = t.ignore_exit(Yields(), Yields())
    coro.send(None)
    with pytest.raises(RuntimeError, match="coroutine ignored GeneratorExit"):
        coro.close()
    assert finish(coro) == ("GeneratorExit", None)  # it was left suspended in its second await


def test_dropping_a_coroutine_that_ignores_exit_destroys_its_frames():
    log, unraisable = Log(), []
    coro = t.ignore_exit(Yields(), Yields(), log)
    coro.send(None)
    # Only the text is kept: holding the report would hold the coroutine.
    hook, sys.unraisablehook = sys.unraisablehook, lambda report: unraisable.append(str(report.exc_value))
    try:
        del coro
        gc.collect()
    finally:
        sys.unraisablehook = hook
    assert unraisable == ["coroutine ignored GeneratorExit"]
    assert log == [("ignoring", "destroyed")]  # the sub-body's frame went with its owner


def test_body_finishing_while_closing(loop):
    coro = t.ignore_exit(Yields(), done_future(loop, "late"))
    coro.send(None)
    assert coro.close() == (("GeneratorExit", "late") if sys.version_info >= (3, 13) else None)


def test_never_awaited_warning():
    coro = t.await_value(Yields())
    with pytest.warns(RuntimeWarning, match="coroutine 'await_value' was never awaited"):
        del coro
        gc.collect()


# ---- throw ----------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "args",
    [(ValueError,), (ValueError("x"),), (ValueError, ValueError("x")), (ValueError, "x", None)],
    ids=["class", "instance", "pair", "triple"],
)
def test_throw_forms(args):
    coro = t.await_value(plain_iterator())
    coro.send(None)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)  # the 3-argument form, 3.12+
        with pytest.raises(ValueError) as raised:
            coro.throw(*args)
    assert raised.value.args == (() if args == (ValueError,) else ("x",))


@pytest.mark.parametrize(
    "args, message",
    [
        ((), "throw expected at least 1 argument, got 0"),
        ((1,), "exceptions must be classes or instances deriving from BaseException, not int"),
        ((ValueError("x"), 1), "instance exception may not have a separate value"),
        ((ValueError, None, 1), "throw() third argument must be a traceback object"),
    ],
)
def test_throw_rejects_bad_arguments(args, message):
    coro = t.await_value(plain_iterator())
    coro.send(None)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        with pytest.raises(TypeError, match=re.escape(message)):
            coro.throw(*args)
    assert finish(coro) is None  # left as it was: the iterator just ends


def test_throw_handled_by_the_awaited_iterator():
    coro = t.await_value(Catches("return"))
    assert coro.send(None) == "waiting"
    with pytest.raises(StopIteration) as stop:
        coro.throw(ValueError("v"))
    assert stop.value.value == "caught v"  # its return value resumed the body

    coro = t.await_value(Catches("yield"))
    coro.send(None)
    assert coro.throw(ValueError("v")) == "caught v"
    assert finish(coro) == "after"


@pytest.mark.parametrize(
    "first, thrown",
    [(plain_iterator(), KeyError("k")), (Yields(), GeneratorExit)],
    ids=["iterator without throw", "GeneratorExit"],
)
def test_throw_that_goes_into_the_body(first, thrown):
    coro = t.ignore_exit(first, Yields("second"))
    coro.send(None)
    assert coro.throw(thrown) == "y0"  # the body caught it and awaits its second awaitable
    assert finish(coro) == (getattr(thrown, "__name__", type(thrown).__name__), "second")
    if isinstance(first, Yields):
        assert first.closed


@pytest.mark.parametrize("wrapped", [False, True], ids=["nested", "native coroutine awaiting it"])
def test_throw_into_a_nested_await(wrapped):
    log = Log()
    inner = t.nested(log, Yields("a"), Yields("b"))
    coro = t.await_value(inner) if wrapped else inner
    coro.send(None)
    coro.send(None)
    assert coro.cr_await is inner if wrapped else isinstance(coro.cr_await, types.GeneratorType)
    exc = KeyError("k")
    with pytest.raises(KeyError) as raised:
        coro.throw(exc)
    assert raised.value is exc
    assert log == [("first", "exit"), ("child", "KeyError"), ("outer", "KeyError")]


def test_throw_before_start_closes_without_running():
    log = Log()
    coro = t.nested(log, Yields(), Yields())
    with pytest.raises(KeyError):
        coro.throw(KeyError("k"))
    assert log == []
    with pytest.raises(RuntimeError, match="cannot reuse already awaited coroutine"):
        coro.send(None)


# ---- the coroutine object and its functions ----------------------------------------------------------


def test_recognised_by_asyncio_and_inspect():
    coro = t.await_value(Yields())
    assert asyncio.iscoroutine(coro) and inspect.isawaitable(coro)
    assert isinstance(coro, collections.abc.Coroutine) and coro.__await__() is coro
    coro.close()
    for function in (t.await_value, t.AsyncBox.get, t.AsyncBox(1).get):
        assert asyncio.iscoroutinefunction(function)
        assert inspect.iscoroutinefunction(function) or sys.version_info < (3, 12)


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


# ---- references ------------------------------------------------------------------------------------


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
