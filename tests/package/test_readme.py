"""Every ```python block of the README runs as written, each alone in a fresh interpreter."""

import re
from pathlib import Path

import pytest
from helpers import run_python

README = Path(__file__).resolve().parents[2] / "README.md"
BLOCK = re.compile(r"^```python\n(.*?)^```$", re.DOTALL | re.MULTILINE)


def python_blocks():
    text = README.read_text(encoding="utf-8")
    return [
        pytest.param(match.group(1), id=f"line{text.count(chr(10), 0, match.start()) + 1}")
        for match in BLOCK.finditer(text)
    ]


BLOCKS = python_blocks()


def test_the_readme_has_python_blocks():
    assert len(BLOCKS) >= 5


@pytest.mark.parametrize("code", BLOCKS)
def test_readme_block_runs(code, tmp_path):
    # As a script file, so the caller locations it logs carry the block's own line numbers.
    script = tmp_path / "snippet.py"
    script.write_text(code, encoding="utf-8")
    proc = run_python(script=script, timeout=60, cwd=tmp_path)
    errors = proc.stderr.decode(errors="replace")
    assert proc.returncode == 0, errors
    # What a reader copies must work as shown: no failure reported on the way, and a block that
    # prints shows what it prints.
    assert not re.search(r"^(scrivo: |Traceback|Exception ignored)", errors, re.MULTILINE), errors
    assert "print(" not in code or proc.stdout.strip()
