"""AsyncDispatcher's life: constructor arguments, setup, close from any thread and after the loop
closed (its socket with it), restarts, destruction, pickling refused and the interpreter's exit."""

import asyncio
import gc
import pickle
import socket
import struct
import sys
import threading

import pytest
from dispatcher_helpers import AD, Collector, reader_tasks, until
from helpers import open_fds

from zelvar import _testing as native
from zelvar.utils.ferrix import ferrix as f


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


def test_pickling_is_refused():
    with pytest.raises(TypeError):
        pickle.dumps(AD(Collector()))


def test_setup_without_a_running_loop_keeps_the_socket_for_close():
    d = AD(Collector())
    before = open_fds()
    with pytest.raises(RuntimeError, match="no running event loop"):
        d.setup()
    assert open_fds() == before + 1  # the doorbell socket was created and bound
    d.close()
    assert open_fds() == before


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
