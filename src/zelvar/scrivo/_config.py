"""Loggers built from a dict shaped like ``logging.config.dictConfig``'s, and a standard-logging
handler class that ``dictConfig`` itself can build."""

from __future__ import annotations

import functools
import importlib
import logging
from collections.abc import Callable, Iterable
from typing import Any

from . import scrivo as _native

__all__ = ["StdlibHandler", "configure"]

_TOP_KEYS = frozenset({"version", "handlers", "loggers", "root"})
_ROOT_KEYS = frozenset({"level"})
_LOGGER_KEYS = frozenset(
    {
        "handlers",
        "level",
        "queue_size",
        "overflow",
        "flush_interval",
        "stacklevel",
        "default",
        "intercept_stdlib_logging",
    }
)
_LEVEL_ALIASES = {"WARNING": "WARN"}
_LOGGING_LEVELS = {10: "DEBUG", 20: "INFO", 30: "WARN", 40: "ERROR", 50: "CRITICAL"}
# What each handler keyword takes here: JSON's own types, so "false" is no truth value and 8.5 no count.
_LEVEL_KEYS = frozenset({"level", "max_level", "max_stdout_level", "min_level"})
_BOOL_KEYS = frozenset({"color", "overwrite", "compress"})
_INT_KEYS = frozenset({"max_size", "max_files", "hour", "minute"})


class _ConfigError(Exception):
    """An error already carrying its key path, raised as ``kind``."""

    def __init__(self, kind: type[BaseException], path: str, message: str) -> None:
        super().__init__(kind, path, message)
        self.kind, self.path, self.message = kind, path, message


def _mapping(value: object, path: str) -> dict[Any, Any]:
    if not isinstance(value, dict):
        raise _ConfigError(TypeError, path, f"expected a dict, not {type(value).__name__}")
    return value


def _check_keys(section: dict[Any, Any], allowed: frozenset[str], path: str) -> None:
    for key in section:
        if key not in allowed:
            raise _ConfigError(
                ValueError, f"{path}.{key}" if path else str(key), f"unknown key (expected one of {sorted(allowed)})"
            )


def _level(value: object, path: str) -> _native.Level:
    """A native level as Logger.level's setter takes it, with its messages: a Level, an int 0 to 6,
    or a name ("WARN"; "WARNING" too; any case)."""
    if isinstance(value, str):
        name = value.upper() if value.isascii() else value
        member = _native.Level.__members__.get(_LEVEL_ALIASES.get(name, name))
        if member is None:
            raise _ConfigError(
                ValueError,
                path,
                f"unknown level name {value!r} (expected TRACE, DEBUG, INFO, WARN or WARNING, ERROR, CRITICAL or OFF)",
            )
        return member
    if isinstance(value, bool) or not isinstance(value, int):
        raise _ConfigError(
            TypeError, path, f"a level is a Level, an int 0 to 6 or a level name, not {type(value).__name__}"
        )
    if 0 <= value <= 6:
        return _native.Level(value)
    if value in _LOGGING_LEVELS:
        name = _LOGGING_LEVELS[value]
        raise _ConfigError(
            ValueError, path, f'{int(value)} is a level number of the logging package: write Level.{name} or "{name}"'
        )
    raise _ConfigError(ValueError, path, f"{int(value)} is not a valid Level")


def _stdlib_level(value: object, path: str) -> int:
    """A level of the standard ``logging`` package as ``Logger.setLevel`` takes it: a number, or a
    registered name ("INFO")."""
    if isinstance(value, str):
        number = logging.getLevelName(value)
        if not isinstance(number, int):
            raise _ConfigError(ValueError, path, f"unknown level name {value!r} of the logging package")
        return number
    if isinstance(value, bool) or not isinstance(value, int):
        raise _ConfigError(TypeError, path, f"a level is an int or a level name, not {type(value).__name__}")
    return value


def _callable(value: object, path: str) -> Callable[..., object]:
    """A CallbackHandler's ``callable``: ``"module:function"`` (``"module:Class.method"`` too), imported."""
    if not isinstance(value, str):
        raise _ConfigError(TypeError, path, f"expected 'module:function', not {type(value).__name__}")
    module_name, _, attribute = value.partition(":")
    if not module_name or not attribute:
        raise _ConfigError(ValueError, path, f"expected 'module:function', not {value!r}")
    try:
        found: object = importlib.import_module(module_name)
        for part in attribute.split("."):
            found = getattr(found, part)
    except (ImportError, AttributeError) as e:
        raise _ConfigError(type(e), path, f"cannot import {value!r}: {e}") from None
    if not callable(found):
        raise _ConfigError(TypeError, path, f"{value!r} is not callable")
    return found


def _typed(key: object, value: object, path: str) -> object:
    """A handler keyword's value, refused here when it is not of the JSON type the key takes."""
    if key == "callable":
        return _callable(value, path)
    if key in _LEVEL_KEYS:
        return _level(value, path)
    if key in _BOOL_KEYS and not isinstance(value, bool):
        raise _ConfigError(TypeError, path, f"expected a bool, not {type(value).__name__}")
    if key in _INT_KEYS and (isinstance(value, bool) or not isinstance(value, int)):
        raise _ConfigError(TypeError, path, f"expected an int, not {type(value).__name__}")
    return value


def _handler_class(value: object, path: str) -> type:
    if not isinstance(value, str):
        raise _ConfigError(TypeError, path, f"expected a class name, not {type(value).__name__}")
    name = value
    for prefix in ("zelvar.scrivo.scrivo.", "zelvar.scrivo."):
        if name.startswith(prefix):
            name = name[len(prefix) :]
            break
    cls = getattr(_native, name, None)
    if not (isinstance(cls, type) and issubclass(cls, _native.LogHandler)):
        raise _ConfigError(ValueError, path, f"{value!r} is not a handler class of zelvar.scrivo")
    return cls


def _blamed_key(error: BaseException, keys: Iterable[object]) -> str | None:
    """The given keyword argument an error message names, if exactly one of them."""
    text = str(error)
    named = [key for key in keys if isinstance(key, str) and (f"'{key}'" in text or f"{key} " in text)]
    if not named and "filename" in keys and ("null byte" in text or "file name" in text):  # type: ignore[operator]
        return "filename"
    return named[0] if len(named) == 1 else None


def _wrapped(error: BaseException, path: str, kwargs: dict[Any, Any], retry: Callable[..., object]) -> _ConfigError:
    """``error`` with the key path of the argument it is about: the one its message names, else the
    one without which ``retry`` (the call that failed) passes."""
    key = _blamed_key(error, kwargs)
    if key is None:
        for candidate in kwargs:
            try:
                retry(**{k: v for k, v in kwargs.items() if k != candidate})
            except Exception:  # noqa: BLE001, S112 - it still fails: not this one
                continue
            key = candidate
            break
    return _ConfigError(type(error), f"{path}.{key}" if key else path, str(error))


# A logger with no name is refused after every handler and option of the call has been checked and
# before any file is opened: building one is a check that touches nothing.
def _unnamed_refusal() -> str:
    try:
        _native.Logger("", handlers=[])
    except ValueError as e:
        return str(e)
    raise RuntimeError("an unnamed logger was built")  # pragma: no cover - the native check is gone


def _check(refusal: str, **kwargs: Any) -> None:
    """Raises what building a logger with ``kwargs`` would raise, building nothing."""
    try:
        _native.Logger("", **kwargs)
    except ValueError as e:
        if str(e) == refusal:
            return
        raise
    raise RuntimeError("an unnamed logger was built")  # pragma: no cover


def _check_handler(refusal: str, cls: type, **kwargs: Any) -> None:
    _check(refusal, handlers=[cls(**kwargs)])  # a description: opens nothing


def _handlers(section: dict[Any, Any], refusal: str) -> dict[str, _native.LogHandler]:
    built = {}
    for name, entry in section.items():
        path = f"handlers.{name}"
        if not isinstance(name, str):
            raise _ConfigError(TypeError, path, "a handler name is a str")
        entry = _mapping(entry, path)
        if "class" not in entry:
            raise _ConfigError(ValueError, f"{path}.class", "missing")
        cls = _handler_class(entry["class"], f"{path}.class")
        kwargs = {key: _typed(key, value, f"{path}.{key}") for key, value in entry.items() if key != "class"}
        if issubclass(cls, _native.FileHandler) and "filename" not in kwargs:
            raise _ConfigError(ValueError, f"{path}.filename", "missing")

        check = functools.partial(_check_handler, refusal, cls)
        try:
            check(**kwargs)
        except Exception as e:  # noqa: BLE001 - every native check's error is the config's error
            raise _wrapped(e, path, kwargs, check) from None
        built[name] = cls(**kwargs)
    return built


def _logger_kwargs(name: object, entry: object, handlers: dict[str, _native.LogHandler]) -> dict[str, Any]:
    path = f"loggers.{name}"
    if not isinstance(name, str):
        raise _ConfigError(TypeError, path, "a logger name is a str")
    entry = _mapping(entry, path)
    _check_keys(entry, _LOGGER_KEYS, path)
    for key in ("default", "intercept_stdlib_logging"):
        if key in entry and not isinstance(entry[key], bool):
            raise _ConfigError(TypeError, f"{path}.{key}", f"expected a bool, not {type(entry[key]).__name__}")
    for key, number in (("queue_size", (int,)), ("flush_interval", (int, float)), ("stacklevel", (int,))):
        if key in entry and (isinstance(entry[key], bool) or not isinstance(entry[key], number)):
            raise _ConfigError(TypeError, f"{path}.{key}", f"expected a number, not {type(entry[key]).__name__}")
    default = entry.get("default", False)
    if not name and not default:
        raise _ConfigError(ValueError, path, "an unnamed logger is the process default: give it 'default': True")
    kwargs: dict[str, Any] = {"set_default": default}
    if "level" in entry:
        kwargs["level"] = _level(entry["level"], f"{path}.level")
    names = entry.get("handlers", [])
    if not isinstance(names, list) or not all(isinstance(n, str) for n in names):
        raise _ConfigError(TypeError, f"{path}.handlers", "expected a list of handler names")
    for n in names:
        if n not in handlers:
            raise _ConfigError(ValueError, f"{path}.handlers", f"no handler named {n!r}")
    kwargs["handlers"] = [handlers[n] for n in names]
    for key in ("queue_size", "overflow", "flush_interval", "stacklevel", "intercept_stdlib_logging"):
        if key in entry:
            kwargs[key] = entry[key]
    return kwargs


def configure(config: dict[str, Any]) -> dict[str, _native.Logger]:
    """Builds the handlers and loggers that ``config`` describes and returns the loggers by name.

    ``{"version": 1, "handlers": {name: {"class": "FileHandler", <keyword arguments>}},
    "loggers": {name: {"handlers": [names], "level": ..., "queue_size": ..., "overflow": ...,
    "flush_interval": ..., "stacklevel": ..., "default": bool, "intercept_stdlib_logging": bool}},
    "root": {"level": "INFO"}}``.
    A ``CallbackHandler``'s ``callable`` is ``"module:function"``, imported when the configuration
    is read. Levels are native names ("WARN"; "WARNING" too; any case) or numbers 0 to 6; a flag takes a bool
    only, a count an int only. ``root`` is the standard ``logging`` root logger, as ``dictConfig``
    takes it: its level (a ``logging`` name or number) is set once every logger is built, so after
    any takeover they made (which sets it to DEBUG).
    Everything is checked, then every file of every logger opened, before the first logger is
    built (which may empty or prune its files), so an error (its message starts with the key path,
    ``handlers.file.filename: ...``) empties or prunes no file. A file handler writes for one
    logger only.
    """
    try:
        return _configure(config)
    except _ConfigError as e:
        raise e.kind(f"{e.path}: {e.message}") from None


def _configure(config: object) -> dict[str, _native.Logger]:
    config = _mapping(config, "config")
    _check_keys(config, _TOP_KEYS, "")
    if config.get("version") != 1:
        raise _ConfigError(ValueError, "version", f"expected 1, not {config.get('version')!r}")
    root = _mapping(config.get("root", {}), "root")
    _check_keys(root, _ROOT_KEYS, "root")
    root_level = _stdlib_level(root["level"], "root.level") if "level" in root else None
    refusal = _unnamed_refusal()
    handlers = _handlers(_mapping(config.get("handlers", {}), "handlers"), refusal)
    plans = []
    file_owner: dict[str, str] = {}
    default_name = None
    for name, entry in _mapping(config.get("loggers", {}), "loggers").items():
        kwargs = _logger_kwargs(name, entry, handlers)
        path = f"loggers.{name}"
        for n in entry.get("handlers", []):
            # Two sinks of one file would each buffer, truncate and rotate it on their own.
            if isinstance(handlers[n], _native.FileHandler):
                if file_owner.setdefault(n, name) != name:
                    raise _ConfigError(
                        ValueError, f"{path}.handlers", f"file handler {n!r} is already used by {file_owner[n]!r}"
                    )
        if kwargs["set_default"]:
            if default_name is not None:
                raise _ConfigError(ValueError, f"{path}.default", f"{default_name!r} is already the default")
            default_name = name
        # Without set_default: an unnamed default logger would be built, not refused.
        checked = {key: value for key, value in kwargs.items() if key != "set_default"}
        try:
            _check(refusal, **checked)
        except Exception as e:  # noqa: BLE001
            raise _wrapped(e, path, checked, functools.partial(_check, refusal)) from None
        plans.append((name, kwargs, entry.get("handlers", [])))
    # Building a logger empties and prunes its files: first every file of every logger must open.
    for _, _, names in plans:
        for n in names:
            if isinstance(handlers[n], _native.FileHandler):
                try:
                    _native.Logger._open_files([handlers[n]])
                except OSError as e:
                    raise _ConfigError(type(e), f"handlers.{n}.filename", str(e)) from None
    loggers = {name: _native.Logger(name, **kwargs) for name, kwargs, _ in plans}
    if root_level is not None:
        logging.getLogger().setLevel(root_level)
    return loggers


class StdlibHandler(_native.PyLogHandler):
    """A PyLogHandler that ``logging.config.dictConfig`` can build: the level is optional and takes
    the standard names or numbers (``"INFO"``, 20), and records go to ``logger`` (a zelvar
    ``Logger``) instead of the process default logger when one is given."""

    def __init__(
        self, level: int | str = logging.NOTSET, *, logger: _native.Logger | _native.DefaultLogger | None = None
    ) -> None:
        if logger is not None and not isinstance(logger, _native.Logger | _native.DefaultLogger):
            raise TypeError(f"logger must be a zelvar Logger or DefaultLogger, not {type(logger).__name__}")
        super().__init__(logging.NOTSET)
        self.setLevel(level)
        # Read by the native emit: a Logger here is written to instead of the default.
        self._zelvar_logger = logger
