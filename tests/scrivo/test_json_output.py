"""JSON lines read back from a file, a pipe or a socket: their keys, escaping, levels, locations and
times, the standard package's records with their extras, and rotation."""

import datetime
import json
import re

import pytest
from output_helpers import run_with_scrivo

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
