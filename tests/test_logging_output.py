"""Real output: file sinks read back and console sinks captured from a child interpreter."""
import re
import textwrap

import pytest

ESC = b"\x1b"
PRELUDE = "from zelvar.scrivo.scrivo import *\n"


def run(child, code, **kwargs):
    return child(PRELUDE + textwrap.dedent(code), **kwargs)


def lines(data):
    return data.decode().splitlines()


def test_default_basic_console_sink(child):
    out = run(child, "Logger('app').info('hello')").stdout
    assert re.fullmatch(rb"\[\d\d-\d\d-\d{4} \d\d:\d\d:\d\d\.\d{6}\] \[app\] \[info\] hello\n", out)


@pytest.mark.parametrize("handler, stdout, stderr", [
    ("StdoutHandler(pattern='%l %v')", ["trace t", "debug d", "info i"], []),
    ("StdoutHandler(pattern='%l %v', level=Level.DEBUG, max_level=Level.WARN)", ["debug d", "info i", "warning w"], []),
    ("StderrHandler(pattern='%l %v')", [], ["warning w", "error e", "critical c"]),
    ("BasicConsoleHandler(pattern='%l %v', level=Level.ERROR)", ["error e", "critical c"], []),
    ("ConsoleHandler(pattern='%l %v')", ["trace t", "debug d", "info i"], ["warning w", "error e", "critical c"]),
    ("ConsoleHandler(pattern='%l %v', max_stdout_level=Level.TRACE, min_level=Level.DEBUG)", [],
     ["debug d", "info i", "warning w", "error e", "critical c"]),
])
def test_console_handlers_and_levels(child, handler, stdout, stderr):
    proc = run(child, f"""
        lg = Logger('c', handlers=[{handler}])
        for name, text in [('trace', 't'), ('debug', 'd'), ('info', 'i'), ('warn', 'w'), ('error', 'e'),
                           ('critical', 'c')]:
            getattr(lg, name)(text)
    """)
    assert lines(proc.stdout) == stdout
    assert lines(proc.stderr) == stderr


@pytest.mark.parametrize("args, text", [
    ("fg_color=31", ESC + b"[31mx" + ESC + b"[0m"),
    ("effect=1, fg_color=200, bg_color=44", ESC + b"[1;38;5;200;44mx" + ESC + b"[0m"),
    ("bg_color=17", ESC + b"[48;5;17mx" + ESC + b"[0m"),
    ("fg_color=97, bg_color=107, effect=9", ESC + b"[9;97;107mx" + ESC + b"[0m"),
    ("fg_color=256, bg_color=-1, effect=8", b"x"),
    ("effect=0, fg_color=-5", b"x"),
])
@pytest.mark.parametrize("console", ["StdoutHandler(pattern='%v', level=Level.WARN, max_level=Level.WARN)",
                                     "ConsoleHandler(False, '%v', Level.OFF)",
                                     "BasicConsoleHandler(True, '%v')"])
def test_colours_on_console_sinks_only(child, tmp_path, args, text, console):
    log = tmp_path / "plain.log"
    proc = run(child, f"""
        lg = Logger('colours', handlers=[{console}, FileHandler({str(log)!r}, True, '%v')])
        lg.warn('x', {args})
        DefaultLogger  # the default logger is untouched
    """)
    assert proc.stdout.rstrip(b"\n") == text
    assert log.read_bytes() == b"x\n"


def test_console_mutex_policy_only(child):
    # A derived console sink still counts, and nested level windows are looked through.
    proc = run(child, """
        lg = Logger('mutex', handlers=[StdoutHandler(True, '%v'), StdoutHandler(False, '%v')])
        lg.info('x', 32)
    """)
    assert proc.stdout == (ESC + b"[32mx" + ESC + b"[0m\n") * 2


def test_message_is_cut_at_nul(child, tmp_path):
    log = tmp_path / "nul.log"
    run(child, f"""
        lg = Logger('nul', handlers=[FileHandler({str(log)!r}, pattern='%v')])
        lg.info('a\\x00b')
        lg.info('\\x00')
        lg.info('é✓')
    """)
    assert log.read_text(encoding="utf-8") == "a\n\né✓\n"


def test_logger_and_sink_levels(child, tmp_path):
    low, high = tmp_path / "low.log", tmp_path / "high.log"
    run(child, f"""
        lg = Logger('lv', level=3, handlers=[FileHandler({str(low)!r}, pattern='%l'),
                                             FileHandler({str(high)!r}, pattern='%l', level=Level.ERROR)])
        for name in ['trace', 'debug', 'info', 'warn', 'error', 'critical']:
            getattr(lg, name)('m')
    """)
    assert lines(low.read_bytes()) == ["warning", "error", "critical"]
    assert lines(high.read_bytes()) == ["error", "critical"]


def test_rotating_file_handler_rotates(child, tmp_path):
    base = tmp_path / "rot.log"
    run(child, f"""
        lg = Logger('rot', handlers=[RotatingFileHandler({str(base)!r}, '%v', max_size=100, max_files=2)])
        for i in range(40):
            lg.info('line %02d ' % i + 'x' * 10)
    """)
    names = sorted(p.name for p in tmp_path.iterdir() if p.name.startswith("rot"))
    assert names == ["rot.1.log", "rot.2.log", "rot.log"]
    assert all(p.stat().st_size <= 100 for p in tmp_path.glob("rot*"))
    assert lines(base.read_bytes())[-1] == "line 39 xxxxxxxxxx"


def test_file_handler_overwrite_and_append(child, tmp_path):
    log = tmp_path / "f.log"
    log.write_text("old\n")
    run(child, f"Logger('a', handlers=[FileHandler({str(log)!r}, pattern='%v')]).info('new')")
    assert log.read_text() == "old\nnew\n"
    run(child, f"Logger('o', handlers=[FileHandler({str(log)!r}, pattern='%v', overwrite=True)]).info('x')")
    assert log.read_text() == "x\n"


def test_python_subclass_properties_are_used(child, tmp_path):
    log = tmp_path / "sub.log"
    run(child, f"""
        class Mine(FileHandler):
            @property
            def pattern(self):
                return '<%v>'
        Logger('sub', handlers=[Mine({str(log)!r})]).info('m')
    """)
    assert log.read_text() == "<m>\n"


def test_handlers_appended_during_the_walk_are_visited(child, tmp_path):
    first, second = tmp_path / "1.log", tmp_path / "2.log"
    run(child, f"""
        handlers = []
        class Grow(FileHandler):
            @property
            def pattern(self):
                if len(handlers) == 1:
                    handlers.append(FileHandler({str(second)!r}, pattern='%v'))
                return '%v'
        handlers.append(Grow({str(first)!r}))
        Logger('grow', handlers=handlers).info('both')
    """)
    assert first.read_text() == second.read_text() == "both\n"


def test_color_scheme_colours_levels(child):
    out = run(child, """
        lg = Logger('scheme', handlers=[StdoutHandler(True, '%^%v%$')], color_scheme=ColorScheme(info_color=35))
        lg.info('i')
    """).stdout
    # Not a terminal: spdlog drops its own level colours, so only the text remains.
    assert out == b"i\n"


# "#<" marks the line the location must name.
@pytest.mark.parametrize("body, function", [
    ("lg.info('m')  #<", "<module>"),
    ("def f():\n    lg.info('m')  #<\nf()", "f"),
    ("def f():\n    lg.info('m')\ndef g():\n    f()  #<\ng()", "g"),
    ("import logging\nlogging.warning('m')  #<", "<module>"),
    ("import logging\ndef f():\n    logging.getLogger('x').warning('m')  #<\nf()", "f"),
    # Records of the standard package: the first frame outside the package counts itself.
    ("import logging\ndef f():\n    logging.warning('m')  #<\ndef g():\n    f()\ng()", "f"),
])
def test_caller_location(child, tmp_path, body, function):
    log = tmp_path / "loc.log"
    source = (PRELUDE + f"lg = Logger('loc', handlers=[FileHandler({str(log)!r}, pattern='%s:%#:%!')], "
              "set_default=True)\n" + body + "\n")
    line = next(i for i, text in enumerate(source.splitlines(), 1) if text.endswith("#<"))
    child.script("prog.py", source)
    assert log.read_text().strip() == f"prog.py:{line}:{function}"


def test_default_logger_follows_a_newer_default(child, tmp_path):
    a, b = tmp_path / "a.log", tmp_path / "b.log"
    run(child, f"""
        d = DefaultLogger()
        Logger('first', handlers=[FileHandler({str(a)!r}, pattern='%n %v')], set_default=True)
        d.info('one')
        Logger('second', handlers=[FileHandler({str(b)!r}, pattern='%n %v')], set_default=True)
        d.info('two')
    """)
    assert a.read_text() == "first one\n"
    assert b.read_text() == "second two\n"


def test_standard_logging_through_the_default_logger(child, tmp_path):
    log = tmp_path / "std.log"
    proc = run(child, f"""
        import logging
        Logger('std', handlers=[FileHandler({str(log)!r}, pattern='%l|%v'), StdoutHandler(True, '%l|%v', 0, 6)],
               set_default=True)
        logging.warning('w')
        logging.getLogger('deep.child').debug('d')
        try:
            1 / 0
        except ZeroDivisionError:
            logging.exception('boom')
        logging.info('s', stack_info=True)
        logging.info('no exception', exc_info=False)
        logging.info('a\\x00b')
        for level in (45, 50, 60, 9, 0, -5):
            logging.getLogger().handlers[0].emit(logging.makeLogRecord({{'msg': str(level), 'levelno': level}}))
        handler = logging.getLogger().handlers[0]
        handler._warn = 35
        handler.emit(logging.makeLogRecord({{'msg': 'tuned', 'levelno': 32}}))
    """)
    text = log.read_text()
    assert proc.stdout.decode() == text  # console and file get the same plain text
    assert ESC.decode() not in text
    entries = text.split("\n")
    assert entries[:2] == ["warning|w", "debug|d"]
    assert entries[2] == "error|boom"
    assert entries[3] == "Traceback (most recent call last):"
    assert "ZeroDivisionError: division by zero" in text
    stack_at = entries.index("info|s")
    assert entries[stack_at + 1] == "Stack (most recent call last):"
    assert "info|no exception" in entries and "info|a" in entries
    assert [e for e in entries if e.split("|")[-1] in {"45", "50", "60", "9", "0", "-5", "tuned"}] == [
        "error|45", "critical|50", "critical|60", "trace|9", "trace|0", "trace|-5", "info|tuned"]


def test_routing_replaces_root_handlers_without_closing(child):
    proc = run(child, """
        import logging
        class Watch(logging.StreamHandler):
            closed = False
            def close(self):
                Watch.closed = True
        logging.getLogger().addHandler(Watch())
        Logger('route', level=Level.OFF, set_default=True)
        root = logging.getLogger()
        assert [type(h).__name__ for h in root.handlers] == ['PyLogHandler'], root.handlers
        assert root.level == logging.DEBUG and root.handlers[0].level == logging.DEBUG
        assert not Watch.closed
        print('ok')
    """)
    assert proc.stdout == b"ok\n"
