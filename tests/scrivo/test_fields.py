"""Fields on records: bound loggers, log_context, and where the fields are written."""

import json
import pickle
import textwrap

import pytest

import zelvar.scrivo as z

# Each case runs in a fresh interpreter with `lg`, a Logger that is the process default, writing JSON
# lines; the expected fields are those after the eight fixed keys, record by record, in order.
FIELD_CASES = {
    "bound": ("lg.bind(user='ann', n=3).info('m')", [{"user": "ann", "n": 3}]),
    "values": (
        "lg.bind(s='x', i=-7, f=1.5, t=True, no=None, big=2**70, obj=[1, 'a'], inf=float('inf'), e='é\\n').info('m')",
        [
            {
                "s": "x",
                "i": -7,
                "f": 1.5,
                "t": True,
                "no": None,
                "big": 2**70,
                "obj": [1, "a"],
                "inf": "Infinity",
                "e": "é\n",
            }
        ],
    ),
    "containers, cycles and non-finite floats": (
        """
        cycle = [1]
        cycle.append(cycle)
        d = {'k': 'v'}
        d['me'] = d
        lg.info('m', nested={'a': (1, [None, {'x': 2.5}]), 3: True, None: 'n'}, deep=[[[[[[[[[0]]]]]]]]],
                cycle=cycle, d=d, nan=float('nan'), ninf=-float('inf'), inner=[float('inf')], empty=())
        """,
        [
            {
                "nested": {"a": [1, [None, {"x": 2.5}]], "3": True, "None": "n"},
                "deep": [[[[[[[["[0]"]]]]]]]],
                "cycle": [1, "[1, [...]]"],
                "d": {"k": "v", "me": "{'k': 'v', 'me': {...}}"},
                "nan": "NaN",
                "ninf": "-Infinity",
                "inner": ["Infinity"],
                "empty": [],
            }
        ],
    ),
    "call fields win over bound ones, bound over context": (
        "with z.log_context(a=1, u='ctx', x=0):\n    lg.bind(u='b', x=1).info('m', u='call', y=2)",
        [{"a": 1, "x": 1, "u": "call", "y": 2}],
    ),
    "every logging method takes call fields": (
        """
        lg.level = z.Level.TRACE
        for target in (lg, z.DefaultLogger(), lg.bind(b=0)):
            for m in ('trace', 'debug', 'info', 'warn', 'warning', 'error', 'critical', 'exception'):
                getattr(target, m)('m', k=m, fg_color=31)
            target.log(z.Level.INFO, 'm', k='log')
        """,
        [
            {**bound, "k": m}
            for bound in ({}, {}, {"b": 0})
            for m in ("trace", "debug", "info", "warn", "warning", "error", "critical", "exception", "log")
        ],
    ),
    "rebinding merges, later names win": (
        "b = lg.bind(a=1, b=2)\nb.bind(b=3, c=4).info('m')\nb.info('n')",
        [{"a": 1, "b": 3, "c": 4}, {"a": 1, "b": 2}],
    ),
    "default logger": ("z.DefaultLogger().bind(k='v').warn('m')", [{"k": "v"}]),
    "context nests and restores": (
        """
        with z.log_context(a=1, b=2):
            with z.log_context(b=3):
                lg.info('inner')
            lg.info('outer')
        lg.info('after')
        """,
        [{"a": 1, "b": 3}, {"a": 1, "b": 2}, {}],
    ),
    "context then bound, bound wins": (
        "with z.log_context(a=1, user='ctx'):\n    lg.bind(user='b', c=0).info('m')",
        [{"a": 1, "user": "b", "c": 0}],
    ),
    "asyncio tasks inherit": (
        """
        import asyncio, logging
        logging.getLogger('asyncio').setLevel(logging.WARNING)  # its debug record of the selector
        async def task(n):
            with z.log_context(task=n):
                await asyncio.sleep(0.01 * n)
                lg.info('t')
        async def main():
            with z.log_context(app='x'):
                await asyncio.gather(task(1), task(2))
        asyncio.run(main())
        """,
        [{"app": "x", "task": 1}, {"app": "x", "task": 2}],
    ),
    "standard logging inside a context": (
        """
        import logging
        with z.log_context(a=1):
            logging.getLogger('lib.x').warning('w', extra={'user': 'u', 'level': 'dropped'})
        """,
        [{"a": 1, "stdlib_logger": "lib.x", "user": "u"}],
    ),
    "native callers carry none": (
        """
        from zelvar import _testing
        with z.log_context(a=1):
            _testing.call_method(lg, 2, 'native table', 1)
            _testing.log_through(0, None, 2, 'native logger')
            lg.info('python')
        """,
        [{}, {}, {"a": 1}],
    ),
    "an async generator left open is closed by the loop": (
        """
        import asyncio, logging
        logging.getLogger('asyncio').setLevel(logging.WARNING)
        async def agen():
            with z.log_context(g=1):
                yield 1
                yield 2
        async def main():
            await agen().__anext__()
            lg.info('in')
        asyncio.run(main())  # closes it from another context; an error there would be logged here
        lg.info('after')
        """,
        [{"g": 1}, {}],
    ),
    "blocks left out of order never come back": (
        """
        def gen(**fields):
            with z.log_context(**fields):
                yield
        g = gen(g=1)
        next(g)
        with z.log_context(b=2):
            g.close()  # leaves the block `b` was entered in: back to the state before `g`
            lg.info('inside')
        lg.info('after')
        h = gen(h=1)
        with z.log_context(o=3):
            next(h)
        lg.info('o left')
        h.close()
        lg.info('h left')
        """,
        [{}, {}, {}, {}],
    ),
    "non-blocking logger": (
        """
        q = z.Logger('q', handlers=[z.JsonFileHandler(PATH)], queue_size=2)
        with z.log_context(a=1):
            for i in range(20):
                q.bind(i=i).info('m', c=[i])
        q.flush()
        """,
        [{"a": 1, "i": i, "c": [i]} for i in range(20)],
    ),
}


@pytest.mark.parametrize("code, expected", FIELD_CASES.values(), ids=FIELD_CASES.keys())
def test_fields_in_json_lines(child, tmp_path, code, expected):
    log = tmp_path / "app.jsonl"
    child(
        f"PATH = {str(log)!r}\n"
        "import zelvar.scrivo as z\n"
        "lg = z.Logger('app', handlers=[z.JsonFileHandler(PATH)], set_default=True)\n"
        + textwrap.dedent(code)
        + "\nlg.flush()\n"
    )
    records = [json.loads(line) for line in log.read_text(encoding="utf-8").splitlines()]
    fixed = ["time", "level", "logger", "message", "file", "line", "thread", "pid"]
    assert [list(r)[:8] for r in records] == [fixed] * len(expected)
    assert [{k: r[k] for k in list(r)[8:]} for r in records] == expected
    assert [list(r)[8:] for r in records] == [list(e) for e in expected]  # in order


def test_pattern_flag_writes_logfmt_pairs(child, tmp_path):
    plain, flagged = tmp_path / "plain.log", tmp_path / "flagged.log"
    child(
        f"""
import zelvar.scrivo as z
lg = z.Logger('app', handlers=[z.FileHandler({str(plain)!r}, pattern='%v'),
                               z.FileHandler({str(flagged)!r}, pattern='[%K] %v')])
lg.info('none')
lg.bind(user='ann', note='a b', eq='x=y', q='say "hi"\\\\', empty='', n=3, no=None, nl='a\\nb').info('m')
with z.log_context(ctx=1.5):
    lg.info('c')
lg.flush()
"""
    )
    assert plain.read_text().splitlines() == ["none", "m", "c"]
    assert flagged.read_text().splitlines() == [
        "[] none",
        '[ user=ann note="a b" eq="x=y" q="say \\"hi\\"\\\\" empty="" n=3 no=null nl="a\\nb"] m',
        "[ ctx=1.5] c",
    ]


# Each output as the only sink of its logger, and what it makes of a bound logger's record and of one
# in a log_context: the fields are gathered for every sink that writes them (only a logger whose sinks
# write none skips them).
FIELD_SINKS = {
    "JSON": ("z.JsonFileHandler('out')", ['a {"user": "ann"}', 'b {"ctx": 1}']),
    "pattern with %K": ("z.FileHandler('out', pattern='%v%K')", ["a user=ann", "b ctx=1"]),
    "syslog without %K": ("z.SyslogHandler(os.path.abspath('log.sock'), pattern='%v')", ["a user=ann", "b ctx=1"]),
    "pattern without %K": ("z.FileHandler('out', pattern='%v')", ["a", "b"]),
}


@pytest.mark.parametrize("queue_size", [0, 4])
@pytest.mark.parametrize("handler, expected", FIELD_SINKS.values(), ids=FIELD_SINKS.keys())
def test_fields_reach_each_sink_that_writes_them(child, tmp_path, handler, expected, queue_size):
    out = child(
        f"""
import json, os, socket
import zelvar.scrivo as z
rx = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
rx.bind('log.sock')
rx.settimeout(10)
lg = z.Logger('app', handlers=[{handler}], queue_size={queue_size})
lg.bind(user='ann').info('a')
with z.log_context(ctx=1):
    lg.info('b')
lg.flush()
if 'Syslog' in {handler!r}:
    print('\\n'.join(rx.recv(1000).decode().split(']: ', 1)[1] for _ in range(2)))
"""
    )
    if "Syslog" in handler:
        assert out.stdout.decode().splitlines() == expected
    elif "Json" in handler:
        records = [json.loads(line) for line in (tmp_path / "out").read_text().splitlines()]
        assert [f"{r['message']} {json.dumps(dict(list(r.items())[8:]))}" for r in records] == expected
    else:
        assert (tmp_path / "out").read_text().splitlines() == expected


# Names `bind` refuses, as a standard record's `extra` carries them after the takeover, and values with
# the line separators of Unicode-aware readers: every output keeps one record to a line, the text pairs
# only names `bind` accepts, JSON every name.
HOSTILE_EXTRA = {"x\nerror FORGED admin logged in": 1, "a b": 2, "k=v": 3, 'q"': 4, "ls\u2028x": 5, "nel\x85": 6}
SEPARATED = "a\u2028b\u2029c\x85d"


def test_text_outputs_keep_hostile_fields_in_their_record(child, tmp_path):
    out = child(
        f"""
import json, logging, os, socket
import zelvar.scrivo as z
rx = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
rx.bind('log.sock')
rx.settimeout(10)
lg = z.Logger('app', handlers=[z.FileHandler('k.log', pattern='%v%K'), z.JsonFileHandler('j.jsonl'),
                               z.SyslogHandler(os.path.abspath('log.sock'), pattern='%v')], set_default=True)
logging.getLogger('lib').warning('m', extra={{**{HOSTILE_EXTRA!r}, '1a': 7, 'ok': {SEPARATED!r}, 'größe': 8}})
lg.bind(s={SEPARATED!r}).info('s')
lg.flush()
print(json.dumps([rx.recv(70000).decode() for _ in range(2)]))
"""
    )
    pairs = ['m stdlib_logger=lib ok="a\\u2028b\\u2029c\\u0085d" größe=8', 's s="a\\u2028b\\u2029c\\u0085d"']
    assert (tmp_path / "k.log").read_text(encoding="utf-8").splitlines() == pairs
    assert [line.split("]: ", 1)[1] for line in json.loads(out.stdout)] == pairs
    records = [json.loads(line) for line in (tmp_path / "j.jsonl").read_text(encoding="utf-8").splitlines()]
    assert [list(r.items())[8:] for r in records] == [
        [("stdlib_logger", "lib"), *HOSTILE_EXTRA.items(), ("1a", 7), ("ok", SEPARATED), ("größe", 8)],
        [("s", SEPARATED)],
    ]


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        ({"level": 1}, ValueError, "field name 'level' is one of the fixed JSON keys"),
        ({"pid": 1}, ValueError, "field name 'pid' is one of the fixed JSON keys"),
        ({"a b": 1}, ValueError, "field name 'a b' is not an identifier"),
        ({"1a": 1}, ValueError, "field name '1a' is not an identifier"),
        ({"exception": 1}, ValueError, "field name 'exception' is one of the fixed JSON keys"),
        ({"s": "\udc80"}, UnicodeEncodeError, None),
    ],
)
def test_bind_and_calls_refuse_bad_fields(tmp_path, kwargs, error, message):
    log = tmp_path / "nothing.log"
    lg = z.Logger("bind-checks", level=z.Level.INFO, handlers=[z.FileHandler(str(log))])
    calls = (lambda **kw: lg.info("m", **kw), lambda **kw: lg.bind(ok=1).warning("m", **kw))
    for bind in (lg.bind, z.DefaultLogger().bind, lg.bind(ok=1).bind, z.log_context, *calls):
        with pytest.raises(error) as raised:
            if bind is z.log_context:
                with bind(**kwargs):
                    pass
            else:
                bind(**kwargs)
        assert message is None or str(raised.value) == message
    lg.debug("m", **kwargs)  # a disabled level looks at no field
    lg.flush()
    assert log.read_text() == ""


def test_bound_logger_shares_the_native_logger(tmp_path):
    lg = z.Logger("shared", level=z.Level.WARN, handlers=[z.FileHandler(str(tmp_path / "shared.log"))])
    bound = lg.bind(a=1)
    assert type(bound) is z.BoundLogger and type(bound.bind(b=2)) is z.BoundLogger
    assert bound.name == "shared"
    assert [bound.is_enabled_for(level) for level in (z.Level.INFO, z.Level.WARN)] == [False, True]
    lg.level = z.Level.INFO
    assert bound.is_enabled_for(z.Level.INFO)
    with pytest.raises(TypeError, match="only keyword arguments"):
        lg.bind({"a": 1})
    with pytest.raises(TypeError):
        z.BoundLogger()
    with pytest.raises(TypeError):
        pickle.dumps(bound)


# Each case logs 'm' with an exception (through `lg`, or a standard logger after the takeover) and
# leaves its (type, value, traceback) in `info`, or None for a record that carries none.
EXCEPTION_CASES = {
    "exception() in an except block": (
        "try:\n    {}['k']\nexcept KeyError:\n    info = sys.exc_info()\n    lg.exception('m')",
        "KeyError",
        "'k'",
    ),
    "exc_info=True on another method": (
        """
        try:
            raise Outer.Oops('o')
        except Exception:
            info = sys.exc_info()
            lg.warning('m', exc_info=True)
        """,
        "__main__.Outer.Oops",
        "o",
    ),
    "exc_info as a tuple, outside the except block": (
        """
        try:
            1 / 0
        except Exception as e:
            info = (type(e), e, e.__traceback__)
        lg.info('m', exc_info=info)
        """,
        "ZeroDivisionError",
        "division by zero",
    ),
    "exc_info as an instance, chained": (
        """
        try:
            try:
                raise OSError(2, 'inner')
            except OSError as inner:
                raise ValueError('outer') from inner
        except ValueError as e:
            caught = e
        info = (ValueError, caught, caught.__traceback__)
        lg.error('m', exc_info=caught)
        """,
        "ValueError",
        "outer",
    ),
    "an exception whose str() raises": (
        "try:\n    raise Outer.Bad()\nexcept Exception:\n    info = sys.exc_info()\n    lg.exception('m')",
        "__main__.Outer.Bad",
        "<exception str() failed>",
    ),
    "a standard record with exc_info": (
        "try:\n    raise Outer.Oops('std')\nexcept Exception:\n"
        "    info = sys.exc_info()\n    logging.getLogger('lib').exception('%s', 'm')",
        "__main__.Outer.Oops",
        "std",
    ),
    "none being handled, or a false exc_info": (
        "info = None\nlg.exception('m')\ntry:\n    1 / 0\nexcept Exception:\n    lg.info('m', exc_info=False)",
        None,
        None,
    ),
}


@pytest.mark.parametrize("code, type_name, message", EXCEPTION_CASES.values(), ids=EXCEPTION_CASES.keys())
def test_exceptions_as_data(child, tmp_path, code, type_name, message):
    out = child(
        "import json, logging, sys, traceback\n"
        "import zelvar.scrivo as z\n"
        "class Outer:\n"
        "    class Oops(Exception): pass\n"
        "    class Bad(Exception):\n"
        "        def __str__(self): raise RuntimeError('no text')\n"
        f"lg = z.Logger('app', handlers=[z.JsonFileHandler({str(tmp_path / 'j.jsonl')!r}),"
        f" z.FileHandler({str(tmp_path / 't.log')!r}, pattern='%v')], set_default=True)\n"
        + textwrap.dedent(code)
        + "\nlg.flush()\nprint(json.dumps(''.join(traceback.format_exception(*info)) if info else None))\n"
    )
    formatted = json.loads(out.stdout)
    records = [json.loads(line) for line in (tmp_path / "j.jsonl").read_text(encoding="utf-8").splitlines()]
    text = (tmp_path / "t.log").read_text(encoding="utf-8")
    if formatted is None:
        assert [list(r)[8:] for r in records] == [[], []] and text == "m\nm\n"
        return
    (record,) = records
    assert list(record)[3:9] == ["message", "file", "line", "thread", "pid", "exception"]
    assert record["message"] == "m"
    assert record["exception"] == {"type": type_name, "message": message, "traceback": formatted}
    # Text sinks: the traceback after the message, as the standard formatter appends it.
    stdlib = "stdlib_logger" in record
    assert text == "m\n" + (formatted if stdlib else formatted.rstrip("\n")) + "\n"


CAPTURED = """
import logging, sys
import zelvar.scrivo as z
lg = z.Logger('app', handlers=[z.JsonFileHandler('DIR/j.jsonl'), z.FileHandler('DIR/t.log', pattern='%v |%K')],
              set_default=True, queue_size=QUEUE)
with z.log_context(c=1):
    for i in range(50):
        lg.bind(b=i).info('m', i=i, tags=['a', {'n': i}], f=float('nan'))
    try:
        raise KeyError(i)
    except KeyError:
        lg.exception('e', x=1)
        logging.getLogger('lib').error('s', exc_info=True, stack_info=True)
lg.flush()
"""


def test_nonblocking_writes_what_a_synchronous_logger_writes(child, tmp_path):
    outputs = []
    for queue in (0, 4):
        (tmp_path / str(queue)).mkdir()
        script = CAPTURED.replace("QUEUE", str(queue)).replace("DIR", str(tmp_path / str(queue)))
        child.script("run.py", script)  # one path, as the tracebacks show it
        records = [json.loads(line) for line in (tmp_path / str(queue) / "j.jsonl").read_text().splitlines()]
        for r in records:
            del r["time"], r["thread"], r["pid"]  # those of the process that ran it
        outputs.append((records, (tmp_path / str(queue) / "t.log").read_text()))
    assert outputs[0] == outputs[1]
    assert len(outputs[0][0]) == 52 and [list(r)[5] for r in outputs[0][0][-2:]] == ["exception", "exception"]


def test_json_numbers_match_the_writer(child, tmp_path):
    """line, thread and pid as the writing code sees them: a line past 100000, several threads and a
    forked child (whose pid differs from the one the parent wrote before the fork)."""
    log = tmp_path / "numbers.jsonl"
    child(
        textwrap.dedent(
            f"""\
            import os, sys, threading
            import zelvar.scrivo as z
            lg = z.Logger('app', handlers=[z.JsonFileHandler({str(log)!r})])
            def here():
                f = sys._getframe(1)
                return dict(want_line=f.f_lineno, want_thread=threading.get_native_id(), want_pid=os.getpid())
            # The location written is that of the logging call's caller.
            source = "def emit(**want):\\n    lg.info('far', **want)\\ndef far():\\n    emit(**here())"
            exec(compile("\\n" * 100000 + source, "far.py", "exec"))
            far()
            threads = [threading.Thread(target=far) for _ in range(4)]
            for t in threads: t.start()
            for t in threads: t.join()
            lg.flush()
            pid = os.fork()
            if pid == 0:
                far()
                lg.flush()
                os._exit(0)
            os.waitpid(pid, 0)
            far()
            """
        ),
        leak_check=False,
    )
    records = [json.loads(line) for line in log.read_text().splitlines()]
    assert len(records) == 7 and len({r["pid"] for r in records}) == 2
    assert all(
        (r["line"], r["thread"], r["pid"]) == (r["want_line"], r["want_thread"], r["want_pid"]) for r in records
    ), records
