"""What records seen from Python cost: a plain call, the same call with a capture active, with a filter
that keeps everything, and a logger without a filter while another one has one, side by side in one
process (median of BENCH_REPEAT runs each, the contenders' runs interleaved). The filter's own Python
call (the same function called with a record dict, from Python) is timed with them.

With BENCH_BASELINE_PYTHON set to another build's interpreter, the plain Logger.info to a buffered file
is also timed in that interpreter and in this one, alternately, each in a child process of its own."""

import atexit
import os
import shutil
import statistics
import sys
import tempfile
import timeit

from baseline import add_baseline_ratio

import zelvar.scrivo as z

N = int(os.environ.get("BENCH_CALLS", "200000"))
REPEAT = int(os.environ.get("BENCH_REPEAT", "5"))
MSG = "benchmark message"
CHUNK = 1000  # calls per capture


def side_by_side(contenders, number):
    """{label: median ns per call}, each contender's runs taking turns with the others'. A contender is
    a call, or (call, context) for a call timed inside `context()`, a fresh one for every CHUNK calls
    (as a test's capture holds a test's records, not a whole run's)."""
    runs = {label: [] for label in contenders}
    for _ in range(REPEAT):
        for label, fn in contenders.items():
            if not isinstance(fn, tuple):
                runs[label].append(timeit.timeit(fn, number=number) / number * 1e9)
                continue
            fn, context = fn
            total = 0.0
            for _ in range(max(1, number // CHUNK)):
                with context():
                    total += timeit.timeit(fn, number=CHUNK)
            runs[label].append(total / (max(1, number // CHUNK) * CHUNK) * 1e9)
    return {label: statistics.median(times) for label, times in runs.items()}


def keep(record):
    return True


def main():
    tmp = tempfile.mkdtemp(prefix="zelvar-bench-")
    atexit.register(shutil.rmtree, tmp, True)

    def file_logger(name, **kwargs):  # buffered: the call is timed, not the disk
        return z.Logger(name, handlers=[z.FileHandler(os.path.join(tmp, f"{name}.log"))], flush_interval=600, **kwargs)

    plain = file_logger("bench-plain")
    results = side_by_side(
        {
            "Logger.info -> file": lambda: plain.info(MSG),
            "Logger.info -> file, capture active": (lambda: plain.info(MSG), z.capture_records),
        },
        N,
    )
    with z.capture_records() as records:
        plain.info(MSG)
    sample = records[0]
    filtered = file_logger("bench-filtered", filter=keep)  # from here on a filter exists in the process
    results.update(
        side_by_side(
            {
                "Logger.info -> file, another logger filtered": lambda: plain.info(MSG),
                "Logger.info -> file, filter keeps all": lambda: filtered.info(MSG),
                "the filter's own call, keep(record)": lambda: keep(sample),
            },
            N,
        )
    )
    for lg in (plain, filtered):
        lg.flush()

    print(f"Python {sys.version.split()[0]}, {N} calls (captures of {CHUNK}), median of {REPEAT}\n")
    for label, ns in results.items():
        print(f"{label:48} {ns:7.0f} ns/call")
    base = results["Logger.info -> file"]
    filter_call = results["the filter's own call, keep(record)"]
    extra = results["Logger.info -> file, filter keeps all"] - results["Logger.info -> file, another logger filtered"]
    ratios = {
        "capture active / plain (<= 3)": results["Logger.info -> file, capture active"] / base,
        "filter keeps all / (plain + filter's call) (<= 1.2)": results["Logger.info -> file, filter keeps all"]
        / (results["Logger.info -> file, another logger filtered"] + filter_call),
        "filter's added cost / filter's own call": extra / filter_call,
        "no filter, another logger filtered / plain": results["Logger.info -> file, another logger filtered"] / base,
    }
    add_baseline_ratio(ratios, N, REPEAT)
    print()
    for label, ratio in ratios.items():
        print(f"{label:64} {ratio:5.2f}x")


if __name__ == "__main__":
    main()
