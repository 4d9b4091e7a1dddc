"""SyncDispatcher's life: constructor and setup arguments, close from any thread (the callback's own
included) while producers push, re-initialisation, destruction, the interpreter's exit and fork."""

import asyncio
import gc
import sys
import threading
import time

import pytest
from bridge_messages import expected, message
from dispatcher_helpers import MODES, receiver, wait_for

from zelvar import _testing as native
from zelvar.utils.ferrix import ferrix as f


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        ((), {}, TypeError, "__init__() takes at least 1 positional argument (0 given)"),
        ((print,), {"capacity": -1}, OverflowError, "can't convert negative value to size_t"),
        ((print,), {"slot_size": 1.5j}, TypeError, "an integer is required"),
        ((print,), {"capacity": 0}, ValueError, None),
        ((print,), {"batch": -1}, ValueError, "batch must be 0 or more, not -1"),
        ((print,), {"batch": "8"}, TypeError, "batch must be an int, not str"),
        ((print,), {"batch": True}, TypeError, "batch must be an int, not bool"),
        (
            (print, 8, 8, False, False, False, False, True, True, 8),
            {},
            TypeError,
            "__init__() takes at most 9 positional arguments (10 given)",
        ),  # batch is keyword-only
    ],
)
def test_constructor_errors(args, kwargs, error, message):
    with pytest.raises(error) as info:
        f.SyncDispatcher(*args, **kwargs)
    if message:
        assert str(info.value) == message


def test_setup_argument_errors():
    d = f.SyncDispatcher(print)
    with pytest.raises(TypeError, match=r"Argument 'host' has incorrect type \(expected str, got bytes\)"):
        d.setup(b"127.0.0.1")
    with pytest.raises(OverflowError, match="^value too large to convert to int$"):
        d.setup(recvbuf=2**31)
    with pytest.raises(OSError):
        d.setup("256.0.0.1")  # the bind fails; the socket is still closed by close()
    d.close()


def test_second_setup_while_consuming_is_refused():
    d = f.SyncDispatcher(lambda m: None)
    d.setup()
    with pytest.raises(RuntimeError, match="already running"):
        d.setup()
    d.close()


@pytest.mark.parametrize("batch", [0, 16])
@pytest.mark.parametrize("mode", MODES)
def test_close_while_producers_push(mode, batch):
    callback, got = receiver(batch)
    d = f.SyncDispatcher(callback, capacity=64, slot_size=64, detach=False, batch=batch, **mode)
    d.setup()
    producer = threading.Thread(target=native.produce, args=(d, 1, 200_000, [32]))
    producer.start()
    time.sleep(0.01)
    d.close()  # joins the consumer
    producer.join()
    count = len(got)
    # Refused pushes leave gaps; whatever arrived is intact and in order.
    sequence = [int.from_bytes(m[4:8], "little") for m in got]
    assert sequence == sorted(set(sequence))
    assert got == [message(0, seq, 32) for seq in sequence]
    time.sleep(0.05)
    assert len(got) == count  # nothing is delivered after close returned


def test_close_from_another_thread_and_twice():
    d = f.SyncDispatcher(lambda m: None, detach=False)
    d.setup()
    closer = threading.Thread(target=d.close)
    closer.start()
    closer.join(5)
    assert not closer.is_alive()
    d.close()  # a second close sends nothing and closes nothing more


def test_close_before_setup_and_setup_after_close():
    got = []
    d = f.SyncDispatcher(got.append)
    d.close()
    d.setup()  # a consumer that ends at once
    native.produce(d, 1, 3)
    time.sleep(0.05)
    assert got == []


@pytest.mark.parametrize("how", ["close", "drop"])
@pytest.mark.parametrize("detach", [True, False])
def test_closing_from_inside_the_callback(child, how, detach):
    proc = child(f"""
        import threading, time
        from zelvar import _testing as native
        from zelvar.utils.ferrix import ferrix as f
        holder, calls, done = [], [], threading.Event()
        def callback(msg):
            calls.append(msg)
            {"holder[0].close()" if how == "close" else "holder.clear()"}
            done.set()
        holder.append(f.SyncDispatcher(callback, detach={detach}))
        native.produce(holder[0], 1, 5)  # stored before setup: the callback holds the last reference
        holder[0].setup()
        assert done.wait(10)
        time.sleep(0.05)
        holder.clear()
        print(len(calls))
    """)
    assert proc.stdout == b"1\n"  # the flag is clear once the callback returns


def test_closing_from_the_callback_and_another_thread_at_once(child):
    # Both closes reach for the doorbell socket: one closes it, the other finds it gone; neither raises.
    proc = child("""
        import sys, threading
        from zelvar import _testing as native
        from zelvar.utils.ferrix import ferrix as f
        errors = []
        sys.unraisablehook = lambda u: errors.append(repr(u.exc_value))
        def round_(detach):
            go, box = threading.Barrier(2), []
            def callback(msg):
                go.wait(10)
                box[0].close()
            box.append(f.SyncDispatcher(callback, detach=detach))
            box[0].setup()
            native.push(box[0], b"x")
            go.wait(10)
            try:
                box[0].close()
            except Exception as e:
                errors.append(repr(e))
        for i in range(300):
            round_(detach=i % 2 == 0)
        print(errors)
    """)
    assert proc.stdout == b"[]\n"


def test_no_callback_starts_after_close_returned():
    # A long switch interval keeps each callback whole: one that sees `closed` started after close.
    late = []
    interval = sys.getswitchinterval()
    sys.setswitchinterval(100)
    try:
        for _ in range(200):
            closed = []
            d = f.SyncDispatcher(lambda m: late.append(m) if closed else None, capacity=1024, slot_size=32)
            d.setup()
            producer = threading.Thread(target=native.produce, args=(d, 1, 100_000, [16]))
            producer.start()
            time.sleep(0.0005)
            d.close()
            closed.append(True)
            producer.join()
            time.sleep(0.001)
    finally:
        sys.setswitchinterval(interval)
    assert late == []


@pytest.mark.parametrize("cls", [f.SyncDispatcher, f.AsyncDispatcher])
def test_reinitialising_between_setup_and_close_is_refused(cls):
    got, other = [], []

    def collect(into):
        if cls is f.SyncDispatcher:
            return into.append

        async def callback(msg):
            into.append(msg)

        return callback

    async def main():
        d = cls(collect(got), capacity=16)
        d.setup()
        with pytest.raises(RuntimeError, match=r"__init__: the dispatcher is set up; close\(\) it"):
            d.__init__(collect(other), capacity=64)
        native.produce(d, 1, 5, [16], True)
        for _ in range(500):
            if len(got) == 5:
                break
            await asyncio.sleep(0.01)
        d.close()
        d.__init__(collect(other), capacity=64)  # closed: allowed again

    asyncio.run(main())
    assert got == expected(0, 5, [16]) and other == []


def test_override_of_close_runs_at_native_level(monkeypatch):
    closed = []

    class Mine(f.SyncDispatcher):
        def close(self):
            closed.append(True)
            super().close()

    d = Mine(print)
    d.setup()
    del d
    gc.collect()
    assert closed == [True]  # the destructor's native close found the override


def test_failing_close_in_destructor_is_unraisable(monkeypatch):
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: seen.append((type(u.exc_value), u.object)))

    class Broken(f.SyncDispatcher):
        def close(self):
            raise ValueError("no")

    Broken(print)
    gc.collect()
    assert seen == [(ValueError, "zelvar.utils.ferrix.ferrix.SyncDispatcher.__dealloc__")]


def test_dropping_a_running_detached_dispatcher_mid_delivery():
    started, release, finished = threading.Event(), threading.Event(), []

    def slow(msg):
        started.set()
        release.wait(5)
        finished.append(msg)

    d = f.SyncDispatcher(slow, capacity=64, slot_size=64)
    d.setup()
    native.produce(d, 1, 10)
    assert started.wait(5)
    del d  # close runs while the consumer is inside the callback
    gc.collect()
    release.set()
    # The thread finishes that delivery on state it owns, then stops: close cleared the run flag.
    assert wait_for(lambda: finished)
    time.sleep(0.1)
    assert finished == [expected(0, 1, [16])[0]]


def test_interpreter_exit_with_running_dispatchers(child):
    proc = child("""
        import time
        from zelvar import _testing as native
        from zelvar.utils.ferrix import ferrix as f
        keep = []
        for kwargs in (dict(), dict(detach=False), dict(nonblocking=False), dict(nonblocking=False, detach=False)):
            d = f.SyncDispatcher(lambda m: time.sleep(0.001), capacity=1024, slot_size=32, **kwargs)
            d.setup()
            native.produce(d, 1, 500)
            keep.append(d)
        print("exiting")
    """)
    assert proc.stdout == b"exiting\n"


def test_forked_child_inherits_dispatchers_without_consumers(child):
    # Pre-fork servers: in the child every inherited dispatcher is closed without a consumer (pushes,
    # native and Python, are refused as closed; close, drop and exit return at once), and the
    # parent's dispatchers keep working.
    proc = child(
        """
        import asyncio, os, threading, time
        from zelvar import _testing as native
        from zelvar.utils.ferrix import ferrix as f
        got = []
        keep = [f.SyncDispatcher(got.append, **kw) for kw in
                (dict(), dict(detach=False), dict(nonblocking=False, detach=False))]
        for d in keep:
            d.setup()
        idle = f.SyncDispatcher(got.append, variable_size=True)  # never set up
        loop = asyncio.new_event_loop()
        async def collect(msg):
            got.append(msg)
        a = f.AsyncDispatcher(collect)
        threading.Thread(target=loop.run_forever, daemon=True).start()
        loop.call_soon_threadsafe(a.setup)
        async def round_trip(msg):
            await q.push_str(msg)
            return await q.pop()
        async def make_queue():
            q = f.AsyncQueue()
            await q.push_str("before the fork")
            return q
        q = asyncio.run_coroutine_threadsafe(make_queue(), loop).result()
        time.sleep(0.2)  # every consumer waits for a doorbell or in the ring
        pid = os.fork()
        if pid == 0:
            refused = [push(d, b"m") for d in keep + [a, idle] for push in (native.push, type(d).push)]
            assert refused == [-1] * 10, refused
            keep[0].close()
            keep[1].close()
            a.close()
            assert asyncio.run(round_trip("c")) == b"before the fork"
            keep.clear()  # drops, and the exit hook, find no consumer to wait for
            raise SystemExit(0)
        deadline = time.monotonic() + 4
        while (status := os.waitpid(pid, os.WNOHANG)) == (0, 0):
            if time.monotonic() > deadline:
                os.kill(pid, 9)
                raise SystemExit("the child hung")
            time.sleep(0.01)
        assert status[1] == 0, status
        for d in keep + [a]:
            native.produce(d, 1, 1)
        deadline = time.monotonic() + 5
        while len(got) < 4 and time.monotonic() < deadline:
            time.sleep(0.01)
        print(len(got))
        for d in keep:
            d.close()
        loop.call_soon_threadsafe(a.close)
    """,
        leak_check=False,
    )
    assert proc.stdout == b"4\n"
