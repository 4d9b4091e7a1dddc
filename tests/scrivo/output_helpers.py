"""Helpers shared by the tests of real output: a child interpreter that imports the logging module
first, and readers of the records it writes."""

import subprocess
import textwrap

import pytest
from helpers import run_python

ESC = b"\x1b"
PRELUDE = "from zelvar.scrivo.scrivo import *\n"


def run_with_scrivo(child, code, **kwargs):
    return child(PRELUDE + textwrap.dedent(code), **kwargs)


def run_bounded(code, hangs):
    """Runs `code` in a fresh interpreter that must end within 15 seconds; else fails with `hangs`."""
    try:
        return run_python(PRELUDE + textwrap.dedent(code), timeout=15)
    except subprocess.TimeoutExpired:
        pytest.fail(hangs)


def lines(data):
    return data.decode().splitlines()


def whole_records(text):
    """{tag: count} of records "<tag> <n> <n % 97 times x>"; None if any line is broken."""
    counts = {}
    for line in text.splitlines():
        tag, n, xs = (line.split(" ") + ["", "", ""])[:3]
        if not n.isdigit() or xs != "x" * (int(n) % 97) or line.count(" ") != 2:
            return None
        counts[tag] = counts.get(tag, 0) + 1
    return counts


def tagged(text):
    """{tag: [n, ...]} of records "<tag> <n> <n % 97 times x>", in file order; None if a line is broken."""
    if whole_records(text) is None:
        return None
    seen = {}
    for line in text.splitlines():
        tag, n = line.split(" ")[:2]
        seen.setdefault(tag, []).append(int(n))
    return seen
