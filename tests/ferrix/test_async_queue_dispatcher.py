"""AsyncQueue's dispatcher task: delivery in order and in batches, failing callbacks, shutdown,
restarts and Python overrides, and a queue collected in a cycle through its task."""

import asyncio
import gc

import pytest
from async_queue_helpers import AQ, settle, state_of

from zelvar import _testing as native

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
