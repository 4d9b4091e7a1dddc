"""What a record costs at each durability: write-through (the default: with the operating system when
the call returns), buffered (flush_interval > 0) and non-blocking, against the standard logging
package's and picologging's FileHandler (both write every record through), side by side in one
process: median of BENCH_REPEAT runs each, the contenders' runs interleaved. Then how soon an idle
non-blocking logger's record reaches the operating system (p50 / p99 of BENCH_SAMPLES records)."""

import atexit
import logging
import os
import shutil
import statistics
import sys
import tempfile
import time

from results import record

import zelvar.scrivo.scrivo as s

N = int(os.environ.get("BENCH_CALLS", "200000"))
REPEAT = int(os.environ.get("BENCH_REPEAT", "5"))
SAMPLES = int(os.environ.get("BENCH_SAMPLES", "400"))
MSG = "benchmark message"
STD_FORMAT = "[%(asctime)s.%(msecs)03d] [%(name)s] [%(levelname)s] %(message)s"
STD_DATEFMT = "%Y-%m-%d %H:%M:%S"


def timed(fn, flush):
    """(wall, calling thread's CPU) ns per call over N calls, everything written before and after."""
    flush()
    wall, cpu = time.perf_counter(), time.thread_time()
    for _ in range(N):
        fn(MSG)
    wall, cpu = time.perf_counter() - wall, time.thread_time() - cpu
    flush()
    return wall / N * 1e9, cpu / N * 1e9


def side_by_side(contenders):
    """{label: (median wall ns, median CPU ns)}, each contender's runs taking turns with the others'."""
    runs = {label: [] for label in contenders}
    for _ in range(REPEAT):
        for label, (fn, flush) in contenders.items():
            runs[label].append(timed(fn, flush))
    return {
        label: (statistics.median(w for w, _ in times), statistics.median(c for _, c in times))
        for label, times in runs.items()
    }


def stdlib_file(name, path, module=logging):
    logger = module.getLogger(name)
    logger.propagate = False
    logger.setLevel(module.DEBUG)
    handler = module.FileHandler(path)
    handler.setFormatter(module.Formatter(STD_FORMAT, STD_DATEFMT))
    logger.addHandler(handler)
    return logger.info, handler.flush


def idle_latency(path):
    """p50 and p99 microseconds from an idle non-blocking logger's call until its file has grown,
    looked at every 50 us or so."""
    log = s.Logger("idle", handlers=[s.FileHandler(path)], queue_size=1024)
    took = []
    for _ in range(SAMPLES):
        time.sleep(0.005)  # the writer has gone to sleep
        size = os.stat(path).st_size
        began = time.perf_counter()
        log.info(MSG)
        while os.stat(path).st_size == size:
            # An observer that spins keeps the core the writer is woken on (the scheduler prefers
            # the waker's) until its time slice ends: it would measure itself.
            time.sleep(0.00005)
        took.append((time.perf_counter() - began) * 1e6)
    took.sort()
    return took[len(took) // 2], took[int(len(took) * 0.99) - 1]


def main():
    tmp = tempfile.mkdtemp(prefix="zelvar-bench-")
    atexit.register(shutil.rmtree, tmp, True)
    path = lambda name: os.path.join(tmp, name)  # noqa: E731
    through = s.Logger("through", handlers=[s.FileHandler(path("through.log"))])
    buffered = s.Logger("buffered", handlers=[s.FileHandler(path("buffered.log"))], flush_interval=1)
    queued = s.Logger("queued", handlers=[s.FileHandler(path("queued.log"))], queue_size=1 << 18)
    disabled = s.Logger("disabled", level=s.Level.WARN, handlers=[s.FileHandler(path("disabled.log"))])
    contenders = {
        "Logger.info, disabled level": (disabled.info, disabled.flush),
        "Logger.info -> file, write-through (default)": (through.info, through.flush),
        "Logger.info -> file, buffered (flush_interval=1)": (buffered.info, buffered.flush),
        "Logger.info -> file, non-blocking (queue_size=262144)": (queued.info, queued.flush),
        "stdlib logging -> FileHandler (write-through)": stdlib_file("std", path("std.log")),
    }
    try:
        import picologging
    except ImportError:
        picologging = None
    if picologging:
        contenders["picologging -> FileHandler (write-through)"] = stdlib_file("pico", path("pico.log"), picologging)
    results = side_by_side(contenders)
    p50, p99 = idle_latency(path("idle.log"))

    print(f"Python {sys.version.split()[0]}, {N} calls, median of {REPEAT} runs (interleaved)\n")
    floor = results["Logger.info, disabled level"][1]
    print(f"{'call':56} {'wall ns':>8} {'CPU ns':>8} {'x disabled':>10}")
    for label, (wall, cpu) in results.items():
        print(f"{label:56} {wall:8.0f} {cpu:8.0f} {cpu / floor:9.1f}x")
    ours = results["Logger.info -> file, write-through (default)"][0]
    ratios = {
        "Logger.info to a file, write-through\nvs stdlib logging": results[
            "stdlib logging -> FileHandler (write-through)"
        ][0]
        / ours
    }
    if picologging:
        ratios["Logger.info to a file, write-through\nvs picologging"] = (
            results["picologging -> FileHandler (write-through)"][0] / ours
        )
    for label, ratio in ratios.items():
        print(f"{label.replace(chr(10), ' ')}: {ratio:.1f}x (wall)")
    print(f"idle non-blocking logger, call to the file growing: p50 {p50:.0f} us, p99 {p99:.0f} us")
    record(ratios)


if __name__ == "__main__":
    main()
