"""SyncDispatcher's deliveries: native producers on their own threads, a native consumer, a Python
callback; every message once and in order in each ring mode, pushes from Python, wake-ups, and
callbacks that raise or cannot be called."""

import contextvars
import sys
import threading
import time

import pytest
from bridge_messages import expected, message
from dispatcher_helpers import MODES, receiver, wait_for

from zelvar import _testing as native
from zelvar.utils.ferrix import ferrix as f


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
