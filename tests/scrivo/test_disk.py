"""File sinks hand every record to the operating system before the call returns, unless a flush
interval keeps a buffer: then urgent records go at once, the rest within the interval, and on a fatal
signal every buffered whole record. Neither a crash nor the exit hangs on a file that takes nothing."""

import math
import os
import re
import signal
import subprocess
import time

import pytest
from helpers import run_python

from zelvar.scrivo import scrivo as s

HANDLERS = {
    "file": lambda path: s.FileHandler(str(path)),
    "rotating": lambda path: s.RotatingFileHandler(str(path), max_size=1 << 20, max_files=2),
    "daily": lambda path: s.DailyFileHandler(str(path)),
    "json": lambda path: s.JsonFileHandler(str(path)),
}


def written(folder):
    """Every line in the files of `folder` (a daily file is named after its day)."""
    return [line for f in sorted(folder.iterdir()) for line in f.read_text().splitlines()]


def wait_for(folder, count, timeout):
    """Polls as a reader would; the time until `count` lines were there, or None."""
    start = time.monotonic()
    while True:
        took = time.monotonic() - start
        if len(written(folder)) >= count:
            return took
        if took > timeout:
            return None
        time.sleep(0.01)


@pytest.mark.parametrize("queue_size", [0, 64])
@pytest.mark.parametrize("kind", sorted(HANDLERS))
def test_urgent_record_writes_out_the_buffer(tmp_path, kind, queue_size):
    folder = tmp_path / "logs"
    log = s.Logger(
        f"urgent-{kind}-{queue_size}",
        handlers=[HANDLERS[kind](folder / "a.log")],
        queue_size=queue_size,
        flush_interval=600,
    )
    log.info("quiet")
    log.warning("still quiet")
    time.sleep(0.2)
    assert written(folder) == []  # the buffer is kept
    log.error("urgent")
    # A non-blocking logger's writer takes the record a moment later.
    assert wait_for(folder, 3, 0 if queue_size == 0 else 5) is not None
    lines = written(folder)
    assert "quiet" in lines[0] and "still quiet" in lines[1] and "urgent" in lines[2]
    log.critical("too")
    assert wait_for(folder, 4, 0 if queue_size == 0 else 5) is not None


@pytest.mark.parametrize("queue_size", [0, 64])
@pytest.mark.parametrize("interval", [None, 0.3, 0, 1.5e-9])
def test_quiet_record_reaches_the_disk_within_the_interval(tmp_path, interval, queue_size):
    folder = tmp_path / "logs"
    extra = {} if interval is None else {"flush_interval": interval}
    log = s.Logger("quiet", handlers=[s.FileHandler(str(folder / "a.log"))], queue_size=queue_size, **extra)
    # A non-blocking logger's writer must be scheduled as well: more room on a loaded machine.
    limit = (interval or 0) + (0.5 if queue_size == 0 else 2.0)
    for n in (1, 2):  # the second record comes to a buffer the timer already emptied
        log.info(f"record {n}")
        if not interval and queue_size == 0:
            assert len(written(folder)) == n  # every record at once
        took = wait_for(folder, n, limit)
        assert took is not None, f"record {n} not on disk after {limit} s"
        time.sleep(0.05)


def test_forked_child_keeps_the_time_limit(child):
    proc = child(
        """
        import os, time
        from zelvar.scrivo.scrivo import Logger, FileHandler
        log = Logger("f", handlers=[FileHandler("child.log")], flush_interval=0.2)
        log.info("parent")
        pid = os.fork()
        if pid == 0:
            log.info("from the child")
            time.sleep(0.8)  # no flush: the child's own timer must write it
            os._exit(0 if "from the child" in open("child.log").read() else 3)
        _, status = os.waitpid(pid, 0)
        assert os.waitstatus_to_exitcode(status) == 0, status
        """,
        check=False,
    )
    assert proc.returncode == 0, proc.stderr.decode(errors="replace")


@pytest.mark.parametrize(
    "kind, crash, faulthandler, sig",
    [
        ("file", "ctypes.string_at(0)", None, signal.SIGSEGV),
        ("file", "ctypes.string_at(0)", "before", signal.SIGSEGV),
        ("file", "ctypes.string_at(0)", "after", signal.SIGSEGV),
        ("json", "os.abort()", "after", signal.SIGABRT),
        ("rotating", "os.kill(os.getpid(), signal.SIGBUS)", None, signal.SIGBUS),
    ],
)
def test_fatal_signal_writes_buffered_records(child, tmp_path, monkeypatch, kind, crash, faulthandler, sig):
    # Under the sanitizer build its own handlers would end the child with their report instead.
    off = ":handle_segv=0:handle_sigbus=0:handle_abort=0:handle_sigill=0:handle_sigfpe=0"
    monkeypatch.setenv("ASAN_OPTIONS", os.environ.get("ASAN_OPTIONS", "") + off)
    handler = {"file": "FileHandler", "json": "JsonFileHandler", "rotating": "RotatingFileHandler"}[kind]
    proc = child(
        f"""
        import ctypes, faulthandler, os, signal
        {"faulthandler.enable()" if faulthandler == "before" else ""}
        from zelvar.scrivo.scrivo import Logger, {handler}
        log = Logger("crash", handlers=[{handler}("logs/crash.log")], flush_interval=600)
        {"faulthandler.enable()" if faulthandler == "after" else ""}
        for n in range(3):
            log.info(f"record {{n}}")
        {crash}
        """,
        check=False,
    )
    assert proc.returncode == -sig
    lines = written(tmp_path / "logs")
    assert len(lines) == 3 and all(f"record {n}" in line for n, line in enumerate(lines))
    assert (b"Fatal Python error" in proc.stderr) == (faulthandler is not None)


@pytest.mark.parametrize(
    "value, error",
    [
        (-1, ValueError),
        (-0.001, ValueError),
        (math.nan, ValueError),
        (math.inf, ValueError),
        (10**400, ValueError),
        ("1", TypeError),
        (None, TypeError),
    ],
)
def test_flush_interval_refused(tmp_path, value, error):
    with pytest.raises(error, match="flush_interval"):
        s.Logger("refused", handlers=[s.FileHandler(str(tmp_path / "never.log"))], flush_interval=value)
    assert not (tmp_path / "never.log").exists()


@pytest.mark.parametrize(
    "end", ["os.kill(os.getpid(), signal.SIGTERM)", "os.kill(os.getpid(), signal.SIGKILL)", "os._exit(0)"]
)
@pytest.mark.parametrize("kind", sorted(HANDLERS))
def test_defaults_lose_nothing_to_a_sudden_end(child, tmp_path, kind, end):
    handler = {
        "file": "FileHandler",
        "rotating": "RotatingFileHandler",
        "daily": "DailyFileHandler",
        "json": "JsonFileHandler",
    }[kind]
    child(
        f"""
        import os, signal
        from zelvar.scrivo.scrivo import Logger, {handler}
        log = Logger("end", handlers=[{handler}("logs/end.log")])
        for n in range(3):
            log.info(f"record {{n}}")
        {end}
        """,
        check=False,
    )
    lines = written(tmp_path / "logs")
    assert len(lines) == 3 and all(f"record {n}" in line for n, line in enumerate(lines))


@pytest.mark.parametrize("how", ["fork", "spawn", "forkserver", "process"])
def test_worker_processes_lose_nothing(child, tmp_path, how):
    # The pool's workers end by SIGTERM (the with block) or os._exit, never through exit handlers.
    child.script(
        "workers.py",
        f"""
        import multiprocessing as mp, os
        from zelvar.scrivo.scrivo import Logger, FileHandler
        log = Logger("w", handlers=[FileHandler("workers.log", pattern="%v")])

        def task(n):
            log.info(f"task {{n}} in {{os.getpid()}}")
            return n

        if __name__ == "__main__":
            if {how!r} == "process":
                workers = [mp.get_context("fork").Process(target=task, args=(n,)) for n in range(14)]
                for w in workers:
                    w.start()
                for w in workers:
                    w.join()
            else:
                with mp.get_context({how!r}).Pool(2) as pool:
                    assert pool.map(task, range(14)) == list(range(14))
            log.info("parent")
        """,
    )
    lines = (tmp_path / "workers.log").read_text().splitlines()
    assert sorted(int(line.split()[1]) for line in lines if line.startswith("task")) == list(range(14))
    assert lines.count("parent") == 1


def test_processes_appending_to_one_file_never_tear_a_line(child, tmp_path):
    child(
        """
        import os
        from zelvar.scrivo.scrivo import Logger, FileHandler
        pids = []
        for p in range(4):
            pid = os.fork()
            if pid == 0:
                log = Logger(f"p{p}", handlers=[FileHandler("shared.log", pattern="%n %v")])
                for n in range(20000):
                    log.info(f"{n} " + "x" * (n % 300))
                os._exit(0)
            pids.append(pid)
        for pid in pids:
            assert os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]) == 0
        """,
        leak_check=False,
    )
    seen = {f"p{p}": [] for p in range(4)}
    for line in (tmp_path / "shared.log").read_text().splitlines():
        name, n, tail = line.split(" ")
        assert tail == "x" * (int(n) % 300), line[:80]
        seen[name].append(int(n))
    assert all(numbers == list(range(20000)) for numbers in seen.values())


def full_fifo(path):
    """A FIFO whose reader never reads, filled to the brim; returns the reader's descriptor."""
    os.mkfifo(path)
    reader = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
    writer = os.open(path, os.O_WRONLY | os.O_NONBLOCK)
    try:
        while True:
            os.write(writer, b"#" * 4096)
    except BlockingIOError:
        pass
    os.close(writer)
    return reader


def drained(reader):
    data = b""
    try:
        while chunk := os.read(reader, 1 << 16):
            data += chunk
    except BlockingIOError:
        pass
    return data.decode().replace("#", "")


@pytest.mark.parametrize("queue_size, interval", [(0, 600), (64, 0)])
def test_crash_on_a_stalled_pipe_still_dies(tmp_path, monkeypatch, queue_size, interval):
    monkeypatch.setenv("ASAN_OPTIONS", os.environ.get("ASAN_OPTIONS", "") + ":handle_abort=0")
    reader = full_fifo(tmp_path / "fifo")
    try:
        start = time.monotonic()
        proc = run_python(
            f"""
            import os, time
            from zelvar.scrivo.scrivo import Logger, FileHandler
            log = Logger("stalled", handlers=[FileHandler("fifo")], flush_interval={interval}, queue_size={queue_size})
            for n in range(20):
                log.info(f"record {{n}}")
            time.sleep(0.3)  # a non-blocking logger's writer is inside its write by now
            os.abort()
            """,
            cwd=tmp_path,
            timeout=30,
        )
        assert proc.returncode == -signal.SIGABRT and time.monotonic() - start < 20
        # The records are the writer's to write: the crash leaves them, and so never writes them twice.
        held = b"held by another thread" in proc.stderr
        assert held == (queue_size > 0), proc.stderr
        lines = drained(reader).splitlines()
        assert len(lines) == len(set(lines))
    finally:
        os.close(reader)


def test_two_fatal_signals_at_once_lose_nothing(child, tmp_path, monkeypatch):
    monkeypatch.setenv("ASAN_OPTIONS", os.environ.get("ASAN_OPTIONS", "") + ":handle_segv=0:handle_abort=0")
    proc = child(
        """
        import signal, threading, time
        from zelvar.scrivo.scrivo import Logger, FileHandler
        logs = [Logger(f"l{k}", handlers=[FileHandler(f"logs/{k}.log", pattern="%v")], flush_interval=600)
                for k in range(200)]
        for log in logs:
            for n in range(45):
                log.info(f"record {n}")
        ready = threading.Barrier(3)
        def wait():
            ready.wait()
            time.sleep(10)
        threads = [threading.Thread(target=wait) for _ in range(2)]
        for t in threads:
            t.start()
        ready.wait()
        time.sleep(0.1)
        signal.pthread_kill(threads[0].ident, signal.SIGSEGV)
        signal.pthread_kill(threads[1].ident, signal.SIGABRT)
        time.sleep(10)
        """,
        check=False,
    )
    assert proc.returncode in (-signal.SIGSEGV, -signal.SIGABRT)
    assert len(written(tmp_path / "logs")) == 200 * 45


def test_stack_overflow_writes_buffered_records(child, tmp_path, monkeypatch):
    monkeypatch.setenv("ASAN_OPTIONS", os.environ.get("ASAN_OPTIONS", "") + ":handle_segv=0:use_sigaltstack=0")
    proc = child(
        """
        import zelvar._testing as t
        from zelvar.scrivo.scrivo import Logger, FileHandler
        log = Logger("deep", handlers=[FileHandler("logs/deep.log")], flush_interval=600)
        for n in range(10):
            log.info(f"record {n}")
        t.overflow_stack()
        """,
        check=False,
    )
    assert proc.returncode == -signal.SIGSEGV
    assert len(written(tmp_path / "logs")) == 10


@pytest.mark.parametrize("queue_size, interval", [(64, 0), (0, 600)])
def test_exit_gives_up_on_a_stalled_pipe(tmp_path, queue_size, interval):
    reader = full_fifo(tmp_path / "fifo")
    try:
        start = time.monotonic()
        proc = run_python(
            f"""
            from zelvar.scrivo.scrivo import Logger, FileHandler
            log = Logger("stalled", handlers=[FileHandler("fifo")], flush_interval={interval}, queue_size={queue_size})
            for n in range(5):
                log.info(f"record {{n}}")
            """,
            cwd=tmp_path,
            timeout=30,
        )
        took = time.monotonic() - start
    except subprocess.TimeoutExpired:
        pytest.fail("the exit hung on a pipe nobody reads")
    finally:
        os.close(reader)
    assert proc.returncode == 0 and 2 <= took < 20, (proc.returncode, took)
    assert re.search(rb"accepted nothing for 2 s.*\b5 records not written", proc.stderr), proc.stderr
