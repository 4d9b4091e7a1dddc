"""SyncDispatcher: native producers on their own threads, a native consumer, a Python callback."""

import asyncio
import contextvars
import gc
import sys
import threading
import time

import pytest
from bridge_messages import expected, message

from zelvar import _testing as native
from zelvar.utils.ferrix import ferrix as f


def wait_for(predicate, timeout=10.0):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.002)
    return True


MODES = [
    pytest.param(dict(nonblocking=True, variable_size=False), id="doorbell-fixed"),
    pytest.param(dict(nonblocking=True, variable_size=True), id="doorbell-variable"),
    pytest.param(dict(nonblocking=False, variable_size=False), id="ring-fixed"),
    pytest.param(dict(nonblocking=False, variable_size=True), id="ring-variable"),
]


class Batches:
    """A batch callback: keeps every message and the length of every list it was given."""

    def __init__(self):
        self.got, self.lengths = [], []

    def __call__(self, msgs):
        self.lengths.append(len(msgs) if type(msgs) is list else None)
        self.got.extend(msgs)


def receiver(batch):
    """(callback, list of messages received) for one message per call or for lists of `batch`."""
    if not batch:
        got = []
        return got.append, got
    batches = Batches()
    return batches, batches.got


@pytest.mark.parametrize("batch", [0, 7])
@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("detach", [True, False])
def test_every_message_arrives_once_in_order(mode, detach, batch):
    callback, got = receiver(batch)
    sizes = [8, 64, 200] if not mode["variable_size"] else [8, 1000, 64, 300]
    d = f.SyncDispatcher(callback, capacity=256, slot_size=256, detach=detach, batch=batch, **mode)
    d.setup()
    count = 100_000
    assert native.produce(d, 1, count, sizes, True) == [count]
    assert wait_for(lambda: len(got) == count)
    d.close()
    assert got == expected(0, count, sizes)
    if batch:
        assert all(length is not None and 1 <= length <= batch for length in callback.lengths)
        assert max(callback.lengths) == batch  # a flooded ring fills whole lists


@pytest.mark.parametrize("mode", MODES)
def test_a_callback_keeping_nothing_sees_each_message_and_its_hash(mode):
    class Digest:
        def __init__(self):
            self.got = []

        def __call__(self, msg):
            self.got.append((msg.hex(), hash(msg)))

    digest = Digest()
    d = f.SyncDispatcher(digest, capacity=256, slot_size=64, **mode)
    d.setup()
    count = 20_000
    assert native.produce(d, 1, count, [64], True) == [count]
    assert wait_for(lambda: len(digest.got) == count)
    d.close()
    assert digest.got == [(m.hex(), hash(m)) for m in expected(0, count, [64])]


@pytest.mark.parametrize("inherited", [False, True])
def test_a_callable_instance_is_called_as_its_class_says_at_that_moment(inherited):
    calls = []

    class Base:
        def __call__(self, msg):
            calls.append(("method", self is callback, msg))

    # An inherited __call__ is found along the MRO, and one set on the class then hides it.
    Callback = type("Callback", (Base,), {}) if inherited else Base
    callback = Callback()
    d = f.SyncDispatcher(callback)
    d.setup()
    for msg, then in [
        (b"a", lambda self, msg: calls.append(("replaced", self is callback, msg))),
        (b"b", staticmethod(lambda msg: calls.append(("static", None, msg)))),
        (b"c", None),
    ]:
        before = len(calls)
        assert d.push(msg) == 1
        assert wait_for(lambda: len(calls) == before + 1)
        Callback.__call__ = then
    d.close()
    assert calls == [("method", True, b"a"), ("replaced", True, b"b"), ("static", None, b"c")]


@pytest.mark.parametrize("mode", MODES[::2])
def test_the_consumer_keeps_its_thread_locals_and_context_between_bursts(mode):
    local, var, seen = threading.local(), contextvars.ContextVar("var"), []

    def callback(msg):
        seen.append((getattr(local, "n", 0), var.get(0)))
        local.n = len(seen)
        var.set(len(seen))

    d = f.SyncDispatcher(callback, **mode)
    d.setup()
    for i in range(3):
        assert d.push(b"m") == 1
        assert wait_for(lambda: len(seen) == i + 1)
        time.sleep(0.05)  # the ring runs dry: the consumer lets the lock go and waits
    d.close()
    assert seen == [(0, 0), (1, 1), (2, 2)]


def test_many_producers_each_with_its_own_dispatcher():
    received = [[] for _ in range(4)]
    dispatchers = [
        f.SyncDispatcher(r.append, capacity=1024, slot_size=32, nonblocking=i % 2 == 0) for i, r in enumerate(received)
    ]
    for d in dispatchers:
        d.setup()
    threads = [threading.Thread(target=native.produce, args=(d, 1, 250_000, [16], True)) for d in dispatchers]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert wait_for(lambda: all(len(r) == 250_000 for r in received), 30)
    for d in dispatchers:
        d.close()
    assert all(r == expected(0, 250_000, [16]) for r in received)


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


def test_second_setup_while_consuming_is_refused():
    d = f.SyncDispatcher(lambda m: None)
    d.setup()
    with pytest.raises(RuntimeError, match="already running"):
        d.setup()
    d.close()


@pytest.mark.parametrize(
    "mode, context",
    [
        (dict(nonblocking=True, variable_size=False), "_SyncDispatcher__try_pop"),
        (dict(nonblocking=True, variable_size=True), "_SyncDispatcher__try_pop_var"),
        (dict(nonblocking=False, variable_size=False), "_SyncDispatcher__pop"),
        (dict(nonblocking=False, variable_size=True), "_SyncDispatcher__pop_var"),
    ],
)
def test_raising_callback_is_unraisable_and_ends_the_consumer(monkeypatch, mode, context):
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: seen.append((type(u.exc_value), u.object)))
    calls = []

    def callback(msg):
        calls.append(msg)
        raise KeyError("boom")

    d = f.SyncDispatcher(callback, capacity=16, slot_size=16, **mode)
    d.setup()
    native.produce(d, 1, 1)
    assert wait_for(lambda: seen)
    assert seen == [(KeyError, f"zelvar.utils.ferrix.ferrix.SyncDispatcher.{context}")]
    assert native.produce(d, 1, 5) == [5]  # later pushes are still accepted
    time.sleep(0.05)
    assert len(calls) == 1
    d.close()


def test_uncallable_callback(monkeypatch):
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: seen.append(type(u.exc_value)))
    d = f.SyncDispatcher(42)
    d.setup()
    native.produce(d, 1, 1)
    assert wait_for(lambda: seen)
    assert seen == [TypeError]
    d.close()


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


def test_push_without_ring_refuses():
    d = f.SyncDispatcher.__new__(f.SyncDispatcher)
    assert native.produce(d, 1, 3) == [0]
    assert (d.push(b"x"), d.qsize()) == (-1, 0)
    with pytest.raises(RuntimeError, match="no ring"):
        d.setup()


@pytest.mark.parametrize("cls", [f.SyncDispatcher, f.AsyncDispatcher])
@pytest.mark.parametrize("variable_size", [False, True])
def test_python_push_is_the_native_push_entry(cls, variable_size):
    # Twin dispatchers, one fed by Python, one by the native entry: the same results and queues.
    fed = [cls(None, capacity=2, slot_size=8, variable_size=variable_size) for _ in range(2)]
    data = [b"ab", bytearray(b"cd"), memoryview(b"efgh"), b"x" * 64, b"ij"]
    by_python = [fed[0].push(m) for m in data]
    assert by_python == [native.push(fed[1], bytes(m)) for m in data]
    assert by_python[0] == 1 and by_python[3] == -2 and 0 in by_python  # stored, too large, full
    assert fed[0].qsize() == fed[1].qsize() == by_python.count(1)
    with pytest.raises(BufferError):
        fed[0].push(memoryview(b"abcd")[::2])
    with pytest.raises(TypeError):
        fed[0].push("text")
    for d in fed:
        d.close()
    assert fed[0].push(b"z") == native.push(fed[1], b"z") == -1


@pytest.mark.parametrize("nonblocking", [True, False])
def test_python_push_rings_the_sleeping_consumer(nonblocking):
    got = []
    d = f.SyncDispatcher(got.append, nonblocking=nonblocking)
    d.setup()
    time.sleep(0.05)  # the consumer is asleep by now
    assert [d.push(m) for m in (b"a", b"b")] == [1, 1]
    assert wait_for(lambda: len(got) == 2)
    d.close()
    assert got == [b"a", b"b"]


def test_a_second_python_producer_is_refused():
    # A blocking push on a full ring waits (the lock released) with the producer side taken.
    d = f.SyncDispatcher(None, capacity=1, slot_size=8, nonblocking=False, block_on_full=True)
    assert d.push(b"1") == 1
    watchdog = threading.Timer(10, d.close)  # wakes any waiting push: a failure never hangs
    watchdog.start()
    results = []
    first = threading.Thread(target=lambda: results.append(d.push(b"2")))
    first.start()
    try:
        time.sleep(0.2)
        assert first.is_alive()
        with pytest.raises(RuntimeError, match="already pushing"):
            d.push(b"3")
    finally:
        d.close()
        first.join(5)
        watchdog.cancel()
    assert results == [-1]  # woken by close


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


@pytest.mark.parametrize("mode", MODES[::2])
def test_no_wake_up_is_lost_when_pushes_meet_a_falling_asleep_consumer(mode):
    # Each round pushes one message and waits for it: a lost wake-up would leave it in the ring
    # (no later push would rescue it). The gaps vary so pushes land around the sleep announcement.
    arrived = threading.Event()
    d = f.SyncDispatcher(lambda m: arrived.set(), capacity=64, slot_size=16, **mode)
    d.setup()
    for i in range(3000):
        arrived.clear()
        native.ping(d, 1, 16, (0, 1, 3, 10, 30)[i % 5])
        assert arrived.wait(2), f"round {i}: the message was never delivered"
    d.close()


@pytest.mark.parametrize("mode", MODES[1::2])
def test_messages_near_the_size_limit_get_through(mode):
    # A byte ring of 4 x 256 bytes: most pushes must wrap, and the largest fills the whole ring. Each
    # round waits for its message, so the consumer is asleep when the next push has to wrap.
    got = []
    sizes = [1016, 600, 1000, 8, 700]
    d = f.SyncDispatcher(got.append, capacity=4, slot_size=248, **mode)
    d.setup()
    for i in range(20):
        producer = threading.Thread(target=native.produce, args=(d, 1, 1, [sizes[i % 5]], True))
        producer.start()
        delivered = wait_for(lambda: len(got) == i + 1, 5)
        if not delivered:
            d.close()  # the retrying producer gets -1 and stops
        producer.join()
        assert delivered, f"round {i}: the message never got through"
    d.close()
    assert got == [message(0, 0, sizes[i % 5]) for i in range(20)]


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
