"""Hostile values on every path of the message bridge and the ring that converts Python input:
constructors and re-initialisation, pushes, buffer loads, dispatcher setup and AsyncQueue's pickle
state. Each value gets exactly the error (type and text) or result the model in hostile_model says,
and an object that refuses a value keeps what it had."""

import asyncio
import gc
import threading
import warnings

import pytest
from hostile_model import (
    FAST,
    HOSTILE,
    MESSAGES,
    RING_HOSTILE,
    SLOW,
    TEXTS,
    BadBool,
    IndexOnly,
    StrSub,
    apply_state,
    int32,
    object_bytes,
    outcome,
    raises_as,
    simple_buffer,
    size,
    tp_name,
)
from hypothesis import example, given
from hypothesis import strategies as st

from zelvar import _testing as native
from zelvar.spsc_queue.spsc_queue import SPSCQueue
from zelvar.utils.ferrix import ferrix as f

# --- constructors ----------------------------------------------------------------------------------


LOOP = asyncio.new_event_loop()  # given to AsyncQueue, never run
RING_PARAMS = {  # class -> its parameters after the required ones, and the required ones
    SPSCQueue: (["slot_size", "capacity", "overwrite", "zerocopy", "block_on_full"], {}),
    f.NexoPipe: (["capacity", "slot_size", "zerocopy", "overwrite", "block_on_full", "variable_size"], {}),
    f.SyncDispatcher: (
        ["capacity", "slot_size", "zerocopy", "overwrite", "block_on_full", "variable_size", "detach", "nonblocking"],
        {"callback": print},
    ),
    f.AsyncDispatcher: (["capacity", "slot_size", "overwrite", "zerocopy", "variable_size"], {"callback": print}),
    f.AsyncQueue: (["slot_size", "capacity", "overwrite", "zerocopy", "block_on_full"], {"loop": LOOP}),
}


def expected_ring(cls, args):
    sizes = {}
    for name in RING_PARAMS[cls][0]:
        if name in ("slot_size", "capacity"):
            sizes[name] = size(args[name])
        elif name in args:
            sizes[name] = bool(args[name])
    slot, capacity = sizes["slot_size"], sizes["capacity"]
    for name in ("slot_size", "capacity"):  # the ring's own checks: zero sizes, then its bytes
        if sizes[name] == 0:
            raise ValueError(f"{name} must be at least 1")
    slots = 1 << (capacity - 1).bit_length()  # a power of two; two at least when overwriting
    if max(slot, capacity) > 2**30 or max(slots, 2 * sizes.get("overwrite", False)) * ((slot + 15) // 8 * 8) > 2**30:
        raise ValueError("ring too large")
    return sizes


@pytest.mark.parametrize("cls", list(RING_PARAMS), ids=lambda c: c.__name__)
@FAST
@given(data=st.data())
def test_ring_constructors(cls, data):
    params, required = RING_PARAMS[cls]
    args = {**required, "slot_size": 8, "capacity": 8}
    for name in data.draw(st.lists(st.sampled_from(params), min_size=1, max_size=2, unique=True)):
        args[name] = data.draw(RING_HOSTILE if name in ("slot_size", "capacity") else HOSTILE, label=name)
    expected = outcome(expected_ring, cls, args)
    if expected[0] == "ok":
        obj = cls(**args)
        if cls is SPSCQueue:
            assert (obj.slot_size, obj.capacity) == (
                expected[1]["slot_size"],
                1 << (expected[1]["capacity"] - 1).bit_length(),
            )
        if cls is f.NexoPipe:
            assert native.pipe_entries(obj)[0] == ("push_var" if args.get("variable_size") else "push")
        return
    with pytest.raises(expected[1]) as info:
        cls(**args)
    assert str(info.value).startswith(expected[2])  # the "too large" text goes on with the sizes
    if cls in (f.AsyncQueue, f.NexoPipe):  # conversions and the ring come first: nothing is stored
        obj = cls(**{**required, "slot_size": 8, "capacity": 8})
        before = obj.__reduce__()[2] if cls is f.AsyncQueue else native.pipe_call(obj, "push", b"kept")
        with pytest.raises(expected[1]):
            obj.__init__(**args)
        if cls is f.AsyncQueue:
            assert all(a is b for a, b in zip(obj.__reduce__()[2], before, strict=False))
        else:
            assert native.pipe_call(obj, "pop") == (1, b"kept")


@pytest.mark.parametrize("cls", [f.SyncDispatcher, f.AsyncDispatcher], ids=lambda c: c.__name__)
@SLOW
@given(
    bad=st.one_of(
        st.tuples(
            st.sampled_from(["capacity", "slot_size"]), st.sampled_from([-1, 0, 2**64, "8", None, 2**40, IndexOnly(8)])
        ),
        st.tuples(st.sampled_from(["overwrite", "zerocopy", "variable_size"]), st.just(BadBool(ZeroDivisionError()))),
    )
)
def test_failed_reinit_leaves_a_dispatcher_as_it_was(cls, bad):
    got, done = [], threading.Event()

    def first(msg):
        got.append(msg)
        done.set()

    async def first_async(msg):
        first(msg)

    sync = cls is f.SyncDispatcher
    d = cls(first if sync else first_async, capacity=8, slot_size=16, **({"detach": False} if sync else {}))
    other = {"variable_size": True, **({"detach": True, "nonblocking": False} if sync else {})}
    with pytest.raises(Exception):  # noqa: B017 -- the exact errors are the constructors' (above)
        d.__init__(lambda m: got.append(("new", m)), **{**other, bad[0]: bad[1]})

    async def deliver():
        d.setup()
        assert native.push(d, b"after") == 1
        await asyncio.wait_for(asyncio.get_running_loop().run_in_executor(None, done.wait, 5), 6)

    if sync:
        d.setup()
        assert native.push(d, b"after") == 1 and done.wait(5)
    else:
        asyncio.run(deliver())
    d.close()
    assert got == [b"after"]  # same callback, same ring family, same modes


# --- pushes, loads, setup, AsyncQueue state -----------------------------------------------------------


@pytest.mark.parametrize("family", ["try_push", "push", "try_push_var", "push_var"])
@FAST
@given(msg=MESSAGES)
def test_ring_pushes(family, msg):
    q = SPSCQueue(64, 4)  # fixed slots of 64 bytes; a variable-size ring of 4 x 72 bytes
    pop, limit = (q.try_pop_var, 280) if "var" in family else (q.try_pop, 64)
    expected = outcome(simple_buffer, msg)
    if expected[0] == "error":
        raises_as(expected, getattr(q, family), msg)
        assert pop() is None
        return
    fits = len(expected[1]) <= limit
    assert getattr(q, family)(msg) == (1 if fits else -2)
    assert pop() == (expected[1] if fits else None)


def utf8(m):
    if isinstance(m, str):  # subclasses too
        return m.encode()
    raise TypeError(f"Argument 'msg' has incorrect type (expected str, got {tp_name(m)})")


@pytest.mark.parametrize("method, model", [("push_str", utf8), ("push_obj", object_bytes), ("push_buf", simple_buffer)])
@FAST
@given(msg=MESSAGES)
def test_async_queue_pushes(method, model, msg):
    expected = outcome(model, msg)

    async def run():
        q = f.AsyncQueue(slot_size=64, capacity=4)
        push = getattr(q, method)
        if expected[0] == "error":
            with pytest.raises(Exception) as info:
                await push(msg)
            assert (type(info.value), str(info.value)) == expected[1:]
        else:
            fits = len(expected[1]) <= 64
            assert await push(msg) is fits
            if fits:
                assert await q.pop() == expected[1]
        assert await q.push_buf(b"next") is True  # nothing else was stored
        assert await q.pop() == b"next"

    asyncio.run(run())


def load_model(kind, obj):
    if kind == 4:
        kind = (
            0
            if isinstance(obj, bytes)
            else 1
            if isinstance(obj, str)
            else 2
            if outcome(memoryview, obj)[0] == "ok"
            else 3
        )
    if kind == 0:
        return bytes(memoryview(obj))  # the contents, never __bytes__
    if kind == 1:
        if not isinstance(obj, str):
            raise TypeError("bad argument type for built-in operation")
        return obj.encode()
    return simple_buffer(obj) if kind == 2 else object_bytes(obj)


@pytest.mark.parametrize("kind", [0, 1, 2, 3, 4])
@FAST
@given(obj=MESSAGES)
def test_buffer_view_loads(kind, obj):
    if kind == 0 and not isinstance(obj, bytes):
        return  # kind 0 trusts its caller to pass bytes
    view = f.CBufferView(kind)
    native.load(view, "before" if kind == 1 else b"before")
    before = native.view_state(view)
    expected = outcome(load_model, kind, obj)
    if expected[0] == "ok":
        assert native.load(view, obj) == expected[1]
        return
    raises_as(expected, native.load, view, obj)
    null_data, size_, _, held, holder = native.view_state(view)
    assert not held and holder is None  # a failed load keeps nothing of the message
    if kind == 1 or (kind == 4 and isinstance(obj, str)):  # data is written first, size only on success
        assert null_data and size_ == before[1]


@SLOW
@given(
    host=st.one_of(
        st.sampled_from(["127.0.0.1", "localhost", "\0", "\ud800", "no such host", "::1"]), TEXTS.map(StrSub), HOSTILE
    ),
    recvbuf=st.one_of(st.sampled_from([0, -5, 4096, 2**31 - 1]), HOSTILE),
)
@example(host="no such host", recvbuf=0)  # a socket made, its binding refused
def test_dispatcher_setup_arguments(host, recvbuf):
    got, done = [], threading.Event()
    d = f.SyncDispatcher(lambda m: (got.append(m), done.set()), capacity=8, slot_size=16, detach=False)

    def model():
        if type(host) is not str:  # None is no host either
            raise TypeError(f"Argument 'host' has incorrect type (expected str, got {tp_name(host)})")
        return int32(recvbuf)

    argument = outcome(model)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", ResourceWarning)
        if argument[0] == "error":
            raises_as(argument, d.setup, host, recvbuf)
            d.setup()  # nothing was started: the dispatcher sets up as if new
        else:
            try:
                d.setup(host, recvbuf)
            except (OSError, TypeError):  # the socket module's own refusal of the host
                assert host not in ("127.0.0.1", "localhost")
                d.setup()  # the failed binding started nothing, and its socket is closed now
        gc.collect()
    assert not [w for w in caught if issubclass(w.category, ResourceWarning)]
    assert native.push(d, b"bell") == 1 and done.wait(5)
    d.close()
    assert got == [b"bell"]


def ring_or_none(v):
    if v is None or isinstance(v, SPSCQueue):
        return v
    raise TypeError(f"Cannot convert {tp_name(v)} to zelvar.spsc_queue.spsc_queue.SPSCQueue")


def reduced_state(obj):
    """The state __reduce__ gives: the triple's third item, or inside the pair's arguments when
    nothing in it calls for __setstate__ (every object field None)."""
    reduced = obj.__reduce__()
    return reduced[2] if len(reduced) == 3 else reduced[1][2]


@FAST
@given(state=st.lists(HOSTILE, min_size=6, max_size=8).map(tuple), ring=st.one_of(st.none(), st.just("ring"), HOSTILE))
def test_async_queue_setstate(state, ring):
    state = state[:4] + (SPSCQueue(8, 4) if ring == "ring" else ring,) + state[4:]
    q = f.AsyncQueue(loop=LOOP)
    keep = lambda v: v  # noqa: E731
    rules = list(zip(range(7), [keep] * 4 + [ring_or_none, bool, keep], strict=False))
    expected = dict(enumerate(reduced_state(q)))
    error = apply_state(rules, state, expected, "zelvar.utils.ferrix.ferrix.AsyncQueue")
    if error:
        raises_as(error, q.__setstate__, state)
    else:
        assert q.__setstate__(state) is None
    after = reduced_state(q)
    assert all(after[i] is expected[i] or (i == 5 and after[i] == expected[i]) for i in range(7))
