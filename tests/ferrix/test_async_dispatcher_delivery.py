"""AsyncDispatcher's deliveries: native producers on their own threads, a reader task on the event
loop; every message once and in order, turns given back to the loop, wake-ups, bad callbacks, and
readers a subclass replaces."""

import asyncio
import struct

import pytest
from bridge_messages import expected, message
from dispatcher_helpers import AD, BatchCollector, Collector, produce, reader_tasks, until
from helpers import is_coroutine_function

from zelvar import _testing as native
from zelvar.utils.ferrix import ferrix as f


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
        assert is_coroutine_function(method)
        assert method.__doc__ == f"AsyncDispatcher.{name}(self, loop, sock)"


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
