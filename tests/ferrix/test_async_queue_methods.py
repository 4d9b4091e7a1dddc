"""AsyncQueue's coroutine methods: pushes and pops over the ring, which waiter a push wakes,
cancellation while waiting, and the queue without a ring."""

import asyncio

import pytest
from async_queue_helpers import AQ, settle, state_of
from helpers import is_coroutine_function


@pytest.mark.parametrize(
    "name, args", [("push_str", ("x",)), ("push_obj", (b"x",)), ("push_buf", (b"x",)), ("pop", ())]
)
def test_coroutine_methods_names_and_docs(name, args):
    loop = asyncio.new_event_loop()
    try:
        q = AQ(loop)
        method = getattr(AQ, name)
        assert is_coroutine_function(method) and is_coroutine_function(getattr(q, name))
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
