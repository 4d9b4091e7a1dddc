"""Real output: file sinks read back and console sinks captured from a child interpreter."""

import datetime
import json
import os
import re
import subprocess
import sys
import textwrap
import threading
import time

import pytest
from helpers import SANITIZED, run_python

from zelvar import _testing as native
from zelvar.scrivo.scrivo import DefaultLogger, FileHandler, Level, Logger, StderrHandler

ESC = b"\x1b"
PRELUDE = "from zelvar.scrivo.scrivo import *\n"


def run_with_scrivo(child, code, **kwargs):
    return child(PRELUDE + textwrap.dedent(code), **kwargs)


def run_bounded(code, hangs):
    """Runs `code` in a fresh interpreter that must end within 15 seconds; else fails with `hangs`."""
    try:
        return run_python(PRELUDE + textwrap.dedent(code), timeout=15)
    except subprocess.TimeoutExpired:
        pytest.fail(hangs)


def lines(data):
    return data.decode().splitlines()


def test_default_basic_console_sink(child):
    out = run_with_scrivo(child, "Logger('app').info('hello')").stdout
    assert re.fullmatch(rb"\[\d\d-\d\d-\d{4} \d\d:\d\d:\d\d\.\d{6}\] \[app\] \[info\] hello\n", out)


@pytest.mark.parametrize(
    "handler, stdout, stderr",
    [
        ("StdoutHandler(pattern='%l %v')", ["trace t", "debug d", "info i"], []),
        (
            "StdoutHandler(pattern='%l %v', level=Level.DEBUG, max_level=Level.WARN)",
            ["debug d", "info i", "warning w"],
            [],
        ),
        ("StderrHandler(pattern='%l %v')", [], ["warning w", "error e", "critical c"]),
        ("BasicConsoleHandler(pattern='%l %v', level=Level.ERROR)", ["error e", "critical c"], []),
        ("ConsoleHandler(pattern='%l %v')", ["trace t", "debug d", "info i"], ["warning w", "error e", "critical c"]),
        (
            "ConsoleHandler(pattern='%l %v', max_stdout_level=Level.TRACE, min_level=Level.DEBUG)",
            [],
            ["debug d", "info i", "warning w", "error e", "critical c"],
        ),
    ],
)
def test_console_handlers_and_levels(child, handler, stdout, stderr):
    proc = run_with_scrivo(
        child,
        f"""
        lg = Logger('c', handlers=[{handler}])
        for name, text in [('trace', 't'), ('debug', 'd'), ('info', 'i'), ('warn', 'w'), ('error', 'e'),
                           ('critical', 'c')]:
            getattr(lg, name)(text)
    """,
    )
    assert lines(proc.stdout) == stdout
    assert lines(proc.stderr) == stderr


@pytest.mark.parametrize(
    "args, text",
    [
        ("fg_color=31", ESC + b"[31mx" + ESC + b"[0m"),
        ("effect=1, fg_color=200, bg_color=44", ESC + b"[1;38;5;200;44mx" + ESC + b"[0m"),
        ("bg_color=17", ESC + b"[48;5;17mx" + ESC + b"[0m"),
        ("fg_color=97, bg_color=107, effect=9", ESC + b"[9;97;107mx" + ESC + b"[0m"),
        ("fg_color=256, bg_color=-1, effect=8", b"x"),
        ("effect=0, fg_color=-5", b"x"),
    ],
)
@pytest.mark.parametrize(
    "console",
    [
        "StdoutHandler(pattern='%v', level=Level.WARN, max_level=Level.WARN)",
        "ConsoleHandler(False, '%v', Level.OFF)",
        "BasicConsoleHandler(True, '%v')",
    ],
)
def test_colours_on_console_sinks_only(child, tmp_path, args, text, console):
    log = tmp_path / "plain.log"
    proc = run_with_scrivo(
        child,
        f"""
        lg = Logger('colours', handlers=[{console}, FileHandler({str(log)!r}, True, '%v')])
        lg.warn('x', {args})
        DefaultLogger  # the default logger is untouched
    """,
    )
    assert proc.stdout.rstrip(b"\n") == text
    assert log.read_bytes() == b"x\n"


def test_console_mutex_policy_only(child):
    # A derived console sink still counts, and nested level windows are looked through.
    proc = run_with_scrivo(
        child,
        """
        lg = Logger('mutex', handlers=[StdoutHandler(True, '%v'), StdoutHandler(False, '%v')])
        lg.info('x', 32)
    """,
    )
    assert proc.stdout == (ESC + b"[32mx" + ESC + b"[0m\n") * 2


@pytest.mark.parametrize(
    "handler, stuck",
    [
        ("StderrHandler(False, '%v')", "StdoutHandler(False, '%v')"),
        ("ConsoleHandler(False, '%v')", "StdoutHandler(False, '%v')"),
        ("JsonStderrHandler()", "JsonStdoutHandler()"),
    ],
)
def test_a_stalled_stdout_holds_up_no_stderr_logger(handler, stuck):
    # Standard output's pipe is full and a non-blocking logger's writer waits in it; a logger that
    # writes to standard error (on its own, or through the error half of a split console) goes on,
    # and the stuck logger's queue fills and drops by its overflow policy.
    code = f"""
        import os, time
        err = Logger('err', handlers=[{handler}])
        r, w = os.pipe()
        os.set_blocking(w, False)
        try:
            while True:
                os.write(w, b'.' * 4096)
        except BlockingIOError:
            pass
        os.set_blocking(w, True)
        os.dup2(w, 1)
        out = Logger('out', handlers=[{stuck}], queue_size=8, overflow='drop_oldest')
        out.info('stuck')
        time.sleep(0.3)
        err.error('through')
        for n in range(20):
            out.info('queued')
        os.write(2, str(out.dropped).encode())
        os._exit(0)
    """
    proc = run_bounded(code, "the standard error logger waits for standard output")
    assert proc.returncode == 0
    record, dropped = proc.stderr.decode().splitlines()
    assert (json.loads(record)["message"] if handler.startswith("Json") else record) == "through"
    assert int(dropped) == 20 - 8


@pytest.mark.parametrize("blocking", [True, False], ids=["blocking", "non-blocking"])
@pytest.mark.parametrize("stream", ["stdout", "stderr"])
def test_json_console_lines_from_threads_never_interleave(child, stream, blocking):
    # Native threads log records far larger than a pipe takes at once into the test's own pipe: each
    # line is one whole record, also when the descriptor was made non-blocking under the handler.
    handler = "JsonStdoutHandler()" if stream == "stdout" else "JsonStderrHandler()"
    proc = run_with_scrivo(
        child,
        f"""
        import os
        from zelvar import _testing as native
        os.set_blocking({1 if stream == "stdout" else 2}, {blocking})
        lg = Logger('threads', handlers=[{handler}])
        native.log_from_threads(lg, 4, 20, 'T' * 100000)
    """,
    )
    records = [json.loads(line)["message"] for line in getattr(proc, stream).splitlines()]
    seen = {}
    for message in records:
        tag, n, xs = message.split(" ")
        assert tag[:-1] == "T" * 100000 and xs == "x" * (int(n) % 97)
        seen.setdefault(tag[-1], []).append(int(n))
    assert seen == {str(t): list(range(20)) for t in range(4)}


# Each console sink, in colour where it can be: on a terminal, with a colour scheme and a message's
# own colours. NO_COLOR (not empty) and TERM=dumb leave no escape anywhere; otherwise both kinds show.
COLOUR_SINKS = {
    "stdout": "Logger('c', handlers=[StdoutHandler(True, '%^%v%$', max_level=Level.ERROR)], color_scheme=scheme)",
    "stderr": "Logger('c', handlers=[StderrHandler(True, '%^%v%$', Level.TRACE)], color_scheme=scheme)",
    "console": "Logger('c', handlers=[ConsoleHandler(True, '%^%v%$')], color_scheme=scheme)",
    "basic": "Logger('c', handlers=[BasicConsoleHandler(True, '%^%v%$')], color_scheme=scheme)",
    "unnamed": "Logger('c', color_scheme=scheme)",
    "initial-default": "DefaultLogger()",
}


@pytest.mark.parametrize(
    "env, escapes",
    [({}, True), ({"NO_COLOR": ""}, True), ({"NO_COLOR": "1"}, False), ({"TERM": "dumb"}, False)],
    ids=["plain", "empty-NO_COLOR", "NO_COLOR", "TERM-dumb"],
)
@pytest.mark.parametrize("sink", list(COLOUR_SINKS))
def test_colour_obeys_the_environment(sink, env, escapes):
    code = f"""
        import os, pty
        out, (terminal, side) = os.dup(1), pty.openpty()
        os.dup2(side, 1)
        os.dup2(side, 2)
        scheme = ColorScheme(info_color=35, warn_color=36)
        lg = {COLOUR_SINKS[sink]}
        lg.info('scheme')
        lg.warn('own', fg_color=31, bg_color=44, effect=1)
        for fd in (1, 2, side):
            os.close(fd)
        shown = b''
        try:
            while chunk := os.read(terminal, 1 << 16):  # EIO once every writer's end is closed
                shown += chunk
        except OSError:
            pass
        os.write(out, shown)
        os._exit(0)
    """
    base = {k: v for k, v in os.environ.items() if k != "NO_COLOR"}
    proc = run_python(PRELUDE + textwrap.dedent(code), env={**base, "TERM": "xterm", **env}, timeout=60)
    assert proc.returncode == 0, proc.stderr
    shown = proc.stdout
    assert b"scheme" in shown and b"own" in shown
    if not escapes:
        assert ESC not in shown
        return
    assert ESC + b"[1;31;44mown" in shown
    assert (ESC + b"[35m" in shown) == (sink != "initial-default")  # the scheme is a built logger's


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


def test_file_handler_overwrite_and_append(child, tmp_path):
    log = tmp_path / "f.log"
    log.write_text("old\n")
    run_with_scrivo(child, f"Logger('a', handlers=[FileHandler({str(log)!r}, pattern='%v')]).info('new')")
    assert log.read_text() == "old\nnew\n"
    run_with_scrivo(child, f"Logger('o', handlers=[FileHandler({str(log)!r}, pattern='%v', overwrite=True)]).info('x')")
    assert log.read_text() == "x\n"


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


# A class deriving from two kinds gets the call of the kind matched first, whatever its bases' order.
@pytest.mark.parametrize(
    "bases, stream",
    [
        ("StdoutHandler, StderrHandler", "stdout"),
        ("StderrHandler, StdoutHandler", "stdout"),
        ("BasicConsoleHandler, StderrHandler", "stderr"),
        ("SyslogHandler, BasicConsoleHandler", "stdout"),
    ],
)
def test_a_handler_of_two_kinds_gets_the_first_kind_s_call(child, bases, stream):
    proc = run_with_scrivo(
        child,
        f"""
        class Both({bases}):
            pass
        Logger('both', handlers=[Both(pattern='%v', level=Level.TRACE)]).info('w')
    """,
    )
    assert (proc.stdout, proc.stderr) == ((b"w\n", b"") if stream == "stdout" else (b"", b"w\n"))


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


def test_color_scheme_colours_levels(child):
    out = run_with_scrivo(
        child,
        """
        lg = Logger('scheme', handlers=[StdoutHandler(True, '%^%v%$')], color_scheme=ColorScheme(info_color=35))
        lg.info('i')
    """,
    ).stdout
    # Not a terminal: spdlog drops its own level colours, so only the text remains.
    assert out == b"i\n"


# "#<" marks the line the location must name, in the script or in the package `mylogging` beside it;
# `options` are the logger's further arguments.
COROUTINE = "import asyncio\nasync def step():\n    {call}  #<\nasyncio.run(step())"
THREAD = "import threading\ndef target():\n    {call}  #<\nt = threading.Thread(target=target)\nt.start()\nt.join()"


@pytest.mark.parametrize(
    "body, function, package, options",
    [
        ("lg.info('m')  #<", "<module>", None, ""),
        ("def f():\n    lg.info('m')  #<\nf()", "f", None, ""),
        ("def f():\n    lg.info('m')\ndef g():\n    f()  #<\ng()", "g", None, ""),
        ("import logging\nlogging.warning('m')  #<", "<module>", None, ""),
        ("import logging\ndef f():\n    logging.getLogger('x').warning('m')  #<\nf()", "f", None, ""),
        # Records of the standard package: the first frame outside the package counts itself.
        ("import logging\ndef f():\n    logging.warning('m')  #<\ndef g():\n    f()\ng()", "f", None, ""),
        # Only the standard package's own directory is skipped, not any path that looks like it.
        (
            "import mylogging\nmylogging.report()",
            "report",
            "import logging\ndef report():\n    logging.getLogger('x').warning('m')  #<\n",
            "",
        ),
        # stacklevel=1: the function that made the call, whoever called it; the default logger and a
        # bound logger follow the native logger they write through.
        (COROUTINE.format(call="lg.info('m')"), "step", None, ", stacklevel=1"),
        (THREAD.format(call="lg.info('m')"), "target", None, ", stacklevel=1"),
        (THREAD.format(call="DefaultLogger().bind(a=1).warning('m')"), "target", None, ", stacklevel=1"),
        ("x = 1\nlg.info('m')  #<", "<module>", None, ", stacklevel=1"),
        # A helper that logs for its caller; one call's stacklevel overrides the logger's; past the
        # outermost frame, the outermost.
        ("def helper():\n    lg.info('m', stacklevel=2)\nhelper()  #<", "<module>", None, ""),
        ("def helper():\n    lg.log('INFO', 'm', x=1, stacklevel=2)\nhelper()  #<", "<module>", None, ", stacklevel=1"),
        ("def f():\n    lg.exception('m', stacklevel=99)\nf()  #<", "<module>", None, ""),
        # After the takeover: the location the standard package computed, its own stacklevel honoured.
        (
            "import logging\ndef helper():\n    logging.getLogger('x').warning('m', stacklevel=2)\nhelper()  #<",
            "<module>",
            None,
            ", stacklevel=1",
        ),
        (COROUTINE.format(call="__import__('logging').getLogger('x').warning('m')"), "step", None, ", stacklevel=1"),
    ],
)
def test_caller_location(child, tmp_path, body, function, package, options):
    log = tmp_path / "loc.log"
    source = (
        PRELUDE + f"lg = Logger('loc', handlers=[FileHandler({str(log)!r}, pattern='%s:%#:%!')], "
        f"set_default=True{options})\n" + body + "\n"
    )
    if package:
        (tmp_path / "mylogging").mkdir()
        (tmp_path / "mylogging" / "__init__.py").write_text(package)
    name, marked = ("__init__.py", package) if package else ("prog.py", source)
    line = next(i for i, text in enumerate(marked.splitlines(), 1) if text.endswith("#<"))
    child.script("prog.py", source)
    assert log.read_text().splitlines()[-1] == f"{name}:{line}:{function}"  # after asyncio's own debug record


@pytest.mark.parametrize(
    "handler, expected",
    [
        ("FileHandler(LOG, pattern='%s:%#:%!')", "prog.py:{line}:caller"),
        ("FileHandler(LOG, pattern='%-10s|%5#|%3!!')", "prog.py   |{line:>5}|cal"),
        ("FileHandler(LOG, pattern='%@ %g')", "prog.py:{line} prog.py"),
        ("FileHandler(LOG, pattern='')", "[prog.py:{line}]"),  # spdlog's default, %+
        ("JsonFileHandler(LOG)", '"file":"prog.py","line":{line},'),
    ],
)
def test_location_written_beside_sinks_that_write_none(child, tmp_path, handler, expected):
    """A default logger of sinks that write no location is replaced by one with a sink that does: the
    same DefaultLogger call site writes the location through it, synchronous and non-blocking."""
    log = tmp_path / "loc.out"
    source = PRELUDE + textwrap.dedent(
        f"""\
        LOG = {str(log)!r}
        Logger('quiet', handlers=[FileHandler('quiet.log', pattern='%v')], set_default=True)
        d = DefaultLogger()
        def caller():
            d.info('m')  #<
        caller()
        Logger('loud', handlers=[FileHandler('quiet2.log', pattern='[%l] %v'), {handler}], set_default=True)
        caller()
        Logger('queued', handlers=[FileHandler('quiet3.log', pattern='%v'), {handler}], set_default=True,
               queue_size=8)
        caller()
        """
    )
    line = next(i for i, text in enumerate(source.splitlines(), 1) if text.endswith("#<"))
    child.script("prog.py", source)
    written = log.read_text().splitlines()
    assert len(written) == 2 and all(expected.format(line=line) in text for text in written), written
    assert (tmp_path / "quiet.log").read_text() == "m\n"


def test_caller_file_name_with_bytes_that_are_not_utf8(child, tmp_path):
    """The caller's file name is written with its own bytes; in JSON as valid UTF-8 (U+FFFD)."""
    src = tmp_path / os.fsdecode(b"src\xff")
    src.mkdir()
    log, jsonl = tmp_path / "loc.log", tmp_path / "loc.jsonl"
    child.script(
        src / os.fsdecode(b"prog\xfe.py"),
        PRELUDE
        + f"""
import logging
sync = Logger('sync', handlers=[FileHandler({str(log)!r}, pattern='%s:%#:%! %v'), JsonFileHandler({str(jsonl)!r})],
              set_default=True)
queued = Logger('queued', handlers=[FileHandler({str(log)!r}, pattern='%s:%#:%! %v')], queue_size=8)
def f():
    sync.info('logger')
    DefaultLogger().info('default')
    logging.warning('standard')
    queued.info('queued')
f()
""",
    )
    assert sorted(log.read_bytes().splitlines()) == sorted(
        b"prog\xfe.py:%d:f %s" % (line, text)
        for line, text in enumerate([b"logger", b"default", b"standard", b"queued"], 8)
    )
    records = [json.loads(line) for line in jsonl.read_bytes().decode("utf-8").splitlines()]
    assert [(r["file"], r["line"], r["message"]) for r in records] == [
        ("prog\ufffd.py", 8, "logger"),
        ("prog\ufffd.py", 9, "default"),
        ("prog\ufffd.py", 10, "standard"),
    ]


def test_location_names_of_many_code_objects(child, tmp_path):
    """Names are converted once per code object and kept for a few: more functions than are kept, made
    again and again (freed addresses reused), and code objects whose release logs, each report their
    own; a standard record's own location is taken as far as its values make sense."""
    log, std = tmp_path / "loc.log", tmp_path / "std.log"
    child.script(
        "prog.py",
        PRELUDE
        + f"""
import gc, logging, weakref
lg = Logger('many', handlers=[FileHandler({str(log)!r}, pattern='%s:%!:%v')], stacklevel=1)
watch = []
for turn in range(3):
    for i in range(150):
        ns = {{'lg': lg}}
        exec(compile(f"def f{{i}}():\\n    lg.info('{{turn}}.{{i}}')", f"file{{i}}.py", "exec"), ns)
        watch.append(weakref.ref(ns[f"f{{i}}"].__code__, lambda _, i=i: lg.info(f'freed {{i}}')))
        ns[f"f{{i}}"]()
        del ns
    gc.collect()
Logger('std', handlers=[FileHandler({str(std)!r}, pattern='%s:%#:%!:%v')], set_default=True, stacklevel=1)
handler = logging.getLogger().handlers[0]
for msg, path, line, function in (('odd', None, 2**70, None), ('deep', '/a/b/c.py', 7, 'fn')):
    handler.emit(logging.makeLogRecord(dict(msg=msg, levelno=20, pathname=path, lineno=line, funcName=function)))
""",
    )
    lines = log.read_text().splitlines()
    freed = [line for line in lines if "freed" in line]
    assert [line for line in lines if "freed" not in line] == [
        f"file{i}.py:f{i}:{turn}.{i}" for turn in range(3) for i in range(150)
    ]
    assert len(freed) > 300 and all(re.fullmatch(r"prog\.py:<lambda>:freed \d+", line) for line in freed)
    # Line 0 is a record without a location, as spdlog prints one.
    assert std.read_text().splitlines() == [":::odd", "c.py:7:fn:deep"]


SUB_INTERPRETER = """
    import sys
    # A legacy (shared-GIL) sub-interpreter, so the interpreter itself lets the import reach us.
    if sys.version_info >= (3, 13):
        import _interpreters as interpreters
        interp = interpreters.create("legacy")
    else:
        import _xxsubinterpreters as interpreters
        interp = interpreters.create(**({"isolated": False} if sys.version_info >= (3, 12) else {}))

    def in_sub(code):
        try:
            failure = interpreters.run_string(interp, code)  # 3.13 returns the failure
        except Exception as exc:
            failure = exc
        return getattr(failure, "msg", failure)
"""


@pytest.mark.parametrize("first", ["main", "sub"])
def test_logging_in_whichever_interpreter_imported_first(tmp_path, first):
    log = tmp_path / "sub.log"
    logs = textwrap.dedent(f"""
        import logging
        from zelvar.scrivo.scrivo import DefaultLogger, FileHandler, Logger
        lg = Logger('interp', handlers=[FileHandler({str(log)!r}, pattern='%s:%# %v')], set_default=True)
        lg.info('logger')
        logging.warning('standard')
        DefaultLogger().warn('default')
    """)
    refused = "import zelvar.scrivo.scrivo"
    code = textwrap.dedent(SUB_INTERPRETER) + textwrap.dedent(f"""
        if {first!r} == "sub":
            print("sub:", in_sub({logs!r}))
            try:
                {refused}
            except ImportError as exc:
                print("main:", exc)
        else:
            exec(compile({logs!r}, "<string>", "exec"))
            print("sub:", in_sub({refused!r}))
    """)
    # A hang (the lock taken twice by one thread) fails here instead of stalling the suite.
    proc = run_python(code, text=True, timeout=30)
    assert proc.returncode == 0, proc.stderr
    refusal = "Interpreter change detected - this module can only be loaded into one interpreter per process."
    assert refusal in proc.stdout.splitlines()[0 if first == "main" else 1] + proc.stderr
    # From 3.14 the code a sub-interpreter runs from a string is named <script>.
    name = "<script>" if first == "sub" and sys.version_info >= (3, 14) else "<string>"
    assert lines(log.read_bytes()) == [f"{name}:5 logger", f"{name}:6 standard", f"{name}:7 default"]


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


def whole_records(text):
    """{tag: count} of records "<tag> <n> <n % 97 times x>"; None if any line is broken."""
    counts = {}
    for line in text.splitlines():
        tag, n, xs = (line.split(" ") + ["", "", ""])[:3]
        if not n.isdigit() or xs != "x" * (int(n) % 97) or line.count(" ") != 2:
            return None
        counts[tag] = counts.get(tag, 0) + 1
    return counts


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


FORKING_HANDLERS = {
    "file": ("", "FileHandler(path, pattern='%v')"),
    "json": ("", "JsonFileHandler(path)"),
    "stderr": (
        # 3.12+ warns on standard error at each fork of a threaded process: not a record.
        "warnings.simplefilter('ignore', DeprecationWarning); "
        "os.dup2(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_APPEND), 2)",
        "StderrHandler(False, '%v', 0)",
    ),
    "json-stdout": ("os.dup2(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_APPEND), 1)", "JsonStdoutHandler()"),
    "syslog": (
        "server = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM); server.bind(path + '.sock'); "
        "received = open(path, 'ab', buffering=0); "
        "collect = lambda: [received.write(server.recv(1 << 16) + b'\\n') for _ in iter(int, 1)]; "
        "threading.Thread(target=collect, daemon=True).start()",
        "SyslogHandler(path + '.sock')",
    ),
}


@pytest.mark.parametrize("kind", list(FORKING_HANDLERS))
def test_forked_children_log_while_native_threads_hold_sinks(child, tmp_path, kind):
    # Native threads log through a synchronous logger while the main thread forks: no child may
    # sleep on a sink lock it inherited, and no record is written twice or cut.
    path = tmp_path / "forks.log"
    setup, handler = FORKING_HANDLERS[kind]
    proc = run_with_scrivo(
        child,
        f"""
        import os, socket, threading, time, warnings
        from zelvar import _testing as native
        path = {str(path)!r}
        out = os.dup(1)
        {setup}
        lg = Logger('forks', handlers=[{handler}])
        threading.Thread(target=native.log_from_threads, args=(lg, 2, 10**8, 'p'), daemon=True).start()
        time.sleep(0.05)
        children = []
        for k in range(60):
            pid = os.fork()
            if pid == 0:
                lg.info(f'child{{k}} 0 ')
                lg.flush()
                os._exit(0)
            children.append(pid)
        deadline, hung = time.monotonic() + 5, 0
        for pid in children:
            while os.waitpid(pid, os.WNOHANG) == (0, 0):
                if time.monotonic() > deadline:
                    os.kill(pid, 9)
                    os.waitpid(pid, 0)
                    hung += 1
                    break
                time.sleep(0.002)
        lg.flush()
        time.sleep(0.1)  # the collector's last datagrams
        os.write(out, f'{{hung}}'.encode())
        os._exit(0)
    """,
        leak_check=False,
    )
    # The sanitizer's allocator has no fork handler: a child forked while another thread holds its
    # lock hangs in its first allocation, before it reaches a sink. The parent must still finish.
    assert SANITIZED or int(proc.stdout) == 0, "children hung"
    text = path.read_text()
    # The parent exits while its threads write: the kernel may end the last write at a page boundary.
    text = text[: text.rfind("\n") + 1]
    if kind.startswith("json"):
        text = "".join(json.loads(line)["message"] + "\n" for line in text.splitlines())
    elif kind == "syslog":
        text = "".join(line.split("]: ", 1)[1] + "\n" for line in text.splitlines())  # <PRI>time TAG[PID]: MSG
    records = tagged(text)
    assert records is not None, "a record was cut"
    children = {tag: n for tag, n in records.items() if tag.startswith("child")}
    if kind == "syslog" or SANITIZED:  # a datagram the flooded collector has no room for is dropped and counted
        assert children.items() <= {f"child{k}": [0] for k in range(60)}.items()
    else:
        assert children == {f"child{k}": [0] for k in range(60)}
    for tag in ("p0", "p1"):  # each thread's records once, in order, up to the parent's last flush
        got = records.get(tag, [])
        if kind == "syslog":  # the same drops as above, of the threads' datagrams
            assert got == sorted(set(got)), tag
        else:
            assert got == list(range(len(got))), tag


def test_fork_does_not_wait_for_a_stalled_file(tmp_path):
    # A FIFO whose reader reads nothing yet: the record the sink holds cannot be written before the
    # fork; the fork goes on, the child drops its copy and the parent writes it once.
    fifo = tmp_path / "fifo"
    proc = run_bounded(
        f"""
        import os
        os.mkfifo({str(fifo)!r})
        reader = os.open({str(fifo)!r}, os.O_RDONLY | os.O_NONBLOCK)
        lg = Logger('fifo', handlers=[FileHandler({str(fifo)!r}, pattern='%v')], flush_interval=600)
        filler = os.open({str(fifo)!r}, os.O_WRONLY | os.O_NONBLOCK)
        try:
            while True:
                os.write(filler, b'.' * 4096)
        except BlockingIOError:
            pass
        lg.info('held')
        pid = os.fork()
        if pid == 0:
            lg.info('child')
            os._exit(0)
        assert os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]) == 0
        drained = b''
        try:
            while True:
                drained += os.read(reader, 1 << 16)
        except BlockingIOError:
            pass
        lg.flush()
        os.set_blocking(reader, True)
        print(os.read(reader, 1 << 16).decode().strip('.'), drained.strip(b'.'))
        os._exit(0)
    """,
        "fork waits for a file nobody reads",
    )
    assert proc.stdout.decode().split() == ["held", "b''"], proc.stderr.decode()


@pytest.mark.parametrize("queue_size", [0, 16])
def test_forked_children_write_their_own_thread_id(child, tmp_path, queue_size):
    # spdlog keeps each thread's id in a thread-local, which the forking thread carries into its
    # child (and grandchild); the records there carry the id of the thread that logged them.
    json_log, text_log = tmp_path / "t.json", tmp_path / "t.log"
    run_with_scrivo(
        child,
        f"""
        import os, threading
        lg = Logger('tid', handlers=[JsonFileHandler({str(json_log)!r}),
                                     FileHandler({str(text_log)!r}, pattern='%t|%12t|%-12t|%=13t|%3!t|%v')],
                    queue_size={queue_size})
        def log(where):
            lg.info(f'{{where}} {{os.getpid()}} {{threading.get_native_id()}}')
            lg.flush()
        log('parent')
        for depth in ('child', 'grandchild'):
            pid = os.fork()
            if pid:
                assert os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]) == 0
                os._exit(0) if depth == 'grandchild' else None
                break
            log(depth)
            worker = threading.Thread(target=log, args=(depth + '-thread',))
            worker.start()
            worker.join()
        else:
            os._exit(0)
    """,
        leak_check=False,
    )
    seen = {}
    for record in map(json.loads, json_log.read_text().splitlines()):
        where, pid, tid = record["message"].split()
        assert (record["thread"], record["pid"]) == (int(tid), int(pid)), where
        seen[where] = tid
    assert sorted(seen) == sorted(["parent", "child", "child-thread", "grandchild", "grandchild-thread"])
    for line in text_log.read_text().splitlines():
        *flags, message = line.split("|")
        tid = message.split(" ")[-1]
        centred = " " * ((13 - len(tid)) // 2) + tid
        assert flags == [tid, tid.rjust(12), tid.ljust(12), centred.ljust(13), tid[:3]]


def test_default_logger_follows_a_newer_default(child, tmp_path):
    a, b = tmp_path / "a.log", tmp_path / "b.log"
    run_with_scrivo(
        child,
        f"""
        d = DefaultLogger()
        Logger('first', handlers=[FileHandler({str(a)!r}, pattern='%n %v')], set_default=True)
        d.info('one')
        Logger('second', handlers=[FileHandler({str(b)!r}, pattern='%n %v')], set_default=True)
        d.info('two')
    """,
    )
    assert a.read_text() == "first one\n"
    assert b.read_text() == "second two\n"


def test_standard_logging_through_the_default_logger(child, tmp_path):
    log = tmp_path / "std.log"
    proc = run_with_scrivo(
        child,
        f"""
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
    """,
    )
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
        "error|45",
        "critical|50",
        "critical|60",
        "trace|9",
        "trace|0",
        "trace|-5",
        "info|tuned",
    ]


def test_routing_replaces_root_handlers_without_closing(child):
    proc = run_with_scrivo(
        child,
        """
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
    """,
    )
    assert proc.stdout == b"ok\n"


JSON_TEXTS = [
    "plain",
    'quote " and backslash \\ slash /',
    "lines\nand\ttabs\r",
    "controls \x01\x1b\x1f\x7f",
    "é ∑ 😀 \u2028",
    '{"already": ["json"]}',
    "",
    "".join(map(chr, range(1, 128))) + "tail",  # plain runs between every escape
]
JSON_KEYS = ["time", "level", "logger", "message", "file", "line", "thread", "pid"]


# Where the JSON lines go: (the handler, what points the stream at the target, what copies the target
# to the log file at the end). The console handlers write by descriptor, whatever it is.
DRAIN = "open(path, 'wb').write(b''.join(iter(lambda: read(65536), b'')))"
JSON_TARGETS = {
    "file": ("JsonFileHandler(path, level=Level.DEBUG)", "pass", "pass"),
    "stdout-file": (
        "JsonStdoutHandler(Level.DEBUG)",
        "os.dup2(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC), 1)",
        "pass",
    ),
    "stdout-pipe": (
        "JsonStdoutHandler(Level.DEBUG)",
        "r, w = os.pipe(); os.dup2(w, 1); os.close(w); read = lambda n: os.read(r, n)",
        f"os.close(1); {DRAIN}",
    ),
    "stdout-socket": (
        "JsonStdoutHandler(Level.DEBUG)",
        "a, b = socket.socketpair(); os.dup2(b.fileno(), 1); b.close(); read = a.recv",
        f"os.close(1); {DRAIN}",
    ),
    "stderr-pipe": (
        "JsonStderrHandler(level=Level.DEBUG)",
        "r, w = os.pipe(); os.dup2(w, 2); os.close(w); read = lambda n: os.read(r, n)",
        f"os.close(2); {DRAIN}",
    ),
}


@pytest.mark.parametrize("target", list(JSON_TARGETS))
def test_json_file_handler_lines(child, tmp_path, target):
    log = tmp_path / "j" / "app.jsonl"
    handler, redirect, collect = JSON_TARGETS[target]
    if target != "file":  # the file handler makes the folder itself
        redirect = f"os.makedirs(os.path.dirname(path)); {redirect}"
    out = child.script(
        "emit.py",
        f"""
        import logging, os, socket, threading; path = {str(log)!r}
        from zelvar.scrivo.scrivo import *; out = os.dup(1); {redirect}
        lg = Logger('json.app', handlers=[{handler}], set_default=True)
        lg.trace('below the level')
        for text in {JSON_TEXTS!r}:
            lg.info(text)
        lg.critical('last')
        logging.getLogger('lib').error('from %s', 'stdlib', extra={{'request_id': 7, 'peer': ('h', 1)}})
        DefaultLogger().warn('default')
        os.write(out, f'{{os.getpid()}} {{threading.get_native_id()}}'.encode())
        {collect}
    """,
    ).stdout.split()
    pid, tid = map(int, out)
    records = [json.loads(line) for line in log.read_text(encoding="utf-8").splitlines()]
    assert [r["message"] for r in records] == JSON_TEXTS + ["last", "from stdlib", "default"]
    stdlib = records.pop(-2)  # the takeover's: the standard record's logger name and extras follow as fields
    assert list(stdlib) == JSON_KEYS + ["stdlib_logger", "request_id", "peer"]
    assert [stdlib["stdlib_logger"], stdlib["request_id"], stdlib["peer"]] == ["lib", 7, ["h", 1]]
    records.insert(-1, stdlib)
    assert {tuple(r) for r in records if r is not stdlib} == {tuple(JSON_KEYS)}
    assert [r["level"] for r in records] == ["info"] * len(JSON_TEXTS) + ["critical", "error", "warning"]
    assert {(r["logger"], r["file"], r["thread"], r["pid"]) for r in records} == {("json.app", "emit.py", tid, pid)}
    assert [r["line"] for r in records] == [7] * len(JSON_TEXTS) + [8, 9, 10]
    for r in records:
        stamp = datetime.datetime.fromisoformat(r["time"].replace("Z", "+00:00"))
        assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z", r["time"])
        assert abs(stamp - datetime.datetime.now(datetime.timezone.utc)) < datetime.timedelta(minutes=2)


@pytest.mark.parametrize("overwrite", [False, True])
def test_json_file_handler_rotates_and_overwrites(child, tmp_path, overwrite):
    base = tmp_path / "rot.jsonl"
    base.write_text('{"message": "old"}\n')
    run_with_scrivo(
        child,
        f"""
        lg = Logger('jrot', handlers=[JsonFileHandler({str(base)!r}, overwrite={overwrite}, max_size=400,
                                                      max_files=2)])
        for i in range(40):
            lg.info('line %02d' % i)
    """,
    )
    assert sorted(p.name for p in tmp_path.glob("rot*")) == ["rot.1.jsonl", "rot.2.jsonl", "rot.jsonl"]
    assert all(p.stat().st_size <= 400 for p in tmp_path.glob("rot*"))
    kept = [
        json.loads(line)["message"]
        for p in ["rot.2.jsonl", "rot.1.jsonl", "rot.jsonl"]
        for line in (tmp_path / p).read_text().splitlines()
    ]
    assert kept == ["line %02d" % i for i in range(40 - len(kept), 40)]


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


def tagged(text):
    """{tag: [n, ...]} of records "<tag> <n> <n % 97 times x>", in file order; None if a line is broken."""
    if whole_records(text) is None:
        return None
    seen = {}
    for line in text.splitlines():
        tag, n = line.split(" ")[:2]
        seen.setdefault(tag, []).append(int(n))
    return seen


def test_nonblocking_keeps_each_threads_order(tmp_path):
    log = tmp_path / "threads.log"
    lg = Logger("nb-threads", handlers=[FileHandler(str(log), pattern="%v")], queue_size=64)
    count = 3000
    writers = [
        threading.Thread(target=lambda k=k: [lg.info(f"p{k} {n} {'x' * (n % 97)}") for n in range(count)])
        for k in range(8)
    ]
    writers.append(threading.Thread(target=native.log_from_threads, args=(lg, 2, count, "n")))
    for w in writers:
        w.start()
    for w in writers:
        w.join()
    lg.flush()
    assert tagged(log.read_text()) == {tag: list(range(count)) for tag in [f"p{k}" for k in range(8)] + ["n0", "n1"]}


@pytest.mark.parametrize("queue_size", [1, 64])
def test_drop_oldest_counts_what_it_drops_and_flush_waits(queue_size):
    lg = Logger("nb-drop", handlers=[StderrHandler(level=Level.OFF)], queue_size=queue_size, overflow="drop_oldest")
    native.add_gate_sink(lg)  # the writer stalls on the first record it takes
    total = 5000
    for n in range(total):
        lg.info(str(n))
    flushing = threading.Thread(target=lg.flush)
    flushing.start()
    flushing.join(0.3)
    assert flushing.is_alive()  # a record queued before the call is still held at the gate
    native.open_gate()
    flushing.join(60)
    assert not flushing.is_alive()
    written = [int(text) for text in native.gate_records()]
    assert lg.dropped > 0 and len(written) + lg.dropped == total
    assert written == sorted(set(written)) and written[-queue_size:] == list(range(total - queue_size, total))


@pytest.mark.parametrize("queue_size", [0, 8])
def test_flush_writes_what_was_logged(tmp_path, queue_size):
    log, default_log = tmp_path / "flush.log", tmp_path / "default.log"
    lg = Logger("flush", handlers=[FileHandler(str(log), pattern="%v")], queue_size=queue_size)
    Logger(
        "flush-default",
        handlers=[FileHandler(str(default_log), pattern="%v")],
        queue_size=queue_size,
        set_default=True,
        intercept_stdlib_logging=False,
    )
    for n in range(1000):  # more than the file sink buffers
        lg.info(f"r {n}")
        DefaultLogger().info(f"d {n}")
    lg.flush()
    DefaultLogger().flush()
    assert log.read_text().splitlines() == [f"r {n}" for n in range(1000)]
    assert default_log.read_text().splitlines() == [f"d {n}" for n in range(1000)]


SAME_CALLS = """
    import logging, sys, threading
    from zelvar import _testing as native
    lg = Logger('same', handlers=[StdoutHandler(True, '%l %s:%#:%! %t %v'),
                                  FileHandler({log!r}, pattern='%l %s:%#:%! %t%K %v')],
                set_default=True, queue_size={queue_size})
    print(threading.get_native_id(), file=sys.stderr)
    def f():
        lg.info('coloured', 31)
        lg.warning('w', effect=1)
        lg.log(Level.CRITICAL, 'at a level', bg_color=44)
        logging.getLogger('lib').error('standard %s', 'record')
        DefaultLogger().debug('default')
        native.log_through(1, 'same', 4, 'native')
        try:
            {{}}['missing']
        except KeyError:
            lg.exception('failed', 32)
        # Around a queue slot's own room, past it, and past the buffer kept from record to record.
        for n in (0, 40, 50, 60, 100, 20000, 70):
            lg.info('m' * n)
        lg.bind(user='u', n=2).info('bound')
    f()
"""


def test_nonblocking_output_is_the_synchronous_output(child, tmp_path):
    outputs = []
    for queue_size in (0, 16):
        log = tmp_path / f"same{queue_size}.log"
        proc = run_with_scrivo(child, SAME_CALLS.format(log=str(log), queue_size=queue_size))
        tid = proc.stderr.split()[0]
        outputs.append((proc.stdout.replace(tid, b"TID"), log.read_bytes().replace(tid, b"TID")))
    assert outputs[0] == outputs[1]
    stdout, file = outputs[0]
    assert ESC + b"[31mcoloured" in stdout and b"info prog" not in file and b"TID coloured\n" in file
    assert b"error <string>:19:f TID failed\nTraceback" in file and b"\nKeyError: 'missing'\n" in file
    assert file.endswith(
        b"".join(b"info <string>:22:f TID " + b"m" * n + b"\n" for n in (0, 40, 50, 60, 100, 20000, 70))
        + b"info <string>:23:f TID user=u n=2 bound\n"
    )


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


def test_exit_writes_a_full_queue(child, tmp_path):
    log = tmp_path / "exit.log"
    run_with_scrivo(
        child,
        f"""
        import logging
        from zelvar import _testing as native
        lg = Logger('exit', handlers=[FileHandler({str(log)!r}, pattern='%v')], queue_size=32, set_default=True)
        for n in range(20000):
            lg.info(f"py {{n}} {{'x' * (n % 97)}}")
            if n % 10 == 0:
                logging.warning(f"std {{n // 10}} {{'x' * (n // 10 % 97)}}")
        native.log_from_threads(lg, 1, 20000, 'native')
    """,
    )
    assert tagged(log.read_text()) == {
        "py": list(range(20000)),
        "std": list(range(2000)),
        "native0": list(range(20000)),
    }


def test_fork_while_the_writer_is_busy(child, tmp_path):
    log = tmp_path / "fork.log"
    run_with_scrivo(
        child,
        f"""
        import os, sys, threading, time
        lg = Logger('fork', handlers=[FileHandler({str(log)!r}, pattern='%v')], queue_size=256)
        record = lambda tag, n: f"{{tag}} {{n}} {{'x' * (n % 97)}}"
        busy = threading.Thread(target=lambda: [lg.info(record('thread', n)) for n in range(50000)])
        busy.start()
        children = []
        for k in range(3):
            time.sleep(0.02)
            pid = os.fork()
            if pid == 0:
                for n in range(2000):
                    lg.info(record(f'child{{k}}', n))
                if k == 0:  # the others end through the interpreter's exit
                    lg.flush()
                    os._exit(0)
                sys.exit(0)
            children.append(pid)
        for n in range(2000):
            lg.info(record('parent', n))
        deadline = time.monotonic() + 60
        for pid in children:
            while os.waitpid(pid, os.WNOHANG) == (0, 0):
                assert time.monotonic() < deadline, 'a child hangs'
                time.sleep(0.01)
        busy.join()
    """,
        leak_check=False,
    )
    expected = {
        "thread": list(range(50000)),
        "parent": list(range(2000)),
        **{f"child{k}": list(range(2000)) for k in range(3)},
    }
    assert tagged(log.read_text()) == expected


EXIT_WITH_THREADS_WAITING = """
    import atexit, sys, threading, time
    from zelvar.scrivo.scrivo import FileHandler, Logger
    lg = Logger('exit-blocked', handlers=[FileHandler(sys.argv[1], pattern='%v')], queue_size=1)
    pad = 'x' * 100000  # records that take a while, so threads are still waiting when the exit starts
    exiting = []
    def spam(k):
        n = 0
        while not exiting:
            lg.info(f't{k} {n} ' + pad)
            n += 1
        # Off the interpreter lock for good: only the threads caught waiting for room remain at the
        # interpreter's end (busy daemon threads can crash the interpreter there by themselves).
        threading.Event().wait()
    for k in range(8):
        threading.Thread(target=spam, args=(k,), daemon=True).start()
    atexit.register(exiting.append, True)  # runs before the logging module's exit handler
    time.sleep(0.05)
"""


def test_exit_with_daemon_threads_waiting_for_room(tmp_path):
    # Whether a thread is caught waiting depends on timing: several exits, at once. A daemon thread
    # ended at the exit leaves the interpreter's own blocks for it: no leak check in the children.
    env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
    procs = [
        subprocess.Popen(
            [sys.executable, "-c", textwrap.dedent(EXIT_WITH_THREADS_WAITING), str(tmp_path / f"{k}.log")],
            stderr=subprocess.PIPE,
            env=env,
        )
        for k in range(8)
    ]
    for k, proc in enumerate(procs):
        _, err = proc.communicate(timeout=60)
        assert proc.returncode == 0, err.decode(errors="replace")
        # Each thread's records up to the exit, none missing or twice.
        seen = {}
        for line in (tmp_path / f"{k}.log").read_text().splitlines():
            tag, n, pad = line.split(" ")
            assert pad == "x" * 100000
            seen.setdefault(tag, []).append(int(n))
        assert seen and all(numbers == list(range(len(numbers))) for numbers in seen.values())


@pytest.mark.parametrize("overflow", ["block", "drop_oldest"])
def test_fork_while_a_sink_is_stalled(child, tmp_path, overflow):
    # A FIFO nobody reads: the writer is stuck in its sink when the fork comes.
    run_with_scrivo(
        child,
        f"""
        import os, select, sys, threading, time
        fifo, copy = {str(tmp_path / "fifo")!r}, {str(tmp_path / "copy.log")!r}
        os.mkfifo(fifo)
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        lg = Logger('stalled', handlers=[FileHandler(fifo, pattern='%v'), FileHandler(copy, pattern='%v')],
                    queue_size={64 if overflow == "drop_oldest" else 4096}, overflow={overflow!r})
        for n in range(2000):
            lg.info(f"parent {{n}} " + "x" * 1000)
            if n % 100 == 0:
                time.sleep(0.01)  # the writer gets to the sink and fills the pipe
        time.sleep(0.2)
        pid = os.fork()
        if pid == 0:
            lg.info("child")
            lg.flush()
            sys.exit(0)
        deadline = time.monotonic() + 30
        while os.waitpid(pid, os.WNOHANG) == (0, 0):
            assert time.monotonic() < deadline, 'the child hangs'
            time.sleep(0.01)
        got = bytearray()
        done = threading.Event()
        def drain():
            while not done.is_set() or select.select([reader], [], [], 0)[0]:
                if select.select([reader], [], [], 0.01)[0]:
                    got.extend(os.read(reader, 1 << 16))
        drainer = threading.Thread(target=drain)
        drainer.start()
        lg.flush()
        done.set()
        drainer.join()
        with open({str(tmp_path / "fifo.log")!r}, 'wb') as f:
            f.write(got)
    """,
        leak_check=False,
    )
    # What the child's copy of the sinks held is written once, by the parent, and never in part.
    fifo, copy = (lines((tmp_path / name).read_bytes()) for name in ("fifo.log", "copy.log"))
    assert fifo == copy
    numbers = [int(line.split(" ")[1]) for line in copy]
    assert all(line == f"parent {n} " + "x" * 1000 for line, n in zip(copy, numbers, strict=False))
    assert numbers == sorted(set(numbers))
    if overflow == "block":
        assert numbers == list(range(2000))


def test_exit_with_a_nonblocking_logger_in_a_live_sub_interpreter(tmp_path):
    log = tmp_path / "sub.log"
    sub = textwrap.dedent(f"""
        from zelvar.scrivo.scrivo import FileHandler, Logger
        lg = Logger('sub-nb', handlers=[FileHandler({str(log)!r}, pattern='%v')], queue_size=64)
        for n in range(1000):
            lg.info(f'record {{n}}')
    """)
    # The process ends with the sub-interpreter and its logger still alive.
    code = textwrap.dedent(SUB_INTERPRETER) + f"print(in_sub({sub!r}))\n"
    proc = run_python(code, text=True, timeout=30)
    assert proc.returncode == 0 and proc.stdout == "None\n", proc.stderr
    assert lines(log.read_bytes()) == [f"record {n}" for n in range(1000)]


def test_a_dropped_nonblocking_logger_releases_its_thread_and_files(child, tmp_path):
    run_with_scrivo(
        child,
        f"""
        import gc, os
        counts = lambda: (len(os.listdir('/proc/self/task')), len(os.listdir('/proc/self/fd')))
        Logger('warm-up', handlers=[FileHandler({str(tmp_path / "warm.log")!r})], queue_size=8).info('x')
        gc.collect()
        before = counts()
        quiet = lambda: [StderrHandler(level=Level.OFF)]
        Logger('next', handlers=quiet())
        for n in range(50):
            # Every other one is the default for a while, written through DefaultLogger, which keeps it
            # until the default moves on: then it must not keep it from being released.
            lg = Logger(f'dropped-{{n}}', handlers=[FileHandler({str(tmp_path)!r} + f'/{{n}}.log', pattern='%v')],
                        queue_size=8, set_default=n % 2 == 0)
            (DefaultLogger() if n % 2 == 0 else lg).info(f'record {{n}}')
            if n % 2 == 0:
                Logger('next', handlers=quiet(), set_default=True)
            del lg
        gc.collect()
        assert counts() == before, (before, counts())
        # The default lives on in the registry.
        kept = Logger('kept', handlers=[FileHandler({str(tmp_path / "kept.log")!r}, pattern='%v')],
                      queue_size=8, set_default=True)
        del kept
        DefaultLogger().info('through the default')
    """,
    )
    assert [(tmp_path / f"{n}.log").read_text() for n in range(50)] == [f"record {n}\n" for n in range(50)]
    assert (tmp_path / "kept.log").read_text() == "through the default\n"


def test_a_large_queue_takes_memory_as_it_is_used(child, tmp_path):
    run_with_scrivo(
        child,
        f"""
        import os
        rss = lambda: int(open('/proc/self/statm').read().split()[1]) * os.sysconf('SC_PAGE_SIZE')
        before = rss()
        loggers = [Logger(f'big-{{k}}', handlers=[FileHandler({str(tmp_path)!r} + f'/{{k}}.log')], queue_size=1 << 20)
                   for k in range(4)]
        for lg in loggers:
            for n in range(100):
                lg.info('record')
            lg.flush()
        assert rss() - before < 64 << 20, rss() - before
    """,
    )
