"""File sinks hand every record to the operating system before the call returns, unless a flush
interval keeps a buffer: then urgent records go at once, the rest within the interval, and on a fatal
signal every buffered whole record. Neither a crash nor the exit hangs on a file that takes nothing."""

import gzip
import math
import os
import re
import signal
import subprocess
import textwrap
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


@pytest.mark.parametrize("target", ["file", "fifo"])
def test_buffer_size_follows_what_the_file_is(tmp_path, target):
    # A regular file holds 64 KiB of records back; a pipe gets them in writes of at most PIPE_BUF,
    # which never tear a line among other writers.
    path = tmp_path / "out"
    reader = None
    if target == "fifo":
        os.mkfifo(path)
        reader = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
    log = s.Logger(f"size-{target}", handlers=[s.FileHandler(str(path), pattern="%v")], flush_interval=600)
    line = "r" * 99
    try:
        for _ in range(100):  # 10,000 bytes
            log.info(line)
        if reader is None:
            assert path.stat().st_size == 0
        else:
            early = os.read(reader, 1 << 16)
            assert 10_000 - 4096 <= len(early) < 10_000 and early.endswith(b"\n")
        log.flush()
        rest = path.read_bytes() if reader is None else early + os.read(reader, 1 << 16)
        assert rest == (line + "\n").encode() * 100
    finally:
        if reader is not None:
            os.close(reader)


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


def settled(folder):
    """Waits until every file of `folder` but the open one (the last by name) is compressed; the names then."""
    deadline = time.monotonic() + 90  # the compressing thread runs at the lowest priority: a busy machine starves it
    while True:
        names = sorted(p.name for p in folder.iterdir())
        if all(n.endswith(".gz") for n in names[:-1]):
            return names
        assert time.monotonic() < deadline, names
        time.sleep(0.02)


def unzipped(folder, names):
    return [line for n in names for line in gzip.open(folder / n, "rt").read().splitlines()]


# Rotation by size, and by day (in a zone whose midnight comes 2 s after the start, built through
# configure): each closed file becomes .gz with its lines; max_files counts the compressed files,
# old days found uncompressed or compressed alike.
@pytest.mark.parametrize("kind", ["rotating", "daily"])
def test_compressed_rotation(child, tmp_path, kind):
    logs = tmp_path / "logs"
    logs.mkdir()
    if kind == "rotating":
        code = """
            lg = s.Logger('gz', handlers=[s.RotatingFileHandler('logs/app.txt', '%v', max_size=300, max_files=2,
                                                                compress=True)])
            for i in range(100):
                lg.info('line %03d ' % i + 'x' * 40)
        """
        env = None
    else:
        for name in ["app_2020-01-01.log.gz", "app_2020-01-02.log"]:
            (logs / name).write_bytes(gzip.compress(b"old\n") if name.endswith(".gz") else b"old\n")
        boundary = int(time.time()) + 2
        east = -boundary % 86400
        east = east - 86400 if east > 43200 else east
        h, m, sec = abs(east) // 3600, abs(east) // 60 % 60, abs(east) % 60
        env = dict(os.environ, TZ=f"ZZZ{'-' if east > 0 else '+'}{h:02}:{m:02}:{sec:02}")
        code = f"""
            import time
            lg = s.configure({{"version": 1, "handlers": {{"d": {{"class": "DailyFileHandler",
                "filename": "logs/app.log", "pattern": "%v", "max_files": 2, "compress": True}}}},
                "loggers": {{"gz": {{"handlers": ["d"]}}}}}})["gz"]
            for i in range(50):
                lg.info('line %03d' % i)
            time.sleep(max(0, {boundary} + 0.2 - time.time()))
            lg.info('line 050')
        """
    code += """
            names = lambda: sorted(os.listdir('logs'))
            deadline = time.monotonic() + 30
            while not all(n.endswith('.gz') for n in names()[:-1]) and time.monotonic() < deadline:
                time.sleep(0.01)  # the exit would leave what is in progress for the next start
        """
    proc = run_python("import os, time\nimport zelvar.scrivo as s\n" + textwrap.dedent(code), cwd=tmp_path, env=env)
    assert proc.returncode == 0, proc.stderr
    names = settled(logs)
    live = names.pop()
    if kind == "rotating":
        assert names == ["app.1.txt.gz", "app.2.txt.gz"] and live == "app.txt"
        kept = unzipped(logs, names[::-1]) + (logs / live).read_text().splitlines()
        assert kept == ["line %03d " % i + "x" * 40 for i in range(100 - len(kept), 100)]
    else:  # the open day's file is one of the two
        assert len(names) == 1 and names[0].endswith(".log.gz") and "2020" not in names[0] + live, names
        assert unzipped(logs, names) == ["line %03d" % i for i in range(50)]
        assert (logs / live).read_text() == "line 050\n"


# SIGKILL while a large rotated file is being compressed leaves it whole; the next process with
# compress=True finishes it.
@pytest.mark.parametrize("kind", ["rotating", "daily"])
def test_kill_during_compression(tmp_path, kind):
    logs = tmp_path / "logs"
    logs.mkdir()
    big = logs / ("app.1.txt" if kind == "rotating" else "app_2020-01-01.log")
    big.write_text("\n".join(os.urandom(1 << 12).hex() for _ in range(1024)))  # 8 MiB that deflates slowly
    original = big.read_bytes()
    handler = (
        "s.RotatingFileHandler('logs/app.txt', max_files=3, compress=True)"
        if kind == "rotating"
        else "s.DailyFileHandler('logs/app.log', compress=True)"
    )
    kill = f"""
        import os, signal, time
        import zelvar.scrivo as s
        lg = s.Logger('gz', handlers=[{handler}])
        tmp = {str(big)!r} + '.gz.tmp'
        deadline = time.monotonic() + 30
        while not (os.path.exists(tmp) and os.path.getsize(tmp) > 0) and time.monotonic() < deadline:
            time.sleep(0.0005)
        os.kill(os.getpid(), signal.SIGKILL)
    """
    proc = run_python(kill, cwd=tmp_path)
    assert proc.returncode == -signal.SIGKILL
    assert big.read_bytes() == original
    assert not big.with_name(big.name + ".gz").exists()
    assert big.with_name(big.name + ".gz.tmp").exists()  # killed in the middle, not before or after
    restart = f"""
        import os, time
        import zelvar.scrivo as s
        lg = s.Logger('gz', handlers=[{handler}])
        deadline = time.monotonic() + 90  # the exit would leave it for the next start (and its thread is niced)
        while os.path.exists({str(big)!r}) and time.monotonic() < deadline:
            time.sleep(0.01)
    """
    run_python(restart, cwd=tmp_path, check=True)
    names = settled(logs)
    assert big.name + ".gz" in names and big.name not in names
    assert gzip.open(big.with_name(big.name + ".gz")).read() == original
