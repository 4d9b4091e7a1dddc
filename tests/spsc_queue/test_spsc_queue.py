"""The SPSCQueue type: construction, the published method table, and the ring seen from Python."""

import ctypes
import threading
import time

import pytest

from zelvar.spsc_queue.spsc_queue import SPSCQueue

STORED, FULL, CLOSED, TOO_LARGE, WRONG_FAMILY = 1, 0, -1, -2, -3


class Int:
    def __init__(self, value):
        self.value = value

    def __int__(self):
        return self.value


class Falsy:
    def __bool__(self):
        raise ZeroDivisionError("no truth")


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        ((-1, 4), {}, OverflowError, "can't convert negative value to size_t"),
        ((16, -4), {}, OverflowError, "can't convert negative value to size_t"),
        ((2**64, 4), {}, OverflowError, "value too large to convert to size_t"),
        (("16", 4), {}, TypeError, "an integer is required"),
        ((None, 4), {}, TypeError, "an integer is required"),
        ((Int("16"), 4), {}, TypeError, "__int__ returned non-int (type str)"),
        ((16,), {}, TypeError, "SPSCQueue() takes at least 2 positional arguments (1 given)"),
        ((16, 4, 0, 0, 0, 0), {}, TypeError, "SPSCQueue() takes at most 5 positional arguments (6 given)"),
        ((16, 4), {"bogus": 1}, TypeError, "SPSCQueue() got an unexpected keyword argument 'bogus'"),
        ((16, 4), {"slot_size": 1}, TypeError, "SPSCQueue() got multiple values for keyword argument 'slot_size'"),
        ((16, 4, Falsy()), {}, ZeroDivisionError, "no truth"),
    ],
)
def test_constructor_errors(args, kwargs, error, message):
    with pytest.raises(error) as info:
        SPSCQueue(*args, **kwargs)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "slot_size, capacity", [(0, 16), (16, 0), (1 << 40, 1 << 40), (1 << 20, 1 << 20), (2**64 - 1, 2**64 - 1)]
)
def test_absurd_sizes_raise_value_error(slot_size, capacity):
    with pytest.raises(ValueError):
        SPSCQueue(slot_size, capacity)


def test_sizes_by_keyword_and_int_conversion():
    q = SPSCQueue(slot_size=Int(24), capacity=5.9, overwrite=False, zerocopy=True)
    assert (q.slot_size, q.capacity) == (24, 8)  # capacity 5 rounds up to a power of two


def test_fixed_family_round_trip_and_limits():
    q = SPSCQueue(8, 2)
    assert q.try_push(b"") == STORED
    assert q.try_push(b"12345678") == STORED
    assert q.try_push(b"x") == FULL
    assert q.try_push(b"123456789") == TOO_LARGE
    assert q.try_push_var(b"x") == WRONG_FAMILY
    assert [q.try_pop(), q.try_pop(), q.try_pop()] == [b"", b"12345678", None]


def test_variable_family_takes_messages_longer_than_a_slot():
    q = SPSCQueue(16, 1024)  # one byte ring of 1024 slots' worth
    messages = [bytes([i]) * (i * 37) for i in range(20)]
    assert all(q.try_push_var(m) == STORED for m in messages)
    assert q.try_pop() is None  # the fixed family is refused: it reports nothing obtained
    assert [q.try_pop_var() for _ in messages] == messages


def test_overwrite_keeps_the_newest():
    q = SPSCQueue(8, 4, overwrite=True)
    for i in range(10):
        assert q.try_push(b"%d" % i) == STORED
    assert [q.try_pop() for _ in range(4)] == [b"6", b"7", b"8", b"9"]


def test_block_on_full_push_waits_for_the_consumer():
    q = SPSCQueue(8, 1, block_on_full=True)
    assert q.push(b"a") == STORED
    results = []
    producer = threading.Thread(target=lambda: results.append(q.push(b"b")))
    producer.start()
    time.sleep(0.1)
    assert results == []  # still waiting for room
    assert q.try_pop() == b"a"
    producer.join(5)
    assert results == [STORED]
    assert q.try_pop() == b"b"


def test_close_wakes_a_blocked_pop_and_drains():
    q = SPSCQueue(8, 4)
    got = []
    consumer = threading.Thread(target=lambda: got.append(q.pop()))
    consumer.start()
    time.sleep(0.05)
    q.close()
    consumer.join(2)
    assert not consumer.is_alive() and got == [None]
    assert q.closed and q.try_push(b"x") == CLOSED

    q = SPSCQueue(8, 4)
    q.try_push(b"left")
    q.close()
    assert (q.try_pop(), q.try_pop()) == (b"left", None)


def test_python_subclass():
    class Mine(SPSCQueue):
        pass

    q = Mine(8, 2)
    assert q.try_push(b"ok") == STORED and q.try_pop() == b"ok"


# --- the native method table, called the way native code calls it -----------------------

PUSH = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t)
POP = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p), ctypes.POINTER(ctypes.c_size_t))
NOARG = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p)
VOID = ctypes.CFUNCTYPE(None, ctypes.c_void_p)
SLOTS = [
    ("push", PUSH),
    ("try_push", PUSH),
    ("push_var", PUSH),
    ("try_push_var", PUSH),
    ("closed", NOARG),
    ("pop", POP),
    ("release", VOID),
    ("try_pop", POP),
    ("pop_var", POP),
    ("try_pop_var", POP),
    ("close", VOID),
]


def vtable():
    capsule = SPSCQueue.__dict__["__pyx_vtable__"]
    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.restype, get_pointer.argtypes = ctypes.c_void_p, [ctypes.py_object, ctypes.c_char_p]
    table = ctypes.cast(get_pointer(capsule, None), ctypes.POINTER(ctypes.c_void_p))
    return {name: proto(table[i]) for i, (name, proto) in enumerate(SLOTS)}


def native_pop(fn, q):
    data, size = ctypes.c_void_p(), ctypes.c_size_t()
    rc = fn(id(q), ctypes.byref(data), ctypes.byref(size))
    return rc, (ctypes.string_at(data.value, size.value) if rc == 1 else None)


def test_vtable_fixed_family_slots():
    t, q = vtable(), SPSCQueue(16, 4)
    assert t["try_push"](id(q), b"one", 3) == STORED
    assert t["push"](id(q), b"two", 3) == STORED
    assert native_pop(t["try_pop"], q) == (1, b"one")
    assert native_pop(t["pop"], q) == (1, b"two")
    t["release"](id(q))
    assert native_pop(t["try_pop"], q) == (0, None)
    assert t["try_push_var"](id(q), b"x", 1) == WRONG_FAMILY
    assert t["closed"](id(q)) == 0
    t["close"](id(q))
    assert t["closed"](id(q)) == 1 and q.closed
    assert native_pop(t["pop"], q) == (-1, None)


def test_vtable_variable_family_slots():
    t, q = vtable(), SPSCQueue(16, 64)
    big = bytes(range(200))
    assert t["try_push_var"](id(q), big, len(big)) == STORED
    assert t["push_var"](id(q), b"small", 5) == STORED
    assert native_pop(t["try_pop_var"], q) == (1, big)
    assert native_pop(t["pop_var"], q) == (1, b"small")
    assert t["try_push"](id(q), b"x", 1) == WRONG_FAMILY


def test_instances_are_large_enough_for_the_bridge():
    assert SPSCQueue.__basicsize__ >= 232


# --- threads, each scenario in a child process: a fault there may hang or crash -----------

THREADED = """
import sys, threading, time
from zelvar.spsc_queue.spsc_queue import SPSCQueue

def run_threads(*threads, queue):
    failed = []

    def failure(args):  # a thread that fails closes the queue, so that the others end too
        failed.append(args)
        queue.close()
        print_failure(args)

    print_failure, threading.excepthook = threading.excepthook, failure
    for t in threads:
        t.start()
    for t in threads:
        t.join(20)
    if any(t.is_alive() for t in threads):
        queue.close()  # frees both sides, so the child reports instead of hanging
        for t in threads:
            t.join()
        sys.exit("stalled")
    if failed:
        sys.exit("a thread failed")
"""


@pytest.mark.parametrize("capacity", [1, 2, 4, 16])
def test_overwrite_with_block_on_full_delivers_everything_to_a_consumer_thread(child, capacity):
    # push waits rather than overwriting. A zerocopy try_pop holds its message until the next
    # call; in bursts the consumer dawdles over each one, so the producer fills the ring and
    # keeps lapping the held slot.
    child(
        THREADED
        + f"""
q = SPSCQueue(16, {capacity}, overwrite=True, zerocopy=True, block_on_full=True)
N = 5000
pushed, got = [], []

def produce():
    pushed.extend(q.push(b"%d" % i) for i in range(N))
    q.close()

def consume():
    for i in range(sys.maxsize):
        closed = q.closed
        dawdle = i % 500 < 40
        m = q.try_pop() if dawdle else q.pop()
        if m is not None:
            got.append(int(m))
            if dawdle:
                time.sleep(0.0002)
        elif closed:
            return

run_threads(threading.Thread(target=produce), threading.Thread(target=consume), queue=q)
assert pushed == [1] * N, sorted(set(pushed))
assert got == list(range(N)), (len(got), got[:5], got[-5:])
"""
    )


@pytest.mark.parametrize("side", ["push", "pop"])
@pytest.mark.parametrize("var", [False, True])
def test_a_second_thread_on_one_side_is_refused_and_nothing_is_corrupted(child, side, var):
    # Two threads on one side, using the blocking call and the try_ call in turn, retrying a
    # refused call: every message arrives once, whole, each thread's in order, or the guard is broken.
    child(
        THREADED
        + f"""
VAR, SIDE, N = {var}, {side!r}, 1000
BUSY = "SPSCQueue: another thread is already %s; a queue has one producer and one consumer" % (
    "pushing" if SIDE == "push" else "popping")
q = SPSCQueue(32, 2, block_on_full=True)
push, try_push = (q.push_var, q.try_push_var) if VAR else (q.push, q.try_push)
pop, try_pop = (q.pop_var, q.try_pop_var) if VAR else (q.pop, q.try_pop)
refused = []

def message(k, i):
    return b"%d.%d." % (k, i) * (1 + i % 3)

def retrying(call, *args):
    while True:
        try:
            return call(*args)
        except RuntimeError as e:
            assert str(e) == BUSY, str(e)
            refused.append(1)
            time.sleep(0.0002)  # lets the thread inside take the interpreter lock back

def produce(keys):
    for i in range(N):
        for k in keys:
            while (rc := retrying(try_push if i % 2 else push, message(k, i))) == 0:
                time.sleep(0)
            assert rc == 1, rc

def consume(out, producers):
    for i in range(sys.maxsize):
        done = not any(p.is_alive() for p in producers)
        m = retrying(pop if i % 2 else try_pop)
        if m is not None:
            k, n = map(int, m.split(b".")[:2])
            assert m == message(k, n), m
            out.append((k, n))
        elif done:
            return

if SIDE == "push":
    producers = [threading.Thread(target=produce, args=([k],)) for k in (0, 1)]
    outs = [[]]
    consumers = [threading.Thread(target=consume, args=(outs[0], producers))]
else:
    producers = [threading.Thread(target=produce, args=([0, 1],))]
    outs = [[], []]
    consumers = [threading.Thread(target=consume, args=(out, producers)) for out in outs]
run_threads(*producers, *consumers, queue=q)
for out in outs:
    for k in (0, 1):
        seq = [n for key, n in out if key == k]
        assert seq == sorted(set(seq)), "out of order or repeated"
assert sorted(m for out in outs for m in out) == sorted((k, i) for k in (0, 1) for i in range(N))
assert refused, "no call was refused"
"""
    )
