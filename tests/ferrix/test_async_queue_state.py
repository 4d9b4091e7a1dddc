"""AsyncQueue as an object: construction and its arguments, pickling and unpickling."""

import asyncio
import copy
import pickle

import pytest
from async_queue_helpers import AQ, state_of

from zelvar.spsc_queue.spsc_queue import SPSCQueue
from zelvar.utils.ferrix import ferrix as f

# --- construction ------------------------------------------------------------------------------


def test_docstring():
    assert AQ.__doc__ == (
        "AsyncQueue(loop=None, size_t slot_size=1024, size_t capacity=16384, bool overwrite=False, "
        "bool zerocopy=False, bool block_on_full=False)"
    )


def test_outside_a_running_loop_needs_a_loop():
    with pytest.raises(RuntimeError, match=r"^AsyncQueue must be created inside a running event loop\.$") as e:
        AQ()
    assert isinstance(e.value.__context__, RuntimeError)
    loop = asyncio.new_event_loop()
    try:
        q = AQ(loop=loop)
        assert state_of(q)[2] is loop
    finally:
        loop.close()


def test_defaults_inside_a_running_loop():
    async def main():
        q = AQ()
        cb, lock, loop, cond, ring, running, task = state_of(q)
        assert loop is asyncio.get_running_loop()
        assert type(lock) is asyncio.Lock and type(cond) is asyncio.Condition and cond._lock is lock
        assert (ring.slot_size, ring.capacity) == (1024, 16384)
        assert (cb, running, task) == (None, False, None)

    asyncio.run(main())


@pytest.mark.parametrize(
    "kwargs, error, text",
    [
        (dict(slot_size=-1), OverflowError, "can't convert negative value to size_t"),
        (dict(capacity=-5), OverflowError, "can't convert negative value to size_t"),
        (dict(slot_size="8"), TypeError, None),
        (dict(slot_size=0), ValueError, None),  # the ring refuses it, unchanged
        (dict(nope=1), TypeError, None),
    ],
)
def test_bad_arguments(kwargs, error, text):
    loop = asyncio.new_event_loop()
    try:
        with pytest.raises(error) as e:
            AQ(loop, **kwargs)
        if text:
            assert str(e.value) == text
    finally:
        loop.close()


def test_positional_arguments_and_too_many():
    loop = asyncio.new_event_loop()
    try:
        q = AQ(loop, 64, 8, True, False, False)
        assert (state_of(q)[4].slot_size, state_of(q)[4].capacity) == (64, 8)
        with pytest.raises(TypeError):
            AQ(loop, 64, 8, True, False, False, 1)
    finally:
        loop.close()


# --- pickling ------------------------------------------------------------------------------------------


def test_reduce_forms():
    bare = AQ.__new__(AQ)
    assert bare.__reduce__() == (
        f.__pyx_unpickle_AsyncQueue,
        (AQ, 0xB5FB52F, (None, None, None, None, None, False, None)),
    )
    loop = asyncio.new_event_loop()
    try:
        q = AQ(loop)
        fn, args, state = q.__reduce__()
        assert fn is f.__pyx_unpickle_AsyncQueue and args == (AQ, 0xB5FB52F, None)
        assert len(state) == 7 and state[2] is loop and isinstance(state[4], SPSCQueue)
    finally:
        loop.close()


class PicklableSub(AQ):
    pass


def test_round_trips_of_an_allocated_queue_and_a_subclass_with_a_dict():
    for obj in (AQ.__new__(AQ), PicklableSub.__new__(PicklableSub)):
        if type(obj) is PicklableSub:
            obj.tag = "kept"
        for clone in (pickle.loads(pickle.dumps(obj)), copy.copy(obj)):
            assert type(clone) is type(obj)
            assert state_of(clone)[:7] == (None, None, None, None, None, False, None)
            assert getattr(clone, "tag", None) == getattr(obj, "tag", None)


@pytest.mark.parametrize("checksum", [0xB5FB52F, 0x4BD5B12, 0x5D4EBBC])
def test_unpickle_accepts_the_three_checksums(checksum):
    q = f.__pyx_unpickle_AsyncQueue(AQ, checksum, None)
    assert type(q) is AQ and state_of(q) == (None, None, None, None, None, False, None)
    q = f.__pyx_unpickle_AsyncQueue(__pyx_type=AQ, __pyx_checksum=checksum, __pyx_state=("cb", 1, 2, 3, None, 1, 4))
    assert state_of(q) == ("cb", 1, 2, 3, None, True, 4)


@pytest.mark.parametrize("checksum, shown", [(1, "0x1"), (-1, "0xffffffff")])
def test_unpickle_checksum_mismatch(checksum, shown):
    with pytest.raises(pickle.PickleError) as e:
        f.__pyx_unpickle_AsyncQueue(AQ, checksum, None)
    assert str(e.value) == (
        f"Incompatible checksums ({shown} vs (0xb5fb52f, 0x4bd5b12, 0x5d4ebbc) = "
        "(_callback, _lock, _loop, _notify_cond, _q, _running, _task))"
    )


def test_unpickle_state_must_be_a_tuple():
    with pytest.raises(TypeError, match=r"Argument '__pyx_state' has incorrect type \(expected tuple, got list\)"):
        f.__pyx_unpickle_AsyncQueue(AQ, 0xB5FB52F, [])


@pytest.mark.parametrize(
    "state, error, text",
    [
        (None, TypeError, "cannot pass None into a C function argument that is declared 'not None'"),
        ([], TypeError, "Expected tuple, got list"),
        ((1, 2, 3, 4, 5, False, 7), TypeError, "Cannot convert int to zelvar.spsc_queue.spsc_queue.SPSCQueue"),
        ((1, 2, 3, 4, None, False), IndexError, None),
    ],
)
def test_setstate_errors_keep_earlier_members(state, error, text):
    q = AQ.__new__(AQ)
    with pytest.raises(error) as e:
        q.__setstate__(state)
    if text:
        assert str(e.value) == text
    if isinstance(state, tuple):
        assert state_of(q)[:4] == (1, 2, 3, 4)


def test_setstate_extra_members_update_the_dict_of_a_subclass():
    class Sub(AQ):
        pass

    q = Sub.__new__(Sub)
    q.__setstate__((None,) * 5 + (0, None, {"a": 1}, "ignored"))
    assert q.a == 1
    q.__setstate__((None,) * 5 + (0, None, {}))
    assert q.__dict__ == {"a": 1}
