"""What fields cost: a bound logger's calls and a JSON record with fields against the plain calls, side
by side in one process (median of BENCH_REPEAT runs each, the contenders' runs interleaved).

With BENCH_BASELINE_PYTHON set to another build's interpreter, the plain Logger.info to a file is also
timed in that interpreter and in this one, alternately, each in a child process of its own; with
BENCH_FLUSH_INTERVAL set, that logger's flush_interval (e.g. 1: buffered, so the formatting is not
hidden behind a write(2) per record)."""

import atexit
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import textwrap
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
            runs[label].append(timeit.timeit(fn, number=N) / N * 1e9)
    return {label: statistics.median(times) for label, times in runs.items()}


PLAIN = """
import os, sys, tempfile, timeit
import zelvar.scrivo.scrivo as s
path = os.path.join(tempfile.mkdtemp(prefix="zelvar-bench-"), "plain.log")
interval = os.environ.get("BENCH_FLUSH_INTERVAL")
options = {"flush_interval": float(interval)} if interval else {}
lg = s.Logger("bench", handlers=[s.FileHandler(path)], **options)
print(timeit.timeit(lambda: lg.info("benchmark message"), number=int(sys.argv[1])) / int(sys.argv[1]) * 1e9)
os.remove(path)
"""


def against_baseline(baseline):
    """Median ns per Logger.info to a file in this interpreter and in `baseline`, runs alternating."""
    runs = {sys.executable: [], baseline: []}
    for _ in range(REPEAT):
        for python in runs:
            out = subprocess.run([python, "-c", textwrap.dedent(PLAIN), str(N)], capture_output=True, check=True)
            runs[python].append(float(out.stdout))
    return statistics.median(runs[sys.executable]), statistics.median(runs[baseline])


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
        }
    )
    with z.log_context(request="r-1", user="ann", attempt=3):
        results.update(
            side_by_side(
                {
                    "Logger.info in log_context (3) -> JSON": lambda: json_log.info(MSG),
                    "Logger.info in log_context (3) -> file": lambda: text.info(MSG),
                }
            )
        )
    for lg in (text, quiet, json_log):
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
    }
    baseline = os.environ.get("BENCH_BASELINE_PYTHON")
    if baseline:
        ours, theirs = against_baseline(baseline)
        print(f"\nLogger.info -> file: this build {ours:.0f} ns, {baseline}: {theirs:.0f} ns")
        ratios["Logger.info to a file, this build / baseline (<= 1.05)"] = ours / theirs
    print()
    for label, ratio in ratios.items():
        print(f"{label:58} {ratio:5.2f}x")


if __name__ == "__main__":
    main()
