"""File sinks read back: levels, text, appending and overwriting, rotation, daily files, a file shared
by several appenders, a file that cannot be written, and handler subclasses' own properties."""

import datetime
import os
import subprocess
import sys
import textwrap
import time

import pytest
from output_helpers import PRELUDE, lines, run_with_scrivo, whole_records


def test_message_is_cut_at_nul(child, tmp_path):
    log = tmp_path / "nul.log"
    run_with_scrivo(
        child,
        f"""
        lg = Logger('nul', handlers=[FileHandler({str(log)!r}, pattern='%v')])
        lg.info('a\\x00b')
        lg.info('\\x00')
        lg.info('é✓')
    """,
    )
    assert log.read_text(encoding="utf-8") == "a\n\né✓\n"


def test_logger_and_sink_levels(child, tmp_path):
    low, high = tmp_path / "low.log", tmp_path / "high.log"
    run_with_scrivo(
        child,
        f"""
        lg = Logger('lv', level=3, handlers=[FileHandler({str(low)!r}, pattern='%l'),
                                             FileHandler({str(high)!r}, pattern='%l', level=Level.ERROR)])
        for name in ['trace', 'debug', 'info', 'warn', 'error', 'critical']:
            getattr(lg, name)('m')
    """,
    )
    assert lines(low.read_bytes()) == ["warning", "error", "critical"]
    assert lines(high.read_bytes()) == ["error", "critical"]


def test_new_methods_output(child, tmp_path):
    log = tmp_path / "new.log"
    proc = run_with_scrivo(
        child,
        f"""
        import logging, os, sys
        lg = Logger('new', level=Level.DEBUG, handlers=[FileHandler({str(log)!r}, pattern='%l|%v'),
                                                        StdoutHandler(pattern='%l', level=Level.INFO,
                                                                      max_level=Level.WARN)],
                    flush_interval=600)
        lg.warning('w')
        lg.exception('no exception')
        try:
            1 / 0
        except ZeroDivisionError:
            lg.exception('boom')
            expected = 'boom\\n' + logging.Formatter().formatException(sys.exc_info())
        lg.log(Level.INFO, 'level member')
        lg.log(1, 'level number')
        lg.log(Level.OFF, 'never')
        probe = Logger('probe', level=Level.DEBUG, handlers=[FileHandler(os.devnull, level=Level.CRITICAL),
                                                             StdoutHandler(level=Level.INFO, max_level=Level.WARN)])
        print(*[probe.is_enabled_for(level) for level in range(7)], file=sys.stderr)
        # An error record writes out itself and what came before it; the rest stays buffered.
        print(open({str(log)!r}).read() == 'warning|w\\nerror|no exception\\nerror|' + expected + '\\n',
              file=sys.stderr)
        lg.flush()
        print(open({str(log)!r}).read() == ('warning|w\\nerror|no exception\\nerror|' + expected +
                                            '\\ninfo|level member\\ndebug|level number\\n'), file=sys.stderr)
    """,
    )
    assert lines(proc.stderr) == ["False False True True False True False", "True", "True"]
    assert lines(log.read_bytes())[:4] == [
        "warning|w",
        "error|no exception",
        "error|boom",
        "Traceback (most recent call last):",
    ]
    assert lines(proc.stdout) == ["warning", "info"]


def test_file_handler_overwrite_and_append(child, tmp_path):
    log = tmp_path / "f.log"
    log.write_text("old\n")
    run_with_scrivo(child, f"Logger('a', handlers=[FileHandler({str(log)!r}, pattern='%v')]).info('new')")
    assert log.read_text() == "old\nnew\n"
    run_with_scrivo(child, f"Logger('o', handlers=[FileHandler({str(log)!r}, pattern='%v', overwrite=True)]).info('x')")
    assert log.read_text() == "x\n"


def test_rotating_file_handler_rotates(child, tmp_path):
    base = tmp_path / "rot.log"
    run_with_scrivo(
        child,
        f"""
        lg = Logger('rot', handlers=[RotatingFileHandler({str(base)!r}, '%v', max_size=100, max_files=2)])
        for i in range(40):
            lg.info('line %02d ' % i + 'x' * 10)
    """,
    )
    names = sorted(p.name for p in tmp_path.iterdir() if p.name.startswith("rot"))
    assert names == ["rot.1.log", "rot.2.log", "rot.log"]
    assert all(p.stat().st_size <= 100 for p in tmp_path.glob("rot*"))
    assert lines(base.read_bytes())[-1] == "line 39 xxxxxxxxxx"


def day_of(hour, minute, now):
    """The local date on which the day that starts at hour:minute and contains `now` began."""
    start = now.replace(hour=hour, minute=minute, second=0, microsecond=0)
    return (start if now >= start else start - datetime.timedelta(days=1)).date()


@pytest.mark.parametrize("shift_minutes", [0, -3, 3], ids=["midnight", "began-today", "begins-later"])
def test_daily_file_handler_names_prunes_and_formats(child, tmp_path, shift_minutes):
    now = datetime.datetime.now()
    at = now + datetime.timedelta(minutes=shift_minutes)
    hour, minute = (0, 0) if shift_minutes == 0 else (at.hour, at.minute)
    logs = tmp_path / "logs"
    logs.mkdir()
    old = ["app_2020-01-01.log", "app_2020-01-02.log", "app_2020-01-03.log"]
    unrelated = ["app_notes.log", "other_2020-01-01.log", "app_2020-01-01.txt"]
    for name in old + unrelated:
        (logs / name).write_text("x\n")
    run_with_scrivo(
        child,
        f"""
        lg = Logger('daily', handlers=[DailyFileHandler({str(logs / 'app.log')!r}, {hour}, {minute}, max_files=2,
                                                        pattern='%l %v', level=Level.INFO)])
        lg.debug('dropped')
        lg.info('one')
        lg.warn('two')
    """,
    )
    today = f"app_{day_of(hour, minute, now).isoformat()}.log"
    assert sorted(p.name for p in logs.iterdir()) == sorted(["app_2020-01-03.log", today] + unrelated)
    assert lines((logs / today).read_bytes()) == ["info one", "warning two"]


def test_daily_file_handler_built_across_its_day_boundary(tmp_path):
    """The clock is read once for the file and the next change of day. The constructor is held up
    between the two (its file is a FIFO nobody reads) while the day changes: a second reading would
    time the change a day late, and the new day would go on into the previous day's file."""
    boundary = int(time.time()) + 3
    east = -boundary % 86400  # a zone whose midnight is `boundary`
    east = east - 86400 if east > 43200 else east
    zone = datetime.timezone(datetime.timedelta(seconds=east))
    h, m, sec = abs(east) // 3600, abs(east) // 60 % 60, abs(east) % 60
    tz = f"ZZZ{'-' if east > 0 else '+'}{h:02}:{m:02}:{sec:02}"
    day = [datetime.datetime.fromtimestamp(boundary + offset, zone).date() for offset in (-1, 0)]
    fifo = tmp_path / f"app_{day[0]}.log"
    os.mkfifo(fifo)
    code = PRELUDE + textwrap.dedent(
        f"""
        import time
        print(time.time())
        lg = Logger('d', handlers=[DailyFileHandler({str(tmp_path / "app.log")!r}, pattern='%v')])
        lg.info('new day')
    """
    )
    proc = subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, env=dict(os.environ, TZ=tz))
    try:
        time.sleep(max(0.0, boundary + 0.3 - time.time()))
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)  # lets the constructor go on
        out, _ = proc.communicate(timeout=60)
        old_day = os.read(reader, 4096)
        os.close(reader)
    finally:
        proc.kill()
    assert proc.returncode == 0
    assert float(out) < boundary - 0.2  # the constructor began in the old day
    assert old_day == b""
    assert (tmp_path / f"app_{day[1]}.log").read_text() == "new day\n"


def test_python_subclass_properties_are_used(child, tmp_path):
    log = tmp_path / "sub.log"
    run_with_scrivo(
        child,
        f"""
        class Mine(FileHandler):
            @property
            def pattern(self):
                return '<%v>'
        Logger('sub', handlers=[Mine({str(log)!r})]).info('m')
    """,
    )
    assert log.read_text() == "<m>\n"


def test_handlers_appended_during_the_walk_are_visited(child, tmp_path):
    first, second = tmp_path / "1.log", tmp_path / "2.log"
    run_with_scrivo(
        child,
        f"""
        handlers = []
        class Grow(FileHandler):
            @property
            def pattern(self):
                if len(handlers) == 1:
                    handlers.append(FileHandler({str(second)!r}, pattern='%v'))
                return '%v'
        handlers.append(Grow({str(first)!r}))
        Logger('grow', handlers=handlers).info('both')
    """,
    )
    assert first.read_text() == second.read_text() == "both\n"


@pytest.mark.parametrize(
    "call, reports",
    [
        # The standard package's own report, once for every write that failed.
        ("logging.warning(text)", "--- Logging error ---"),
        # A non-blocking logger's writer: on standard error, at most once per second per sink.
        ("nb.info(text)", "scrivo: logger 'full-nb' could not write a record"),
        # The package's logging methods: on standard error, at most once per second per sink.
        ("lg.info(text)", "Exception ignored in: 'zelvar.scrivo.scrivo.Logger.info'"),
        ("DefaultLogger().error(text)", "Exception ignored in: 'zelvar.scrivo.scrivo.DefaultLogger.error'"),
    ],
)
def test_a_sink_that_cannot_write_fails_no_logging_call(child, call, reports):
    proc = run_with_scrivo(
        child,
        f"""
        import logging, time
        lg = Logger('full', handlers=[FileHandler('/dev/full', pattern='%v')], set_default=True)
        nb = Logger('full-nb', handlers=[FileHandler('/dev/full', pattern='%v')], queue_size=64)
        text = 'x' * 100
        start = time.monotonic()
        for i in range(2000):  # each one written through, so each one fails
            {call}
        nb.flush()
        print(time.monotonic() - start)
    """,
    )
    seconds = float(proc.stdout)
    stderr = proc.stderr.decode()
    assert "Failed writing to file /dev/full: No space left on device" in stderr
    if call.startswith("logging"):
        assert stderr.count(reports) == 2000  # as the standard handlers report every failed record
    else:
        assert 1 <= stderr.count(reports) <= 1 + seconds


def test_appenders_sharing_a_file_write_whole_lines(child, tmp_path):
    log = tmp_path / "shared.log"
    run_with_scrivo(
        child,
        f"""
        import os
        record = lambda tag, n: f"{{tag}} {{n}} {{'x' * (n % 97)}}"
        # Two loggers on one path in one process, taking turns.
        a = Logger('a', handlers=[FileHandler({str(log)!r}, pattern='%v')])
        b = Logger('b', handlers=[FileHandler({str(log)!r}, pattern='%v')])
        for n in range(10000):
            a.info(record('a', n))
            b.info(record('b', n))
        # Forked workers appending through the logger they inherit, together; what the parent
        # wrote before forking is written once.
        w = Logger('w', handlers=[FileHandler({str(log)!r}, pattern='%v')])
        w.info(record('parent', 0))
        for k in range(4):
            if os.fork() == 0:
                for n in range(10000):
                    w.info(record(f'w{{k}}', n))
                del w
                Logger('w', level=Level.OFF)  # replaces 'w' in the registry: its sink goes, writing what it holds
                os._exit(0)
        for k in range(4):
            assert os.waitstatus_to_exitcode(os.wait()[1]) == 0
    """,
    )
    expected = {"a": 10000, "b": 10000, "parent": 1, **{f"w{k}": 10000 for k in range(4)}}
    assert whole_records(log.read_text()) == expected
