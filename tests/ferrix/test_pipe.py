"""NexoPipe: construction, its entries, and native producer and consumer threads."""

import pytest
from bridge_messages import expected

from zelvar import _testing as native
from zelvar.utils.ferrix import ferrix as f


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        ({"capacity": -1}, OverflowError, "can't convert negative value to size_t"),
        ({"slot_size": "big"}, TypeError, "an integer is required"),
        ({"capacity": 0}, ValueError, None),
        ({"slot_size": 1 << 40, "capacity": 1 << 40}, ValueError, None),
        ({"bogus": 1}, TypeError, "__init__() got an unexpected keyword argument 'bogus'"),
    ],
)
def test_constructor_errors(kwargs, error, message):
    with pytest.raises(error) as info:
        f.NexoPipe(**kwargs)
    if message:
        assert str(info.value) == message


@pytest.mark.parametrize(
    "variable, names", [(False, ("push", "pop", "release")), (True, ("push_var", "pop_var", "release_var"))]
)
def test_entries_chosen_by_size_mode(variable, names):
    assert native.pipe_entries(f.NexoPipe(variable_size=variable)) == names


def test_failed_reinit_keeps_the_old_ring_and_entries():
    pipe = f.NexoPipe(capacity=8, slot_size=8, variable_size=True)
    assert native.pipe_call(pipe, "push_var", b"kept") == (1, None)
    with pytest.raises(ValueError):
        pipe.__init__(capacity=0)
    assert native.pipe_entries(pipe)[0] == "push_var"
    assert native.pipe_call(pipe, "pop_var") == (1, b"kept")
    pipe.__init__(capacity=8, slot_size=8)  # a new ring: the old message is gone
    assert native.pipe_entries(pipe)[0] == "push"
    assert native.pipe_call(pipe, "push", b"new") == (1, None)
    assert native.pipe_call(pipe, "pop") == (1, b"new")


def test_pipe_without_ring_refuses():
    pipe = f.NexoPipe.__new__(f.NexoPipe)
    for entry in ("push", "push_var", "pop", "pop_var"):
        assert native.pipe_call(pipe, entry, b"x")[0] == -1
    native.pipe_call(pipe, "release")
    assert native.produce(pipe, 1, 10) == [0]


@pytest.mark.parametrize("variable, sizes", [(False, [0, 8, 100, 256]), (True, [0, 9, 1000, 5000, 64])])
def test_native_producer_to_native_consumer(variable, sizes):
    pipe = f.NexoPipe(capacity=64, slot_size=256, variable_size=variable)
    count = 20_000
    assert native.pipe_round_trip(pipe, count, sizes) == expected(0, count, sizes)


def test_producer_threads_without_the_lock():
    pipe = f.NexoPipe(capacity=1 << 12, slot_size=32)
    assert native.produce(pipe, 1, 5000, [16]) == [4096]  # the ring's capacity: the rest refused
    assert native.pipe_call(pipe, "pop") == (1, expected(0, 1, [16])[0])
