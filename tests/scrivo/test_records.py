"""Records Python sees: capture_records(), a logger's filter, CallbackHandler and the pytest fixture."""

import asyncio
import gc
import json
import pickle
import sys
import threading
import weakref

import pytest

from zelvar import scrivo as z
from zelvar.scrivo import Level


def file_logger(tmp_path, name, **kwargs):
    path = tmp_path / f"{name}.log"
    return z.Logger(name, handlers=[z.FileHandler(str(path), pattern="%v")], **kwargs), path


def lines(path):
    return path.read_text().splitlines()


@pytest.fixture
def unraisable(monkeypatch):
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: seen.append((type(u.exc_value), str(u.err_msg or ""))))
    return seen


def error_record():
    try:
        raise KeyError("k")
    except KeyError as e:
        return e


def plain(log):
    log.info("m")


def call_fields(log):
    log.info("m", n=3, s="x", t=True, l=[1, {"a": None}], f=1.5)


def bound(log):
    log.bind(user="u").info("m", n=3)


def context(log):
    with z.log_context(req=9):
        log.bind(user="u").info("m")


def exception(log):
    log.error("m", exc_info=error_record())


@pytest.mark.parametrize(
    "call, expected",
    [
        (plain, {"message": "m", "level": Level.INFO, "fields": {}, "exception": None}),
        (call_fields, {"fields": {"n": 3, "s": "x", "t": True, "l": [1, {"a": None}], "f": 1.5}}),
        (bound, {"fields": {"user": "u", "n": 3}}),
        (context, {"fields": {"req": 9, "user": "u"}}),
        (exception, {"message": "m", "level": Level.ERROR}),
    ],
    ids=lambda v: getattr(v, "__name__", ""),
)
@pytest.mark.parametrize("queue_size", [0, 8])
def test_capture_dict(tmp_path, call, expected, queue_size):
    log, path = file_logger(tmp_path, f"cap-{call.__name__}-{queue_size}", queue_size=queue_size, level=Level.INFO)
    with z.capture_records() as records:
        line = sys._getframe().f_lineno + 1
        call(log)  # the location named: the caller of the function that logged
        log.debug("below level", n=1)
    log.flush()
    (record,) = records
    assert record.items() >= {"logger": log.name, "message": "m", **expected}.items()
    assert (record["file"], record["line"], record["function"]) == ("test_records.py", line, "test_capture_dict")
    assert type(record["level"]) is Level
    if call is exception:
        assert record["exception"]["type"] == "KeyError"
        assert record["exception"]["message"] == "'k'"
        assert record["exception"]["traceback"].startswith("Traceback")
        assert lines(path)[1] == "Traceback (most recent call last):"  # the sinks still get it after the message
    else:
        assert lines(path) == ["m"]


@pytest.mark.parametrize("where", ["thread", "task", "same"])
def test_captures_nest_and_span_threads_and_tasks(tmp_path, where):
    log, _ = file_logger(tmp_path, f"span-{where}")

    async def tasks():
        await asyncio.gather(*(asyncio.to_thread(log.info, "inner") if i else asyncio.sleep(0) for i in range(2)))
        await asyncio.create_task(asyncio.sleep(0, log.info("inner")))

    with z.capture_records() as outer:
        log.info("before")
        with z.capture_records() as inner:
            if where == "thread":
                t = threading.Thread(target=log.info, args=("inner",))
                t.start()
                t.join()
            elif where == "task":
                asyncio.run(tasks())
            else:
                log.info("inner")
        log.info("after")
    log.info("outside")
    count = 2 if where == "task" else 1
    assert [r["message"] for r in inner] == ["inner"] * count
    assert [r["message"] for r in outer] == ["before", *["inner"] * count, "after"]


def test_capture_default_bound_and_standard_records(child):
    proc = child.script(
        "std.py",
        """
        import json, logging
        from zelvar import scrivo as z
        # No reference kept: the filter stays with the default's native logger.
        z.Logger("app", handlers=[z.FileHandler("app.log", pattern="%v")], set_default=True,
                 filter=lambda r: "dropped" not in r["message"])
        with z.capture_records() as records:
            z.DefaultLogger().info("default")
            z.DefaultLogger().info("dropped")
            logging.getLogger("lib").info("dropped too")
            z.DefaultLogger().bind(k=1).warn("bound")
            logging.getLogger("lib").warning("std %s", 1, extra={"extra_key": 2})
            try:
                1 / 0
            except ZeroDivisionError:
                logging.getLogger("lib").exception("failed")
        print(json.dumps(records, default=str))
        """,
    )
    records = json.loads(proc.stdout)
    assert [(r["logger"], r["message"], r["level"]) for r in records] == [
        ("app", "default", Level.INFO),
        ("app", "bound", Level.WARN),
        ("app", "std 1", Level.WARN),
        ("app", "failed", Level.ERROR),
    ]
    assert records[1]["fields"] == {"k": 1}
    assert records[2]["fields"] == {"stdlib_logger": "lib", "extra_key": 2}
    assert records[2]["file"] == "std.py" and records[2]["function"] == "<module>"
    assert records[3]["exception"]["type"] == "ZeroDivisionError"
    assert (child.tmp_path / "app.log").read_text().startswith("default\nbound\nstd 1\nfailed\nTraceback")


@pytest.mark.parametrize("queue_size", [0, 8])
def test_filter_drops_for_every_sink_and_the_capture(tmp_path, queue_size):
    seen, called = [], []

    def keep(record):
        seen.append((record["message"], threading.get_ident()))
        return "secret" not in record["message"]

    path = tmp_path / "f.log"
    log = z.Logger(
        "filtered",
        handlers=[z.FileHandler(str(path), pattern="%v"), z.CallbackHandler(lambda r: called.append(r["message"]))],
        queue_size=queue_size,
        filter=keep,
    )
    assert log.filter is keep
    with z.capture_records() as records:
        log.info("a")
        log.info("a secret")
        log.bind(k=1).info("bound secret")
        log.debug("b")
    log.flush()
    assert [r["message"] for r in records] == called == lines(path) == ["a", "b"]
    assert seen == [(m, threading.get_ident()) for m in ["a", "a secret", "bound secret", "b"]]


@pytest.mark.parametrize("hook", ["filter", "callback"])
def test_a_raising_hook_is_reported_and_logging_goes_on(tmp_path, unraisable, hook):
    def boom(record):
        raise ValueError(record["message"])

    path = tmp_path / "r.log"
    handlers = [z.FileHandler(str(path), pattern="%v")]
    if hook == "callback":
        handlers.append(z.CallbackHandler(boom))
    log = z.Logger(f"raising-{hook}", handlers=handlers, filter=boom if hook == "filter" else None)
    log.info("one")
    log.info("two")
    assert lines(path) == ["one", "two"]
    assert [t for t, _ in unraisable] == [ValueError, ValueError]


def test_filter_argument_and_its_collection(tmp_path):
    with pytest.raises(TypeError, match="'filter' has incorrect type .expected callable, got int"):
        z.Logger("bad-filter", handlers=[], filter=3)
    log = z.Logger("no-filter", handlers=[])
    assert log.filter is None
    with pytest.raises(AttributeError):
        log.filter = len

    class Filter:
        def __call__(self, record):
            return True

    f = Filter()
    f.logger = z.Logger("cycle", handlers=[], filter=f)  # the filter holds its logger
    alive = weakref.ref(f)
    del f
    gc.collect()
    assert alive() is None


@pytest.mark.parametrize("queue_size", [0, 8])
def test_callback_handler_thread_and_level(tmp_path, queue_size):
    got = []
    log = z.Logger(
        f"cb-{queue_size}",
        handlers=[z.CallbackHandler(lambda r: got.append((r["message"], threading.get_ident())), level=Level.INFO)],
        queue_size=queue_size,
    )
    log.debug("low")
    log.info("high", k=1)
    log.flush()
    assert [m for m, _ in got] == ["high"]
    assert (got[0][1] == threading.get_ident()) == (queue_size == 0)


@pytest.mark.parametrize("hook", ["filter", "callback"])
def test_a_hook_that_logs_does_not_recurse(tmp_path, hook):
    path = tmp_path / "n.log"
    got = []

    def relog(record):
        got.append(record["message"])
        log.info("nested " + record["message"])
        return True

    handlers = [z.FileHandler(str(path), pattern="%v")]
    if hook == "callback":
        handlers.append(z.CallbackHandler(relog))
    log = z.Logger(f"relog-{hook}", handlers=handlers, filter=relog if hook == "filter" else None)
    before = z.callback_skipped()
    log.info("x")
    assert got == ["x"]
    # The nested record is written; a callback does not get it (and counts it), a filter is not asked.
    assert lines(path) == (["x", "nested x"] if hook == "callback" else ["nested x", "x"])
    assert z.callback_skipped() == before + (hook == "callback")


def test_non_blocking_callback_at_exit(child):
    # The writer takes the interpreter lock for each callable; exit drains it without a deadlock.
    proc = child(
        """
        from zelvar import scrivo as z
        log = z.Logger("q", handlers=[z.CallbackHandler(lambda r: print(r["message"], flush=True))], queue_size=4)
        for i in range(50):
            log.info(str(i))
        """
    )
    assert proc.stdout.decode().split() == [str(i) for i in range(50)]


def record_sink(record):  # for configure and pickling
    record_sink.got.append(record["message"])


record_sink.got = []


def test_callback_handler_pickles_and_configures():
    h = pickle.loads(pickle.dumps(z.CallbackHandler(record_sink, Level.WARN)))
    assert (h.callable, h.level) == (record_sink, Level.WARN)
    loggers = z.configure(
        {
            "version": 1,
            "handlers": {"cb": {"class": "CallbackHandler", "callable": f"{__name__}:record_sink", "level": "INFO"}},
            "loggers": {"configured-cb": {"handlers": ["cb"]}},
        }
    )
    loggers["configured-cb"].info("configured")
    assert record_sink.got[-1] == "configured"
    with pytest.raises(TypeError, match="^Argument 'callable' has incorrect type"):
        z.CallbackHandler("print")


@pytest.mark.parametrize("subclass", [False, True])
def test_a_callback_handler_in_a_cycle_with_its_callable_is_collected(subclass):
    freed = []

    class Sink:
        def __call__(self, record):
            pass

        def __del__(self):
            freed.append(True)

    kind = type("Sub", (z.CallbackHandler,), {}) if subclass else z.CallbackHandler
    sink = Sink()
    sink.handler = kind(sink)
    del sink
    gc.collect()
    assert freed == [True]


@pytest.mark.parametrize(
    "value, error, message",
    [
        (3, TypeError, "handlers.cb.callable: expected 'module:function', not int"),
        ("json.dumps", ValueError, "handlers.cb.callable: expected 'module:function', not 'json.dumps'"),
        ("json:nope", AttributeError, "handlers.cb.callable: cannot import 'json:nope'"),
        ("no_such_module_x:f", ModuleNotFoundError, "handlers.cb.callable: cannot import"),
        ("json:__name__", TypeError, "handlers.cb.callable: 'json:__name__' is not callable"),
    ],
)
def test_configure_refuses_bad_callables(value, error, message):
    with pytest.raises(error) as info:
        z.configure({"version": 1, "handlers": {"cb": {"class": "CallbackHandler", "callable": value}}})
    assert str(info.value).startswith(message)


def test_scrivo_records_fixture_in_a_user_project(tmp_path):
    # As a user runs it: the installed package's entry point, no conftest.py.
    (tmp_path / "test_user.py").write_text(
        "from zelvar import scrivo\n"
        "def test_it(scrivo_records):\n"
        "    scrivo.Logger('user', handlers=[]).info('seen', n=1)\n"
        "    assert [(r['message'], r['fields']) for r in scrivo_records] == [('seen', {'n': 1})]\n"
        "def test_fresh(scrivo_records):\n"
        "    assert scrivo_records == []\n"
    )
    import subprocess

    proc = subprocess.run(
        [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", "test_user.py"],
        cwd=tmp_path,
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert "2 passed" in proc.stdout
