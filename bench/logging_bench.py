"""Cost per logging call: zelvar's loggers against the standard logging package (and picologging
when it is installed), side by side in one process. Prints a table of ns/call and ratios."""

import atexit
import gc
import json
import logging
import logging.handlers
import os
import queue
import resource
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import textwrap
import threading
import time
import timeit

from results import record

from zelvar import _testing
from zelvar.scrivo import StdlibHandler
from zelvar.scrivo import scrivo as s

N = int(os.environ.get("BENCH_CALLS", "200000"))
REPEAT = int(os.environ.get("BENCH_REPEAT", "5"))
# --ratios: the rows take turns in this many slices of this many calls each.
RATIO_SLICES = int(os.environ.get("BENCH_RATIO_SLICES", "41"))
RATIO_SLICE_CALLS = int(os.environ.get("BENCH_RATIO_SLICE_CALLS", "20000"))
STD_FORMAT = "[%(asctime)s.%(msecs)03d] [%(name)s] [%(levelname)s] %(message)s"
STD_DATEFMT = "%Y-%m-%d %H:%M:%S"


def per_call(fn):
    best = min(timeit.repeat(fn, number=N, repeat=REPEAT))
    return best / N * 1e9


def per_call_drained(fn, logger):
    """(wall, calling thread's CPU) ns per call, best of REPEAT; a non-blocking logger's queue holds a
    whole run and is written out before each. On a busy machine the writer (or other processes) takes
    the caller's core now and then: the CPU time is what the call itself costs its thread."""
    wall = cpu = float("inf")
    for _ in range(REPEAT):
        logger.flush()
        began, began_cpu = time.perf_counter(), time.thread_time()
        for _ in range(N):
            fn()
        wall = min(wall, time.perf_counter() - began)
        cpu = min(cpu, time.thread_time() - began_cpu)
    logger.flush()
    return wall / N * 1e9, cpu / N * 1e9


THREADS = 4


def threaded_rate(call, finish, start=lambda: None):
    """Records per second of THREADS Python threads logging N // THREADS records each, counted until
    everything is written (`finish`), best of REPEAT runs."""
    per_thread = N // THREADS
    best = 0.0
    for _ in range(REPEAT):
        start()
        workers = [
            threading.Thread(target=lambda: [call("benchmark message") for _ in range(per_thread)])
            for _ in range(THREADS)
        ]
        began = time.perf_counter()
        for w in workers:
            w.start()
        for w in workers:
            w.join()
        finish()
        best = max(best, THREADS * per_thread / (time.perf_counter() - began))
    return best


# A collector in its own process that reads and discards: a Unix datagram socket and a TCP port, so both
# contenders write into a live peer that keeps up, and neither competes with it for the interpreter lock.
DRAIN = """
import os, selectors, socket, sys, threading
path = sys.argv[1]
unix = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
unix.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 24)
unix.bind(path)
def drain_unix(buf=bytearray(1 << 16)):
    while True:
        unix.recv_into(buf)
threading.Thread(target=drain_unix, daemon=True).start()
tcp = socket.socket()
tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
tcp.bind(("127.0.0.1", 0))
tcp.listen()
sel = selectors.DefaultSelector()
sel.register(tcp, selectors.EVENT_READ)
print(tcp.getsockname()[1], flush=True)
while True:
    for key, _ in sel.select():
        if key.fileobj is tcp:
            conn, _ = tcp.accept()
            sel.register(conn, selectors.EVENT_READ)
        elif not key.fileobj.recv(1 << 20):
            sel.unregister(key.fileobj)
            key.fileobj.close()
"""


class JsonFormatter(logging.Formatter):
    """The same keys as JsonFileHandler writes, through json.dumps."""

    def format(self, record):
        return json.dumps(
            {
                "time": self.formatTime(record),
                "level": record.levelname.lower(),
                "logger": record.name,
                "message": record.getMessage(),
                "file": record.filename,
                "line": record.lineno,
                "thread": record.thread,
                "pid": record.process,
            }
        )


def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * resource.getpagesize() // 1024


def timed(call, flush, n=N):
    """(wall, calling thread's CPU) ns per call over n calls, everything written before and after."""
    flush()
    wall, cpu = time.perf_counter(), time.thread_time()
    for _ in range(n):
        call("benchmark message")
    wall, cpu = time.perf_counter() - wall, time.thread_time() - cpu
    flush()
    return wall / n * 1e9, cpu / n * 1e9


def disabled_ratios(tmp):
    """Each Logger.info row as a ratio to a disabled Logger.info (the same method: binding and the
    level test), so the machine's speed cancels: the rows take turns, and each row's ratio is the
    median over the turns of its time against the disabled call's in the same turn.
    Beside them, one write(2) of the line (os.write, its Python call included), the price a
    write-through record pays over a buffered one."""
    path = os.path.join(tmp, "ratios-%s.log")
    quiet = s.Logger("ratio-off", level=s.Level.WARN, handlers=[s.FileHandler(path % "off")])
    through = s.Logger("ratio-through", handlers=[s.FileHandler(path % "through")])
    buffered = s.Logger("ratio-buffered", handlers=[s.FileHandler(path % "buffered")], flush_interval=1.0)
    json_buffered = s.Logger("ratio-json", handlers=[s.JsonFileHandler(path % "json")], flush_interval=1.0)
    json_through = s.Logger("ratio-json-through", handlers=[s.JsonFileHandler(path % "json-through")])
    # Its queue holds a whole run, so the caller never waits: what the caller's thread pays.
    nonblocking = s.Logger("ratio-nb", handlers=[s.FileHandler(path % "nb")], queue_size=1 << 18)
    line = b"[2026-01-01 00:00:00.000] [ratio-through] [info] benchmark message\n"
    fd = os.open(path % "write", os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
    rows = {
        "disabled level": (quiet.info, quiet.flush),
        "buffered file (flush_interval=1)": (buffered.info, buffered.flush),
        "write-through file (the default)": (through.info, through.flush),
        "JsonFileHandler, buffered": (json_buffered.info, json_buffered.flush),
        "JsonFileHandler, write-through": (json_through.info, json_through.flush),
        "non-blocking, caller side": (nonblocking.info, nonblocking.flush),
        "one write(2) of the line": (lambda _: os.write(fd, line), lambda: None),
    }
    # This virtual machine's speed drifts by a third from second to second: short slices taking turns
    # many times put every row through the same drift, and the median drops the slices a switch hit.
    runs = {label: [] for label in rows}
    try:
        for _ in range(RATIO_SLICES):
            for label, (call, flush) in rows.items():
                runs[label].append(timed(call, flush, RATIO_SLICE_CALLS))
    finally:
        os.close(fd)
    medians = {label: tuple(statistics.median(t[i] for t in times) for i in (0, 1)) for label, times in runs.items()}
    off = runs["disabled level"]
    # Each slice against the disabled slice of its own turn, then the median: drift between turns cancels.
    ratios = {
        label: tuple(statistics.median(t[i] / o[i] for t, o in zip(times, off, strict=True)) for i in (0, 1))
        for label, times in runs.items()
    }
    print(f"\nLogger.info as a ratio to a disabled Logger.info (median of {RATIO_SLICES} turns, side by side):")
    print(f"  {'row':36} {'wall ns':>8} {'x off':>6} {'CPU ns':>8} {'x off':>6}")
    for label, (wall, cpu) in medians.items():
        print(f"  {label:36} {wall:8.0f} {ratios[label][0]:5.2f}x {cpu:8.0f} {ratios[label][1]:5.2f}x")
    through = medians["write-through file (the default)"][0]
    bound = medians["buffered file (flush_interval=1)"][0] + medians["one write(2) of the line"][0]
    print(f"  write-through / (buffered + one write(2)): {through / bound:.2f}")
    return medians


def main():
    if "--ratios" in sys.argv:  # only the ratios to a disabled call
        tmp = tempfile.mkdtemp(prefix="zelvar-bench-")
        atexit.register(shutil.rmtree, tmp, True)
        disabled_ratios(tmp)
        return
    tmp = tempfile.mkdtemp(prefix="zelvar-bench-")
    atexit.register(shutil.rmtree, tmp, True)  # the logs of one run reach gigabytes
    results = {}

    native = s.Logger("bench", handlers=[s.FileHandler(os.path.join(tmp, "native.log"))], set_default=True)
    results["Logger.info -> file"] = per_call(lambda: native.info("benchmark message"))
    quiet = s.Logger("bench-quiet", level=s.Level.WARN, handlers=[s.FileHandler(os.path.join(tmp, "quiet.log"))])
    results["Logger.info, disabled level"] = per_call(lambda: quiet.info("benchmark message"))
    default = s.DefaultLogger()
    results["DefaultLogger.info -> file"] = per_call(lambda: default.info("benchmark message"))
    routed = logging.getLogger("routed")
    results["logging.info via PyLogHandler"] = per_call(lambda: routed.info("benchmark message"))
    direct = logging.getLogger("routed-direct")
    direct.propagate = False
    direct.addHandler(StdlibHandler(logger=native))  # the same file, named instead of looked up
    results["logging.info via StdlibHandler(logger=)"] = per_call(lambda: direct.info("benchmark message"))

    std = logging.getLogger("std")
    std.propagate = False
    std.setLevel(logging.DEBUG)
    handler = logging.FileHandler(os.path.join(tmp, "std.log"))
    handler.setFormatter(logging.Formatter(STD_FORMAT, STD_DATEFMT))
    std.addHandler(handler)
    results["stdlib logging -> FileHandler"] = per_call(lambda: std.info("benchmark message"))

    try:
        import picologging
    except ImportError:
        picologging = None
    if picologging:
        pico = picologging.getLogger("pico")
        pico.setLevel(picologging.DEBUG)
        ph = picologging.FileHandler(os.path.join(tmp, "pico.log"))
        ph.setFormatter(picologging.Formatter(STD_FORMAT, STD_DATEFMT))
        pico.addHandler(ph)
        results["picologging -> FileHandler"] = per_call(lambda: pico.info("benchmark message"))

    jnative = s.Logger("bench-json", handlers=[s.JsonFileHandler(os.path.join(tmp, "native.jsonl"))])
    results["Logger.info -> JSON file"] = per_call(lambda: jnative.info("benchmark message"))
    jstd = logging.getLogger("std-json")
    jstd.propagate = False
    jstd.setLevel(logging.DEBUG)
    jhandler = logging.FileHandler(os.path.join(tmp, "std.jsonl"))
    jhandler.setFormatter(JsonFormatter())
    jstd.addHandler(jhandler)
    results["stdlib -> json.dumps FileHandler"] = per_call(lambda: jstd.info("benchmark message"))

    sock_path = os.path.join(tmp, "syslog.sock")
    drain = subprocess.Popen([sys.executable, "-c", textwrap.dedent(DRAIN), sock_path], stdout=subprocess.PIPE)
    try:
        port = int(drain.stdout.readline())
        for label, address, protocol, socktype in [
            ("local syslog socket", sock_path, "udp", socket.SOCK_DGRAM),
            ("TCP syslog collector", ("127.0.0.1", port), "tcp", socket.SOCK_STREAM),
        ]:
            slog = s.Logger(f"bench-syslog-{protocol}", handlers=[s.SyslogHandler(address, protocol=protocol)])
            results[f"Logger.info -> {label}"] = per_call(lambda: slog.info("benchmark message"))
            sstd = logging.getLogger(f"std-syslog-{protocol}")
            sstd.propagate = False
            sstd.setLevel(logging.DEBUG)
            sstd.addHandler(logging.handlers.SysLogHandler(address, socktype=socktype))
            results[f"stdlib SysLogHandler -> {label}"] = per_call(lambda: sstd.info("benchmark message"))
    finally:
        drain.kill()
        drain.wait()

    # Non-blocking: the caller only captures the record; the writer thread formats and writes it.
    nonblocking = s.Logger(
        "bench-nb", handlers=[s.FileHandler(os.path.join(tmp, "nonblocking.log"))], queue_size=1 << 18
    )
    caller = {
        "synchronous": per_call_drained(lambda: native.info("benchmark message"), native),
        "non-blocking": per_call_drained(lambda: nonblocking.info("benchmark message"), nonblocking),
    }
    results["Logger.info -> file, non-blocking"] = per_call(lambda: nonblocking.info("benchmark message"))
    nonblocking.flush()

    rates = {}
    sync4 = s.Logger("bench-sync4", handlers=[s.FileHandler(os.path.join(tmp, "sync4.log"))])
    rates["Logger, synchronous"] = threaded_rate(sync4.info, sync4.flush)
    nb4 = s.Logger("bench-nb4", handlers=[s.FileHandler(os.path.join(tmp, "nb4.log"))], queue_size=8192)
    rates["Logger, non-blocking"] = threaded_rate(nb4.info, nb4.flush)
    # A queue that is nearly always full: callers wait for room on every few records.
    nb16 = s.Logger("bench-nb16", handlers=[s.FileHandler(os.path.join(tmp, "nb16.log"))], queue_size=16)
    rates["Logger, non-blocking, queue_size=16"] = threaded_rate(nb16.info, nb16.flush)
    qstd = logging.getLogger("std-queue")
    qstd.propagate = False
    qstd.setLevel(logging.DEBUG)
    qfile = logging.FileHandler(os.path.join(tmp, "std-queue.log"))
    qfile.setFormatter(logging.Formatter(STD_FORMAT, STD_DATEFMT))
    records = queue.SimpleQueue()
    qstd.addHandler(logging.handlers.QueueHandler(records))
    listener = []
    rates["stdlib QueueHandler + QueueListener"] = threaded_rate(
        qstd.info,
        lambda: listener.pop().stop(),
        lambda: listener.append(logging.handlers.QueueListener(records, qfile)) or listener[-1].start(),
    )

    # The writer's own pace: two native threads keep its queue full; counted until all is written.
    sustained = s.Logger("bench-writer", handlers=[s.FileHandler(os.path.join(tmp, "writer.log"))], queue_size=65536)
    per_producer = 1_000_000
    began = time.perf_counter()
    _testing.log_from_threads(sustained, 2, per_producer, "w")
    sustained.flush()
    writer_rate = 2 * per_producer / (time.perf_counter() - began)
    began = time.perf_counter()
    _testing.log_from_threads(native, 1, per_producer, "w")
    native.flush()
    native_thread_rate = per_producer / (time.perf_counter() - began)

    noop = _testing.noop
    results["empty native call (floor)"] = per_call(lambda: noop(native, "benchmark message"))

    gc.collect()
    before = rss_kib()
    for _ in range(1_000_000):
        native.info("benchmark message")
    gc.collect()
    after = rss_kib()

    base_std = results["stdlib logging -> FileHandler"]
    floor = results["empty native call (floor)"]
    print(f"Python {sys.version.split()[0]}, {N} calls x {REPEAT} repeats (best)\n")
    print(f"{'call':34} {'ns/call':>9} {'vs stdlib':>10} {'vs floor':>9}")
    for name, ns in results.items():
        print(f"{name:34} {ns:9.0f} {base_std / ns:9.1f}x {ns / floor:8.2f}x")
    print(f"\nRSS before/after 1,000,000 enabled calls: {before} KiB / {after} KiB ({after - before:+d} KiB)")
    print("\nLogger.info -> file, wall / calling thread's CPU per call:")
    for name, (wall, cpu) in caller.items():
        print(f"  {name:14} {wall:6.0f} ns / {cpu:6.0f} ns")
    cpu_ratio = caller["non-blocking"][1] / caller["synchronous"][1]
    print(
        f"non-blocking / synchronous: wall {caller['non-blocking'][0] / caller['synchronous'][0]:.2f}x, "
        f"CPU {cpu_ratio:.2f}x"
    )
    print(f"\n{THREADS} Python threads, {N // THREADS} records each, until all is written (best of {REPEAT}):")
    for name, rate in rates.items():
        print(f"  {name:36} {rate / 1e6:6.2f} M records/s")
    small_queue = rates["Logger, non-blocking, queue_size=16"] / rates["Logger, non-blocking"]
    print(f"  queue_size=16 / queue_size=8192: {small_queue:.2f}x")
    print(
        f"one non-blocking logger's writer to a file, sustained: {writer_rate / 1e6:.2f} M records/s "
        f"(one native thread writing the same records synchronously: {native_thread_rate / 1e6:.2f} M/s)"
    )
    disabled_ratios(tmp)
    native_ns = results["Logger.info -> file"]
    ratios = {"Logger.info to a file\nvs stdlib logging": base_std / native_ns}
    if "picologging -> FileHandler" in results:
        ratios["Logger.info to a file\nvs picologging"] = results["picologging -> FileHandler"] / native_ns
    ratios["Logger.info, non-blocking\nvs synchronous (caller CPU)"] = 1 / cpu_ratio
    ratios[f"{THREADS} threads, non-blocking Logger\nvs QueueHandler+QueueListener"] = (
        rates["Logger, non-blocking"] / rates["stdlib QueueHandler + QueueListener"]
    )
    for ours, peer, label in [
        (
            "Logger.info -> JSON file",
            "stdlib -> json.dumps FileHandler",
            "Logger.info to a JSON file\nvs stdlib + json.dumps",
        ),
        (
            "Logger.info -> local syslog socket",
            "stdlib SysLogHandler -> local syslog socket",
            "Logger.info to a syslog socket\nvs stdlib SysLogHandler",
        ),
        (
            "Logger.info -> TCP syslog collector",
            "stdlib SysLogHandler -> TCP syslog collector",
            "Logger.info to a TCP collector\nvs stdlib SysLogHandler",
        ),
    ]:
        ratios[label] = results[peer] / results[ours]
        print(f"{label.replace(chr(10), ' ')}: {ratios[label]:.1f}x")
    record(ratios)


if __name__ == "__main__":
    main()
