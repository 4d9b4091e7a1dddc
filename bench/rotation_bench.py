"""What the logging call that rotates costs with compress=True against the same rotation without it,
side by side in one process: each logger's file is filled to just below max_size (untimed), then the
one call that rotates it is timed; a run's figure is the median of its BENCH_ROTATIONS rotating calls,
the result the median of BENCH_REPEAT runs, the two loggers' runs interleaved. The compression itself
runs on the library's thread meanwhile."""

import atexit
import os
import shutil
import statistics
import tempfile
import time

import zelvar.scrivo as z

ROTATIONS = int(os.environ.get("BENCH_ROTATIONS", "200"))
REPEAT = int(os.environ.get("BENCH_REPEAT", "5"))
MAX_SIZE = int(os.environ.get("BENCH_MAX_SIZE", str(64 << 10)))
RECORD = "x" * 99  # 100 bytes a line with the pattern "%v"


def contender(folder, compress):
    handler = z.RotatingFileHandler(f"{folder}/app.log", "%v", max_size=MAX_SIZE, max_files=3, compress=compress)
    log = z.Logger(f"rot-{compress}", handlers=[handler])
    per_file = MAX_SIZE // (len(RECORD) + 1)

    def run():
        times = []
        for _ in range(ROTATIONS):
            for _ in range(per_file - 1):  # the file now holds per_file records: the next one does not fit
                log.info(RECORD)
            start = time.perf_counter_ns()
            log.info(RECORD)
            times.append(time.perf_counter_ns() - start)
        return statistics.median(times)

    log.info(RECORD)  # as a rotated-to file starts: with the record that rotated
    return run


def main():
    root = tempfile.mkdtemp(prefix="rotation-bench-")
    atexit.register(shutil.rmtree, root, ignore_errors=True)
    contenders = {}
    for label, compress in (("rotation", False), ("rotation, compress=True", True)):
        os.mkdir(f"{root}/{compress}")
        contenders[label] = contender(f"{root}/{compress}", compress)
    runs = {label: [] for label in contenders}
    for _ in range(REPEAT):
        for label, run in contenders.items():
            runs[label].append(run())
    medians = {label: statistics.median(times) for label, times in runs.items()}
    base = medians["rotation"]
    print(f"the call that rotates a {MAX_SIZE >> 10} KiB file (median of {REPEAT} runs of {ROTATIONS}):")
    for label, ns in medians.items():
        print(f"  {label:26} {ns / 1000:8.1f} us  {ns / base:5.2f}x")
    deadline = time.monotonic() + 30
    while not all(n.endswith(".gz") for n in sorted(os.listdir(f"{root}/True"))[:-1]) and time.monotonic() < deadline:
        time.sleep(0.01)
    print(f"  the compressed logger's files once its thread caught up: {sorted(os.listdir(f'{root}/True'))}")


if __name__ == "__main__":
    main()
