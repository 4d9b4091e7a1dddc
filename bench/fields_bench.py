"""What fields cost: a bound logger's calls, a call's own fields and a JSON record with fields against
the plain calls, and a record with an exception into JSON against the standard library's
logging.exception with a JSON formatter, side by side in one process (median of BENCH_REPEAT runs
each, the contenders' runs interleaved).

With BENCH_BASELINE_PYTHON set to another build's interpreter, the plain Logger.info to a buffered file
is also timed in that interpreter and in this one, alternately, each in a child process of its own."""

import atexit
import json
import logging
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


def side_by_side(contenders, number=N):
    """{label: median ns per call}, each contender's runs taking turns with the others'."""
    runs = {label: [] for label in contenders}
    for _ in range(REPEAT):
        for label, fn in contenders.items():
            runs[label].append(timeit.timeit(fn, number=number) / number * 1e9)
    return {label: statistics.median(times) for label, times in runs.items()}


class StdlibJsonFormatter(logging.Formatter):
    """The usual JSON formatter of the standard package: the record's keys and its exception as data."""

    def format(self, record):
        out = {
            "time": self.formatTime(record),
            "level": record.levelname,
            "logger": record.name,
            "message": record.getMessage(),
            "file": record.filename,
            "line": record.lineno,
            "thread": record.thread,
            "pid": record.process,
        }
        if record.exc_info:
            out["exception"] = {
                "type": record.exc_info[0].__qualname__,
                "message": str(record.exc_info[1]),
                "traceback": self.formatException(record.exc_info) + "\n",
            }
        return json.dumps(out)


def failing():
    raise KeyError("missing")


def exception_contenders(tmp):
    """zelvar's and the standard library's exception() to a JSON file, each inside the same except block."""
    ours = z.Logger("bench-exc", handlers=[z.JsonFileHandler(os.path.join(tmp, "exc.jsonl"))])
    theirs = logging.getLogger("bench-exc-stdlib")
    theirs.propagate = False
    handler = logging.FileHandler(os.path.join(tmp, "exc-stdlib.jsonl"))
    handler.setFormatter(StdlibJsonFormatter())
    theirs.addHandler(handler)

    def in_except(log):
        def call():
            try:
                failing()
            except KeyError:
                log.exception(MSG)

        return call

    return ours, {"Logger.exception -> JSON file": in_except(ours), "stdlib exception -> JSON": in_except(theirs)}


def main():
    tmp = tempfile.mkdtemp(prefix="zelvar-bench-")
    atexit.register(shutil.rmtree, tmp, True)
    text = z.Logger("bench", handlers=[z.FileHandler(os.path.join(tmp, "text.log"))])
    quiet = z.Logger("bench-quiet", level=z.Level.WARN, handlers=[z.FileHandler(os.path.join(tmp, "quiet.log"))])
    json_log = z.Logger("bench-json", handlers=[z.JsonFileHandler(os.path.join(tmp, "fields.jsonl"))])
    bound, quiet_bound = text.bind(request="r-1", user="ann", attempt=3), quiet.bind(request="r-1")
    json_bound = json_log.bind(request="r-1", user="ann", attempt=3)
    results = side_by_side(
        {
            "Logger.info -> file": lambda: text.info(MSG),
            "bound.info -> file": lambda: bound.info(MSG),
            "Logger.info, disabled level": lambda: quiet.info(MSG),
            "bound.info, disabled level": lambda: quiet_bound.info(MSG),
            "Logger.info -> JSON file": lambda: json_log.info(MSG),
            "bound.info (3 fields) -> JSON file": lambda: json_bound.info(MSG),
            "Logger.info, 2 call fields -> file": lambda: text.info(MSG, status=200, user="ann"),
            "Logger.info, 2 call fields -> JSON file": lambda: json_log.info(MSG, status=200, user="ann"),
            "Logger.info, 2 call fields, disabled": lambda: quiet.info(MSG, status=200, user="ann"),
        }
    )
    exc_logger, exc_contenders = exception_contenders(tmp)
    results.update(side_by_side(exc_contenders, max(1, N // 20)))  # a traceback costs 100x a call
    with z.log_context(request="r-1", user="ann", attempt=3):
        results.update(
            side_by_side(
                {
                    "Logger.info in log_context (3) -> JSON": lambda: json_log.info(MSG),
                    "Logger.info in log_context (3) -> file": lambda: text.info(MSG),
                }
            )
        )
    for lg in (text, quiet, json_log, exc_logger):
        lg.flush()

    print(f"Python {sys.version.split()[0]}, {N} calls, median of {REPEAT}\n")
    for label, ns in results.items():
        print(f"{label:40} {ns:7.0f} ns/call")
    ratios = {
        "bound / plain, enabled to a file (<= 1.25)": results["bound.info -> file"] / results["Logger.info -> file"],
        "bound / plain, disabled level (<= 1.1)": results["bound.info, disabled level"]
        / results["Logger.info, disabled level"],
        "JSON 3 fields / none (<= 1.5)": results["bound.info (3 fields) -> JSON file"]
        / results["Logger.info -> JSON file"],
        "2 call fields / none, to a file (<= 1.3)": results["Logger.info, 2 call fields -> file"]
        / results["Logger.info -> file"],
        "2 call fields / none, to JSON (<= 1.3)": results["Logger.info, 2 call fields -> JSON file"]
        / results["Logger.info -> JSON file"],
        "stdlib exception / ours, into JSON (>= 5)": results["stdlib exception -> JSON"]
        / results["Logger.exception -> JSON file"],
    }
    add_baseline_ratio(ratios, N, REPEAT)
    print()
    for label, ratio in ratios.items():
        print(f"{label:58} {ratio:5.2f}x")


if __name__ == "__main__":
    main()
