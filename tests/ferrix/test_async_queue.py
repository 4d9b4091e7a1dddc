"""AsyncQueue: coroutine pushes and pops over a ring, the dispatcher task, shutdown, pickling."""

import asyncio
import copy
import gc
import pickle

import pytest

from zelvar import _testing as native
from zelvar.spsc_queue.spsc_queue import SPSCQueue
from zelvar.utils.ferrix import ferrix as f

AQ = f.AsyncQueue


def state_of(q):
    reduced = q.__reduce__()
    return reduced[2] if len(reduced) == 3 else reduced[1][2]


async def settle(n=5):
    for _ in range(n):
        await asyncio.sleep(0)


# --- construction ------------------------------------------------------------------------------


def test_docstring():
    assert AQ.__doc__ == (
        "AsyncQueue(loop=None, size_t slot_size=1024, size_t capacity=16384, bool overwrite=False, "
        "bool zerocopy=False, bool block_on_full=False)"
    )


def test_outside_a_running_loop_needs_a_loop():
    with pytest.raises(RuntimeError, match=r"^AsyncQueue must be created inside a running event loop\.$") as e:
        AQ()
    assert isinstance(e.value.__context__, RuntimeError)
    loop = asyncio.new_event_loop()
    try:
        q = AQ(loop=loop)
        assert state_of(q)[2] is loop
    finally:
        loop.close()


def test_defaults_inside_a_running_loop():
    async def main():
        q = AQ()
        cb, lock, loop, cond, ring, running, task = state_of(q)
        assert loop is asyncio.get_running_loop()
        assert type(lock) is asyncio.Lock and type(cond) is asyncio.Condition and cond._lock is lock
        assert (ring.slot_size, ring.capacity) == (1024, 16384)
        assert (cb, running, task) == (None, False, None)

    asyncio.run(main())


@pytest.mark.parametrize(
    "kwargs, error, text",
    [
        (dict(slot_size=-1), OverflowError, "can't convert negative value to size_t"),
        (dict(capacity=-5), OverflowError, "can't convert negative value to size_t"),
        (dict(slot_size="8"), TypeError, None),
        (dict(slot_size=0), ValueError, None),  # the ring refuses it, unchanged
        (dict(nope=1), TypeError, None),
    ],
)
def test_bad_arguments(kwargs, error, text):
    loop = asyncio.new_event_loop()
    try:
        with pytest.raises(error) as e:
            AQ(loop, **kwargs)
        if text:
            assert str(e.value) == text
    finally:
        loop.close()


def test_positional_arguments_and_too_many():
    loop = asyncio.new_event_loop()
    try:
        q = AQ(loop, 64, 8, True, False, False)
        assert (state_of(q)[4].slot_size, state_of(q)[4].capacity) == (64, 8)
        with pytest.raises(TypeError):
            AQ(loop, 64, 8, True, False, False, 1)
    finally:
        loop.close()


# --- the coroutine methods -----------------------------------------------------------------------


@pytest.mark.parametrize(
    "name, args", [("push_str", ("x",)), ("push_obj", (b"x",)), ("push_buf", (b"x",)), ("pop", ())]
)
def test_coroutine_methods_names_and_docs(name, args):
    loop = asyncio.new_event_loop()
    try:
        q = AQ(loop)
        method = getattr(AQ, name)
        assert asyncio.iscoroutinefunction(method) and asyncio.iscoroutinefunction(getattr(q, name))
        assert method.__doc__ == f"AsyncQueue.{name}(self{', msg' if args else ''})"
        coro = getattr(q, name)(*args)
        assert asyncio.iscoroutine(coro)
        assert (coro.__name__, coro.__qualname__) == (name, f"AsyncQueue.{name}")
        coro.close()
        with pytest.raises(TypeError):
            getattr(q, name)(*args, 1)  # one too many, before any coroutine exists
        with pytest.raises(TypeError):
            getattr(q, name)(*args, bogus=1)
    finally:
        loop.close()


@pytest.mark.parametrize(
    "method, msg, expected",
    [
        ("push_str", "héllo", b"h\xc3\xa9llo"),
        ("push_str", "", b""),
        ("push_obj", b"abc", b"abc"),
        ("push_obj", bytearray(b"abc"), b"abc"),
        ("push_obj", memoryview(b"abc"), b"abc"),
        ("push_obj", [1, 2, 255], b"\x01\x02\xff"),
        ("push_buf", b"abc", b"abc"),
        ("push_buf", bytearray(b"\x00abc"), b"\x00abc"),
        ("push_buf", memoryview(b"xabcx")[1:4], b"abc"),
    ],
)
def test_push_then_pop_round_trip(method, msg, expected):
    async def main():
        q = AQ()
        assert await getattr(q, method)(msg=msg) is True
        return await q.pop()

    assert asyncio.run(main()) == expected


@pytest.mark.parametrize(
    "method, msg, error",
    [
        ("push_str", b"abc", TypeError),
        ("push_str", 5, TypeError),
        ("push_str", "\ud800", UnicodeEncodeError),
        ("push_obj", "abc", TypeError),
        ("push_obj", 5, TypeError),
        ("push_buf", "abc", TypeError),
        ("push_buf", memoryview(b"abcdef")[::2], BufferError),
    ],
)
def test_unconvertible_messages_raise_from_the_await_and_store_nothing(method, msg, error):
    async def main():
        q = AQ()
        coro = getattr(q, method)(msg)  # creating the coroutine checks nothing yet
        with pytest.raises(error):
            await coro
        await q.push_str("after")
        return await q.pop()

    assert asyncio.run(main()) == b"after"


def test_messages_pop_in_order_across_kinds():
    async def main():
        q = AQ(capacity=64)
        for i in range(40):
            await (q.push_str, q.push_obj, q.push_buf)[i % 3](str(i) if i % 3 == 0 else str(i).encode())
        return [await q.pop() for _ in range(40)]

    assert asyncio.run(main()) == [str(i).encode() for i in range(40)]


def test_a_refused_push_returns_false_and_wakes_nobody():
    async def main():
        q = AQ(slot_size=8, capacity=2)
        waiter = asyncio.ensure_future(q.pop())
        await settle()
        assert await q.push_obj(b"x" * 9) is False  # larger than a slot
        await settle()
        assert not waiter.done()
        assert await q.push_obj(b"x" * 8) is True
        assert await waiter == b"x" * 8
        results = [await q.push_str("m") for _ in range(4)]
        assert results == [True, True, False, False]  # full after the capacity
        assert [await q.pop(), await q.pop()] == [b"m", b"m"]

    asyncio.run(main())


def test_one_push_wakes_exactly_one_pop_the_longest_waiting():
    async def main():
        q = AQ()
        first = asyncio.ensure_future(q.pop())
        await settle()
        second = asyncio.ensure_future(q.pop())
        await settle()
        await q.push_str("a")
        await settle()
        assert first.done() and await first == b"a"
        assert not second.done()
        await q.push_str("b")
        assert await second == b"b"

    asyncio.run(main())


@pytest.mark.parametrize("waiting", [1, 2, 3])
def test_pushes_in_a_row_wake_one_waiting_pop_each(waiting):
    async def main():
        q = AQ()
        pops = []
        for _ in range(waiting):
            pops.append(asyncio.ensure_future(q.pop()))
            await settle()
        for m in ("a", "b"):  # no yield between the two: the first woken pop has not resumed yet
            await q.push_str(m)
        await settle()
        woken = [p.result() for p in pops if p.done()]
        assert woken == [b"a", b"b"][: min(waiting, 2)]
        left = [await q.pop() for _ in range(2 - len(woken))]
        assert woken + left == [b"a", b"b"]
        for p in pops:
            p.cancel()

    asyncio.run(main())


@pytest.mark.parametrize("woken", ["pop", "dispatcher"])
def test_a_woken_waiter_cancelled_before_it_runs_hands_the_wake_up_on(woken):
    async def main():
        q = AQ()
        first = asyncio.ensure_future(q.pop())
        if woken == "dispatcher":
            q.start_dispatcher(lambda m: asyncio.sleep(0))
            first.cancel()
            first = state_of(q)[6]
        await settle()
        second = asyncio.ensure_future(q.pop())
        await settle()
        await q.push_str("a")  # notifies the longest waiter ...
        first.cancel()  # ... which is cancelled before it resumes
        assert await asyncio.wait_for(second, 2) == b"a"

    asyncio.run(main())


def test_a_cancelled_push_waiting_for_the_lock_has_stored_its_message():
    async def main():
        q = AQ()
        lock = state_of(q)[1]
        waiter = asyncio.ensure_future(q.pop())
        await settle()
        await lock.acquire()  # the pop waits on the condition; now the pusher must wait for the lock
        pusher = asyncio.ensure_future(q.push_str("kept"))
        await settle()
        pusher.cancel()
        with pytest.raises(asyncio.CancelledError):
            await pusher
        lock.release()
        await settle()
        assert not waiter.done()  # nobody notified it
        waiter.cancel()
        return await q.pop()  # finds the message at once

    assert asyncio.run(main()) == b"kept"


def test_push_buf_holds_the_buffer_until_it_finishes():
    async def main():
        q = AQ()
        lock = state_of(q)[1]
        asyncio.ensure_future(q.pop())
        await settle()
        await lock.acquire()
        data = bytearray(b"abc")
        pusher = asyncio.ensure_future(q.push_buf(data))
        await settle()
        with pytest.raises(BufferError):
            data.extend(b"more")  # still exported while the push waits for the lock
        lock.release()
        assert await pusher is True
        data.extend(b"more")

        cancelled = bytearray(b"xyz")
        await lock.acquire()
        pusher = asyncio.ensure_future(q.push_buf(cancelled))
        await settle()
        pusher.cancel()
        with pytest.raises(asyncio.CancelledError):
            await pusher
        cancelled.extend(b"!")  # released on cancellation too
        lock.release()

    asyncio.run(main())


class CountingCondition(asyncio.Condition):
    notified = 0

    def notify(self, n=1):
        CountingCondition.notified += 1
        super().notify(n)


def test_a_condition_that_is_not_asyncio_own_is_always_notified():
    async def main():
        q = AQ()
        state = list(state_of(q))
        state[3] = CountingCondition(state[1])
        q.__setstate__(tuple(state))
        CountingCondition.notified = 0
        for _ in range(3):
            await q.push_str("x")
        assert CountingCondition.notified == 3
        assert [await q.pop() for _ in range(3)] == [b"x"] * 3
        waiter = asyncio.ensure_future(q.pop())
        await settle()
        assert not waiter.done()
        await q.push_str("y")
        assert await waiter == b"y" and CountingCondition.notified == 4

    asyncio.run(main())


@pytest.mark.parametrize("call", ["push_str", "push_obj", "push_buf", "pop"])
def test_a_queue_without_ring_raises_runtime_error(call):
    async def main():
        q = AQ.__new__(AQ)
        coro = getattr(q, call)(b"x" if call != "push_str" else "x") if call != "pop" else q.pop()
        with pytest.raises(RuntimeError, match="no ring"):
            await coro
        for method in (lambda: q.start_dispatcher(lambda m: None), q.qsize, q.empty):
            with pytest.raises(RuntimeError, match="no ring"):
                method()

    asyncio.run(main())


def test_a_method_called_on_another_type_is_refused():
    with pytest.raises(TypeError, match="self"):
        AQ.pop(object())


# --- dispatcher task and shutdown ----------------------------------------------------------------


def test_dispatcher_delivers_in_order_one_at_a_time():
    events = []

    async def callback(msg):
        events.append(("start", msg))
        await asyncio.sleep(0.001)
        events.append(("end", msg))
        return "ignored"

    async def main():
        q = AQ()
        assert q.start_dispatcher(callback=callback) is None
        for m in ("A", "B", "C"):
            await q.push_str(m)
        while len(events) < 6:
            await asyncio.sleep(0.001)
        task = state_of(q)[6]
        assert await q.shutdown() is None
        assert task.cancelled()
        assert await q.shutdown() is None  # again: nothing new to cancel

    asyncio.run(main())
    assert events == [(k, m) for m in (b"A", b"B", b"C") for k in ("start", "end")]


def test_qsize_and_empty_count_the_waiting_messages():
    async def main():
        q = AQ(slot_size=8, capacity=2)
        sizes = [(q.qsize(), q.empty())]
        for m in (b"a", b"b", b"c"):  # the third is refused
            await q.push_obj(m)
            sizes.append((q.qsize(), q.empty()))
        await q.pop()
        sizes.append((q.qsize(), q.empty()))
        return sizes

    assert asyncio.run(main()) == [(0, True), (1, False), (2, False), (2, False), (1, False)]


def test_async_for_pops_until_break_or_cancellation():
    class Counting(AQ):
        pops = 0

        def pop(self):
            Counting.pops += 1
            return super().pop()

    async def main():
        q = Counting()
        for m in ("a", "b", "c"):
            await q.push_str(m)
        got = []
        async for m in q:
            got.append(m)
            if m == b"c":
                break

        async def drain():
            async for m in q:
                got.append(m)

        task = asyncio.create_task(drain())
        await q.push_str("d")
        await settle()
        assert not task.done()  # an empty queue does not end the loop: it waits
        task.cancel()
        with pytest.raises(asyncio.CancelledError):
            await task
        return got

    assert asyncio.run(main()) == [b"a", b"b", b"c", b"d"]
    assert Counting.pops == 5  # each step is the instance's pop()


@pytest.mark.parametrize(
    "batch, pushed, lists",
    [
        (3, 5, [[0, 1, 2], [3, 4]]),  # as many as wait, never waiting to fill a list
        (1, 2, [[0], [1]]),
        (100, 4, [[0, 1, 2, 3]]),
    ],
)
def test_dispatcher_batches_deliver_what_waits_in_order(batch, pushed, lists):
    got = []

    async def callback(msgs):
        got.append(msgs)

    async def main():
        q = AQ()
        for i in range(pushed):
            await q.push_obj(bytes([i]))
        q.start_dispatcher(callback, batch=batch)
        await settle()
        await q.shutdown()
        await q.push_obj(b"late")  # after shutdown the messages stay for pop
        return await q.pop()

    assert asyncio.run(main()) == b"late"
    assert got == [[bytes([i]) for i in lst] for lst in lists]


def test_a_callback_may_push_to_its_own_queue():
    seen = []

    async def main():
        q = AQ()

        async def callback(msg):
            seen.append(msg)
            if len(msg) < 4:
                await q.push_obj(msg + b"+")

        q.start_dispatcher(callback)
        await q.push_obj(b"a")
        await settle(20)
        await q.shutdown()

    asyncio.run(main())
    assert seen == [b"a", b"a+", b"a++", b"a+++"]


@pytest.mark.parametrize(
    "callback, error, text",
    [
        (lambda m: None, TypeError, "object NoneType can't be used in 'await' expression"),
        (None, ValueError, "bad message"),
    ],
)
def test_a_failing_callback_ends_the_task_and_shutdown_raises_it(callback, error, text):
    async def raising(msg):
        raise ValueError("bad message")

    async def main():
        q = AQ()
        q.start_dispatcher(callback or raising)
        await q.push_str("x")
        await settle()
        task = state_of(q)[6]
        assert task.done() and isinstance(task.exception(), error)
        with pytest.raises(error, match=text):
            await q.shutdown()
        await q.push_str("still works")
        assert await q.pop() == b"still works"

    asyncio.run(main())


def test_shutdown_arguments_and_before_any_dispatcher():
    async def main():
        q = AQ()
        assert await q.shutdown() is None
        assert await q.shutdown(ValueError, ValueError("x"), None) is None
        with pytest.raises(TypeError, match="unexpected keyword argument 'x'"):
            q.shutdown(x=1)
        coro = q.shutdown()
        assert (coro.__name__, coro.__qualname__) == ("shutdown", "AsyncQueue.shutdown")
        coro.close()
        assert AQ.shutdown.__doc__ == "AsyncQueue.shutdown(self, *excinfo)"
        assert not hasattr(AQ, "__aenter__") and not hasattr(AQ, "__aexit__")

    asyncio.run(main())


def test_shutdown_wakes_a_waiting_pop_which_waits_again():
    async def main():
        q = AQ()
        waiter = asyncio.ensure_future(q.pop())
        await settle()
        await q.shutdown()
        await settle()
        assert not waiter.done()
        await q.push_str("late")
        assert await waiter == b"late"

    asyncio.run(main())


def test_a_second_start_leaves_two_tasks_both_feeding_the_newest_callback():
    got1, got2 = [], []

    async def cb1(m):
        got1.append(m)

    async def cb2(m):
        got2.append(m)

    async def main():
        q = AQ()
        q.start_dispatcher(cb1)
        first = state_of(q)[6]
        q.start_dispatcher(cb2)
        second = state_of(q)[6]
        await settle()
        for m in ("a", "b", "c"):
            await q.push_str(m)
        await settle()
        await q.shutdown()
        assert second.cancelled() and not first.done()
        first.cancel()
        await settle()

    asyncio.run(main())
    assert (got1, got2) == ([], [b"a", b"b", b"c"])


def test_dispatch_coroutine_is_looked_up_on_the_instance():
    class Custom(AQ):
        async def _AsyncQueue__dispatch(self):
            self.ran = True

    async def main():
        q = Custom()
        q.start_dispatcher(print)
        await settle()
        return q.ran

    assert asyncio.run(main()) is True
    coro = AQ._AsyncQueue__dispatch.__doc__
    assert coro == "AsyncQueue.__dispatch(self)"


@pytest.mark.parametrize("dispatch, overridden", [(0, True), (1, False)])
def test_native_table_honours_a_python_override(dispatch, overridden):
    calls = []

    class Sub(AQ):
        def start_dispatcher(self, callback):
            calls.append(callback)
            return "from override"

    async def cb(m):
        pass

    async def main():
        q = Sub()
        result = native.queue_start_dispatcher(q, cb, dispatch)
        assert result == ("from override" if overridden else None)
        assert (state_of(q)[6] is None) == overridden
        await q.shutdown()
        # The built-in method itself always runs the native behaviour.
        assert AQ.start_dispatcher(q, cb) is None and state_of(q)[6] is not None
        await q.shutdown()

    asyncio.run(main())
    assert calls == ([cb] if overridden else [])


def test_start_dispatcher_without_create_task_keeps_the_new_callback():
    loop = asyncio.new_event_loop()
    try:
        q = AQ(loop)
        state = list(state_of(q))
        state[2] = None
        q.__setstate__(tuple(state))

        async def cb(m):
            pass

        # The dispatcher coroutine made on the way is dropped without having run.
        with pytest.warns(RuntimeWarning, match="'AsyncQueue.__dispatch' was never awaited"):
            with pytest.raises(AttributeError):
                q.start_dispatcher(cb)
            gc.collect()
        assert state_of(q)[0] is cb
    finally:
        loop.close()


# --- pickling ------------------------------------------------------------------------------------------


def test_reduce_forms():
    bare = AQ.__new__(AQ)
    assert bare.__reduce__() == (
        f.__pyx_unpickle_AsyncQueue,
        (AQ, 0xB5FB52F, (None, None, None, None, None, False, None)),
    )
    loop = asyncio.new_event_loop()
    try:
        q = AQ(loop)
        fn, args, state = q.__reduce__()
        assert fn is f.__pyx_unpickle_AsyncQueue and args == (AQ, 0xB5FB52F, None)
        assert len(state) == 7 and state[2] is loop and isinstance(state[4], SPSCQueue)
    finally:
        loop.close()


class PicklableSub(AQ):
    pass


def test_round_trips_of_an_allocated_queue_and_a_subclass_with_a_dict():
    for obj in (AQ.__new__(AQ), PicklableSub.__new__(PicklableSub)):
        if type(obj) is PicklableSub:
            obj.tag = "kept"
        for clone in (pickle.loads(pickle.dumps(obj)), copy.copy(obj)):
            assert type(clone) is type(obj)
            assert state_of(clone)[:7] == (None, None, None, None, None, False, None)
            assert getattr(clone, "tag", None) == getattr(obj, "tag", None)


@pytest.mark.parametrize("checksum", [0xB5FB52F, 0x4BD5B12, 0x5D4EBBC])
def test_unpickle_accepts_the_three_checksums(checksum):
    q = f.__pyx_unpickle_AsyncQueue(AQ, checksum, None)
    assert type(q) is AQ and state_of(q) == (None, None, None, None, None, False, None)
    q = f.__pyx_unpickle_AsyncQueue(__pyx_type=AQ, __pyx_checksum=checksum, __pyx_state=("cb", 1, 2, 3, None, 1, 4))
    assert state_of(q) == ("cb", 1, 2, 3, None, True, 4)


@pytest.mark.parametrize("checksum, shown", [(1, "0x1"), (-1, "0xffffffff")])
def test_unpickle_checksum_mismatch(checksum, shown):
    with pytest.raises(pickle.PickleError) as e:
        f.__pyx_unpickle_AsyncQueue(AQ, checksum, None)
    assert str(e.value) == (
        f"Incompatible checksums ({shown} vs (0xb5fb52f, 0x4bd5b12, 0x5d4ebbc) = "
        "(_callback, _lock, _loop, _notify_cond, _q, _running, _task))"
    )


def test_unpickle_state_must_be_a_tuple():
    with pytest.raises(TypeError, match=r"Argument '__pyx_state' has incorrect type \(expected tuple, got list\)"):
        f.__pyx_unpickle_AsyncQueue(AQ, 0xB5FB52F, [])


@pytest.mark.parametrize(
    "state, error, text",
    [
        (None, TypeError, "cannot pass None into a C function argument that is declared 'not None'"),
        ([], TypeError, "Expected tuple, got list"),
        ((1, 2, 3, 4, 5, False, 7), TypeError, "Cannot convert int to zelvar.spsc_queue.spsc_queue.SPSCQueue"),
        ((1, 2, 3, 4, None, False), IndexError, None),
    ],
)
def test_setstate_errors_keep_earlier_members(state, error, text):
    q = AQ.__new__(AQ)
    with pytest.raises(error) as e:
        q.__setstate__(state)
    if text:
        assert str(e.value) == text
    if isinstance(state, tuple):
        assert state_of(q)[:4] == (1, 2, 3, 4)


def test_setstate_extra_members_update_the_dict_of_a_subclass():
    class Sub(AQ):
        pass

    q = Sub.__new__(Sub)
    q.__setstate__((None,) * 5 + (0, None, {"a": 1}, "ignored"))
    assert q.a == 1
    q.__setstate__((None,) * 5 + (0, None, {}))
    assert q.__dict__ == {"a": 1}


# --- lifetimes -------------------------------------------------------------------------------------------


def test_a_queue_in_a_cycle_through_its_task_is_collected():
    freed = []

    class Callback:
        def __init__(self, q):
            self.q = q

        async def __call__(self, msg):
            pass

        def __del__(self):
            freed.append(True)

    async def main():
        q = AQ()
        q.start_dispatcher(Callback(q))
        await q.push_str("x")
        await settle()
        await q.shutdown()

    asyncio.run(main())
    gc.collect()
    assert freed == [True]
