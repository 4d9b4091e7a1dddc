"""JSON lines to standard output against JSON lines to a file: JsonStdoutHandler writing into a pipe
that another process drains, and JsonFileHandler writing to a file, both synchronous and writing
every record through, side by side in one process (median of BENCH_REPEAT runs each, the
contenders' runs taking turns).

Two more pairs tell the sink's own cost from the kernel's: JsonStdoutHandler with standard output a
file, and a bare os.write of one such line to the same pipe and to a file. A write into a pipe whose
reader sleeps also wakes the reader: back-to-back os.write calls mostly find it still reading, a
logging call between two writes gives it time to fall asleep again."""

import atexit
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import timeit

import zelvar.scrivo as z

N = int(os.environ.get("BENCH_CALLS", "200000"))
REPEAT = int(os.environ.get("BENCH_REPEAT", "5"))
MSG = "benchmark message"


def side_by_side(contenders):
    """{label: median ns per call}, each contender's runs taking turns with the others'."""
    runs = {label: [] for label in contenders}
    for _ in range(REPEAT):
        for label, fn in contenders.items():
            before = fn.__dict__.get("before")
            if before:
                before()
            runs[label].append(timeit.timeit(fn, number=N) / N * 1e9)
    return {label: statistics.median(times) for label, times in runs.items()}


def on_stdout(fd, fn):
    """`fn`, run with standard output pointed at `fd`."""

    def run():
        fn()

    run.before = lambda: os.dup2(fd, 1)
    return run


def main():
    tmp = tempfile.mkdtemp(prefix="zelvar-bench-")
    atexit.register(shutil.rmtree, tmp, True)
    report = os.fdopen(os.dup(1), "w")  # standard output itself is under test
    reader = subprocess.Popen(["cat"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
    pipe = reader.stdin.fileno()
    stdout_file = os.open(os.path.join(tmp, "stdout.jsonl"), os.O_WRONLY | os.O_CREAT | os.O_APPEND)
    raw_file = os.open(os.path.join(tmp, "raw.jsonl"), os.O_WRONLY | os.O_CREAT | os.O_APPEND)

    to_stdout = z.Logger("bench-stdout", handlers=[z.JsonStdoutHandler()])
    to_file = z.Logger("bench-file", handlers=[z.JsonFileHandler(os.path.join(tmp, "file.jsonl"))])
    line = (
        b'{"time":"2026-01-01T00:00:00.000000Z","level":"info","logger":"bench-stdout","message":"benchmark message",'
        b'"file":"json_console_bench.py","line":70,"thread":1000,"pid":1000}\n'
    )
    results = side_by_side(
        {
            "JsonStdoutHandler -> pipe": on_stdout(pipe, lambda: to_stdout.info(MSG)),
            "JsonFileHandler -> file": lambda: to_file.info(MSG),
            "JsonStdoutHandler -> file": on_stdout(stdout_file, lambda: to_stdout.info(MSG)),
            "os.write(line) -> pipe": lambda: os.write(pipe, line),
            "os.write(line) -> file": lambda: os.write(raw_file, line),
        }
    )
    os.dup2(report.fileno(), 1)
    reader.stdin.close()
    reader.wait()

    print(f"Python {sys.version.split()[0]}, {N} calls, median of {REPEAT}\n", file=report)
    for label, ns in results.items():
        print(f"{label:30} {ns:7.0f} ns/call", file=report)
    ratios = {
        "JSON to a stdout pipe / to a file (<= 1.2)": results["JsonStdoutHandler -> pipe"]
        / results["JsonFileHandler -> file"],
        "the sinks alone, stdout a file / file": results["JsonStdoutHandler -> file"]
        / results["JsonFileHandler -> file"],
        "the kernel alone, a line to the pipe / file": results["os.write(line) -> pipe"]
        / results["os.write(line) -> file"],
    }
    print(file=report)
    for label, ratio in ratios.items():
        print(f"{label:44} {ratio:5.2f}x", file=report)


if __name__ == "__main__":
    main()
