"""Instructions per logging call, counted by callgrind: each scenario runs in its own interpreter under
valgrind at two call counts, and the difference of the totals divided by the difference of the counts
cancels the start-up. Counts do not depend on the machine's load, so two builds compare exactly.

    PYTHONHASHSEED=0 python bench/instructions_bench.py [scenario ...]

Only the main thread's instructions are counted (the writer of a non-blocking logger runs on its own).
Prints one line per scenario; the ratios of the stacklevel rows are against the default rule's row,
that of the nonblocking row against the disabled row when both ran."""

import os
import re
import subprocess
import sys
import tempfile
import textwrap

N1 = int(os.environ.get("BENCH_N1", "2000"))
N2 = int(os.environ.get("BENCH_N2", "12000"))

SETUP = {
    # No location printed: the walk is skipped.
    "plain": "lg = s.Logger('b', handlers=[s.FileHandler(PATH, pattern='%v')])\ncall = lambda: lg.info('x')",
    # The level test alone: the unit the ratios of logging_bench.py --ratios are given in.
    "disabled": "lg = s.Logger('b', level=s.Level.WARN, handlers=[s.FileHandler(PATH, pattern='%v')])\n"
    "call = lambda: lg.info('x')",
    # The caller's side of a non-blocking logger whose queue never fills (the writer's thread is not
    # counted; see CALLER_ONLY).
    "nonblocking": "lg = s.Logger('b', handlers=[s.FileHandler(PATH, pattern='%v')], queue_size=1 << 15)\n"
    "call = lambda: lg.info('x')",
    # A file sink whose pattern prints the caller's file and line: the frame walk runs on every call.
    "location": "lg = s.Logger('b', handlers=[s.FileHandler(PATH, pattern='%s:%# %v')])\ncall = lambda: lg.info('x')",
    "location_stacklevel1": "lg = s.Logger('b', handlers=[s.FileHandler(PATH, pattern='%s:%# %v')], stacklevel=1)\n"
    "call = lambda: lg.info('x')",
    # The standard package's call after the takeover, with and without a location printed.
    "stdlib": "s.Logger('b', handlers=[s.FileHandler(PATH, pattern='%v')], set_default=True)\n"
    "call = lambda: logging.info('x')",
    "stdlib_location": "s.Logger('b', handlers=[s.FileHandler(PATH, pattern='%s:%# %v')], set_default=True)\n"
    "call = lambda: logging.info('x')",
}

SCRIPT = """
import logging, sys
from zelvar.scrivo import scrivo as s
PATH = sys.argv[1]
{setup}
def run(n):
    for _ in range(n):
        call()
run(int(sys.argv[2]))
"""


def total_instructions(setup, n, workdir):
    out = os.path.join(workdir, f"cg.{n}")
    script = os.path.join(workdir, "scenario.py")
    with open(script, "w") as f:
        f.write(SCRIPT.format(setup=setup))
    subprocess.run(
        [
            "valgrind",
            "--tool=callgrind",
            "--separate-threads=yes",
            f"--callgrind-out-file={out}",
            sys.executable,
            script,
            os.path.join(workdir, "out.log"),
            str(n),
        ],
        check=True,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
        env={**os.environ, "PYTHONHASHSEED": "0"},
    )
    with open(out + "-01") as f:  # the main thread
        return int(re.search(r"^summary: (\d+)", f.read(), re.M).group(1))


def per_call(setup):
    with tempfile.TemporaryDirectory() as workdir:
        first = total_instructions(setup, N1, workdir)
        second = total_instructions(setup, N2, workdir)
    return (second - first) / (N2 - N1)


def main():
    names = sys.argv[1:] or list(SETUP)
    results = {}
    for name in names:
        try:
            results[name] = per_call(textwrap.dedent(SETUP[name]))
        except subprocess.CalledProcessError:
            print(f"{name:24} failed (not supported by this build?)")
            continue
        ratio = ""
        base = "disabled" if name == "nonblocking" else name.replace("_stacklevel1", "")
        if base != name and base in results:
            ratio = f"  {results[name] / results[base]:.3f}x {base}"
        print(f"{name:24} {results[name]:10.0f} instructions/call{ratio}", flush=True)


if __name__ == "__main__":
    main()
