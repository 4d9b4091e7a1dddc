"""Handler and colour scheme properties: what each setter converts and stores, what it refuses while
keeping the value, deleting them, and levels out of range or looked up in a rebound module."""

import pytest
from handler_tables import ALL, FIELDS, TEXT_FIELDS, BadInt, StrSub, make

from zelvar.scrivo import scrivo as s
from zelvar.scrivo.scrivo import Level


@pytest.mark.parametrize(
    "value, stored", [(True, Level.DEBUG), (2.9, Level.INFO), (Level.ERROR, Level.ERROR), (-0.5, Level.TRACE)]
)
def test_level_setter_conversions(value, stored):
    h = s.LogHandler()
    h.level = value
    assert h.level is stored


@pytest.mark.parametrize(
    "cls, name, value, error, message",
    [
        (s.LogHandler, "level", 2**31, OverflowError, "value too large to convert to int"),
        (s.LogHandler, "level", -(2**31) - 1, OverflowError, "value too large to convert to int"),
        (s.LogHandler, "level", "INFO", TypeError, "an integer is required"),
        (s.LogHandler, "level", BadInt(), ArithmeticError, "boom"),
        (s.LogHandler, "pattern", StrSub("x"), TypeError, "Expected str, got StrSub"),
        (s.LogHandler, "pattern", b"x", TypeError, "Expected str, got bytes"),
        (s.FileHandler, "filename", 3, TypeError, "Expected str, got int"),
        (s.RotatingFileHandler, "max_files", -1, OverflowError, "can't convert negative value to size_t"),
        (s.RotatingFileHandler, "max_size", 2**64, OverflowError, "value too large to convert to size_t"),
        (s.RotatingFileHandler, "max_size", "1", TypeError, "an integer is required"),
        (s.ColorScheme, "warn_color", 2**31, OverflowError, "value too large to convert to int"),
        (s.ColorScheme, "warn_color", None, TypeError, "an integer is required"),
    ],
)
def test_setter_errors_keep_value(cls, name, value, error, message):
    obj = make(cls)
    before = getattr(obj, name)
    with pytest.raises(error) as info:
        setattr(obj, name, value)
    assert str(info.value) == message
    assert getattr(obj, name) == before


@pytest.mark.parametrize(
    "cls, name, value",
    [
        (s.RotatingFileHandler, "max_files", 2**64 - 1),
        (s.RotatingFileHandler, "max_size", 0),
        (s.ColorScheme, "info_color", -(2**31)),
        (s.ColorScheme, "info_color", 255),
        (s.FileHandler, "overwrite", [1]),
        (s.RotatingFileHandler, "compress", [1]),
        (s.DailyFileHandler, "compress", ""),
        (s.LogHandler, "color", ""),
        (s.LogHandler, "pattern", None),
    ],
)
def test_setter_stores(cls, name, value):
    obj = make(cls)
    setattr(obj, name, value)
    expected = bool(value) if name in ("color", "overwrite", "compress") else value
    assert getattr(obj, name) == expected


@pytest.mark.parametrize("cls", ALL, ids=lambda c: c.__name__)
def test_deleting_properties(cls):
    obj = make(cls)
    for name in FIELDS[cls]:
        if name in TEXT_FIELDS:
            delattr(obj, name)
            assert getattr(obj, name) is None
        else:
            with pytest.raises(NotImplementedError, match="^__del__$"):
                delattr(obj, name)


@pytest.mark.parametrize(
    "stored, message", [(9, "9 is not a valid Level"), (-1, "-1 is not a valid Level"), (42, "42 is not a valid Level")]
)
def test_out_of_range_level_is_stored_but_not_readable(stored, message):
    h = s.LogHandler(level=stored)
    with pytest.raises(ValueError) as info:
        h.level
    assert str(info.value) == message
    h.level = 3
    assert h.level is Level.WARN


def test_level_lookup_follows_module_rebinding(monkeypatch):
    class Other:
        TRACE, DEBUG, INFO, WARN, ERROR, CRITICAL, OFF = "tdiwecO"

    monkeypatch.setattr(s, "Level", Other)
    assert s.LogHandler(level=2).level == "i"
