"""Import behaviour shared by every zelvar module, and the logging module's Level."""

import enum
import importlib
import sys
import tracemalloc

import pytest
from helpers import run_python

import zelvar
from zelvar.scrivo import scrivo

MODULES = ["zelvar.scrivo.scrivo", "zelvar.spsc_queue.spsc_queue", "zelvar.utils.halyard.halyard"]


def test_level_members_in_order():
    Level = scrivo.Level
    assert issubclass(Level, enum.IntEnum)
    assert [(m.name, m.value) for m in Level] == [
        ("TRACE", 0),
        ("DEBUG", 1),
        ("INFO", 2),
        ("WARN", 3),
        ("ERROR", 4),
        ("CRITICAL", 5),
        ("OFF", 6),
    ]
    assert int(Level.WARN) == 3
    assert Level(6) is Level.OFF
    assert Level.__module__ == "zelvar.scrivo.scrivo"


def test_level_members_not_in_module_namespace():
    names = set(dir(scrivo))
    assert "Level" in names
    assert not names & {m.name for m in scrivo.Level}


def test_standard_modules_bound():
    import logging
    import traceback

    assert scrivo.py_logging is logging
    assert scrivo.traceback is traceback


@pytest.mark.parametrize("name", MODULES)
def test_second_import_runs_nothing_again(name):
    module = importlib.import_module(name)
    before = dict(vars(module))
    del sys.modules[name]
    again = importlib.import_module(name)
    assert again is module
    assert importlib.reload(module) is module
    # The body did not run again: every binding is the very same object.
    assert all(vars(module)[k] is v for k, v in before.items() if not k.startswith("__"))


@pytest.mark.parametrize("name", MODULES)
def test_reimport_keeps_no_block_per_import(name):
    # Handing back the one module object makes the interpreter forget the object's state block and
    # allocate another; the forgotten one must be freed, not left behind once per import. With
    # m_size 0 the block is an empty allocation: counting only those keeps the count clear of
    # what the allocator in use (PYTHONMALLOC) does with the import's other blocks.
    def reimport(times):
        for _ in range(times):
            del sys.modules[name]
            importlib.import_module(name)

    def empty_blocks():
        return sum(1 for trace in tracemalloc.take_snapshot().traces if trace.size == 0)

    module = importlib.import_module(name)
    reimport(5)
    tracemalloc.start()
    try:
        reimport(5)
        before = empty_blocks()
        reimport(300)
        after = empty_blocks()
    finally:
        tracemalloc.stop()
        importlib.reload(module)  # an import replaces __spec__ only; this binds __loader__ to it again
    assert after - before < 150


@pytest.mark.parametrize("name", MODULES)
def test_module_spec_attributes(name):
    module = importlib.import_module(name)
    assert module.__name__ == name
    assert module.__package__ == name.rpartition(".")[0]
    assert module.__file__.endswith(".so")
    assert module.__loader__ is module.__spec__.loader


@pytest.mark.parametrize("name", MODULES)
def test_second_interpreter_is_refused(name):
    result = run_python(
        f"""
        import sys
        import {name}
        # A legacy (shared-GIL) sub-interpreter, so the interpreter itself lets the import reach us.
        if sys.version_info >= (3, 13):
            import _interpreters as interpreters
            interp = interpreters.create("legacy")
        else:
            import _xxsubinterpreters as interpreters
            interp = interpreters.create(**({{"isolated": False}} if sys.version_info >= (3, 12) else {{}}))
        try:
            failure = interpreters.run_string(interp, "import {name}")  # 3.13 returns the failure
        except Exception as exc:
            failure = exc
        print("FAILED", getattr(failure, "msg", failure)) if failure else print("IMPORTED")
    """,
        text=True,
        timeout=60,
    )
    assert result.returncode == 0, result.stderr
    assert "FAILED" in result.stdout
    assert "Interpreter change detected - this module can only be loaded into one interpreter per process." in (
        result.stdout + result.stderr
    )


def test_halyard_defines_only_test_dict():
    from zelvar.utils.halyard import halyard

    assert halyard.__test__ == {}
    standard = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__"}
    assert set(vars(halyard)) - standard == {"__test__"}


def test_get_include_holds_public_headers():
    """get_include() holds the published headers, self-contained (every header of ours they include ships
    beside them), and none of the modules' private ones."""
    import re
    from pathlib import Path

    root = Path(zelvar.get_include())
    for header in [
        "spsc_queue/spsc_queue.hpp",
        "spsc_queue/ring.hpp",
        "scrivo/lib/libscrivo.hpp",
        "scrivo/scrivo.hpp",
        "utils/ferrix/ferrix.hpp",
        "_pyext/capsule.hpp",
    ]:
        assert (root / "zelvar" / header).is_file(), header
    for header in ["scrivo/module_state.hpp", "scrivo/loggers.hpp", "utils/ferrix/consumer.hpp", "_pyext/coro.hpp"]:
        assert not (root / "zelvar" / header).exists(), header
    for path in (root / "zelvar").rglob("*.hpp"):
        for quote, name in re.findall(r'^\s*#\s*include\s*([<"])([^>"]+)', path.read_text(), re.M):
            if quote == '"':
                assert (path.parent / name).is_file(), (path, name)
            elif name.startswith("zelvar/"):
                assert (root / name).is_file(), (path, name)
