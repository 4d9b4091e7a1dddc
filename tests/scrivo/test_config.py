"""Logger.level at run time, configure() from a dict, and StdlibHandler under dictConfig."""

import json
import threading

import pytest

import zelvar.scrivo as z
from zelvar.scrivo import scrivo as s


@pytest.mark.parametrize("kind", ["sync", "non-blocking", "default"])
def test_level_changes_at_run_time(tmp_path, kind):
    path = tmp_path / "level.log"
    handler = s.FileHandler(str(path), pattern="%l %v", level=s.Level.DEBUG)
    extra = {"sync": {}, "non-blocking": {"queue_size": 4}, "default": {"set_default": True}}[kind]
    log = s.Logger(f"level-{kind}", level=s.Level.WARN, handlers=[handler], intercept_stdlib_logging=False, **extra)
    if kind == "default":
        log = s.DefaultLogger()
    assert log.level is s.Level.WARN
    log.info("dropped")

    def lower(value):
        log.level = value

    for value, record in [(2, "info"), (s.Level.TRACE, "debug")]:
        setter = threading.Thread(target=lower, args=(value,))
        setter.start()
        setter.join()
        assert log.level == value and type(log.level) is s.Level
        getattr(log, record)(f"after {value!r}")
    log.trace("below the handler's own level")
    assert handler.level is s.Level.DEBUG
    # A refused value changes nothing (what is refused: test_level_values).
    for bad in [20, None, True]:
        with pytest.raises((TypeError, ValueError)):
            log.level = bad
    with pytest.raises(NotImplementedError):
        del log.level
    assert log.level is s.Level.TRACE
    log.flush()
    assert path.read_text().splitlines() == ["info after 2", "debug after <Level.TRACE: 0>"]


def _level_through(interface, value, tmp_path):
    """The level `value` stands for, as `interface` takes it."""
    if interface == "configure":
        return z.configure({"version": 1, "loggers": {"lv-cfg": {"level": value}}})["lv-cfg"].level
    if interface in ("setter", "default setter"):
        log = s.Logger("lv-set", level=s.Level.OFF, handlers=[s.FileHandler(str(tmp_path / "s.log"))])
        target = s.DefaultLogger() if interface == "default setter" else log
        if interface == "default setter":
            s.Logger("lv-default", level=s.Level.OFF, set_default=True, intercept_stdlib_logging=False)
        target.level = value
        return target.level
    path = tmp_path / f"{interface}.log"
    log = s.Logger("lv-rec", level=s.Level.TRACE, handlers=[s.FileHandler(str(path), pattern="%l")])
    if interface == "is_enabled_for":  # enabled on loggers at 0..n for a record at n, on none for OFF
        enabled = [log.is_enabled_for(value) for log.level in range(7)]
        return enabled.count(True) - 1 if any(enabled) else s.Level.OFF
    log.log(value, "x")
    log.flush()
    names = ["trace", "debug", "info", "warning", "error", "critical"]
    return names.index(path.read_text().strip()) if path.read_text() else s.Level.OFF


@pytest.mark.parametrize("interface", ["setter", "default setter", "log", "is_enabled_for", "configure"])
@pytest.mark.parametrize(
    "value, expected",
    [
        (s.Level.WARN, 3),
        (2, 2),
        ("debug", 1),
        ("Warning", 3),
        ("OFF", 6),
        (20, (ValueError, '20 is a level number of the logging package: write Level.INFO or "INFO"')),
        (7, (ValueError, "7 is not a valid Level")),
        (2**70, (ValueError, f"{2**70} is not a valid Level")),
        (
            "ınfo",
            (
                ValueError,
                "unknown level name 'ınfo' (expected TRACE, DEBUG, INFO, WARN or WARNING, ERROR, " "CRITICAL or OFF)",
            ),
        ),
        (True, (TypeError, "a level is a Level, an int 0 to 6 or a level name, not bool")),
        (2.5, (TypeError, "a level is a Level, an int 0 to 6 or a level name, not float")),
    ],
)
def test_level_values(tmp_path, interface, value, expected):
    """One conversion for every interface that takes a level, with the same messages."""
    if isinstance(expected, int):
        assert _level_through(interface, value, tmp_path) == expected
        return
    kind, message = expected
    with pytest.raises(kind) as info:
        _level_through(interface, value, tmp_path)
    assert str(info.value) == (f"loggers.lv-cfg.level: {message}" if interface == "configure" else message)


@pytest.mark.parametrize("level", [20, 7, -1])
def test_level_outside_the_members_reads_back(level):
    log = s.Logger("lv-odd", level=level, set_default=True, intercept_stdlib_logging=False)
    for reader in (log, s.DefaultLogger()):
        assert reader.level == level and type(reader.level) is int


def test_level_setter_moves_the_sink_nobody_described(child):
    proc = child(
        """
        import zelvar.scrivo as z
        own = z.Logger("own", z.Level.INFO, "%n %l %v")
        described = z.Logger("described", z.Level.INFO, handlers=[z.BasicConsoleHandler(False, "%n %l %v", 2)])
        z.Logger("dflt", z.Level.INFO, "%n %l %v", set_default=True, intercept_stdlib_logging=False)
        for log in (own, described, z.DefaultLogger()):
            log.level = z.Level.DEBUG
            log.debug("shown")
        own.level = z.Level.WARN
        own.info("hidden")
        own.level = 0
        own.trace("back down")
        """
    )
    assert proc.stdout.decode().splitlines() == ["own debug shown", "dflt debug shown", "own trace back down"]


def _base(tmp_path):
    """A valid config whose first logger would empty keep.log and create new.log if it were built."""
    return {
        "version": 1,
        "handlers": {
            "keep": {"class": "FileHandler", "filename": str(tmp_path / "keep.log"), "overwrite": True},
            "new": {"class": "zelvar.scrivo.JsonFileHandler", "filename": str(tmp_path / "new.log"), "level": "INFO"},
        },
        "loggers": {"cfg-a": {"handlers": ["keep", "new"], "level": "WARNING"}},
    }


def _handler(entry):
    return lambda c: c["handlers"].__setitem__("bad", entry)


def _logger(entry):
    return lambda c: c["loggers"].__setitem__("cfg-b", entry)


@pytest.mark.parametrize(
    "change, error, path",
    [
        (lambda c: c.__setitem__("version", 2), ValueError, "version"),
        (lambda c: c.__setitem__("filters", {}), ValueError, "filters"),
        (lambda c: c.__setitem__("handlers", []), TypeError, "handlers"),
        (_handler({"filename": "x.log"}), ValueError, "handlers.bad.class"),
        (_handler({"class": "logging.FileHandler"}), ValueError, "handlers.bad.class"),
        (_handler({"class": "FileHandler", "filename": "x.log", "colour": True}), TypeError, "handlers.bad.colour"),
        (_handler({"class": "FileHandler", "filename": "x.log", "level": "LOUD"}), ValueError, "handlers.bad.level"),
        (_handler({"class": "FileHandler", "filename": "x\0.log"}), ValueError, "handlers.bad.filename"),
        (
            _handler({"class": "RotatingFileHandler", "filename": "x.log", "max_size": 0}),
            ValueError,
            "handlers.bad.max_size",
        ),
        (_handler({"class": "DailyFileHandler", "filename": "x.log", "hour": 24}), ValueError, "handlers.bad.hour"),
        (_logger({"colour": 1}), ValueError, "loggers.cfg-b.colour"),
        (_logger({"handlers": ["missing"]}), ValueError, "loggers.cfg-b.handlers"),
        (_logger({"handlers": ["keep"]}), ValueError, "loggers.cfg-b.handlers"),
        (_logger({"level": 7}), ValueError, "loggers.cfg-b.level"),
        (_logger({"level": 2.0}), TypeError, "loggers.cfg-b.level"),
        (_logger({"queue_size": -1}), ValueError, "loggers.cfg-b.queue_size"),
        (_logger({"overflow": "newest"}), ValueError, "loggers.cfg-b.overflow"),
        (_logger({"flush_interval": -1}), ValueError, "loggers.cfg-b.flush_interval"),
        (_logger({"default": 1}), TypeError, "loggers.cfg-b.default"),
        (_logger({"intercept_stdlib_logging": "false"}), TypeError, "loggers.cfg-b.intercept_stdlib_logging"),
        (_logger({"queue_size": 8.5}), TypeError, "loggers.cfg-b.queue_size"),
        (_logger({"flush_interval": True}), TypeError, "loggers.cfg-b.flush_interval"),
        (_logger({"stacklevel": 0}), ValueError, "loggers.cfg-b.stacklevel"),
        (_logger({"stacklevel": "1"}), TypeError, "loggers.cfg-b.stacklevel"),
        (
            _handler({"class": "FileHandler", "filename": "x.log", "overwrite": "yes"}),
            TypeError,
            "handlers.bad.overwrite",
        ),
        (_handler({"class": "ConsoleHandler", "min_level": True}), TypeError, "handlers.bad.min_level"),
        (_handler({"class": "StdoutHandler", "max_level": 2.5}), TypeError, "handlers.bad.max_level"),
        (_handler({"class": "FileHandler"}), ValueError, "handlers.bad.filename"),
        (_handler({"class": "SyslogHandler", "address": ("127.0.0.1", 70000)}), ValueError, "handlers.bad.address"),
        (
            _handler({"class": "RotatingFileHandler", "filename": "x", "max_files": "3"}),
            TypeError,
            "handlers.bad.max_files",
        ),
        (
            _handler({"class": "RotatingFileHandler", "filename": "x", "max_files": -1}),
            OverflowError,
            "handlers.bad.max_files",
        ),
        (_handler({"class": "DailyFileHandler", "filename": "x", "compress": 1}), TypeError, "handlers.bad.compress"),
        (
            _handler({"class": "DailyFileHandler", "filename": "x", "minute": 2**40}),
            OverflowError,
            "handlers.bad.minute",
        ),
        (
            lambda c: c["loggers"].update({"d1": {"default": True}, "d2": {"default": True}}),
            ValueError,
            "loggers.d2.default",
        ),
        (lambda c: c["loggers"].update({"": {}}), ValueError, "loggers."),
        (_handler({"class": "JsonStdoutHandler", "filename": "x.log"}), TypeError, "handlers.bad.filename"),
        (lambda c: c.__setitem__("root", {"level": "LOUD"}), ValueError, "root.level"),
        (lambda c: c.__setitem__("root", {"level": 20.0}), TypeError, "root.level"),
        (lambda c: c.__setitem__("root", {"handlers": []}), ValueError, "root.handlers"),
    ],
)
def test_configure_refuses_before_touching_files(tmp_path, change, error, path):
    (tmp_path / "keep.log").write_text("old\n")
    config = _base(tmp_path)
    change(config)
    with pytest.raises(error) as info:
        z.configure(config)
    assert str(info.value).startswith(f"{path}: ")
    assert (tmp_path / "keep.log").read_text() == "old\n"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["keep.log"]


def test_configure_opens_every_file_before_emptying_any(tmp_path):
    (tmp_path / "keep.log").write_text("old\n")
    (tmp_path / "daily_2000-01-01.log").write_text("old day\n")
    (tmp_path / "dir.log").mkdir()
    config = {
        "version": 1,
        "handlers": {
            "keep": {"class": "FileHandler", "filename": str(tmp_path / "keep.log"), "overwrite": True},
            "daily": {"class": "DailyFileHandler", "filename": str(tmp_path / "daily.log"), "max_files": 1},
            "late": {"class": "FileHandler", "filename": str(tmp_path / "dir.log")},
        },
        "loggers": {"open-a": {"handlers": ["keep", "daily"]}, "open-b": {"handlers": ["late"]}},
    }
    with pytest.raises(OSError, match=r"^handlers\.late\.filename: .*dir\.log"):
        z.configure(config)
    assert (tmp_path / "keep.log").read_text() == "old\n"
    assert (tmp_path / "daily_2000-01-01.log").read_text() == "old day\n"


def test_configure_builds_loggers(child, tmp_path):
    proc = child(
        """
        import json, logging
        import zelvar.scrivo as z
        loggers = z.configure({
            "version": 1,
            "handlers": {
                "text": {"class": "FileHandler", "filename": "app.log", "pattern": "%n %l %v", "level": "DEBUG"},
                "json": {"class": "JsonFileHandler", "filename": "app.jsonl", "level": 3},
                "out": {"class": "zelvar.scrivo.JsonStdoutHandler", "level": "INFO"},
            },
            "loggers": {
                "app": {"handlers": ["text"], "level": "INFO", "default": True},
                "jobs": {"handlers": ["json"], "queue_size": 8, "overflow": "drop_oldest",
                         "flush_interval": 0.5},
                "svc": {"handlers": ["out"], "stacklevel": 2},
            },
            "root": {"level": "INFO"},
        })
        app, jobs = loggers["app"], loggers["jobs"]
        loggers["svc"].info("to stdout")
        loggers["svc"].debug("below the handler")
        root_level = logging.getLogger().level  # the takeover set DEBUG; the root entry came after it
        app.debug("hidden")
        app.info("shown")
        logging.getLogger("lib").warning("taken over")
        z.DefaultLogger().level = z.Level.ERROR
        app.warn("hidden too")
        jobs.info("below the handler")
        jobs.warning("queued")
        jobs.flush()
        print(json.dumps([sorted(loggers), app.level, jobs.level, jobs.name, type(jobs).__name__, root_level,
                          loggers["svc"].stacklevel, app.stacklevel]))
        """
    )
    record, summary = proc.stdout.splitlines()
    assert json.loads(summary) == [["app", "jobs", "svc"], 4, 0, "jobs", "Logger", 20, 2, None]
    assert [json.loads(record)[key] for key in ("logger", "level", "message")] == ["svc", "info", "to stdout"]
    assert (tmp_path / "app.log").read_text().splitlines() == ["app info shown", "app warning taken over"]
    lines = [json.loads(line) for line in (tmp_path / "app.jsonl").read_text().splitlines()]
    assert [(r["logger"], r["level"], r["message"]) for r in lines] == [("jobs", "warning", "queued")]


def test_stdlib_handler_from_dict_config(child, tmp_path):
    proc = child(
        """
        import logging, logging.config
        import zelvar.scrivo as z
        routed = z.Logger("routed", handlers=[z.FileHandler("routed.log", pattern="%n %l %v")])
        logging.config.dictConfig({
            "version": 1,
            "handlers": {
                "zel": {"class": "zelvar.scrivo.StdlibHandler", "level": "INFO", "logger": "ext://__main__.routed"},
                "plain": {"class": "zelvar.scrivo.StdlibHandler"},
            },
            "loggers": {"lib": {"handlers": ["zel"], "level": "DEBUG", "propagate": False}},
        })
        lib = logging.getLogger("lib")
        lib.debug("below the handler")
        lib.warning("to routed")
        routed.flush()
        handler = lib.handlers[0]
        print(type(handler).__name__, isinstance(handler, z.PyLogHandler), handler.level)
        try:
            z.StdlibHandler(logger="routed")
        except TypeError as e:
            print("TypeError")
        """
    )
    assert proc.stdout.decode().split() == ["StdlibHandler", "True", "20", "TypeError"]
    assert (tmp_path / "routed.log").read_text() == "routed warning to routed\n"
