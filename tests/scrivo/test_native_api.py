"""The logging module's native interfaces, called through zelvar._testing as an outside module would."""

import logging
import traceback

import pytest
from helpers import capsule_name, run_python

from zelvar import _testing as native
from zelvar.scrivo import scrivo as s

SIGNATURES = {
    "get_logger_by_name": "SpdLogger (char const *)",
    "get_logger_ptr": "std::shared_ptr<spdlog::logger>  &(struct __pyx_opt_args_6zelvar_6scrivo_6scrivo_"
    "get_logger_ptr *__pyx_optional_args)",
    "get_logger": "void (SpdLogger &, struct __pyx_opt_args_6zelvar_6scrivo_6scrivo_get_logger "
    "*__pyx_optional_args)",
}


def test_capi_keys_order_and_signatures():
    assert list(s.__pyx_capi__) == ["get_logger_by_name", "get_logger_ptr", "get_logger"]
    for key, capsule in s.__pyx_capi__.items():
        assert capsule_name(capsule) == SIGNATURES[key]


def test_default_logger_lookups_agree():
    default = native.get_logger(0, None, 0, False)  # null record
    assert native.get_logger_ptr(0, None, 0, False) == default
    assert native.get_logger_ptr(1, "") == default
    assert native.get_logger(2, "", 0) == native.get_logger(2, "", 1) == default


def test_named_lookups():
    lg = s.Logger("native-named", level=s.Level.OFF)
    name, address = native.get_spd_logger(lg)
    assert name == "native-named" and address
    assert native.get_logger_by_name("native-named") == (name, address)
    assert native.get_logger(1, "native-named") == (name, address)
    assert native.get_logger_by_name("never-built") == (None, 0)
    created = native.get_logger_ptr(1, "made-on-demand")  # the registry makes a usable logger
    assert created[0] == "made-on-demand" and created[1]


def entries(exc):
    return [frame.f_code.co_name for frame, _ in traceback.walk_tb(exc.__traceback__)]


@pytest.mark.parametrize(
    "call, qualname",
    [
        (lambda: native.get_logger(1, None, 0, True, "native-preset"), "zelvar.scrivo.scrivo.get_logger"),
        (lambda: native.get_logger_ptr(1, None), "zelvar.scrivo.scrivo.get_logger_ptr"),
    ],
)
def test_none_name_is_refused_with_traceback_entry(call, qualname):
    s.Logger("native-preset", level=s.Level.OFF)
    with pytest.raises(AttributeError) as info:
        call()
    assert str(info.value) == "'NoneType' object has no attribute 'encode'"
    assert qualname in entries(info.value)
    if hasattr(info.value, "out"):  # get_logger leaves its output as it was
        assert info.value.out[0] == "native-preset"


@pytest.mark.parametrize("name, error", [(5, TypeError), (b"x", TypeError), ("\ud800", UnicodeEncodeError)])
def test_bad_names(name, error):
    with pytest.raises(error):
        native.get_logger(1, name)
    with pytest.raises(error):
        native.get_logger_ptr(1, name)


def test_get_logger_by_name_null_pointer():
    with pytest.raises(RuntimeError) as info:
        native.get_logger_by_name(None)
    assert str(info.value) == "basic_string: construction from null is not valid"
    assert "zelvar.scrivo.scrivo.get_logger_by_name" in entries(info.value)


def test_log_through_a_registry_logger(tmp_path):
    log = tmp_path / "native.log"
    s.Logger("native-file", handlers=[s.FileHandler(str(log), pattern="%l %v")])
    native.log_through(1, "native-file", 4, "from native code")
    assert log.read_text() == "error from native code\n"


class Recording(s.Logger):
    calls = []

    def info(self, msg, fg_color=-1, bg_color=-1, effect=-1):
        Recording.calls.append((msg, fg_color, bg_color, effect))


class RecordingDefault(s.DefaultLogger):
    calls = []

    def warn(self, msg, fg_color=-1, bg_color=-1, effect=-1):
        RecordingDefault.calls.append((msg, fg_color, bg_color, effect))


@pytest.mark.parametrize(
    "make, index, cls",
    [
        (lambda: Recording("native-override", level=s.Level.OFF), 2, Recording),
        (RecordingDefault, 3, RecordingDefault),
    ],
)
def test_dispatch_flag_zero_honours_python_overrides(make, index, cls):
    cls.calls.clear()
    obj = make()
    native.call_method(obj, index, "m", 0, 2, 31, 44, 1)  # count 2: effect stays -1
    assert cls.calls == [("m", 31, 44, -1)]
    native.call_method(obj, index, "m", 0, 3, 1, 2, 3, False)  # null record: all -1
    assert cls.calls[-1] == ("m", -1, -1, -1)
    native.call_method(obj, index, "skipped", 1)  # flag 1 runs the built-in body
    assert len(cls.calls) == 2


def test_override_errors_propagate():
    class Failing(s.DefaultLogger):
        def error(self, *args):
            raise LookupError("from override")

    with pytest.raises(LookupError):
        native.call_method(Failing(), 4, "m", 0)


def test_native_entries_write(tmp_path):
    log = tmp_path / "entries.log"
    lg = s.Logger("native-entries", handlers=[s.FileHandler(str(log), pattern="%l %v")])
    for index in range(6):
        native.call_method(lg, index, f"e{index}", index % 2)
    with pytest.raises(AttributeError):
        native.call_method(lg, 0, None, 1)
    # A newer logger of the same name replaces the registry's entry: the old one closes its file.
    del lg
    s.Logger("native-entries", level=s.Level.OFF)
    assert log.read_text().split("\n")[:6] == [
        "trace e0",
        "debug e1",
        "info e2",
        "warning e3",
        "error e4",
        "critical e5",
    ]


def test_native_thread_without_the_lock_logs_through_the_tables(tmp_path):
    # Such a caller has no Python frames to look up: it must neither read another thread's nor hang.
    log = tmp_path / "thread.log"
    code = f"""
        from zelvar import _testing as native
        from zelvar.scrivo import scrivo as s
        lg = s.Logger("native-thread", handlers=[s.FileHandler({str(log)!r}, pattern="%l %v")], set_default=True)
        native.call_method_from_thread(lg, 2, "through Logger")
        native.call_method_from_thread(s.DefaultLogger(), 4, "through DefaultLogger")
    """
    proc = run_python(code, text=True, timeout=30)
    assert proc.returncode == 0, proc.stderr
    assert log.read_text() == "info through Logger\nerror through DefaultLogger\n"


def test_py_log_handler_class():
    h = s.PyLogHandler
    assert h.__bases__ == (logging.Handler,) and h.__module__ == "zelvar.scrivo.scrivo"
    assert h.__qualname__ == "PyLogHandler"
    assert h.__dict__["__init__"].__annotations__ == {"return": None}
    assert h.__init__.__doc__ == "PyLogHandler.__init__(self, int level) -> None"
    assert h.emit.__doc__ == "PyLogHandler.emit(self, record)"
    assert s.PyLogHandler(20).level == 20
    assert s.PyLogHandler(level=True).level == 1
    handler = s.PyLogHandler(0)
    assert [handler._debug, handler._info, handler._warn, handler._error, handler._critical] == [10, 20, 30, 40, 50]
    with pytest.raises(TypeError, match="^an integer is required$"):
        s.PyLogHandler("DEBUG")
    with pytest.raises(OverflowError, match="^value too large to convert to int$"):
        s.PyLogHandler(2**31)


@pytest.mark.parametrize(
    "record, error, message",
    [
        (logging.makeLogRecord({"msg": "x", "levelno": "high"}), TypeError, "an integer is required"),
        (logging.makeLogRecord({"msg": "x", "levelno": 2**40}), OverflowError, "value too large to convert to int"),
        (logging.makeLogRecord({"msg": "x", "levelno": 20, "exc_info": 5}), TypeError, None),
        (
            type(
                "R",
                (),
                {
                    "getMessage": lambda self: type("M", (), {"encode": lambda self: None})(),
                    "levelno": 20,
                    "exc_info": None,
                    "stack_info": None,
                },
            )(),
            TypeError,
            "expected bytes, NoneType found",
        ),
        (
            type(
                "R",
                (),
                {
                    "getMessage": lambda self: type("M", (), {"encode": lambda self: "s"})(),
                    "levelno": 20,
                    "exc_info": None,
                    "stack_info": None,
                },
            )(),
            TypeError,
            "Expected bytes, got str",
        ),
    ],
)
def test_emit_errors_propagate(record, error, message):
    with pytest.raises(error) as info:
        s.PyLogHandler(0).emit(record)
    if message:
        assert str(info.value) == message
