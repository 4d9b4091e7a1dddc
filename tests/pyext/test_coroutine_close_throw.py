"""The native coroutine bridge, through the bodies of zelvar._testing: close() and finalization (before
start, while suspended, a body that ignores GeneratorExit, never awaited), and throw() in its
forms, into the awaited iterator, the body or a nested await."""

import gc
import re
import sys
import types
import warnings

import pytest
from coroutine_helpers import Catches, Log, Yields, done_future, finish, plain_iterator

from zelvar import _testing as t

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
