"""Message kinds: the published conversions and CBufferView's loads and buffer lifetimes."""

import traceback
import tracemalloc

import pytest

from zelvar import _testing as native
from zelvar.utils.ferrix import ferrix as f


class WithBytes:
    def __bytes__(self):
        return b"from __bytes__"


class BadBytes:
    def __bytes__(self):
        raise ArithmeticError("no bytes")


NON_CONTIGUOUS = memoryview(bytes(range(10)))[::2]


@pytest.mark.parametrize(
    "kind, obj, result",
    [
        (0, b"", b""),
        (0, b"a\x00b", b"a\x00b"),
        (1, "", b""),
        (1, "héllo✓", "héllo✓".encode()),
        (1, "a\x00b", b"a\x00b"),
        (2, bytearray(b"abc"), b"abc"),
        (2, memoryview(b"xyz"), b"xyz"),
        (2, b"", b""),
        (3, b"", b""),
        (3, [1, 2, 255], b"\x01\x02\xff"),
        (3, WithBytes(), b"from __bytes__"),
        (3, bytearray(b"ba"), b"ba"),
        (3, memoryview(b"mv"), b"mv"),
    ],
)
def test_conversions(kind, obj, result):
    assert native.convert(kind, obj) == result


@pytest.mark.parametrize(
    "kind, obj, error",
    [
        (1, b"bytes", TypeError),
        (1, "\udc80", UnicodeEncodeError),
        (1, 5, TypeError),
        (2, "text", TypeError),
        (2, 5, TypeError),
        (2, NON_CONTIGUOUS, BufferError),
        (3, 5, TypeError),
        (3, "text", TypeError),
        (3, BadBytes(), ArithmeticError),
        (3, [256], ValueError),
    ],
)
def test_conversion_failures(kind, obj, error):
    with pytest.raises(error):
        native.convert(kind, obj)


def test_non_ascii_size_in_bytes():
    text = "ünïcödé"
    assert len(native.convert(1, text)) > len(text)


LOADERS = {0: "_load_bytes", 1: "_load_str", 2: "_load_buf", 3: "_load_obj"}


@pytest.mark.parametrize("kind", [0, 1, 2, 3, 4, 5, 7, -1, 2**31 - 1])
def test_loader_chosen_by_kind(kind):
    view = f.CBufferView(kind)
    samples = {0: b"raw", 1: "text", 2: bytearray(b"buf"), 3: [7, 8]}
    if kind in LOADERS:
        assert native.load(view, samples[kind]) == native.load(view, samples[kind], LOADERS[kind])
    else:  # every other number loads automatically
        assert [native.load(view, s) for s in samples.values()] == [b"raw", b"text", b"buf", b"\x07\x08"]
    assert native.view_state(view)[2] == kind


def test_constructor_conversion():
    with pytest.raises(OverflowError, match="^value too large to convert to int$"):
        f.CBufferView(2**31)
    with pytest.raises(TypeError, match="^an integer is required$"):
        f.CBufferView("4")
    assert native.view_state(f.CBufferView.__new__(f.CBufferView))[2] == 0
    # A view whose constructor never ran still loads safely (automatically).
    assert native.load(f.CBufferView.__new__(f.CBufferView), "safe") == b"safe"


def test_automatic_bytearray_load_holds_the_buffer_until_the_next_buffer_load():
    view, first, second = f.CBufferView(), bytearray(b"first"), bytearray(b"second")
    assert native.load(view, first) == b"first"
    assert native.view_state(view)[3] is True
    with pytest.raises(BufferError):
        first.extend(b"!")  # exported: cannot be resized while the view holds it
    assert native.load(view, b"bytes path") == b"bytes path"
    assert native.load(view, "str path") == b"str path"
    with pytest.raises(BufferError):
        first.extend(b"!")  # other paths leave the buffer held
    native.load(view, second)
    first.extend(b"!")  # the next buffer load released it
    del view
    second.extend(b"!")  # so does the view's end


def test_object_holder_lives_until_the_next_object_load():
    view = f.CBufferView(3)
    native.load(view, [1, 2])
    holder = native.view_state(view)[4]
    assert holder == b"\x01\x02"
    native.load(view, b"\x03", "_load_bytes")  # another path keeps it
    assert native.view_state(view)[4] is holder
    with pytest.raises(TypeError):
        native.load(view, 5)
    assert native.view_state(view)[4] is None  # a failed object load leaves no holder


def test_failed_str_load_leaves_data_null_and_size():
    view = f.CBufferView(1)
    native.load(view, "four")
    with pytest.raises(UnicodeEncodeError):
        native.load(view, "\ud800")
    is_null, size, *_ = native.view_state(view)
    assert is_null and size == 4


@pytest.mark.parametrize(
    "method, obj, entries",
    [
        ("_load_buf", 5, ["CBufferView._load_buf"]),
        ("_load_str", 5, ["CBufferView._load_str"]),
        ("_load_obj", 5, ["CBufferView._load_obj"]),
        ("_load", 5, ["CBufferView._load", "CBufferView._load_obj"]),
        ("_load", NON_CONTIGUOUS, ["CBufferView._load", "CBufferView._load_buf"]),
    ],
)
def test_failures_add_traceback_entries(method, obj, entries):
    with pytest.raises(Exception) as info:
        native.load(f.CBufferView(), obj, method)
    names = [frame.f_code.co_name for frame, _ in traceback.walk_tb(info.value.__traceback__)]
    assert [n.rpartition("ferrix.")[2] for n in names if "CBufferView" in n] == entries


def test_loads_leave_memory_flat():
    view, data = f.CBufferView(), bytearray(b"x" * 100)
    samples = [b"bytes", "str", data, [1, 2, 3]]
    for _ in range(1000):
        for s in samples:
            native.load(view, s)
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    for _ in range(25_000):
        for s in samples:
            native.load(view, s)
    after = tracemalloc.get_traced_memory()[0]
    tracemalloc.stop()
    assert after - before < 10_000
