"""The caller's location (file, line, function) each record carries: through stack levels, coroutines,
threads and the standard package, beside sinks that write none, in file names that are not UTF-8
and across many code objects."""

import json
import os
import re
import textwrap

import pytest
from output_helpers import PRELUDE

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
