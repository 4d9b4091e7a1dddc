"""The carried spdlog and fmt stay as released: tools/refresh-third-party --check finds any change."""

import os
import shutil
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]


def edit(tree):
    path = tree / "fmt/include/fmt/format.h"
    path.write_bytes(path.read_bytes().replace(b"namespace", b"namespace ", 1))


def add(tree):
    (tree / "spdlog/include/spdlog/extra.h").write_text("// not released\n")


def remove(tree):
    (tree / "spdlog/src/async.cpp").unlink()


@pytest.mark.parametrize("change, ok", [(None, True), (edit, False), (add, False), (remove, False)])
def test_check_finds_any_change_to_the_carried_trees(tmp_path, change, ok):
    tree = tmp_path / "third_party"
    shutil.copytree(ROOT / "third_party", tree)
    if change:
        change(tree)
    # A shell script: the sanitizer build's preloaded runtime would report the shell's own leaks.
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    proc = subprocess.run(
        [ROOT / "tools/refresh-third-party", "--check", tree], capture_output=True, text=True, timeout=60, env=env
    )
    assert (proc.returncode == 0) == ok, proc.stdout + proc.stderr
