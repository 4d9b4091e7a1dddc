"""Console sinks captured from a child interpreter: which stream each level reaches, colours and what
turns them off, a stalled stream, and whole lines from many threads."""

import json
import os
import re
import textwrap

import pytest
from helpers import run_python
from output_helpers import ESC, PRELUDE, lines, run_bounded, run_with_scrivo


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
