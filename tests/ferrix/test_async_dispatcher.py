"""AsyncDispatcher: native producers on their own threads, a reader task on the event loop."""

import asyncio
import gc
import pickle
import socket
import struct
import sys
import threading

import pytest
from bridge_messages import expected, message
from helpers import open_fds

from zelvar import _testing as native
from zelvar.utils.ferrix import ferrix as f

AD = f.AsyncDispatcher


def reader_tasks():
    return [t for t in asyncio.all_tasks() if t.get_coro().__qualname__.startswith("AsyncDispatcher.__reader")]


async def until(predicate, timeout=10.0):
    loop = asyncio.get_running_loop()
    deadline = loop.time() + timeout
    while not predicate():
        assert loop.time() < deadline, "timed out"
        await asyncio.sleep(0.001)


async def produce(d, threads, count, sizes, retry=True):
    return await asyncio.get_running_loop().run_in_executor(None, native.produce, d, threads, count, sizes, retry)


class Collector:
    def __init__(self):
        self.got = []

    async def __call__(self, msg):
        self.got.append(msg)


class BatchCollector:
    def __init__(self):
        self.got, self.lengths = [], []

    async def __call__(self, msgs):
        self.lengths.append(len(msgs) if type(msgs) is list else None)
        self.got.extend(msgs)


@pytest.mark.parametrize("batch", [0, 7])
@pytest.mark.parametrize("variable_size, sizes", [(False, [8, 64, 200]), (True, [8, 1000, 64, 3000])])
def test_every_message_arrives_once_in_order(variable_size, sizes, batch):
    c = BatchCollector() if batch else Collector()

    async def main():
        d = AD(c, capacity=256, slot_size=256, variable_size=variable_size, batch=batch)
        d.setup()
        count = 50_000
        assert await produce(d, 1, count, sizes) == [count]
        await until(lambda: len(c.got) == count)
        d.close()
        return c.got

    assert asyncio.run(main()) == expected(0, 50_000, [8, 64, 200] if not variable_size else [8, 1000, 64, 3000])
    if batch:
        assert all(length is not None and 1 <= length <= batch for length in c.lengths)
        assert max(c.lengths) == batch


@pytest.mark.parametrize(
    "make",
    [
        pytest.param(
            lambda loop, *args, **kwargs: AD(None, 8, 8, False, False, False, *args, **kwargs), id="AsyncDispatcher"
        ),
        pytest.param(
            lambda loop, *args, **kwargs: f.AsyncQueue(loop=loop).start_dispatcher(None, *args, **kwargs),
            id="AsyncQueue.start_dispatcher",
        ),
    ],
)
@pytest.mark.parametrize(
    "args, kwargs, error, text",
    [
        ((), {"batch": -3}, ValueError, "batch must be 0 or more, not -3"),
        ((), {"batch": 2.0}, TypeError, "batch must be an int, not float"),
        ((), {"batch": None}, TypeError, "batch must be an int, not NoneType"),
        ((8,), {}, TypeError, "positional argument"),  # keyword-only
    ],
)
def test_batch_must_be_a_count_given_by_keyword(make, args, kwargs, error, text):
    loop = asyncio.new_event_loop()
    try:
        with pytest.raises(error) as info:
            make(loop, *args, **kwargs)
    finally:
        loop.close()
    assert text in str(info.value)


def test_a_million_messages_from_four_producers_into_dispatchers_of_both_kinds():
    # One producer thread per dispatcher: the ring has a single producer side.
    per_producer = 250_000
    sizes = [16, 40]

    async def main():
        sync_got = [[], []]
        collectors = [Collector(), Collector()]
        dispatchers = [
            AD(collectors[0], capacity=4096, slot_size=64),
            AD(collectors[1], capacity=4096, slot_size=64, variable_size=True),
            f.SyncDispatcher(sync_got[0].append, capacity=4096, slot_size=64),
            f.SyncDispatcher(sync_got[1].append, capacity=4096, slot_size=64, nonblocking=False, variable_size=True),
        ]
        for d in dispatchers:
            d.setup()
        accepted = await asyncio.gather(*(produce(d, 1, per_producer, sizes) for d in dispatchers))
        assert accepted == [[per_producer]] * 4
        received = [c.got for c in collectors] + sync_got
        await until(lambda: all(len(got) == per_producer for got in received), timeout=60)
        for d in dispatchers:
            d.close()
        return received

    for got in asyncio.run(main()):
        assert [struct.unpack_from("<II", m) for m in got] == [(0, i) for i in range(per_producer)]
        for seq in range(0, per_producer, 997):  # every byte of a sample
            assert got[seq] == message(0, seq, sizes[seq % 2])


def test_constructor_order_puts_overwrite_before_zerocopy():
    async def noop(msg):
        pass

    assert native.produce(AD(noop, 4, 64, True), 1, 10) == [10]  # overwrite: every push stored
    assert native.produce(AD(noop, 4, 64, False, True), 1, 10) == [4]
    assert AD.__doc__ == (
        "AsyncDispatcher(callback, size_t capacity=16384, size_t slot_size=2048, bool overwrite=False, "
        "bool zerocopy=False, bool variable_size=False)"
    )
    with pytest.raises(TypeError):
        AD(noop, block_on_full=True)


def test_yields_to_the_loop_once_every_128_deliveries(monkeypatch):
    delivered = []
    sleeps = []

    class Proxy:
        def __getattr__(self, name):
            return getattr(asyncio, name)

        def sleep(self, delay):
            sleeps.append((delay, len(delivered)))
            return asyncio.sleep(delay)

    async def callback(msg):
        delivered.append(msg)

    monkeypatch.setattr(f, "asyncio", Proxy())

    async def main():
        d = AD(callback, capacity=512, slot_size=32)
        assert native.produce(d, 1, 300) == [300]  # all waiting before the reader starts
        d.setup()
        await until(lambda: len(delivered) == 300)
        d.close()

    asyncio.run(main())
    assert sleeps == [(0, 128), (0, 256)]


@pytest.mark.parametrize(
    "callback, text",
    [
        (lambda m: None, "object NoneType can't be used in 'await' expression"),
        (5, "'int' object is not callable"),
    ],
)
def test_a_bad_callback_ends_the_reader_task_with_type_error(callback, text):
    async def main():
        d = AD(callback, capacity=16, slot_size=32)
        d.setup()
        (task,) = reader_tasks()
        native.produce(d, 1, 2)
        await until(task.done)
        with pytest.raises(TypeError, match=text):
            task.result()
        assert native.produce(d, 1, 3) == [3]  # the ring still takes messages
        d.close()

    asyncio.run(main())


def test_setup_without_a_running_loop_keeps_the_socket_for_close():
    d = AD(Collector())
    before = open_fds()
    with pytest.raises(RuntimeError, match="no running event loop"):
        d.setup()
    assert open_fds() == before + 1  # the doorbell socket was created and bound
    d.close()
    assert open_fds() == before


def test_close_without_setup_and_twice():
    async def main():
        d = AD(Collector(), capacity=16, slot_size=32)
        d.close()
        assert native.produce(d, 1, 3) == [0]  # the ring is closed
        d.close()
        d.setup()  # a reader after close finishes at once
        (task,) = reader_tasks()
        await until(task.done)
        assert task.result() is None
        d.close()

    asyncio.run(main())


def test_close_stops_the_reader_and_closes_the_socket():
    async def main():
        c = Collector()
        before = open_fds()
        d = AD(c, capacity=64, slot_size=32)
        d.setup()
        (task,) = reader_tasks()
        native.produce(d, 1, 10)
        await until(lambda: len(c.got) == 10)
        d.close()
        assert open_fds() == before
        await until(task.done)
        # Either woken by the doorbell (then it saw the flag) or cancelled by the scheduled _finalize.
        assert task.cancelled() or task.result() is None
        assert native.produce(d, 1, 3) == [0]

    asyncio.run(main())


def test_close_from_another_thread_while_the_reader_waits():
    async def main():
        c = Collector()
        d = AD(c, capacity=64, slot_size=32)
        d.setup()
        (task,) = reader_tasks()
        await asyncio.sleep(0.01)  # the reader is waiting for a doorbell
        closer = threading.Thread(target=d.close)
        closer.start()
        await until(task.done)
        closer.join()
        assert task.done()

    asyncio.run(main())


def test_close_while_producers_push():
    async def main():
        c = Collector()
        d = AD(c, capacity=256, slot_size=64)
        d.setup()
        loop = asyncio.get_running_loop()
        # One producer thread: the ring has a single producer side (two would overwrite each other).
        pushing = loop.run_in_executor(None, native.produce, d, 1, 1_000_000, [16], True)
        await until(lambda: len(c.got) > 1000)
        d.close()
        accepted = await pushing
        assert all(n < 1_000_000 for n in accepted)
        await asyncio.sleep(0.01)
        return c.got, accepted

    got, accepted = asyncio.run(main())
    seqs = [struct.unpack_from("<II", m)[1] for m in got if struct.unpack_from("<II", m)[0] == 0]
    assert seqs == list(range(len(seqs))) and len(seqs) == len(got) <= accepted[0]


def test_a_second_setup_while_the_reader_runs_is_refused():
    async def main():
        d = AD(Collector())
        d.setup()
        before = open_fds()
        with pytest.raises(RuntimeError, match="already running"):
            d.setup()
        assert open_fds() == before  # refused before any socket was made
        d.close()

    asyncio.run(main())


@pytest.mark.parametrize("dispatch, overridden", [(0, True), (1, False)])
def test_native_setup_honours_a_python_override(dispatch, overridden):
    calls = []

    class Sub(AD):
        def setup(self, host="127.0.0.1", recvbuf=16777216):
            calls.append(host)

    async def main():
        d = Sub(Collector())
        native.dispatcher_setup(d, dispatch, "127.0.0.1")
        assert len(reader_tasks()) == (0 if overridden else 1)
        d.close()
        await asyncio.sleep(0)

    asyncio.run(main())
    assert calls == (["127.0.0.1"] if overridden else [])


def test_readers_are_looked_up_on_the_instance():
    seen = []

    class Sub(AD):
        async def _AsyncDispatcher__reader_var(self, loop, sock):
            seen.append((loop is asyncio.get_running_loop(), sock.getblocking()))

    async def main():
        d = Sub(Collector(), variable_size=True)
        d.setup()
        await asyncio.sleep(0)
        d.close()

    asyncio.run(main())
    assert seen == [(True, False)]
    for name in ("__reader", "__reader_var"):
        method = getattr(AD, f"_AsyncDispatcher{name}")
        assert asyncio.iscoroutinefunction(method)
        assert method.__doc__ == f"AsyncDispatcher.{name}(self, loop, sock)"


def test_destructor_runs_the_python_close(monkeypatch):
    closed = []
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: seen.append((type(u.exc_value), u.object)))

    class Recording(AD):
        def close(self):
            closed.append(True)
            super().close()

    class Broken(AD):
        def close(self):
            raise ValueError("no")

    Recording(Collector())
    Broken(Collector())
    gc.collect()
    assert closed == [True]
    assert seen == [(ValueError, "zelvar.utils.ferrix.ferrix.AsyncDispatcher.__dealloc__")]


def test_a_dropped_running_dispatcher_lives_on_with_its_reader():
    async def main():
        c = Collector()
        d = AD(c, capacity=64, slot_size=32)
        d.setup()
        (task,) = reader_tasks()
        native.produce(d, 1, 5)
        push_target = d
        del d
        gc.collect()
        await until(lambda: len(c.got) == 5)  # the reader holds the dispatcher
        native.produce(push_target, 1, 5)
        await until(lambda: len(c.got) == 10)
        push_target.close()
        await until(task.done)

    asyncio.run(main())


def test_a_dispatcher_outliving_its_loop_closes_quietly(monkeypatch):
    seen, closed = [], []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: seen.append(u))
    holder = []

    class Recording(AD):
        def close(self):
            closed.append(True)
            super().close()

    async def main():
        d = Recording(Collector())
        d.setup()
        holder.append(d)
        await asyncio.sleep(0)

    asyncio.run(main())  # cancels the reader and closes the loop
    holder.clear()
    gc.collect()
    assert closed == [True] and seen == []  # the finished reader needed no call on the closed loop


def test_pickling_is_refused():
    with pytest.raises(TypeError):
        pickle.dumps(AD(Collector()))


def test_interpreter_exit_with_running_dispatchers_of_both_kinds(child):
    proc = child("""
        import asyncio
        from zelvar import _testing as native
        from zelvar.utils.ferrix import ferrix as f
        keep = []

        async def callback(msg):
            await asyncio.sleep(0)

        async def main():
            for kwargs in (dict(), dict(variable_size=True)):
                d = f.AsyncDispatcher(callback, capacity=1024, slot_size=32, **kwargs)
                d.setup()
                native.produce(d, 1, 500)
                keep.append(d)
            s = f.SyncDispatcher(lambda m: None, capacity=1024, slot_size=32)
            s.setup()
            native.produce(s, 1, 500)
            keep.append(s)
            await asyncio.sleep(0.01)
            print("exiting")

        loop = asyncio.new_event_loop()
        loop.run_until_complete(main())  # the loop is left open, its readers still pending
    """)
    assert proc.stdout == b"exiting\n"


def test_no_wake_up_is_lost_when_pushes_meet_a_falling_asleep_reader():
    async def main():
        arrived = asyncio.Event()

        async def callback(msg):
            arrived.set()

        d = AD(callback, capacity=64, slot_size=16)
        d.setup()
        loop = asyncio.get_running_loop()
        for i in range(2000):
            arrived.clear()
            await loop.run_in_executor(None, native.ping, d, 1, 16, (0, 1, 3, 10, 30)[i % 5])
            await asyncio.wait_for(arrived.wait(), 2)
        d.close()

    asyncio.run(main())


def test_messages_near_the_size_limit_get_through():
    async def main():
        c = Collector()
        sizes = [1016, 600, 1000, 8, 700]
        d = AD(c, capacity=4, slot_size=248, variable_size=True)  # a byte ring of 4 x 256 bytes
        d.setup()
        pushing = asyncio.get_running_loop().run_in_executor(None, native.produce, d, 1, 2000, sizes, True)
        try:
            await until(lambda: len(c.got) == 2000)
        finally:
            d.close()  # a stalled producer gets -1 and stops
            await pushing
        assert c.got == expected(0, 2000, sizes)

    asyncio.run(main())


@pytest.mark.parametrize("closer", ["loop", "thread"])
def test_a_restart_right_after_close_receives(closer):
    # The closed socket's number goes to the next socket made: it must have left the selector.
    async def main():
        loop = asyncio.get_running_loop()
        old = AD(Collector())
        old.setup()
        await asyncio.sleep(0.01)  # the reader waits in sock_recv
        if closer == "loop":
            old.close()
        else:
            await loop.run_in_executor(None, old.close)
        for _ in range(3):
            c = Collector()
            new = AD(c)
            new.setup()
            await asyncio.sleep(0.01)
            native.produce(new, 1, 5)
            await until(lambda: len(c.got) == 5, timeout=3)
            new.close()
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen()
        with socket.socket() as s, listener:
            s.setblocking(False)
            await asyncio.wait_for(loop.sock_connect(s, listener.getsockname()), 3)

    asyncio.run(main())


def test_close_after_the_loop_was_closed_closes_the_socket():
    loop = asyncio.new_event_loop()
    d = AD(Collector())

    async def start():
        d.setup()
        await asyncio.sleep(0.01)

    loop.run_until_complete(start())
    loop.close()  # the reader is still pending
    before = open_fds()
    with pytest.raises(RuntimeError, match="Event loop is closed"):
        d.close()
    assert open_fds() == before - 1
    d.close()


def test_a_replacement_reader_is_rung_for_every_message():
    class Sub(AD):
        async def _AsyncDispatcher__reader(self, loop, sock):
            while True:
                bells.append(await loop.sock_recv(sock, 1))

    bells = []

    async def main():
        d = Sub(Collector())
        d.setup()
        await asyncio.sleep(0.01)
        for n in (1, 2, 3):
            native.produce(d, 1, 1)
            await until(lambda: len(bells) == n, timeout=3)
        d.close()

    asyncio.run(main())
    assert bells == [b"\x01"] * 3
