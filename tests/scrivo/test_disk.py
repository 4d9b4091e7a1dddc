"""File sinks keep their buffer, but records reach the disk: urgent ones at once, the rest within the
logger's flush interval, and on a fatal signal every buffered whole record."""

import math
import os
import signal
import time

import pytest

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
@pytest.mark.parametrize("interval", [None, 0.3, 0])
def test_quiet_record_reaches_the_disk_within_the_interval(tmp_path, interval, queue_size):
    folder = tmp_path / "logs"
    extra = {} if interval is None else {"flush_interval": interval}
    log = s.Logger("quiet", handlers=[s.FileHandler(str(folder / "a.log"))], queue_size=queue_size, **extra)
    # A non-blocking logger's writer must be scheduled as well: more room on a loaded machine.
    limit = (1.0 if interval is None else interval) + (0.5 if queue_size == 0 else 2.0)
    for n in (1, 2):  # the second record comes to a buffer the timer already emptied
        log.info(f"record {n}")
        if interval == 0 and queue_size == 0:
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
