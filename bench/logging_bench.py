"""Cost per logging call: zelvar's loggers against the standard logging package (and picologging
when it is installed), side by side in one process. Prints a table of ns/call and ratios."""
import gc
import logging
import os
import resource
import sys
import tempfile
import timeit

from results import record
from zelvar import _testing
from zelvar.scrivo import scrivo as s

N = int(os.environ.get("BENCH_CALLS", "200000"))
REPEAT = int(os.environ.get("BENCH_REPEAT", "5"))
STD_FORMAT = "[%(asctime)s.%(msecs)03d] [%(name)s] [%(levelname)s] %(message)s"
STD_DATEFMT = "%Y-%m-%d %H:%M:%S"


def per_call(fn):
    best = min(timeit.repeat(fn, number=N, repeat=REPEAT))
    return best / N * 1e9


def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * resource.getpagesize() // 1024


def main():
    tmp = tempfile.mkdtemp(prefix="zelvar-bench-")
    results = {}

    native = s.Logger("bench", handlers=[s.FileHandler(os.path.join(tmp, "native.log"))], set_default=True)
    results["Logger.info -> file"] = per_call(lambda: native.info("benchmark message"))
    quiet = s.Logger("bench-quiet", level=s.Level.WARN, handlers=[s.FileHandler(os.path.join(tmp, "quiet.log"))])
    results["Logger.info, disabled level"] = per_call(lambda: quiet.info("benchmark message"))
    default = s.DefaultLogger()
    results["DefaultLogger.info -> file"] = per_call(lambda: default.info("benchmark message"))
    routed = logging.getLogger("routed")
    results["logging.info via PyLogHandler"] = per_call(lambda: routed.info("benchmark message"))

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
    native_ns = results["Logger.info -> file"]
    ratios = {"Logger.info to a file\nvs stdlib logging": base_std / native_ns}
    if "picologging -> FileHandler" in results:
        ratios["Logger.info to a file\nvs picologging"] = results["picologging -> FileHandler"] / native_ns
    record(ratios)


if __name__ == "__main__":
    main()
