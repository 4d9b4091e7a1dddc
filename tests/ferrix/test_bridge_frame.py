"""The bridge module's namespace, import sequence, pickling refusal and doorbell socket factory."""

import errno
import pickle
import socket
import sys
import textwrap

import pytest
from helpers import capsule_name, run_python

import zelvar.scrivo
from zelvar.utils.ferrix import ferrix as f

CAPI = {
    "obj_to_cbuf": "int (PyObject *, PyObject **, char const **, size_t *)",
    "buf_to_cbuf": "int (PyObject *, Py_buffer *, char const **, size_t *)",
    "bytes_to_cbuf": "int (PyObject *, char const **, size_t *)",
    "str_to_cbuf": "int (PyObject *, char const **, size_t *)",
}


def test_namespace():
    import asyncio

    assert f.DefaultLogger is zelvar.scrivo.DefaultLogger
    assert f.asyncio is asyncio and f.sys is sys
    assert type(f.logger) is zelvar.scrivo.DefaultLogger
    assert {name: capsule_name(c) for name, c in f.__pyx_capi__.items()} == CAPI
    assert list(f.__pyx_capi__) == list(CAPI)
    for cls in (f.NexoPipe, f.CBufferView):
        assert cls.__module__ == "zelvar.utils.ferrix.ferrix"
        assert "__pyx_vtable__" in cls.__dict__


@pytest.mark.parametrize("make", [f.NexoPipe, f.CBufferView])
def test_pickling_is_refused(make):
    obj = make()
    for action in (lambda: pickle.dumps(obj), obj.__reduce__, lambda: obj.__setstate__(None)):
        with pytest.raises(TypeError, match="^no default __reduce__ due to non-trivial __cinit__$"):
            action()


def import_with(prepare):
    code = textwrap.dedent(prepare) + "\nimport zelvar.utils.ferrix.ferrix\nprint('imported')\n"
    return run_python(code, options=("-W", "always"), text=True, timeout=60)


FAKE_RING = """
    import sys, types
    import zelvar.spsc_queue.spsc_queue as real
    fake = types.ModuleType("zelvar.spsc_queue.spsc_queue")
    sys.modules["zelvar.spsc_queue.spsc_queue"] = fake
"""


@pytest.mark.parametrize(
    "definition, outcome",
    [
        (
            "fake.SPSCQueue = type('SPSCQueue', (), {})",
            "ValueError: zelvar.spsc_queue.spsc_queue.SPSCQueue size changed",
        ),
        (
            "fake.SPSCQueue = type('SPSCQueue', (real.SPSCQueue,), {'__slots__': ('extra',)})",
            "RuntimeError: invalid vtable found for imported type",
        ),
        (
            "fake.SPSCQueue = type('SPSCQueue', (real.SPSCQueue,), {'__slots__': ('extra',), "
            "'__pyx_vtable__': real.SPSCQueue.__dict__['__pyx_vtable__']})",
            "imported",
        ),
        ("fake.SPSCQueue = 5", "TypeError"),
    ],
)
def test_ring_type_binding(definition, outcome):
    result = import_with(FAKE_RING + "    " + definition)
    assert outcome in result.stdout + result.stderr
    if outcome == "imported":
        assert "size changed, may indicate binary incompatibility" in result.stderr  # the warning


def test_missing_default_logger():
    result = import_with("import zelvar.scrivo\ndel zelvar.scrivo.DefaultLogger")
    assert "ImportError: cannot import name DefaultLogger" in result.stderr


# --- setup_socket --------------------------------------------------------------------------------


class Recorder:
    def __init__(self):
        self.lines = []

    def warn(self, text):
        self.lines.append(("warn", text))

    def debug(self, text):
        self.lines.append(("debug", text))


@pytest.fixture
def logged(monkeypatch):
    recorder = Recorder()
    monkeypatch.setattr(f, "logger", recorder)
    return recorder.lines


def fake_socket_class(force_error):
    calls = []

    class FakeSocket(socket.socket):
        def setsockopt(self, level, option, value):
            calls.append(option)
            if option == 33 and force_error is not None:
                raise force_error
            return super().setsockopt(level, option, value)

    return FakeSocket, calls


@pytest.mark.parametrize(
    "error, warning",
    [
        (
            PermissionError(errno.EPERM, "Operation not permitted"),
            "SO_RCVBUFFORCE needs CAP_NET_ADMIN (sudo or setcap). Falling back to SO_RCVBUF.",
        ),
        (
            OSError(errno.EACCES, "Permission denied"),
            "SO_RCVBUFFORCE needs CAP_NET_ADMIN (sudo or setcap). Falling back to SO_RCVBUF.",
        ),
        (
            OSError(errno.EINVAL, "Invalid argument"),
            "WARNING: SO_RCVBUFFORCE failed ([Errno 22] Invalid argument). Falling back.",
        ),
        (OSError("no errno"), "WARNING: SO_RCVBUFFORCE failed (no errno). Falling back."),
    ],
)
def test_forced_buffer_refused_falls_back(monkeypatch, logged, error, warning):
    cls, calls = fake_socket_class(error)
    monkeypatch.setattr(socket, "socket", cls)
    sock = f.setup_socket(True, 65536)
    try:
        assert calls == [33, socket.SO_RCVBUF]
        size = sock.getsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF)
        assert logged == [("warn", warning), ("debug", f"SO_RCVBUF= {size}")]
    finally:
        sock.close()


def test_forced_buffer_and_plain_paths(monkeypatch, logged):
    cls, calls = fake_socket_class(None)
    monkeypatch.setattr(socket, "socket", cls)
    sock = f.setup_socket(False, 1 << 20)
    assert calls == [33] and sock.getblocking() is False
    assert [kind for kind, _ in logged] == ["debug"]
    sock.close()

    calls.clear()
    logged.clear()
    monkeypatch.setattr(f, "sys", type("Sys", (), {"platform": "darwin"}))
    sock = f.setup_socket(True, 1 << 20)
    assert calls == [socket.SO_RCVBUF] and sock.getblocking() is True
    sock.close()

    calls.clear()
    for recvbuf in (0, -5):
        sock = f.setup_socket(True, recvbuf)
        assert calls == []
        assert logged[-1] == ("debug", f"SO_RCVBUF= {sock.getsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF)}")
        sock.close()


def test_setup_socket_errors(monkeypatch, logged):
    with pytest.raises(OverflowError, match="^value too large to convert to int$"):
        f.setup_socket(True, 2**31)
    with pytest.raises(TypeError):
        f.setup_socket(True)
    cls, _ = fake_socket_class(KeyError("not an OSError"))
    monkeypatch.setattr(socket, "socket", cls)
    with pytest.raises(KeyError):
        f.setup_socket(True, 1024)


def test_setup_socket_returns_an_unbound_datagram_socket(logged):
    sock = f.setup_socket(True, 1 << 16)
    try:
        assert sock.type == socket.SOCK_DGRAM and sock.family == socket.AF_INET
        assert sock.getsockname() == ("0.0.0.0", 0)
    finally:
        sock.close()
