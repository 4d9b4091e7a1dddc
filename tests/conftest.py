import os
import subprocess
import sys
import textwrap

import pytest


class Child:
    """Runs Python code in a fresh interpreter and captures its file descriptors 1 and 2."""

    def __init__(self, tmp_path):
        self.tmp_path = tmp_path

    def __call__(self, code, check=True, leak_check=True):
        env = None
        if not leak_check:  # a forked child inherits the interpreter's own blocks of threads it does not have
            env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
        proc = subprocess.run(
            [sys.executable, "-c", textwrap.dedent(code)], capture_output=True, timeout=120, cwd=self.tmp_path, env=env
        )
        if check and proc.returncode != 0:
            raise AssertionError(f"child failed ({proc.returncode}):\n{proc.stderr.decode(errors='replace')}")
        return proc

    def script(self, name, code):
        """Writes `code` to tmp_path/name and runs it as a script (so frames have a file name)."""
        path = self.tmp_path / name
        path.write_text(textwrap.dedent(code))
        proc = subprocess.run([sys.executable, str(path)], capture_output=True, timeout=120, cwd=self.tmp_path)
        if proc.returncode != 0:
            raise AssertionError(f"script failed ({proc.returncode}):\n{proc.stderr.decode(errors='replace')}")
        return proc


@pytest.fixture
def child(tmp_path):
    return Child(tmp_path)
