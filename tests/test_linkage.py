"""What the dynamic linker sees: sonames, needed libraries and search paths."""
import re
import shutil
import subprocess
from pathlib import Path

import pytest

import zelvar.scrivo.scrivo as scrivo
import zelvar.utils.halyard.halyard as halyard

pytestmark = pytest.mark.skipif(shutil.which("readelf") is None, reason="needs binutils' readelf")


def dynamic_section(path):
    out = subprocess.run(["readelf", "-d", str(path)], capture_output=True, text=True, check=True).stdout
    entries = {}
    for tag, value in re.findall(r"\((\w+)\)\s+\S+[^\[]*\[(.*)\]", out):
        entries.setdefault(tag, []).append(value)
    return entries


def test_libscrivo_soname_and_location():
    lib = Path(scrivo.__file__).parent / "libscrivo.so.0"
    assert lib.is_file()
    assert dynamic_section(lib)["SONAME"] == ["libscrivo.so.0"]


@pytest.mark.parametrize("module, search_path", [
    (scrivo, "$ORIGIN"),
    (halyard, "$ORIGIN:$ORIGIN/../../scrivo"),
])
def test_module_needs_libscrivo_through_search_path(module, search_path):
    dyn = dynamic_section(module.__file__)
    assert "libscrivo.so.0" in dyn["NEEDED"]
    assert (dyn.get("RUNPATH") or dyn.get("RPATH")) == [search_path]


def symbols(path, which):
    out = subprocess.run(["nm", "-D", which, str(path)], capture_output=True, text=True, check=True).stdout
    return {line.split()[-1] for line in out.splitlines() if line.strip()}


def test_halyard_calls_nothing_in_libscrivo():
    lib = Path(scrivo.__file__).parent / "libscrivo.so.0"
    exported = symbols(lib, "--defined-only")
    assert any("LoggerFactory" in s for s in exported)  # the check below looks at the right library
    assert not symbols(halyard.__file__, "--undefined-only") & exported
