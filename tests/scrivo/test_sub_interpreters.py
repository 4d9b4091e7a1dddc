"""Sub-interpreters: the module logs in whichever interpreter imported it first and refuses the other;
a non-blocking logger in a sub-interpreter still alive at exit writes everything."""

import sys
import textwrap

import pytest
from helpers import run_python
from output_helpers import lines

SUB_INTERPRETER = """
    import sys
    # A legacy (shared-GIL) sub-interpreter, so the interpreter itself lets the import reach us.
    if sys.version_info >= (3, 13):
        import _interpreters as interpreters
        interp = interpreters.create("legacy")
    else:
        import _xxsubinterpreters as interpreters
        interp = interpreters.create(**({"isolated": False} if sys.version_info >= (3, 12) else {}))

    def in_sub(code):
        try:
            failure = interpreters.run_string(interp, code)  # 3.13 returns the failure
        except Exception as exc:
            failure = exc
        return getattr(failure, "msg", failure)
"""


@pytest.mark.parametrize("first", ["main", "sub"])
def test_logging_in_whichever_interpreter_imported_first(tmp_path, first):
    log = tmp_path / "sub.log"
    logs = textwrap.dedent(f"""
        import logging
        from zelvar.scrivo.scrivo import DefaultLogger, FileHandler, Logger
        lg = Logger('interp', handlers=[FileHandler({str(log)!r}, pattern='%s:%# %v')], set_default=True)
        lg.info('logger')
        logging.warning('standard')
        DefaultLogger().warn('default')
    """)
    refused = "import zelvar.scrivo.scrivo"
    code = textwrap.dedent(SUB_INTERPRETER) + textwrap.dedent(f"""
        if {first!r} == "sub":
            print("sub:", in_sub({logs!r}))
            try:
                {refused}
            except ImportError as exc:
                print("main:", exc)
        else:
            exec(compile({logs!r}, "<string>", "exec"))
            print("sub:", in_sub({refused!r}))
    """)
    # A hang (the lock taken twice by one thread) fails here instead of stalling the suite.
    proc = run_python(code, text=True, timeout=30)
    assert proc.returncode == 0, proc.stderr
    refusal = "Interpreter change detected - this module can only be loaded into one interpreter per process."
    assert refusal in proc.stdout.splitlines()[0 if first == "main" else 1] + proc.stderr
    # From 3.14 the code a sub-interpreter runs from a string is named <script>.
    name = "<script>" if first == "sub" and sys.version_info >= (3, 14) else "<string>"
    assert lines(log.read_bytes()) == [f"{name}:5 logger", f"{name}:6 standard", f"{name}:7 default"]


def test_exit_with_a_nonblocking_logger_in_a_live_sub_interpreter(tmp_path):
    log = tmp_path / "sub.log"
    sub = textwrap.dedent(f"""
        from zelvar.scrivo.scrivo import FileHandler, Logger
        lg = Logger('sub-nb', handlers=[FileHandler({str(log)!r}, pattern='%v')], queue_size=64)
        for n in range(1000):
            lg.info(f'record {{n}}')
    """)
    # The process ends with the sub-interpreter and its logger still alive.
    code = textwrap.dedent(SUB_INTERPRETER) + f"print(in_sub({sub!r}))\n"
    proc = run_python(code, text=True, timeout=30)
    assert proc.returncode == 0 and proc.stdout == "None\n", proc.stderr
    assert lines(log.read_bytes()) == [f"record {n}" for n in range(1000)]
