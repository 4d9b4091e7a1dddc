"""Memory stays flat over many runs of every public path (Python objects by tracemalloc, native memory
by RSS), and every type can be made and dropped in every state without leaking memory, descriptors or
threads. Each check warms up first, so caches and allocator arenas are in place before it measures."""

import asyncio
import ctypes
import gc
import logging
import os
import pickle
import sys
import time
import tracemalloc

import pytest
from helpers import SANITIZED, open_fds

import zelvar.scrivo as z
from zelvar import _testing as native
from zelvar.scrivo import scrivo as s
from zelvar.spsc_queue.spsc_queue import SPSCQueue
from zelvar.utils.ferrix import ferrix as f

N = 100_000
# Over the 50,000 runs of a measured half, a leak of 2 bytes a run of Python memory or of 6 bytes a run
# of the C heap exceeds these. RSS is the coarse check: freed heap memory already resident hides
# small native leaks from it, the heap's own count does not.
PY_SLACK = 64 << 10
HEAP_SLACK = 256 << 10
RSS_SLACK = 1 << 20
# Under the sanitizer build the allocator is ASan's (freed blocks sit in quarantine, mallinfo counts
# nothing) and LeakSanitizer checks native memory at exit itself: the paths still run, the
# measurements step aside.


class _MallInfo2(ctypes.Structure):
    _fields_ = [
        (name, ctypes.c_size_t)
        for name in (
            "arena",
            "ordblks",
            "smblks",
            "hblks",
            "hblkhd",
            "usmblks",
            "fsmblks",
            "uordblks",
            "fordblks",
            "keepcost",
        )
    ]


_mallinfo2 = ctypes.CDLL(None).mallinfo2
_mallinfo2.restype = _MallInfo2


def heap():
    """Bytes the C allocator has handed out, in every arena, and not got back."""
    info = _mallinfo2()
    return info.uordblks + info.hblkhd


def rss():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def native_threads():
    with open("/proc/self/status") as status:
        return int(next(line for line in status if line.startswith("Threads:")).split()[1])


def assert_flat(run):
    """run(share) makes N // share runs. After a warm-up tenth, traced Python memory, the C heap and the
    resident set are read over two halves: a leak grows both, a one-off allocation of the interpreter's
    own (its collector's buffers, say) lands in one at most."""
    if SANITIZED:
        run(10)
        return
    tracemalloc.start()
    try:
        run(10)
        readings = []
        for _ in range(2):
            gc.collect()
            readings.append((tracemalloc.get_traced_memory()[0], heap(), rss()))
            run(2)
        gc.collect()
        readings.append((tracemalloc.get_traced_memory()[0], heap(), rss()))
    finally:
        tracemalloc.stop()
    traced, native, resident = (min(readings[1][k] - readings[0][k], readings[2][k] - readings[1][k]) for k in range(3))
    assert traced < PY_SLACK, f"Python memory grew by {traced} bytes over {N // 2} runs"
    assert native < HEAP_SLACK, f"the C heap grew by {native} bytes over {N // 2} runs"
    assert resident < RSS_SLACK, f"RSS grew by {resident >> 10} KiB over {N // 2} runs"


def each(body):
    """A run of body(i) over the share's iterations, for assert_flat."""

    def run(share):
        for i in range(N // share):
            body(i)

    return run


def ignore(
    fn,
    *args,
    errors=(
        TypeError,
        ValueError,
        OverflowError,
        ArithmeticError,
        BufferError,
        IndexError,
        AttributeError,
        UnicodeEncodeError,
        pickle.PickleError,
    ),
):
    try:
        fn(*args)
    except errors:
        pass


class NoInt:
    def __int__(self):
        raise ArithmeticError("no int")


class NoBytes:
    def __bytes__(self):
        raise ArithmeticError("no bytes")


@pytest.mark.skipif(SANITIZED, reason="measures nothing under the sanitizer build; a planted leak would fail it")
@pytest.mark.parametrize("leak", ["python", "native"])
def test_the_check_sees_a_leak(leak):
    kept, malloc = [], ctypes.CDLL(None).malloc
    malloc.restype = ctypes.c_void_p
    with pytest.raises(AssertionError):
        assert_flat(each(lambda i: kept.append(object()) if leak == "python" else malloc(64)))


HANDLERS = [
    s.LogHandler,
    s.StdoutHandler,
    s.StderrHandler,
    s.BasicConsoleHandler,
    s.ConsoleHandler,
    s.FileHandler,
    s.RotatingFileHandler,
]


@pytest.mark.slow
def test_handlers_and_colour_schemes():
    def body(i):
        cls = HANDLERS[i % len(HANDLERS)]
        h = cls("leak.log") if cls in (s.FileHandler, s.RotatingFileHandler) else cls(True, "p\0q")
        h.level, h.pattern = i % 7, "x" * (i % 50)
        for name, bad in (("level", NoInt()), ("pattern", b"bytes"), ("level", 2**40)):
            ignore(setattr, h, name, bad)
        ignore(pickle.loads(pickle.dumps(h)).__setstate__, (True,))  # color changes, then IndexError
        ignore(s.__pyx_unpickle_LogHandler, cls, 1, None)
        scheme = s.ColorScheme(i % 256, -1, 2)
        ignore(scheme.__init__, 1, 2, NoInt())
        pickle.loads(pickle.dumps(scheme))

    assert_flat(each(body))


@pytest.mark.slow
def test_json_daily_and_syslog_handlers(tmp_path):
    def body(i):
        handlers = [
            s.JsonFileHandler(str(tmp_path / "leak.jsonl"), max_size=i % 2 * 4096, max_files=2),
            s.DailyFileHandler(str(tmp_path / "leak.log"), i % 24, i % 60, max_files=3),
            s.SyslogHandler(str(tmp_path / "no.sock") if i % 2 else ("127.0.0.1", 9), "local1", "x" * (i % 9)),
        ]
        for h in handlers:
            pickle.loads(pickle.dumps(h))
            ignore(h.__init__, "f", "nope") if isinstance(h, s.SyslogHandler) else ignore(h.__init__, b"f")
        handlers[2].address = ("host", i)
        handlers[2].address = str(tmp_path / "no.sock")
        ignore(setattr, handlers[2], "address", ["bad"])
        if i % 10 == 0:  # building a logger opens files and sockets: every tenth run keeps the test short
            s.Logger(f"leak-new-{i % 3}", handlers=handlers).info("x" * (i % 100))

    assert_flat(each(body))


class SelfBound(s.Logger):
    """Holds a logger bound to itself: a cycle only the collector can free."""


@pytest.mark.slow
def test_loggers_and_log_methods(tmp_path):
    file_logger = s.Logger("leak-file", handlers=[s.FileHandler(str(tmp_path / "leak.log"))])
    quiet = s.Logger("leak-quiet", level=s.Level.OFF)
    stdlib = logging.getLogger("zelvar-leak-check")
    stdlib.propagate = False
    stdlib.setLevel(1)
    stdlib.addHandler(s.PyLogHandler(1))  # records below INFO: assembled and mapped, not written
    stdlib.addHandler(z.StdlibHandler(1, logger=quiet))  # routed to a logger that writes nothing

    def body(i):
        if i % 5 == 0:
            s.Logger(
                "leak",
                level=s.Level.OFF,
                handlers=[s.StderrHandler(), s.ConsoleHandler()],
                color_scheme=s.ColorScheme(),
            )
        elif i % 5 == 1:  # refused at the second entry, once the first sink exists
            ignore(s.Logger, "leak", 0, None, [s.StdoutHandler(), object()])
        elif i % 5 == 2:
            file_logger.warn(f"message {i}\0cut", 31, 44, 1)
            with z.log_context(n=i, obj=[i]):  # context and bound fields, merged, then refused ones
                file_logger.bind(user=f"u{i}", n=-i).bind(f=i / 3).info("fields")
            ignore(lambda: file_logger.bind(level=i))
            own = SelfBound("leak-self-bound", level=s.Level.OFF)
            own.bound = own.bind(n=i).bind(m=i)
        elif i % 5 == 3:
            ignore(quiet.info, None)
            ignore(quiet.info, "\ud800")
            quiet.level = quiet.level
            ignore(setattr, quiet, "level", "OFF")
        else:
            try:
                raise ValueError("boom")
            except ValueError:
                stdlib.debug("record %d", i, exc_info=True, stack_info=i % 2 == 0)

    try:
        assert_flat(each(body))
    finally:
        stdlib.handlers.clear()
    assert os.path.getsize(tmp_path / "leak.log") > 0


def test_conversions_and_buffer_views():
    samples = [
        b"bytes",
        "téxt",
        bytearray(b"array"),
        memoryview(b"view"),
        (ctypes.c_ubyte * 3)(1, 2, 3),
        [1, 2, 3],
        "\ud800",
        memoryview(bytes(8))[::2],
        NoBytes(),
        5,
    ]

    def body(i):
        obj = samples[i % len(samples)]
        if i % 6 or isinstance(obj, bytes):  # kind 0 is for bytes only
            ignore(native.load, f.CBufferView(i % 6), obj)
        ignore(native.load, f.CBufferView(), obj)
        ignore(native.convert, 1 + i % 3, obj)

    assert_flat(each(body))


def test_rings_and_pipes():
    messages = [b"", b"x" * 8, bytearray(b"abc"), (ctypes.c_ubyte * 9)(), "text", memoryview(bytes(8))[::2]]

    def body(i):
        q = SPSCQueue(8, 4, overwrite=i % 2 == 0)
        ignore(q.try_push, messages[i % len(messages)])
        q.try_pop()
        if i % 4 == 0:
            q.close()
        pipe = f.NexoPipe(capacity=4, slot_size=8, variable_size=i % 2 == 1)
        native.pipe_call(pipe, "push_var" if i % 2 else "push", b"m")
        ignore(pipe.__init__, -1)

    assert_flat(each(body))


@pytest.mark.slow
def test_async_queue_paths():
    async def consume(msg):
        pass

    async def many(q, count):
        for i in range(count):
            await q.push_str("é" * (i % 8))
            await q.push_buf(bytearray(b"buf"))
            for bad, push in ((5, q.push_obj), ("\ud800", q.push_str), (memoryview(bytes(8))[::2], q.push_buf)):
                try:
                    await push(bad)
                except (TypeError, UnicodeEncodeError, BufferError):
                    pass
            assert (await q.pop(), await q.pop()) == (("é" * (i % 8)).encode(), b"buf")
            if i % 100 == 0:  # a dispatcher started, fed and shut down; a pickle round trip
                other = f.AsyncQueue(slot_size=16, capacity=8)
                other.start_dispatcher(consume)
                await other.push_obj([1, 2])
                await other.shutdown()
                pickle.loads(pickle.dumps(f.AsyncQueue.__new__(f.AsyncQueue)))

    loop = asyncio.new_event_loop()
    try:
        q = f.AsyncQueue(loop=loop, slot_size=16, capacity=8)
        assert_flat(lambda share: loop.run_until_complete(many(q, N // share)))
    finally:
        loop.close()


@pytest.mark.slow
@pytest.mark.parametrize("kind", ["doorbell", "ring", "async"])
def test_dispatcher_deliveries(kind):
    count = [0]

    def callback(msg):
        count[0] += 1

    async def acallback(msg):
        count[0] += 1

    fds = open_fds()
    loop = asyncio.new_event_loop()
    if kind == "async":
        d = f.AsyncDispatcher(acallback, capacity=1024, slot_size=128)
        loop.run_until_complete(set_up(d))

        async def deliver(n):
            target = count[0] + n
            await loop.run_in_executor(None, native.flood, d, n, 64)
            while count[0] < target:
                await asyncio.sleep(0.001)

        run = lambda share: loop.run_until_complete(deliver(N // share))  # noqa: E731
    else:
        d = f.SyncDispatcher(callback, capacity=1024, slot_size=128, detach=False, nonblocking=kind == "doorbell")
        d.setup()

        def run(share):
            target, deadline = count[0] + N // share, time.monotonic() + 30
            native.flood(d, N // share, 64)
            while count[0] < target and time.monotonic() < deadline:
                time.sleep(0.001)

    try:
        assert_flat(run)
    finally:
        d.close()
        loop.run_until_complete(asyncio.sleep(0.01))  # the reader's cancellation, scheduled by close
        loop.close()
    assert count[0] == N // 10 + (0 if SANITIZED else N)  # the warm-up, then both measured halves
    assert open_fds() == fds


async def set_up(d):  # an AsyncDispatcher sets up on the running loop
    d.setup()


@pytest.mark.slow
def test_dispatchers_and_queues_dropped_in_every_state(monkeypatch):
    monkeypatch.setattr(sys, "unraisablehook", lambda unraisable: None)  # the dead consumers' reports
    # ... and the dead readers' "Task exception was never retrieved", which the test run's log
    # capture would otherwise keep, and count as heap growth.
    monkeypatch.setattr(logging.getLogger("asyncio"), "disabled", True)

    def raising(msg):
        raise ValueError("consumer ends here")

    def sync_state(i):
        state = i % 6
        d = f.SyncDispatcher(
            raising if state == 5 else len, capacity=4, slot_size=8, detach=state != 2, nonblocking=state != 3
        )
        if state:
            d.setup()  # states 1-3: dropped while running (detached doorbell, attached doorbell, ring mode)
        if state == 4:
            d.close()
            d.close()
        if state == 5:  # consumer dead after a raising callback; a later push stays in the ring
            native.push(d, b"kills the consumer")
            time.sleep(0.0005)
            native.push(d, b"stays")

    async def async_states(count):
        async def fail(msg):
            raise ValueError("reader ends here")

        for i in range(count):
            state = i % 3  # never set up; set up and closed; reader dead after a raising callback
            d = f.AsyncDispatcher(fail if state == 2 else len, capacity=4, slot_size=8)
            if state:
                d.setup()
                await asyncio.sleep(0)
            if state == 2:
                native.push(d, b"x")
                await asyncio.sleep(0.001)
            if state != 2 or i % 2:
                d.close()
            del d
            q = f.AsyncQueue(slot_size=8, capacity=4)
            if i % 2:  # dispatcher task dead after a raising callback
                q.start_dispatcher(fail)
                assert await q.push_str("ends") is True
                task = q.__reduce__()[2][6]
                while not task.done():
                    await asyncio.sleep(0)
                with pytest.raises(ValueError):
                    await q.shutdown()

    threads, fds = native_threads(), open_fds()
    for i in range(600):  # warm-up
        sync_state(i)
    asyncio.run(async_states(150))
    resident, native_heap = rss(), heap()
    for i in range(6000):
        sync_state(i)
    asyncio.run(async_states(1500))
    deadline = time.monotonic() + 10  # detached consumers end on their own, soon after the drop
    while native_threads() > threads and time.monotonic() < deadline:
        time.sleep(0.01)
    gc.collect()
    # At most as many as before: a thread left by an earlier test may end meanwhile, while a leak here
    # would leave thousands.
    assert native_threads() <= threads, "consumer threads outlived their dispatchers"
    assert open_fds() <= fds, "doorbell sockets were left open"
    assert SANITIZED or (heap() - native_heap < HEAP_SLACK and rss() - resident < RSS_SLACK)


def test_interpreter_exit_with_every_type_in_every_state(child):
    proc = child("""
        import sys
        from zelvar.scrivo import scrivo as s
        from zelvar.spsc_queue.spsc_queue import SPSCQueue
        from zelvar.utils.ferrix import ferrix as f
        from zelvar import _testing as native

        sys.unraisablehook = lambda u: None
        kept = [s.LogHandler(), s.RotatingFileHandler("x"), s.ColorScheme(), s.DefaultLogger(), SPSCQueue(8, 2),
                s.Logger("child", level=s.Level.OFF), f.NexoPipe.__new__(f.NexoPipe), f.NexoPipe(4, 8),
                f.CBufferView(), f.AsyncQueue.__new__(f.AsyncQueue), f.AsyncQueue(loop=object()),
                f.SyncDispatcher.__new__(f.SyncDispatcher), f.AsyncDispatcher.__new__(f.AsyncDispatcher),
                f.AsyncDispatcher(print, 4, 8)]
        running = [f.SyncDispatcher(print, 4, 8), f.SyncDispatcher(print, 4, 8, detach=False),
                   f.SyncDispatcher(print, 4, 8, nonblocking=False), f.SyncDispatcher(lambda m: 1 / 0, 4, 8)]
        for d in running:
            d.setup()
        native.push(running[3], b"ends its consumer")
        native.push(running[1], b"delivered or dropped at exit")
        print("exiting")
    """)
    assert proc.stdout.startswith(b"exiting") and b"Fatal" not in proc.stderr
