"""Helpers shared by the tests of every package: pytest puts this folder on the import path when it
loads tests/conftest.py, for a run from tests/ as for a single file path."""

import asyncio
import ctypes
import inspect
import os
import subprocess
import sys
import textwrap
import warnings

# The suite runs on the sanitizer build (make test-asan): its runtimes are preloaded.
SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")


def open_fds():
    """How many file descriptors this process holds open."""
    return len(os.listdir("/proc/self/fd"))


def is_coroutine_function(obj):
    """Whether asyncio (what code for 3.10 to 3.13 asks; deprecated from 3.14, so asked quietly) and,
    from 3.12, inspect take `obj` for a coroutine function."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        by_asyncio = asyncio.iscoroutinefunction(obj)
    return by_asyncio and (sys.version_info < (3, 12) or inspect.iscoroutinefunction(obj))


def capsule_name(capsule):
    """The name a capsule was made with: the signature its exporter promises."""
    get_name = ctypes.pythonapi.PyCapsule_GetName
    get_name.restype, get_name.argtypes = ctypes.c_char_p, [ctypes.py_object]
    return get_name(capsule).decode()


def run_python(code=None, *, script=None, options=(), cwd=None, timeout=120, text=False, env=None, check=False):
    """Runs `code` (dedented), or the file `script`, in a fresh interpreter and returns the finished process
    with its output captured. A crash stays in the child; a hang raises subprocess.TimeoutExpired here.
    check=True raises subprocess.CalledProcessError on a non-zero exit."""
    command = [sys.executable, *options]
    command += [str(script)] if script is not None else ["-c", textwrap.dedent(code)]
    return subprocess.run(command, capture_output=True, timeout=timeout, cwd=cwd, text=text, env=env, check=check)


class Child:
    """Runs Python code in a fresh interpreter in tmp_path and captures its file descriptors 1 and 2."""

    def __init__(self, tmp_path):
        self.tmp_path = tmp_path

    def __call__(self, code, check=True, leak_check=True):
        env = None
        if not leak_check:  # a forked child inherits the interpreter's own blocks of threads it does not have
            env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
        proc = run_python(code, cwd=self.tmp_path, env=env)
        if check and proc.returncode != 0:
            raise AssertionError(f"child failed ({proc.returncode}):\n{proc.stderr.decode(errors='replace')}")
        return proc

    def script(self, name, code):
        """Writes `code` to tmp_path/name and runs it as a script (so frames have a file name)."""
        path = self.tmp_path / name
        path.write_text(textwrap.dedent(code))
        proc = run_python(script=path, cwd=self.tmp_path)
        if proc.returncode != 0:
            raise AssertionError(f"script failed ({proc.returncode}):\n{proc.stderr.decode(errors='replace')}")
        return proc
