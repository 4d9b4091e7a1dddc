"""SyncDispatcher: native producers on their own threads, a native consumer, a Python callback."""
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


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("detach", [True, False])
def test_every_message_arrives_once_in_order(mode, detach):
    got = []
    sizes = [8, 64, 200] if not mode["variable_size"] else [8, 1000, 64, 300]
    d = f.SyncDispatcher(got.append, capacity=256, slot_size=256, detach=detach, **mode)
    d.setup()
    count = 100_000
    assert native.produce(d, 1, count, sizes, True) == [count]
    assert wait_for(lambda: len(got) == count)
    d.close()
    assert got == expected(0, count, sizes)


def test_many_producers_each_with_its_own_dispatcher():
    received = [[] for _ in range(4)]
    dispatchers = [f.SyncDispatcher(r.append, capacity=1024, slot_size=32, nonblocking=i % 2 == 0)
                   for i, r in enumerate(received)]
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


@pytest.mark.parametrize("mode", MODES)
def test_close_while_producers_push(mode):
    got = []
    d = f.SyncDispatcher(got.append, capacity=64, slot_size=64, detach=False, **mode)
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


@pytest.mark.parametrize("mode, context", [
    (dict(nonblocking=True, variable_size=False), "_SyncDispatcher__try_pop"),
    (dict(nonblocking=True, variable_size=True), "_SyncDispatcher__try_pop_var"),
    (dict(nonblocking=False, variable_size=False), "_SyncDispatcher__pop"),
    (dict(nonblocking=False, variable_size=True), "_SyncDispatcher__pop_var"),
])
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


@pytest.mark.parametrize("args, kwargs, error, message", [
    ((), {}, TypeError, "__init__() takes at least 1 positional argument (0 given)"),
    ((print,), {"capacity": -1}, OverflowError, "can't convert negative value to size_t"),
    ((print,), {"slot_size": 1.5j}, TypeError, "an integer is required"),
    ((print,), {"capacity": 0}, ValueError, None),
])
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
    with pytest.raises(RuntimeError, match="no ring"):
        d.setup()


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
