"""The plain Logger.info to a buffered file timed in this interpreter and in another build's
(BENCH_BASELINE_PYTHON), alternately, each run in a child process of its own: what the benchmarks
that add a feature compare to say the plain call did not get slower."""

import os
import statistics
import subprocess
import sys
import textwrap

PLAIN = """
import os, sys, tempfile, timeit
import zelvar.scrivo.scrivo as s
path = os.path.join(tempfile.mkdtemp(prefix="zelvar-bench-"), "plain.log")
try:  # buffered in both builds: a build from before write-through knows no flush_interval and buffers
    lg = s.Logger("bench", handlers=[s.FileHandler(path)], flush_interval=600)
except TypeError:
    lg = s.Logger("bench", handlers=[s.FileHandler(path)])
print(timeit.timeit(lambda: lg.info("benchmark message"), number=int(sys.argv[1])) / int(sys.argv[1]) * 1e9)
os.remove(path)
"""


def against_baseline(baseline, calls, repeat):
    """Median ns per Logger.info to a buffered file in this interpreter and in `baseline`, runs alternating."""
    runs = {sys.executable: [], baseline: []}
    for _ in range(repeat):
        for python in runs:
            out = subprocess.run([python, "-c", textwrap.dedent(PLAIN), str(calls)], capture_output=True, check=True)
            runs[python].append(float(out.stdout))
    return statistics.median(runs[sys.executable]), statistics.median(runs[baseline])


def add_baseline_ratio(ratios, calls, repeat):
    """With BENCH_BASELINE_PYTHON set, prints both builds' plain call and adds their ratio to `ratios`."""
    baseline = os.environ.get("BENCH_BASELINE_PYTHON")
    if not baseline:
        return
    ours, theirs = against_baseline(baseline, calls, repeat)
    print(f"\nLogger.info -> buffered file: this build {ours:.0f} ns, {baseline}: {theirs:.0f} ns")
    ratios["Logger.info to a buffered file, this build / baseline (<= 1.02)"] = ours / theirs
